#include "platform/FatalFault.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace orblane::platform {
namespace {

constexpr std::array kFatalSignals{SIGSEGV, SIGBUS, SIGFPE, SIGILL};

// A stack of its own for the handler, so that a stack overflow can still be reported.
alignas(16) char alternateStack[64 * 1024];
FatalFaultReport installedReport = nullptr;

void OnFatalSignal(int signalNumber, siginfo_t* info, void* /*context*/)
{
    installedReport(ExceptionCodeForSignal(signalNumber, info != nullptr ? info->si_code : 0));
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

void InstallFatalFaultReport(FatalFaultReport report) noexcept
{
    installedReport = report;
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
}

bool RunSelfAndWait(const char* argument) noexcept
{
    char self[] = "/proc/self/exe";
    char* const arguments[] = {self, const_cast<char*>(argument), nullptr};
    const pid_t child = ::fork();
    if (child == 0)
    {
        ::execve(self, arguments, environ);
        ::_exit(127);
    }
    if (child < 0)
    {
        return false;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR)
    {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void WriteToStandardError(const char* text, std::size_t length) noexcept
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

void EndProcessNow() noexcept
{
    ::_exit(0);
}

} // namespace orblane::platform
