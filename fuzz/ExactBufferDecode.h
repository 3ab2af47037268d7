#pragma once

#include "imaging/codecs/Codec.h"

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

} // namespace orblane::fuzz
