#pragma once

#include "platform/Bytes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace orblane {

// The decoded sample planes of one JPEG lossless fragment. Only plane 0 is ever produced; the others stay empty.
class LosslessDecoder
{
public:
    static constexpr std::size_t kPlaneCount = 4;

    // The source is only read during Decode and must outlive that call.
    explicit LosslessDecoder(ByteView stream) noexcept;
    LosslessDecoder(const std::uint8_t* stream, std::size_t length) noexcept;

    // Decodes into a destination of rows * columns * bitsAllocated bytes (more than the samples need, so that a
    // stream whose header disagrees a little with the data set still fits). Answers 0 or a code of LosslessJpeg.h;
    // on failure plane 0 stays empty. Lines and samples per line come from the stream and are not compared with
    // rows and columns; any part of the rows * columns samples the stream did not cover reads as 0.
    int Decode(std::uint16_t rows, std::uint16_t columns, std::uint16_t bitsAllocated) noexcept;

    const std::uint8_t* Plane(std::size_t index) const noexcept
    {
        return index < kPlaneCount ? planes[index].get() : nullptr;
    }
    // Bytes of decoded samples in the plane (0 for an empty plane).
    std::size_t PlaneLength(std::size_t index) const noexcept { return index < kPlaneCount ? planeLengths[index] : 0; }
    std::uint16_t Lines() const noexcept { return lines; }
    std::uint16_t SamplesPerLine() const noexcept { return samplesPerLine; }
    std::uint16_t ContainerBits() const noexcept { return containerBits; }
    std::uint16_t Precision() const noexcept { return precision; }
    std::uint16_t HighBit() const noexcept { return highBit; }

private:
    ByteView source;
    std::array<std::unique_ptr<std::uint8_t[]>, kPlaneCount> planes;
    std::array<std::size_t, kPlaneCount> planeLengths{};
    std::uint16_t lines = 0;
    std::uint16_t samplesPerLine = 0;
    std::uint16_t containerBits = 0;
    std::uint16_t precision = 0;
    std::uint16_t highBit = 0;
};

} // namespace orblane
