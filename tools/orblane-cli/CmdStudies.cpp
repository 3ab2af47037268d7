#include "Commands.h"

namespace orblane::cli {

// Placeholder until the studies subcommand is built.
int RunStudies(Arguments)
{
    return UsageError("the studies subcommand is not available yet");
}

} // namespace orblane::cli
