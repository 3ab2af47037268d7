#include "platform/ThreadObject.h"

#include <utility>
#include <vector>

namespace orblane::platform {
namespace {

struct Exits
{
    std::vector<std::pair<void (*)(void*), void*>> pending;

    Exits() = default;
    Exits(const Exits&) = delete;
    Exits& operator=(const Exits&) = delete;
    ~Exits()
    {
        // Last made, first destroyed, as thread_local objects are.
        while (!pending.empty())
        {
            const auto [destroy, object] = pending.back();
            pending.pop_back();
            destroy(object);
        }
    }
};

} // namespace

void AtThreadExit(void (*destroy)(void*), void* object) noexcept
{
    // glibc's TLS outlives the thread_local destructors, so a thread_local list is sound here.
    thread_local Exits exits;
    try
    {
        exits.pending.emplace_back(destroy, object);
    }
    catch (...)
    {
        // Not registered: the object outlives its thread, which costs its memory and nothing else.
    }
}

} // namespace orblane::platform
