#pragma once

#include "dicom/FrameSource.h"
#include "imaging/ImageFacts.h"
#include "imaging/cache/DecodeScheduler.h"
#include "platform/Point.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orblane {

class CImageData;
class DicomDataFileIO;
struct DecodedFrame;

enum class WalkOutcome : std::uint8_t
{
    NotWalked, // the pool gave up before the walk (no memory): the owner walks the file itself
    Unreadable,
    NoImages,
    Walked,
};

// Loads and walks a file not walked before (on the owner's thread or the pool's); Walked leaves it mapped, with at
// least one occurrence. Where facts is given it gets the series and geometry the header gives.
WalkOutcome WalkFile(DicomDataFileIO& file, bool keepUnshowable, std::vector<FrameSource>& occurrences,
                     std::u16string (&texts)[2], ImageFacts* facts = nullptr);

// A file walked on the pool before the study reaches it, and the answers it leaves for the owner.
struct WalkAhead : AheadWalk
{
    DicomDataFileIO* file = nullptr;
    bool keepUnshowable = true;
    // How many of the file's first images may fall on the pages asked for: those are decoded here as well.
    int wanted = 0;
    // Written by the walk before Done, read by the owner after it.
    WalkOutcome outcome = WalkOutcome::NotWalked;
    std::vector<FrameSource> occurrences;
    std::u16string texts[2];
    ImageFacts facts;
    std::vector<std::shared_ptr<const DecodedFrame>> frames;
    // Each frame's image, display bitmap included, where it could be built: the owner's thread only attaches it.
    std::vector<std::unique_ptr<CImageData>> images;
    Point inset;
    // The owner's own: what the frames add to the cache's bytes until they join it, and whether the walk is past
    // counting (counted, or taken back).
    std::size_t countedBytes = 0;
    bool settled = false;

    bool Walk() noexcept override;
    // What the frames decoded here hold, by the cache's formula.
    std::size_t PixelBytes() const noexcept;
    void DecodeFirstImages();
};

struct FileSlot
{
    std::unique_ptr<DicomDataFileIO> file;
    std::vector<FrameSource> occurrences;
    std::u16string texts[2];
    ImageFacts facts;
    // The walk of this file on the pool, while the file has not joined the list: the pool reads the file object
    // until the walk is over, and the owner touches it only after taking the walk back.
    std::shared_ptr<WalkAhead> walkAhead;
    std::uint64_t lastUse = 0;
    int jobsInFlight = 0;
    bool mapped = false;
    bool failed = false;

    // Takes what the walk found (the file unmapped: the walk let go of its mapping); answers how it went.
    WalkOutcome TakeAnswers(WalkAhead& walk);
};

// The files of one study in display order, and which of them are mapped: only a few at a time. The owner's alone.
class StudyFiles
{
public:
    // Takes the file; files with a study label are ordered by it, highest first (A-Z compared as a-z), and keep the
    // order in which they were added among equal labels. The first `nextFile` files were walked: they keep their
    // places.
    void Add(std::unique_ptr<DicomDataFileIO> file, int nextFile);
    FileSlot& operator[](std::size_t k) noexcept { return fileSlots[k]; }
    const FileSlot& operator[](std::size_t k) const noexcept { return fileSlots[k]; }
    std::size_t size() const noexcept { return fileSlots.size(); }
    // The file is used now: the last whose mapping is let go.
    void Touch(FileSlot& slot) noexcept { slot.lastUse = ++useClock; }
    // Maps a file whose mapping was let go and walks it again; false when it cannot be read or no longer gives the
    // images it gave the first time (it changed under the viewer).
    bool EnsureMapped(FileSlot& slot, bool keepUnshowable);
    // Lets go of the least recently used mappings beyond a few: never `keep`'s, nor those a decode reads.
    void LetGoOfMappings(const FileSlot* keep) noexcept;
    // Lets go of the file's mapping and of every view into it; the attributes stay for the next walk to check.
    static void Unmap(FileSlot& slot) noexcept;
    int MappedCount() const noexcept;
    // A new walk ahead of the slot's file for request `generation`, or null where one is queued or runs already:
    // that one is renewed for the request.
    static std::shared_ptr<WalkAhead> RenewWalk(FileSlot& slot, std::uint64_t generation, int wanted,
                                                bool keepUnshowable, Point inset);

private:
    std::vector<FileSlot> fileSlots;
    std::uint64_t useClock = 0;
};

} // namespace orblane
