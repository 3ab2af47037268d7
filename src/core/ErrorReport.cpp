#include "core/ErrorReport.h"

#include "core/ApplicationState.h"
#include "core/ErrorCatalogue.h"
#include "core/Settings.h"
#include "platform/ErrorSink.h"
#include "platform/SettingsPaths.h"
#include "platform/Utf16.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace orblane {
namespace {

std::atomic<ErrorPresenter> currentPresenter{nullptr};

std::u16string Widen(std::string_view ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

std::string OneLine(std::u16string_view text)
{
    std::string line = EncodeUtf8(text);
    for (char& c : line)
    {
        if (c == '\r' || c == '\n')
        {
            c = ' ';
        }
    }
    return line;
}

void ApplicationErrorHandler(std::string_view code, std::uint32_t number, bool exitAfter)
{
    const ErrorDialogTexts texts =
        BuildErrorDialogTexts(AppState().catalogue.get(), code, number, GetInfoSettingsPath());
    const std::string line = FormatErrorLine(texts);
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    if (const ErrorPresenter presenter = currentPresenter.load())
    {
        presenter(texts);
    }
    if (exitAfter)
    {
        EndAfterFatalError();
    }
}

} // namespace

ErrorDialogTexts BuildErrorDialogTexts(const CErrInf* catalogue, std::string_view code, std::uint32_t number,
                                       const std::string& infoPath)
{
    ErrorDialogTexts texts;
    texts.okCaption = ReadErrorDialogOkCaption(infoPath);
    const CErrInf* entry = code.empty() ? nullptr : FindCatalogueEntry(catalogue, Widen(code));
    if (entry == nullptr)
    {
        texts.code = kFallbackCode;
        texts.message = kFallbackMessage;
        return texts;
    }
    texts.code = entry->code;
    texts.message = entry->message;
    texts.action = entry->action;
    if (number != 0)
    {
        texts.action += u"(" + Widen(std::to_string(number)) + u")";
    }
    return texts;
}

std::string FormatErrorLine(const ErrorDialogTexts& texts)
{
    std::string line = "error " + OneLine(texts.code) + ": " + OneLine(texts.message);
    if (!texts.action.empty())
    {
        line += " - " + OneLine(texts.action);
    }
    return line;
}

void InstallApplicationErrorHandler(ErrorPresenter presenter)
{
    currentPresenter.store(presenter);
    SetErrorHandler(&ApplicationErrorHandler);
}

void EndAfterFatalError()
{
    ReleaseApplicationState();
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace orblane
