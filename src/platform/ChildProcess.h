#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

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
