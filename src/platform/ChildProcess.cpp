#include "platform/ChildProcess.h"

#include <cerrno>
#include <csignal>

#if defined(__unix__) || defined(__APPLE__)
#include <poll.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#define ORBLANE_HAS_FORK 1
#endif
#if defined(__linux__)
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#endif

namespace orblane::platform {

#if ORBLANE_HAS_FORK

SharedScratch::SharedScratch(std::size_t bytes) noexcept
{
    void* shared = ::mmap(nullptr, bytes == 0 ? 1 : bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared != MAP_FAILED)
    {
        data = static_cast<std::uint8_t*>(shared);
        size = bytes;
    }
}

SharedScratch::~SharedScratch()
{
    if (data != nullptr)
    {
        ::munmap(data, size == 0 ? 1 : size);
    }
}

namespace {

// Waits for the child to end, killing it when the limit passes. A pidfd wakes the wait the moment the child ends;
// kernels before 5.3 have none, and there the wait polls every millisecond.
void WaitOrKill(pid_t child, std::chrono::milliseconds limit) noexcept
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
#ifdef SYS_pidfd_open
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    if (pidfd >= 0)
    {
        for (;;)
        {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd ended{pidfd, POLLIN, 0};
            const int ready = left.count() > 0 ? ::poll(&ended, 1, static_cast<int>(left.count())) : 0;
            if (ready > 0)
            {
                break;
            }
            if (ready == 0)
            {
                ::kill(child, SIGKILL);
                break;
            }
            if (errno != EINTR)
            {
                break; // the blocking wait below still reaps the child
            }
        }
        ::close(pidfd);
        return;
    }
#endif
    for (;;)
    {
        // WNOWAIT leaves the ended child to the blocking wait of the caller, which reads its status.
        siginfo_t info{};
        const int polled = ::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT);
        if ((polled < 0 && errno != EINTR) || (polled == 0 && info.si_pid == child))
        {
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline)
        {
            ::kill(child, SIGKILL);
            return;
        }
        const timespec pause{0, 1000000};
        ::nanosleep(&pause, nullptr);
    }
}

#if defined(__linux__)
// What a child may map beyond what it was born with. A damaged stream can make a library ask for gigabytes from a
// header that passes every check (OpenJPH 0.9 asks for 4 GiB on some): with the bound the request fails at once
// and the frame is damaged, instead of the child taking the machine's memory until it is killed at its time limit.
constexpr std::uint64_t kChildMemoryBytes = std::uint64_t{1} << 30;

// In the child, with system calls only (no stdio: its locks may be held by a thread of the parent that is gone).
void BoundChildMemory() noexcept
{
    const int file = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (file < 0)
    {
        return;
    }
    char text[64];
    const ssize_t got = ::read(file, text, sizeof text);
    ::close(file);
    std::uint64_t pages = 0;
    for (ssize_t k = 0; k < got && text[k] >= '0' && text[k] <= '9'; ++k)
    {
        pages = pages * 10 + static_cast<std::uint64_t>(text[k] - '0');
    }
    const std::uint64_t mapped = pages * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    if (pages == 0 || mapped > RLIM_INFINITY - kChildMemoryBytes)
    {
        return;
    }
    rlimit bound{};
    ::getrlimit(RLIMIT_AS, &bound);
    const rlim_t wanted = static_cast<rlim_t>(mapped + kChildMemoryBytes);
    if (bound.rlim_cur == RLIM_INFINITY || bound.rlim_cur > wanted)
    {
        bound.rlim_cur = wanted;
        ::setrlimit(RLIMIT_AS, &bound);
    }
}
#endif

} // namespace

ChildEnd detail::RunInChild(void (*work)(void*), void* context, std::chrono::milliseconds limit) noexcept
{
    [[maybe_unused]] const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child < 0)
    {
        return ChildEnd::Unavailable;
    }
    if (child == 0)
    {
#if defined(__linux__)
        // A parent that ends while it waits (killed, or the fuzzer's own time limit) can no longer kill a hung child
        // at the limit; without this the child spun on for good (OpenJPH 0.9 loops forever on some streams).
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)
        {
            ::_exit(1);
        }
        BoundChildMemory();
#endif
        for (const int fatal : {SIGABRT, SIGBUS, SIGSEGV, SIGFPE, SIGILL, SIGTRAP, SIGSYS})
        {
            ::signal(fatal, SIG_DFL);
        }
        sigset_t all;
        sigemptyset(&all);
        ::sigprocmask(SIG_SETMASK, &all, nullptr);
        work(context);
        ::_exit(0);
    }
    WaitOrKill(child, limit);
    int status = 0;
    pid_t reaped = -1;
    do
    {
        reaped = ::waitpid(child, &status, 0);
    } while (reaped < 0 && errno == EINTR);
    return reaped == child && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ChildEnd::Finished : ChildEnd::Failed;
}

#else

SharedScratch::SharedScratch(std::size_t) noexcept {}
SharedScratch::~SharedScratch() = default;

ChildEnd detail::RunInChild(void (*)(void*), void*, std::chrono::milliseconds) noexcept
{
    return ChildEnd::Unavailable;
}

#endif

} // namespace orblane::platform
