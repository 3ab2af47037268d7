#include "platform/AtomicWait.h"

namespace orblane::platform {

void WaitWhileEqual(const std::atomic<int>& value, int old) noexcept
{
    value.wait(old, std::memory_order_acquire);
}

void WaitWhileEqual(const std::atomic<std::size_t>& value, std::size_t old) noexcept
{
    value.wait(old, std::memory_order_acquire);
}

void WakeAllWaiting(std::atomic<int>& value) noexcept
{
    value.notify_all();
}

void WakeAllWaiting(std::atomic<std::size_t>& value) noexcept
{
    value.notify_all();
}

} // namespace orblane::platform
