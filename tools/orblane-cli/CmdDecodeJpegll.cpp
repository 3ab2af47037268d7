#include "Commands.h"

namespace orblane::cli {

// Placeholder until the decode-jpegll subcommand is built.
int RunDecodeJpegll(Arguments)
{
    return UsageError("the decode-jpegll subcommand is not available yet");
}

} // namespace orblane::cli
