#include "core/ErrorReport.h"
#include "core/ApplicationState.h"
#include "core/ErrorCatalogue.h"
#include "platform/ErrorSink.h"

#include "unit/TempFolder.h"

#include <gtest/gtest.h>

#include <vector>

namespace orblane {
namespace {

using test::TempFolder;
using test::Utf16Le;

class ErrorReportTest : public ::testing::Test
{
protected:
    ErrorReportTest()
        : catalogue(ParseErrorCatalogue(Utf16Le(u"\"11002\",\"Unexpected problem\",\"Start again \"\r\n"
                                                u"\"11000\",\"Image left out\",\"Close programs\"\r\n")))
    {
    }
    ErrorDialogTexts Build(std::string_view code, std::uint32_t number) const
    {
        return BuildErrorDialogTexts(catalogue.get(), code, number, folder.Path("OrblInf.ini"));
    }
    TempFolder folder;
    std::unique_ptr<CErrInf> catalogue;
};

TEST_F(ErrorReportTest, FoundCodeShowsItsTextsWithTheNumberInParentheses)
{
    const ErrorDialogTexts texts = Build("11002", 0xC0000005);
    EXPECT_EQ(texts.code, u"11002");
    EXPECT_EQ(texts.message, u"Unexpected problem");
    EXPECT_EQ(texts.action, u"Start again (3221225477)");
    EXPECT_EQ(texts.okCaption, u"OK");
    EXPECT_EQ(Build("11000", 0).action, u"Close programs");
    EXPECT_EQ(Build("11000", 7).action, u"Close programs(7)");
}

TEST_F(ErrorReportTest, UnknownOrMissingCodeOrCatalogueShowsTheFallbackWithoutTheNumber)
{
    for (const ErrorDialogTexts& texts : {Build("10103", 2), Build("", 2), Build("1100", 0),
                                          BuildErrorDialogTexts(nullptr, "11002", 5, folder.Path("OrblInf.ini"))})
    {
        EXPECT_EQ(texts.code, u"10101");
        EXPECT_EQ(texts.message, u"The error message file cannot be read");
        EXPECT_EQ(texts.action, u"");
    }
}

TEST_F(ErrorReportTest, OkCaptionComesFromTheInfoSettingsAtEachError)
{
    folder.Write("OrblInf.ini", "[OK]\nagree=Understood\n");
    EXPECT_EQ(Build("11002", 0).okCaption, u"Understood");
    EXPECT_EQ(Build("", 0).okCaption, u"Understood");
    folder.Write("OrblInf.ini", "[OK]\nagree=\n");
    EXPECT_EQ(Build("11002", 0).okCaption, u"OK");
}

TEST_F(ErrorReportTest, StandardErrorLineIsOneLineWithCodeMessageAndAction)
{
    ErrorDialogTexts texts{u"OK", u"10103", u"No list\r\nof studies", u"Check the disc (2)"};
    EXPECT_EQ(FormatErrorLine(texts), "error 10103: No list  of studies - Check the disc (2)");
    texts.action.clear();
    EXPECT_EQ(FormatErrorLine(texts), "error 10103: No list  of studies");
    texts.message = u"Zoë";
    EXPECT_EQ(FormatErrorLine(texts), "error 10103: Zo\xC3\xAB");
}

std::vector<std::u16string> presented;

void RecordPresented(const ErrorDialogTexts& texts)
{
    presented.push_back(texts.code + u"|" + texts.action);
}

TEST_F(ErrorReportTest, NonFatalErrorsShowTheDialogEachTimeAndReturn)
{
    const ErrorHandler previous = SetErrorHandler(nullptr);
    AppState().catalogue = std::move(catalogue);
    InstallApplicationErrorHandler(&RecordPresented);
    presented.clear();
    ::testing::internal::CaptureStderr();
    RaiseError("11000", 0, false);
    RaiseError("11000", 0, false);
    RaiseError("99999", 3, false);
    const std::string lines = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(presented, (std::vector<std::u16string>{u"11000|Close programs", u"11000|Close programs", u"10101|"}));
    EXPECT_EQ(lines, "error 11000: Image left out - Close programs\nerror 11000: Image left out - Close programs\n"
                     "error 10101: The error message file cannot be read\n");
    InstallApplicationErrorHandler(nullptr);
    ReleaseApplicationState();
    SetErrorHandler(previous);
}

TEST_F(ErrorReportTest, FatalErrorEndsTheProcessWithExitCodeZeroAfterTheReport)
{
    AppState().catalogue = std::move(catalogue);
    EXPECT_EXIT(
        {
            InstallApplicationErrorHandler(&RecordPresented);
            RaiseError("11002", 0xC0000005, true);
        },
        ::testing::ExitedWithCode(0), "error 11002: Unexpected problem - Start again \\(3221225477\\)");
    ReleaseApplicationState();
    SetErrorHandler(nullptr);
}

} // namespace
} // namespace orblane
