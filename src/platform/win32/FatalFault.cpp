#include "platform/FatalFault.h"

#include <windows.h>

#include <cwchar>
#include <iterator>

namespace orblane::platform {
namespace {

FatalFaultReport installedReport = nullptr;

// The filter runs on the faulting thread once no handler took the exception: the exception's own code is the
// report's number (an in-page error from a lost medium outside every guarded read among them).
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception)
{
    const std::uint32_t code = exception != nullptr && exception->ExceptionRecord != nullptr
                                   ? static_cast<std::uint32_t>(exception->ExceptionRecord->ExceptionCode)
                                   : kAccessViolation;
    installedReport(code);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

void InstallFatalFaultReport(FatalFaultReport report) noexcept
{
    installedReport = report;
    // A stack overflow leaves the filter almost no stack: keep some for it.
    ULONG reserve = 64 * 1024;
    ::SetThreadStackGuarantee(&reserve);
    // No system dialog for a crash: the report is ours.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    ::SetUnhandledExceptionFilter(&OnUnhandledException);
}

bool RunSelfAndWait(const char* argument) noexcept
{
    // Fixed buffers: this runs in the filter, where the heap may be what failed.
    static wchar_t self[32768];
    const DWORD length = ::GetModuleFileNameW(nullptr, self, static_cast<DWORD>(std::size(self)));
    if (length == 0 || length >= std::size(self))
    {
        return false;
    }
    static wchar_t commandLine[32768 + 128];
    std::size_t at = 0;
    commandLine[at++] = L'"';
    for (DWORD k = 0; k < length; ++k)
    {
        commandLine[at++] = self[k];
    }
    commandLine[at++] = L'"';
    commandLine[at++] = L' ';
    // The argument is ASCII (an option and digits).
    for (const char* c = argument; *c != '\0' && at + 1 < std::size(commandLine); ++c)
    {
        commandLine[at++] = static_cast<wchar_t>(static_cast<unsigned char>(*c));
    }
    commandLine[at] = L'\0';
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(self, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    {
        return false;
    }
    ::CloseHandle(process.hThread);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    ::CloseHandle(process.hProcess);
    return exitCode == 0;
}

void WriteToStandardError(const char* text, std::size_t length) noexcept
{
    const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    while (error != nullptr && error != INVALID_HANDLE_VALUE && length > 0)
    {
        DWORD written = 0;
        if (!::WriteFile(error, text, static_cast<DWORD>(length), &written, nullptr) || written == 0)
        {
            return;
        }
        text += written;
        length -= written;
    }
}

void EndProcessNow() noexcept
{
    // TerminateProcess rather than ExitProcess: no DLL of the crashed process runs its detach code.
    ::TerminateProcess(::GetCurrentProcess(), 0);
    ::ExitProcess(0);
}

} // namespace orblane::platform
