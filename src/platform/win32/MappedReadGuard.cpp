#include "platform/MappedReadGuard.h"

#include <windows.h>

#include <atomic>
#include <cstdint>

namespace orblane::platform {
namespace {

// Windows reports a mapped page that cannot be read (a scratched disc, a pulled stick, a file cut short on a
// network share) as EXCEPTION_IN_PAGE_ERROR, raised at the load. A vectored handler sees it first, before any frame
// handler and before the unhandled-failure filter; for a fault inside a guarded region of this thread it resumes the
// guard, exactly as the SIGBUS handler does on Linux, and otherwise lets the search go on.
//
// The jump back is __builtin_longjmp: it restores the guard's frame and stack pointer and nothing else, so no
// unwinding runs through the frames it leaves (the guard's callable keeps no object with a destructor there, as on
// Linux), and the exception dispatch it abandons holds nothing of the kernel's.
struct GuardFrame
{
    std::uintptr_t begin;
    std::uintptr_t size;
    void* resume[5];
    GuardFrame* outer;
};

constinit thread_local GuardFrame* innermost = nullptr;

// Read faults inside a view. An access violation in a guarded region counts too: the view is mapped readable
// for its whole size, so no other cause can fault there, and Wine raises that code for a page the file no longer has.
bool IsReadFault(const EXCEPTION_RECORD& record) noexcept
{
    return (record.ExceptionCode == EXCEPTION_IN_PAGE_ERROR || record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION) &&
           record.NumberParameters >= 2 && record.ExceptionInformation[0] == 0;
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* exception)
{
    if (exception == nullptr || exception->ExceptionRecord == nullptr || !IsReadFault(*exception->ExceptionRecord))
    {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    const std::uintptr_t address = exception->ExceptionRecord->ExceptionInformation[1];
    for (GuardFrame* frame = innermost; frame != nullptr; frame = frame->outer)
    {
        if (address >= frame->begin && address - frame->begin < frame->size)
        {
            __builtin_longjmp(frame->resume, 1);
        }
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

bool InstallHandler() noexcept
{
    // First in the chain (1): a handler installed later by a library must not see our faults as its own.
    return ::AddVectoredExceptionHandler(1, &OnException) != nullptr;
}

// __builtin_setjmp needs a function of its own whose frame outlives the guarded call.
[[gnu::noinline]] MappedRead RunInFrame(GuardFrame& frame, void (*read)(void*), void* context)
{
    if (__builtin_setjmp(frame.resume) != 0)
    {
        innermost = frame.outer;
        return MappedRead::Faulted;
    }
    innermost = &frame;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    try
    {
        read(context);
    }
    catch (...)
    {
        std::atomic_signal_fence(std::memory_order_seq_cst);
        innermost = frame.outer;
        throw;
    }
    std::atomic_signal_fence(std::memory_order_seq_cst);
    innermost = frame.outer;
    return MappedRead::Completed;
}

} // namespace

namespace detail {

MappedRead RunGuarded(ByteView region, void (*read)(void*), void* context)
{
    static const bool installed = InstallHandler();
    (void)installed;
    GuardFrame frame{reinterpret_cast<std::uintptr_t>(region.data()), region.size(), {}, innermost};
    return RunInFrame(frame, read, context);
}

} // namespace detail
} // namespace orblane::platform
