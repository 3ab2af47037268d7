#include "Commands.h"

namespace orblane::cli {

// Placeholder until the render subcommand is built.
int RunRender(Arguments)
{
    return UsageError("the render subcommand is not available yet");
}

} // namespace orblane::cli
