#include "imaging/ViewState.h"

#include "platform/Saturate.h"

#include <algorithm>
#include <cmath>

namespace orblane {

void ViewState::SetImageSize(std::int32_t width, std::int32_t height, std::int32_t aspectHorizontal,
                             std::int32_t aspectVertical) noexcept
{
    imageWidth = width;
    imageHeight = height;
    aspectH = aspectHorizontal;
    aspectV = aspectVertical;
    UpdateDisplaySize();
}

void ViewState::FitTo(std::int32_t w, std::int32_t h) noexcept
{
    if (imageWidth <= 0 || imageHeight <= 0)
    {
        return;
    }
    const double width = std::max(w, 1);
    const double height = std::max(h, 1);
    const double iw = static_cast<double>(imageWidth) * aspectH;
    const double ih = static_cast<double>(imageHeight) * aspectV;
    const double a = iw / ih;
    const double t = width / height;
    double z = 0.0;
    if (t == a)
    {
        z = width / iw;
        fitScale = 1.0;
        origin = frameInset;
    }
    else if (t < a)
    {
        z = width / iw;
        fitScale = aspectH;
        origin = {frameInset.x,
                  static_cast<std::int32_t>((static_cast<std::int64_t>(height) - TruncToInt32(ih * z)) / 2)};
    }
    else
    {
        z = height / ih;
        fitScale = aspectV;
        origin = {static_cast<std::int32_t>((static_cast<std::int64_t>(width) - TruncToInt32(iw * z)) / 2),
                  frameInset.y};
    }
    SetZoom(z);
}

void ViewState::SetZoom(double z) noexcept
{
    zoom = z;
    UpdateDisplaySize();
}

void ViewState::UpdateDisplaySize() noexcept
{
    const std::int64_t iw = static_cast<std::int64_t>(imageWidth) * aspectH;
    const std::int64_t ih = static_cast<std::int64_t>(imageHeight) * aspectV;
    displayWidth = TruncToInt32(static_cast<double>(iw) * zoom);
    displayHeight = TruncToInt32(static_cast<double>(ih) * zoom);
}

void ViewState::MoveOrigin(std::int32_t dx, std::int32_t dy) noexcept
{
    origin.x = ClampToInt32(static_cast<std::int64_t>(origin.x) + dx);
    origin.y = ClampToInt32(static_cast<std::int64_t>(origin.y) + dy);
}

void WindowState::Drag(std::int32_t dx, std::int32_t dy, bool commit, std::int32_t widthDivisor,
                       std::int32_t centreDivisor, unsigned bitsStored, std::int32_t valueMin,
                       std::int32_t valueMax) noexcept
{
    const double range = std::ldexp(1.0, static_cast<int>(bitsStored));
    const double sx = std::max(1.0, range / (widthDivisor != 0 ? widthDivisor : 1000) / 256.0);
    const double sy = std::max(1.0, range / (centreDivisor != 0 ? centreDivisor : 1000) / 256.0);
    std::int64_t newWidth = TruncToInt32(baseWidth + dx * sx);
    std::int64_t newCentre = TruncToInt32(baseCentre - dy * sy);
    const std::int64_t span = static_cast<std::int64_t>(valueMax) - valueMin;
    if (newWidth < 1)
    {
        newWidth = 1;
    }
    if (newWidth > span)
    {
        newWidth = span;
    }
    newCentre = std::clamp<std::int64_t>(newCentre, valueMin, valueMax);
    width = ClampToInt32(newWidth);
    centre = ClampToInt32(newCentre);
    if (commit)
    {
        baseWidth = width;
        baseCentre = centre;
    }
}

} // namespace orblane
