#include "platform/ErrorSink.h"

#include <gtest/gtest.h>

#include <string>

namespace orblane {
namespace {

std::string lastCode;
std::uint32_t lastNumber = 0;
bool lastExit = false;

void Record(std::string_view code, std::uint32_t number, bool exitAfter)
{
    lastCode = code;
    lastNumber = number;
    lastExit = exitAfter;
}

TEST(ErrorSinkTest, RaisedCodeReachesTheInstalledHandlerUntilItIsRemoved)
{
    const ErrorHandler previous = SetErrorHandler(&Record);
    RaiseError("10103", 2, false);
    EXPECT_EQ(lastCode, "10103");
    EXPECT_EQ(lastNumber, 2u);
    EXPECT_FALSE(lastExit);
    EXPECT_EQ(SetErrorHandler(previous), &Record);
}

TEST(ErrorSinkTest, DefaultHandlerEndsTheProcessWithExitCodeZeroForFatalErrors)
{
    SetErrorHandler(nullptr);
    EXPECT_EXIT(RaiseError("10000", 0, true), ::testing::ExitedWithCode(0), "error 10000");
}

} // namespace
} // namespace orblane
