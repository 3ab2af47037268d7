#include "imaging/ParallelRows.h"
#include "platform/AtomicWait.h"

#include "platform/ThreadPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace orblane {
namespace {

TEST(ThreadPoolTest, RowSplitVisitsEveryRowOnceEvenWhenEveryWorkerIsBusy)
{
    // The caller takes back the half no worker picked up: a split never waits for a queue of decodes.
    ThreadPool& pool = SharedThreadPool();
    platform::CountDownLatch release(1);
    std::atomic<unsigned> busy = 0;
    std::atomic<unsigned> freed = 0;
    for (unsigned k = 0; k < pool.WorkerCount(); ++k)
    {
        pool.Submit([&] {
            ++busy;
            release.wait();
            ++freed;
        });
    }
    while (busy < pool.WorkerCount())
    {
        std::this_thread::yield();
    }
    constexpr int kRows = 1000;
    std::vector<std::atomic<int>> visits(kRows);
    ForRowsInParallel(kRows, kParallelRepaintPixels, [&](int first, int end) noexcept {
        for (int row = first; row < end; ++row)
        {
            ++visits[static_cast<std::size_t>(row)];
        }
    });
    release.count_down();
    while (freed < pool.WorkerCount())
    {
        std::this_thread::yield();
    }
    for (int row = 0; row < kRows; ++row)
    {
        ASSERT_EQ(visits[static_cast<std::size_t>(row)], 1) << row;
    }
}

} // namespace
} // namespace orblane
