#include "platform/MappedReadGuard.h"

#include <atomic>
#include <csetjmp>
#include <csignal>
#include <cstdint>

namespace orblane::platform {
namespace {

// One active guard on one thread; frames are linked outward and live on the stack of RunGuarded.
struct GuardFrame
{
    std::uintptr_t begin;
    std::uintptr_t size;
    sigjmp_buf resume;
    GuardFrame* outer;
};

// Read by the SIGBUS handler: constant-initialised and in the initial TLS block, so the handler's access
// allocates nothing and takes no lock (a dynamic TLS model could allocate on a thread's first access).
[[gnu::tls_model("initial-exec")]] constinit thread_local GuardFrame* innermost = nullptr;

// The disposition found when the guard's handler was installed; written once, before the handler is.
struct sigaction previous
{
};

void ChainToPrevious(int signalNumber, siginfo_t* info, void* context) noexcept
{
    if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr)
    {
        previous.sa_sigaction(signalNumber, info, context);
        return;
    }
    if (previous.sa_handler == SIG_IGN && info->si_code <= 0)
    {
        // Sent by kill or raise, and ignored before the guard existed: still ignored.
        return;
    }
    if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN)
    {
        previous.sa_handler(signalNumber);
        return;
    }
    // The default action, as if the guard had never been installed: a fault from the processor cannot be ignored,
    // so it ends the process with SIGBUS, core dump included.
    struct sigaction fallback
    {
    };
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signalNumber, &fallback, nullptr);
    ::raise(signalNumber);
}

// Async-signal-safe: reads this thread's frames and leaves by siglongjmp, nothing else.
void OnBusError(int signalNumber, siginfo_t* info, void* context)
{
    // si_addr is only meaningful for a fault the kernel raised (si_code > 0); a SIGBUS sent by kill is not ours.
    if (info != nullptr && info->si_code > 0)
    {
        const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
        for (GuardFrame* frame = innermost; frame != nullptr; frame = frame->outer)
        {
            if (address >= frame->begin && address - frame->begin < frame->size)
            {
                siglongjmp(frame->resume, 1);
            }
        }
    }
    ChainToPrevious(signalNumber, info, context);
}

bool InstallHandler() noexcept
{
    ::sigaction(SIGBUS, nullptr, &previous);
    struct sigaction action
    {
    };
    action.sa_sigaction = &OnBusError;
    // SA_ONSTACK as the fatal-signal report asks, so that chaining to it runs on the stack it set up.
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    return ::sigaction(SIGBUS, &action, nullptr) == 0;
}

} // namespace

namespace detail {

MappedRead RunGuarded(ByteView region, void (*read)(void*), void* context)
{
    static const bool installed = InstallHandler();
    (void)installed;

    GuardFrame frame{reinterpret_cast<std::uintptr_t>(region.data()), region.size(), {}, innermost};
    // The mask is saved (second argument 1) because the handler runs with SIGBUS blocked: without restoring it, the
    // next fault on this thread would find SIGBUS blocked and the kernel would end the process.
    if (sigsetjmp(frame.resume, 1) != 0)
    {
        // Nothing in this frame changed after sigsetjmp, so it needs no volatile; outer frames are still live.
        innermost = frame.outer;
        return MappedRead::Faulted;
    }
    // No object with a destructor lives in this frame past sigsetjmp: a jump back here must skip nothing.
    innermost = &frame;
    // The handler reads innermost on this thread: the store must be done before the first guarded load.
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

} // namespace detail
} // namespace orblane::platform
