#pragma once

#include "core/CErrInf.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace orblane {

// The four texts of one error dialog.
struct ErrorDialogTexts
{
    std::u16string okCaption;
    std::u16string code;
    std::u16string message;
    std::u16string action;
};

inline constexpr std::u16string_view kFallbackCode = u"10101";
inline constexpr std::u16string_view kFallbackMessage = u"The error message file cannot be read";

// Looks the code up in the catalogue (first entry wins) and builds the dialog's texts: a non-zero number is appended
// to the action as "(NUMBER)" in unsigned decimal. No code, an empty catalogue or an unknown code give the fallback
// texts, which never show the number. The OK caption comes from "OrblInf.ini" at infoPath.
ErrorDialogTexts BuildErrorDialogTexts(const CErrInf* catalogue, std::string_view code, std::uint32_t number,
                                       const std::string& infoPath);

// One line for standard error: "error CODE: MESSAGE - ACTION", UTF-8, with any line breaks of the texts flattened.
std::string FormatErrorLine(const ErrorDialogTexts& texts);

// Shows the dialog modally; installed by the user interface (a program without one only writes the line).
using ErrorPresenter = void (*)(const ErrorDialogTexts& texts);

// Makes RaiseError report through the catalogue: write the line to standard error, show the dialog through the
// presenter, and for fatal errors end the process (EndAfterFatalError).
void InstallApplicationErrorHandler(ErrorPresenter presenter);

// The end after a fatal error: the instance lock is released, the catalogue freed, and the process ends with exit
// code 0 without running anything else.
[[noreturn]] void EndAfterFatalError();

} // namespace orblane
