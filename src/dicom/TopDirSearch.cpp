#include "dicom/TopDirSearch.h"

#include "dicom/DirectoryRecord.h"

namespace orblane {

void TopDirSearch::Clear() noexcept
{
    rootOffset = 0;
    rootPresent = false;
}

int TopDirSearch::OnTag(const TagElement& tag)
{
    if (!tag.Is(0x0004, 0x1200))
    {
        return kSkipAndGoOn;
    }
    // A DICOMDIR is Explicit VR Little Endian by definition, and its records are walked as such: one that names
    // another byte order cannot be followed, and is unreadable rather than read as other offsets.
    if (tag.ValueOrder() != ByteOrder::Little)
    {
        return kSkipAndStop;
    }
    rootOffset = ReadOffset(tag);
    rootPresent = true;
    return kSkipAndStop;
}

} // namespace orblane
