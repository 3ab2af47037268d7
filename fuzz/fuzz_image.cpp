// Loads any bytes as an image file the way the viewer does (ImageDataList), builds every image, and exercises the
// operations a user can reach: window drag and reset, fit and zoom.
#include "dicom/DicomDataFileIO.h"
#include "imaging/ImageDataList.h"
#include "platform/ErrorSink.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

volatile std::uint64_t fuzzSink = 0;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Codes raised while building ("11000") are part of the outcome, not a failure of the target.
    orblane::SetErrorHandler([](std::string_view, std::uint32_t, bool) {});
    // A real, exactly sized mapping, so that any read past the file's end is caught.
    static const int fd = ::memfd_create("fuzz_image", 0);
    if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
    {
        return 0;
    }
    auto file = std::make_unique<orblane::DicomDataFileIO>();
    if (file->LoadFile("/proc/self/fd/" + std::to_string(fd)) != 0)
    {
        return 0;
    }
    orblane::ImageDataList list;
    list.AddFile(std::move(file));
    std::uint64_t sum = 0;
    for (int index = 0; index < 64; ++index)
    {
        orblane::CImageData* image = list.GetImage(index);
        if (image == nullptr)
        {
            break;
        }
        image->ChangeWindow(37, -21, false, 1000, 1000);
        image->ChangeWindow(-5000, 9000, true, 1, 1);
        image->ResetWindow();
        image->FitTo(300, 200);
        image->SetZoom(3.7);
        sum += static_cast<std::uint64_t>(image->DisplayWidth()) + image->Values().size();
        if (!image->Bitmap().IsNull())
        {
            sum += image->Bitmap().Bits()[0];
        }
    }
    fuzzSink = sum;
    return 0;
}
