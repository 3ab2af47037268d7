#include "platform/FileAccess.h"

#include "platform/Descriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orblane {

using platform::Descriptor;

bool FileExists(const std::string& path) noexcept
{
    struct stat info
    {
    };
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path, std::size_t maxBytes)
{
    // O_NONBLOCK: a FIFO in a file's place would hold the open until a writer came; the checks below refuse it.
    // It changes nothing for a regular file.
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (file.fd < 0)
    {
        return std::nullopt;
    }
    struct stat info
    {
    };
    if (::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode) || static_cast<std::uint64_t>(info.st_size) > maxBytes)
    {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < bytes.size())
    {
        const ssize_t got = ::read(file.fd, bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR)
        {
            continue;
        }
        if (got <= 0)
        {
            // The file shrank while it was read: keep what is there, as a text reader would.
            if (got == 0)
            {
                bytes.resize(done);
                break;
            }
            return std::nullopt;
        }
        done += static_cast<std::size_t>(got);
    }
    return bytes;
}

} // namespace orblane
