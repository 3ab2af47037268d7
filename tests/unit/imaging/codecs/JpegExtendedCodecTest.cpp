// The sequential DCT decoder against streams other encoders wrote, each compared with the samples DCMTK's dcmdjpeg
// (the IJG decoder, 8- and 12-bit builds) made of the same stream.
#include "imaging/CImageData.h"
#include "imaging/codecs/Codecs.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace orblane::test {
namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = fs::path(ORBLANE_TEST_DATA_DIR) / "codecs-jpeg12";

std::vector<std::uint8_t> ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

FrameGeometry Declared(std::uint16_t rows, std::uint16_t columns, std::uint16_t samples, std::uint16_t bits,
                       SampleColour colour = SampleColour::Grey)
{
    FrameGeometry g;
    g.rows = rows;
    g.columns = columns;
    g.samplesPerPixel = samples;
    g.bitsAllocated = bits > 8 ? 16 : 8;
    g.bitsStored = bits;
    g.colour = colour;
    return g;
}

struct Decoded
{
    DecodeResult result;
    std::vector<std::uint8_t> out;
};

Decoded Decode(const std::vector<std::uint8_t>& stream, const FrameGeometry& declared, std::size_t outBytes = 0)
{
    Decoded d;
    d.out.assign(outBytes != 0 ? outBytes : FrameBytes(declared), 0xAB);
    DecodeLimits limits;
    limits.maxPixels = MaxPixelsForStream(stream.size());
    d.result = DecodeJpegExtended(stream, declared, limits, d.out);
    return d;
}

// Sample i of a native-endian buffer of 1- or 2-byte containers; the .raw files are little-endian.
unsigned Sample(const std::vector<std::uint8_t>& bytes, std::size_t i, bool wide, bool littleEndianFile)
{
    if (!wide)
    {
        return bytes[i];
    }
    if (littleEndianFile)
    {
        return unsigned(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    std::uint16_t v;
    std::memcpy(&v, bytes.data() + 2 * i, 2);
    return v;
}

struct FixtureCase
{
    const char* name;
    const char* file;
    std::uint16_t rows;
    std::uint16_t columns;
    std::uint16_t samples;
    std::uint16_t bits;
    SampleColour declaredColour;
};

class JpegExtendedFixtureTest : public ::testing::TestWithParam<FixtureCase>
{
};

TEST_P(JpegExtendedFixtureTest, MatchesTheIjgDecoder)
{
    const FixtureCase& c = GetParam();
    const std::vector<std::uint8_t> stream = ReadFile(kFixtures / (std::string(c.file) + ".jpg"));
    const std::vector<std::uint8_t> expected = ReadFile(kFixtures / (std::string(c.file) + ".raw"));
    const FrameGeometry declared = Declared(c.rows, c.columns, c.samples, c.bits, c.declaredColour);
    const Decoded d = Decode(stream, declared);
    ASSERT_EQ(d.result.status, DecodeStatus::Decoded) << d.result.detail;
    EXPECT_EQ(d.result.actual.rows, c.rows);
    EXPECT_EQ(d.result.actual.columns, c.columns);
    EXPECT_EQ(d.result.actual.samplesPerPixel, c.samples);
    EXPECT_EQ(d.result.actual.bitsStored, c.bits);
    EXPECT_EQ(d.result.actual.colour, c.samples == 1 ? SampleColour::Grey : SampleColour::Rgb);
    const bool wide = c.bits > 8;
    const std::size_t count = std::size_t{c.rows} * c.columns * c.samples;
    ASSERT_GE(expected.size(), count * (wide ? 2 : 1)); // dcmdjpeg pads odd lengths
    int worst = 0;
    std::size_t differing = 0;
    for (std::size_t i = 0; i < count; ++i)
    {
        const int diff = std::abs(int(Sample(d.out, i, wide, false)) - int(Sample(expected, i, wide, true)));
        worst = std::max(worst, diff);
        differing += diff != 0 ? 1 : 0;
    }
    // The same transform, upsampling and colour arithmetic as the IJG decoder: not merely close, identical.
    EXPECT_EQ(worst, 0) << differing << " of " << count << " samples differ";
}

INSTANTIATE_TEST_SUITE_P(
    Streams, JpegExtendedFixtureTest,
    ::testing::Values(
        // pydicom's JPEG-lossy.dcm: another encoder, Ss = Se = 0 in its scan header.
        FixtureCase{"PydicomJpegLossy12", "jpeg_lossy", 1024, 256, 1, 12, SampleColour::Grey},
        FixtureCase{"Phantom12Quality90", "phantom256_q90", 256, 256, 1, 12, SampleColour::Grey},
        // Quality 100: every quantizer 1, so coefficients up to the full 12-bit range and samples clamped at both ends.
        FixtureCase{"Phantom12Quality100", "phantom256_q100", 256, 256, 1, 12, SampleColour::Grey},
        // 75 x 53 colour: partial MCUs at the right and bottom, chroma upsampled 2x2, 2x1 and not at all.
        FixtureCase{"Colour12Sampled2x2", "rgb12_411", 53, 75, 3, 12, SampleColour::YbrFull},
        FixtureCase{"Colour12Sampled2x1", "rgb12_422", 53, 75, 3, 12, SampleColour::YbrFull},
        FixtureCase{"Colour12Sampled1x1", "rgb12_444", 53, 75, 3, 12, SampleColour::YbrFull},
        // Stored as RGB with an Adobe segment saying so: no colour transform.
        FixtureCase{"Colour12AdobeRgb", "rgb12_rgbspace", 53, 75, 3, 12, SampleColour::Rgb},
        FixtureCase{"Colour8Sampled2x2", "rgb8_411", 53, 75, 3, 8, SampleColour::YbrFull},
        // Our own test encoder's streams: restart intervals, 16-bit quantizers, one scan per component.
        FixtureCase{"Grey12Restarts16BitQuantizers", "grey12_restart5", 45, 61, 1, 12, SampleColour::Grey},
        FixtureCase{"Colour12ScanPerComponentRestarts", "colour12_scans_restart3", 45, 61, 3, 12,
                    SampleColour::YbrFull}),
    ByCaseName{});

} // namespace
} // namespace orblane::test
