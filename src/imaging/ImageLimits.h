#pragma once

#include <cstddef>
#include <cstdint>

namespace orblane {

// Largest image the viewer builds (width × height). A 16384 × 16384 image needs 1 GiB for its bitmap and values;
// anything larger is refused, whatever a file claims.
inline constexpr std::uint64_t kMaxImagePixels = 16384ull * 16384ull;

// What the file's own bytes must justify before an image is allocated, so that a small hostile file cannot make the
// viewer allocate gigabytes. Uncompressed pixel data may be cut short (missing samples read as 0), but it must hold
// at least one sample for every kMinPixelDataShare pixels declared.
inline constexpr std::uint64_t kMinPixelDataShare = 16;
// A compressed stream describes at most this many pixels per byte of stream: baseline JPEG cannot go beyond it (a
// 1-bit DC code and a 1-bit end of block for each 8 x 8 block), and lossless JPEG (at least 1 bit a sample) stays
// far below it.
inline constexpr std::uint64_t kMaxPixelsPerCompressedByte = 256;

// The largest image that `byteCount` bytes of pixel data or compressed stream can justify, within kMaxImagePixels.
constexpr std::uint64_t MaxPixelsForStream(std::size_t byteCount,
                                           std::uint64_t pixelsPerByte = kMaxPixelsPerCompressedByte) noexcept
{
    const std::uint64_t bytes = byteCount;
    return bytes >= kMaxImagePixels / pixelsPerByte ? kMaxImagePixels : bytes * pixelsPerByte;
}

} // namespace orblane
