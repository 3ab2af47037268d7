// Loads a Deflated Explicit VR Little Endian file the way the viewer does: inflate, walk, overlay texts, images.
//
// The first input byte chooses what the rest is. Even: the raw deflate stream itself, so that the fuzzer reaches
// every fault inflate can meet (damaged blocks, a stream cut short, a bomb against the limit). Odd: an undeflated data
// set that this target deflates, cut after as many stream bytes as the next two bytes say (0: whole), so that the
// walk of inflated bytes gets inputs that inflate cleanly. A fixed File Meta group naming the syntax is put ahead.
#include "MemoryFile.h"
#include "dicom/DicomDataFileIO.h"
#include "imaging/CImageData.h"
#include "imaging/ImageDataList.h"
#include "platform/ErrorSink.h"
#include "support/Deflate.h"
#include "support/DicomWriter.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

volatile std::uint64_t fuzzSink = 0;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
    {
        return 0;
    }
    orblane::SetErrorHandler([](std::string_view, std::uint32_t, bool) {});
    static const orblane::test::Bytes meta = [] {
        orblane::test::DicomWriter w;
        w.FileMeta("1.2.840.10008.1.2.1.99");
        return w.Data();
    }();
    orblane::test::Bytes file = meta;
    if ((data[0] & 1) == 0)
    {
        file.insert(file.end(), data + 1, data + size);
    }
    else
    {
        const orblane::test::Bytes stream = orblane::test::DeflateRaw({data + 3, size - 3});
        const std::size_t cut = static_cast<std::size_t>(data[1]) << 8 | data[2];
        file.insert(file.end(), stream.begin(),
                    stream.begin() +
                        static_cast<std::ptrdiff_t>(cut == 0 || cut > stream.size() ? stream.size() : cut));
    }
    auto loaded = orblane::fuzz::LoadFromMemory(file);
    if (!loaded)
    {
        return 0;
    }
    std::uint64_t sum = loaded->DataBytes().size();
    for (const auto& [group, element] : {std::pair{0x0010, 0x0010}, {0x0028, 0x0010}, {0x7FE0, 0x0010}})
    {
        if (const auto value =
                loaded->FindValue(static_cast<std::uint16_t>(group), static_cast<std::uint16_t>(element)))
        {
            for (const std::uint8_t byte : *value)
            {
                sum += byte;
            }
        }
    }
    const orblane::PatientStudyInfo info = loaded->MakeInfoRecord();
    sum += info.patientName ? info.patientName->size() : 0;
    orblane::ImageDataList list;
    list.AddFile(std::move(loaded));
    for (int index = 0; index < 16; ++index)
    {
        const orblane::CImageData* image = list.GetImage(index);
        if (image == nullptr)
        {
            break;
        }
        sum += image->Values().size() + static_cast<std::uint64_t>(image->Bitmap().Width());
    }
    fuzzSink = sum;
    return 0;
}
