#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <utility>

#include <string>
#include <thread>
#include <vector>

namespace orblane {
namespace {

ByteView Bytes(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Measures, converts into a buffer of exactly that size, and checks both calls agree.
std::u16string Decode(int codePage, std::string_view bytes)
{
    const WideCount size = MeasureWide(codePage, Bytes(bytes));
    EXPECT_EQ(size.error, 0) << "code page " << codePage;
    std::u16string text(size.units, u'\0');
    const WideCount written = MultiByteToWide(codePage, Bytes(bytes), text);
    EXPECT_EQ(written.error, 0) << "code page " << codePage;
    EXPECT_EQ(written.units, size.units) << "code page " << codePage;
    return text;
}

class AnsiCodePageGuard
{
public:
    explicit AnsiCodePageGuard(int codePage) { SetDefaultAnsiCodePage(codePage); }
    ~AnsiCodePageGuard() { SetDefaultAnsiCodePage(kCodePageAnsi); }
    AnsiCodePageGuard(const AnsiCodePageGuard&) = delete;
    AnsiCodePageGuard& operator=(const AnsiCodePageGuard&) = delete;
};

// Expected characters from the ISO 8859 and Windows code charts.
TEST(CodePageTest, SingleByteCodePagesDecodeTheirOwnLetters)
{
    struct Row
    {
        int codePage;
        std::string_view bytes;
        std::u16string_view text;
    };
    const Row rows[] = {
        {1252, "Buc^J\xE9r\xF4me \x80", u"Buc^Jérôme €"},
        {1255, "\xF9\xF8\xE5\xEF", u"שרון"},
        {28592, "\xB1", u"ą"},
        {28593, "\xA1", u"Ħ"},
        {28594, "\xA2", u"ĸ"},
        {28595, "\xBB\xEE\xDA", u"Люк"},
        {28597, "\xC4\xE9\xEF\xED\xF5\xF3\xE9\xEF\xF2", u"Διονυσιος"},
        {28599, "\xF0", u"ğ"},
    };
    for (const Row& row : rows)
    {
        EXPECT_EQ(Decode(row.codePage, row.bytes), row.text) << "code page " << row.codePage;
    }
}

TEST(CodePageTest, MultiByteCodePagesDecodeTheirOwnCharacters)
{
    EXPECT_EQ(Decode(932, "\xB1\x88\x9F"), u"ｱ亜");                    // half-width katakana, then Shift-JIS kanji
    EXPECT_EQ(Decode(54936, "\xCD\xF5\x81\x30\x81\x30"), u"王\u0080"); // two-byte and four-byte GB18030
    EXPECT_EQ(Decode(65001, "\xE7\x8E\x8B\xF0\x9F\x98\x80"), u"王\U0001F600");
}

TEST(CodePageTest, EveryCodePageTheViewerNamesIsAvailable)
{
    for (const int codePage : {1252, 1255, 28592, 28593, 28594, 28595, 28597, 28599, 932, 50220, 50225, 54936, 65001})
    {
        EXPECT_TRUE(IsCodePageAvailable(codePage)) << codePage;
    }
    EXPECT_TRUE(IsCodePageAvailable(kCodePageAnsi));
    EXPECT_FALSE(IsCodePageAvailable(12345));
}

TEST(CodePageTest, BytesACodePageDoesNotDefineBecomeReplacementCharacters)
{
    EXPECT_EQ(Decode(65001, "a\xFF"
                            "b\xC3"),
              u"a\uFFFDb\uFFFD");
    EXPECT_EQ(Decode(28593, "\xA5"), u"\uFFFD"); // a hole in ISO 8859-3
    EXPECT_EQ(Decode(54936, "\x81"), u"\uFFFD"); // a lead byte cut off
    EXPECT_EQ(Decode(932, "\xA0"), u"\uFFFD");
}

TEST(CodePageTest, FailsLikeThePlatformForEmptyInputUnknownCodePagesAndShortBuffers)
{
    std::u16string buffer(4, u'\0');
    EXPECT_EQ(MultiByteToWide(1252, {}, buffer).error, kErrorInvalidParameter);
    EXPECT_EQ(MeasureWide(1252, {}).error, kErrorInvalidParameter);
    EXPECT_EQ(MultiByteToWide(12345, Bytes("abc"), buffer).error, kErrorInvalidParameter);

    const WideCount tooSmall = MultiByteToWide(1252, Bytes("abcde"), buffer);
    EXPECT_EQ(tooSmall.units, 0u);
    EXPECT_EQ(tooSmall.error, kErrorInsufficientBuffer);
    EXPECT_EQ(MultiByteToWide(1252, Bytes("a"), std::span<char16_t>()).error, kErrorInsufficientBuffer);
}

// ISO 2022 Japanese as DICOM writes it (PS3.5 H.3.1, H.3.2) and JIS X 0212 (ISO 2022 IR 159).
TEST(CodePageTest, Iso2022JapaneseReadsItsEscapesKatakanaInGrAndJisX0212)
{
    EXPECT_EQ(Decode(50220, "\x1B$B;3ED\x1B(B^"), u"山田^");
    EXPECT_EQ(Decode(50220, "\x1B$B;3ED"), u"山田"); // no return to ASCII before the end
    EXPECT_EQ(Decode(50220, "\x1B$(D\x30\x21\x2B\x21\x1B(B"), u"丂á");
    EXPECT_EQ(Decode(50220, "\xD4\xCF\x1B$B;3\xB1\x1B(Jx"), u"ﾔﾏ山ｱx");
    EXPECT_EQ(Decode(50220, "\x1B(I\x31\x1B(Bz"), u"ｱz");
}

TEST(CodePageTest, MalformedIso2022JapaneseGivesReplacementCharactersInPlace)
{
    EXPECT_EQ(Decode(50220, "\x1B$B;"), u"\uFFFD");                // half a kanji at the end
    EXPECT_EQ(Decode(50220, "a\x1B$"), u"a\uFFFD$");               // escape cut off
    EXPECT_EQ(Decode(50220, "a\x1B-Ab"), u"a\uFFFD-Ab");           // not a Japanese designation
    EXPECT_EQ(Decode(50220, "\x1B$B;3\x80\x1B(Bc"), u"山\uFFFDc"); // high byte outside katakana
    // A lone designation decodes to nothing, which is not a failure.
    const WideCount onlyEscape = MeasureWide(50220, Bytes("\x1B$B"));
    EXPECT_EQ(onlyEscape.units, 0u);
    EXPECT_EQ(onlyEscape.error, 0);
}

TEST(CodePageTest, Iso2022KoreanReadsKsX1001InGrAfterTheDesignationAndBetweenShifts)
{
    EXPECT_EQ(Decode(50225, "\x1B$)C\xC8\xAB^\xB1\xE6\xB5\xBF"), u"홍^길동"); // PS3.5 I.2
    EXPECT_EQ(Decode(50225, "\x1B$)C\x0E\x48\x2B\x0F^"), u"홍^");
    EXPECT_EQ(Decode(50225, "\x1B$)C\xC8"), u"\uFFFD");
    EXPECT_EQ(Decode(50225, "\x1B$)C\x0E\x48"), u"\uFFFD");
}

TEST(CodePageTest, AnsiCodePageFollowsTheExplicitSettingAndReturnsToTheLocale)
{
    const int localeCodePage = DefaultAnsiCodePage();
    {
        AnsiCodePageGuard guard(28595);
        EXPECT_EQ(DefaultAnsiCodePage(), 28595);
        EXPECT_EQ(Decode(kCodePageAnsi, "\xBB"), u"Л");
        EXPECT_EQ(DecodeCodePage(kCodePageAnsi, Bytes("\xBB")), u"Л");
    }
    EXPECT_EQ(DefaultAnsiCodePage(), localeCodePage);
}

TEST(CodePageTest, LocaleCharacterSetsMapToCodePagesWithWindows1252ForAscii)
{
    EXPECT_EQ(CodePageForCodeset("UTF-8"), 65001);
    EXPECT_EQ(CodePageForCodeset("utf8"), 65001);
    EXPECT_EQ(CodePageForCodeset("ANSI_X3.4-1968"), 1252);
    EXPECT_EQ(CodePageForCodeset("ISO-8859-5"), 28595);
    EXPECT_EQ(CodePageForCodeset("eucJP"), 20932);
    EXPECT_EQ(CodePageForCodeset("GB18030"), 54936);
    EXPECT_EQ(CodePageForCodeset("KOI8-R"), 20866);
    EXPECT_EQ(CodePageForCodeset("no-such-charset-with-a-very-long-name"), 1252);
    // Every code page a locale can name must decode.
    for (const char* codeset : {"UTF-8", "ISO-8859-15", "eucJP", "SJIS", "GBK", "BIG5", "EUC-KR", "KOI8-U", "TIS-620"})
    {
        EXPECT_TRUE(IsCodePageAvailable(CodePageForCodeset(codeset))) << codeset;
    }
}

// The names nl_langinfo(CODESET) answers, as read under locales built with localedef from glibc's charmaps
// (ja_JP.SJIS, ko_KR.eucKR, zh_CN.gb2312, zh_CN.gbk, zh_HK.big5hkscs, th_TH.tis620, ja_JP.cp932, C, ...), and the
// spellings locale names carry when the locale is not installed (ja_JP.sjis, zh_CN.gb18030).
TEST(CodePageTest, CodesetNamesGlibcReportsMapToTheirCodePages)
{
    const std::pair<const char*, int> rows[] = {
        {"SHIFT_JIS", 932},    {"WINDOWS-31J", 932},   {"SHIFT_JISX0213", 932},  {"sjis", 932},
        {"EUC-JP", 20932},     {"EUC-JP-MS", 20932},   {"EUC-KR", 51949},        {"CP949", 949},
        {"GB2312", 936},       {"GBK", 936},           {"GB18030", 54936},       {"gb18030", 54936},
        {"BIG5", 950},         {"BIG5-HKSCS", 950},    {"TIS-620", 874},         {"ISO-8859-11", 874},
        {"ISO-8859-1", 28591}, {"ISO-8859-15", 28605}, {"KOI8-U", 21866},        {"CP1251", 1251},
        {"CP1252", 1252},      {"UTF-8", 65001},       {"ANSI_X3.4-1968", 1252}, {"EUC-TW", 1252},
    };
    for (const auto& [codeset, codePage] : rows)
    {
        EXPECT_EQ(CodePageForCodeset(codeset), codePage) << codeset;
    }
}

TEST(CodePageTest, DecodeCodePageWidensBytesOfAnUnknownCodePage)
{
    EXPECT_EQ(DecodeCodePage(12345, Bytes("a\xE9")), u"a\u00E9");
    EXPECT_EQ(DecodeCodePage(1252, {}), u"");
}

// Converters carry state; each thread must get its own.
TEST(CodePageTest, ThreadsConvertingAtOnceDoNotDisturbEachOther)
{
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t)
    {
        threads.emplace_back([t, &mismatches] {
            for (int i = 0; i < 2000; ++i)
            {
                const std::u16string text = (t % 2 == 0) ? DecodeCodePage(50220, Bytes("\x1B$B;3ED\x1B(B"))
                                                         : DecodeCodePage(50225, Bytes("\x1B$)C\xC8\xAB"));
                if (text != ((t % 2 == 0) ? u"山田" : u"홍"))
                {
                    ++mismatches[static_cast<std::size_t>(t)];
                }
            }
        });
    }
    for (std::thread& thread : threads)
    {
        thread.join();
    }
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

} // namespace
} // namespace orblane
