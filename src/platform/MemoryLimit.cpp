#include "platform/MemoryLimit.h"

#include <fstream>
#include <string>
#include <unistd.h>

namespace orblane::platform {

std::uint64_t PhysicalMemoryBytes(unsigned share) noexcept
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0 || share == 0)
    {
        return 0;
    }
    return static_cast<std::uint64_t>(pages) / share * static_cast<std::uint64_t>(pageSize);
}

std::uint64_t UsableMemoryBytes() noexcept
{
    std::uint64_t usable = PhysicalMemoryBytes();
    try
    {
        std::ifstream groups("/proc/self/cgroup");
        std::string line;
        while (std::getline(groups, line))
        {
            // "0::/path" (version 2) or "N:memory:/path" (version 1). "max" reads as no number, and version 1's
            // "no limit" is near 2^63: neither lowers what the machine has.
            std::string limitFile;
            if (line.starts_with("0::"))
            {
                limitFile = "/sys/fs/cgroup" + line.substr(3) + "/memory.max";
            }
            else if (const std::size_t at = line.find(":memory:"); at != std::string::npos)
            {
                limitFile = "/sys/fs/cgroup/memory" + line.substr(at + 8) + "/memory.limit_in_bytes";
            }
            else
            {
                continue;
            }
            std::ifstream limitText(limitFile);
            std::uint64_t limit = 0;
            if (limitText >> limit && limit > 0 && (usable == 0 || limit < usable))
            {
                usable = limit;
            }
        }
    }
    catch (...)
    {
        // What the machine has stands.
    }
    return usable;
}

} // namespace orblane::platform
