#include "dicom/DirectoryRecord.h"

namespace orblane {

std::uint32_t ReadOffset(const TagElement& tag) noexcept
{
    if (tag.entered != 0 || tag.length < 4 || tag.value == nullptr)
    {
        return 0;
    }
    const std::uint8_t* p = tag.value;
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool RecordLinks::Take(const TagElement& tag) noexcept
{
    if (tag.group != 0x0004)
    {
        return false;
    }
    if (tag.element == 0x1400)
    {
        next = ReadOffset(tag);
        nextPresent = true;
        return true;
    }
    if (tag.element == 0x1420)
    {
        lower = ReadOffset(tag);
        lowerPresent = true;
        return true;
    }
    return false;
}

} // namespace orblane
