#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace orblane {

// A double toward zero into the int32 range, saturating at its ends. NaN gives 0: the values converted here are
// window settings, zoomed sizes and offsets, where 0 is harmless and INT_MIN would throw a picture off the screen.
inline std::int32_t TruncToInt32(double value) noexcept
{
    if (std::isnan(value))
    {
        return 0;
    }
    if (value >= 2147483647.0)
    {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value <= -2147483648.0)
    {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

inline std::int32_t ClampToInt32(std::int64_t value) noexcept
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

} // namespace orblane
