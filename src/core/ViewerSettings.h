#pragma once

#include "platform/Point.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace orblane {

// A palette-relative colour reference: 0x02000000 + blue << 16 + green << 8 + red.
using ColourRef = std::uint32_t;

constexpr ColourRef MakePaletteColour(std::uint8_t red, std::uint8_t green, std::uint8_t blue) noexcept
{
    return 0x02000000u | (ColourRef{blue} << 16) | (ColourRef{green} << 8) | ColourRef{red};
}
constexpr std::uint8_t ColourRed(ColourRef colour) noexcept
{
    return static_cast<std::uint8_t>(colour & 0xFF);
}
constexpr std::uint8_t ColourGreen(ColourRef colour) noexcept
{
    return static_cast<std::uint8_t>((colour >> 8) & 0xFF);
}
constexpr std::uint8_t ColourBlue(ColourRef colour) noexcept
{
    return static_cast<std::uint8_t>((colour >> 16) & 0xFF);
}

// A font as the settings name it: a face and a size in tenths of a point.
struct FontChoice
{
    std::u16string face;
    int tenthsOfPoint = 0;
};

// The viewer settings read from "Orblane.ini": each image viewer reads its own copy when it is built and hands it to
// its tiles, so that two viewers (or a test and a viewer) never share one record.
struct ViewerSettings
{
    int overlayVisible = 1;
    ColourRef overlayTextColor = MakePaletteColour(200, 200, 0);
    ColourRef frameColor = MakePaletteColour(200, 200, 0);
    ColourRef idleFrameColor = MakePaletteColour(128, 128, 128);
    int frameThickness = 1;
    Point frameInset{1, 1};
    int wlWidthDivisor = 1000;
    int wlCentreDivisor = 1000;
    FontChoice overlayFont{u"Lucida Sans Unicode", 120};
    // What the viewer's decoded pixels may hold ([DisplaySettings] ImageCacheMB); 0 leaves it to the image list's
    // default (512 MB, or a quarter of the physical memory where that is less).
    std::size_t imageCacheBytes = 0;
};

} // namespace orblane
