#pragma once

#include <cstddef>
#include <cstdint>

namespace orblane::platform {

// What the unhandled-failure report needs of the system: the faults that end a process caught on any thread, a run
// of this executable with one argument, and the last words. Everything here may run inside a fault handler, so it
// allocates nothing and takes no lock.

// Exception codes in the Windows numbering, which the catalogue's texts use on every system.
inline constexpr std::uint32_t kAccessViolation = 0xC0000005;
inline constexpr std::uint32_t kInPageError = 0xC0000006;
inline constexpr std::uint32_t kIllegalInstruction = 0xC000001D;
inline constexpr std::uint32_t kPrivilegedInstruction = 0xC0000096;
inline constexpr std::uint32_t kIntegerDivideByZero = 0xC0000094;
inline constexpr std::uint32_t kIntegerOverflow = 0xC0000095;
inline constexpr std::uint32_t kCppException = 0xE06D7363;

using FatalFaultReport = void (*)(std::uint32_t exceptionCode) noexcept;

// Calls `report` with the fault's exception code when a processor fault that nothing handles ends a thread: on
// Linux a fatal signal (SIGSEGV, SIGBUS, SIGFPE, SIGILL, on a stack of its own), on Windows the unhandled-exception
// filter. `report` must not return.
void InstallFatalFaultReport(FatalFaultReport report) noexcept;

// Runs this executable again with the single argument and waits for it: whether it ran and exited with 0.
bool RunSelfAndWait(const char* argument) noexcept;

// Writes to standard error without buffering.
void WriteToStandardError(const char* text, std::size_t length) noexcept;

// Ends the process at once with exit code 0: no destructors, no exit handlers.
[[noreturn]] void EndProcessNow() noexcept;

#if !defined(_WIN32)
// The exception code of a fatal signal and its si_code.
std::uint32_t ExceptionCodeForSignal(int signalNumber, int signalCode) noexcept;
#endif

} // namespace orblane::platform
