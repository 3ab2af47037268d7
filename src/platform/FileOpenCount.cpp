#include "platform/FileOpenCount.h"

#include <atomic>

namespace orblane::platform {
namespace {

std::atomic<std::uint64_t> opened{0};

} // namespace

std::uint64_t FileOpenCount() noexcept
{
    return opened.load(std::memory_order_relaxed);
}

void CountFileOpen() noexcept
{
    opened.fetch_add(1, std::memory_order_relaxed);
}

} // namespace orblane::platform
