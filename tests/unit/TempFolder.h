#pragma once

// A private temporary folder for one test, removed with everything in it when the test ends.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace orblane::testing {

class TempFolder
{
public:
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "orblane-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr)
        {
            root = pattern;
        }
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder with a trailing "/", the form the settings paths take.
    std::string Folder() const { return root.string() + "/"; }
    std::string Path(std::string_view name) const { return (root / name).string(); }

    std::string Write(std::string_view name, std::string_view bytes) const
    {
        const std::filesystem::path path = root / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }
    std::string Write(std::string_view name, const std::vector<std::uint8_t>& bytes) const
    {
        return Write(name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }

private:
    std::filesystem::path root;
};

// Text as UTF-16 LE bytes, optionally led by the byte-order mark.
inline std::vector<std::uint8_t> Utf16Le(std::u16string_view text, bool byteOrderMark = true)
{
    std::vector<std::uint8_t> bytes;
    if (byteOrderMark)
    {
        bytes = {0xFF, 0xFE};
    }
    for (const char16_t unit : text)
    {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

} // namespace orblane::testing
