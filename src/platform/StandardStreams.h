#pragma once

#if defined(_WIN32)
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#endif

namespace orblane::platform {

// Standard output and error as bytes: on Windows the C runtime opens them in text mode and writes "\r\n" for every
// "\n", so that the JSON of a command-line run would not be the same bytes as on Linux. A no-op elsewhere.
inline void UseBinaryStandardStreams() noexcept
{
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
}

} // namespace orblane::platform
