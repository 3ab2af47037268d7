#include "imaging/ThumbnailDecode.h"

#include "dicom/DicomDataFileIO.h"
#include "dicom/FrameSource.h"
#include "imaging/CImageData.h"
#include "imaging/ImageLimits.h"
#include "imaging/SeriesThumbnail.h"
#include "imaging/StudyFiles.h"
#include "imaging/cache/DecodeScheduler.h"
#include "imaging/codecs/Codecs.h"
#include "platform/MappedReadGuard.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <vector>

namespace orblane {
namespace {

bool NativeLittle(TransferSyntaxKind kind) noexcept
{
    return kind == TransferSyntaxKind::ImplicitLittle || kind == TransferSyntaxKind::ExplicitLittle ||
           kind == TransferSyntaxKind::DeflatedExplicitLittle;
}

// Samples a pixel as the native reader lays them out, or 0 where subsampling in place is not simple (planar or
// half-width colour, bit-packed or big-endian words, components in separate elements).
unsigned SubsampledChannels(const PixelDescription& d) noexcept
{
    const bool grey = IsMonochrome(d.photometric) || d.photometric == PhotometricKind::PaletteColour;
    const bool rgb = d.photometric == PhotometricKind::Rgb || d.photometric == PhotometricKind::YbrFull;
    if (std::endian::native != std::endian::little || !NativeLittle(d.transferSyntax) || d.swapWordBytes > 1 ||
        (d.bitsAllocated != 8 && d.bitsAllocated != 16 && d.bitsAllocated != 32) || d.HasPlane(1) || d.HasPlane(2) ||
        !(grey || (rgb && d.planarConfiguration == 0)))
    {
        return 0;
    }
    return grey ? 1 : 3;
}

// Copies every step-th sample of every step-th row of the native frame; false when the frame is short (the whole
// decode then says why) or the medium fails under the read.
bool Subsample(const PixelDescription& d, ByteView region, unsigned channels, int step, std::vector<std::uint8_t>& out)
{
    const std::size_t pixelBytes = channels * (d.bitsAllocated / 8u);
    const std::size_t rowBytes = pixelBytes * d.columnCount;
    if (d.planes[0].size() / rowBytes < d.rowCount)
    {
        return false;
    }
    const int rows = (d.rowCount + step - 1) / step;
    const int columns = (d.columnCount + step - 1) / step;
    out.resize(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns) * pixelBytes);
    const std::uint8_t* source = d.planes[0].data();
    std::uint8_t* target = out.data();
    // The sample size is decided once; the copy of one pixel is a fixed-size move the compiler inlines.
    const auto copy = [&]<std::size_t kBytes>() {
        for (int r = 0; r < rows; ++r)
        {
            const std::uint8_t* row = source + static_cast<std::size_t>(r) * step * rowBytes;
            for (int c = 0; c < columns; ++c)
            {
                std::memcpy(target, row + static_cast<std::size_t>(c) * step * kBytes, kBytes);
                target += kBytes;
            }
        }
    };
    return platform::GuardMappedRead(region, [&] {
               switch (pixelBytes)
               {
               case 1:
                   copy.operator()<1>();
                   break;
               case 2:
                   copy.operator()<2>();
                   break;
               case 3:
                   copy.operator()<3>();
                   break;
               case 4:
                   copy.operator()<4>();
                   break;
               case 6:
                   copy.operator()<6>();
                   break;
               default:
                   copy.operator()<12>();
                   break;
               }
           }) == platform::MappedRead::Completed;
}

// The reduced samples stand in for the frame: native, little endian, interleaved, of their own size.
void DescribeReduced(PixelDescription& d, const std::vector<std::uint8_t>& samples, int rows, int columns)
{
    d.planes = {};
    d.planes[0] = ByteView(samples);
    d.rowCount = static_cast<std::uint16_t>(rows);
    d.columnCount = static_cast<std::uint16_t>(columns);
    d.transferSyntax = TransferSyntaxKind::ExplicitLittle;
    d.transferSyntaxUid = {};
    d.pixelDataValue = {};
    d.swapWordBytes = 0;
    d.firstBit = 0;
}

enum class LevelDecode : std::uint8_t
{
    Decoded,
    WholeInstead,
    Faulted,
};

// A JPEG 2000 frame decoded at the lowest resolution level that still covers `size`, its samples then described in
// `d` as native ones. WholeInstead where the level's samples would not read as the whole decode's do (an HT stream,
// signed colour, components other than the photometric's), or the library did not decode them: the whole decode
// then shows the frame or says what is wrong with it.
LevelDecode DecodeJpeg2000Level(PixelDescription& d, ByteView region, int size, std::vector<std::uint8_t>& reduced)
{
    const bool grey = IsMonochrome(d.photometric) || d.photometric == PhotometricKind::PaletteColour;
    FrameGeometry declared;
    declared.rows = d.rowCount;
    declared.columns = d.columnCount;
    declared.bitsAllocated = d.bitsAllocated;
    declared.bitsStored = d.bitsStored;
    declared.isSigned = d.pixelRepresentation == 1;
    if (grey)
    {
        declared.samplesPerPixel = 1;
        declared.colour = SampleColour::Grey;
    }
    else if (d.photometric == PhotometricKind::Rgb || d.photometric == PhotometricKind::YbrRct ||
             d.photometric == PhotometricKind::YbrIct || d.photometric == PhotometricKind::YbrFull)
    {
        declared.samplesPerPixel = 3;
        declared.colour = d.photometric == PhotometricKind::YbrFull ? SampleColour::YbrFull : SampleColour::Rgb;
    }
    else
    {
        return LevelDecode::WholeInstead;
    }
    if (d.planes[0].empty())
    {
        return LevelDecode::WholeInstead;
    }
    std::vector<std::uint8_t> stream(d.planes[0].size());
    const ByteView stored = d.planes[0];
    if (platform::GuardMappedRead(region, [&] { std::memcpy(stream.data(), stored.data(), stored.size()); }) !=
        platform::MappedRead::Completed)
    {
        return LevelDecode::Faulted;
    }
    // The level with at least twice the thumbnail's pixels a side, one finer than the smallest that covers it: the
    // area average after it then takes two or more of the level's pixels for each of the thumbnail's. The smallest
    // level alone centres each pixel on the first of its block, not on its middle, and averages values before the
    // window: at the edges the window clips (air, bone) it was three times as far from the whole decode's thumbnail.
    // The finer level costs about three times the smallest's, still a fortieth of the whole decode (2048 x 2560).
    const DecodeResult result =
        DecodeJpeg2000Reduced(stream, declared, 2 * size, DecodeLimits{MaxPixelsForStream(stream.size())}, reduced);
    const FrameGeometry& got = result.actual;
    if (!result.Ok() || got.rows == 0 || got.columns == 0 || got.samplesPerPixel != declared.samplesPerPixel ||
        (!grey && got.isSigned) || got.bitsStored == 0)
    {
        return LevelDecode::WholeInstead;
    }
    DescribeReduced(d, reduced, got.rows, got.columns);
    // As the whole decode does: the codestream's precision and sign are what the samples are.
    d.bitsAllocated = static_cast<std::uint16_t>(ContainerBytes(d.bitsAllocated) * 8);
    d.bitsStored = std::min(got.bitsStored, d.bitsAllocated);
    d.highBit = static_cast<std::uint16_t>(d.bitsStored - 1);
    d.pixelRepresentation = got.isSigned ? 1 : 0;
    d.planarConfiguration = 0;
    if (!grey)
    {
        d.photometric = got.colour == SampleColour::Rgb ? PhotometricKind::Rgb : PhotometricKind::YbrFull;
    }
    return LevelDecode::Decoded;
}

} // namespace

ThumbnailRoute DecodeThumbnail(DicomDataFileIO& file, int size, DisplayBitmap& out, int frame) noexcept
{
    struct Unload
    {
        DicomDataFileIO& file;
        ~Unload() { file.Unload(); }
    } unload{file};
    try
    {
        std::vector<FrameSource> occurrences;
        std::u16string texts[2];
        if (size <= 0 || WalkFile(file, false, occurrences, texts) != WalkOutcome::Walked || occurrences.empty() ||
            !occurrences[0].decodable)
        {
            return ThumbnailRoute::Failed;
        }
        std::vector<std::uint8_t> joined;
        bool faulted = false;
        const int frames = std::max(1, occurrences[0].description.frameCount);
        PixelDescription d = occurrences[0].Frame(frame >= 0 && frame < frames ? frame : 0, joined, &faulted);
        if (faulted || d.rowCount == 0 || d.columnCount == 0)
        {
            return ThumbnailRoute::Failed;
        }
        const ByteView region = file.DataBytes();
        // The thumbnail is the size the whole image would be reduced to, whatever rounding the reduced decode had.
        const FitSize fit = SizeToFit(d.columnCount, d.rowCount, size);
        const int longer = std::max<int>(d.rowCount, d.columnCount);
        // The largest step that leaves at least `size` pixels on the longer side: the final reduction averages.
        const int step = std::max(1, longer / size);
        ThumbnailRoute route = step > 1 ? ThumbnailRoute::Reduced : ThumbnailRoute::Whole;
        std::vector<std::uint8_t> reduced;
        if (const unsigned channels = SubsampledChannels(d); step > 1 && channels != 0)
        {
            if (Subsample(d, region, channels, step, reduced))
            {
                DescribeReduced(d, reduced, (d.rowCount + step - 1) / step, (d.columnCount + step - 1) / step);
                route = ThumbnailRoute::Subsampled;
            }
        }
        else if (step > 1 && d.transferSyntax == TransferSyntaxKind::JpegBaseline && !d.planes[0].empty())
        {
            // The stream is copied out of the mapping first, as every codec reads it.
            std::vector<std::uint8_t> stream(d.planes[0].size());
            const ByteView stored = d.planes[0];
            if (platform::GuardMappedRead(region, [&] { std::memcpy(stream.data(), stored.data(), stored.size()); }) !=
                platform::MappedRead::Completed)
            {
                return ThumbnailRoute::Failed;
            }
            const bool grey = IsMonochrome(d.photometric);
            const SampleColour declared =
                d.photometric == PhotometricKind::Rgb ? SampleColour::Rgb : SampleColour::YbrFull;
            const DecodeResult result = DecodeJpegBaselineScaled(
                stream, declared, size, DecodeLimits{MaxPixelsForStream(stream.size())}, reduced);
            const bool samplesAsDeclared = (result.actual.colour == SampleColour::Grey) == grey;
            if (result.Ok() && samplesAsDeclared)
            {
                DescribeReduced(d, reduced, result.actual.rows, result.actual.columns);
                d.bitsAllocated = 8;
                d.bitsStored = 8;
                d.highBit = 7;
                d.pixelRepresentation = 0;
                d.planarConfiguration = 0;
                if (!grey)
                {
                    d.photometric = PhotometricKind::Rgb;
                }
                route = ThumbnailRoute::ScaledJpeg;
            }
        }
        else if (step > 1 && (d.transferSyntax == TransferSyntaxKind::Jpeg2000Lossless ||
                              d.transferSyntax == TransferSyntaxKind::Jpeg2000))
        {
            switch (DecodeJpeg2000Level(d, region, size, reduced))
            {
            case LevelDecode::Decoded:
                route = ThumbnailRoute::ReducedResolution;
                break;
            case LevelDecode::WholeInstead:
                break;
            case LevelDecode::Faulted:
                return ThumbnailRoute::Failed;
            }
        }
        DecodedImage decoded = DecodeGuarded(d, region, Point{1, 1}, true);
        if (!decoded.image || decoded.image->Bitmap().IsNull() ||
            !ReduceTo(decoded.image->Bitmap(), fit.width, fit.height, out))
        {
            return ThumbnailRoute::Failed;
        }
        return route;
    }
    catch (const std::bad_alloc&)
    {
        return ThumbnailRoute::Failed;
    }
}

} // namespace orblane
