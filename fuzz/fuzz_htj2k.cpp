// HTJ2K codestream bytes into the OpenJPH codec, decoded into a buffer sized from the geometry the codestream's own
// SIZ segment declares (capped at 4 MiB), as fuzz_jpeg2000 does for the OpenJPEG codec. The library runs in the
// codec's child process, so what this target holds to account is the wrapper around it: the checks made before the
// library runs, and what comes back out of the child into the caller's buffer.
#include "imaging/codecs/Codecs.h"

#include "ExactBufferDecode.h"

#include <cstddef>
#include <cstdint>

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
    orblane::fuzz::DecodeCodestream(&orblane::DecodeHtJ2k, data, size);
    return 0;
}
