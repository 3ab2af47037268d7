#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orblane {

// UTF-8 to wide text; nullopt when the bytes are not well-formed UTF-8 (overlong forms, surrogates and code points
// above U+10FFFF are refused, so a caller can fall back to another decoding).
std::optional<std::u16string> DecodeUtf8(std::string_view bytes);

// Wide text to UTF-8, the form file names take on Linux; an unpaired surrogate becomes U+FFFD.
std::string EncodeUtf8(std::u16string_view text);

} // namespace orblane
