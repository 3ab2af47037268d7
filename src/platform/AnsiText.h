#pragma once

#include "platform/Bytes.h"

#include <string>

namespace orblane {

// Whether the bytes are well-formed UTF-8 (RFC 3629: shortest form, no surrogates, nothing above U+10FFFF).
bool IsWellFormedUtf8(ByteView bytes) noexcept;

// The code page that reads bytes which name no character set of their own: the default ANSI code page, except that
// under a UTF-8 default, bytes that are not UTF-8 are read as windows-1252. Files written by older systems in a
// Western code page then show their accented letters instead of replacement characters.
int AnsiCodePageFor(ByteView bytes) noexcept;

// Bytes in the code page AnsiCodePageFor chooses as wide text (the settings files' fallback when they are not
// Unicode).
std::u16string DecodeAnsiText(ByteView bytes);

} // namespace orblane
