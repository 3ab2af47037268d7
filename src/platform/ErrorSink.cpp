#include "platform/ErrorSink.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace orblane {
namespace {

void DefaultHandler(std::string_view code, std::uint32_t number, bool exitAfter)
{
    std::fprintf(stderr, "error %.*s", static_cast<int>(code.size()), code.data());
    if (number != 0)
    {
        std::fprintf(stderr, " (%u)", static_cast<unsigned>(number));
    }
    std::fputc('\n', stderr);
    if (exitAfter)
    {
        std::fflush(stderr);
        std::_Exit(0);
    }
}

std::atomic<ErrorHandler> currentHandler{&DefaultHandler};

} // namespace

ErrorHandler SetErrorHandler(ErrorHandler handler) noexcept
{
    return currentHandler.exchange(handler != nullptr ? handler : &DefaultHandler);
}

void RaiseError(std::string_view code, std::uint32_t number, bool exitAfter)
{
    currentHandler.load()(code, number, exitAfter);
}

void RaiseError(ErrorCode code, std::uint32_t number, bool exitAfter)
{
    RaiseError(ErrorCodeText(code), number, exitAfter);
}

} // namespace orblane
