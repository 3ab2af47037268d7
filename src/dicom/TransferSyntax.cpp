#include "dicom/TransferSyntax.h"

#include "dicom/DicomTextRules.h"

#include <array>

namespace orblane {
namespace {

constexpr std::array kTransferSyntaxUids{
    TransferSyntaxUid{"1.2.840.10008.1.2", TransferSyntaxKind::ImplicitLittle, "Implicit VR Little Endian"},
    TransferSyntaxUid{"1.2.840.10008.1.2.1", TransferSyntaxKind::ExplicitLittle, "Explicit VR Little Endian"},
    TransferSyntaxUid{"1.2.840.10008.1.2.1.99", TransferSyntaxKind::DeflatedExplicitLittle,
                      "Deflated Explicit VR Little Endian"},
    TransferSyntaxUid{"1.2.840.10008.1.2.2", TransferSyntaxKind::ExplicitBig, "Explicit VR Big Endian"},
    TransferSyntaxUid{"1.2.840.10008.1.2.4.50", TransferSyntaxKind::JpegBaseline, "JPEG Baseline"},
    TransferSyntaxUid{"1.2.840.10008.1.2.4.51", TransferSyntaxKind::JpegExtended, "JPEG Extended (12-bit)"},
    TransferSyntaxUid{"1.2.840.10008.1.2.4.57", TransferSyntaxKind::JpegLosslessAnyPredictor, "JPEG Lossless"},
    TransferSyntaxUid{"1.2.840.10008.1.2.4.70", TransferSyntaxKind::JpegLossless,
                      "JPEG Lossless, first-order prediction"},
    TransferSyntaxUid{"1.2.840.10008.1.2.4.80", TransferSyntaxKind::JpegLs, "JPEG-LS Lossless"},
    TransferSyntaxUid{"1.2.840.10008.1.2.4.81", TransferSyntaxKind::JpegLsNearLossless, "JPEG-LS Near-Lossless"},
    TransferSyntaxUid{"1.2.840.10008.1.2.4.90", TransferSyntaxKind::Jpeg2000Lossless, "JPEG 2000 Lossless"},
    TransferSyntaxUid{"1.2.840.10008.1.2.4.91", TransferSyntaxKind::Jpeg2000, "JPEG 2000"},
    TransferSyntaxUid{"1.2.840.10008.1.2.4.201", TransferSyntaxKind::Htj2kLossless, "HTJ2K Lossless"},
    TransferSyntaxUid{"1.2.840.10008.1.2.4.202", TransferSyntaxKind::Htj2kLosslessRpcl, "HTJ2K Lossless RPCL"},
    TransferSyntaxUid{"1.2.840.10008.1.2.4.203", TransferSyntaxKind::Htj2k, "HTJ2K"},
    TransferSyntaxUid{"1.2.840.10008.1.2.5", TransferSyntaxKind::Rle, "RLE Lossless"},
    // Known, but not images this viewer can show: their files are listed, their pixels are not decoded.
    TransferSyntaxUid{"1.2.840.10008.1.2.4.100", TransferSyntaxKind::Video, "Video (MPEG-2)"},
    TransferSyntaxUid{"1.2.840.10008.1.2.4.101", TransferSyntaxKind::Video, "Video (MPEG-2 High Level)"},
    TransferSyntaxUid{"1.2.840.10008.1.2.4.102", TransferSyntaxKind::Video, "Video (MPEG-4 AVC)"},
    TransferSyntaxUid{"1.2.840.10008.1.2.4.103", TransferSyntaxKind::Video, "Video (MPEG-4 AVC BD)"},
    TransferSyntaxUid{"1.2.840.10008.1.2.4.104", TransferSyntaxKind::Video, "Video (MPEG-4 AVC 3D)"},
    TransferSyntaxUid{"1.2.840.10008.1.2.4.105", TransferSyntaxKind::Video, "Video (MPEG-4 AVC 3D Stereo)"},
    TransferSyntaxUid{"1.2.840.10008.1.2.4.106", TransferSyntaxKind::Video, "Video (MPEG-4 AVC Stereo)"},
    TransferSyntaxUid{"1.2.840.10008.1.2.4.107", TransferSyntaxKind::Video, "Video (HEVC)"},
    TransferSyntaxUid{"1.2.840.10008.1.2.4.108", TransferSyntaxKind::Video, "Video (HEVC Main 10)"},
    TransferSyntaxUid{"1.2.840.10008.1.2.4.110", TransferSyntaxKind::JpegXl, "JPEG XL Lossless"},
    TransferSyntaxUid{"1.2.840.10008.1.2.4.111", TransferSyntaxKind::JpegXl, "JPEG XL (JPEG recompression)"},
    TransferSyntaxUid{"1.2.840.10008.1.2.4.112", TransferSyntaxKind::JpegXl, "JPEG XL"},
};

} // namespace

const TransferSyntaxUid* FindTransferSyntaxUid(ByteView uid) noexcept
{
    // Writers pad a UID to even length with a NUL, some with a space.
    const ByteView trimmed = TrimUidPad(uid);
    const std::string_view text(reinterpret_cast<const char*>(trimmed.data()), trimmed.size());
    for (const TransferSyntaxUid& entry : kTransferSyntaxUids)
    {
        if (entry.uid == text)
        {
            return &entry;
        }
    }
    return nullptr;
}

TransferSyntaxKind TransferSyntaxKindOf(ByteView uid) noexcept
{
    if (uid.empty())
    {
        return TransferSyntaxKind::ImplicitLittle;
    }
    const TransferSyntaxUid* entry = FindTransferSyntaxUid(uid);
    return entry != nullptr ? entry->kind : TransferSyntaxKind::UnknownSyntax;
}

std::string TransferSyntaxDisplayName(ByteView uid)
{
    if (const TransferSyntaxUid* entry = FindTransferSyntaxUid(uid))
    {
        return std::string(entry->name);
    }
    const ByteView trimmed = TrimUidPad(uid);
    return std::string(reinterpret_cast<const char*>(trimmed.data()), trimmed.size());
}

} // namespace orblane
