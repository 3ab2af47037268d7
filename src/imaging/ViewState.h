#pragma once

#include "platform/Point.h"

#include <cstdint>

namespace orblane {

// How one image sits in its tile: zoom, the fit scale of the pixel aspect, and the origin of its top-left corner in
// the tile. Small and kept per image, so that it survives the image's pixels being dropped and decoded again.
// `frameInset` is where a fitted image starts: the tile's border.
class ViewState
{
public:
    explicit ViewState(Point inset = {1, 1}) noexcept : frameInset(inset), origin(inset) {}

    // The image size in tile pixels before zooming: its pixels times the pixel aspect ratio (vertical, horizontal).
    void SetImageSize(std::int32_t width, std::int32_t height, std::int32_t aspectHorizontal,
                      std::int32_t aspectVertical) noexcept;

    // Fits the whole image into a tile of w x h and centres it along the axis with room to spare.
    void FitTo(std::int32_t w, std::int32_t h) noexcept;
    void SetZoom(double z) noexcept;
    void UpdateDisplaySize() noexcept;
    void SetOrigin(std::int32_t x, std::int32_t y) noexcept { origin = {x, y}; }
    // Moves the origin by (dx, dy), saturating at the int32 range.
    void MoveOrigin(std::int32_t dx, std::int32_t dy) noexcept;

    double Zoom() const noexcept { return zoom; }
    double FitScale() const noexcept { return fitScale; }
    Point Origin() const noexcept { return origin; }
    Point Inset() const noexcept { return frameInset; }
    std::int32_t DisplayWidth() const noexcept { return displayWidth; }
    std::int32_t DisplayHeight() const noexcept { return displayHeight; }

private:
    Point frameInset;
    Point origin;
    double zoom = 1.0;
    double fitScale = 1.0;
    std::int32_t imageWidth = 0;
    std::int32_t imageHeight = 0;
    std::int32_t aspectH = 1;
    std::int32_t aspectV = 1;
    std::int32_t displayWidth = 0;
    std::int32_t displayHeight = 0;
};

// The window (centre and width) an image is shown under, with the committed window a drag starts from.
struct WindowState
{
    std::int32_t centre = 0;
    std::int32_t width = 0;
    std::int32_t baseCentre = 0;
    std::int32_t baseWidth = 0;

    // A contrast drag of (dx, dy) from the committed window: dx widens, dy lowers the centre, each scaled so that a
    // drag across the screen covers the stored range (bitsStored) at the given divisors; the width stays within
    // [1, valueMax - valueMin] and the centre within the value range. commit makes the result the new base.
    void Drag(std::int32_t dx, std::int32_t dy, bool commit, std::int32_t widthDivisor, std::int32_t centreDivisor,
              unsigned bitsStored, std::int32_t valueMin, std::int32_t valueMax) noexcept;
    void Reset(std::int32_t fileCentre, std::int32_t fileWidth) noexcept
    {
        centre = baseCentre = fileCentre;
        width = baseWidth = fileWidth;
    }
};

} // namespace orblane
