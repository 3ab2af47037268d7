// Stream bytes in, decoded into a buffer sized from the geometry the stream's own SOF55 segment declares (as a data
// set that agrees with its stream would), capped at 4 MiB so that the success paths are reached and a write past
// the exact-size buffer is caught by AddressSanitizer.
#include "imaging/CImageData.h"
#include "imaging/codecs/Codecs.h"

#include "ExactBufferDecode.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

// T.87 C.2.2: P, Y, X, Nf after the marker and its length. The first FF F7 in the opening bytes is taken as the
// frame header (a stream whose APPn data holds the pair is declared from the wrong bytes, which is fine here).
orblane::FrameGeometry DeclaredGeometry(const std::vector<std::uint8_t>& s)
{
    orblane::FrameGeometry g;
    g.rows = 512;
    g.columns = 512;
    g.bitsAllocated = 16;
    g.bitsStored = 16;
    const std::size_t end = std::min<std::size_t>(s.size(), 512);
    for (std::size_t i = 0; i + 10 <= end; ++i)
    {
        if (s[i] == 0xFF && s[i + 1] == 0xF7)
        {
            g.bitsAllocated = s[i + 4] <= 8 ? 8 : 16;
            g.rows = static_cast<std::uint16_t>(std::min(2048, (s[i + 5] << 8) | s[i + 6]));
            g.columns = static_cast<std::uint16_t>(std::min(2048, (s[i + 7] << 8) | s[i + 8]));
            g.samplesPerPixel = s[i + 9] == 3 ? 3 : 1;
            g.colour = g.samplesPerPixel == 3 ? orblane::SampleColour::Rgb : orblane::SampleColour::Grey;
            break;
        }
    }
    return g;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace orblane;
    const std::vector<std::uint8_t> source(data, data + size);
    FrameGeometry declared = DeclaredGeometry(source);
    // Half the inputs decode as signed, so that the sign extension runs too.
    declared.isSigned = (size & 1) != 0;
    const std::size_t capacity = static_cast<std::size_t>(std::min<std::uint64_t>(FrameBytes(declared), 1u << 22));
    fuzz::DecodeIntoExactBuffer(&DecodeJpegLs, source, declared, DecodeLimits{MaxPixelsForStream(size)}, capacity);
    return 0;
}
