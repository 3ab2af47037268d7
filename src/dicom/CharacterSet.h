#pragma once

#include "platform/Bytes.h"

#include <optional>
#include <string>

namespace orblane {

// Outcome of a conversion to wide text: code 0 and a text on success; otherwise a platform error code, and the
// caller decides whether to fall back to the raw bytes.
struct WideConversion
{
    int code = 0;
    std::optional<std::u16string> text;
};

// Conversion driven by a (0008,0005) Specific Character Set value, with ISO 2022 escapes switching code pages
// inside the value.
WideConversion ConvertToWide(ByteView charset, ByteView value) noexcept;

// Conversion with the default ANSI code page; length 0 gives no text and code 0.
WideConversion ConvertAnsiToWide(ByteView bytes) noexcept;

// One wide character per byte, the fallback for values that a converter refuses.
std::u16string WidenRawBytes(ByteView bytes);

} // namespace orblane
