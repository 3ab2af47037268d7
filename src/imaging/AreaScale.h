#pragma once

#include <cstddef>
#include <cstdint>

namespace orblane {

// Shrinks a region of an image by area averaging: every target pixel is the mean of the source pixels of its box,
// box edges at floor(i * sourceSize / targetSize), so that each source pixel counts in exactly one target pixel and
// fine detail averages out instead of aliasing. Every byte of a pixel is averaged on its own (grey, or the four
// bytes of RGB32), rounded to nearest.
struct PixelRegion
{
    const std::uint8_t* pixels = nullptr; // the region's top-left pixel
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
    int bytesPerPixel = 1; // 1 or 4
};

// Writes targetWidth x targetHeight pixels of the source's kind to `target` (rows `targetStride` bytes apart).
// Answers false, writing nothing, unless 0 < targetWidth <= width and 0 < targetHeight <= height, the kinds are 1
// or 4 bytes and the strides hold their rows. Not for enlarging: a box must hold at least one source pixel.
bool AreaScale(const PixelRegion& source, std::uint8_t* target, int targetWidth, int targetHeight,
               std::size_t targetStride) noexcept;

} // namespace orblane
