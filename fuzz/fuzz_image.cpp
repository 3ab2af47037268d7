// Opens any bytes as one study's file and builds every image it describes (native, JPEG baseline, lossless), the
// way a viewer does when the study is opened.
#include "dicom/DicomDataFileIO.h"
#include "imaging/ImageDataList.h"
#include "platform/ErrorSink.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>

// Keeps the built pixels from being optimised away.
volatile std::uint64_t fuzzSink = 0;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A real, exactly sized mapping: any read past the file's end faults.
    static const int fd = ::memfd_create("fuzz_image", 0);
    if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
    {
        return 0;
    }
    orblane::SetErrorHandler([](std::string_view, std::uint32_t, bool) {});
    auto file = std::make_unique<orblane::DicomDataFileIO>();
    if (file->LoadFile("/proc/self/fd/" + std::to_string(fd)) != 0)
    {
        return 0;
    }
    orblane::ImageDataList list;
    list.AddFile(std::move(file));
    std::uint64_t sum = 0;
    for (int i = 0; const orblane::CImageData* image = list.GetImage(i); ++i)
    {
        const orblane::DisplayBitmap& bitmap = image->Bitmap();
        sum += static_cast<std::uint64_t>(bitmap.Width()) * static_cast<std::uint64_t>(bitmap.Height());
        if (!image->Values().empty())
        {
            sum += static_cast<std::uint32_t>(image->Values().back());
        }
    }
    fuzzSink = sum;
    return 0;
}
