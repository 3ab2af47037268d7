// Fragment bytes in, decoded into a buffer sized from the geometry the codestream's own SIZ segment declares (as a
// data set that agrees with its stream would), capped at 4 MiB so that the success paths are reached and a write
// past the exact-size buffer is caught by AddressSanitizer.
#include "imaging/CImageData.h"
#include "imaging/codecs/Codecs.h"

#include "ExactBufferDecode.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

std::uint32_t BigEndian32(const std::uint8_t* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// SIZ follows SOC in a bare codestream (T.800 A.5.1); a JP2 file gets a fixed 512 x 512 grey frame.
orblane::FrameGeometry DeclaredGeometry(const std::vector<std::uint8_t>& s)
{
    orblane::FrameGeometry g;
    g.rows = 512;
    g.columns = 512;
    g.bitsAllocated = 16;
    g.bitsStored = 16;
    if (s.size() >= 43 && s[0] == 0xFF && s[1] == 0x4F && s[2] == 0xFF && s[3] == 0x51)
    {
        const std::uint32_t width = BigEndian32(&s[6]) - std::min(BigEndian32(&s[14]), BigEndian32(&s[6]));
        const std::uint32_t height = BigEndian32(&s[10]) - std::min(BigEndian32(&s[18]), BigEndian32(&s[10]));
        g.columns = static_cast<std::uint16_t>(std::min<std::uint32_t>(width, 2048));
        g.rows = static_cast<std::uint16_t>(std::min<std::uint32_t>(height, 2048));
        g.samplesPerPixel = s[41] == 3 ? 3 : 1;
        g.bitsAllocated = (s[42] & 0x7F) < 8 ? 8 : 16;
        g.isSigned = (s[42] & 0x80) != 0;
        g.colour = g.samplesPerPixel == 3 ? orblane::SampleColour::Rgb : orblane::SampleColour::Grey;
    }
    return g;
}

} // namespace

// Codestreams with HT code-blocks are decoded by OpenJPH in a child process, a copy of this one with the sanitizers
// and libFuzzer's hooks in it; the library's faults report there and end the child (see fuzz_htj2k.cpp), which must
// happen well within the 1 s an input may take: stacks are printed as addresses (ASAN_OPTIONS=symbolize=1 replays a
// finding with names). Allocations keep the run's limit, so that OpenJPEG's in this process are still findings.
extern "C" const char* __asan_default_options()
{
    return "symbolize=0";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace orblane;
    const std::vector<std::uint8_t> source(data, data + size);
    const FrameGeometry declared = DeclaredGeometry(source);
    const std::size_t capacity = static_cast<std::size_t>(std::min<std::uint64_t>(FrameBytes(declared), 1u << 22));
    fuzz::DecodeIntoExactBuffer(&DecodeJpeg2000, source, declared, DecodeLimits{MaxPixelsForStream(size)}, capacity);
    return 0;
}
