#pragma once

#include "dicom/FrameSource.h"
#include "dicom/PixelAttributes.h"
#include "dicom/PixelDescription.h"
#include "imaging/CImageData.h"
#include "imaging/Measurement.h"
#include "imaging/StudyFiles.h"
#include "imaging/cache/ImageCache.h"
#include "platform/ErrorCode.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orblane {

class DecodeScheduler;
class DicomDataFileIO;
class ThreadPool;
class TopLevelIndex;

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
    int ImageCount() const noexcept { return static_cast<int>(cache.entries.size()); }
    int FileCount() const noexcept { return static_cast<int>(files.size()); }
    // Walks the next file that gives images; answers the number of images found (0 once every file is done).
    int LoadNextFile();
    // File k in display order (its listed IDs; nothing is opened), or null past the last.
    const DicomDataFileIO* FileAt(int k) const noexcept;
    // The first image of file k or, when it gives none, of the first file after it that does, walking the files
    // before it as needed; -1 when no file from k on gives an image.
    int FirstImageOfFile(int k);
    // The file (display order) that image `index` comes from; -1 for an image not found yet.
    int FileOfImage(int index) const noexcept
    {
        return index >= 0 && index < ImageCount() ? cache.entries[static_cast<std::size_t>(index)].file : -1;
    }
    // Nothing decodes or walks ahead on the pool for this list now: work of lower priority may have the cores.
    bool DecodesIdle() const;

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
    void SetOnScreen(int first, int count, int extra = -1) noexcept { cache.SetOnScreen(first, count, extra); }
    // Queues decodes for the page after [first, first + count), the image after that page (the one the next step
    // asks for first) and the page before it, nearest first; whatever was queued before and has not started is
    // cancelled. Files not walked yet that may hold those images are walked on the pool and their first images
    // decoded there; they join the list (and ImageCount) only when the owner reaches them, in study order. Does
    // nothing without a pool or in the dropping mode (an image that leaves the list would move the indices of
    // queued work).
    void DecodeAround(int first, int count);
    // Queues decodes of these images (found already), in this order, instead of what was queued before: the tiles
    // that each scroll a series of their own want the images beside theirs, which no one page holds.
    void DecodeImages(std::span<const int> indices);
    // Images shown outside the page [first, first + count) (tiles holding a series of their own): the cache never
    // drops their pixels either.
    void SetAlsoOnScreen(std::vector<int> indices) noexcept { cache.SetAlsoOnScreen(std::move(indices)); }
    // What image `index`'s file header says of its series, and the attributes of its frame (null where the header
    // describes none); both null for an image not found yet.
    struct ImagePlace
    {
        const ImageFacts* facts = nullptr;
        const FrameAttributes* frame = nullptr;
    };
    ImagePlace PlaceOf(int index) const noexcept;
    // Attaches the frames the pool has finished; answers the indices of the images that got their pixels.
    std::vector<int> CollectDecoded();
    // Called on a pool thread each time a decode finishes (for example to post CollectDecoded to the owner's
    // thread); set it before the first DecodeAround. It must not touch the list.
    void SetDecodedNotifier(std::function<void()> notify);

    // The values of `image` for measuring where the values it shows are not exact (a fractional rescale is held
    // as truncated integers): its frame decoded again from the file with the rescale kept apart, under the
    // mapping's guard. Empty when the image is not this list's, or its file cannot be read now. Throws
    // std::bad_alloc.
    MeasureValues MeasureValuesOf(const CImageData& image);

    // What the decoded pixels hold now, and how many images have them.
    std::size_t CachedBytes() const noexcept { return cache.Bytes(); }
    bool HasPixels(int index) const noexcept { return cache.HasPixels(index); }
    // Files mapped now (for the tests: a bounded few).
    int MappedFileCount() const noexcept { return files.MappedCount(); }

private:
    using Occurrence = FrameSource;
    using Entry = CacheEntry;
    using EntryState = CacheEntry::State;
    // The walk the pool did of this slot's file, once it is over (waiting for one that runs); false when the owner
    // is to walk the file itself.
    bool TakeBackWalk(FileSlot& slot, std::shared_ptr<WalkAhead>& walk);
    void QueueWalkAhead(int file, int wanted, std::uint64_t generation);
    void QueueDecode(int index, std::uint64_t generation, const std::vector<int>& running);
    // The description of one frame, its planes in the mapping (or in `joined` for a frame split over fragments).
    PixelDescription FrameDescription(const Entry& entry, std::vector<std::uint8_t>& joined,
                                      bool* readFault = nullptr) const;
    // Decodes an image the scheduler hands the owner while it waits, unless it has its pixels by now.
    void DecodeIfWanted(int index);
    // Decodes entry `index` now; answers false when the entry left the list (dropping mode).
    bool DecodeEntry(int index, unsigned codecThreads = 1);
    // Gives the entry its frame (or marks why it has none); answers false when it left the list.
    bool Settle(int index, std::shared_ptr<const DecodedFrame> frame, ErrorOutcome error, bool faulted,
                std::unique_ptr<CImageData> built = nullptr, FrameOutcome outcome = {});
    void MakeUnshowable(Entry& entry, std::u16string reason);
    void FileFailed(int file);
    void ReportUnreadable();

    Point frameInset;
    ImageListOptions options;
    ImageCache cache;
    StudyFiles files;
    int nextFile = 0;
    std::vector<PendingError> pendingErrors;
    bool reportedUnreadable = false;
    std::vector<std::uint8_t> joinedScratch;
    // Walks queued whose decoded frames are not counted against the cache yet.
    std::vector<std::shared_ptr<WalkAhead>> walksAhead;
    // Every decode and walk ahead (null without a pool); the only lock above platform/ is in there.
    std::unique_ptr<DecodeScheduler> scheduler;
};

} // namespace orblane
