// HTJ2K codestream bytes into the OpenJPH codec, decoded into a buffer sized from the geometry the codestream's own
// SIZ segment declares (capped at 4 MiB), as fuzz_jpeg2000 does for the OpenJPEG codec. The library runs in the
// codec's child process, so what this target holds to account is the wrapper around it: the checks made before the
// library runs, and what comes back out of the child into the caller's buffer.
#include "imaging/CImageData.h"
#include "imaging/codecs/Codecs.h"

#include "ExactBufferDecode.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

std::uint32_t BigEndian32(const std::uint8_t* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

orblane::FrameGeometry DeclaredGeometry(const std::vector<std::uint8_t>& s)
{
    orblane::FrameGeometry g;
    g.rows = 512;
    g.columns = 512;
    g.bitsAllocated = 16;
    g.bitsStored = 16;
    if (s.size() >= 43)
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

// The library's own faults happen in the child, a copy of this process with the sanitizers and libFuzzer's hooks in
// it: they report there, write their artifact and end the child, which the codec answers as Corrupt. They must do so
// well within the 1 s an input may take: stacks are printed as addresses (set ASAN_OPTIONS=symbolize=1 to replay a
// finding with names), and an allocation above the run's 512 MB fails at once rather than after its gigabytes of
// shadow memory were poisoned (OpenJPH asks for 4 GiB on some headers).
extern "C" const char* __asan_default_options()
{
    return "symbolize=0:max_allocation_size_mb=512";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace orblane;
    const std::vector<std::uint8_t> source(data, data + size);
    const FrameGeometry declared = DeclaredGeometry(source);
    const std::size_t capacity = static_cast<std::size_t>(std::min<std::uint64_t>(FrameBytes(declared), 1u << 22));
    fuzz::DecodeIntoExactBuffer(&DecodeHtJ2k, source, declared, DecodeLimits{MaxPixelsForStream(size)}, capacity);
    return 0;
}
