#include "dicom/OverlayPlanes.h"

#include "dicom/FrameGeometry.h"
#include "dicom/PixelAttributes.h"
#include "dicom/TopLevelIndex.h"
#include "dicom/TransferSyntax.h"

#include <algorithm>
#include <optional>

namespace orblane {
namespace {

// Where a plane's bits come from: whole words of `wordBits` (1 for packed Overlay Data), the overlay bit at
// `bitPosition` of each word, in the data set's byte order.
struct BitSource
{
    ByteView bytes;
    unsigned wordBits = 1;
    unsigned bitPosition = 0;
    ByteOrder order = ByteOrder::Little;
    std::uint64_t firstWord = 0;
};

// Copies `count` bits from the source, starting at its word firstWord, packed low bit first. The caller has checked
// that the source holds them.
void CopyBits(const BitSource& source, std::uint64_t count, std::vector<std::uint8_t>& out)
{
    out.assign(static_cast<std::size_t>((count + 7) / 8), 0);
    for (std::uint64_t i = 0; i < count; ++i)
    {
        const std::uint64_t word = source.firstWord + i;
        bool set = false;
        if (source.wordBits == 1)
        {
            // Packed OW: in a big-endian data set each 16-bit word's bytes are swapped (PS3.5 8.1.2 and 7.3).
            std::uint64_t byte = word / 8;
            if (source.order == ByteOrder::Big)
            {
                byte ^= 1;
            }
            set = byte < source.bytes.size() && ((source.bytes[static_cast<std::size_t>(byte)] >> (word % 8)) & 1) != 0;
        }
        else if (source.wordBits == 8)
        {
            set = ((source.bytes[static_cast<std::size_t>(word)] >> source.bitPosition) & 1) != 0;
        }
        else
        {
            const std::uint16_t value = ValueReader::Load16(source.bytes.data() + word * 2, source.order);
            set = ((value >> source.bitPosition) & 1) != 0;
        }
        if (set)
        {
            out[static_cast<std::size_t>(i / 8)] |= static_cast<std::uint8_t>(1u << (i % 8));
        }
    }
}

std::string Printable(std::optional<ByteView> value)
{
    std::string text = TrimmedText(value);
    for (char& c : text)
    {
        const auto byte = static_cast<unsigned char>(c);
        c = byte >= 0x20 && byte < 0x7F ? c : '?';
    }
    return text;
}

std::optional<std::int16_t> Ss(std::optional<ByteView> value, std::size_t offset, ByteOrder order) noexcept
{
    if (!value)
    {
        return std::nullopt;
    }
    const auto word = ValueReader(*value, order).U16(offset);
    return word ? std::optional<std::int16_t>(static_cast<std::int16_t>(*word)) : std::nullopt;
}

std::optional<OverlayPlane> ReadPlane(const TopLevelIndex& index, std::uint16_t group, const PixelDescription& image)
{
    const auto rows = index.Us(group, 0x0010, 0);
    const auto columns = index.Us(group, 0x0011, 0);
    if (!rows || !columns || *rows == 0 || *columns == 0)
    {
        return std::nullopt;
    }
    OverlayPlane plane;
    plane.group = group;
    plane.rows = *rows;
    plane.columns = *columns;
    const std::string type = TrimmedText(index.Value(group, 0x0040, 0));
    plane.type = type == "R" ? 'R' : 'G';
    const auto origin = index.Value(group, 0x0050, 0);
    plane.originRow = Ss(origin, 0, index.Order()).value_or(1);
    plane.originColumn = Ss(origin, 2, index.Order()).value_or(1);
    const auto frames = index.Value(group, 0x0015, 0);
    const auto frameOrigin = index.Us(group, 0x0051, 0);
    if (frames || frameOrigin)
    {
        plane.everyFrame = false;
        plane.frameCount = frames ? ParseIntegerString(*frames) : 1;
        plane.firstFrame = frameOrigin.value_or(1);
        if (plane.frameCount < 1 || plane.firstFrame < 1)
        {
            return std::nullopt;
        }
    }
    plane.description = Printable(index.Value(group, 0x0022, 0));
    plane.label = Printable(index.Value(group, 0x1500, 0));

    const unsigned bitsAllocated = index.Us(group, 0x0100, 0).value_or(1);
    const unsigned bitPosition = index.Us(group, 0x0102, 0).value_or(0);
    if (bitPosition > 15)
    {
        return std::nullopt;
    }
    const std::uint64_t perFrame = std::uint64_t{plane.rows} * plane.columns;
    std::uint64_t count = perFrame * static_cast<std::uint64_t>(plane.frameCount);
    BitSource source;
    source.order = index.Order();
    if (const auto data = index.Value(group, 0x3000, 0))
    {
        source.bytes = *data;
        source.wordBits = bitsAllocated == 1 ? 1 : bitsAllocated;
        source.bitPosition = source.wordBits == 1 ? 0 : bitPosition;
        if ((source.wordBits != 1 && source.wordBits != 8 && source.wordBits != 16) ||
            source.bitPosition >= source.wordBits)
        {
            return std::nullopt;
        }
        // Data longer than the plane (a pad, another writer's rounding) is read as far as the plane goes.
        if (source.bytes.size() / (source.wordBits == 1 ? 1 : source.wordBits / 8) <
            (source.wordBits == 1 ? (count + 7) / 8 : count))
        {
            return std::nullopt;
        }
    }
    else
    {
        // The retired embedded form (PS3.5 8.1.2 of 2004): the plane is bit `bitPosition` of the image's own pixel
        // words, which it shares, so its size is the image's, and the bit lies outside the stored bits.
        const auto pixels = index.Value(0x7FE0, 0x0010, 0);
        const unsigned low = image.highBit + 1u >= image.bitsStored ? image.highBit + 1u - image.bitsStored : 0u;
        if (!pixels || FactsOf(image.transferSyntax).encapsulated || bitsAllocated != image.bitsAllocated ||
            (bitsAllocated != 8 && bitsAllocated != 16) || bitPosition >= bitsAllocated ||
            (bitPosition >= low && bitPosition <= image.highBit) || plane.rows != image.rowCount ||
            plane.columns != image.columnCount)
        {
            return std::nullopt;
        }
        plane.embedded = true;
        if (plane.everyFrame && image.frameCount > 1)
        {
            // Every pixel frame carries its own high bits: the plane has as many frames as the image.
            plane.everyFrame = false;
            plane.frameCount = image.frameCount;
            count = perFrame * static_cast<std::uint64_t>(plane.frameCount);
        }
        source.bytes = *pixels;
        source.wordBits = bitsAllocated;
        source.bitPosition = bitPosition;
        // A multi-frame embedded plane is read from the pixel frames it lies over.
        source.firstWord = plane.everyFrame ? 0 : perFrame * static_cast<std::uint64_t>(plane.firstFrame - 1);
        const std::uint64_t words = source.bytes.size() / (bitsAllocated / 8);
        if (words < source.firstWord || words - source.firstWord < count)
        {
            return std::nullopt;
        }
    }
    // A plane that lies wholly beside the image draws nothing.
    const std::int64_t top = plane.originRow - 1;
    const std::int64_t left = plane.originColumn - 1;
    if (top >= image.rowCount || left >= image.columnCount || top + plane.rows <= 0 || left + plane.columns <= 0)
    {
        return std::nullopt;
    }
    CopyBits(source, count, plane.bits);
    return plane;
}

} // namespace

bool OverlayPlane::AppliesTo(std::int32_t frame) const noexcept
{
    if (everyFrame)
    {
        return frame >= 0;
    }
    const std::int64_t own = std::int64_t{frame} - (firstFrame - 1);
    return own >= 0 && own < frameCount;
}

std::vector<OverlayPlane> ReadOverlayPlanes(const TopLevelIndex& index, const PixelDescription& image)
{
    std::vector<OverlayPlane> planes;
    for (std::uint32_t group = 0x6000; group <= kLastOverlayGroup; group += 2)
    {
        if (auto plane = ReadPlane(index, static_cast<std::uint16_t>(group), image))
        {
            planes.push_back(std::move(*plane));
        }
    }
    return planes;
}

std::vector<std::uint8_t> OverlayMask(const OverlayPlane& plane, std::int32_t frame, std::uint16_t imageRows,
                                      std::uint16_t imageColumns)
{
    std::vector<std::uint8_t> mask;
    if (!plane.AppliesTo(frame) || imageRows == 0 || imageColumns == 0)
    {
        return mask;
    }
    mask.assign(std::size_t{imageRows} * imageColumns, 0);
    const std::uint64_t frameStart =
        std::uint64_t{plane.rows} * plane.columns * static_cast<std::uint64_t>(plane.OwnFrameOf(frame));
    const std::int64_t top = plane.originRow - 1;
    const std::int64_t left = plane.originColumn - 1;
    const std::int64_t firstRow = std::max<std::int64_t>(0, -top);
    const std::int64_t lastRow = std::min<std::int64_t>(plane.rows, imageRows - top);
    const std::int64_t firstColumn = std::max<std::int64_t>(0, -left);
    const std::int64_t lastColumn = std::min<std::int64_t>(plane.columns, imageColumns - left);
    for (std::int64_t r = firstRow; r < lastRow; ++r)
    {
        std::uint8_t* target = mask.data() + static_cast<std::size_t>(r + top) * imageColumns;
        for (std::int64_t c = firstColumn; c < lastColumn; ++c)
        {
            if (plane.Bit(frameStart + static_cast<std::uint64_t>(r) * plane.columns + static_cast<std::uint64_t>(c)))
            {
                target[c + left] = 1;
            }
        }
    }
    return mask;
}

} // namespace orblane
