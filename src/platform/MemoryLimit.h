#pragma once

#include <cstdint>

namespace orblane::platform {

// The machine's physical memory in bytes, or 1/share of it in whole pages; 0 when not known.
std::uint64_t PhysicalMemoryBytes(unsigned share = 1) noexcept;
// The memory this process may use: the machine's, or less where its control group (a container, a desktop's slice)
// sets a limit; 0 when not known.
std::uint64_t UsableMemoryBytes() noexcept;

} // namespace orblane::platform
