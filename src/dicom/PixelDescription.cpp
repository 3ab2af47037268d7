#include "dicom/PixelDescription.h"

#include "dicom/ValueReader.h"

#include <algorithm>
#include <cstdint>

namespace orblane {

const char* PhotometricName(PhotometricKind kind) noexcept
{
    switch (kind)
    {
    case PhotometricKind::Monochrome1:
        return "MONOCHROME1";
    case PhotometricKind::Monochrome2:
        return "MONOCHROME2";
    case PhotometricKind::Rgb:
        return "RGB";
    case PhotometricKind::YbrFull:
        return "YBR_FULL";
    case PhotometricKind::YbrFull422:
        return "YBR_FULL_422";
    case PhotometricKind::PaletteColour:
        return "PALETTE COLOR";
    case PhotometricKind::YbrRct:
        return "YBR_RCT";
    case PhotometricKind::YbrIct:
        return "YBR_ICT";
    case PhotometricKind::OtherPhotometric:
        break;
    }
    return "OTHER";
}

const char* TransferSyntaxName(TransferSyntaxKind kind) noexcept
{
    switch (kind)
    {
    case TransferSyntaxKind::ImplicitLittle:
        return "ImplicitLittle";
    case TransferSyntaxKind::ExplicitLittle:
        return "ExplicitLittle";
    case TransferSyntaxKind::JpegBaseline:
        return "JpegBaseline";
    case TransferSyntaxKind::JpegLossless:
        return "JpegLossless";
    case TransferSyntaxKind::JpegExtended:
        return "JpegExtended";
    case TransferSyntaxKind::JpegLosslessAnyPredictor:
        return "JpegLosslessAnyPredictor";
    case TransferSyntaxKind::JpegLs:
        return "JpegLs";
    case TransferSyntaxKind::JpegLsNearLossless:
        return "JpegLsNearLossless";
    case TransferSyntaxKind::Jpeg2000Lossless:
        return "Jpeg2000Lossless";
    case TransferSyntaxKind::Jpeg2000:
        return "Jpeg2000";
    case TransferSyntaxKind::Htj2kLossless:
        return "Htj2kLossless";
    case TransferSyntaxKind::Htj2kLosslessRpcl:
        return "Htj2kLosslessRpcl";
    case TransferSyntaxKind::Htj2k:
        return "Htj2k";
    case TransferSyntaxKind::Rle:
        return "Rle";
    case TransferSyntaxKind::Video:
        return "Video";
    case TransferSyntaxKind::JpegXl:
        return "JpegXl";
    case TransferSyntaxKind::ExplicitBig:
        return "ExplicitBig";
    case TransferSyntaxKind::DeflatedExplicitLittle:
        return "DeflatedExplicitLittle";
    case TransferSyntaxKind::UnknownSyntax:
        break;
    }
    return "UnknownSyntax";
}

namespace {

// Segmented LUT data (PS3.3 C.7.9.2) is 16-bit words, each segment an opcode, a length and its words: discrete (0:
// `length` entries as given), linear (1: from the entry before to the one given, in `length` steps) and indirect (2:
// `length` segments again, from the byte offset its two words give, low word first). Bounded by the descriptor's
// entry count, and an indirect segment is never followed into another, so damaged data ends short, never in a loop.
class SegmentExpander
{
public:
    SegmentExpander(const LutView& view, std::vector<std::uint16_t>& entries) noexcept
        : data(view.data), order(view.order), wanted(view.entryCount), out(entries)
    {
    }

    // Throws std::bad_alloc.
    void Run() { Walk(0, SIZE_MAX, true); }

private:
    std::uint16_t Word(std::size_t index) const noexcept { return ValueReader::Load16(data.data() + 2 * index, order); }

    void Walk(std::size_t word, std::size_t segments, bool indirectAllowed)
    {
        const std::size_t words = data.size() / 2;
        for (std::size_t segment = 0; segment < segments && out.size() < wanted && word + 2 <= words; ++segment)
        {
            const std::uint16_t opcode = Word(word);
            const std::size_t length = Word(word + 1);
            word += 2;
            if (opcode == 0)
            {
                for (std::size_t k = 0; k < length && word < words && out.size() < wanted; ++k)
                {
                    out.push_back(Word(word++));
                }
            }
            else if (opcode == 1 && word < words && !out.empty())
            {
                const std::int64_t from = out.back();
                const std::int64_t to = Word(word++);
                for (std::size_t k = 1; k <= length && out.size() < wanted; ++k)
                {
                    const std::int64_t step = (to - from) * static_cast<std::int64_t>(k);
                    const std::int64_t rounded = (step >= 0 ? step + static_cast<std::int64_t>(length) / 2
                                                            : step - static_cast<std::int64_t>(length) / 2) /
                                                 static_cast<std::int64_t>(length);
                    out.push_back(static_cast<std::uint16_t>(from + rounded));
                }
            }
            else if (opcode == 2 && indirectAllowed && word + 2 <= words)
            {
                const std::size_t offset =
                    static_cast<std::size_t>(Word(word)) | static_cast<std::size_t>(Word(word + 1)) << 16;
                word += 2;
                if (offset % 2 == 0 && offset / 2 < words)
                {
                    Walk(offset / 2, length, false);
                }
            }
            else
            {
                // An unknown opcode, or a ramp with nothing before it: the segments after it cannot be trusted.
                return;
            }
        }
    }

    ByteView data;
    ByteOrder order;
    std::size_t wanted;
    std::vector<std::uint16_t>& out;
};

} // namespace

Lut CopyLut(const LutView& view)
{
    Lut lut;
    lut.firstValue = view.firstValue;
    lut.bitsPerEntry = view.bitsPerEntry;
    if (!view.Present())
    {
        return lut;
    }
    if (view.segmented)
    {
        SegmentExpander(view, lut.entries).Run();
        return lut;
    }
    const ByteView data = view.data;
    const std::size_t words = data.size() / 2;
    const bool packed = view.bitsPerEntry <= 8 && words < view.entryCount;
    const std::size_t held = packed ? data.size() : words;
    lut.entries.resize(std::min<std::size_t>(view.entryCount, held));
    // Entry k of packed data is byte k of the little-endian words as they would be stored.
    const std::size_t swap = packed && view.order == ByteOrder::Big && data.size() % 2 == 0 ? 1 : 0;
    for (std::size_t k = 0; k < lut.entries.size(); ++k)
    {
        if (packed)
        {
            lut.entries[k] = data[k ^ swap];
        }
        else
        {
            const std::uint16_t word = ValueReader::Load16(data.data() + 2 * k, view.order);
            lut.entries[k] = view.bitsPerEntry <= 8 ? static_cast<std::uint16_t>(word & 0xFFu) : word;
        }
    }
    return lut;
}

} // namespace orblane
