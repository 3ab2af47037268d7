#pragma once

#include <atomic>
#include <cstddef>

namespace orblane::platform {

// Blocks while `value` still holds `old` (returns at once when it no longer does, and may return spuriously: callers
// load again and decide), and wakes every thread blocked on `value`. What std::atomic's wait and notify_all promise;
// they are not used directly because GCC 12's library loses wake-ups on systems without a futex (MinGW): it reads the
// value, then blocks on a condition variable that the notifier signals without holding its mutex, so a notify that
// falls between the two is never seen and the waiter sleeps for good. Linux takes the futex underneath std's; Windows
// takes WaitOnAddress, which compares and blocks in one step.
void WaitWhileEqual(const std::atomic<int>& value, int old) noexcept;
void WaitWhileEqual(const std::atomic<std::size_t>& value, std::size_t old) noexcept;
void WakeAllWaiting(std::atomic<int>& value) noexcept;
void WakeAllWaiting(std::atomic<std::size_t>& value) noexcept;

// A count-down latch on the same primitive, for the few places (and tests) that wait for N workers: std::latch sits
// on the same broken wait under MinGW.
class CountDownLatch
{
public:
    explicit CountDownLatch(std::size_t count) noexcept : left(count) {}
    CountDownLatch(const CountDownLatch&) = delete;
    CountDownLatch& operator=(const CountDownLatch&) = delete;

    void count_down() noexcept
    {
        if (left.fetch_sub(1, std::memory_order_acq_rel) == 1)
        {
            WakeAllWaiting(left);
        }
    }

    void wait() const noexcept
    {
        for (std::size_t now = left.load(std::memory_order_acquire); now != 0;
             now = left.load(std::memory_order_acquire))
        {
            WaitWhileEqual(left, now);
        }
    }

private:
    std::atomic<std::size_t> left;
};

} // namespace orblane::platform
