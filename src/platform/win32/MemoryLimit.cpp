#include "platform/MemoryLimit.h"

#include <windows.h>

namespace orblane::platform {

std::uint64_t PhysicalMemoryBytes(unsigned share) noexcept
{
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (share == 0 || !::GlobalMemoryStatusEx(&status) || status.ullTotalPhys == 0)
    {
        return 0;
    }
    constexpr std::uint64_t kPage = 4096;
    return status.ullTotalPhys / kPage / share * kPage;
}

std::uint64_t UsableMemoryBytes() noexcept
{
    // No control groups here: what the machine has is what the process may use.
    return PhysicalMemoryBytes();
}

} // namespace orblane::platform
