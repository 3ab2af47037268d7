#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace orblane {

// Failures that nothing handled are reported as "11002" with an exception code in the numbering the catalogue's
// texts use (the Windows exception codes): a fatal signal maps to the code of the matching processor exception, a
// C++ exception to the code the C++ runtime raises for it.
inline constexpr std::uint32_t kAccessViolation = 0xC0000005;
inline constexpr std::uint32_t kInPageError = 0xC0000006;
inline constexpr std::uint32_t kIllegalInstruction = 0xC000001D;
inline constexpr std::uint32_t kPrivilegedInstruction = 0xC0000096;
inline constexpr std::uint32_t kIntegerDivideByZero = 0xC0000094;
inline constexpr std::uint32_t kIntegerOverflow = 0xC0000095;
inline constexpr std::uint32_t kCppException = 0xE06D7363;

std::uint32_t ExceptionCodeForSignal(int signalNumber, int signalCode) noexcept;

// The viewer's report-only mode: started with this single argument, it loads the catalogue, shows "11002" with the
// number and ends. A crashed process starts it and waits, so that no window is drawn from a signal handler.
inline constexpr std::string_view kReportOption = "--report-unhandled=";

// The number of a report-only start, or nullopt for a normal start.
std::optional<std::uint32_t> ReportOptionNumber(int argc, const char* const* argv) noexcept;

// Installs the handlers for SIGSEGV, SIGBUS, SIGFPE, SIGILL and std::terminate. Each reports through a new run of
// this executable in report-only mode, waits for it, and ends the process with exit code 0 (the kernel releases the
// instance lock).
void InstallUnhandledFailureReport();

// The same report from ordinary code (any thread); does not return.
[[noreturn]] void ReportUnhandledAndExit(std::uint32_t exceptionCode) noexcept;

} // namespace orblane
