#include "core/UnhandledFailure.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <csignal>
#endif

namespace orblane {
namespace {

TEST(UnhandledFailureTest, FatalSignalsMapToTheProcessorExceptionCodes)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows reports its own exception codes: there are no signals to map";
#else
    EXPECT_EQ(ExceptionCodeForSignal(SIGSEGV, SEGV_MAPERR), 3221225477u);
    EXPECT_EQ(ExceptionCodeForSignal(SIGSEGV, SI_USER), 0xC0000005u);
    EXPECT_EQ(ExceptionCodeForSignal(SIGBUS, BUS_ADRERR), 0xC0000006u);
    EXPECT_EQ(ExceptionCodeForSignal(SIGILL, ILL_ILLOPC), 0xC000001Du);
    EXPECT_EQ(ExceptionCodeForSignal(SIGILL, ILL_PRVOPC), 0xC0000096u);
    EXPECT_EQ(ExceptionCodeForSignal(SIGFPE, FPE_INTDIV), 0xC0000094u);
    EXPECT_EQ(ExceptionCodeForSignal(SIGFPE, FPE_INTOVF), 0xC0000095u);
    EXPECT_EQ(ExceptionCodeForSignal(SIGFPE, FPE_FLTDIV), 0xC000008Eu);
#endif
}

TEST(UnhandledFailureTest, ReportOptionIsRecognisedOnlyAsTheSingleWellFormedArgument)
{
    const auto number = [](std::initializer_list<const char*> args) {
        return ReportOptionNumber(static_cast<int>(args.size()), args.begin());
    };
    EXPECT_EQ(number({"Orblane", "--report-unhandled=3221225477"}), 3221225477u);
    EXPECT_EQ(number({"Orblane", "--report-unhandled=0"}), 0u);
    EXPECT_FALSE(number({"Orblane"}).has_value());
    EXPECT_FALSE(number({"Orblane", "--report-unhandled="}).has_value());
    EXPECT_FALSE(number({"Orblane", "--report-unhandled=12x"}).has_value());
    EXPECT_FALSE(number({"Orblane", "--report-unhandled=4294967296"}).has_value());
    EXPECT_FALSE(number({"Orblane", "--report-unhandled=5", "extra"}).has_value());
    EXPECT_FALSE(number({"Orblane", "-platform"}).has_value());
}

} // namespace
} // namespace orblane
