#pragma once

#include "Commands.h"

#include <string_view>
#include <vector>

namespace orblane::cli {

// Takes "--ansi-codepage N" out of args (N: a code page this program decodes) and makes it the default ANSI code
// page of this run; the other arguments go to positional in order. Answers 0, or UsageError's 2.
int TakeAnsiCodePageOption(Arguments args, std::vector<std::string_view>& positional);

} // namespace orblane::cli
