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
    case TransferSyntaxKind::UnknownSyntax:
        break;
    }
    return "UnknownSyntax";
}

} // namespace orblane
