#pragma once

#include "platform/FatalFault.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace orblane {

// Failures that nothing handled are reported as "11002" with an exception code in the numbering the catalogue's
// texts use (the Windows exception codes): on Linux a fatal signal maps to the code of the matching processor
// exception, a C++ exception to the code the C++ runtime raises for it.
using platform::kAccessViolation;
using platform::kCppException;
using platform::kIllegalInstruction;
using platform::kInPageError;
using platform::kIntegerDivideByZero;
using platform::kIntegerOverflow;
using platform::kPrivilegedInstruction;
#if !defined(_WIN32)
using platform::ExceptionCodeForSignal;
#endif

// The viewer's report-only mode: started with this single argument, it loads the catalogue, shows "11002" with the
// number and ends. A crashed process starts it and waits, so that no window is drawn from a signal handler.
inline constexpr std::string_view kReportOption = "--report-unhandled=";

// The number of a report-only start, or nullopt for a normal start.
std::optional<std::uint32_t> ReportOptionNumber(int argc, const char* const* argv) noexcept;

// Installs the report of faults that nothing handles (platform::InstallFatalFaultReport) and of std::terminate. Each
// reports through a new run of this executable in report-only mode, waits for it, and ends the process with exit
// code 0 (the system releases the instance lock).
void InstallUnhandledFailureReport();

// The same report from ordinary code (any thread); does not return.
[[noreturn]] void ReportUnhandledAndExit(std::uint32_t exceptionCode) noexcept;

} // namespace orblane
