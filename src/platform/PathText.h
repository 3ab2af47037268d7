#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace orblane::platform {

// Paths travel through the program as UTF-8 text (settings values, file IDs, the module folder). On Linux that is
// what the system takes; on Windows a std::filesystem::path made from narrow text would read it in the ANSI code
// page and turn every non-ASCII name into another one, so every conversion between the two goes through here.
inline std::filesystem::path PathFromUtf8(std::string_view text)
{
#if defined(_WIN32)
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
#else
    return std::filesystem::path(std::string(text));
#endif
}

inline std::string Utf8FromPath(const std::filesystem::path& path)
{
#if defined(_WIN32)
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
#else
    return path.native();
#endif
}

} // namespace orblane::platform
