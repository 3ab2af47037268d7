#pragma once

#include "dicom/FrameSource.h"
#include "dicom/PixelAttributes.h"
#include "dicom/PixelDescription.h"
#include "imaging/CImageData.h"
#include "platform/ErrorCode.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orblane {

class DecodeScheduler;
class DicomDataFileIO;
class ThreadPool;
class TopLevelIndex;

// What the decoded pixels of one list may hold, when nothing else is said: 512 MB, or a quarter of the physical
// memory where that is less.
std::size_t DefaultImageCacheBytes() noexcept;
// The budget a list keeps to: DefaultImageCacheBytes() for 0, else the chosen bytes, but never more than half the
// memory the process may use (the machine's, or its control group's limit): a budget of a terabyte, which the
// settings file allows, would let paging a long study take all of it, and the kernel would end the viewer.
std::size_t ImageCacheBudget(std::size_t chosen) noexcept;

// How a list keeps its images.
struct ImageListOptions
{
    // Decoded pixels (values, colour pixels, display bitmaps) beyond this many bytes are dropped, least recently
    // shown first; never those of the images on screen. 0: DefaultImageCacheBytes().
    std::size_t cacheBytes = 0;
    // true (the viewer): an image whose pixels cannot be decoded keeps its place in the study and shows why.
    // false (the command-line tool, the tests): such an image leaves the list when its decode fails, as if the file
    // never had it, and the images after it move up.
    bool keepUnshowable = false;
    // Where decoding ahead runs; null: nothing is decoded ahead.
    ThreadPool* pool = nullptr;
};

// The images of one viewer: it owns the study's files in display order. A file is walked (not decoded) the first
// time an image beyond those already found is asked for, and each image is decoded the first time it is asked for.
// Only a few files stay mapped at a time; a file whose mapping was let go is mapped and walked again when one of its
// images is decoded again. Every method is for the thread that owns the list (the user-interface thread); decoding
// ahead runs on the pool and its frames are attached by CollectDecoded, on the owner's thread.
class ImageDataList
{
public:
    explicit ImageDataList(Point inset = {1, 1}) noexcept;
    ImageDataList(Point inset, const ImageListOptions& options) noexcept;
    ImageDataList(const ImageDataList&) = delete;
    ImageDataList& operator=(const ImageDataList&) = delete;
    // Cancels what is queued for the pool and waits for the decodes that already run.
    ~ImageDataList();

    // Takes the file; files with a study label are ordered by it, highest first (A-Z compared as a-z), and keep the
    // order in which they were added among equal labels.
    void AddFile(std::unique_ptr<DicomDataFileIO> file);
    // Image `index`, walking further files and decoding it as needed; null when the study has no such image.
    CImageData* GetImage(int index);
    // Walks further files until image `index` is found, without decoding it; answers whether the study has it.
    bool FindImage(int index);
    // The images found so far (walked files); images whose decode failed are counted until it fails.
    int ImageCount() const noexcept { return static_cast<int>(entries.size()); }
    int FileCount() const noexcept { return static_cast<int>(files.size()); }
    // Walks the next file that gives images; answers the number of images found (0 once every file is done).
    int LoadNextFile();

    // A failure met while building images, for the window that shows it: the code and whether the program ends.
    struct PendingError
    {
        ErrorOutcome error;
        bool fatal;
    };
    // The failures met since the last call, in the order they happened. The list never shows them itself: only the
    // user-interface thread raises dialogs.
    std::vector<PendingError> TakeErrors();

    // The images on screen [first, first + count), and one more shown elsewhere (a tile playing cine), or -1: the
    // cache never drops their pixels.
    void SetOnScreen(int first, int count, int extra = -1) noexcept;
    // Queues decodes for the page after [first, first + count), the image after that page (the one the next step
    // asks for first) and the page before it, nearest first; whatever was queued before and has not started is
    // cancelled. Files not walked yet that may hold those images are walked on the pool and their first images
    // decoded there; they join the list (and ImageCount) only when the owner reaches them, in study order. Does
    // nothing without a pool or in the dropping mode (an image that leaves the list would move the indices of
    // queued work).
    void DecodeAround(int first, int count);
    // Attaches the frames the pool has finished; answers the indices of the images that got their pixels.
    std::vector<int> CollectDecoded();
    // Called on a pool thread each time a decode finishes (for example to post CollectDecoded to the owner's
    // thread); set it before the first DecodeAround. It must not touch the list.
    void SetDecodedNotifier(std::function<void()> notify);

    // What the decoded pixels hold now, and how many images have them.
    std::size_t CachedBytes() const noexcept { return cachedBytes; }
    bool HasPixels(int index) const noexcept;
    // Files mapped now (for the tests: a bounded few).
    int MappedFileCount() const noexcept;

private:
    struct WalkAhead;
    using Occurrence = FrameSource;
    struct FileSlot
    {
        std::unique_ptr<DicomDataFileIO> file;
        std::vector<Occurrence> occurrences;
        std::u16string texts[2];
        // The walk of this file on the pool, while the file has not joined the list: the pool reads the file object
        // until the walk is over, and the owner touches it only after taking the walk back.
        std::shared_ptr<WalkAhead> walkAhead;
        std::uint64_t lastUse = 0;
        int jobsInFlight = 0;
        bool mapped = false;
        bool failed = false;
    };
    enum class EntryState : std::uint8_t
    {
        NotDecoded,
        Decoded,
        Dropped,
        Unshowable,
    };
    struct Entry
    {
        std::unique_ptr<CImageData> image;
        std::size_t bytes = 0;
        std::uint64_t lastUse = 0;
        std::int32_t file = 0;
        std::int32_t occurrence = 0;
        std::int32_t frame = 0;
        EntryState state = EntryState::NotDecoded;
        // The request that last queued its decode: a decode queued for an older one is cancelled unless it began,
        // so the entry is queued again when a newer page wants it.
        std::uint64_t queuedFor = 0;
    };
    enum class WalkOutcome : std::uint8_t
    {
        NotWalked, // the pool gave up before the walk (no memory): the owner walks the file itself
        Unreadable,
        NoImages,
        Walked,
    };

    // Loads and walks a file not walked before (on the owner's thread or the pool's); Walked leaves it mapped, with
    // at least one occurrence.
    static WalkOutcome WalkFile(DicomDataFileIO& file, bool keepUnshowable, std::vector<Occurrence>& occurrences,
                                std::u16string (&texts)[2]);
    // The walk the pool did of this slot's file, once it is over (waiting for one that runs); false when the owner
    // is to walk the file itself.
    bool TakeBackWalk(FileSlot& slot, std::shared_ptr<WalkAhead>& walk);
    void QueueWalkAhead(int file, int wanted, std::uint64_t generation);
    bool EnsureMapped(FileSlot& slot);
    void LetGoOfMappings(const FileSlot* keep) noexcept;
    // The description of one frame, its planes in the mapping (or in `joined` for a frame split over fragments).
    PixelDescription FrameDescription(const Entry& entry, std::vector<std::uint8_t>& joined) const;
    std::u16string UnshownReasonOf(const Occurrence& occurrence, bool damaged) const;
    // Decodes an image the scheduler hands the owner while it waits, unless it has its pixels by now.
    void DecodeIfWanted(int index);
    // Decodes entry `index` now; answers false when the entry left the list (dropping mode).
    bool DecodeEntry(int index);
    // Gives the entry its frame (or marks why it has none); answers false when it left the list.
    bool Settle(int index, std::shared_ptr<const DecodedFrame> frame, ErrorOutcome error, bool faulted,
                std::unique_ptr<CImageData> built = nullptr, FrameOutcome outcome = {});
    void MakeUnshowable(Entry& entry, std::u16string reason);
    void FileFailed(int file);
    void Account(Entry& entry) noexcept;
    void Evict(int keep) noexcept;
    bool OnScreen(int index) const noexcept;
    void ReportUnreadable();

    Point frameInset;
    ImageListOptions options;
    std::vector<Entry> entries;
    std::vector<FileSlot> files;
    int nextFile = 0;
    std::vector<PendingError> pendingErrors;
    bool reportedUnreadable = false;
    std::uint64_t useClock = 0;
    std::size_t cachedBytes = 0;
    // Set aside for decodes queued on the pool and not collected yet.
    std::size_t aheadBytes = 0;
    int screenFirst = 0;
    int screenCount = 0;
    int screenExtra = -1;
    std::vector<std::uint8_t> joinedScratch;
    // Walks queued whose decoded frames are not counted against the cache yet.
    std::vector<std::shared_ptr<WalkAhead>> walksAhead;
    // Every decode and walk ahead (null without a pool); the only lock above platform/ is in there.
    std::unique_ptr<DecodeScheduler> scheduler;
};

} // namespace orblane
