#pragma once

#include "platform/Bytes.h"

#include <string>

namespace orblane {

// Bytes in the default ANSI code page as wide text. Until the code-page layer is configurable this is Windows-1252;
// every byte maps to one code unit, so no input fails.
std::u16string DecodeAnsiText(ByteView bytes);

} // namespace orblane
