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
    rootOffset = ReadOffset(tag);
    rootPresent = true;
    return kSkipAndStop;
}

} // namespace orblane
