// Walks an Explicit VR Big Endian data set, reads its pixel attributes and builds its images (the words of its
// native pixel data swapped into an owned copy) the way the viewer does. The input is the data set after a fixed
// File Meta group naming the syntax, so that every input is walked big endian.
#include "MemoryFile.h"
#include "dicom/DicomDataFileIO.h"
#include "imaging/CImageData.h"
#include "imaging/ImageDataList.h"
#include "platform/ErrorSink.h"
#include "support/DicomWriter.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

volatile std::uint64_t fuzzSink = 0;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    orblane::SetErrorHandler([](std::string_view, std::uint32_t, bool) {});
    static const orblane::test::Bytes meta = [] {
        orblane::test::DicomWriter w;
        w.FileMeta("1.2.840.10008.1.2.2");
        return w.Data();
    }();
    orblane::test::Bytes file = meta;
    file.insert(file.end(), data, data + size);
    auto loaded = orblane::fuzz::LoadFromMemory(file);
    if (!loaded)
    {
        return 0;
    }
    std::uint64_t sum = 0;
    const orblane::PixelDescription first = orblane::ReadPixelDescription(*loaded, 0);
    sum += first.rowCount + first.swapWordBytes;
    orblane::ImageDataList list;
    list.AddFile(std::move(loaded));
    for (int index = 0; index < 64; ++index)
    {
        orblane::CImageData* image = list.GetImage(index);
        if (image == nullptr)
        {
            break;
        }
        image->ChangeWindow(37, -21, false, 1000, 1000);
        image->ResetWindow();
        sum += image->Values().size() + static_cast<std::uint64_t>(image->Bitmap().Width());
        if (!image->Bitmap().IsNull())
        {
            sum += image->Bitmap().Bits()[0];
        }
    }
    fuzzSink = sum;
    return 0;
}
