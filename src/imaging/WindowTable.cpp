#include "imaging/WindowTable.h"

namespace orblane {

// The entries are computed on demand rather than stored: a window width comes from the file or from a drag and can
// be as large as 2^31, and the display path works from its own table of whole pixels over the image's value range.
void WindowTable::Build(std::int32_t centre, std::int32_t newWidth) noexcept
{
    width = newWidth < 0 ? 0 : newWidth;
    firstValue = static_cast<std::int64_t>(centre) - width / 2;
    entryCount = width + 1;
}

std::uint8_t WindowTable::Lookup(std::int32_t value) const noexcept
{
    if (width == 0)
    {
        return 255;
    }
    std::int64_t k = static_cast<std::int64_t>(value) - firstValue;
    if (k <= 0)
    {
        return 0;
    }
    if (k >= width)
    {
        return 255;
    }
    return static_cast<std::uint8_t>(k * 255 / width);
}

} // namespace orblane
