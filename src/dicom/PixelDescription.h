#pragma once

#include "platform/Bytes.h"

#include <array>
#include <cstdint>

namespace orblane {

// From Photometric Interpretation (0028,0004); the values are fixed because the order of matching depends on them.
enum class PhotometricKind : std::int32_t
{
    Monochrome1 = 0,
    Monochrome2 = 1,
    OtherPhotometric = 2,
    Rgb = 3,
    YbrFull = 4,
    YbrFull422 = 5,
};

// From Transfer Syntax UID (0002,0010).
enum class TransferSyntaxKind : std::int32_t
{
    ImplicitLittle = 0,
    ExplicitLittle = 1,
    JpegBaseline = 2,
    JpegLossless = 3,
    UnknownSyntax = 4,
    JpegExtended = 5,
    JpegLosslessAnyPredictor = 6,
    JpegLs = 7,
    JpegLsNearLossless = 8,
    Jpeg2000Lossless = 9,
    Jpeg2000 = 10,
    Htj2kLossless = 11,
    Htj2kLosslessRpcl = 12,
    Htj2k = 13,
    Rle = 14,
    Video = 15,
    JpegXl = 16,
};

const char* PhotometricName(PhotometricKind kind) noexcept;
const char* TransferSyntaxName(TransferSyntaxKind kind) noexcept;

constexpr bool IsMonochrome(PhotometricKind kind) noexcept
{
    return kind == PhotometricKind::Monochrome1 || kind == PhotometricKind::Monochrome2;
}

// The attributes of one image. Every field starts at zero; the reader of the data set applies the defaults.
// The planes are views into bytes someone else owns (the mapped file, or a decoder's output); an empty view with a
// null data pointer is "no plane".
struct PixelDescription
{
    PhotometricKind photometric = PhotometricKind::Monochrome1;
    TransferSyntaxKind transferSyntax = TransferSyntaxKind::ImplicitLittle;
    std::array<ByteView, 4> planes{};
    // The Transfer Syntax UID as stored (a view into the file, like the planes); the image build resolves it.
    ByteView transferSyntaxUid{};
    std::uint16_t bitsAllocated = 0;
    std::uint16_t bitsStored = 0;
    std::uint16_t columnCount = 0;
    std::uint16_t rowCount = 0;
    std::uint32_t pixelRepresentation = 0;
    double rescaleIntercept = 0.0;
    double rescaleSlope = 0.0;
    std::int32_t fileWindowCentre = 0;
    std::int32_t fileWindowWidth = 0;
    std::int32_t aspectHorizontal = 0;
    std::int32_t aspectVertical = 0;
    // Number of Frames (0028,0008): 1 for a single image; each frame is an image of its own.
    std::int32_t frameCount = 1;
    // Which frame of the file this description stands for, from 0.
    std::int32_t frameNumber = 0;
    std::uint32_t planarConfiguration = 0;
    bool hasModalityLut = false;

    bool HasPlane(std::size_t index) const noexcept { return planes[index].data() != nullptr; }
};

} // namespace orblane
