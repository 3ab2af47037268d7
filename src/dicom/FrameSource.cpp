#include "dicom/FrameSource.h"

#include "dicom/DicomDataFileIO.h"
#include "dicom/FrameGeometry.h"
#include "dicom/PixelAttributes.h"
#include "dicom/TopLevelIndex.h"
#include "dicom/TransferSyntax.h"
#include "platform/MappedReadGuard.h"

#include <algorithm>
#include <cmath>

namespace orblane {
namespace {

constexpr std::uint16_t kGroupPixel = 0x0028;

PixelDescription FrameDescription(const FrameSource& occurrence, int frame, std::vector<std::uint8_t>& joined,
                                  bool* readFault)
{
    PixelDescription description = occurrence.description;
    description.frameNumber = frame;
    if (static_cast<std::size_t>(frame) < occurrence.frameValues.size() && IsMonochrome(description.photometric) &&
        !description.hasModalityLut)
    {
        const FrameSource::FrameValues& values = occurrence.frameValues[static_cast<std::size_t>(frame)];
        description.rescaleIntercept = values.rescaleIntercept.value_or(description.rescaleIntercept);
        description.rescaleSlope = values.rescaleSlope.value_or(description.rescaleSlope);
        SetFileWindow(description, values.windowCentre, values.windowWidth);
    }
    if (occurrence.frames)
    {
        const std::vector<ByteView>& parts = occurrence.frames->Frames()[static_cast<std::size_t>(frame)];
        if (parts.size() == 1)
        {
            description.planes[0] = parts.front();
        }
        else
        {
            // A frame split over fragments is decoded from one copy of its parts (the codecs read one buffer). The
            // copy is the first read of those pages: room is made before, so that nothing is allocated under the
            // guard, which the copy may leave by a jump.
            std::size_t bytes = 0;
            // A frame of no fragments at all joins to nothing.
            const std::uint8_t* first = parts.empty() ? nullptr : parts.front().data();
            const std::uint8_t* last = first;
            for (const ByteView part : parts)
            {
                bytes += part.size();
                first = std::min(first, part.data());
                last = std::max(last, part.data() + part.size());
            }
            joined.clear();
            joined.reserve(bytes);
            const ByteView region(first, static_cast<std::size_t>(last - first));
            const platform::MappedRead read = platform::GuardMappedRead(region, [&parts, &joined] {
                for (const ByteView part : parts)
                {
                    joined.insert(joined.end(), part.begin(), part.end());
                }
            });
            if (read == platform::MappedRead::Faulted)
            {
                if (readFault != nullptr)
                {
                    *readFault = true;
                }
                description.planes = {};
                return description;
            }
            description.planes[0] = joined;
        }
    }
    else if (occurrence.frameBytes != 0)
    {
        const ByteView all = occurrence.description.planes[0];
        // Frames of 1 bit a pixel follow each other bit by bit: frame k may start inside a byte, and then reaches
        // one byte further.
        const std::uint64_t bit =
            description.bitsAllocated == 1
                ? std::uint64_t{description.rowCount} * description.columnCount * static_cast<std::uint64_t>(frame)
                : occurrence.frameBytes * 8 * static_cast<std::uint64_t>(frame);
        const std::uint64_t offset = bit / 8;
        description.firstBit = static_cast<std::uint8_t>(bit % 8);
        const std::uint64_t length = occurrence.frameBytes + (description.firstBit != 0 ? 1 : 0);
        description.planes[0] =
            all.subspan(static_cast<std::size_t>(offset),
                        static_cast<std::size_t>(std::min<std::uint64_t>(length, all.size() - offset)));
    }
    return description;
}

} // namespace

PixelDescription ReadPixelDescription(const DicomDataFileIO& file, int occurrence)
{
    PixelDescription d = ReadPixelAttributes(TopLevelIndex(file), occurrence);
    d.transferSyntax = TransferSyntaxKindOf(d.transferSyntaxUid);
    return d;
}

PixelDescription FrameSource::Frame(int frame, std::vector<std::uint8_t>& joined, bool* readFault) const
{
    return FrameDescription(*this, frame, joined, readFault);
}

void FrameSource::ForgetFileViews() noexcept
{
    description.ForgetFileViews();
    frames.reset();
}

int ReadFrameSources(const DicomDataFileIO& file, const TopLevelIndex& index, CanDecodeSyntax canDecode,
                     bool keepUnshowable, std::vector<FrameSource>& occurrences)
{
    int added = 0;
    // Stands for a file that gives no image at all, in place of the occurrence that found nothing.
    const auto noImage = [&](FrameSource& occurrence, const char* reason) {
        if (keepUnshowable && added == 0)
        {
            occurrence.decodable = false;
            occurrence.unshownReason = reason;
            occurrence.frames.reset();
            occurrence.frameBytes = 0;
            occurrence.description.frameCount = 1;
            occurrence.syntaxName = TransferSyntaxDisplayName(occurrence.description.transferSyntaxUid);
            occurrences.push_back(std::move(occurrence));
            added = 1;
        }
    };
    constexpr const char* kCutShort = "Pixel data missing or cut short: cannot be shown";
    // Each occurrence of Rows is an image description; the file is done at the first that gives nothing.
    for (int number = 0;; ++number)
    {
        FrameSource occurrence;
        PixelDescription& description = occurrence.description;
        description = ReadPixelAttributes(index, number);
        if (description.rowCount == 0)
        {
            if (number == 0 && index.Find(0x7FE0, 0x0010, 0) != nullptr)
            {
                noImage(occurrence, "Pixel data without a readable image: cannot be shown");
            }
            break;
        }
        description.transferSyntax = TransferSyntaxKindOf(description.transferSyntaxUid);
        const bool decodable = canDecode(description.transferSyntax);
        if (keepUnshowable)
        {
            occurrence.syntaxName = TransferSyntaxDisplayName(description.transferSyntaxUid);
        }
        if (!decodable && !keepUnshowable)
        {
            // Nothing this viewer can decode: as before, no image at all.
            break;
        }
        if (!decodable)
        {
            // One image stands for all of the element's frames: it cannot be shown, and frames of a video are no
            // images of their own.
            if (index.Find(0x7FE0, 0x0010, number) == nullptr)
            {
                noImage(occurrence, kCutShort);
                break;
            }
            occurrence.decodable = false;
            description.frameCount = 1;
        }
        else if (FactsOf(description.transferSyntax).encapsulated)
        {
            const TagElement* pixelData = index.Find(0x7FE0, 0x0010, number);
            if (pixelData == nullptr || pixelData->value == nullptr)
            {
                noImage(occurrence, kCutShort);
                break;
            }
            const ByteView extendedOffsets = index.Value(0x7FE0, 0x0001, number).value_or(ByteView());
            occurrence.frames.emplace(*pixelData, file.DataBytes().data() + file.DataBytes().size(),
                                      description.frameCount, extendedOffsets);
            description.frameCount = static_cast<std::int32_t>(occurrence.frames->Frames().size());
        }
        else
        {
            // Colour data may come one Pixel Data element per component (an old form); each occurrence of Rows then
            // owns as many elements as it has samples.
            int samples = 1;
            if (const auto value = index.Value(kGroupPixel, 0x0002, 0); value && !value->empty())
            {
                samples =
                    index.Us(kGroupPixel, 0x0002, 0).value_or((*value)[0]); // a number in the data set's byte order
            }
            for (int p = 0; p < std::min(samples, 4); ++p)
            {
                if (const auto data = index.Value(0x7FE0, 0x0010, number * samples + p))
                {
                    description.planes[static_cast<std::size_t>(p)] = *data;
                }
            }
            if (!description.HasPlane(0))
            {
                noImage(occurrence, kCutShort);
                break;
            }
            if (description.frameCount <= 1 || description.HasPlane(1))
            {
                description.frameCount = 1;
            }
            else
            {
                // Frame k of native data is the k-th slice of the value, each the size of one image; a frame the
                // value does not reach is left out, and the last may be cut short like a single image's data.
                const std::uint64_t frameBits = std::uint64_t{description.rowCount} * description.columnCount *
                                                static_cast<std::uint64_t>(std::max(1, samples)) *
                                                description.bitsAllocated;
                occurrence.frameBytes = (frameBits + 7) / 8;
                if (occurrence.frameBytes == 0)
                {
                    noImage(occurrence, kCutShort);
                    break;
                }
                const std::uint64_t size = description.planes[0].size();
                const std::uint64_t present = description.bitsAllocated == 1
                                                  ? (size * 8 + frameBits - 1) / frameBits
                                                  : (size + occurrence.frameBytes - 1) / occurrence.frameBytes;
                description.frameCount = static_cast<std::int32_t>(
                    std::min<std::uint64_t>(present, static_cast<std::uint64_t>(description.frameCount)));
            }
        }
        if (description.frameCount <= 0)
        {
            noImage(occurrence, kCutShort);
            break;
        }
        if (number == 0 && description.frameCount > 1 && occurrence.decodable &&
            index.Find(0x5200, 0x9230, 0) != nullptr)
        {
            for (const FrameAttributes& frame : ReadFrameAttributes(file, index, description.frameCount))
            {
                occurrence.frameValues.push_back(
                    {frame.rescaleIntercept, frame.rescaleSlope, frame.windowCentre, frame.windowWidth});
            }
        }
        added += description.frameCount;
        occurrences.push_back(std::move(occurrence));
    }
    return added;
}

void SwapWordsToLittleEndian(ByteView value, std::size_t offset, std::size_t wordBytes,
                             std::span<std::uint8_t> out) noexcept
{
    // Byte j of a word of 2^n bytes moves to j ^ (2^n - 1): one XOR per byte, the same for every word size. Only the
    // tail can reach past the value (a last word cut short, or a frame past the value's end).
    const std::size_t flip = wordBytes == 2 || wordBytes == 4 || wordBytes == 8 ? wordBytes - 1 : 0;
    const std::size_t size = value.size();
    const std::size_t whole = size & ~flip; // the bytes of the words the value holds in full
    const std::size_t safe = offset >= whole ? 0 : std::min(out.size(), whole - offset);
    const std::uint8_t* source = value.data();
    std::size_t k = 0;
    for (; k < safe; ++k)
    {
        out[k] = source[(offset + k) ^ flip];
    }
    for (; k < out.size(); ++k)
    {
        const std::size_t j = offset <= size ? (offset + k) ^ flip : size;
        out[k] = j < size ? source[j] : 0;
    }
}

} // namespace orblane
