#include "core/RunTrace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace orblane {

bool TraceOn() noexcept
{
    const char* value = std::getenv("ORBLANE_TRACE");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

void Trace(std::string_view line) noexcept
{
    if (TraceOn())
    {
        std::fprintf(stderr, "trace %.*s\n", static_cast<int>(line.size()), line.data());
        std::fflush(stderr);
    }
}

} // namespace orblane
