#pragma once

#include "platform/ErrorCode.h"

#include <cstdint>
#include <string_view>

namespace orblane {

// Every user-visible failure goes through RaiseError. The core layers detect failures and name their catalogue
// code here; what the code turns into (the error dialog, a line on standard error, a recorded code in a test) is
// decided by the handler that the running program installs. The core never links a window system.
//
// code: decimal digits such as "10103", or empty for none; number: appended to the action text when not 0;
// exitAfter: the process ends after the report (the handler does not return).
using ErrorHandler = void (*)(std::string_view code, std::uint32_t number, bool exitAfter);

// Installs the handler and answers the previous one. Passing nullptr restores the default, which writes
// "error CODE (NUMBER)" to standard error and, for exitAfter, ends the process with exit code 0.
ErrorHandler SetErrorHandler(ErrorHandler handler) noexcept;

void RaiseError(std::string_view code, std::uint32_t number, bool exitAfter);
void RaiseError(ErrorCode code, std::uint32_t number, bool exitAfter);
// Shows a failure that a lower layer answered as a value; nothing for none.
inline void RaiseError(const ErrorOutcome& error, bool exitAfter)
{
    if (error)
    {
        RaiseError(error.code, error.number, exitAfter);
    }
}

} // namespace orblane
