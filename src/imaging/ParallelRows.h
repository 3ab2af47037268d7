#pragma once

#include "platform/AtomicWait.h"
#include "platform/ThreadPool.h"

#include <atomic>
#include <cstddef>
#include <memory>

namespace orblane {

// Repainting and filling split the rows over two threads from this many pixels on; below it a thread costs more
// than it saves.
inline constexpr std::size_t kParallelRepaintPixels = std::size_t{1} << 19;

namespace detail {

// The second half of a split: whoever claims it first (a pool worker, or the caller once its own half is done) runs
// it, so a caller never waits for a queue full of decodes, and a worker that splits its own work cannot deadlock.
struct RowHalf
{
    enum : int
    {
        kOpen = 0,
        kClaimed = 1,
        kDone = 2,
    };
    std::atomic<int> state{kOpen};
    bool Claim() noexcept
    {
        int open = kOpen;
        return state.compare_exchange_strong(open, kClaimed, std::memory_order_acq_rel);
    }
    void Finish() noexcept
    {
        state.store(kDone, std::memory_order_release);
        platform::WakeAllWaiting(state);
    }
};

} // namespace detail

// Runs body(firstRow, endRow) over [0, rows): for a large image, the lower half on a worker of the shared pool (if one
// is free before this thread is done with the upper half), else in one call.
template <typename Body> void ForRowsInParallel(int rows, std::size_t pixels, Body body) noexcept
{
    if (pixels < kParallelRepaintPixels || rows < 2)
    {
        body(0, rows);
        return;
    }
    const int split = rows / 2;
    std::shared_ptr<detail::RowHalf> half;
    try
    {
        half = std::make_shared<detail::RowHalf>();
    }
    catch (...)
    {
        body(0, rows);
        return;
    }
    // The job holds the claim state, never the body: it touches the body only after claiming it, and then the
    // caller waits for it below, so the body outlives every use.
    const bool queued = SharedThreadPool().Submit(
        [half, &body, split, rows]() noexcept {
            if (half->Claim())
            {
                body(split, rows);
                half->Finish();
            }
        },
        true);
    body(0, split);
    if (!queued || half->Claim())
    {
        body(split, rows);
        return;
    }
    int seen = half->state.load(std::memory_order_acquire);
    while (seen != detail::RowHalf::kDone)
    {
        platform::WaitWhileEqual(half->state, seen);
        seen = half->state.load(std::memory_order_acquire);
    }
}

} // namespace orblane
