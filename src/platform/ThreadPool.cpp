#include "platform/ThreadPool.h"

#include <algorithm>
#include <exception>

namespace orblane {

ThreadPool::ThreadPool(unsigned workerCount) noexcept
{
    try
    {
        workers.reserve(std::max(1u, workerCount));
        for (unsigned k = 0; k < std::max(1u, workerCount); ++k)
        {
            workers.emplace_back([this] { Work(); });
        }
    }
    catch (...)
    {
        // Fewer workers than asked: the pool runs with those that started.
    }
}

ThreadPool::~ThreadPool()
{
    // Stopped first: a worker that finishes its job now takes no other.
    std::deque<Job> dropped;
    {
        const std::lock_guard lock(mutex);
        stopping = true;
        dropped.swap(queue);
    }
    wake.notify_all();
    for (std::thread& worker : workers)
    {
        if (worker.joinable())
        {
            worker.join();
        }
    }
    // The jobs that never ran are destroyed here, after the workers: their owners may wait on what they hold.
}

bool ThreadPool::Submit(Job job, bool urgent) noexcept
{
    if (workers.empty() || !job)
    {
        return false;
    }
    try
    {
        const std::lock_guard lock(mutex);
        if (stopping)
        {
            // Queued by a job that runs while the pool ends: it would never run.
            return false;
        }
        if (urgent)
        {
            queue.push_front(std::move(job));
        }
        else
        {
            queue.push_back(std::move(job));
        }
    }
    catch (...)
    {
        return false;
    }
    wake.notify_one();
    return true;
}

unsigned ThreadPool::DefaultWorkerCount() noexcept
{
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 1 ? cores - 1 : 1;
}

void ThreadPool::Work() noexcept
{
    for (;;)
    {
        Job job;
        {
            std::unique_lock lock(mutex);
            wake.wait(lock, [this] { return stopping || !queue.empty(); });
            if (stopping)
            {
                return;
            }
            job = std::move(queue.front());
            queue.pop_front();
        }
        try
        {
            job();
        }
        catch (...)
        {
            // A job answers through what it holds; an exception it lets out is its own failure, not the pool's.
        }
    }
}

ThreadPool& SharedThreadPool() noexcept
{
    static ThreadPool pool(ThreadPool::DefaultWorkerCount());
    return pool;
}

} // namespace orblane
