#include "imaging/cache/DecodeScheduler.h"

#include "platform/MappedReadGuard.h"
#include "platform/ThreadPool.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>

namespace orblane {

DecodedImage DecodeGuarded(const PixelDescription& description, ByteView region, Point inset, bool buildImage,
                           unsigned codecThreads) noexcept
{
    DecodedImage decoded;
    std::shared_ptr<const DecodedFrame> frame;
    ErrorOutcome error;
    FrameOutcome outcome;
    // The decoder reads the mapping in place: each thread guards its own reads, so a fault here ends this decode
    // only. What the guarded read fills lives outside it (a fault skips the destructors inside).
    const platform::MappedRead read =
        platform::GuardMappedRead(region, [&description, &frame, &error, &outcome, codecThreads] {
            frame = DecodeFrameOf(description, &error, &outcome, codecThreads);
        });
    decoded.error = error;
    decoded.outcome = outcome;
    if (read == platform::MappedRead::Faulted || outcome.failure == FrameFailure::ReadFault)
    {
        decoded.outcome.failure = FrameFailure::ReadFault;
        return decoded;
    }
    if (buildImage && frame)
    {
        // A failure here leaves the build to the owner, which reports it.
        ErrorOutcome ignored;
        decoded.image = CImageData::FromFrame(frame, inset, &ignored);
    }
    decoded.frame = std::move(frame);
    return decoded;
}

// What the pool hands back, and what the scheduler's end waits for. Shared by the scheduler and every queued job.
struct DecodeScheduler::State
{
    std::mutex mutex;
    // Told when a job is let go and when a walk ahead is over.
    std::condition_variable idle;
    int outstanding = 0;
    std::vector<Result> results;
    // The images whose decode runs on the pool now; each leaves with its result posted.
    std::vector<int> running;
    std::function<void()> notify;
    // Jobs of an older generation are cancelled: they answer without decoding.
    std::atomic<std::uint64_t> generation{0};
};

// One decode for the pool. Its answer is posted when it is destroyed, run or not, so that the owner always learns
// that the job is over (and may let go of the file's mapping).
struct DecodeScheduler::Job
{
    std::shared_ptr<State> state;
    Request request;
    std::uint64_t generation = 0;
    Result result;
    // Under the lock: begun on the pool, or taken by the owner, which decodes the image itself.
    bool started = false;
    bool claimed = false;

    Job() = default;
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    void Run() noexcept
    {
        {
            const std::lock_guard lock(state->mutex);
            if (state->generation.load() != generation || claimed)
            {
                return;
            }
            try
            {
                state->running.push_back(result.index);
            }
            catch (const std::bad_alloc&)
            {
                return;
            }
            started = true;
        }
        result.decoded = DecodeGuarded(request.description, request.region, request.inset, request.buildImage);
        result.cancelled = false;
    }

    ~Job()
    {
        const std::lock_guard lock(state->mutex);
        if (started)
        {
            const auto it = std::find(state->running.begin(), state->running.end(), result.index);
            if (it != state->running.end())
            {
                state->running.erase(it);
            }
        }
        const bool cancelled = result.cancelled;
        try
        {
            state->results.push_back(std::move(result));
        }
        catch (const std::bad_alloc&)
        {
            // The answer is lost; the image is decoded when it is shown, and its file stays mapped.
        }
        // Told under the lock: the owner cannot be gone before the call returns.
        if (!cancelled && state->notify)
        {
            state->notify();
        }
        --state->outstanding;
        state->idle.notify_all();
    }
};

// One walk ahead for the pool: outstanding, like a decode, until the pool lets it go, run or not.
struct DecodeScheduler::WalkTask
{
    std::shared_ptr<State> state;
    std::shared_ptr<AheadWalk> walk;

    WalkTask() = default;
    WalkTask(const WalkTask&) = delete;
    WalkTask& operator=(const WalkTask&) = delete;

    ~WalkTask()
    {
        const std::lock_guard lock(state->mutex);
        --state->outstanding;
        state->idle.notify_all();
    }
};

DecodeScheduler::DecodeScheduler(ThreadPool& workers) : pool(workers), state(std::make_shared<State>()) {}

DecodeScheduler::~DecodeScheduler()
{
    ++state->generation;
    std::unique_lock lock(state->mutex);
    state->idle.wait(lock, [this] { return state->outstanding == 0; });
}

std::uint64_t DecodeScheduler::Generation() const noexcept
{
    return state->generation.load();
}

std::uint64_t DecodeScheduler::NewRequest() noexcept
{
    const std::uint64_t newest = ++state->generation;
    queued.clear();
    return newest;
}

std::vector<int> DecodeScheduler::Running()
{
    std::vector<int> copy;
    const std::lock_guard lock(state->mutex);
    try
    {
        copy = state->running;
    }
    catch (const std::bad_alloc&)
    {
        // Queued again then: decoded twice at worst.
    }
    return copy;
}

void DecodeScheduler::Queue(Request request)
{
    auto job = std::make_shared<Job>();
    job->state = state;
    job->generation = state->generation.load();
    job->result.index = request.index;
    job->result.file = request.file;
    job->result.reserved = request.reserved;
    job->result.generation = job->generation;
    job->request = std::move(request);
    {
        const std::lock_guard lock(state->mutex);
        ++state->outstanding;
    }
    try
    {
        queued.push_back(job);
    }
    catch (const std::bad_alloc&)
    {
        // Not shared with the owner: an image asked for meanwhile may be decoded twice.
    }
    // Refused by the pool, the job still answers (cancelled) when it is let go here.
    pool.Submit([job] { job->Run(); });
}

void DecodeScheduler::QueueWalk(std::shared_ptr<AheadWalk> walk)
{
    auto task = std::make_shared<WalkTask>();
    task->state = state;
    task->walk = walk;
    {
        const std::lock_guard lock(state->mutex);
        ++state->outstanding;
    }
    std::erase_if(walks, [](const std::shared_ptr<AheadWalk>& other) {
        const int now = other->state.load();
        return now == AheadWalk::Done || now == AheadWalk::Withdrawn;
    });
    walks.push_back(std::move(walk));
    // Refused by the pool, the walk stays queued and the owner takes the file back when it needs it.
    pool.Submit([task] { RunWalk(*task->state, *task->walk); });
}

void DecodeScheduler::RunWalk(AheadWalk& walk) noexcept
{
    RunWalk(*state, walk);
}

void DecodeScheduler::RunWalk(State& shared, AheadWalk& walk) noexcept
{
    int expected = AheadWalk::Queued;
    if (shared.generation.load() != walk.generation.load())
    {
        walk.state.compare_exchange_strong(expected, AheadWalk::Withdrawn);
        return;
    }
    if (!walk.state.compare_exchange_strong(expected, AheadWalk::Running))
    {
        return;
    }
    const bool decoded = walk.Walk();
    const std::lock_guard lock(shared.mutex);
    walk.state.store(AheadWalk::Done);
    shared.idle.notify_all();
    // The owner counts the frames against the cache when it collects.
    if (decoded && shared.notify)
    {
        shared.notify();
    }
}

bool DecodeScheduler::TakeBackWalk(AheadWalk& walk, const std::function<void(int)>& decode)
{
    int expected = AheadWalk::Queued;
    if (walk.state.compare_exchange_strong(expected, AheadWalk::Withdrawn) || expected == AheadWalk::Withdrawn)
    {
        return false;
    }
    // Running or done: a walk that runs is one file's work, sooner over than begun again here.
    if (walk.state.load() == AheadWalk::Running)
    {
        HelpWhileWaiting(decode);
    }
    std::unique_lock lock(state->mutex);
    state->idle.wait(lock, [&walk] { return walk.state.load() == AheadWalk::Done; });
    return true;
}

std::vector<std::shared_ptr<DecodeScheduler::Job>> DecodeScheduler::LiveJobs() const
{
    std::vector<std::shared_ptr<Job>> jobs;
    try
    {
        for (const std::weak_ptr<Job>& weak : queued)
        {
            if (auto job = weak.lock())
            {
                jobs.push_back(std::move(job));
            }
        }
    }
    catch (const std::bad_alloc&)
    {
        // Those found so far.
    }
    return jobs;
}

bool DecodeScheduler::TakeOrWait(int index, const std::function<void(int)>& decode)
{
    std::vector<std::shared_ptr<Job>> jobs = LiveJobs();
    {
        const std::lock_guard lock(state->mutex);
        for (const auto& job : jobs)
        {
            // Not begun: the pool must not decode again what the owner decodes now.
            if (job->result.index == index && !job->started)
            {
                job->claimed = true;
            }
        }
        if (std::find(state->running.begin(), state->running.end(), index) == state->running.end())
        {
            return false;
        }
    }
    jobs.clear();
    HelpWhileWaiting(decode);
    std::unique_lock lock(state->mutex);
    state->idle.wait(
        lock, [&] { return std::find(state->running.begin(), state->running.end(), index) == state->running.end(); });
    return true;
}

void DecodeScheduler::HelpWhileWaiting(const std::function<void(int)>& decode)
{
    // While a worker does what the owner waits for, the owner does the next queued work nobody has begun (what the
    // user pages to next) rather than wait idle: holding a key down then decodes on every core, not on the pool's
    // workers alone.
    int help = -1;
    {
        std::vector<std::shared_ptr<Job>> jobs = LiveJobs();
        {
            const std::lock_guard lock(state->mutex);
            for (const auto& job : jobs)
            {
                if (!job->started && !job->claimed && job->generation == state->generation.load())
                {
                    job->claimed = true;
                    help = job->result.index;
                    break;
                }
            }
        }
    }
    if (help >= 0)
    {
        decode(help);
        return;
    }
    // A file walked ahead: the same walk the pool would run (it claims itself), its answers left for the study.
    for (const std::shared_ptr<AheadWalk>& walk : walks)
    {
        if (walk->state.load() == AheadWalk::Queued && walk->generation.load() == state->generation.load())
        {
            RunWalk(*state, *walk);
            return;
        }
    }
}

bool DecodeScheduler::Idle() const
{
    // Taken before the lock and let go after it: the last owner of a job posts its result under that lock.
    const std::vector<std::shared_ptr<Job>> jobs = LiveJobs();
    const std::lock_guard lock(state->mutex);
    return state->running.empty() &&
           std::none_of(jobs.begin(), jobs.end(), [](const auto& job) { return !job->started && !job->claimed; });
}

std::vector<DecodeScheduler::Result> DecodeScheduler::TakeResults()
{
    std::vector<Result> taken;
    const std::lock_guard lock(state->mutex);
    taken.swap(state->results);
    return taken;
}

void DecodeScheduler::SetNotifier(std::function<void()> notify)
{
    const std::lock_guard lock(state->mutex);
    state->notify = std::move(notify);
}

} // namespace orblane
