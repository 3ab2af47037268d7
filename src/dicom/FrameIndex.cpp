#include "dicom/FrameIndex.h"

#include "dicom/ValueReader.h"

#include <algorithm>

namespace orblane {
namespace {

// A compressed frame starts with its codec's own marker: SOI (FF D8) for the JPEG family and JPEG-LS, SOC (FF 4F)
// for a JPEG 2000 codestream, the signature box for a JP2 file. That is how frames are told apart when no table
// says where they start and the fragments outnumber the frames.
bool StartsAFrame(ByteView fragment) noexcept
{
    if (fragment.size() >= 2 && fragment[0] == 0xFF && (fragment[1] == 0xD8 || fragment[1] == 0x4F))
    {
        return true;
    }
    static constexpr std::uint8_t kJp2Signature[] = {0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50, 0x20, 0x20};
    return fragment.size() >= sizeof(kJp2Signature) &&
           std::equal(std::begin(kJp2Signature), std::end(kJp2Signature), fragment.begin());
}

} // namespace

FrameIndex::FrameIndex(const TagElement& pixelData, const std::uint8_t* end, std::int32_t frameCount,
                       ByteView extendedOffsets)
{
    if (pixelData.value == nullptr)
    {
        return;
    }
    if (pixelData.entered == 0)
    {
        frames.push_back({ByteView(pixelData.value, pixelData.length)});
        return;
    }
    // Item headers are little endian whatever the data set's byte order (PS3.5 A.4). The walk stays inside the
    // mapping and ends at the sequence delimiter: what follows the pixel data is not a fragment.
    std::vector<ByteView> items;
    std::vector<std::uint64_t> starts;
    const std::uint8_t* cursor = pixelData.value;
    const std::uint8_t* first = cursor;
    while (end != nullptr && cursor < end && static_cast<std::size_t>(end - cursor) >= 8)
    {
        const std::uint16_t group = ValueReader::Load16(cursor, ByteOrder::Little);
        const std::uint16_t element = ValueReader::Load16(cursor + 2, ByteOrder::Little);
        const std::uint32_t length = ValueReader::Load32(cursor + 4, ByteOrder::Little);
        if (group == 0xFFFE && element == 0xE0DD)
        {
            break;
        }
        const std::uint64_t start = static_cast<std::uint64_t>(cursor - first);
        cursor += 8;
        const std::size_t content = std::min<std::size_t>(length, static_cast<std::size_t>(end - cursor));
        if (group == 0xFFFE && element == 0xE000)
        {
            items.emplace_back(cursor, content);
            starts.push_back(start);
        }
        cursor += content;
    }
    if (items.empty())
    {
        return;
    }
    // The first item is the Basic Offset Table: 4-byte offsets of each frame's first fragment, counted from the
    // first byte of the item after it (PS3.5 A.4). Files that skip it and start with a fragment are read as such.
    const ByteView table = items.front();
    const bool firstIsTable = table.empty() || (table.size() % 4 == 0 && ValueReader(table).U32(0) == 0u);
    std::vector<ByteView> fragments(items.begin() + (firstIsTable ? 1 : 0), items.end());
    std::vector<std::uint64_t> fragmentStarts(starts.begin() + (firstIsTable ? 1 : 0), starts.end());
    const std::uint64_t base = firstIsTable && starts.size() > 1 ? starts[1] : 0;
    for (std::uint64_t& s : fragmentStarts)
    {
        s -= base;
    }
    const auto wanted = static_cast<std::size_t>(std::max(1, frameCount));

    std::vector<std::uint64_t> offsets;
    if (extendedOffsets.size() >= 8 && extendedOffsets.size() % 8 == 0)
    {
        const ValueReader reader(extendedOffsets);
        for (std::size_t k = 0; k + 8 <= extendedOffsets.size(); k += 8)
        {
            offsets.push_back(*reader.U64(k));
        }
    }
    else if (firstIsTable && !table.empty())
    {
        const ValueReader reader(table);
        for (std::size_t k = 0; k + 4 <= table.size(); k += 4)
        {
            offsets.push_back(*reader.U32(k));
        }
    }
    if (fragments.size() > 1 && wanted > 1 && offsets.size() == wanted &&
        std::is_sorted(offsets.begin(), offsets.end()))
    {
        GroupByOffsets(offsets, fragmentStarts, fragments);
        // Offsets that name no fragment's start leave the table untrusted: the rules below decide instead.
        if (frames.size() == wanted)
        {
            return;
        }
        frames.clear();
    }
    if (fragments.size() == wanted)
    {
        for (const ByteView fragment : fragments)
        {
            frames.push_back({fragment});
        }
        return;
    }
    // No usable table and the counts disagree: a fragment that starts a stream starts a frame, the others continue
    // the frame before them. Without any such marker (RLE), the fragments are one frame, or a frame each.
    if (std::none_of(fragments.begin(), fragments.end(), StartsAFrame))
    {
        if (wanted == 1)
        {
            frames.push_back(fragments);
        }
        else
        {
            for (const ByteView fragment : fragments)
            {
                frames.push_back({fragment});
            }
        }
        return;
    }
    for (const ByteView fragment : fragments)
    {
        if (frames.empty() || StartsAFrame(fragment))
        {
            frames.emplace_back();
        }
        frames.back().push_back(fragment);
    }
}

void FrameIndex::GroupByOffsets(const std::vector<std::uint64_t>& offsets, const std::vector<std::uint64_t>& starts,
                                const std::vector<ByteView>& fragments)
{
    frames.clear();
    // Each frame is the fragments from its offset up to the next frame's.
    std::size_t item = 0;
    for (std::size_t f = 0; f < offsets.size(); ++f)
    {
        const std::uint64_t next = f + 1 < offsets.size() ? offsets[f + 1] : UINT64_MAX;
        if (item >= starts.size() || starts[item] != offsets[f])
        {
            frames.clear();
            return;
        }
        std::vector<ByteView> parts;
        while (item < starts.size() && starts[item] < next)
        {
            parts.push_back(fragments[item]);
            ++item;
        }
        frames.push_back(std::move(parts));
    }
}

} // namespace orblane
