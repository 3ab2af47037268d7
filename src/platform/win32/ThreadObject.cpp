#include "platform/ThreadObject.h"

#include <windows.h>

#include <new>

namespace orblane::platform {
namespace {

struct Exit
{
    void (*destroy)(void*);
    void* object;
    Exit* next;
};

// The system hands a fiber-local value to its callback as the thread ends, so nothing here is read from TLS
// that may already be gone.
void WINAPI RunExits(void* value)
{
    for (auto* exit = static_cast<Exit*>(value); exit != nullptr;)
    {
        Exit* const next = exit->next;
        exit->destroy(exit->object);
        delete exit;
        exit = next;
    }
}

DWORD ExitSlot() noexcept
{
    static const DWORD slot = ::FlsAlloc(&RunExits);
    return slot;
}

} // namespace

void AtThreadExit(void (*destroy)(void*), void* object) noexcept
{
    const DWORD slot = ExitSlot();
    if (slot == FLS_OUT_OF_INDEXES)
    {
        return;
    }
    // Last made, first destroyed, as thread_local objects are.
    auto* exit = new (std::nothrow) Exit{destroy, object, static_cast<Exit*>(::FlsGetValue(slot))};
    if (exit != nullptr && !::FlsSetValue(slot, exit))
    {
        delete exit;
    }
}

} // namespace orblane::platform
