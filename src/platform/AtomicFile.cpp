#include "platform/AtomicFile.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace orblane::platform {

bool WriteFileAtomically(const std::filesystem::path& path, ByteView bytes, WriteDurability durability) noexcept
{
    try
    {
        const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
        std::string temporary = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
        const int descriptor = ::mkstemp(temporary.data());
        if (descriptor < 0)
        {
            return false;
        }
        bool written = true;
        std::size_t done = 0;
        while (written && done < bytes.size())
        {
            const ssize_t count = ::write(descriptor, bytes.data() + done, bytes.size() - done);
            if (count < 0 && errno == EINTR)
            {
                continue;
            }
            written = count > 0;
            done += written ? static_cast<std::size_t>(count) : 0;
        }
        // mkstemp makes the file private; an exported picture is an ordinary file of the user's.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        written = written && ::fchmod(descriptor, static_cast<mode_t>(0666 & ~mask)) == 0;
        written = written && (durability == WriteDurability::Unflushed || ::fsync(descriptor) == 0);
        written = (::close(descriptor) == 0) && written;
        if (!written || ::rename(temporary.c_str(), path.c_str()) != 0)
        {
            ::unlink(temporary.c_str());
            return false;
        }
        return true;
    }
    catch (...)
    {
        return false;
    }
}

} // namespace orblane::platform
