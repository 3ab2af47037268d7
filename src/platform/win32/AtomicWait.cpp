#include "platform/AtomicWait.h"

#include <windows.h>

namespace orblane::platform {
namespace {

// WaitOnAddress compares the bytes of the value with `old` and sleeps in one step, so a wake that comes between a
// caller's load and the sleep cannot be lost.
template <typename T> void Wait(const std::atomic<T>& value, T old) noexcept
{
    static_assert(sizeof(std::atomic<T>) == sizeof(T), "the atomic's bytes are its value's");
    ::WaitOnAddress(const_cast<std::atomic<T>*>(&value), &old, sizeof old, INFINITE);
}

} // namespace

void WaitWhileEqual(const std::atomic<int>& value, int old) noexcept
{
    Wait(value, old);
}

void WaitWhileEqual(const std::atomic<std::size_t>& value, std::size_t old) noexcept
{
    Wait(value, old);
}

void WakeAllWaiting(std::atomic<int>& value) noexcept
{
    ::WakeByAddressAll(&value);
}

void WakeAllWaiting(std::atomic<std::size_t>& value) noexcept
{
    ::WakeByAddressAll(&value);
}

} // namespace orblane::platform
