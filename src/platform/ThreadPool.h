#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace orblane {

// A few worker threads that run queued jobs in the order they were queued. Our own rather than Qt Concurrent: no
// layer below the widgets uses Qt (the command-line tool and the core tests run without it), and the decode-ahead
// and the repaint split need one shared set of workers so that together they never start more threads than cores.
class ThreadPool
{
public:
    using Job = std::function<void()>;

    // At least one worker. A worker that cannot be started leaves the pool with fewer (Submit then still works as
    // long as one runs; with none, every job is refused and the caller runs its work itself).
    explicit ThreadPool(unsigned workers) noexcept;
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;
    // Jobs still queued are destroyed without running; jobs that run are finished; every worker is joined.
    ~ThreadPool();

    // Queues a job: at the back, or at the front when `urgent` (a caller waits for it). Answers false when it was
    // not queued (no worker, or no memory); the job is then destroyed unrun.
    bool Submit(Job job, bool urgent = false) noexcept;
    unsigned WorkerCount() const noexcept { return static_cast<unsigned>(workers.size()); }

    // max(1, hardware threads - 1): one core stays with the user-interface thread.
    static unsigned DefaultWorkerCount() noexcept;

private:
    void Work() noexcept;

    // A flag under the lock and a plain condition variable rather than jthread's stop tokens: MinGW's library
    // waits for a stop callback on a semaphore whose first use registers a destructor at exit, and a worker doing
    // that while the process's pool is destroyed at exit deadlocks against the exit's lock.
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> queue;
    bool stopping = false;
    // Last member: the workers are joined before the queue and the lock they use are destroyed.
    std::vector<std::thread> workers;
};

// The process's pool: the viewer's decode-ahead and the display conversion's row split share it. Made on first use
// and joined when the program ends normally.
ThreadPool& SharedThreadPool() noexcept;

} // namespace orblane
