#pragma once

#include <cstdint>
#include <string_view>

namespace orblane {

// The codes of the error catalogue that the program raises. Below the user interface they travel as values; the
// window that learns of one decides to show it (RaiseError), so that a worker thread or a headless tool never
// opens a dialog or ends the process.
enum class ErrorCode : std::uint16_t
{
    None = 0,
    SettingsMissing = 10000,
    LaunchBitmapUnusable = 10001,
    ImageFileUnreadable = 10100,
    CatalogueUnreadable = 10101,
    DicomDirUnreadable = 10103,
    ImageNotSaved = 10104,
    OutOfMemory = 11000,
    Unexpected = 11002,
};

// The catalogue's text for the code ("10103"); empty for None.
constexpr std::string_view ErrorCodeText(ErrorCode code) noexcept
{
    switch (code)
    {
    case ErrorCode::SettingsMissing:
        return "10000";
    case ErrorCode::LaunchBitmapUnusable:
        return "10001";
    case ErrorCode::ImageFileUnreadable:
        return "10100";
    case ErrorCode::CatalogueUnreadable:
        return "10101";
    case ErrorCode::DicomDirUnreadable:
        return "10103";
    case ErrorCode::ImageNotSaved:
        return "10104";
    case ErrorCode::OutOfMemory:
        return "11000";
    case ErrorCode::Unexpected:
        return "11002";
    case ErrorCode::None:
        break;
    }
    return {};
}

// A failure as a value: the catalogue code and the number its action text gets (an errno, an exception code, or 0).
struct ErrorOutcome
{
    ErrorCode code = ErrorCode::None;
    std::uint32_t number = 0;

    explicit operator bool() const noexcept { return code != ErrorCode::None; }
};

} // namespace orblane
