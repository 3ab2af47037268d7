// Colour JPEG baseline frames reach the display bitmap without interleaved samples in between: the pixels must still
// be those the codec's samples give, whatever size the data set declares.
#include "imaging/CImageData.h"
#include "imaging/JpegBaseline.h"
#include "imaging/codecs/Codecs.h"
#include "support/CaseName.h"
#include "support/GreyJpeg.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

namespace orblane::test {
namespace {

std::vector<std::uint8_t> ReadFixture(const std::string& name)
{
    const auto path = std::filesystem::path(ORBLANE_TEST_DATA_DIR) / "codecs" / name;
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A grey stream, as the viewer's own export writes one: a horizontal ramp.
std::vector<std::uint8_t> GreyRamp(int width, int height)
{
    DisplayBitmap bitmap;
    EXPECT_TRUE(bitmap.Create(width, height, 8));
    for (int row = 0; row < height; ++row)
    {
        for (int column = 0; column < width; ++column)
        {
            bitmap.Row(row)[column] = static_cast<std::uint8_t>(column * 255 / (width - 1));
        }
    }
    return test::GreyJpegOf(bitmap, 90);
}

struct ColourJpegCase
{
    const char* name;
    // A fragment in tests/data/codecs, or empty for the grey ramp.
    const char* stream;
    PhotometricKind photometric;
    std::uint16_t declaredRows;
    std::uint16_t declaredColumns;
    std::uint16_t bitsStored;
    // RGB samples another decoder (DCMTK's dcmdjpeg) gave for the stream, or empty.
    const char* independent;
};

std::ostream& operator<<(std::ostream& out, const ColourJpegCase& c)
{
    return out << c.name;
}

class ColourJpegTest : public ::testing::TestWithParam<ColourJpegCase>
{
};

TEST_P(ColourJpegTest, BitmapHoldsTheCodecsSamplesAtTheStreamsSize)
{
    const ColourJpegCase& c = GetParam();
    const std::vector<std::uint8_t> stream = *c.stream != '\0' ? ReadFixture(c.stream) : GreyRamp(37, 21);
    const DecodeLimits limits{kMaxImagePixels};
    const DecodeResult header = DecodeJpegBaseline(stream, FrameGeometry{}, limits, {});
    ASSERT_EQ(header.status, DecodeStatus::OutputTooSmall);
    const FrameGeometry g = header.actual;
    std::vector<std::uint8_t> samples(FrameBytes(g));
    ASSERT_TRUE(DecodeJpegBaseline(stream, g, limits, samples).Ok());

    PixelDescription d;
    d.photometric = c.photometric;
    d.transferSyntax = TransferSyntaxKind::JpegBaseline;
    d.planes[0] = ByteView(stream);
    d.rowCount = c.declaredRows;
    d.columnCount = c.declaredColumns;
    d.bitsAllocated = 8;
    d.bitsStored = c.bitsStored;
    d.aspectHorizontal = d.aspectVertical = 1;
    const auto image = CImageData::Build(d, Point{1, 1});
    ASSERT_TRUE(image);
    const DisplayBitmap& bitmap = image->Bitmap();
    ASSERT_EQ(bitmap.Width(), g.columns);
    ASSERT_EQ(bitmap.Height(), g.rows);
    ASSERT_EQ(bitmap.BitsPerPixel(), 32);

    const std::vector<std::uint8_t> other =
        *c.independent != '\0' ? ReadFixture(c.independent) : std::vector<std::uint8_t>{};
    ASSERT_TRUE(other.empty() || other.size() == FrameBytes(g));
    // Fewer stored bits than the container keep only those bits of each sample.
    const std::uint32_t mask = 0xFFu >> (8 - c.bitsStored);
    int mismatches = 0;
    int farFromOther = 0;
    for (int row = 0; row < g.rows; ++row)
    {
        for (int column = 0; column < g.columns; ++column)
        {
            const std::size_t k = static_cast<std::size_t>(row) * g.columns + static_cast<std::size_t>(column);
            const std::size_t spp = g.samplesPerPixel;
            const std::uint8_t* s = samples.data() + k * spp;
            const std::uint32_t expected =
                MakeDisplayPixel(s[0] & mask, s[spp > 1 ? 1 : 0] & mask, s[spp > 1 ? 2 : 0] & mask);
            mismatches += bitmap.Pixels32(row)[column] != expected ? 1 : 0;
            for (std::size_t channel = 0; !other.empty() && channel < 3; ++channel)
            {
                farFromOther += std::abs(int{s[channel]} - int{other[k * 3 + channel]}) > 2 ? 1 : 0;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(farFromOther, 0) << "the codec's samples against the other decoder's";
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ColourJpegTest,
    ::testing::Values(
        ColourJpegCase{"Subsampled422", "rgb_422.jpg", PhotometricKind::YbrFull422, 100, 100, 8, "rgb_422_dcmtk.raw"},
        ColourJpegCase{"Subsampled411", "rgb_411.jpg", PhotometricKind::YbrFull, 100, 100, 8, "rgb_411_dcmtk.raw"},
        // The stream's size rules over Rows and Columns, larger or smaller.
        ColourJpegCase{"DeclaredLarger", "rgb_422.jpg", PhotometricKind::YbrFull422, 130, 120, 8, ""},
        ColourJpegCase{"DeclaredSmaller", "rgb_422.jpg", PhotometricKind::YbrFull422, 40, 50, 8, ""},
        // One component under a colour label: the grey level in all three colours, at an odd width.
        ColourJpegCase{"GreyStreamLabelledRgb", "", PhotometricKind::Rgb, 21, 37, 8, ""},
        ColourJpegCase{"SixStoredBits", "rgb_422.jpg", PhotometricKind::YbrFull422, 100, 100, 6, ""}),
    ByCaseName());

// Whether the decoder turns the components from YCbCr into RGB: the stream's markers say so where they can, else the
// Photometric Interpretation. Each case goes both ways in, as samples and straight into the display bitmap.
struct TransformCase
{
    const char* name;
    const char* stream;
    PhotometricKind photometric;
    // What GDCM (`gdcmconv --raw`) or DCMTK (`dcmdjpeg`) gave for the stream.
    const char* independent;
};

std::ostream& operator<<(std::ostream& out, const TransformCase& c)
{
    return out << c.name;
}

class ColourTransformTest : public ::testing::TestWithParam<TransformCase>
{
};

TEST_P(ColourTransformTest, BothPathsMatchTheOtherDecoder)
{
    const TransformCase& c = GetParam();
    const std::vector<std::uint8_t> stream = ReadFixture(c.stream);
    const std::vector<std::uint8_t> other = ReadFixture(c.independent);
    const DecodeLimits limits{kMaxImagePixels};
    FrameGeometry declared;
    declared.colour = c.photometric == PhotometricKind::Rgb ? SampleColour::Rgb : SampleColour::YbrFull;
    const DecodeResult header = DecodeJpegBaseline(stream, declared, limits, {});
    ASSERT_EQ(header.status, DecodeStatus::OutputTooSmall);
    FrameGeometry g = header.actual;
    g.colour = declared.colour;
    ASSERT_EQ(FrameBytes(g), other.size());
    std::vector<std::uint8_t> samples(FrameBytes(g));
    ASSERT_TRUE(DecodeJpegBaseline(stream, g, limits, samples).Ok());

    PixelDescription d;
    d.photometric = c.photometric;
    d.transferSyntax = TransferSyntaxKind::JpegBaseline;
    d.planes[0] = ByteView(stream);
    d.rowCount = g.rows;
    d.columnCount = g.columns;
    d.bitsAllocated = 8;
    d.bitsStored = 8;
    d.aspectHorizontal = d.aspectVertical = 1;
    const auto image = CImageData::Build(d, Point{1, 1});
    ASSERT_TRUE(image);
    ASSERT_EQ(image->Bitmap().BitsPerPixel(), 32);

    // Both decoders use the accurate integer IDCT; rounding may still differ by a step or two.
    int farSamples = 0;
    int farPixels = 0;
    for (int row = 0; row < g.rows; ++row)
    {
        const std::uint32_t* shown = image->Bitmap().Pixels32(row);
        for (int column = 0; column < g.columns; ++column)
        {
            const std::size_t k = (static_cast<std::size_t>(row) * g.columns + static_cast<std::size_t>(column)) * 3;
            const std::uint32_t pixel = shown[column];
            const std::array<int, 3> bitmapRgb{static_cast<int>((pixel >> 16) & 0xFF),
                                               static_cast<int>((pixel >> 8) & 0xFF), static_cast<int>(pixel & 0xFF)};
            for (std::size_t channel = 0; channel < 3; ++channel)
            {
                farSamples += std::abs(int{samples[k + channel]} - int{other[k + channel]}) > 2 ? 1 : 0;
                farPixels += std::abs(bitmapRgb[channel] - int{other[k + channel]}) > 2 ? 1 : 0;
            }
        }
    }
    EXPECT_EQ(farSamples, 0) << "samples";
    EXPECT_EQ(farPixels, 0) << "display pixels";
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ColourTransformTest,
    ::testing::Values(
        // No JFIF, no Adobe marker, components 0, 1, 2: the label decides.
        TransformCase{"UnmarkedLabelledRgb", "rgb_no_markers.jpg", PhotometricKind::Rgb, "rgb_no_markers_gdcm.raw"},
        TransformCase{"UnmarkedLabelledYbrFull", "rgb_no_markers.jpg", PhotometricKind::YbrFull,
                      "rgb_no_markers_ycbcr_dcmtk.raw"},
        // Components 1, 2, 3 in 4:2:0 without markers (GDCM's lossy RGB): upsampled, not transformed.
        TransformCase{"UnmarkedSubsampledLabelledRgb", "rgb_no_markers_420.jpg", PhotometricKind::Rgb,
                      "rgb_no_markers_420_gdcm.raw"},
        // The stream's word rules over the label.
        TransformCase{"AdobeNoTransformLabelledYbrFull", "rgb_adobe_no_transform.jpg", PhotometricKind::YbrFull,
                      "rgb_adobe_no_transform_gdcm.raw"},
        TransformCase{"ComponentsNamedRgbLabelledYbrFull", "rgb_component_names.jpg", PhotometricKind::YbrFull,
                      "rgb_component_names_gdcm.raw"},
        TransformCase{"JfifLabelledRgb", "rgb_422.jpg", PhotometricKind::Rgb, "rgb_422_dcmtk.raw"}),
    ByCaseName());

} // namespace
} // namespace orblane::test
