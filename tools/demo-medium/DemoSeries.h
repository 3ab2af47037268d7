#pragma once

// What the demo medium shows of reading a study by series: a CT localizer with its geometry, and the DICOMDIR icons
// that draw a series' thumbnail without opening its files.

#include <cstdint>
#include <vector>

namespace orblane::demo {

// The chest CT's frontal localizer (a projection along the patient's front-to-back axis) with square pixels:
// kLocalizerColumns columns and kLocalizerRows rows of kLocalizerSpacing, the first row's centre at kLocalizerTopZ,
// covering the axial series (slices at z = 0, -5, ... -235) with a margin. Stored values of 12 bits, and the window
// that spans them (their 2nd to 98th percentile).
inline constexpr int kLocalizerColumns = 256;
inline constexpr int kLocalizerRows = 200;
inline constexpr double kLocalizerSpacing = 1.4; // mm, two axial pixels
inline constexpr double kLocalizerTopZ = 30.0;   // mm
struct LocalizerImage
{
    std::vector<std::uint16_t> values;
    int windowCentre = 0;
    int windowWidth = 0;
};
LocalizerImage ChestLocalizer(int axialSlices);

// A DICOMDIR icon (PS3.3 F.7): size × size 8-bit MONOCHROME2 levels of the image's values under its window.
inline constexpr int kIconSize = 64;
std::vector<std::uint8_t> MakeIcon(const std::vector<std::uint16_t>& values, int columns, int rows, double centre,
                                   double width);

} // namespace orblane::demo
