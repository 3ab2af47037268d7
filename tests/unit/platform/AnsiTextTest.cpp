#include "platform/AnsiText.h"

#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <string_view>
#include <utility>

namespace orblane {
namespace {

ByteView Bytes(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Boundaries from RFC 3629 section 4 and Unicode table 3-7.
TEST(AnsiTextTest, WellFormedUtf8IsTheShortestFormBelowU110000WithoutSurrogates)
{
    const std::pair<std::string_view, bool> rows[] = {
        {"", true},
        {"plain ASCII", true},
        {"\xC2\x80", true},          // U+0080, the first two-byte character
        {"\xDF\xBF", true},          // U+07FF
        {"\xE0\xA0\x80", true},      // U+0800
        {"\xED\x9F\xBF", true},      // U+D7FF, the last before the surrogates
        {"\xEE\x80\x80", true},      // U+E000
        {"\xF0\x90\x80\x80", true},  // U+10000
        {"\xF4\x8F\xBF\xBF", true},  // U+10FFFF
        {"\xC0\xAF", false},         // overlong '/'
        {"\xC1\xBF", false},         // overlong
        {"\xE0\x9F\xBF", false},     // overlong U+07FF
        {"\xED\xA0\x80", false},     // U+D800, a surrogate
        {"\xF0\x8F\xBF\xBF", false}, // overlong U+FFFF
        {"\xF4\x90\x80\x80", false}, // U+110000
        {"\xF5\x80\x80\x80", false}, // lead byte beyond F4
        {"\x80", false},             // a lone continuation byte
        {"J\xC3\xA9r\xF4me", false}, // windows-1252 after a UTF-8 letter
        {"\xE3\x81", false},         // cut before its last byte
        {"\xE3\x81\x82", true},      // U+3042
    };
    for (const auto& [bytes, wellFormed] : rows)
    {
        EXPECT_EQ(IsWellFormedUtf8(Bytes(bytes)), wellFormed) << testing::PrintToString(std::string(bytes));
    }
}

TEST(AnsiTextTest, UnderUtf8OnlyWellFormedBytesReadAsUtf8)
{
    SetDefaultAnsiCodePage(kCodePageUtf8);
    EXPECT_EQ(AnsiCodePageFor(Bytes("Gr\xC3\xBC\xC3\x9F")), kCodePageUtf8);
    EXPECT_EQ(DecodeAnsiText(Bytes("Gr\xC3\xBC\xC3\x9F")), u"Grüß");
    EXPECT_EQ(AnsiCodePageFor(Bytes("Gr\xFC\xDF")), kCodePageWindows1252);
    EXPECT_EQ(DecodeAnsiText(Bytes("Gr\xFC\xDF")), u"Grüß");
    SetDefaultAnsiCodePage(28595);
    EXPECT_EQ(AnsiCodePageFor(Bytes("Gr\xFC\xDF")), 28595);
    SetDefaultAnsiCodePage(kCodePageAnsi);
}

} // namespace
} // namespace orblane
