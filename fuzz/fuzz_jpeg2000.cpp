// Fragment bytes in, decoded into a buffer sized from the geometry the codestream's own SIZ segment declares (as a
// data set that agrees with its stream would), capped at 4 MiB so that the success paths are reached and a write
// past the exact-size buffer is caught by AddressSanitizer.
#include "imaging/codecs/Codecs.h"

#include "ExactBufferDecode.h"

#include <cstddef>
#include <cstdint>
#include <vector>

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
    orblane::fuzz::DecodeCodestream(&orblane::DecodeJpeg2000, data, size);
    // The thumbnail's reduced resolution level: its output is sized from the header after the level is chosen, and
    // must hold exactly what the result says.
    const std::vector<std::uint8_t> source(data, data + size);
    std::vector<std::uint8_t> reduced;
    const orblane::DecodeResult result =
        orblane::DecodeJpeg2000Reduced(source, orblane::fuzz::CodestreamGeometry(source), 64,
                                       orblane::DecodeLimits{orblane::MaxPixelsForStream(size)}, reduced);
    if (result.Ok() && orblane::FrameBytes(result.actual) != reduced.size())
    {
        __builtin_trap();
    }
    return 0;
}
