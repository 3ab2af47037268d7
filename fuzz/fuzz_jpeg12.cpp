// Stream bytes in, decoded into an output sized from the stream's own frame header (never above 512 KiB) and, for
// every other input, one byte short of it, so that both the generous and the refusing paths run.
#include "imaging/codecs/Codecs.h"

#include "ExactBufferDecode.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

// Samples the frame header declares (rows x columns x components, 2 bytes each), or 0 when none is found.
std::size_t DeclaredBytes(const std::vector<std::uint8_t>& s)
{
    for (std::size_t i = 0; i + 9 < s.size(); ++i)
    {
        if (s[i] == 0xFF && (s[i + 1] == 0xC0 || s[i + 1] == 0xC1))
        {
            const std::size_t rows = (std::size_t{s[i + 5]} << 8) | s[i + 6];
            const std::size_t columns = (std::size_t{s[i + 7]} << 8) | s[i + 8];
            return rows * columns * std::max<std::size_t>(1, s[i + 9]) * 2;
        }
    }
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace orblane;
    const std::vector<std::uint8_t> source(data, data + size);
    std::size_t capacity = std::min<std::size_t>(DeclaredBytes(source), std::size_t{1} << 19);
    if ((size & 1) != 0 && capacity > 0)
    {
        --capacity;
    }
    FrameGeometry declared;
    declared.bitsAllocated = 16;
    DecodeLimits limits;
    // What the caller would allow for this many bytes, capped so that each run stays short.
    limits.maxPixels = std::min<std::uint64_t>(std::uint64_t{size} * 256, std::uint64_t{1} << 18);
    fuzz::DecodeIntoExactBuffer(&DecodeJpegExtended, source, declared, limits, capacity);
    return 0;
}
