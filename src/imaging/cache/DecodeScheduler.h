#pragma once

// Threading of the decode pipeline. The owner (the viewer's thread, or the command line) owns the list, its cache
// and every CImageData; only it calls the scheduler. Workers own nothing: a job gets values (a frame's description
// and bytes, the inset) and leaves one outcome, touching no shared state but its own answer. The scheduler's mutex
// guards the queue, the images in flight and the answers; nothing else above platform/ takes a lock. A job that
// reads mapped bytes holds its own fault guard on its own thread (DecodeGuarded), so no fault crosses to another
// thread. Cancelling is a request number the job compares before it begins: a job of an older request answers
// without decoding, and the scheduler's end waits only for the jobs that run.

#include "dicom/PixelDescription.h"
#include "imaging/CImageData.h"
#include "imaging/DecodedFrame.h"
#include "platform/Bytes.h"
#include "platform/ErrorCode.h"
#include "platform/Point.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace orblane {

class ThreadPool;

// What one decode of a frame gives: the frame, the image built from it where that was asked for and could be done,
// and why there is no frame otherwise (outcome.failure is ReadFault when the medium failed under the read).
struct DecodedImage
{
    std::shared_ptr<const DecodedFrame> frame;
    std::unique_ptr<CImageData> image;
    ErrorOutcome error;
    FrameOutcome outcome;

    bool Faulted() const noexcept { return outcome.failure == FrameFailure::ReadFault; }
};

// Decodes one frame on the calling thread, its reads of `region` (the file's mapping) guarded here, and builds its
// image (display bitmap included) when `buildImage`. A failed build is left to the owner, which reports it. A codec
// with threads of its own may use up to `codecThreads` (a frame the owner waits for while the pool is idle).
DecodedImage DecodeGuarded(const PixelDescription& description, ByteView region, Point inset, bool buildImage,
                           unsigned codecThreads = 1) noexcept;

// A file walked ahead on the pool before the study reaches it. Its state goes Queued, Running, Done on the pool, or
// from Queued to Withdrawn: the owner took the file back before the walk began, or nobody wanted the walk any more
// when its turn came.
struct AheadWalk
{
    enum : int
    {
        Queued,
        Running,
        Done,
        Withdrawn,
    };

    // The request it serves; asking for the same file again renews it.
    std::atomic<std::uint64_t> generation{0};
    std::atomic<int> state{Queued};

    AheadWalk() = default;
    AheadWalk(const AheadWalk&) = delete;
    AheadWalk& operator=(const AheadWalk&) = delete;
    virtual ~AheadWalk() = default;

    // The walk, on whichever thread claimed it; what it writes is read by the owner after Done. Answers whether it
    // left decoded frames for the owner to collect.
    virtual bool Walk() noexcept = 0;
};

// Every decode and walk ahead of one list: queued on the pool, taken back or run by the owner, answered to the
// owner, and waited for at the end.
class DecodeScheduler
{
public:
    struct Result
    {
        int index = 0;
        int file = 0;
        DecodedImage decoded;
        // What the list set aside in its budget for this decode, while its request is the newest one.
        std::size_t reserved = 0;
        std::uint64_t generation = 0;
        bool cancelled = true;
    };
    // One decode to queue: values only.
    struct Request
    {
        int index = 0;
        int file = 0;
        PixelDescription description;
        // A frame split over fragments: the job's own copy of its parts (the description's plane points into it).
        std::vector<std::uint8_t> joined;
        ByteView region;
        Point inset;
        // The entry has no image yet, so none of the user's view state: the whole image can be built on the pool.
        bool buildImage = false;
        std::size_t reserved = 0;
    };

    // Throws std::bad_alloc.
    explicit DecodeScheduler(ThreadPool& pool);
    DecodeScheduler(const DecodeScheduler&) = delete;
    DecodeScheduler& operator=(const DecodeScheduler&) = delete;
    // Drains: cancels what is queued and waits for what runs.
    ~DecodeScheduler();

    std::uint64_t Generation() const noexcept;
    // Begins a request: whatever was queued before and has not started is cancelled. Answers its number.
    std::uint64_t NewRequest() noexcept;
    // The images whose decode runs now (empty when the copy finds no memory).
    std::vector<int> Running();
    // Queues a decode for the newest request. Refused by the pool, it still answers (cancelled).
    void Queue(Request request);
    // Queues a walk ahead. Refused by the pool, it stays queued and the owner takes the file back when it needs it.
    void QueueWalk(std::shared_ptr<AheadWalk> walk);
    // Runs a walk here or on the pool: nothing when it is withdrawn or claimed already.
    void RunWalk(AheadWalk& walk) noexcept;
    // For a walk the owner wants back: false when it had not begun (it is withdrawn then) or was withdrawn before;
    // otherwise waits until it is done (doing other queued work meanwhile) and answers true.
    bool TakeBackWalk(AheadWalk& walk, const std::function<void(int)>& decode);

    // For an image the owner wants now: takes its queued decode back from the pool, or, when a worker is decoding
    // it, does another queued piece of work meanwhile (`decode` for an image) and waits for it; answers whether it
    // waited (the answer is then posted for TakeResults).
    bool TakeOrWait(int index, const std::function<void(int)>& decode);
    // Runs one piece of queued work nobody has begun on the owner's thread: `decode` for an image, else a walk.
    void HelpWhileWaiting(const std::function<void(int)>& decode);

    // Nothing of this list runs or waits on the pool: a frame the owner decodes now may have every core.
    bool Idle() const;

    std::vector<Result> TakeResults();
    // Called on a pool thread each time a decode finishes. It must not touch the list.
    void SetNotifier(std::function<void()> notify);

private:
    struct State;
    struct Job;
    struct WalkTask;

    // Those of `queued` not over yet. Taken out of the weak pointers before the lock: the last owner of a job posts
    // its result under that lock.
    std::vector<std::shared_ptr<Job>> LiveJobs() const;
    static void RunWalk(State& state, AheadWalk& walk) noexcept;

    ThreadPool& pool;
    // Shared with every queued job and walk: what they answer through, and what the end waits on.
    std::shared_ptr<State> state;
    // The owner's own: the decodes of its newest request, nearest first, and the walks that may still be queued.
    std::vector<std::weak_ptr<Job>> queued;
    std::vector<std::shared_ptr<AheadWalk>> walks;
};

} // namespace orblane
