#include "Commands.h"

namespace orblane::cli {

// Placeholder until the dump subcommand is built.
int RunDump(Arguments)
{
    return UsageError("the dump subcommand is not available yet");
}

} // namespace orblane::cli
