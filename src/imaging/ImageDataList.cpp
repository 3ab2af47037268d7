#include "imaging/ImageDataList.h"

#include "dicom/DicomDataFileIO.h"
#include "imaging/StudyFiles.h"
#include "imaging/UnshownReason.h"
#include "imaging/cache/DecodeScheduler.h"
#include "imaging/cache/ImageBytes.h"
#include "imaging/cache/ImageCache.h"
#include "imaging/codecs/TransferSyntaxTable.h"
#include "platform/MappedReadGuard.h"
#include "platform/ThreadPool.h"

#include <algorithm>
#include <new>
#include <thread>

namespace orblane {
ImageDataList::ImageDataList(Point inset) noexcept : ImageDataList(inset, ImageListOptions{}) {}

ImageDataList::ImageDataList(Point inset, const ImageListOptions& chosen) noexcept : frameInset(inset), options(chosen)
{
    options.cacheBytes = ImageCacheBudget(options.cacheBytes);
    cache.SetBudget(options.cacheBytes);
    if (options.pool != nullptr)
    {
        try
        {
            scheduler = std::make_unique<DecodeScheduler>(*options.pool);
        }
        catch (const std::bad_alloc&)
        {
            options.pool = nullptr;
        }
    }
}

ImageDataList::~ImageDataList()
{
    // Before the files go: queued work is cancelled, and the decodes and walks that run read them.
    scheduler.reset();
}

void ImageDataList::AddFile(std::unique_ptr<DicomDataFileIO> file)
{
    files.Add(std::move(file), nextFile);
}

CImageData* ImageDataList::GetImage(int index)
{
    if (index < 0)
    {
        return nullptr;
    }
    if (scheduler)
    {
        CollectDecoded();
    }
    for (;;)
    {
        if (!FindImage(index))
        {
            return nullptr;
        }
        Entry& entry = cache.entries[static_cast<std::size_t>(index)];
        entry.lastUse = cache.Tick();
        if (entry.state == EntryState::Decoded || entry.state == EntryState::Unshowable)
        {
            return entry.image.get();
        }
        if (scheduler && scheduler->TakeOrWait(index, [this](int other) { DecodeIfWanted(other); }))
        {
            CollectDecoded();
            if (cache.entries[static_cast<std::size_t>(index)].state == EntryState::Decoded)
            {
                return cache.entries[static_cast<std::size_t>(index)].image.get();
            }
        }
        // A frame the owner waits for while the pool is idle (the first image of a radiograph) may have every core.
        const bool idle = !scheduler || scheduler->Idle();
        if (DecodeEntry(index, idle ? std::max(1u, std::thread::hardware_concurrency()) : 1))
        {
            return cache.entries[static_cast<std::size_t>(index)].image.get();
        }
        // The image left the list: the next one has taken its index.
    }
}

bool ImageDataList::FindImage(int index)
{
    while (static_cast<int>(cache.entries.size()) <= index && nextFile < static_cast<int>(files.size()))
    {
        LoadNextFile();
    }
    return index >= 0 && index < static_cast<int>(cache.entries.size());
}

void ImageDataList::DecodeIfWanted(int index)
{
    const Entry& other = cache.entries[static_cast<std::size_t>(index)];
    if (other.state == EntryState::NotDecoded || other.state == EntryState::Dropped)
    {
        DecodeEntry(index);
    }
}

bool ImageDataList::TakeBackWalk(FileSlot& slot, std::shared_ptr<WalkAhead>& walk)
{
    walk = std::move(slot.walkAhead);
    if (!walk)
    {
        return false;
    }
    return scheduler->TakeBackWalk(*walk, [this](int other) { DecodeIfWanted(other); }) &&
           walk->outcome != WalkOutcome::NotWalked;
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
            cache.Uncount(walk->countedBytes);
            walk->countedBytes = 0;
            walk->settled = true;
        }
        if (taken)
        {
            outcome = slot.TakeAnswers(*walk);
        }
        else
        {
            walk.reset();
            outcome = WalkFile(*slot.file, options.keepUnshowable, slot.occurrences, slot.texts, &slot.facts);
            slot.mapped = outcome == WalkOutcome::Walked;
        }
        files.Touch(slot);
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
        const std::size_t before = cache.entries.size();
        if (!cache.AddFrames(fileNumber, slot.occurrences))
        {
            // More frames than memory for their entries (a file claiming millions of tiny frames): "11000", and
            // the study goes on with the frames that found room.
            pendingErrors.push_back({{ErrorCode::OutOfMemory, 0}, false});
        }
        added = static_cast<int>(cache.entries.size() - before);
        if (walk)
        {
            const std::size_t ready = std::min(walk->frames.size(), cache.entries.size() - before);
            for (std::size_t k = 0; k < ready; ++k)
            {
                if (walk->frames[k])
                {
                    const int index = static_cast<int>(before + k);
                    // Wanted soon: not the first the cache lets go of.
                    cache.entries[before + k].lastUse = cache.Tick();
                    Settle(index, std::move(walk->frames[k]), {}, false,
                           k < walk->images.size() ? std::move(walk->images[k]) : nullptr);
                }
            }
        }
        files.LetGoOfMappings(&slot);
        if (added == 0)
        {
            continue;
        }
        return added;
    }
    return 0;
}

const DicomDataFileIO* ImageDataList::FileAt(int k) const noexcept
{
    return k >= 0 && static_cast<std::size_t>(k) < files.size() ? files[static_cast<std::size_t>(k)].file.get()
                                                                : nullptr;
}

int ImageDataList::FirstImageOfFile(int k)
{
    if (k < 0)
    {
        return -1;
    }
    // Entries are added file by file in display order, so the first entry of a file at or after k is the answer.
    for (;;)
    {
        const auto found = std::lower_bound(cache.entries.begin(), cache.entries.end(), k,
                                            [](const Entry& entry, int file) { return entry.file < file; });
        if (found != cache.entries.end())
        {
            return static_cast<int>(found - cache.entries.begin());
        }
        if (LoadNextFile() == 0)
        {
            return -1;
        }
    }
}

bool ImageDataList::DecodesIdle() const
{
    return !scheduler || scheduler->Idle();
}

PixelDescription ImageDataList::FrameDescription(const Entry& entry, std::vector<std::uint8_t>& joined,
                                                 bool* readFault) const
{
    return files[static_cast<std::size_t>(entry.file)].occurrences[static_cast<std::size_t>(entry.occurrence)].Frame(
        entry.frame, joined, readFault);
}

bool ImageDataList::DecodeEntry(int index, unsigned codecThreads)
{
    Entry& entry = cache.entries[static_cast<std::size_t>(index)];
    FileSlot& slot = files[static_cast<std::size_t>(entry.file)];
    if (!files.EnsureMapped(slot, options.keepUnshowable))
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
    bool joinFaulted = false;
    const PixelDescription description = FrameDescription(entry, joinedScratch, &joinFaulted);
    // The decoder reads the mapping in place: a medium that fails now costs this file, as during the walk.
    DecodedImage decoded;
    if (!joinFaulted)
    {
        decoded = DecodeGuarded(description, slot.file->DataBytes(), frameInset, false, codecThreads);
    }
    if (joinFaulted || decoded.Faulted())
    {
        FileFailed(entry.file);
        return options.keepUnshowable;
    }
    return Settle(index, std::move(decoded.frame), decoded.error, false, nullptr, decoded.outcome);
}

bool ImageDataList::Settle(int index, std::shared_ptr<const DecodedFrame> frame, ErrorOutcome error, bool faulted,
                           std::unique_ptr<CImageData> built, FrameOutcome outcome)
{
    Entry& entry = cache.entries[static_cast<std::size_t>(index)];
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
                if (static_cast<std::size_t>(entry.occurrence) < slot.occurrences.size())
                {
                    entry.image->SetMarking(slot.occurrences[static_cast<std::size_t>(entry.occurrence)].marking);
                }
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
            cache.Account(entry);
            cache.Evict(index);
            return true;
        }
    }
    if (!options.keepUnshowable && entry.image == nullptr)
    {
        // As if the file never had this image: the ones after it move up.
        cache.entries.erase(cache.entries.begin() + index);
        return false;
    }
    MakeUnshowable(entry, UnshownReason(slot.occurrences, entry.occurrence, faulted || slot.failed, error, outcome));
    return true;
}

void ImageDataList::MakeUnshowable(Entry& entry, std::u16string reason)
{
    entry.state = EntryState::Unshowable;
    cache.Forget(entry);
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
    for (std::size_t k = cache.entries.size(); k-- > 0;)
    {
        Entry& entry = cache.entries[k];
        if (entry.file != file || entry.state == EntryState::Decoded || entry.state == EntryState::Unshowable)
        {
            continue;
        }
        if (!options.keepUnshowable && entry.image == nullptr)
        {
            cache.entries.erase(cache.entries.begin() + static_cast<std::ptrdiff_t>(k));
            continue;
        }
        MakeUnshowable(entry, u"File cannot be read: cannot be shown");
    }
    if (slot.jobsInFlight == 0)
    {
        StudyFiles::Unmap(slot);
    }
}

MeasureValues ImageDataList::MeasureValuesOf(const CImageData& image)
{
    const auto found = std::find_if(cache.entries.begin(), cache.entries.end(),
                                    [&image](const Entry& entry) { return entry.image.get() == &image; });
    if (found == cache.entries.end())
    {
        return {};
    }
    FileSlot& slot = files[static_cast<std::size_t>(found->file)];
    if (!files.EnsureMapped(slot, options.keepUnshowable) ||
        !slot.occurrences[static_cast<std::size_t>(found->occurrence)].decodable)
    {
        return {};
    }
    bool joinFaulted = false;
    const PixelDescription description = FrameDescription(*found, joinedScratch, &joinFaulted);
    if (joinFaulted)
    {
        return {};
    }
    MeasureValues values;
    const platform::MappedRead read = platform::GuardMappedRead(
        slot.file->DataBytes(), [&values, &description] { values = DecodeMeasureValues(description); });
    files.LetGoOfMappings(nullptr);
    if (read == platform::MappedRead::Faulted)
    {
        return {};
    }
    return values;
}

void ImageDataList::SetDecodedNotifier(std::function<void()> notify)
{
    if (scheduler)
    {
        scheduler->SetNotifier(std::move(notify));
    }
}

void ImageDataList::DecodeAround(int first, int count)
{
    if (!scheduler || !options.keepUnshowable || count <= 0)
    {
        return;
    }
    // Work queued for an older page is no longer wanted.
    const std::uint64_t generation = scheduler->NewRequest();
    // Older requests hold nothing of the budget: what of them has not begun is cancelled, and what has begun is
    // counted when it arrives.
    cache.ClearReserved();
    // An image a worker is decoding for an older request arrives anyway: it is not queued again.
    const std::vector<int> running = scheduler->Running();
    const int end = first + 2 * count + 1;
    for (int distance = 0; distance <= count; ++distance)
    {
        for (const int index : {first + count + distance, first - 1 - distance})
        {
            if (index < 0 || (distance == count && index < first))
            {
                continue;
            }
            const int found = static_cast<int>(cache.entries.size());
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
            QueueDecode(index, generation, running);
        }
    }
    // Room for what was queued is made now, not when it arrives: until the owner collects them, the frames decoded
    // ahead are held outside the cache (two 6 x 6 pages of CT: some 150 MB on top of a full budget).
    cache.Evict(-1);
}

void ImageDataList::QueueDecode(int index, std::uint64_t generation, const std::vector<int>& running)
{
    Entry& entry = cache.entries[static_cast<std::size_t>(index)];
    if (entry.queuedFor == generation ||
        (entry.state != EntryState::NotDecoded && entry.state != EntryState::Dropped) ||
        std::find(running.begin(), running.end(), index) != running.end())
    {
        return;
    }
    FileSlot& slot = files[static_cast<std::size_t>(entry.file)];
    if (!files.EnsureMapped(slot, options.keepUnshowable) ||
        !slot.occurrences[static_cast<std::size_t>(entry.occurrence)].decodable)
    {
        // Left for the decode on demand, which tells why the image cannot be shown.
        return;
    }
    DecodeScheduler::Request request;
    request.index = index;
    request.file = entry.file;
    bool joinFaulted = false;
    request.description = FrameDescription(entry, request.joined, &joinFaulted);
    if (joinFaulted)
    {
        // The owner meets the fault when it decodes the image on demand, and tells.
        return;
    }
    request.region = slot.file->DataBytes();
    request.inset = frameInset;
    request.buildImage = entry.image == nullptr;
    request.reserved = ExpectedImageBytes(request.description);
    cache.Reserve(request.reserved);
    scheduler->Queue(std::move(request));
    entry.queuedFor = generation;
    ++slot.jobsInFlight;
}

void ImageDataList::DecodeImages(std::span<const int> indices)
{
    if (!scheduler || !options.keepUnshowable || indices.empty())
    {
        return;
    }
    const std::uint64_t generation = scheduler->NewRequest();
    cache.ClearReserved();
    const std::vector<int> running = scheduler->Running();
    for (const int index : indices)
    {
        if (index >= 0 && index < static_cast<int>(cache.entries.size()))
        {
            QueueDecode(index, generation, running);
        }
    }
    cache.Evict(-1);
}

ImageDataList::ImagePlace ImageDataList::PlaceOf(int index) const noexcept
{
    if (index < 0 || index >= static_cast<int>(cache.entries.size()))
    {
        return {};
    }
    const Entry& entry = cache.entries[static_cast<std::size_t>(index)];
    const ImageFacts& facts = files[static_cast<std::size_t>(entry.file)].facts;
    // Only the first occurrence's frames are described by the file's geometry.
    return {&facts, entry.occurrence == 0 ? facts.Frame(entry.frame) : nullptr};
}

void ImageDataList::QueueWalkAhead(int file, int wanted, std::uint64_t generation)
{
    std::shared_ptr<WalkAhead> walk =
        files.RenewWalk(files[static_cast<std::size_t>(file)], generation, wanted, options.keepUnshowable, frameInset);
    if (!walk)
    {
        return;
    }
    walksAhead.push_back(walk);
    scheduler->QueueWalk(std::move(walk));
}

std::vector<int> ImageDataList::CollectDecoded()
{
    std::vector<int> arrived;
    if (!scheduler)
    {
        return arrived;
    }
    std::vector<DecodeScheduler::Result> results = scheduler->TakeResults();
    for (DecodeScheduler::Result& result : results)
    {
        Entry& entry = cache.entries[static_cast<std::size_t>(result.index)];
        FileSlot& slot = files[static_cast<std::size_t>(result.file)];
        --slot.jobsInFlight;
        if (result.generation == scheduler->Generation())
        {
            cache.Release(result.reserved);
        }
        if (result.cancelled || entry.state == EntryState::Decoded || entry.state == EntryState::Unshowable)
        {
            continue;
        }
        if (result.decoded.Faulted())
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
        const FrameOutcome outcome = result.decoded.outcome;
        if (!result.decoded.frame)
        {
            if (outcome.failure == FrameFailure::Damaged || outcome.failure == FrameFailure::Unsupported)
            {
                Settle(result.index, nullptr, {}, false, nullptr, outcome);
            }
            continue;
        }
        // Wanted soon: an image decoded ahead is not the first the cache lets go of (the images of a page arrive
        // one by one, and each arrival may make room).
        entry.lastUse = cache.Tick();
        if (Settle(result.index, std::move(result.decoded.frame), {}, false, std::move(result.decoded.image)))
        {
            arrived.push_back(result.index);
        }
    }
    // Frames decoded by walks ahead wait outside the list for their file's turn: they count against the budget
    // (a page of them is tens of megabytes), so the cache makes room for them as for any other decode.
    std::erase_if(walksAhead, [this](const std::shared_ptr<WalkAhead>& walk) {
        if (!walk->settled && walk->state.load() == WalkAhead::Done)
        {
            walk->countedBytes += walk->PixelBytes();
            cache.Count(walk->countedBytes);
            walk->settled = true;
        }
        return walk->settled || walk->state.load() == WalkAhead::Withdrawn;
    });
    cache.Evict(-1);
    files.LetGoOfMappings(nullptr);
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
