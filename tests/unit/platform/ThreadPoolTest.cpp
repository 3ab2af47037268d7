#include "platform/ThreadPool.h"

#include "platform/AtomicWait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace orblane {
namespace {

TEST(ThreadPoolTest, RunsJobsInTheOrderQueuedWithUrgentOnesFirst)
{
    platform::CountDownLatch release(1);
    std::mutex mutex;
    std::vector<char> order;
    {
        ThreadPool pool(1);
        ASSERT_TRUE(pool.Submit([&] { release.wait(); }));
        for (const char name : {'a', 'b'})
        {
            pool.Submit([&, name] {
                const std::lock_guard lock(mutex);
                order.push_back(name);
            });
        }
        pool.Submit(
            [&] {
                const std::lock_guard lock(mutex);
                order.push_back('u');
            },
            true);
        release.count_down();
        std::atomic<bool> done = false;
        pool.Submit([&] { done = true; });
        while (!done)
        {
            std::this_thread::yield();
        }
    }
    EXPECT_EQ(order, (std::vector<char>{'u', 'a', 'b'}));
}

TEST(ThreadPoolTest, DestructionFinishesTheRunningJobAndDropsTheQueuedOnesUnrun)
{
    platform::CountDownLatch started(1);
    platform::CountDownLatch release(1);
    std::atomic<bool> runningFinished = false;
    std::atomic<int> queuedRan = 0;
    auto held = std::make_shared<int>(0);
    const std::weak_ptr<int> watch = held;
    auto pool = std::make_unique<ThreadPool>(1);
    pool->Submit([&] {
        started.count_down();
        release.wait();
        runningFinished = true;
    });
    for (int k = 0; k < 3; ++k)
    {
        pool->Submit([&queuedRan, held] { ++queuedRan; });
    }
    held.reset();
    started.wait();
    std::thread closer([&] { pool.reset(); });
    // Time for the destructor to reach its stop before the running job ends (a late one would let the queue run).
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    release.count_down();
    closer.join();
    EXPECT_TRUE(runningFinished);
    EXPECT_EQ(queuedRan, 0);
    EXPECT_TRUE(watch.expired()) << "the queued jobs were destroyed";
}

} // namespace
} // namespace orblane
