#pragma once

#include "dicom/PixelDescription.h"
#include "imaging/DecodedFrame.h"

#include <cstddef>
#include <cstdint>

namespace orblane {

// The bytes an image's pixels hold: its values, its colour pixels, its display bitmap and pixel table, and the
// frame's own record. The cache's one formula, for what is decoded and for what a decode is about to need.
constexpr std::size_t ImageBytes(std::size_t valueCount, std::size_t colourBytes, std::size_t bitmapBytes,
                                 std::size_t tableEntries) noexcept
{
    return valueCount * sizeof(std::int32_t) + colourBytes + bitmapBytes + tableEntries * sizeof(std::uint32_t) +
           sizeof(DecodedFrame);
}

// What a frame of this description will hold once decoded and shown: 32-bit values (or colour pixels) and a
// 32-bit display bitmap.
constexpr std::size_t ExpectedImageBytes(const PixelDescription& d) noexcept
{
    const std::size_t pixels = static_cast<std::size_t>(d.columnCount) * d.rowCount;
    return ImageBytes(pixels, 0, pixels * sizeof(std::uint32_t), 0);
}

} // namespace orblane
