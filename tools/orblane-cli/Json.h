#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orblane::cli {

// JSON string literal (with quotes) of UTF-16 text, written as UTF-8. Lone surrogates become U+FFFD so that the
// output is always valid UTF-8.
std::string JsonString(std::u16string_view text);
// JSON string literal of bytes taken as Latin-1-free UTF-8 text; invalid sequences become U+FFFD.
std::string JsonStringUtf8(std::string_view text);
// The literal, or null for none.
std::string JsonStringOrNull(const std::optional<std::u16string>& text);

} // namespace orblane::cli
