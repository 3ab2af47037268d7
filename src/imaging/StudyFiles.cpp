#include "imaging/StudyFiles.h"

#include "dicom/DicomDataFileIO.h"
#include "dicom/MarkingFacts.h"
#include "dicom/TopLevelIndex.h"
#include "imaging/CImageData.h"
#include "imaging/cache/ImageBytes.h"
#include "imaging/codecs/TransferSyntaxTable.h"
#include "platform/MappedReadGuard.h"

#include <algorithm>
#include <new>
#include <optional>
#include <utility>

namespace orblane {
namespace {

// Files mapped at once: a cine reads frame after frame of one file and a page of single-frame files a few dozen; a
// mapping is cheap to keep, but every one holds a descriptor and the walk's records.
constexpr int kMappedFiles = 16;

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

WalkOutcome WalkFile(DicomDataFileIO& file, bool keepUnshowable, std::vector<FrameSource>& occurrences,
                     std::u16string (&texts)[2], ImageFacts* facts)
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
    // The viewer draws measurements and overlay planes over the images: what the header says for them is read with
    // the walk, and shared by the file's images.
    MarkingFacts marks;
    int added = 0;
    const platform::MappedRead read = platform::GuardMappedRead(file.DataBytes(), [&] {
        info = file.MakeInfoRecord();
        texts[0] = JoinLines({&info.patientName, &info.patientId, &info.birthDate, &info.sex});
        texts[1] = JoinLines({&info.institutionName, &info.studyDateTime});
        added = ReadFrameSources(file, index, &HasCodec, keepUnshowable, occurrences);
        if (facts != nullptr && added > 0)
        {
            *facts = ReadImageFacts(file, index, occurrences.front().description.frameCount);
        }
        if (keepUnshowable && added != 0)
        {
            marks = ReadMarkingFacts(file, index);
        }
    });
    if (read == platform::MappedRead::Faulted || added == 0)
    {
        occurrences.clear();
        file.Unload();
        return read == platform::MappedRead::Faulted ? WalkOutcome::Unreadable : WalkOutcome::NoImages;
    }
    if (keepUnshowable)
    {
        const auto marking = std::make_shared<const MarkingFacts>(std::move(marks));
        for (FrameSource& occurrence : occurrences)
        {
            occurrence.marking = marking;
        }
    }
    return WalkOutcome::Walked;
}

bool WalkAhead::Walk() noexcept
{
    try
    {
        outcome = WalkFile(*file, keepUnshowable, occurrences, texts, &facts);
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
    for (FrameSource& occurrence : occurrences)
    {
        occurrence.ForgetFileViews();
    }
    file->Unload();
    return !frames.empty();
}

void WalkAhead::DecodeFirstImages()
{
    std::vector<std::uint8_t> joined;
    for (const FrameSource& occurrence : occurrences)
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
                bool joinFaulted = false;
                const PixelDescription description = occurrence.Frame(frame, joined, &joinFaulted);
                if (!joinFaulted)
                {
                    decoded = DecodeGuarded(description, file->DataBytes(), inset, true);
                }
                if (joinFaulted || decoded.Faulted())
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

std::size_t WalkAhead::PixelBytes() const noexcept
{
    std::size_t bytes = 0;
    for (std::size_t k = 0; k < frames.size(); ++k)
    {
        const auto& frame = frames[k];
        if (k < images.size() && images[k])
        {
            bytes += images[k]->PixelBytes();
        }
        else if (frame)
        {
            bytes += ImageBytes(
                frame->valueCount,
                frame->colour.IsNull() ? 0 : frame->colour.Stride() * static_cast<std::size_t>(frame->colour.Height()),
                0, 0);
        }
    }
    return bytes;
}

void StudyFiles::Add(std::unique_ptr<DicomDataFileIO> file, int nextFile)
{
    if (!file)
    {
        return;
    }
    auto position = fileSlots.end();
    const std::u16string& label = file->StudyLabel();
    // Files not walked yet are kept labelled ones first, highest label first, then those without: a study's files
    // mostly arrive under one label, and then the end is their place without a search of the whole study.
    const bool afterLast = fileSlots.size() > static_cast<std::size_t>(nextFile) &&
                           !fileSlots.back().file->StudyLabel().empty() &&
                           CompareLabels(fileSlots.back().file->StudyLabel(), label) >= 0;
    if (!label.empty() && !afterLast)
    {
        position = std::find_if(fileSlots.begin() + nextFile, fileSlots.end(), [&](const FileSlot& other) {
            return other.file->StudyLabel().empty() || CompareLabels(other.file->StudyLabel(), label) < 0;
        });
    }
    FileSlot slot;
    slot.file = std::move(file);
    fileSlots.insert(position, std::move(slot));
}

bool StudyFiles::EnsureMapped(FileSlot& slot, bool keepUnshowable)
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
    std::vector<FrameSource> before;
    before.swap(slot.occurrences);
    const TopLevelIndex index(*slot.file);
    int found = 0;
    const platform::MappedRead read = platform::GuardMappedRead(slot.file->DataBytes(), [&] {
        found = ReadFrameSources(*slot.file, index, &HasCodec, keepUnshowable, slot.occurrences);
    });
    bool same = read == platform::MappedRead::Completed && slot.occurrences.size() == before.size();
    for (std::size_t o = 0; same && o < before.size(); ++o)
    {
        same = slot.occurrences[o].description.frameCount == before[o].description.frameCount &&
               slot.occurrences[o].decodable == before[o].decodable;
        slot.occurrences[o].marking = before[o].marking;
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

void StudyFiles::LetGoOfMappings(const FileSlot* keep) noexcept
{
    for (;;)
    {
        int mapped = 0;
        FileSlot* oldest = nullptr;
        for (FileSlot& slot : fileSlots)
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
        for (FrameSource& occurrence : oldest->occurrences)
        {
            occurrence.ForgetFileViews();
        }
        oldest->file->Unload();
        oldest->mapped = false;
    }
}

void StudyFiles::Unmap(FileSlot& slot) noexcept
{
    for (FrameSource& occurrence : slot.occurrences)
    {
        occurrence.ForgetFileViews();
    }
    slot.file->Unload();
    slot.mapped = false;
}

int StudyFiles::MappedCount() const noexcept
{
    return static_cast<int>(
        std::count_if(fileSlots.begin(), fileSlots.end(), [](const FileSlot& s) { return s.mapped; }));
}

WalkOutcome FileSlot::TakeAnswers(WalkAhead& walk)
{
    occurrences = std::move(walk.occurrences);
    texts[0] = std::move(walk.texts[0]);
    texts[1] = std::move(walk.texts[1]);
    facts = std::move(walk.facts);
    // The pool let go of the mapping: an image it did not decode maps the file again when it is shown.
    mapped = false;
    return walk.outcome;
}

std::shared_ptr<WalkAhead> StudyFiles::RenewWalk(FileSlot& slot, std::uint64_t generation, int wanted,
                                                 bool keepUnshowable, Point inset)
{
    if (slot.walkAhead)
    {
        // Renewed before its state is read: a walk that has not begun either sees the renewal or has withdrawn.
        slot.walkAhead->generation.store(generation);
        if (slot.walkAhead->state.load() != WalkAhead::Withdrawn)
        {
            return nullptr;
        }
    }
    auto walk = std::make_shared<WalkAhead>();
    walk->file = slot.file.get();
    walk->keepUnshowable = keepUnshowable;
    walk->inset = inset;
    walk->wanted = wanted;
    walk->generation.store(generation);
    slot.walkAhead = walk;
    return walk;
}

} // namespace orblane
