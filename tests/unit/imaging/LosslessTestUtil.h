#pragma once

#include "imaging/LosslessJpeg.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace orblane::test {

struct DecodeResult
{
    int code = -1;
    std::uint16_t lines = 0;
    std::uint16_t samplesPerLine = 0;
    std::uint16_t containerBits = 0;
    std::uint16_t precision = 0;
    std::uint16_t highBit = 0;
    std::vector<std::uint16_t> samples; // widened from the container, lines * samplesPerLine of them
};

// Decodes from an exact-size heap copy of the stream into an exact-size destination, so that AddressSanitizer
// sees any read or write outside either. The destination starts filled with `stale`, standing for whatever a fresh
// allocation holds.
inline DecodeResult DecodeStreamBytes(const std::vector<std::uint8_t>& stream, std::int32_t capacity,
                                      std::uint8_t stale = 0)
{
    const std::vector<std::uint8_t> source(stream.begin(), stream.end());
    std::vector<std::uint8_t> destination(static_cast<std::size_t>(capacity > 0 ? capacity : 0), stale);
    std::uint8_t spare = 0;
    DecodeResult result;
    result.code = lossless::DecodeLossless(
        ByteView(source.data(), source.size()), destination.empty() ? &spare : destination.data(), capacity,
        &result.lines, &result.samplesPerLine, &result.containerBits, &result.precision, &result.highBit);
    if (result.code == 0)
    {
        const std::size_t count = std::size_t{result.lines} * result.samplesPerLine;
        result.samples.resize(count);
        for (std::size_t i = 0; i < count; ++i)
        {
            result.samples[i] = result.containerBits == 8
                                    ? destination[i]
                                    : static_cast<std::uint16_t>(destination[2 * i] | (destination[2 * i + 1] << 8));
        }
    }
    return result;
}

inline DecodeResult DecodeStreamBytes(const std::vector<std::uint8_t>& stream)
{
    return DecodeStreamBytes(stream, 1 << 22);
}

} // namespace orblane::test
