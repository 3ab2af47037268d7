#include "Json.h"

#include "platform/Utf16.h"

#include <cstdio>

namespace orblane::cli {
namespace {

// Escapes what JSON does not allow raw inside a string; bytes of multi-byte UTF-8 sequences are all above 0x7F and
// pass through untouched.
void AppendEscaped(std::string& out, std::string_view utf8)
{
    for (const char c : utf8)
    {
        switch (c)
        {
        case '"':
            out += "\\\"";
            continue;
        case '\\':
            out += "\\\\";
            continue;
        case '\n':
            out += "\\n";
            continue;
        case '\r':
            out += "\\r";
            continue;
        case '\t':
            out += "\\t";
            continue;
        case '\b':
            out += "\\b";
            continue;
        case '\f':
            out += "\\f";
            continue;
        default:
            break;
        }
        if (static_cast<unsigned char>(c) < 0x20)
        {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
            out += buffer;
        }
        else
        {
            out += c;
        }
    }
}

// Length of the well-formed UTF-8 sequence at the start of text, or 0 when it is not one.
std::size_t SequenceLength(std::string_view text)
{
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = lead < 0x80           ? 1
                               : (lead >> 5) == 0x6  ? 2
                               : (lead >> 4) == 0xE  ? 3
                               : (lead >> 3) == 0x1E ? 4
                                                     : 0;
    if (length == 0 || length > text.size())
    {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k)
    {
        if ((static_cast<unsigned char>(text[k]) & 0xC0) != 0x80)
        {
            return 0;
        }
    }
    return length;
}

} // namespace

std::string JsonString(std::u16string_view text)
{
    std::string out = "\"";
    AppendEscaped(out, EncodeUtf8(text));
    out += '"';
    return out;
}

std::string JsonStringUtf8(std::string_view text)
{
    std::string valid;
    valid.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size())
    {
        const std::size_t length = SequenceLength(text.substr(i));
        if (length == 0)
        {
            valid += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        valid.append(text.substr(i, length));
        i += length;
    }
    std::string out = "\"";
    AppendEscaped(out, valid);
    out += '"';
    return out;
}

std::string JsonStringOrNull(const std::optional<std::u16string>& text)
{
    return text ? JsonString(*text) : std::string("null");
}

} // namespace orblane::cli
