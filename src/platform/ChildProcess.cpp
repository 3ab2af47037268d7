#include "platform/ChildProcess.h"

#include <cerrno>
#include <csignal>

#if defined(__unix__) || defined(__APPLE__)
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
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

// In a fresh child, before its work.
void PrepareChild([[maybe_unused]] pid_t parent) noexcept
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
}

#if defined(__linux__)
// A worker without work for this long leaves (with kWorkerIdleExit), so that it does not hold its copy of the
// parent's memory for good.
constexpr int kWorkerIdleMilliseconds = 10000;
constexpr int kWorkerIdleExit = 3;

[[noreturn]] void ServeWork(int channel, std::span<std::uint8_t> shared) noexcept
{
    for (;;)
    {
        pollfd request{channel, POLLIN, 0};
        const int ready = ::poll(&request, 1, kWorkerIdleMilliseconds);
        if (ready == 0)
        {
            ::_exit(kWorkerIdleExit);
        }
        if (ready < 0)
        {
            if (errno == EINTR)
            {
                continue;
            }
            ::_exit(1);
        }
        ChildWorker::Work work = nullptr;
        // A datagram each: the request arrives whole or not at all.
        if (::recv(channel, &work, sizeof work, 0) != static_cast<ssize_t>(sizeof work) || work == nullptr)
        {
            ::_exit(0); // the parent closed its end
        }
        work(shared);
        const char done = 1;
        if (::send(channel, &done, 1, MSG_NOSIGNAL) != 1)
        {
            ::_exit(0);
        }
    }
}

#endif

} // namespace

#if defined(__linux__)

ChildWorker::ChildWorker(std::size_t sharedBytes) noexcept : scratch(sharedBytes) {}

ChildWorker::~ChildWorker()
{
    Retire();
}

bool ChildWorker::Start() noexcept
{
    if (scratch.Bytes().empty())
    {
        return false;
    }
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
    {
        return false;
    }
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child < 0)
    {
        ::close(ends[0]);
        ::close(ends[1]);
        return false;
    }
    if (child == 0)
    {
        PrepareChild(parent);
        ::close(ends[0]);
        ServeWork(ends[1], scratch.Bytes());
    }
    ::close(ends[1]);
    channel = ends[0];
    process = child;
    served = 0;
#ifdef SYS_pidfd_open
    processHandle = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
#endif
    return true;
}

void ChildWorker::Reap(bool kill, bool* leftIdle) noexcept
{
    if (process < 0)
    {
        return;
    }
    if (kill)
    {
        ::kill(process, SIGKILL);
    }
    int status = 0;
    pid_t reaped = -1;
    do
    {
        reaped = ::waitpid(process, &status, 0);
    } while (reaped < 0 && errno == EINTR);
    if (leftIdle != nullptr)
    {
        *leftIdle = reaped == process && WIFEXITED(status) && WEXITSTATUS(status) == kWorkerIdleExit;
    }
    ::close(channel);
    if (processHandle >= 0)
    {
        ::close(processHandle);
    }
    channel = process = processHandle = -1;
}

void ChildWorker::Retire() noexcept
{
    Reap(true, nullptr);
}

bool ChildWorker::AwaitAnswer(std::chrono::steady_clock::time_point deadline, bool& idle) noexcept
{
    idle = false;
    for (;;)
    {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        // The pidfd as well as the socket: a child forked elsewhere in the meantime may hold a copy of the worker's
        // end, and then the socket alone would not tell that the worker is gone.
        pollfd watched[2] = {{channel, POLLIN, 0}, {processHandle, POLLIN, 0}};
        const int ready =
            left.count() > 0 ? ::poll(watched, processHandle >= 0 ? 2 : 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR)
        {
            continue;
        }
        if (ready > 0 && (watched[0].revents & POLLIN) != 0)
        {
            char done = 0;
            if (::recv(channel, &done, 1, MSG_DONTWAIT) == 1)
            {
                return true;
            }
        }
        // Ended, hung past the deadline, or the wait itself failed: no answer will come.
        Reap(ready <= 0, &idle);
        return false;
    }
}

ChildEnd ChildWorker::Run(Work work, std::chrono::milliseconds limit) noexcept
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    // Twice at most: a worker that left for want of work just as the request went out is started again.
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        if (process < 0 && !Start())
        {
            return ChildEnd::Unavailable;
        }
        bool idle = false;
        if (::send(channel, &work, sizeof work, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof work))
        {
            if (AwaitAnswer(deadline, idle))
            {
                ++served;
                return ChildEnd::Finished;
            }
        }
        else
        {
            Reap(true, &idle);
        }
        if (!idle)
        {
            return ChildEnd::Failed;
        }
    }
    return ChildEnd::Failed;
}

ChildWorkers::ChildWorkers(std::size_t count, std::size_t bytes) noexcept : sharedBytes(bytes), slots(count) {}

ChildWorkers::Lease ChildWorkers::TryTake() noexcept
{
    for (Slot& slot : slots)
    {
        std::unique_lock<std::mutex> lock(slot.lock, std::try_to_lock);
        if (lock.owns_lock())
        {
            if (!slot.worker)
            {
                slot.worker.emplace(sharedBytes);
            }
            return Lease(*slot.worker, std::move(lock));
        }
    }
    return {};
}

#endif

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
        PrepareChild(parent);
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

#if !defined(__linux__)
// Where no worker can be kept (no socket pairs of datagrams), callers start a child per piece of work instead.
ChildWorker::ChildWorker(std::size_t sharedBytes) noexcept : scratch(sharedBytes) {}
ChildWorker::~ChildWorker() = default;
ChildEnd ChildWorker::Run(Work, std::chrono::milliseconds) noexcept
{
    return ChildEnd::Unavailable;
}
void ChildWorker::Retire() noexcept {}

ChildWorkers::ChildWorkers(std::size_t count, std::size_t bytes) noexcept : sharedBytes(bytes), slots(count) {}
ChildWorkers::Lease ChildWorkers::TryTake() noexcept
{
    return {};
}

#endif

} // namespace orblane::platform
