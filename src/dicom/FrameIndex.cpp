#include "dicom/FrameIndex.h"

#include "dicom/ValueReader.h"

#include <algorithm>
#include <cstdint>

namespace orblane {

FrameIndex::FrameIndex(const TagElement& pixelData, const std::uint8_t* end)
{
    if (pixelData.value == nullptr)
    {
        return;
    }
    if (pixelData.entered == 0)
    {
        fragments.emplace_back(pixelData.value, pixelData.length);
        return;
    }
    // Item headers are little endian whatever the data set's byte order (PS3.5 A.4). The walk stays inside the
    // mapping and ends at the sequence delimiter: what follows the pixel data is not a fragment.
    const std::uint8_t* cursor = pixelData.value;
    while (end != nullptr && cursor < end && static_cast<std::size_t>(end - cursor) >= 8)
    {
        const std::uint16_t group = ValueReader::Load16(cursor, ByteOrder::Little);
        const std::uint16_t element = ValueReader::Load16(cursor + 2, ByteOrder::Little);
        const std::uint32_t length = ValueReader::Load32(cursor + 4, ByteOrder::Little);
        cursor += 8;
        if (group == 0xFFFE && element == 0xE0DD)
        {
            break;
        }
        const std::size_t content = std::min<std::size_t>(length, static_cast<std::size_t>(end - cursor));
        if (group == 0xFFFE && element == 0xE000 && length != 0)
        {
            fragments.emplace_back(cursor, content);
        }
        cursor += content;
    }
}

} // namespace orblane
