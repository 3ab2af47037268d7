#pragma once

#include "platform/PathText.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace orblane::test {

// A fresh folder under the system's temporary folder, removed with everything in it when the object goes.
class ScratchFolder
{
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path; }
    // The folder's text with a final "/", the form the medium's folder has when IDs are appended to it.
    std::string FolderText() const { return platform::Utf8FromPath(path) + "/"; }
    // Writes bytes to a file below the folder, creating the folders in between.
    std::filesystem::path Write(std::string_view relative, std::string_view bytes) const;

private:
    std::filesystem::path path;
};

} // namespace orblane::test
