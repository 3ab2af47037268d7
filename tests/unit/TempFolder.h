#pragma once

// A private temporary folder for one test, removed with everything in it when the test ends: the shared scratch
// folder, with paths as the text the settings readers take.
#include "support/ScratchFolder.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orblane::test {

class TempFolder
{
public:
    // The folder with a trailing "/", the form the settings paths take.
    std::string Folder() const { return scratch.FolderText(); }
    std::string Path(std::string_view name) const { return (scratch.Path() / name).string(); }

    std::string Write(std::string_view name, std::string_view bytes) const
    {
        return scratch.Write(name, bytes).string();
    }
    std::string Write(std::string_view name, const std::vector<std::uint8_t>& bytes) const
    {
        return Write(name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }

private:
    test::ScratchFolder scratch;
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

} // namespace orblane::test
