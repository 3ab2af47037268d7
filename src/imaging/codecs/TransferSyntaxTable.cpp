#include "imaging/codecs/TransferSyntaxTable.h"

#include "imaging/codecs/Codecs.h"

#include <array>

namespace orblane {
namespace {

// Wavelet (JPEG 2000) and run-mode (JPEG-LS) coders: a flat 512 x 512 slice fits in some hundred bytes.
constexpr std::uint64_t kDensePixelsPerByte = 4096;

constexpr std::array kTransferSyntaxes{
    TransferSyntaxEntry{TransferSyntaxKind::ImplicitLittle, &DecodeNative},
    TransferSyntaxEntry{TransferSyntaxKind::ExplicitLittle, &DecodeNative},
    // Native data both: a deflated data set was inflated by the walk, and the image build swaps a big-endian value's
    // words into an owned copy (SwapWordsToLittleEndian) before the native codec reads it.
    TransferSyntaxEntry{TransferSyntaxKind::DeflatedExplicitLittle, &DecodeNative},
    TransferSyntaxEntry{TransferSyntaxKind::ExplicitBig, &DecodeNative},
    TransferSyntaxEntry{TransferSyntaxKind::JpegBaseline, &DecodeJpegBaseline, kMaxPixelsPerCompressedByte,
                        &DecodeJpegBaselineToDisplay},
    TransferSyntaxEntry{TransferSyntaxKind::JpegExtended, &DecodeJpegExtended},
    TransferSyntaxEntry{TransferSyntaxKind::JpegLosslessAnyPredictor, &DecodeJpegLossless},
    TransferSyntaxEntry{TransferSyntaxKind::JpegLossless, &DecodeJpegLossless},
    TransferSyntaxEntry{TransferSyntaxKind::JpegLs, &DecodeJpegLs, kDensePixelsPerByte},
    TransferSyntaxEntry{TransferSyntaxKind::JpegLsNearLossless, &DecodeJpegLs, kDensePixelsPerByte},
    TransferSyntaxEntry{TransferSyntaxKind::Jpeg2000Lossless, &DecodeJpeg2000, kDensePixelsPerByte},
    TransferSyntaxEntry{TransferSyntaxKind::Jpeg2000, &DecodeJpeg2000, kDensePixelsPerByte},
    TransferSyntaxEntry{TransferSyntaxKind::Htj2kLossless, &DecodeJpeg2000, kDensePixelsPerByte},
    TransferSyntaxEntry{TransferSyntaxKind::Htj2kLosslessRpcl, &DecodeJpeg2000, kDensePixelsPerByte},
    TransferSyntaxEntry{TransferSyntaxKind::Htj2k, &DecodeJpeg2000, kDensePixelsPerByte},
    TransferSyntaxEntry{TransferSyntaxKind::Rle, &DecodeRle},
    // Known, but not images this viewer can show: their files are listed, their pixels are not decoded.
    TransferSyntaxEntry{TransferSyntaxKind::Video, nullptr},
    TransferSyntaxEntry{TransferSyntaxKind::JpegXl, nullptr},
};

} // namespace

const TransferSyntaxEntry* FindTransferSyntax(ByteView uid) noexcept
{
    const TransferSyntaxUid* known = FindTransferSyntaxUid(uid);
    return known != nullptr ? FindTransferSyntax(known->kind) : nullptr;
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

bool HasCodec(TransferSyntaxKind kind) noexcept
{
    const TransferSyntaxEntry* entry = FindTransferSyntax(kind);
    return entry != nullptr && entry->decode != nullptr;
}

} // namespace orblane
