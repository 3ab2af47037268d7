#include "Commands.h"

namespace orblane::cli {

// Placeholder until the text subcommand is built.
int RunText(Arguments)
{
    return UsageError("the text subcommand is not available yet");
}

} // namespace orblane::cli
