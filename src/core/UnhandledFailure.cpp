#include "core/UnhandledFailure.h"

#include <atomic>
#include <charconv>
#include <cstring>
#include <exception>

namespace orblane {
namespace {

std::atomic<int> reporting{0};

// Formats without allocating: this runs inside a fault handler.
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

void OnFatalFault(std::uint32_t exceptionCode) noexcept
{
    ReportUnhandledAndExit(exceptionCode);
}

void OnTerminate()
{
    ReportUnhandledAndExit(kCppException);
}

} // namespace

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
    platform::InstallFatalFaultReport(&OnFatalFault);
    std::set_terminate(&OnTerminate);
}

void ReportUnhandledAndExit(std::uint32_t exceptionCode) noexcept
{
    // A second failure while the first is being reported (another thread, or the report itself) just ends.
    if (reporting.exchange(1) != 0)
    {
        platform::EndProcessNow();
    }

    char argument[64];
    std::memcpy(argument, kReportOption.data(), kReportOption.size());
    std::size_t length = kReportOption.size();
    length += FormatDecimal(exceptionCode, argument + length);
    argument[length] = '\0';

    if (!platform::RunSelfAndWait(argument))
    {
        // No window could be shown (the executable is gone with its medium, or no display): leave at least the code.
        char line[64];
        constexpr std::string_view prefix = "error 11002: unhandled failure (";
        std::memcpy(line, prefix.data(), prefix.size());
        std::size_t lineLength = prefix.size();
        lineLength += FormatDecimal(exceptionCode, line + lineLength);
        line[lineLength++] = ')';
        line[lineLength++] = '\n';
        platform::WriteToStandardError(line, lineLength);
    }
    platform::EndProcessNow();
}

} // namespace orblane
