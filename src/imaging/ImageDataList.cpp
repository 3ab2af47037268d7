#include "imaging/ImageDataList.h"

#include "dicom/DicomDataFileIO.h"
#include "dicom/FrameIndex.h"
#include "dicom/PixelAttributes.h"
#include "dicom/TopLevelIndex.h"
#include "imaging/codecs/TransferSyntaxTable.h"
#include "platform/MappedReadGuard.h"

#include <algorithm>

namespace orblane {
namespace {

constexpr std::uint16_t kGroupPixel = 0x0028;

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

// The transfer syntax of a description read from a file: from its UID through the one table.
void ResolveTransferSyntax(PixelDescription& d) noexcept
{
    const TransferSyntaxEntry* entry = d.transferSyntaxUid.empty() ? nullptr : FindTransferSyntax(d.transferSyntaxUid);
    d.transferSyntax = entry != nullptr ? entry->kind
                                        : (d.transferSyntaxUid.empty() ? TransferSyntaxKind::ImplicitLittle
                                                                       : TransferSyntaxKind::UnknownSyntax);
}

} // namespace

PixelDescription ReadPixelDescription(const DicomDataFileIO& file, int occurrence)
{
    PixelDescription d = ReadPixelAttributes(TopLevelIndex(file), occurrence);
    ResolveTransferSyntax(d);
    return d;
}

ImageDataList::~ImageDataList() = default;

void ImageDataList::AddFile(std::unique_ptr<DicomDataFileIO> file)
{
    if (!file)
    {
        return;
    }
    auto position = fileArray.end();
    const std::u16string& label = file->StudyLabel();
    if (!label.empty())
    {
        position = std::find_if(fileArray.begin() + nextFile, fileArray.end(), [&](const auto& other) {
            return other == nullptr || other->StudyLabel().empty() || CompareLabels(other->StudyLabel(), label) < 0;
        });
    }
    fileArray.insert(position, std::move(file));
}

CImageData* ImageDataList::GetImage(int index)
{
    if (index < 0)
    {
        return nullptr;
    }
    while (static_cast<int>(imageArray.size()) <= index && nextFile < static_cast<int>(fileArray.size()))
    {
        LoadNextFile();
    }
    return index < static_cast<int>(imageArray.size()) ? imageArray[static_cast<std::size_t>(index)].get() : nullptr;
}

int ImageDataList::LoadNextFile()
{
    while (nextFile < static_cast<int>(fileArray.size()))
    {
        std::unique_ptr<DicomDataFileIO> file = std::move(fileArray[static_cast<std::size_t>(nextFile)]);
        ++nextFile;
        int added = 0;
        // A file that is already loaded (the command-line tool loads by path) is not loaded again.
        if (file && file->DataSet() == nullptr && file->LoadDataSet() != 0)
        {
            ReportUnreadable();
        }
        else if (file)
        {
            const std::size_t before = imageArray.size();
            // The walk is done; building the images reads the mapping again, and a medium that fails now (a
            // scratched disc, a pulled stick) makes that file unreadable, not the program. What the guarded reads
            // fill lives outside them, so that a fault (which skips the destructors inside) leaves nothing behind
            // but what a decoder had allocated at that moment. The index reads only the walk's records.
            const TopLevelIndex index(*file);
            PatientStudyInfo info;
            const platform::MappedRead read = platform::GuardMappedRead(file->DataBytes(), [&] {
                info = file->MakeInfoRecord();
                currentTexts[0] = JoinLines({&info.patientName, &info.patientId, &info.birthDate, &info.sex});
                currentTexts[1] = JoinLines({&info.institutionName, &info.studyDateTime});
                // Each occurrence of Rows is an image description; the file is done at the first that gives nothing.
                for (int occurrence = 0;; ++occurrence)
                {
                    const int count = LoadImages(*file, index, occurrence);
                    if (count == 0)
                    {
                        break;
                    }
                    added += count;
                }
            });
            if (read == platform::MappedRead::Faulted)
            {
                // Images built before the fault may hold values read from lost pages: none of the file is shown.
                imageArray.resize(before);
                added = 0;
                ReportUnreadable();
            }
        }
        if (added > 0)
        {
            return added;
        }
    }
    return 0;
}

int ImageDataList::LoadImages(const DicomDataFileIO& file, const TopLevelIndex& index, int occurrence)
{
    PixelDescription description = ReadPixelAttributes(index, occurrence);
    if (description.rowCount == 0)
    {
        return 0;
    }
    ResolveTransferSyntax(description);
    const TransferSyntaxEntry* syntax = FindTransferSyntax(description.transferSyntax);
    if (syntax == nullptr)
    {
        return 0;
    }
    return syntax->encapsulated ? LoadEncapsulated(file, index, occurrence, description)
                                : LoadNative(index, occurrence, description);
}

int ImageDataList::LoadNative(const TopLevelIndex& index, int occurrence, PixelDescription description)
{
    // Colour data may come one Pixel Data element per component (an old form); each occurrence of Rows then owns
    // as many elements as it has samples.
    int samples = 1;
    if (const auto value = index.Value(kGroupPixel, 0x0002, 0); value && !value->empty())
    {
        samples = index.Us(kGroupPixel, 0x0002, 0).value_or((*value)[0]); // a number in the data set's byte order
    }
    for (int p = 0; p < std::min(samples, 4); ++p)
    {
        if (const auto data = index.Value(0x7FE0, 0x0010, occurrence * samples + p))
        {
            description.planes[static_cast<std::size_t>(p)] = *data;
        }
    }
    if (!description.HasPlane(0))
    {
        return 0;
    }
    if (description.frameCount <= 1 || description.HasPlane(1))
    {
        description.frameCount = 1;
        return Append(description) ? 1 : 0;
    }
    // Frame k of native data is the k-th slice of the value, each the size of one image; a frame the value does not
    // reach is left out, and the last may be cut short like a single image's data.
    const std::uint64_t frameBits = std::uint64_t{description.rowCount} * description.columnCount *
                                    static_cast<std::uint64_t>(std::max(1, samples)) * description.bitsAllocated;
    const std::uint64_t frameBytes = (frameBits + 7) / 8;
    const ByteView all = description.planes[0];
    if (frameBytes == 0)
    {
        return 0;
    }
    const std::uint64_t present = (all.size() + frameBytes - 1) / frameBytes;
    const auto count =
        static_cast<std::int32_t>(std::min<std::uint64_t>(present, static_cast<std::uint64_t>(description.frameCount)));
    description.frameCount = count;
    int added = 0;
    for (std::int32_t k = 0; k < count; ++k)
    {
        const std::uint64_t offset = frameBytes * static_cast<std::uint64_t>(k);
        description.planes[0] =
            all.subspan(static_cast<std::size_t>(offset),
                        static_cast<std::size_t>(std::min<std::uint64_t>(frameBytes, all.size() - offset)));
        description.frameNumber = k;
        added += Append(description) ? 1 : 0;
    }
    return added;
}

int ImageDataList::LoadEncapsulated(const DicomDataFileIO& file, const TopLevelIndex& index, int occurrence,
                                    PixelDescription description)
{
    const TagElement* pixelData = index.Find(0x7FE0, 0x0010, occurrence);
    if (pixelData == nullptr || pixelData->value == nullptr)
    {
        return 0;
    }
    const ByteView extendedOffsets = index.Value(0x7FE0, 0x0001, occurrence).value_or(ByteView());
    const FrameIndex frames(*pixelData, file.DataBytes().data() + file.DataBytes().size(), description.frameCount,
                            extendedOffsets);
    description.frameCount = static_cast<std::int32_t>(frames.Frames().size());
    int added = 0;
    std::vector<std::uint8_t> joined;
    for (std::size_t k = 0; k < frames.Frames().size(); ++k)
    {
        const std::vector<ByteView>& parts = frames.Frames()[k];
        if (parts.size() == 1)
        {
            description.planes[0] = parts.front();
        }
        else
        {
            // A frame split over fragments is decoded from one copy of its parts (the codecs read one buffer).
            joined.clear();
            for (const ByteView part : parts)
            {
                joined.insert(joined.end(), part.begin(), part.end());
            }
            description.planes[0] = joined;
        }
        description.frameNumber = static_cast<std::int32_t>(k);
        added += Append(description) ? 1 : 0;
    }
    return added;
}

bool ImageDataList::Append(const PixelDescription& description)
{
    ErrorOutcome error;
    std::unique_ptr<CImageData> image = CImageData::Build(description, frameInset, &error);
    if (error)
    {
        pendingErrors.push_back({error, false});
    }
    if (!image)
    {
        return false;
    }
    image->SetText(1, currentTexts[0]);
    image->SetText(2, currentTexts[1]);
    imageArray.push_back(std::move(image));
    return true;
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
