#include "core/UnhandledFailure.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace orblane {
namespace {

constexpr std::array kFatalSignals{SIGSEGV, SIGBUS, SIGFPE, SIGILL};

// A stack of its own for the handler, so that a stack overflow can still be reported.
alignas(16) char alternateStack[64 * 1024];
volatile std::sig_atomic_t reporting = 0;

// Formats without allocating: this runs inside a signal handler.
std::size_t FormatDecimal(std::uint32_t value, char* out) noexcept
{
    char digits[10];
    std::size_t count = 0;
    do
    {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (std::size_t i = 0; i < count; ++i)
    {
        out[i] = digits[count - 1 - i];
    }
    return count;
}

void WriteAll(const char* text, std::size_t length) noexcept
{
    while (length > 0)
    {
        const ssize_t written = ::write(STDERR_FILENO, text, length);
        if (written < 0 && errno == EINTR)
        {
            continue;
        }
        if (written <= 0)
        {
            return;
        }
        text += written;
        length -= static_cast<std::size_t>(written);
    }
}

void OnFatalSignal(int signalNumber, siginfo_t* info, void* /*context*/)
{
    ReportUnhandledAndExit(ExceptionCodeForSignal(signalNumber, info != nullptr ? info->si_code : 0));
}

void OnTerminate()
{
    ReportUnhandledAndExit(kCppException);
}

} // namespace

std::uint32_t ExceptionCodeForSignal(int signalNumber, int signalCode) noexcept
{
    switch (signalNumber)
    {
    case SIGSEGV:
        return kAccessViolation;
    case SIGBUS:
        // A mapped file whose medium went away: the platform's in-page error.
        return kInPageError;
    case SIGILL:
        return signalCode == ILL_PRVOPC || signalCode == ILL_PRVREG ? kPrivilegedInstruction : kIllegalInstruction;
    case SIGFPE:
        switch (signalCode)
        {
        case FPE_INTOVF:
            return kIntegerOverflow;
        case FPE_FLTDIV:
            return 0xC000008E;
        case FPE_FLTOVF:
            return 0xC0000091;
        case FPE_FLTUND:
            return 0xC0000093;
        case FPE_FLTRES:
            return 0xC000008F;
        case FPE_FLTINV:
            return 0xC0000090;
        case FPE_FLTSUB:
            return 0xC000008C;
        default:
            return kIntegerDivideByZero;
        }
    default:
        return kAccessViolation;
    }
}

std::optional<std::uint32_t> ReportOptionNumber(int argc, const char* const* argv) noexcept
{
    if (argc != 2 || argv == nullptr || argv[1] == nullptr)
    {
        return std::nullopt;
    }
    const std::string_view argument = argv[1];
    if (argument.substr(0, kReportOption.size()) != kReportOption)
    {
        return std::nullopt;
    }
    const std::string_view digits = argument.substr(kReportOption.size());
    std::uint32_t number = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (result.ec != std::errc() || result.ptr != digits.data() + digits.size())
    {
        return std::nullopt;
    }
    return number;
}

void InstallUnhandledFailureReport()
{
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    ::sigaltstack(&stack, nullptr);

    struct sigaction action
    {
    };
    action.sa_sigaction = &OnFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : kFatalSignals)
    {
        ::sigaction(signalNumber, &action, nullptr);
    }
    std::set_terminate(&OnTerminate);
}

void ReportUnhandledAndExit(std::uint32_t exceptionCode) noexcept
{
    // A second failure while the first is being reported (another thread, or the report itself) just ends.
    if (reporting != 0)
    {
        ::_exit(0);
    }
    reporting = 1;

    char argument[64];
    std::memcpy(argument, kReportOption.data(), kReportOption.size());
    std::size_t length = kReportOption.size();
    length += FormatDecimal(exceptionCode, argument + length);
    argument[length] = '\0';

    char self[] = "/proc/self/exe";
    char* const arguments[] = {self, argument, nullptr};
    bool reported = false;
    const pid_t child = ::fork();
    if (child == 0)
    {
        ::execve(self, arguments, environ);
        ::_exit(127);
    }
    if (child > 0)
    {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR)
        {
        }
        reported = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    if (!reported)
    {
        // No window could be shown (the executable is gone with its medium, or no display): leave at least the code.
        char line[64];
        constexpr std::string_view prefix = "error 11002: unhandled failure (";
        std::memcpy(line, prefix.data(), prefix.size());
        std::size_t lineLength = prefix.size();
        lineLength += FormatDecimal(exceptionCode, line + lineLength);
        line[lineLength++] = ')';
        line[lineLength++] = '\n';
        WriteAll(line, lineLength);
    }
    ::_exit(0);
}

} // namespace orblane
