#include "imaging/ImageDataList.h"

#include "dicom/DicomDataFileIO.h"
#include "dicom/TopLevelIndex.h"
#include "imaging/cache/DecodeScheduler.h"
#include "imaging/cache/ImageBytes.h"
#include "imaging/codecs/TransferSyntaxTable.h"
#include "platform/MappedReadGuard.h"
#include "platform/MemoryLimit.h"
#include "platform/ThreadPool.h"

#include <algorithm>
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

// A file walked on the pool before the study reaches it, and the answers it leaves for the owner.
struct ImageDataList::WalkAhead : AheadWalk
{
    DicomDataFileIO* file = nullptr;
    bool keepUnshowable = true;
    // How many of the file's first images may fall on the pages asked for: those are decoded here as well.
    int wanted = 0;
    // Written by the walk before Done, read by the owner after it.
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

    bool Walk() noexcept override
    {
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
        return !frames.empty();
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
                // A frame that failed is left to the decode on demand, which tells why it cannot be shown.
                DecodedImage decoded;
                if (occurrence.decodable)
                {
                    decoded = DecodeGuarded(occurrence.Frame(frame, joined), file->DataBytes(), inset, true);
                    if (decoded.Faulted())
                    {
                        // The owner meets the fault again when it decodes the image, and tells.
                        return;
                    }
                }
                frames.push_back(std::move(decoded.frame));
                images.push_back(std::move(decoded.image));
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
        Entry& entry = entries[static_cast<std::size_t>(index)];
        entry.lastUse = ++useClock;
        if (entry.state == EntryState::Decoded || entry.state == EntryState::Unshowable)
        {
            return entry.image.get();
        }
        if (scheduler && scheduler->TakeOrWait(index, [this](int other) { DecodeIfWanted(other); }))
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

void ImageDataList::DecodeIfWanted(int index)
{
    const Entry& other = entries[static_cast<std::size_t>(index)];
    if (other.state == EntryState::NotDecoded || other.state == EntryState::Dropped)
    {
        DecodeEntry(index);
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
    // The decoder reads the mapping in place: a medium that fails now costs this file, as during the walk.
    DecodedImage decoded = DecodeGuarded(description, slot.file->DataBytes(), frameInset, false);
    if (decoded.Faulted())
    {
        FileFailed(entry.file);
        return options.keepUnshowable;
    }
    return Settle(index, std::move(decoded.frame), decoded.error, false, nullptr, decoded.outcome);
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
    aheadBytes = 0;
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
            DecodeScheduler::Request request;
            request.index = index;
            request.file = entry.file;
            request.description = FrameDescription(entry, request.joined);
            request.region = slot.file->DataBytes();
            request.inset = frameInset;
            request.buildImage = entry.image == nullptr;
            request.reserved = ExpectedImageBytes(request.description);
            aheadBytes += request.reserved;
            scheduler->Queue(std::move(request));
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
    walksAhead.push_back(walk);
    slot.walkAhead = walk;
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
        Entry& entry = entries[static_cast<std::size_t>(result.index)];
        FileSlot& slot = files[static_cast<std::size_t>(result.file)];
        --slot.jobsInFlight;
        if (result.generation == scheduler->Generation())
        {
            aheadBytes -= std::min(aheadBytes, result.reserved);
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
        entry.lastUse = ++useClock;
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
                        ImageBytes(frame->valueCount,
                                   frame->colour.IsNull()
                                       ? 0
                                       : frame->colour.Stride() * static_cast<std::size_t>(frame->colour.Height()),
                                   0, 0);
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
