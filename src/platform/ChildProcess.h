#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

namespace orblane::platform {

// Some library code cannot be trusted with damaged input: a build with assertions compiled in ends the process on a
// bad stream. Such code runs in a child process, a copy of this one: a crash, an abort or a hang there ends the
// child, never the program. What the child writes is lost with it, except into a SharedScratch made before the
// child starts. Available where processes fork (Linux, macOS); elsewhere RunInChild answers Unavailable and the
// caller refuses the work as it would without isolation.
//
// The child starts with the default action for every fatal signal (a fault is the answer, not a report of the
// program's end, and no guard of the parent may resume in the child) and leaves with _exit: no destructors, no
// exit handlers, no flushing of the parent's buffers. The work must only compute and write to the scratch: no
// locks the parent's other threads might have held at the fork, no threads, no files.
enum class ChildEnd
{
    Finished,    // the work returned
    Failed,      // the child crashed, aborted, was killed or ran out of time
    Unavailable, // no child could be started
};

// Anonymous memory shared with the children started while it lives.
class SharedScratch
{
public:
    explicit SharedScratch(std::size_t bytes) noexcept;
    ~SharedScratch();
    SharedScratch(const SharedScratch&) = delete;
    SharedScratch& operator=(const SharedScratch&) = delete;

    // Empty when the memory could not be had.
    std::span<std::uint8_t> Bytes() const noexcept { return {data, size}; }

private:
    std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

// A child process kept for one piece of work after another, so that a stream of small frames pays for one fork
// instead of one each (a fork, and the child's first touch of every page the library allocates, cost three times
// the decode of a CT slice). Work crosses as a plain function of this program, which the child runs on the worker's
// shared memory: the caller puts everything the work needs there, the work its answer. The child is started on the
// first Run and again after it ended; it ends by itself after some seconds without work, so that an idle viewer
// keeps no copy of its memory as it was at the fork. The same rules as for RunInChild hold in the work.
//
// Not for concurrent use: one thread at a time (ChildWorkers hands them out).
class ChildWorker
{
public:
    using Work = void (*)(std::span<std::uint8_t> shared) noexcept;

    explicit ChildWorker(std::size_t sharedBytes) noexcept;
    ~ChildWorker();
    ChildWorker(const ChildWorker&) = delete;
    ChildWorker& operator=(const ChildWorker&) = delete;

    // Empty when the memory could not be had; then every Run is Unavailable.
    std::span<std::uint8_t> Shared() const noexcept { return scratch.Bytes(); }

    // Runs work(Shared()) in the child and waits for it, at most `limit` (then the child is killed: Failed). A child
    // that crashed, aborted or was killed is gone; the next Run starts another.
    ChildEnd Run(Work work, std::chrono::milliseconds limit) noexcept;

    // Ends the child now (the next Run starts a fresh one): for a caller that no longer trusts the child's state,
    // say after a library refused a damaged stream in it.
    void Retire() noexcept;

    // Pieces of work the current child has finished (0 for one not started yet): a failure of a child that served
    // before may be its own state's, not the work's.
    unsigned Served() const noexcept { return process < 0 ? 0 : served; }

private:
    bool Start() noexcept;
    // Waits for the child's answer; false when it ended (or was killed at the deadline) instead. `idle` is set when
    // the child had left by itself for want of work before it saw the request.
    bool AwaitAnswer(std::chrono::steady_clock::time_point deadline, bool& idle) noexcept;
    void Reap(bool kill, bool* leftIdle) noexcept;

    SharedScratch scratch;
    int channel = -1;       // this process's end of the socket pair
    int process = -1;       // the child's pid, -1 without one
    int processHandle = -1; // a pidfd for the child where the kernel gives one
    unsigned served = 0;    // pieces of work the current child finished
};

// A few ChildWorkers for the threads of a pool: each caller takes one that no other thread holds, or none when all
// are taken (the caller then starts a child of its own with RunInChild).
class ChildWorkers
{
public:
    ChildWorkers(std::size_t count, std::size_t sharedBytes) noexcept;

    class Lease
    {
    public:
        Lease() = default;
        Lease(ChildWorker& held, std::unique_lock<std::mutex> heldLock) noexcept
            : worker(&held), lock(std::move(heldLock))
        {
        }
        explicit operator bool() const noexcept { return worker != nullptr; }
        ChildWorker* operator->() const noexcept { return worker; }
        ChildWorker& operator*() const noexcept { return *worker; }

    private:
        ChildWorker* worker = nullptr;
        std::unique_lock<std::mutex> lock;
    };

    // A worker no other thread holds, or an empty lease. The worker's memory is made on its first lease.
    Lease TryTake() noexcept;

private:
    struct Slot
    {
        std::mutex lock;
        std::optional<ChildWorker> worker;
    };
    std::size_t sharedBytes;
    std::vector<Slot> slots;
};

namespace detail {

ChildEnd RunInChild(void (*work)(void*), void* context, std::chrono::milliseconds limit) noexcept;

} // namespace detail

// Runs work() in a child process and waits for it, at most `limit` (then the child is killed: Failed).
template <class Work> ChildEnd RunInChild(Work&& work, std::chrono::milliseconds limit) noexcept
{
    using Callable = std::remove_reference_t<Work>;
    return detail::RunInChild([](void* context) { (*static_cast<Callable*>(context))(); },
                              const_cast<void*>(static_cast<const void*>(&work)), limit);
}

} // namespace orblane::platform
