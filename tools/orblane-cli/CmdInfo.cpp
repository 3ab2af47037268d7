#include "Commands.h"

namespace orblane::cli {

// Placeholder until the info subcommand is built.
int RunInfo(Arguments)
{
    return UsageError("the info subcommand is not available yet");
}

} // namespace orblane::cli
