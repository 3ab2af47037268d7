#include "imaging/ImageDataList.h"

#include "dicom/DicomDataFileIO.h"
#include "dicom/TopLevelIndex.h"
#include "imaging/codecs/TransferSyntaxTable.h"
#include "platform/MappedReadGuard.h"
#include "platform/MemoryLimit.h"
#include "platform/ThreadPool.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>

namespace orblane {
namespace {

// Files mapped at once: a cine reads frame after frame of one file and a page of single-frame files a few dozen; a
// mapping is cheap to keep, but every one holds a descriptor and the walk's records.
constexpr int kMappedFiles = 16;

// An eviction drops pixels until the cache holds this share of its budget, so that the next few decodes do not each
// scan the list again.
constexpr std::size_t kEvictToPercent = 90;

// Names and UIDs are ASCII.
std::u16string Widen(std::string_view text)
{
    std::u16string wide;
    wide.reserve(text.size());
    for (const char c : text)
    {
        wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    }
    return wide;
}

// Case-insensitive for A-Z only, code unit by code unit otherwise.
int CompareLabels(const std::u16string& a, const std::u16string& b) noexcept
{
    const auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i)
    {
        const char16_t x = fold(a[i]);
        const char16_t y = fold(b[i]);
        if (x != y)
        {
            return x < y ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::u16string JoinLines(std::initializer_list<const std::optional<std::u16string>*> parts)
{
    std::u16string text;
    bool first = true;
    for (const auto* part : parts)
    {
        if (!first)
        {
            text += u'\n';
        }
        first = false;
        if (*part)
        {
            text += **part;
        }
    }
    return text;
}

} // namespace

namespace {

// What a decoded frame and its display bitmap will hold: 32-bit values (or colour pixels) and a 32-bit bitmap.
std::size_t ExpectedPixelBytes(const PixelDescription& d) noexcept
{
    return static_cast<std::size_t>(d.columnCount) * d.rowCount * 2 * sizeof(std::uint32_t);
}

} // namespace

std::size_t DefaultImageCacheBytes() noexcept
{
    constexpr std::size_t kDefault = std::size_t{512} << 20;
    const std::uint64_t quarter = platform::PhysicalMemoryBytes(4);
    if (quarter == 0)
    {
        return kDefault;
    }
    return static_cast<std::size_t>(std::min<std::uint64_t>(kDefault, quarter));
}

std::size_t ImageCacheBudget(std::size_t chosen) noexcept
{
    if (chosen == 0)
    {
        return DefaultImageCacheBytes();
    }
    const std::uint64_t usable = platform::UsableMemoryBytes();
    if (usable == 0)
    {
        return std::min(chosen, DefaultImageCacheBytes());
    }
    return static_cast<std::size_t>(std::min<std::uint64_t>(chosen, usable / 2));
}

// What the pool hands back, and what the list waits for when it goes. Shared by the list and every queued job.
struct ImageDataList::Channel
{
    struct Result
    {
        int index = 0;
        int file = 0;
        std::shared_ptr<const DecodedFrame> frame;
        // The image built on the pool as well (display bitmap included) for an entry that had none: the owner's
        // thread then only attaches it.
        std::unique_ptr<CImageData> image;
        // What the list set aside in its budget for this decode, while its request is the newest one.
        std::size_t reserved = 0;
        std::uint64_t generation = 0;
        // Why the decode gave no frame: a damaged or unsupported frame is settled as such, never decoded again.
        FrameOutcome outcome;
        bool faulted = false;
        bool cancelled = true;
    };

    // One decode for the pool. Its answer is posted when it is destroyed, run or not, so that the list always
    // learns that the job is over (and may let go of the file's mapping).
    struct Job
    {
        std::shared_ptr<Channel> channel;
        PixelDescription description;
        // A frame split over fragments: the job's own copy of its parts.
        std::vector<std::uint8_t> joined;
        ByteView region;
        std::uint64_t generation = 0;
        Point inset;
        // The entry has no image yet, so none of the user's view state: the whole image can be built here.
        bool buildImage = false;
        Result result;
        // Under the channel's lock: begun on the pool, or taken by the owner, which decodes the image itself.
        bool started = false;
        bool claimed = false;

        Job() = default;
        Job(const Job&) = delete;
        Job& operator=(const Job&) = delete;

        void Run() noexcept
        {
            {
                const std::lock_guard lock(channel->mutex);
                if (channel->generation.load() != generation || claimed)
                {
                    return;
                }
                try
                {
                    channel->running.push_back(result.index);
                }
                catch (const std::bad_alloc&)
                {
                    return;
                }
                started = true;
            }
            std::shared_ptr<const DecodedFrame> frame;
            ErrorOutcome error;
            FrameOutcome outcome;
            // Each worker guards its own reads: a fault on this thread ends this decode only.
            const platform::MappedRead read = platform::GuardMappedRead(
                region, [this, &frame, &error, &outcome] { frame = DecodeFrameOf(description, &error, &outcome); });
            result.cancelled = false;
            result.faulted = read == platform::MappedRead::Faulted || outcome.failure == FrameFailure::ReadFault;
            result.outcome = outcome;
            if (!result.faulted)
            {
                if (buildImage && frame)
                {
                    // A failure here leaves the build to the owner, which reports it.
                    ErrorOutcome ignored;
                    result.image = CImageData::FromFrame(frame, inset, &ignored);
                }
                result.frame = std::move(frame);
            }
        }

        ~Job()
        {
            const std::lock_guard lock(channel->mutex);
            if (started)
            {
                const auto it = std::find(channel->running.begin(), channel->running.end(), result.index);
                if (it != channel->running.end())
                {
                    channel->running.erase(it);
                }
            }
            try
            {
                channel->results.push_back(std::move(result));
            }
            catch (const std::bad_alloc&)
            {
                // The answer is lost; the image is decoded when it is shown, and its file stays mapped.
            }
            // Told under the lock: the list cannot be gone before the call returns.
            if (!result.cancelled && channel->notify)
            {
                channel->notify();
            }
            --channel->outstanding;
            channel->idle.notify_all();
        }
    };

    // One walk ahead for the pool: outstanding, like a decode, until the pool lets it go, run or not.
    struct WalkTask
    {
        std::shared_ptr<Channel> channel;
        std::shared_ptr<WalkAhead> walk;

        WalkTask() = default;
        WalkTask(const WalkTask&) = delete;
        WalkTask& operator=(const WalkTask&) = delete;

        ~WalkTask()
        {
            const std::lock_guard lock(channel->mutex);
            --channel->outstanding;
            channel->idle.notify_all();
        }
    };

    std::mutex mutex;
    // Told when a job is let go and when a walk ahead is over.
    std::condition_variable idle;
    int outstanding = 0;
    std::vector<Result> results;
    // The images whose decode runs on the pool now; each leaves with its result posted.
    std::vector<int> running;
    // The owner's own: the decodes of its newest request, nearest first.
    std::vector<std::weak_ptr<Job>> queued;

    // Those of `queued` not over yet. Taken out of the weak pointers before the lock: the last owner of a job posts
    // its result under that lock.
    std::vector<std::shared_ptr<Job>> LiveJobs() const
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
    std::function<void()> notify;
    // Jobs of an older generation are cancelled: they answer without decoding.
    std::atomic<std::uint64_t> generation{0};
};

// A file walked on the pool before the study reaches it, and the answers it leaves for the owner. Its state goes
// Queued, Running, Done on the pool, or from Queued to Withdrawn: the owner took the file back before the walk
// began, or nobody wanted the walk any more when its turn came.
struct ImageDataList::WalkAhead
{
    enum : int
    {
        Queued,
        Running,
        Done,
        Withdrawn,
    };

    DicomDataFileIO* file = nullptr;
    bool keepUnshowable = true;
    // How many of the file's first images may fall on the pages asked for: those are decoded here as well.
    int wanted = 0;
    // The request it serves; asking for the same file again renews it.
    std::atomic<std::uint64_t> generation{0};
    std::atomic<int> state{Queued};
    // Written by the pool before Done, read by the owner after it.
    WalkOutcome outcome = WalkOutcome::NotWalked;
    std::vector<Occurrence> occurrences;
    std::u16string texts[2];
    std::vector<std::shared_ptr<const DecodedFrame>> frames;
    // Each frame's image, display bitmap included, where it could be built: the owner's thread only attaches it.
    std::vector<std::unique_ptr<CImageData>> images;
    Point inset;
    // The owner's own: what the frames add to the cache's bytes until they join it, and whether the walk is past
    // counting (counted, or taken back).
    std::size_t countedBytes = 0;
    bool settled = false;

    void Run(Channel& channel) noexcept
    {
        int expected = Queued;
        if (channel.generation.load() != generation.load())
        {
            state.compare_exchange_strong(expected, Withdrawn);
            return;
        }
        if (!state.compare_exchange_strong(expected, Running))
        {
            return;
        }
        try
        {
            outcome = WalkFile(*file, keepUnshowable, occurrences, texts);
            if (outcome == WalkOutcome::Walked)
            {
                DecodeFirstImages();
            }
        }
        catch (const std::bad_alloc&)
        {
            // The owner walks the file itself, as if nobody had walked ahead.
            outcome = WalkOutcome::NotWalked;
            occurrences.clear();
            frames.clear();
            images.clear();
        }
        // The mapping goes with the walk: a study walked ahead must not hold more files open than the owner allows.
        for (Occurrence& occurrence : occurrences)
        {
            occurrence.ForgetFileViews();
        }
        file->Unload();
        const std::lock_guard lock(channel.mutex);
        state.store(Done);
        channel.idle.notify_all();
        // The owner counts the frames against the cache when it collects.
        if (!frames.empty() && channel.notify)
        {
            channel.notify();
        }
    }

    void DecodeFirstImages()
    {
        std::vector<std::uint8_t> joined;
        for (const Occurrence& occurrence : occurrences)
        {
            for (int frame = 0; frame < occurrence.description.frameCount; ++frame)
            {
                if (static_cast<int>(frames.size()) >= wanted)
                {
                    return;
                }
                std::shared_ptr<const DecodedFrame> decoded;
                if (occurrence.decodable)
                {
                    const PixelDescription description = occurrence.Frame(frame, joined);
                    ErrorOutcome error;
                    FrameOutcome why;
                    const platform::MappedRead read =
                        platform::GuardMappedRead(file->DataBytes(), [&description, &decoded, &error, &why] {
                            decoded = DecodeFrameOf(description, &error, &why);
                        });
                    if (read == platform::MappedRead::Faulted || why.failure == FrameFailure::ReadFault)
                    {
                        // The owner meets the fault again when it decodes the image, and tells.
                        return;
                    }
                }
                // A frame that failed is left to the decode on demand, which tells why it cannot be shown.
                std::unique_ptr<CImageData> image;
                if (decoded)
                {
                    ErrorOutcome ignored;
                    image = CImageData::FromFrame(decoded, inset, &ignored);
                }
                frames.push_back(std::move(decoded));
                images.push_back(std::move(image));
            }
        }
    }
};

ImageDataList::ImageDataList(Point inset) noexcept : ImageDataList(inset, ImageListOptions{}) {}

ImageDataList::ImageDataList(Point inset, const ImageListOptions& chosen) noexcept : frameInset(inset), options(chosen)
{
    options.cacheBytes = ImageCacheBudget(options.cacheBytes);
    if (options.pool != nullptr)
    {
        try
        {
            channel = std::make_shared<Channel>();
        }
        catch (const std::bad_alloc&)
        {
            options.pool = nullptr;
        }
    }
}

ImageDataList::~ImageDataList()
{
    if (channel)
    {
        ++channel->generation;
        std::unique_lock lock(channel->mutex);
        channel->idle.wait(lock, [this] { return channel->outstanding == 0; });
    }
}

void ImageDataList::AddFile(std::unique_ptr<DicomDataFileIO> file)
{
    if (!file)
    {
        return;
    }
    auto position = files.end();
    const std::u16string& label = file->StudyLabel();
    // Files not walked yet are kept labelled ones first, highest label first, then those without: a study's files
    // mostly arrive under one label, and then the end is their place without a search of the whole study.
    const bool afterLast = files.size() > static_cast<std::size_t>(nextFile) &&
                           !files.back().file->StudyLabel().empty() &&
                           CompareLabels(files.back().file->StudyLabel(), label) >= 0;
    if (!label.empty() && !afterLast)
    {
        position = std::find_if(files.begin() + nextFile, files.end(), [&](const FileSlot& other) {
            return other.file->StudyLabel().empty() || CompareLabels(other.file->StudyLabel(), label) < 0;
        });
    }
    FileSlot slot;
    slot.file = std::move(file);
    files.insert(position, std::move(slot));
}

CImageData* ImageDataList::GetImage(int index)
{
    if (index < 0)
    {
        return nullptr;
    }
    if (channel)
    {
        CollectDecoded();
    }
    for (;;)
    {
        if (!FindImage(index))
        {
            return nullptr;
        }
        Entry& entry = entries[static_cast<std::size_t>(index)];
        entry.lastUse = ++useClock;
        if (entry.state == EntryState::Decoded || entry.state == EntryState::Unshowable)
        {
            return entry.image.get();
        }
        if (channel && ShareWithPool(index))
        {
            CollectDecoded();
            if (entries[static_cast<std::size_t>(index)].state == EntryState::Decoded)
            {
                return entries[static_cast<std::size_t>(index)].image.get();
            }
        }
        if (DecodeEntry(index))
        {
            return entries[static_cast<std::size_t>(index)].image.get();
        }
        // The image left the list: the next one has taken its index.
    }
}

bool ImageDataList::FindImage(int index)
{
    while (static_cast<int>(entries.size()) <= index && nextFile < static_cast<int>(files.size()))
    {
        LoadNextFile();
    }
    return index >= 0 && index < static_cast<int>(entries.size());
}

bool ImageDataList::ShareWithPool(int index)
{
    std::vector<std::shared_ptr<Channel::Job>> jobs = channel->LiveJobs();
    {
        const std::lock_guard lock(channel->mutex);
        for (const auto& job : jobs)
        {
            // Not begun: the pool must not decode again what the owner decodes now.
            if (job->result.index == index && !job->started)
            {
                job->claimed = true;
            }
        }
        if (std::find(channel->running.begin(), channel->running.end(), index) == channel->running.end())
        {
            return false;
        }
    }
    jobs.clear();
    HelpWhileWaiting();
    std::unique_lock lock(channel->mutex);
    channel->idle.wait(lock, [&] {
        return std::find(channel->running.begin(), channel->running.end(), index) == channel->running.end();
    });
    return true;
}

void ImageDataList::HelpWhileWaiting()
{
    // While a worker does what the owner waits for, the owner does the next queued work nobody has begun (what the
    // user pages to next) rather than wait idle: holding a key down then decodes on every core, not on the pool's
    // workers alone.
    int help = -1;
    {
        std::vector<std::shared_ptr<Channel::Job>> jobs = channel->LiveJobs();
        {
            const std::lock_guard lock(channel->mutex);
            for (const auto& job : jobs)
            {
                if (!job->started && !job->claimed && job->generation == channel->generation.load())
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
        const Entry& other = entries[static_cast<std::size_t>(help)];
        if (other.state == EntryState::NotDecoded || other.state == EntryState::Dropped)
        {
            DecodeEntry(help);
        }
        return;
    }
    // A file walked ahead: the same walk the pool would run (it claims itself), its answers left for the study.
    for (const std::shared_ptr<WalkAhead>& walk : walksAhead)
    {
        if (walk->state.load() == WalkAhead::Queued && walk->generation.load() == channel->generation.load())
        {
            walk->Run(*channel);
            return;
        }
    }
}

ImageDataList::WalkOutcome ImageDataList::WalkFile(DicomDataFileIO& file, bool keepUnshowable,
                                                   std::vector<Occurrence>& occurrences, std::u16string (&texts)[2])
{
    // A file that is already loaded (the command-line tool loads by path) is not loaded again.
    if (file.DataSet() == nullptr && file.LoadDataSet() != 0)
    {
        return WalkOutcome::Unreadable;
    }
    // The walk is done; reading the descriptions reads the mapping again, and a medium that fails now (a scratched
    // disc, a pulled stick) makes that file unreadable, not the program. What the guarded reads fill lives outside
    // them, so that a fault (which skips the destructors inside) leaves nothing behind. The index reads only the
    // walk's records.
    const TopLevelIndex index(file);
    PatientStudyInfo info;
    int added = 0;
    const platform::MappedRead read = platform::GuardMappedRead(file.DataBytes(), [&] {
        info = file.MakeInfoRecord();
        texts[0] = JoinLines({&info.patientName, &info.patientId, &info.birthDate, &info.sex});
        texts[1] = JoinLines({&info.institutionName, &info.studyDateTime});
        added = ReadFrameSources(file, index, &HasCodec, keepUnshowable, occurrences);
    });
    if (read == platform::MappedRead::Faulted || added == 0)
    {
        occurrences.clear();
        file.Unload();
        return read == platform::MappedRead::Faulted ? WalkOutcome::Unreadable : WalkOutcome::NoImages;
    }
    return WalkOutcome::Walked;
}

bool ImageDataList::TakeBackWalk(FileSlot& slot, std::shared_ptr<WalkAhead>& walk)
{
    walk = std::move(slot.walkAhead);
    if (!walk)
    {
        return false;
    }
    int expected = WalkAhead::Queued;
    if (walk->state.compare_exchange_strong(expected, WalkAhead::Withdrawn) || expected == WalkAhead::Withdrawn)
    {
        return false;
    }
    // Running or done: a walk that runs is one file's work, sooner over than begun again here.
    if (walk->state.load() == WalkAhead::Running)
    {
        HelpWhileWaiting();
    }
    std::unique_lock lock(channel->mutex);
    channel->idle.wait(lock, [&walk] { return walk->state.load() == WalkAhead::Done; });
    return walk->outcome != WalkOutcome::NotWalked;
}

int ImageDataList::LoadNextFile()
{
    while (nextFile < static_cast<int>(files.size()))
    {
        const int fileNumber = nextFile;
        FileSlot& slot = files[static_cast<std::size_t>(nextFile)];
        ++nextFile;
        std::shared_ptr<WalkAhead> walk;
        WalkOutcome outcome = WalkOutcome::NotWalked;
        const bool taken = TakeBackWalk(slot, walk);
        if (walk)
        {
            // Its frames are counted again as they join the list, image by image.
            cachedBytes -= std::min(cachedBytes, walk->countedBytes);
            walk->countedBytes = 0;
            walk->settled = true;
        }
        if (taken)
        {
            outcome = walk->outcome;
            slot.occurrences = std::move(walk->occurrences);
            slot.texts[0] = std::move(walk->texts[0]);
            slot.texts[1] = std::move(walk->texts[1]);
            // The pool let go of the mapping: an image it did not decode maps the file again when it is shown.
            slot.mapped = false;
        }
        else
        {
            walk.reset();
            outcome = WalkFile(*slot.file, options.keepUnshowable, slot.occurrences, slot.texts);
            slot.mapped = outcome == WalkOutcome::Walked;
        }
        slot.lastUse = ++useClock;
        if (outcome == WalkOutcome::Unreadable)
        {
            slot.failed = true;
            ReportUnreadable();
            continue;
        }
        if (outcome != WalkOutcome::Walked)
        {
            continue;
        }
        int added = 0;
        const std::size_t before = entries.size();
        try
        {
            for (std::size_t o = 0; o < slot.occurrences.size(); ++o)
            {
                const Occurrence& occurrence = slot.occurrences[o];
                const std::int32_t frames = occurrence.description.frameCount;
                for (std::int32_t k = 0; k < frames; ++k)
                {
                    Entry entry;
                    entry.file = fileNumber;
                    entry.occurrence = static_cast<std::int32_t>(o);
                    entry.frame = k;
                    entries.push_back(std::move(entry));
                }
            }
        }
        catch (const std::bad_alloc&)
        {
            // More frames than memory for their entries (a file claiming millions of tiny frames): "11000", and
            // the study goes on with the frames that found room.
            pendingErrors.push_back({{ErrorCode::OutOfMemory, 0}, false});
        }
        added = static_cast<int>(entries.size() - before);
        if (walk)
        {
            const std::size_t ready = std::min(walk->frames.size(), entries.size() - before);
            for (std::size_t k = 0; k < ready; ++k)
            {
                if (walk->frames[k])
                {
                    const int index = static_cast<int>(before + k);
                    // Wanted soon: not the first the cache lets go of.
                    entries[before + k].lastUse = ++useClock;
                    Settle(index, std::move(walk->frames[k]), {}, false,
                           k < walk->images.size() ? std::move(walk->images[k]) : nullptr);
                }
            }
        }
        LetGoOfMappings(&slot);
        if (added == 0)
        {
            continue;
        }
        return added;
    }
    return 0;
}

bool ImageDataList::EnsureMapped(FileSlot& slot)
{
    if (slot.failed)
    {
        return false;
    }
    slot.lastUse = ++useClock;
    if (slot.mapped)
    {
        return true;
    }
    if (slot.file->Reload() != 0)
    {
        return false;
    }
    // The same walk again: the file must give the images it gave the first time, else it changed under the viewer.
    std::vector<Occurrence> before;
    before.swap(slot.occurrences);
    const TopLevelIndex index(*slot.file);
    int found = 0;
    const platform::MappedRead read = platform::GuardMappedRead(slot.file->DataBytes(), [&] {
        found = ReadFrameSources(*slot.file, index, &HasCodec, options.keepUnshowable, slot.occurrences);
    });
    bool same = read == platform::MappedRead::Completed && slot.occurrences.size() == before.size();
    for (std::size_t o = 0; same && o < before.size(); ++o)
    {
        same = slot.occurrences[o].description.frameCount == before[o].description.frameCount &&
               slot.occurrences[o].decodable == before[o].decodable;
    }
    if (!same || found == 0)
    {
        slot.occurrences.swap(before);
        slot.file->Unload();
        return false;
    }
    slot.mapped = true;
    LetGoOfMappings(&slot);
    return true;
}

void ImageDataList::LetGoOfMappings(const FileSlot* keep) noexcept
{
    for (;;)
    {
        int mapped = 0;
        FileSlot* oldest = nullptr;
        for (FileSlot& slot : files)
        {
            if (!slot.mapped)
            {
                continue;
            }
            ++mapped;
            if (&slot != keep && slot.jobsInFlight == 0 && (oldest == nullptr || slot.lastUse < oldest->lastUse))
            {
                oldest = &slot;
            }
        }
        if (mapped <= kMappedFiles || oldest == nullptr)
        {
            return;
        }
        // Every view into the file dies with its mapping; the attributes themselves stay for the next walk to check.
        for (Occurrence& occurrence : oldest->occurrences)
        {
            occurrence.ForgetFileViews();
        }
        oldest->file->Unload();
        oldest->mapped = false;
    }
}

int ImageDataList::MappedFileCount() const noexcept
{
    return static_cast<int>(std::count_if(files.begin(), files.end(), [](const FileSlot& s) { return s.mapped; }));
}

PixelDescription ImageDataList::FrameDescription(const Entry& entry, std::vector<std::uint8_t>& joined) const
{
    return files[static_cast<std::size_t>(entry.file)].occurrences[static_cast<std::size_t>(entry.occurrence)].Frame(
        entry.frame, joined);
}

std::u16string ImageDataList::UnshownReasonOf(const Occurrence& occurrence, bool damaged) const
{
    const TransferSyntaxEntry* syntax = FindTransferSyntax(occurrence.description.transferSyntax);
    if (syntax == nullptr)
    {
        return u"Transfer syntax " + Widen(occurrence.syntaxName) + u" cannot be shown";
    }
    if (!damaged)
    {
        return Widen(occurrence.syntaxName) + u" cannot be shown";
    }
    if (!syntax->encapsulated)
    {
        return u"Pixel data incomplete: cannot be shown";
    }
    return Widen(occurrence.syntaxName) + u" frame damaged: cannot be shown";
}

bool ImageDataList::DecodeEntry(int index)
{
    Entry& entry = entries[static_cast<std::size_t>(index)];
    FileSlot& slot = files[static_cast<std::size_t>(entry.file)];
    if (!EnsureMapped(slot))
    {
        if (!slot.failed)
        {
            // Every image of the file is settled at once (in the dropping mode the others may leave the list):
            // the caller looks at this index again.
            FileFailed(entry.file);
            return options.keepUnshowable;
        }
        return Settle(index, nullptr, {}, true);
    }
    const Occurrence& occurrence = slot.occurrences[static_cast<std::size_t>(entry.occurrence)];
    if (!occurrence.decodable)
    {
        return Settle(index, nullptr, {}, false);
    }
    const PixelDescription description = FrameDescription(entry, joinedScratch);
    std::shared_ptr<const DecodedFrame> frame;
    ErrorOutcome error;
    FrameOutcome outcome;
    // The decoder reads the mapping in place: a medium that fails now costs this file, as during the walk.
    const platform::MappedRead read =
        platform::GuardMappedRead(slot.file->DataBytes(), [&description, &frame, &error, &outcome] {
            frame = DecodeFrameOf(description, &error, &outcome);
        });
    if (read == platform::MappedRead::Faulted || outcome.failure == FrameFailure::ReadFault)
    {
        FileFailed(entry.file);
        return options.keepUnshowable;
    }
    return Settle(index, std::move(frame), error, false, nullptr, outcome);
}

bool ImageDataList::Settle(int index, std::shared_ptr<const DecodedFrame> frame, ErrorOutcome error, bool faulted,
                           std::unique_ptr<CImageData> built, FrameOutcome outcome)
{
    Entry& entry = entries[static_cast<std::size_t>(index)];
    FileSlot& slot = files[static_cast<std::size_t>(entry.file)];
    if (error)
    {
        pendingErrors.push_back({error, false});
    }
    if (frame)
    {
        bool attached = false;
        if (entry.image == nullptr)
        {
            entry.image = built ? std::move(built) : CImageData::FromFrame(std::move(frame), frameInset, &error);
            if (entry.image != nullptr)
            {
                entry.image->SetText(1, slot.texts[0]);
                entry.image->SetText(2, slot.texts[1]);
                attached = true;
            }
            else if (error)
            {
                pendingErrors.push_back({error, false});
            }
        }
        else
        {
            attached = entry.image->AttachFrame(std::move(frame));
            if (!attached)
            {
                pendingErrors.push_back({{ErrorCode::OutOfMemory, 0}, false});
            }
        }
        if (attached)
        {
            entry.state = EntryState::Decoded;
            Account(entry);
            Evict(index);
            return true;
        }
    }
    if (!options.keepUnshowable && entry.image == nullptr)
    {
        // As if the file never had this image: the ones after it move up.
        entries.erase(entries.begin() + index);
        return false;
    }
    std::u16string reason;
    if (faulted || slot.failed)
    {
        reason = u"File cannot be read: cannot be shown";
    }
    else if (error.code == ErrorCode::OutOfMemory)
    {
        reason = u"Not enough memory: cannot be shown";
    }
    else if (outcome.failure == FrameFailure::Unsupported)
    {
        // The codec (or the image build) refused this kind of frame: saying "damaged" would blame a sound file.
        const Occurrence& occurrence = slot.occurrences[static_cast<std::size_t>(entry.occurrence)];
        reason = Widen(occurrence.syntaxName) + u" frame not supported" +
                 (outcome.reason != nullptr ? u" (" + Widen(outcome.reason) + u")" : std::u16string()) +
                 u": cannot be shown";
    }
    else
    {
        const Occurrence& occurrence = slot.occurrences[static_cast<std::size_t>(entry.occurrence)];
        reason = UnshownReasonOf(occurrence, occurrence.decodable);
    }
    MakeUnshowable(entry, std::move(reason));
    return true;
}

void ImageDataList::MakeUnshowable(Entry& entry, std::u16string reason)
{
    entry.state = EntryState::Unshowable;
    cachedBytes -= std::min(cachedBytes, entry.bytes);
    entry.bytes = 0;
    if (entry.image != nullptr)
    {
        entry.image->MarkUnshowable(std::move(reason));
        return;
    }
    const FileSlot& slot = files[static_cast<std::size_t>(entry.file)];
    PixelDescription description = slot.occurrences.empty()
                                       ? PixelDescription{}
                                       : slot.occurrences[static_cast<std::size_t>(entry.occurrence)].description;
    description.frameNumber = entry.frame;
    entry.image = CImageData::Unshowable(description, frameInset, std::move(reason));
    if (entry.image != nullptr)
    {
        entry.image->SetText(1, slot.texts[0]);
        entry.image->SetText(2, slot.texts[1]);
    }
}

void ImageDataList::FileFailed(int file)
{
    FileSlot& slot = files[static_cast<std::size_t>(file)];
    slot.failed = true;
    ReportUnreadable();
    // Pixels already decoded were read whole; the images not yet decoded (or dropped) are lost with the file.
    for (std::size_t k = entries.size(); k-- > 0;)
    {
        Entry& entry = entries[k];
        if (entry.file != file || entry.state == EntryState::Decoded || entry.state == EntryState::Unshowable)
        {
            continue;
        }
        if (!options.keepUnshowable && entry.image == nullptr)
        {
            entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(k));
            continue;
        }
        MakeUnshowable(entry, u"File cannot be read: cannot be shown");
    }
    if (slot.jobsInFlight == 0)
    {
        for (Occurrence& occurrence : slot.occurrences)
        {
            occurrence.ForgetFileViews();
        }
        slot.file->Unload();
        slot.mapped = false;
    }
}

void ImageDataList::Account(Entry& entry) noexcept
{
    cachedBytes -= std::min(cachedBytes, entry.bytes);
    entry.bytes = entry.image->PixelBytes();
    cachedBytes += entry.bytes;
}

bool ImageDataList::OnScreen(int index) const noexcept
{
    return (index >= screenFirst && index - screenFirst < screenCount) || index == screenExtra;
}

void ImageDataList::Evict(int keep) noexcept
{
    if (cachedBytes + aheadBytes <= options.cacheBytes)
    {
        return;
    }
    // The least recently shown first; the images on screen and the one just asked for never.
    std::vector<std::pair<std::uint64_t, int>> candidates;
    try
    {
        for (std::size_t k = 0; k < entries.size(); ++k)
        {
            const Entry& entry = entries[k];
            const int index = static_cast<int>(k);
            if (entry.state == EntryState::Decoded && index != keep && !OnScreen(index))
            {
                candidates.emplace_back(entry.lastUse, index);
            }
        }
    }
    catch (const std::bad_alloc&)
    {
        // Short of memory for the list of candidates: the oldest of those found so far go.
    }
    std::sort(candidates.begin(), candidates.end());
    const std::size_t target = options.cacheBytes / 100 * kEvictToPercent;
    for (const auto& [use, index] : candidates)
    {
        if (cachedBytes + aheadBytes <= target)
        {
            break;
        }
        Entry& entry = entries[static_cast<std::size_t>(index)];
        entry.image->DropPixels();
        entry.state = EntryState::Dropped;
        cachedBytes -= std::min(cachedBytes, entry.bytes);
        entry.bytes = 0;
    }
}

bool ImageDataList::HasPixels(int index) const noexcept
{
    return index >= 0 && index < static_cast<int>(entries.size()) &&
           entries[static_cast<std::size_t>(index)].state == EntryState::Decoded;
}

void ImageDataList::SetOnScreen(int first, int count, int extra) noexcept
{
    screenFirst = first;
    screenCount = std::max(0, count);
    screenExtra = extra;
    for (int index = first; index < first + screenCount && index < static_cast<int>(entries.size()); ++index)
    {
        if (index >= 0)
        {
            entries[static_cast<std::size_t>(index)].lastUse = ++useClock;
        }
    }
}

void ImageDataList::SetDecodedNotifier(std::function<void()> notify)
{
    if (channel)
    {
        const std::lock_guard lock(channel->mutex);
        channel->notify = std::move(notify);
    }
}

void ImageDataList::DecodeAround(int first, int count)
{
    if (!channel || !options.keepUnshowable || count <= 0)
    {
        return;
    }
    // Work queued for an older page is no longer wanted.
    const std::uint64_t generation = ++channel->generation;
    // Older requests hold nothing of the budget: what of them has not begun is cancelled, and what has begun is
    // counted when it arrives.
    aheadBytes = 0;
    channel->queued.clear();
    // An image a worker is decoding for an older request arrives anyway: it is not queued again.
    std::vector<int> running;
    {
        const std::lock_guard lock(channel->mutex);
        try
        {
            running = channel->running;
        }
        catch (const std::bad_alloc&)
        {
            // Queued again then: decoded twice at worst.
        }
    }
    const int end = first + 2 * count + 1;
    for (int distance = 0; distance <= count; ++distance)
    {
        for (const int index : {first + count + distance, first - 1 - distance})
        {
            if (index < 0 || (distance == count && index < first))
            {
                continue;
            }
            const int found = static_cast<int>(entries.size());
            if (index >= found)
            {
                // Not found yet: each file still to walk gives at least one image, so this one lies in the
                // (index - found)-th of them or an earlier one. The walk on the pool leaves ImageCount alone, which
                // the paging buttons go by; the images join the list when the study reaches their file.
                if (index - found < static_cast<int>(files.size()) - nextFile)
                {
                    QueueWalkAhead(nextFile + index - found, end - index, generation);
                }
                continue;
            }
            Entry& entry = entries[static_cast<std::size_t>(index)];
            if (entry.queuedFor == generation ||
                (entry.state != EntryState::NotDecoded && entry.state != EntryState::Dropped) ||
                std::find(running.begin(), running.end(), index) != running.end())
            {
                continue;
            }
            FileSlot& slot = files[static_cast<std::size_t>(entry.file)];
            if (!EnsureMapped(slot) || !slot.occurrences[static_cast<std::size_t>(entry.occurrence)].decodable)
            {
                // Left for the decode on demand, which tells why the image cannot be shown.
                continue;
            }
            auto job = std::make_shared<Channel::Job>();
            job->channel = channel;
            job->description = FrameDescription(entry, job->joined);
            job->region = slot.file->DataBytes();
            job->generation = generation;
            job->result.index = index;
            job->result.file = entry.file;
            job->inset = frameInset;
            job->buildImage = entry.image == nullptr;
            job->result.reserved = ExpectedPixelBytes(job->description);
            job->result.generation = generation;
            aheadBytes += job->result.reserved;
            {
                const std::lock_guard lock(channel->mutex);
                ++channel->outstanding;
            }
            try
            {
                channel->queued.push_back(job);
            }
            catch (const std::bad_alloc&)
            {
                // Not shared with the owner: an image asked for meanwhile may be decoded twice.
            }
            // Refused by the pool, the job still answers (cancelled) when it is let go here.
            options.pool->Submit([job] { job->Run(); });
            entry.queuedFor = generation;
            ++slot.jobsInFlight;
        }
    }
    // Room for what was queued is made now, not when it arrives: until the owner collects them, the frames decoded
    // ahead are held outside the cache (two 6 x 6 pages of CT: some 150 MB on top of a full budget).
    Evict(-1);
}

void ImageDataList::QueueWalkAhead(int file, int wanted, std::uint64_t generation)
{
    FileSlot& slot = files[static_cast<std::size_t>(file)];
    if (slot.walkAhead)
    {
        // Renewed before its state is read: a walk that has not begun either sees the renewal or has withdrawn.
        slot.walkAhead->generation.store(generation);
        if (slot.walkAhead->state.load() != WalkAhead::Withdrawn)
        {
            return;
        }
    }
    auto walk = std::make_shared<WalkAhead>();
    walk->file = slot.file.get();
    walk->keepUnshowable = options.keepUnshowable;
    walk->inset = frameInset;
    walk->wanted = wanted;
    walk->generation.store(generation);
    auto task = std::make_shared<Channel::WalkTask>();
    task->channel = channel;
    task->walk = walk;
    {
        const std::lock_guard lock(channel->mutex);
        ++channel->outstanding;
    }
    walksAhead.push_back(walk);
    slot.walkAhead = std::move(walk);
    // Refused by the pool, the walk stays queued and the owner takes the file back when it needs it.
    options.pool->Submit([task] { task->walk->Run(*task->channel); });
}

std::vector<int> ImageDataList::CollectDecoded()
{
    std::vector<int> arrived;
    if (!channel)
    {
        return arrived;
    }
    std::vector<Channel::Result> results;
    {
        const std::lock_guard lock(channel->mutex);
        results.swap(channel->results);
    }
    for (Channel::Result& result : results)
    {
        Entry& entry = entries[static_cast<std::size_t>(result.index)];
        FileSlot& slot = files[static_cast<std::size_t>(result.file)];
        --slot.jobsInFlight;
        if (result.generation == channel->generation.load())
        {
            aheadBytes -= std::min(aheadBytes, result.reserved);
        }
        if (result.cancelled || entry.state == EntryState::Decoded || entry.state == EntryState::Unshowable)
        {
            continue;
        }
        if (result.faulted)
        {
            if (!slot.failed)
            {
                FileFailed(result.file);
            }
            continue;
        }
        // A frame found damaged or unsupported is settled with its reason: decoding it again on demand would
        // cost the owner's thread what it cost the pool (a damaged stream may take a library seconds). Any other
        // failure (memory) is left to the decode on demand, which tells why the image cannot be shown.
        if (!result.frame)
        {
            if (result.outcome.failure == FrameFailure::Damaged || result.outcome.failure == FrameFailure::Unsupported)
            {
                Settle(result.index, nullptr, {}, false, nullptr, result.outcome);
            }
            continue;
        }
        // Wanted soon: an image decoded ahead is not the first the cache lets go of (the images of a page arrive
        // one by one, and each arrival may make room).
        entry.lastUse = ++useClock;
        if (Settle(result.index, std::move(result.frame), {}, false, std::move(result.image)))
        {
            arrived.push_back(result.index);
        }
    }
    // Frames decoded by walks ahead wait outside the list for their file's turn: they count against the budget
    // (a page of them is tens of megabytes), so the cache makes room for them as for any other decode.
    std::erase_if(walksAhead, [this](const std::shared_ptr<WalkAhead>& walk) {
        if (!walk->settled && walk->state.load() == WalkAhead::Done)
        {
            for (std::size_t k = 0; k < walk->frames.size(); ++k)
            {
                const auto& frame = walk->frames[k];
                if (k < walk->images.size() && walk->images[k])
                {
                    walk->countedBytes += walk->images[k]->PixelBytes();
                }
                else if (frame)
                {
                    walk->countedBytes +=
                        frame->valueCount * sizeof(std::int32_t) +
                        (frame->colour.IsNull()
                             ? 0
                             : frame->colour.Stride() * static_cast<std::size_t>(frame->colour.Height())) +
                        sizeof(DecodedFrame);
                }
            }
            cachedBytes += walk->countedBytes;
            walk->settled = true;
        }
        return walk->settled || walk->state.load() == WalkAhead::Withdrawn;
    });
    Evict(-1);
    LetGoOfMappings(nullptr);
    return arrived;
}

void ImageDataList::ReportUnreadable()
{
    // One unreadable file costs its own images, not the study: the study's first is reported, the others are
    // skipped in silence, and the viewer goes on with every image it can read.
    if (!reportedUnreadable)
    {
        pendingErrors.push_back({{ErrorCode::ImageFileUnreadable, 0}, false});
        reportedUnreadable = true;
    }
}

std::vector<ImageDataList::PendingError> ImageDataList::TakeErrors()
{
    std::vector<PendingError> taken;
    taken.swap(pendingErrors);
    return taken;
}

} // namespace orblane
