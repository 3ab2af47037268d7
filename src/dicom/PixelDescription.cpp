#include "dicom/PixelDescription.h"

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
    case TransferSyntaxKind::UnknownSyntax:
        break;
    }
    return "UnknownSyntax";
}

} // namespace orblane
