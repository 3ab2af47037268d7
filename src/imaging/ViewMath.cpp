#include "imaging/ViewMath.h"

#include <algorithm>
#include <cmath>

namespace orblane {

std::optional<WindowPreset> CtPreset(int digit) noexcept
{
    // {centre, width}: the usual radiology reading windows.
    constexpr WindowPreset kPresets[] = {{40, 400}, {-600, 1500}, {400, 1800}, {40, 80}, {60, 160}, {50, 350}};
    if (digit < 1 || digit > 6)
    {
        return std::nullopt;
    }
    return kPresets[digit - 1];
}

WindowPreset FullRangeWindow(std::int32_t valueMin, std::int32_t valueMax) noexcept
{
    if (valueMax <= valueMin)
    {
        return {valueMin, 1};
    }
    // The span is taken in 64 bits: two int32 values can lie 2^32 - 1 apart; the window keeps what fits.
    const std::int64_t span = std::min<std::int64_t>(static_cast<std::int64_t>(valueMax) - valueMin, INT32_MAX);
    const std::int64_t centre = static_cast<std::int64_t>(valueMin) + span / 2;
    return {static_cast<std::int32_t>(centre), static_cast<std::int32_t>(span)};
}

ScaleFilter FilterFor(double scale) noexcept
{
    if (scale < 1.0)
    {
        return ScaleFilter::Area;
    }
    return scale <= kSmoothEnlargeLimit ? ScaleFilter::Smooth : ScaleFilter::Nearest;
}

double CineFramesPerSecond(double frameTimeMs, double cineRate, double recommendedRate) noexcept
{
    // A source is used when it names a rate a display could mean; zero, negative, not-a-number or beyond reason (a
    // frame time under a millisecond) is no rate at all, and the next source is asked.
    const auto usable = [](double rate) { return std::isfinite(rate) && rate > 0.0 && rate <= kAbsurdCineRate; };
    double rate = kDefaultCineRate;
    const double fromFrameTime = frameTimeMs > 0.0 ? 1000.0 / frameTimeMs : 0.0;
    if (usable(fromFrameTime))
    {
        rate = fromFrameTime;
    }
    else if (usable(cineRate))
    {
        rate = cineRate;
    }
    else if (usable(recommendedRate))
    {
        rate = recommendedRate;
    }
    return std::clamp(rate, kMinCineRate, kMaxCineRate);
}

int ZoomPercent(std::int32_t displayWidth, std::int32_t columns) noexcept
{
    if (columns <= 0 || displayWidth <= 0)
    {
        return 0;
    }
    return static_cast<int>(std::lround(100.0 * displayWidth / columns));
}

} // namespace orblane
