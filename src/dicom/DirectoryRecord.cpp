#include "dicom/DirectoryRecord.h"

#include "dicom/ValueReader.h"

namespace orblane {

std::uint32_t ReadOffset(const TagElement& tag) noexcept
{
    if (tag.entered != 0 || tag.length < 4 || tag.value == nullptr)
    {
        return 0;
    }
    return ValueReader::Load32(tag.value, ByteOrder::Little);
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
