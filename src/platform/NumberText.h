#pragma once

#include <string_view>

namespace orblane {

// The number conversions the settings files were always read with. They never fail: text without a number gives 0,
// and reading stops at the first character that does not fit.

// Decimal integer as the C library's _wtoi reads it: leading white space, an optional sign, decimal digits; a value
// beyond the int range saturates at INT_MAX or INT_MIN.
int WideToInt(std::u16string_view text) noexcept;

// Decimal real as the C library's _wtof reads it: leading white space, an optional sign, digits with an optional
// fraction and exponent. Independent of the process locale (the decimal point is always '.'). A value too large for
// a double gives an infinity, so callers that turn it into an int must clamp.
double WideToDouble(std::u16string_view text) noexcept;

// An initialisation file's integer value: leading white space and sign, then "0x", "0o" or "0b" select base 16, 8
// or 2, otherwise base 10; the digits wrap around in 32 bits as the platform reader does.
int ProfileTextToInt(std::u16string_view text) noexcept;

} // namespace orblane
