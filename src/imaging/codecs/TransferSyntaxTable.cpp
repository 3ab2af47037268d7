#include "imaging/codecs/TransferSyntaxTable.h"

#include "dicom/DicomTextRules.h"
#include "imaging/codecs/Codecs.h"

#include <array>

namespace orblane {
namespace {

// Wavelet (JPEG 2000) and run-mode (JPEG-LS) coders: a flat 512 x 512 slice fits in some hundred bytes.
constexpr std::uint64_t kDensePixelsPerByte = 4096;

constexpr std::array kTransferSyntaxes{
    TransferSyntaxEntry{"1.2.840.10008.1.2", TransferSyntaxKind::ImplicitLittle, "Implicit VR Little Endian", false,
                        &DecodeNative},
    TransferSyntaxEntry{"1.2.840.10008.1.2.1", TransferSyntaxKind::ExplicitLittle, "Explicit VR Little Endian", false,
                        &DecodeNative},
    // Native data both: a deflated data set was inflated by the walk, and the image build swaps a big-endian value's
    // words into an owned copy (SwapWordsToLittleEndian) before the native codec reads it.
    TransferSyntaxEntry{"1.2.840.10008.1.2.1.99", TransferSyntaxKind::DeflatedExplicitLittle,
                        "Deflated Explicit VR Little Endian", false, &DecodeNative},
    TransferSyntaxEntry{"1.2.840.10008.1.2.2", TransferSyntaxKind::ExplicitBig, "Explicit VR Big Endian", false,
                        &DecodeNative},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.50", TransferSyntaxKind::JpegBaseline, "JPEG Baseline", true,
                        &DecodeJpegBaseline, kMaxPixelsPerCompressedByte, &DecodeJpegBaselineToDisplay},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.51", TransferSyntaxKind::JpegExtended, "JPEG Extended (12-bit)", true,
                        &DecodeJpegExtended},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.57", TransferSyntaxKind::JpegLosslessAnyPredictor, "JPEG Lossless", true,
                        &DecodeJpegLossless},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.70", TransferSyntaxKind::JpegLossless,
                        "JPEG Lossless, first-order prediction", true, &DecodeJpegLossless},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.80", TransferSyntaxKind::JpegLs, "JPEG-LS Lossless", true, &DecodeJpegLs,
                        kDensePixelsPerByte},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.81", TransferSyntaxKind::JpegLsNearLossless, "JPEG-LS Near-Lossless", true,
                        &DecodeJpegLs, kDensePixelsPerByte},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.90", TransferSyntaxKind::Jpeg2000Lossless, "JPEG 2000 Lossless", true,
                        &DecodeJpeg2000, kDensePixelsPerByte},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.91", TransferSyntaxKind::Jpeg2000, "JPEG 2000", true, &DecodeJpeg2000,
                        kDensePixelsPerByte},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.201", TransferSyntaxKind::Htj2kLossless, "HTJ2K Lossless", true,
                        &DecodeJpeg2000, kDensePixelsPerByte},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.202", TransferSyntaxKind::Htj2kLosslessRpcl, "HTJ2K Lossless RPCL", true,
                        &DecodeJpeg2000, kDensePixelsPerByte},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.203", TransferSyntaxKind::Htj2k, "HTJ2K", true, &DecodeJpeg2000,
                        kDensePixelsPerByte},
    TransferSyntaxEntry{"1.2.840.10008.1.2.5", TransferSyntaxKind::Rle, "RLE Lossless", true, &DecodeRle},
    // Known, but not images this viewer can show: their files are listed, their pixels are not decoded.
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.100", TransferSyntaxKind::Video, "Video (MPEG-2)", true, nullptr},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.101", TransferSyntaxKind::Video, "Video (MPEG-2 High Level)", true,
                        nullptr},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.102", TransferSyntaxKind::Video, "Video (MPEG-4 AVC)", true, nullptr},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.103", TransferSyntaxKind::Video, "Video (MPEG-4 AVC BD)", true, nullptr},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.104", TransferSyntaxKind::Video, "Video (MPEG-4 AVC 3D)", true, nullptr},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.105", TransferSyntaxKind::Video, "Video (MPEG-4 AVC 3D Stereo)", true,
                        nullptr},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.106", TransferSyntaxKind::Video, "Video (MPEG-4 AVC Stereo)", true,
                        nullptr},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.107", TransferSyntaxKind::Video, "Video (HEVC)", true, nullptr},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.108", TransferSyntaxKind::Video, "Video (HEVC Main 10)", true, nullptr},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.110", TransferSyntaxKind::JpegXl, "JPEG XL Lossless", true, nullptr},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.111", TransferSyntaxKind::JpegXl, "JPEG XL (JPEG recompression)", true,
                        nullptr},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.112", TransferSyntaxKind::JpegXl, "JPEG XL", true, nullptr},
};

} // namespace

const TransferSyntaxEntry* FindTransferSyntax(ByteView uid) noexcept
{
    // Writers pad a UID to even length with a NUL, some with a space.
    const ByteView trimmed = TrimUidPad(uid);
    const std::string_view text(reinterpret_cast<const char*>(trimmed.data()), trimmed.size());
    for (const TransferSyntaxEntry& entry : kTransferSyntaxes)
    {
        if (entry.uid == text)
        {
            return &entry;
        }
    }
    return nullptr;
}

const TransferSyntaxEntry* FindTransferSyntax(TransferSyntaxKind kind) noexcept
{
    for (const TransferSyntaxEntry& entry : kTransferSyntaxes)
    {
        if (entry.kind == kind)
        {
            return &entry;
        }
    }
    return nullptr;
}

std::string TransferSyntaxDisplayName(ByteView uid)
{
    if (const TransferSyntaxEntry* entry = FindTransferSyntax(uid))
    {
        return std::string(entry->name);
    }
    const ByteView trimmed = TrimUidPad(uid);
    return std::string(reinterpret_cast<const char*>(trimmed.data()), trimmed.size());
}

} // namespace orblane
