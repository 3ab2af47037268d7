// The lossless codec behind the contract: the declared container whatever the stream's, the actual geometry, and
// what the data set promises beyond the stream. Expected samples are the DCMTK fixtures' sources (../jpegll/).
#include "imaging/LosslessJpeg.h"
#include "imaging/codecs/Codecs.h"
#include "support/CaseName.h"
#include "support/LosslessEncoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace orblane::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const fs::path kFixtures = fs::path(ORBLANE_TEST_DATA_DIR) / "jpegll";

FrameGeometry Geometry(std::uint16_t rows, std::uint16_t columns, std::uint16_t bits, std::uint16_t samples = 1)
{
    FrameGeometry g;
    g.rows = rows;
    g.columns = columns;
    g.samplesPerPixel = samples;
    g.bitsAllocated = bits;
    g.bitsStored = bits;
    return g;
}

// Little-endian samples of `from` bytes as native samples of `to` bytes, `extra` zero samples after them.
Bytes Expected(const Bytes& le, std::size_t from, std::size_t to, std::size_t extra = 0)
{
    const std::size_t count = le.size() / from;
    Bytes out((count + extra) * to, 0);
    for (std::size_t i = 0; i < count; ++i)
    {
        const std::uint32_t value = from == 1 ? le[i] : std::uint32_t{le[2 * i]} | (std::uint32_t{le[2 * i + 1]} << 8);
        if (to == 1)
        {
            out[i] = static_cast<std::uint8_t>(value);
        }
        else if (to == 2)
        {
            const auto word = static_cast<std::uint16_t>(value);
            std::memcpy(&out[2 * i], &word, 2);
        }
        else
        {
            std::memcpy(&out[4 * i], &value, 4);
        }
    }
    return out;
}

// An 8-bit image written at P = 16, as some encoders store 8-bit data.
Bytes EightBitImageAtSixteen(Bytes& littleEndianSource)
{
    const std::vector<std::uint16_t> image = MakeTestImage(64, 64, 8, 11);
    littleEndianSource.clear();
    for (std::uint16_t v : image)
    {
        littleEndianSource.push_back(static_cast<std::uint8_t>(v));
        littleEndianSource.push_back(0);
    }
    LosslessEncodeOptions options;
    options.precision = 16;
    options.width = 64;
    options.height = 64;
    options.predictor = 4;
    return EncodeLossless(image, options);
}

struct ContainerCase
{
    const char* name;
    FrameGeometry declared;
    DecodeStatus status;
    std::size_t streamBytes; // of one sample in the .raw source
    std::size_t extraSamples;
};

class JpegLosslessCodecTest : public ::testing::TestWithParam<ContainerCase>
{
};

TEST_P(JpegLosslessCodecTest, WritesTheDeclaredContainer)
{
    const ContainerCase& c = GetParam();
    Bytes source;
    Bytes stream;
    if (c.streamBytes == 2)
    {
        stream = ReadFile(kFixtures / "mr_small_sv7.ljpeg");
        source = ReadFile(kFixtures / "mr_small_p16.raw");
    }
    else if (c.streamBytes == 1)
    {
        stream = ReadFile(kFixtures / "mr_small_p8_sv6_pt2.ljpeg");
        source = ReadFile(kFixtures / "mr_small_p8_sv6_pt2.raw");
    }
    else
    {
        stream = EightBitImageAtSixteen(source);
    }
    const std::size_t from = c.streamBytes == 1 ? 1 : 2;
    const std::size_t to = ContainerBytes(c.declared.bitsAllocated);
    // Exactly the declared frame, filled with what a fresh buffer might hold.
    Bytes out(FrameBytes(c.declared), 0xEE);
    const DecodeResult result = DecodeJpegLossless(stream, c.declared, DecodeLimits{}, out);
    ASSERT_EQ(result.status, c.status) << result.detail;
    EXPECT_EQ(result.actual.rows, 64);
    EXPECT_EQ(result.actual.columns, 64);
    EXPECT_EQ(result.actual.bitsAllocated, c.declared.bitsAllocated);
    EXPECT_EQ(result.actual.bitsStored, c.streamBytes == 1 ? 8 : 16);
    EXPECT_EQ(out, Expected(source, from, to, c.extraSamples));
}

INSTANTIATE_TEST_SUITE_P(
    Containers, JpegLosslessCodecTest,
    ::testing::Values(ContainerCase{"Sixteen", Geometry(64, 64, 16), DecodeStatus::Decoded, 2, 0},
                      ContainerCase{"EightWidenedToSixteen", Geometry(64, 64, 16), DecodeStatus::Decoded, 1, 0},
                      ContainerCase{"SixteenWidenedToThirtyTwo", Geometry(64, 64, 32), DecodeStatus::Decoded, 2, 0},
                      ContainerCase{"EightBitSamplesAtSixteenNarrowed", Geometry(64, 64, 8), DecodeStatus::Decoded, 0,
                                    0},
                      // The data set promises six more rows than the stream holds: they read as 0.
                      ContainerCase{"RowsBeyondTheStreamReadZero", Geometry(70, 64, 16),
                                    DecodeStatus::DecodedWithWarning, 2, 6 * 64}),
    ByCaseName{});

TEST(JpegLosslessCodecFailureTest, RefusalsCarryTheDecodersCode)
{
    const Bytes stream = ReadFile(kFixtures / "mr_small_sv7.ljpeg");
    Bytes out(FrameBytes(Geometry(64, 64, 16)));
    // A frame smaller than the stream's samples.
    const DecodeResult small = DecodeJpegLossless(stream, Geometry(32, 64, 16), DecodeLimits{},
                                                  std::span(out).first(FrameBytes(Geometry(32, 64, 16))));
    EXPECT_EQ(small.status, DecodeStatus::Corrupt);
    EXPECT_EQ(small.detail, lossless::kCapacityExceeded);
    // More pixels than the caller allows.
    DecodeLimits limits;
    limits.maxPixels = 64 * 64 - 1;
    EXPECT_EQ(DecodeJpegLossless(stream, Geometry(64, 64, 16), limits, out).status, DecodeStatus::Corrupt);
    // Colour lossless is decoded (JpegLosslessColourTest checks its samples); only the one-component decoder
    // (LosslessFixtureTest) refuses it.
    const DecodeResult colour = DecodeJpegLossless(ReadFile(kFixtures / "rgb_odd_three_components.ljpeg"),
                                                   Geometry(3, 3, 8, 3), DecodeLimits{}, out);
    EXPECT_EQ(colour.status, DecodeStatus::Decoded);
    EXPECT_EQ(colour.actual.samplesPerPixel, 3);
    // A cut stream.
    const Bytes cut(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(stream.size() / 2));
    const DecodeResult truncated = DecodeJpegLossless(cut, Geometry(64, 64, 16), DecodeLimits{}, out);
    EXPECT_EQ(truncated.status, DecodeStatus::Corrupt);
    EXPECT_EQ(truncated.detail, lossless::kSourceExhausted);
}

} // namespace
} // namespace orblane::test
