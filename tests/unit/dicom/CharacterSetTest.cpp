#include "dicom/CharacterSet.h"

#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace orblane {
namespace {

using Id = CodeElementId;

ByteView Bytes(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::vector<Id> ActiveList(std::string_view charset)
{
    const ActiveCodeElements active = BuildActiveCodeElements(Bytes(charset));
    return {active.Elements().begin(), active.Elements().end()};
}

std::u16string Convert(std::string_view charset, std::string_view value)
{
    const WideConversion converted = ConvertToWide(Bytes(charset), Bytes(value));
    EXPECT_EQ(converted.code, 0);
    return converted.text.value_or(u"<none>");
}

struct CodeRun
{
    std::string bytes;
    std::uint32_t codePage;
    bool operator==(const CodeRun&) const = default;
};

std::ostream& operator<<(std::ostream& out, const CodeRun& run)
{
    return out << run.codePage << ":" << testing::PrintToString(run.bytes);
}

std::vector<CodeRun> Segments(std::string_view charset, std::string_view value)
{
    std::vector<CodeRun> runs;
    EscapeSegmenter segmenter(BuildActiveCodeElements(Bytes(charset)), Bytes(value));
    CodeSegment segment{};
    while (segmenter.Next(segment))
    {
        runs.push_back({std::string(value.substr(segment.begin, segment.end - segment.begin)), segment.codePage});
    }
    return runs;
}

TEST(CharacterSetTest, TermListsGiveTheirCodeElementsInOrder)
{
    EXPECT_EQ(ActiveList("ISO_IR 100"), (std::vector{Id::IsoIr100, Id::Default}));
    EXPECT_EQ(ActiveList("ISO_IR 100 "), (std::vector{Id::IsoIr100, Id::Default}));
    EXPECT_EQ(ActiveList("  ISO_IR 100"), (std::vector{Id::IsoIr100, Id::Default}));
    EXPECT_EQ(ActiveList("\\ISO 2022 IR 87"), (std::vector{Id::Default, Id::IsoIr87}));
    EXPECT_EQ(ActiveList("\\ISO 2022 IR 149"), (std::vector{Id::Default, Id::IsoIr149}));
    EXPECT_EQ(ActiveList("ISO 2022 IR 13\\ISO 2022 IR 87"), (std::vector{Id::IsoIr13, Id::IsoIr14, Id::IsoIr87}));
    EXPECT_EQ(ActiveList("ISO 2022 IR 6\\ISO 2022 IR 144"), (std::vector{Id::IsoIr144, Id::Default}));
    EXPECT_EQ(ActiveList("ISO_IR 192"), (std::vector{Id::Utf8}));
    EXPECT_EQ(ActiveList("GB18030 "), (std::vector{Id::Gb18030}));
    EXPECT_EQ(ActiveList("\\ISO 2022 IR 87\\ISO 2022 IR 159"), (std::vector{Id::Default, Id::IsoIr87, Id::IsoIr159}));
    EXPECT_EQ(ActiveList("GBK "), (std::vector{Id::Gbk}));
    EXPECT_EQ(ActiveList("\\ISO 2022 IR 58"), (std::vector{Id::Default, Id::IsoIr58}));
    EXPECT_EQ(ActiveList("ISO_IR 166"), (std::vector{Id::IsoIr166, Id::Default}));
    EXPECT_EQ(ActiveList("ISO 2022 IR 6\\ISO 2022 IR 166"), (std::vector{Id::IsoIr166, Id::Default}));
    EXPECT_EQ(ActiveList("ISO_IR 127"), (std::vector{Id::IsoIr127, Id::Default}));
    EXPECT_EQ(ActiveList("ISO_IR 203"), (std::vector{Id::IsoIr203, Id::Default}));
}

TEST(CharacterSetTest, UnknownBlankOrMiswrittenTermsLeaveTheDefaultAlone)
{
    for (const std::string_view charset :
         {"", "   ", "\\", "ISO_IR 6", "ISO_IR 999", "GB2312", "gbk", "iso_ir 100", "ISO_IR 100X", "\\ ISO_IR 100"})
    {
        EXPECT_EQ(ActiveList(charset), (std::vector{Id::Default})) << testing::PrintToString(std::string(charset));
    }
    // A leading space is kept on every term but the first, so that term matches nothing.
    EXPECT_EQ(ActiveList("ISO 2022 IR 87\\ ISO 2022 IR 159"), (std::vector{Id::IsoIr87}));
}

TEST(CharacterSetTest, NoMoreThanTwentySixCodeElementsAreKept)
{
    std::string charset;
    for (int i = 0; i < 27; ++i)
    {
        charset += i == 0 ? "ISO_IR 192" : "\\ISO_IR 192";
    }
    EXPECT_EQ(ActiveList(charset), std::vector<Id>(26, Id::Utf8));

    // A full list takes no default either.
    charset = "ISO 2022 IR 13";
    for (int i = 0; i < 13; ++i)
    {
        charset += "\\ISO 2022 IR 13";
    }
    charset += "\\ISO_IR 100";
    const std::vector<Id> active = ActiveList(charset);
    ASSERT_EQ(active.size(), 26u);
    EXPECT_EQ(active.back(), Id::IsoIr14);
}

TEST(CharacterSetTest, EscapesOpenRunsInTheirCodePageKeptOnlyForCodePagesThatReadThem)
{
    EXPECT_EQ(Segments("\\ISO 2022 IR 87", "Yamada=\x1B$B;3ED\x1B(B^Tarou"),
              (std::vector<CodeRun>{{"Yamada=", 1252}, {"\x1B$B;3ED", 50220}, {"^Tarou", 1252}}));
    EXPECT_EQ(Segments("\\ISO 2022 IR 149", "Hong=\x1B$)C\xC8\xAB^\x1B$)C\xB1\xE6"),
              (std::vector<CodeRun>{{"Hong=", 1252}, {"\x1B$)C\xC8\xAB^", 50225}, {"\x1B$)C\xB1\xE6", 50225}}));
    EXPECT_EQ(Segments("ISO 2022 IR 13\\ISO 2022 IR 87", "\xD4\xCF=\x1B$B;3\x1B(J^"),
              (std::vector<CodeRun>{{"\xD4\xCF=", 932}, {"\x1B$B;3", 50220}, {"^", 932}}));
    EXPECT_EQ(Segments("ISO 2022 IR 100\\ISO 2022 IR 144", "a\x1B-L\xBB\x1B-Ab"),
              (std::vector<CodeRun>{{"a", 1252}, {"\xBB", 28595}, {"b", 1252}}));
    // Back-to-back escapes leave empty runs, which are not reported.
    EXPECT_EQ(Segments("\\ISO 2022 IR 144", "\x1B-L\x1B(Bx"), (std::vector<CodeRun>{{"x", 1252}}));
}

TEST(CharacterSetTest, EscapesOfInactiveElementsAndCutOffEscapesStayOrdinaryBytes)
{
    EXPECT_EQ(Segments("ISO_IR 100", "a\x1B$Bb"), (std::vector<CodeRun>{{"a\x1B$Bb", 1252}}));
    EXPECT_EQ(Segments("\\ISO 2022 IR 87", "ab\x1B$"), (std::vector<CodeRun>{{"ab\x1B$", 1252}}));
    EXPECT_EQ(Segments("ISO_IR 192", "a\x1B(Bb"), (std::vector<CodeRun>{{"a\x1B(Bb", 65001}}));
    EXPECT_EQ(Convert("ISO_IR 192", "a\x1B(Bb"), u"a\x1B(Bb");
    EXPECT_EQ(Convert("\\ISO 2022 IR 87", "ab\x1B$"), u"ab\x1B$");
}

TEST(CharacterSetTest, EscapeSearchNeverReadsPastTheValue)
{
    // The bytes after the value would complete ESC $ B; the value itself ends inside the escape.
    const std::string storage = "ab\x1B$B;3ED";
    const ByteView value = Bytes(storage).first(4);
    EXPECT_EQ(ConvertToWide(Bytes("\\ISO 2022 IR 87"), value).text, u"ab\x1B$");
}

// The standard's own examples (PS3.5 annexes H, I, J), read from the example files.
class StandardExampleTest : public testing::Test
{
protected:
    // The value of an explicit VR element with a 16-bit length, found by its tag and VR.
    static std::string FindValue(const std::vector<char>& file, std::string_view tagAndVr)
    {
        const auto at = std::search(file.begin() + 132, file.end(), tagAndVr.begin(), tagAndVr.end());
        if (std::distance(at, file.end()) < 8)
        {
            ADD_FAILURE() << "element not found";
            return {};
        }
        const auto offset = static_cast<std::size_t>(at - file.begin());
        const std::size_t length = static_cast<std::uint8_t>(file[offset + 6]) |
                                   static_cast<std::size_t>(static_cast<std::uint8_t>(file[offset + 7])) << 8;
        return {file.data() + offset + 8, std::min(length, file.size() - offset - 8)};
    }

    static std::u16string PatientName(const char* fileName)
    {
        std::ifstream stream(std::string(ORBLANE_TEST_DATA_DIR) + "/charset/" + fileName, std::ios::binary);
        const std::vector<char> file((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
        EXPECT_GT(file.size(), 132u) << fileName;
        if (file.size() <= 132)
        {
            return {};
        }
        const std::string charset = FindValue(file, std::string_view("\x08\x00\x05\x00"
                                                                     "CS",
                                                                     6));
        const std::string name = FindValue(file, std::string_view("\x10\x00\x10\x00"
                                                                  "PN",
                                                                  6));
        return Convert(charset, name);
    }
};

TEST_F(StandardExampleTest, PatientNamesComeOutAsTheStandardPrintsThem)
{
    EXPECT_EQ(PatientName("chrH31.dcm"), u"Yamada^Tarou=山田^太郎=やまだ^たろう");
    EXPECT_EQ(PatientName("chrI2.dcm"), u"Hong^Gildong=洪^吉洞=홍^길동");
    EXPECT_EQ(PatientName("chrX1.dcm"), u"Wang^XiaoDong=王^小東= ");
    EXPECT_EQ(PatientName("chrX2.dcm"), u"Wang^XiaoDong=王^小东=");
    EXPECT_EQ(PatientName("chrRuss.dcm"), u"Люкceмбypг");
    // PS3.5 annex K: GB 2312 by code extension, and GBK; then Thai (TIS 620). Written as README.md in reader/ says.
    EXPECT_EQ(PatientName("../reader/chinese_ir58.dcm"), u"Zhang^XiaoDong=张^小东= ");
    EXPECT_EQ(PatientName("../reader/chinese_gbk.dcm"), u"Wang^XiaoDong=王^小東 ");
    EXPECT_EQ(PatientName("../reader/thai_ir166.dcm"), u"ทดสอบ^ภาษาไทย ");
}

TEST(CharacterSetTest, ThaiAndChineseCodeExtensionsSwitchInsideAValue)
{
    // TIS 620 after ESC - T (G1), back to ASCII after ESC ( B; GB 2312 in G1 after ESC $ ) A.
    EXPECT_EQ(Convert("ISO 2022 IR 6\\ISO 2022 IR 166", "Test=\x1B-T\xB7\xB4\xCA\xCD\xBA\x1B(B="), u"Test=ทดสอบ=");
    EXPECT_EQ(Convert("\\ISO 2022 IR 58", "Zhang=\x1B$)A\xD5\xC5"), u"Zhang=张");
    // Without the escape, the bytes are read in the default repertoire, not as GB 2312.
    EXPECT_NE(Convert("\\ISO 2022 IR 58", "\xD5\xC5"), u"张");
}

TEST(CharacterSetTest, JapaneseWithKatakanaAndSupplementaryKanjiConverts)
{
    // PS3.5 H.3.2: half-width katakana in GR, romaji after ESC ( J.
    EXPECT_EQ(Convert("ISO 2022 IR 13\\ISO 2022 IR 87",
                      "\xD4\xCF\xC0\xDE^\xC0\xDB\xB3=\x1B$B;3ED\x1B(J^\x1B$BB@O:\x1B(J=\x1B$B$d$^$@\x1B(J^"
                      "\x1B$B$?$m$&\x1B(J"),
              u"ﾔﾏﾀﾞ^ﾀﾛｳ=山田^太郎=やまだ^たろう");
    EXPECT_EQ(Convert("ISO_IR 13", "\xD4\xCF\xC0\xDE^\xC0\xDB\xB3"), u"ﾔﾏﾀﾞ^ﾀﾛｳ");
    // JIS X 0212 row 16 cell 1 and row 11 cell 1.
    EXPECT_EQ(Convert("\\ISO 2022 IR 87\\ISO 2022 IR 159", "Ko=\x1B$(D\x30\x21\x2B\x21\x1B$B;3\x1B(B"), u"Ko=丂á山");
}

TEST(CharacterSetTest, SingleByteRepertoiresConvertWithAndWithoutEscapes)
{
    EXPECT_EQ(Convert("ISO_IR 100", "Buc^J\xE9r\xF4me"), u"Buc^Jérôme");
    EXPECT_EQ(Convert("ISO_IR 126", "\xC4\xE9\xEF\xED\xF5\xF3\xE9\xEF\xF2"), u"Διονυσιος");
    EXPECT_EQ(Convert("ISO_IR 138", "\xF9\xF8\xE5\xEF^\xE3\xE1\xE5\xF8\xE4"), u"שרון^דבורה");
    EXPECT_EQ(Convert("ISO 2022 IR 100\\ISO 2022 IR 126", "J\xE9r\xF4me=\x1B-F\xC4\xE9\x1B-A\xE9"), u"Jérôme=Διé");
}

TEST(CharacterSetTest, AnsiConversionUsesTheDefaultCodePageAndGivesNoTextForNoBytes)
{
    const WideConversion empty = ConvertAnsiToWide({});
    EXPECT_EQ(empty.code, 0);
    EXPECT_FALSE(empty.text.has_value());

    SetDefaultAnsiCodePage(1252);
    EXPECT_EQ(ConvertAnsiToWide(Bytes("J\xE9r\xF4me")).text, u"Jérôme");
    // Under UTF-8, well-formed UTF-8 reads as such and anything else as windows-1252, all of the value at once.
    SetDefaultAnsiCodePage(65001);
    EXPECT_EQ(ConvertAnsiToWide(Bytes("J\xC3\xA9r\xC3\xB4me")).text, u"Jérôme");
    EXPECT_EQ(ConvertAnsiToWide(Bytes("J\xC3\xA9r\xF4me")).text, u"J\u00C3\u00A9rôme");
    EXPECT_EQ(ConvertAnsiToWide(Bytes("Ren\xE9")).text, u"René");
    // Another code page keeps its own reading of the same bytes.
    SetDefaultAnsiCodePage(28595);
    EXPECT_EQ(ConvertAnsiToWide(Bytes("Ren\xE9")).text, u"Renщ");
    SetDefaultAnsiCodePage(kCodePageAnsi);
}

// A kept escape with nothing after it decodes to no characters; that is an empty run, not a failed value.
TEST(CharacterSetTest, EmptyIdeographicGroupDoesNotSendTheNameToTheRawByteFallback)
{
    EXPECT_EQ(Convert("\\ISO 2022 IR 87", "Yamada^Tarou=\x1B$B\x1B(B="), u"Yamada^Tarou==");
}

TEST(CharacterSetTest, EmptyValueGivesAnEmptyText)
{
    const WideConversion converted = ConvertToWide(Bytes("ISO_IR 100"), {});
    EXPECT_EQ(converted.code, 0);
    EXPECT_EQ(converted.text, u"");
}

} // namespace
} // namespace orblane
