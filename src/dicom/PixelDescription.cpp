#include "dicom/PixelDescription.h"

#include <algorithm>

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

Lut CopyLut(const LutView& view)
{
    Lut lut;
    lut.firstValue = view.firstValue;
    lut.bitsPerEntry = view.bitsPerEntry;
    if (!view.Present())
    {
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
