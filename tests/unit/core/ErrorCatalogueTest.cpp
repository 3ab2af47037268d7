#include "core/ErrorCatalogue.h"
#include "core/ApplicationState.h"
#include "platform/ErrorSink.h"

#include "unit/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace orblane {
namespace {

using test::TempFolder;
using test::Utf16Le;

std::unique_ptr<CErrInf> Parse(std::u16string_view text)
{
    return ParseErrorCatalogue(Utf16Le(text));
}

std::vector<std::u16string> Codes(const CErrInf* head)
{
    std::vector<std::u16string> codes;
    for (; head != nullptr; head = head->next.get())
    {
        codes.push_back(head->code);
    }
    return codes;
}

TEST(ErrorCatalogueTest, CrLfCatalogueWithEmptyLinesLoadsEveryLineAsAnEntry)
{
    const auto head = Parse(u"\"10000\",\"Settings missing\",\"Copy them\"\r\n\r\n"
                            u"\"10001\",\"No bitmap\",\"Reinstall\"\r\n\r\n\"10103\",\"No DICOMDIR\",\"Check\"\r\n");
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(Codes(head.get()), (std::vector<std::u16string>{u"10000", u"10001", u"10103"}));
    EXPECT_EQ(head->message, u"Settings missing");
    EXPECT_EQ(head->action, u"Copy them");
    EXPECT_EQ(head->next->next->action, u"Check");
}

TEST(ErrorCatalogueTest, EmptyOrBlankLinesAfterTheFirstEntryFailOutsideCrLf)
{
    // In an LF-only file an empty line reads as empty text, which has no quote.
    EXPECT_EQ(Parse(u"\"1\",\"m\",\"a\"\n\n\"2\",\"m\",\"a\"\n"), nullptr);
    EXPECT_EQ(Parse(u"\"1\",\"m\",\"a\"\r\n   \r\n"), nullptr);
    // A short line after the first entry gets no length allowance either.
    EXPECT_EQ(Parse(u"\"1\",\"m\",\"a\"\r\nab\r\n"), nullptr);
    // Its last line needs no line end, and a final line end adds no empty line.
    EXPECT_NE(Parse(u"\"1\",\"m\",\"a\"\n\"2\",\"m\",\"a\""), nullptr);
    EXPECT_NE(Parse(u"\"1\",\"m\",\"a\"\n"), nullptr);
}

TEST(ErrorCatalogueTest, LoadFailsWithoutTheLittleEndianByteOrderMark)
{
    const std::string utf8 = "\"10000\",\"m\",\"a\"\r\n";
    EXPECT_EQ(ParseErrorCatalogue(ByteView(reinterpret_cast<const std::uint8_t*>(utf8.data()), utf8.size())), nullptr);
    EXPECT_EQ(ParseErrorCatalogue(Utf16Le(u"\"1\",\"m\",\"a\"", false)), nullptr);
    const std::uint8_t bigEndian[] = {0xFE, 0xFF, 0x00, 0x22};
    EXPECT_EQ(ParseErrorCatalogue(bigEndian), nullptr);
    const std::uint8_t oneByte[] = {0xFF};
    EXPECT_EQ(ParseErrorCatalogue(oneByte), nullptr);
    EXPECT_EQ(ParseErrorCatalogue(ByteView()), nullptr);
    // The mark alone, or with only short lines, holds no accepted line.
    EXPECT_EQ(Parse(u""), nullptr);
    EXPECT_EQ(Parse(u"\r\nab\r\n"), nullptr);
}

TEST(ErrorCatalogueTest, ShortLeadingLinesAreSkippedAndTheFirstLongerLineIsAnEntry)
{
    // The first line as read is the mark and a CR: two units, skipped. "ab" is skipped too.
    auto head = Parse(u"\r\nab\n\"7\",\"m\",\"a\"\r\n");
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head->code, u"7");
    // Three units on the first line count the mark, which is then dropped: here that leaves no quote.
    EXPECT_EQ(Parse(u"ab\n\"7\",\"m\",\"a\"\n"), nullptr);
    head = Parse(u"\"7\",\"m\",\"a\"");
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head->code, u"7");
}

TEST(ErrorCatalogueTest, FieldsAreTheTextsBetweenTheSixQuotes)
{
    auto head = Parse(u" x\"10100\" y , z \"Disc, damaged\" ,\"\" tail\r\n");
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head->code, u"10100");
    EXPECT_EQ(head->message, u"Disc, damaged");
    EXPECT_EQ(head->action, u"");
    // CR and LF are removed wherever they stand in the line.
    head = Parse(u"\"1\",\"a\rb\",\"c\"\r\n");
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head->message, u"ab");
}

TEST(ErrorCatalogueTest, AMissingQuoteOrCommaAnywhereFailsTheWholeCatalogue)
{
    const std::u16string good = u"\"1\",\"m\",\"a\"";
    for (std::size_t i = 0; i < good.size(); ++i)
    {
        if (good[i] != u'"' && good[i] != u',')
        {
            continue;
        }
        std::u16string broken = good;
        broken.erase(i, 1);
        EXPECT_EQ(Parse(broken), nullptr) << "without the character at " << i;
        EXPECT_EQ(Parse(good + u"\r\n" + broken + u"\r\n" + good), nullptr) << "second line, character " << i;
    }
}

TEST(ErrorCatalogueTest, LookupIsExactAndTheFirstOfDuplicateCodesWins)
{
    const auto head = Parse(u"\"10000\",\"first\",\"\"\n\"10000\",\"second\",\"\"\n\" 11000\",\"spaced\",\"\"");
    ASSERT_NE(head, nullptr);
    ASSERT_NE(FindCatalogueEntry(head.get(), u"10000"), nullptr);
    EXPECT_EQ(FindCatalogueEntry(head.get(), u"10000")->message, u"first");
    EXPECT_EQ(FindCatalogueEntry(head.get(), u"11000"), nullptr);
    EXPECT_EQ(FindCatalogueEntry(head.get(), u"1000"), nullptr);
    EXPECT_EQ(FindCatalogueEntry(nullptr, u"10000"), nullptr);
}

TEST(ErrorCatalogueTest, AVeryLongCatalogueLoadsAndIsFreedWithoutExhaustingTheStack)
{
    std::u16string text;
    constexpr int kLines = 300000;
    for (int i = 0; i < kLines; ++i)
    {
        text += u"\"1\",\"m\",\"a\"\r\n";
    }
    auto head = Parse(text);
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(Codes(head.get()).size(), static_cast<std::size_t>(kLines));
    head.reset();
}

std::vector<std::string> raised;

void RecordRaise(std::string_view code, std::uint32_t, bool exitAfter)
{
    raised.push_back(std::string(code) + (exitAfter ? " exit" : ""));
}

TEST(ErrorCatalogueTest, LoadingRaisesTheFallbackWithExitOnAnyFailure)
{
    TempFolder folder;
    const ErrorHandler previous = SetErrorHandler(&RecordRaise);
    raised.clear();
    EXPECT_FALSE(LoadErrorCatalogueFrom(folder.Path("Errinf.csv")));
    EXPECT_FALSE(LoadErrorCatalogueFrom(folder.Write("utf8.csv", "\"1\",\"m\",\"a\"\r\n")));
    EXPECT_FALSE(LoadErrorCatalogueFrom(folder.Folder()));
    EXPECT_EQ(raised, (std::vector<std::string>{" exit", " exit", " exit"}));
    EXPECT_EQ(AppState().catalogue, nullptr);

    raised.clear();
    EXPECT_TRUE(LoadErrorCatalogueFrom(folder.Write("ok.csv", Utf16Le(u"\"10000\",\"m\",\"a\"\r\n"))));
    EXPECT_TRUE(raised.empty());
    ASSERT_NE(AppState().catalogue, nullptr);
    EXPECT_EQ(AppState().catalogue->code, u"10000");
    ReleaseApplicationState();
    SetErrorHandler(previous);
}

TEST(ErrorCatalogueTest, ShippedCatalogueHoldsEveryCodeTheViewerRaises)
{
    TempFolder folder;
    const auto bytes = [] {
        std::ifstream in(ORBLANE_TEST_DATA_DIR "/../../resources/medium/Errinf.csv", std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
    }();
    const auto head = ParseErrorCatalogue(bytes);
    ASSERT_NE(head, nullptr);
    for (const std::u16string_view code :
         {u"10000", u"10001", u"10100", u"10101", u"10103", u"10104", u"11000", u"11002"})
    {
        const CErrInf* entry = FindCatalogueEntry(head.get(), code);
        ASSERT_NE(entry, nullptr);
        EXPECT_FALSE(entry->message.empty());
        EXPECT_FALSE(entry->action.empty());
    }
    EXPECT_EQ(FindCatalogueEntry(head.get(), u"10101")->message, u"The error message file cannot be read");
    EXPECT_EQ(FindCatalogueEntry(head.get(), u"10104")->message, u"The image could not be saved");
}

} // namespace
} // namespace orblane
