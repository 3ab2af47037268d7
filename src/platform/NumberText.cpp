#include "platform/NumberText.h"

#include <charconv>
#include <climits>
#include <cstdint>
#include <limits>
#include <string>

namespace orblane {
namespace {

bool IsCSpace(char16_t c) noexcept
{
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

int DigitValue(char16_t c) noexcept
{
    if (c >= u'0' && c <= u'9')
    {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'z')
    {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'Z')
    {
        return c - u'A' + 10;
    }
    return 99;
}

// Moves i past leading white space and one sign, as the C library's conversions do; true for a minus.
bool SkipSpaceAndSign(std::u16string_view text, std::size_t& i) noexcept
{
    while (i < text.size() && IsCSpace(text[i]))
    {
        ++i;
    }
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
    {
        return text[i++] == u'-';
    }
    return false;
}

} // namespace

int WideToInt(std::u16string_view text) noexcept
{
    std::size_t i = 0;
    const bool negative = SkipSpaceAndSign(text, i);
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
    {
        // Saturate early so that a long run of digits cannot overflow the accumulator.
        if (value <= std::int64_t{INT_MAX} + 1)
        {
            value = value * 10 + (text[i] - u'0');
        }
    }
    if (negative)
    {
        value = -value;
    }
    if (value > INT_MAX)
    {
        return INT_MAX;
    }
    if (value < INT_MIN)
    {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

double WideToDouble(std::u16string_view text) noexcept
{
    std::size_t i = 0;
    const bool negative = SkipSpaceAndSign(text, i);
    // Collect the longest prefix that forms a decimal number, in ASCII, for from_chars.
    std::string number;
    std::size_t digits = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i, ++digits)
    {
        number.push_back(static_cast<char>(text[i]));
    }
    if (i < text.size() && text[i] == u'.')
    {
        number.push_back('.');
        for (++i; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i, ++digits)
        {
            number.push_back(static_cast<char>(text[i]));
        }
    }
    if (digits == 0)
    {
        return 0.0;
    }
    bool negativeExponent = false;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E'))
    {
        std::size_t k = i + 1;
        std::string exponent = "e";
        if (k < text.size() && (text[k] == u'+' || text[k] == u'-'))
        {
            negativeExponent = text[k] == u'-';
            exponent.push_back(static_cast<char>(text[k]));
            ++k;
        }
        const std::size_t firstDigit = k;
        for (; k < text.size() && text[k] >= u'0' && text[k] <= u'9'; ++k)
        {
            exponent.push_back(static_cast<char>(text[k]));
        }
        if (k > firstDigit)
        {
            number += exponent;
        }
    }
    double value = 0.0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range)
    {
        value = negativeExponent ? 0.0 : std::numeric_limits<double>::infinity();
    }
    return negative ? -value : value;
}

int ProfileTextToInt(std::u16string_view text) noexcept
{
    std::size_t i = 0;
    while (i < text.size() && text[i] <= u' ')
    {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
    {
        negative = text[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i + 1 < text.size() && text[i] == u'0')
    {
        const char16_t marker = text[i + 1];
        if (marker == u'x' || marker == u'X')
        {
            base = 16;
        }
        else if (marker == u'o' || marker == u'O')
        {
            base = 8;
        }
        else if (marker == u'b' || marker == u'B')
        {
            base = 2;
        }
        if (base != 10)
        {
            i += 2;
        }
    }
    std::uint32_t value = 0;
    for (; i < text.size(); ++i)
    {
        const int digit = DigitValue(text[i]);
        if (digit >= base)
        {
            break;
        }
        value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
    }
    if (negative)
    {
        value = 0u - value;
    }
    return static_cast<int>(value);
}

} // namespace orblane
