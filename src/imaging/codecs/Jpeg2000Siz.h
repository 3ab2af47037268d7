#pragma once

#include "imaging/codecs/Codec.h"

namespace orblane {

// What the SIZ segment (T.800 A.5.1) of a bare codestream promises, read from the bytes before a library sees the
// stream: OpenJPEG and OpenJPH both allocate their per-tile and per-component state while they read the main header,
// so a few hundred bytes declaring 25 000 tiles would cost hundreds of megabytes before any later check ran. Answers
// Decoded, or the refusal with the detail codes the two JPEG 2000 codecs share: `notCodestream` where the stream
// does not start with SOC SIZ, 3 for a damaged SIZ, 4 for more pixels than the limits allow, 6 for neither 1 nor 3
// components, 12 for more tiles than the stream has bytes to carry.
DecodeResult CheckSizSegment(ByteView codestream, const DecodeLimits& limits, int notCodestream) noexcept;

// A 32-bit number of a codestream (big endian).
constexpr std::uint32_t BigEndian32(const std::uint8_t* p) noexcept
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

} // namespace orblane
