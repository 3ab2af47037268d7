#include "platform/FolderWalk.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orblane::platform {
namespace {

struct IdentityHash
{
    std::size_t operator()(const FileIdentity& value) const noexcept
    {
        return std::hash<std::uint64_t>()(value.first * 0x9E3779B97F4A7C15ull ^ value.second);
    }
};

FileIdentity IdentityOf(const struct stat& status) noexcept
{
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

bool Inside(const std::string& root, const std::string& path) noexcept
{
    return path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
           (root.back() == '/' || path[root.size()] == '/');
}

std::optional<std::string> RealPath(const std::string& path)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr)
    {
        return std::nullopt;
    }
    std::string text(resolved);
    ::free(resolved);
    return text;
}

} // namespace

HeaderFile::~HeaderFile()
{
    if (handle >= 0)
    {
        ::close(static_cast<int>(handle));
    }
}

bool HeaderFile::Open(const std::filesystem::path& path) noexcept
{
    // O_NONBLOCK: a named pipe among the files must not hold the scan; a regular file ignores the flag.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
    {
        return false;
    }
    struct stat status
    {
    };
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
    {
        ::close(fd);
        return false;
    }
    handle = fd;
    size = static_cast<std::uint64_t>(status.st_size);
    identity = IdentityOf(status);
    return true;
}

std::int64_t HeaderFile::ReadPrefix(std::uint8_t* into, std::size_t length) noexcept
{
    std::size_t done = 0;
    while (done < length)
    {
        const ssize_t got = ::pread(static_cast<int>(handle), into + done, length - done, static_cast<off_t>(done));
        if (got < 0)
        {
            if (errno == EINTR)
            {
                continue;
            }
            return -1;
        }
        if (got == 0)
        {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

void WalkFolderFiles(const std::filesystem::path& root, const std::function<bool()>& stopping,
                     const std::function<void(std::filesystem::path, std::string)>& onFile)
{
    const std::optional<std::string> top = RealPath(root.native());
    struct stat status
    {
    };
    if (!top || ::stat(top->c_str(), &status) != 0)
    {
        return;
    }
    std::unordered_set<FileIdentity, IdentityHash> enteredFolders{IdentityOf(status)};
    // Folders still to read, as paths below the root ("" is the root itself): what the list shows of a file.
    std::vector<std::string> pending{std::string()};
    while (!pending.empty() && !stopping())
    {
        const std::string relative = std::move(pending.back());
        pending.pop_back();
        const std::string folder = relative.empty() ? *top : *top + "/" + relative;
        const std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(folder.c_str()), &::closedir);
        if (directory == nullptr)
        {
            continue;
        }
        while (const dirent* entry = ::readdir(directory.get()))
        {
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            {
                continue;
            }
            std::string below = relative.empty() ? std::string(name) : relative + "/" + name;
            const std::string full = *top + "/" + below;
            unsigned char type = entry->d_type;
            if (type == DT_UNKNOWN || type == DT_LNK || type == DT_DIR)
            {
                if (type == DT_LNK || type == DT_UNKNOWN)
                {
                    struct stat link
                    {
                    };
                    if (::lstat(full.c_str(), &link) != 0)
                    {
                        continue;
                    }
                    if (S_ISLNK(link.st_mode))
                    {
                        // Followed only while it stays inside the folder named: the user asked for that folder.
                        const std::optional<std::string> target = RealPath(full);
                        if (!target || !Inside(*top, *target))
                        {
                            continue;
                        }
                    }
                }
                if (::stat(full.c_str(), &status) != 0)
                {
                    continue;
                }
                if (S_ISDIR(status.st_mode))
                {
                    if (enteredFolders.insert(IdentityOf(status)).second)
                    {
                        pending.push_back(std::move(below));
                    }
                    continue;
                }
                if (!S_ISREG(status.st_mode))
                {
                    continue;
                }
            }
            else if (type != DT_REG)
            {
                continue;
            }
            onFile(full, std::move(below));
        }
    }
}

} // namespace orblane::platform
