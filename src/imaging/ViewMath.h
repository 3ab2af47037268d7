#pragma once

#include <cstdint>
#include <optional>

// View arithmetic the viewer's keys use: window presets, the filter a scale asks for, and the cine rate.
namespace orblane {

struct WindowPreset
{
    std::int32_t centre = 0;
    std::int32_t width = 0;
};

// The CT presets on the number keys 1-6, in Hounsfield units (modality values after the rescale): soft tissue,
// lung, bone, brain, liver, mediastinum. Any other key answers nothing.
std::optional<WindowPreset> CtPreset(int digit) noexcept;

// The window that shows the whole value range [valueMin, valueMax] without clipping: its lowest table entry sits on
// valueMin (centre - trunc(width / 2)) and its last on valueMax.
WindowPreset FullRangeWindow(std::int32_t valueMin, std::int32_t valueMax) noexcept;

// How a bitmap is drawn at `scale` device pixels per bitmap pixel: shrinking averages whole areas (a smooth filter
// that samples four pixels aliases fine detail such as a grid or text), enlarging is smooth up to 4x and beyond
// that shows whole pixels, so that a user zoomed in far sees the pixels the file holds.
enum class ScaleFilter : int
{
    Area,
    Smooth,
    Nearest,
};
ScaleFilter FilterFor(double scale) noexcept;
constexpr double kSmoothEnlargeLimit = 4.0;

// Frames per second of a multi-frame image's cine: Frame Time (0018,1063, milliseconds per frame), else Cine Rate
// (0018,0040), else Recommended Display Frame Rate (0008,2144), else 15. Absent values are passed as 0; a source that
// is zero, negative or absurd (above kAbsurdCineRate) gives way to the next. The rate used stays within
// [kMinCineRate, kMaxCineRate], so that a slow series still moves and a fast one does not flood the UI.
double CineFramesPerSecond(double frameTimeMs, double cineRate, double recommendedRate) noexcept;
constexpr double kDefaultCineRate = 15.0;
constexpr double kMinCineRate = 1.0;
constexpr double kMaxCineRate = 120.0;
constexpr double kAbsurdCineRate = 1000.0;

// The frames of one multi-frame file as the viewer's images: images [first, first + count) at framesPerSecond.
struct FrameRun
{
    int first = 0;
    int count = 1;
    double framesPerSecond = kDefaultCineRate;
};

// The zoom shown in the overlay, in per cent of the image's own pixels: display width over pixel columns.
int ZoomPercent(std::int32_t displayWidth, std::int32_t columns) noexcept;

} // namespace orblane
