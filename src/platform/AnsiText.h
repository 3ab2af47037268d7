#pragma once

#include "platform/Bytes.h"

#include <string>

namespace orblane {

// Bytes in the default ANSI code page as wide text (the settings files' fallback when they are not Unicode).
std::u16string DecodeAnsiText(ByteView bytes);

} // namespace orblane
