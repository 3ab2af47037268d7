#include "platform/MappedFile.h"

#include "platform/FileOpenCount.h"

#include <cerrno>
#include <cstdint>
#include <limits>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orblane::platform {

MappedFile::~MappedFile()
{
    Close();
}

int MappedFile::Open(const std::filesystem::path& path) noexcept
{
    Close();
    int fd = -1;
    do
    {
        // O_NONBLOCK: a FIFO named by a file ID would otherwise block the open until a writer came; it has no effect
        // on a regular file. O_NOCTTY: a terminal device must not become the viewer's controlling terminal.
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
    {
        return errno;
    }
    CountFileOpen();
    struct stat info
    {
    };
    int code = 0;
    if (::fstat(fd, &info) != 0)
    {
        code = errno;
    }
    else if (S_ISDIR(info.st_mode))
    {
        code = EISDIR;
    }
    else if (!S_ISREG(info.st_mode))
    {
        // Pipes, sockets and devices have no size to map; the opened descriptor is checked, so a name swapped after a
        // look-up cannot slip one in.
        code = ENODEV;
    }
    else if (info.st_size <= 0)
    {
        code = EINVAL;
    }
    else if (static_cast<std::uint64_t>(info.st_size) > std::numeric_limits<std::size_t>::max() / 2)
    {
        // Refused whole rather than mapped in part: a truncated view would be read as a truncated file.
        code = EFBIG;
    }
    if (code != 0)
    {
        ::close(fd);
        return code;
    }
    descriptor = fd;
    size = static_cast<std::size_t>(info.st_size);
    return 0;
}

int MappedFile::Map() noexcept
{
    if (view != nullptr)
    {
        return 0;
    }
    if (descriptor < 0)
    {
        return -1;
    }
    void* address = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, descriptor, 0);
    if (address == MAP_FAILED)
    {
        return errno;
    }
    view = static_cast<const std::uint8_t*>(address);
    // The mapping holds the file by itself: keeping the descriptor too would spend one of the process's descriptors
    // (often only 1024) on every file kept mapped, as many as a study has files.
    ::close(descriptor);
    descriptor = -1;
    return 0;
}

int MappedFile::ReadIn() noexcept
{
    if (view != nullptr)
    {
        return 0;
    }
    if (descriptor < 0)
    {
        return -1;
    }
    // Anonymous pages, so that Close releases a copy exactly as it releases a view.
    void* address = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (address == MAP_FAILED)
    {
        return errno;
    }
    auto* bytes = static_cast<std::uint8_t*>(address);
    std::size_t done = 0;
    while (done < size)
    {
        const ssize_t got = ::pread(descriptor, bytes + done, size - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR)
        {
            continue;
        }
        if (got <= 0)
        {
            const int code = got < 0 ? errno : (done == 0 ? EINVAL : 0);
            if (code != 0)
            {
                ::munmap(address, size);
                return code;
            }
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    ::mprotect(address, size, PROT_READ);
    view = bytes;
    // The pages beyond a shrunken file's end stay mapped (and zero) until Close; the view ends where the file did.
    mappedSize = size;
    size = done;
    ::close(descriptor);
    descriptor = -1;
    return 0;
}

void MappedFile::Close() noexcept
{
    if (view != nullptr)
    {
        ::munmap(const_cast<std::uint8_t*>(view), mappedSize != 0 ? mappedSize : size);
        view = nullptr;
        mappedSize = 0;
    }
    if (descriptor >= 0)
    {
        ::close(descriptor);
        descriptor = -1;
    }
    size = 0;
}

} // namespace orblane::platform
