#pragma once

#include "imaging/ImageLimits.h"
#include "imaging/codecs/Codec.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace orblane::fuzz {

// Runs one codec as the image build does, with both buffers exactly as large as they claim: the stream is copied to
// its own allocation and the output has `capacity` bytes, so that AddressSanitizer sees a read past the stream or a
// write past the output. A success that reports more samples than the output holds is a finding too.
inline void DecodeIntoExactBuffer(DecodeFrame decode, const std::vector<std::uint8_t>& source,
                                  const FrameGeometry& declared, const DecodeLimits& limits, std::size_t capacity)
{
    const std::uint8_t empty = 0;
    const ByteView view = source.empty() ? ByteView(&empty, 0) : ByteView(source);
    // Left uninitialised (zeroing it would dominate each run); its exact size still bounds every write.
    const std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[capacity == 0 ? 1 : capacity]);
    const DecodeResult result = decode(view, declared, limits, std::span<std::uint8_t>(out.get(), capacity));
    if (result.Ok() && FrameBytes(result.actual) > capacity)
    {
        __builtin_trap();
    }
}

// The geometry a bare JPEG 2000 codestream's SIZ segment (T.800 A.5.1) declares, as a data set that agrees with its
// stream would (at most 2048 x 2048); a JP2 file, or anything else, gets a fixed 512 x 512 grey frame.
inline FrameGeometry CodestreamGeometry(const std::vector<std::uint8_t>& s)
{
    const auto big32 = [&s](std::size_t at) {
        return (std::uint32_t{s[at]} << 24) | (std::uint32_t{s[at + 1]} << 16) | (std::uint32_t{s[at + 2]} << 8) |
               s[at + 3];
    };
    FrameGeometry g;
    g.rows = 512;
    g.columns = 512;
    g.bitsAllocated = 16;
    g.bitsStored = 16;
    if (s.size() >= 43 && s[0] == 0xFF && s[1] == 0x4F && s[2] == 0xFF && s[3] == 0x51)
    {
        const std::uint32_t width = big32(6) - std::min(big32(14), big32(6));
        const std::uint32_t height = big32(10) - std::min(big32(18), big32(10));
        g.columns = static_cast<std::uint16_t>(std::min<std::uint32_t>(width, 2048));
        g.rows = static_cast<std::uint16_t>(std::min<std::uint32_t>(height, 2048));
        g.samplesPerPixel = s[41] == 3 ? 3 : 1;
        g.bitsAllocated = (s[42] & 0x7F) < 8 ? 8 : 16;
        g.isSigned = (s[42] & 0x80) != 0;
        g.colour = g.samplesPerPixel == 3 ? SampleColour::Rgb : SampleColour::Grey;
    }
    return g;
}

// A JPEG 2000 input decoded into a buffer of the size its codestream declares, capped at 4 MiB so that the success
// paths are reached and a write past the exact-size buffer is caught.
inline void DecodeCodestream(DecodeFrame decode, const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> source(data, data + size);
    const FrameGeometry declared = CodestreamGeometry(source);
    const auto capacity = static_cast<std::size_t>(std::min<std::uint64_t>(FrameBytes(declared), 1u << 22));
    DecodeIntoExactBuffer(decode, source, declared, DecodeLimits{MaxPixelsForStream(size)}, capacity);
}

} // namespace orblane::fuzz
