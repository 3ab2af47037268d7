#pragma once

#include "dicom/ValueReader.h"
#include "platform/Bytes.h"

#include <array>
#include <cstdint>
#include <vector>

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
    PaletteColour = 6,
    // JPEG 2000's reversible and irreversible colour transforms: the codec undoes them, so the samples it gives are
    // RGB (and where the codestream holds no transform the stored components are RGB as they stand).
    YbrRct = 7,
    YbrIct = 8,
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
    ExplicitBig = 17,
    DeflatedExplicitLittle = 18,
};

const char* PhotometricName(PhotometricKind kind) noexcept;
const char* TransferSyntaxName(TransferSyntaxKind kind) noexcept;

constexpr bool IsMonochrome(PhotometricKind kind) noexcept
{
    return kind == PhotometricKind::Monochrome1 || kind == PhotometricKind::Monochrome2;
}

// A lookup table as the file holds it: its descriptor (PS3.3 C.11.1.1.1, C.7.6.3.1.5) and a view of its LUT Data.
// The view dies with the file; CopyLut makes the owned table the decoded frame keeps.
struct LutView
{
    ByteView data{};
    // Entries the descriptor claims (0 in the file means 65536); the data may hold fewer.
    std::uint32_t entryCount = 0;
    // The first input value mapped, signed or unsigned as the pixel representation says.
    std::int32_t firstValue = 0;
    std::uint16_t bitsPerEntry = 0;
    // The byte order of the data's 16-bit words (US or OW): the data set's.
    ByteOrder order = ByteOrder::Little;
    // The data is a Segmented Palette Color LUT (PS3.3 C.7.9.2): segments that CopyLut expands to the entries.
    bool segmented = false;

    bool Present() const noexcept { return data.data() != nullptr && entryCount != 0; }
};

// An owned lookup table: inputs below the first map to the first entry, above the last to the last.
struct Lut
{
    std::int32_t firstValue = 0;
    std::uint16_t bitsPerEntry = 16;
    std::vector<std::uint16_t> entries;

    bool Empty() const noexcept { return entries.empty(); }
    std::uint16_t Lookup(std::int64_t input) const noexcept
    {
        const std::int64_t k = input - firstValue;
        if (k <= 0)
        {
            return entries.front();
        }
        return static_cast<std::size_t>(k) >= entries.size() ? entries.back() : entries[static_cast<std::size_t>(k)];
    }
};

// The entries a LUT's data actually holds, never more than its descriptor claims: 16-bit words, or for 8-bit entries
// one a word or, where the data is only half that long, two a word (low byte first: the first byte in a little
// endian word, the second in a big endian one); segmented data is expanded. Empty when there are none.
// Throws std::bad_alloc.
Lut CopyLut(const LutView& view);

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
    // The file's window, rounded to the stored values' integer steps; beside it the decimal values as written
    // (width 0 when not read from a file), which stay exact in modality units when a rescale slope is fractional.
    std::int32_t fileWindowCentre = 0;
    std::int32_t fileWindowWidth = 0;
    double fileWindowCentreValue = 0.0;
    double fileWindowWidthValue = 0.0;
    std::int32_t aspectHorizontal = 0;
    std::int32_t aspectVertical = 0;
    // Number of Frames (0028,0008): 1 for a single image; each frame is an image of its own.
    std::int32_t frameCount = 1;
    // Which frame of the file this description stands for, from 0.
    std::int32_t frameNumber = 0;
    // Native data of 1 bit a sample: frames follow each other bit by bit, so a frame's first pixel is this bit
    // (from the lowest) of the first byte of planes[0].
    std::uint8_t firstBit = 0;
    std::uint32_t planarConfiguration = 0;
    bool hasModalityLut = false;
    // Modality LUT Sequence (0028,3000), first item: replaces the rescale (PS3.3 C.11.1).
    LutView modalityLut{};
    // VOI LUT Sequence (0028,3010), first item.
    LutView voiLut{};
    // Red, green and blue Palette Color LUTs (0028,1101-1103 descriptors, 0028,1201-1203 data).
    std::array<LutView, 3> palette{};
    // The palette came as Segmented Palette Color LUT Data (0028,1221-1223): the LUT views hold the segments.
    bool segmentedPalette = false;
    // High Bit (0028,0102); the stored bits are [highBit - bitsStored + 1, highBit] of their container.
    std::uint16_t highBit = 0;
    // Presentation LUT Shape (2050,0020) INVERSE: the grey scale is shown inverted (once, whatever the photometric).
    bool presentationInverse = false;
    // Explicit VR Big Endian only: the bytes of the Pixel Data value are stored reversed in words of this size, as
    // its VR gives (OW: 2, so that 8-bit samples come in swapped pairs and a 32-bit sample as two swapped 16-bit
    // words; OL, OF: 4; OD: 8; OB: 1, nothing swapped). 0 for every little-endian data set.
    std::uint8_t swapWordBytes = 0;
    // With swapWordBytes: the whole Pixel Data value the planes are cut from, so that the words of a frame that
    // starts inside one (an odd-sized 8-bit frame) are found from the value's start.
    ByteView pixelDataValue{};
    // Cine timing as the file gives it, 0 where absent or not a number: Frame Time (0018,1063) in milliseconds, Cine
    // Rate (0018,0040) and Recommended Display Frame Rate (0008,2144) in frames a second. The viewer picks one.
    double frameTimeMs = 0.0;
    double cineRate = 0.0;
    double recommendedFrameRate = 0.0;
    // Modality (0008,0060) is "CT": the image's values are Hounsfield units, which the CT window presets assume.
    bool computedTomography = false;

    bool HasPlane(std::size_t index) const noexcept { return planes[index].data() != nullptr; }
    // Forgets every view into the file (planes, syntax UID, LUT data): what is left outlives the file.
    void ForgetFileViews() noexcept
    {
        planes = {};
        pixelDataValue = {};
        transferSyntaxUid = {};
        modalityLut.data = {};
        voiLut.data = {};
        for (LutView& colour : palette)
        {
            colour.data = {};
        }
    }
};

} // namespace orblane
