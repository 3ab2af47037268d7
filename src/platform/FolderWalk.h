#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>

namespace orblane::platform {

// What tells one file from another whatever name reached it: device and inode on Linux, volume serial number and
// file index on Windows.
using FileIdentity = std::pair<std::uint64_t, std::uint64_t>;

// A regular file opened for reading its first bytes. Opening never blocks (a FIFO in a file's place is refused, not
// waited on), and anything but a regular file is refused.
class HeaderFile
{
public:
    HeaderFile() = default;
    ~HeaderFile();
    HeaderFile(const HeaderFile&) = delete;
    HeaderFile& operator=(const HeaderFile&) = delete;

    // Whether the path names a regular file that could be opened.
    bool Open(const std::filesystem::path& path) noexcept;
    std::uint64_t Size() const noexcept { return size; }
    FileIdentity Identity() const noexcept { return identity; }
    // Reads up to `length` bytes from the start into `into`: how many (fewer at the end of the file), or -1.
    std::int64_t ReadPrefix(std::uint8_t* into, std::size_t length) noexcept;

private:
    std::intptr_t handle = -1;
    std::uint64_t size = 0;
    FileIdentity identity{};
};

// Walks the folder tree below `root` and calls onFile(full path, path below the root with "/" between names) for
// every regular file, in directory order. Each folder is entered once (link loops end), and a symbolic link (on
// Windows a reparse point: a symbolic link or a junction) is followed only while it stays inside the root. Stops
// early when stopping() answers true. A folder that cannot be read is passed over.
void WalkFolderFiles(const std::filesystem::path& root, const std::function<bool()>& stopping,
                     const std::function<void(std::filesystem::path, std::string)>& onFile);

} // namespace orblane::platform
