// RLE Lossless against files other encoders wrote (DCMTK, the pydicom project's), and against frames built byte by
// byte whose expected samples are worked out by hand beside them.
#include "imaging/codecs/Codecs.h"
#include "support/CaseName.h"

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

const fs::path kData = fs::path(ORBLANE_TEST_DATA_DIR);

FrameGeometry Geometry(std::uint16_t rows, std::uint16_t columns, std::uint16_t samples, std::uint16_t bits)
{
    FrameGeometry g;
    g.rows = rows;
    g.columns = columns;
    g.samplesPerPixel = samples;
    g.bitsAllocated = bits;
    g.bitsStored = bits;
    g.colour = samples == 3 ? SampleColour::Rgb : SampleColour::Grey;
    return g;
}

// Little-endian samples of `bytes` each (as a .raw file holds them) in native order.
Bytes NativeFromLittleEndian(const Bytes& le, int bytes)
{
    Bytes out(le.size());
    for (std::size_t i = 0; i + static_cast<std::size_t>(bytes) <= le.size(); i += static_cast<std::size_t>(bytes))
    {
        std::uint32_t value = 0;
        for (int b = bytes - 1; b >= 0; --b)
        {
            value = (value << 8) | le[i + static_cast<std::size_t>(b)];
        }
        if (bytes == 1)
        {
            out[i] = static_cast<std::uint8_t>(value);
        }
        else if (bytes == 2)
        {
            const auto word = static_cast<std::uint16_t>(value);
            std::memcpy(&out[i], &word, 2);
        }
        else
        {
            std::memcpy(&out[i], &value, 4);
        }
    }
    return out;
}

// pydicom's SC_rgb images: ten bands of ten rows, each one colour; the band values as dcmdrle decodes them, in 8
// bits (the 16- and 32-bit files repeat the byte in every byte of the sample).
Bytes ColourBands(int bytes)
{
    constexpr std::uint8_t kBands[10][3] = {{255, 0, 0},     {255, 128, 128}, {0, 255, 0}, {128, 255, 128},
                                            {0, 0, 255},     {128, 128, 255}, {0, 0, 0},   {64, 64, 64},
                                            {192, 192, 192}, {255, 255, 255}};
    Bytes le;
    for (int row = 0; row < 100; ++row)
    {
        for (int column = 0; column < 100; ++column)
        {
            for (int s = 0; s < 3; ++s)
            {
                le.insert(le.end(), static_cast<std::size_t>(bytes), kBands[row / 10][s]);
            }
        }
    }
    return NativeFromLittleEndian(le, bytes);
}

struct FixtureCase
{
    const char* name;
    const char* stream;   // in codecs-rle/
    const char* expected; // little-endian samples, relative to the data folder; null for the colour bands
    FrameGeometry geometry;
};

class RleFixtureTest : public ::testing::TestWithParam<FixtureCase>
{
};

TEST_P(RleFixtureTest, DecodesToTheSourceSamples)
{
    const FixtureCase& c = GetParam();
    const Bytes stream = ReadFile(kData / "codecs-rle" / c.stream);
    const int bytes = static_cast<int>(ContainerBytes(c.geometry.bitsAllocated));
    const Bytes expected =
        c.expected != nullptr ? NativeFromLittleEndian(ReadFile(kData / c.expected), bytes) : ColourBands(bytes);
    // Exactly the frame's size, filled with a value no sample of these images has everywhere.
    Bytes out(FrameBytes(c.geometry), 0xA5);
    ASSERT_EQ(out.size(), expected.size());
    const DecodeResult result = DecodeRle(stream, c.geometry, DecodeLimits{}, out);
    EXPECT_EQ(result.status, DecodeStatus::Decoded);
    EXPECT_EQ(result.actual.rows, c.geometry.rows);
    EXPECT_EQ(result.actual.columns, c.geometry.columns);
    EXPECT_EQ(result.actual.samplesPerPixel, c.geometry.samplesPerPixel);
    EXPECT_EQ(out, expected);
}

INSTANTIATE_TEST_SUITE_P(
    OtherEncoders, RleFixtureTest,
    ::testing::Values(
        FixtureCase{"Grey16", "mr_small_rle.rle", "jpegll/mr_small_p16.raw", Geometry(64, 64, 1, 16)},
        FixtureCase{"Grey8", "mr_small_p8_dcmcrle.rle", "jpegll/mr_small_p8.raw", Geometry(64, 64, 1, 8)},
        FixtureCase{"Grey32", "rtdose_rle_1frame.rle", "codecs-rle/rtdose_1frame.raw", Geometry(10, 10, 1, 32)},
        FixtureCase{"Rgb8Odd", "rgb_small_odd_dcmcrle.rle", "codecs-rle/rgb_small_odd.raw", Geometry(3, 3, 3, 8)},
        FixtureCase{"Rgb8", "sc_rgb_rle.rle", nullptr, Geometry(100, 100, 3, 8)},
        FixtureCase{"Rgb16", "sc_rgb_rle_16bit.rle", nullptr, Geometry(100, 100, 3, 16)},
        FixtureCase{"Rgb32", "sc_rgb_rle_32bit.rle", nullptr, Geometry(100, 100, 3, 32)}),
    ByCaseName{});

// A frame of the given segments, each placed right after the one before.
Bytes Frame(const std::vector<Bytes>& segments)
{
    Bytes out(64, 0);
    out[0] = static_cast<std::uint8_t>(segments.size());
    std::uint32_t offset = 64;
    for (std::size_t i = 0; i < segments.size(); ++i)
    {
        for (std::size_t b = 0; b < 4; ++b)
        {
            out[4 + 4 * i + b] = static_cast<std::uint8_t>(offset >> (8 * b));
        }
        offset += static_cast<std::uint32_t>(segments[i].size());
    }
    for (const Bytes& segment : segments)
    {
        out.insert(out.end(), segment.begin(), segment.end());
    }
    return out;
}

struct RunCase
{
    const char* name;
    FrameGeometry geometry;
    Bytes frame;
    DecodeStatus status;
    Bytes expected; // native-endian output bytes
};

class RleRunTest : public ::testing::TestWithParam<RunCase>
{
};

TEST_P(RleRunTest, PackBitsRunsFillThePlanes)
{
    const RunCase& c = GetParam();
    Bytes out(FrameBytes(c.geometry), 0xEE); // stale bytes must not survive where a segment ran short
    const DecodeResult result = DecodeRle(c.frame, c.geometry, DecodeLimits{}, out);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(out, c.expected);
}

std::uint16_t Native16(std::uint8_t high, std::uint8_t low)
{
    return static_cast<std::uint16_t>(high << 8 | low);
}

Bytes Words(std::initializer_list<std::uint16_t> words)
{
    Bytes out(words.size() * 2);
    std::memcpy(out.data(), std::data(words), out.size());
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    HandBuilt, RleRunTest,
    ::testing::Values(
        // 02 = three literal bytes; FE = the next byte three times; 80 is a no-operation.
        RunCase{"LiteralNoOpReplicate",
                Geometry(2, 3, 1, 8),
                Frame({{0x02, 1, 2, 3, 0x80, 0xFE, 9}}),
                DecodeStatus::Decoded,
                {1, 2, 3, 9, 9, 9}},
        // A replicate run of 128 (81) over a 2 x 3 plane: the six it needs, the rest clipped; the segment's pad byte
        // after it is never reached.
        RunCase{"RunPastThePlaneIsClipped",
                Geometry(2, 3, 1, 8),
                Frame({{0x81, 7, 0x00}}),
                DecodeStatus::Decoded,
                {7, 7, 7, 7, 7, 7}},
        // A literal run of four (03) cut by the segment's end after two bytes; the rest of the plane reads 0.
        RunCase{"LiteralCutByTheSegmentEnd",
                Geometry(2, 3, 1, 8),
                Frame({{0x03, 5, 6}}),
                DecodeStatus::DecodedWithWarning,
                {5, 6, 0, 0, 0, 0}},
        // A replicate header with no byte to repeat.
        RunCase{"ReplicateWithoutItsByte",
                Geometry(1, 4, 1, 8),
                Frame({{0x00, 4, 0xFD}}),
                DecodeStatus::DecodedWithWarning,
                {4, 0, 0, 0}},
        // 16 bits: the high bytes' segment first. Pixels 0x0102 0x0103 0x0104; the low segment stops after two.
        RunCase{"SixteenBitsHighByteFirst", Geometry(1, 3, 1, 16), Frame({{0xFE, 1}, {0x01, 2, 3}}),
                DecodeStatus::DecodedWithWarning, Words({Native16(1, 2), Native16(1, 3), Native16(1, 0)})},
        // Colour: the R, G and B planes interleaved.
        RunCase{"ColourPlanesInterleave",
                Geometry(1, 2, 3, 8),
                Frame({{0x01, 10, 11}, {0xFF, 20}, {0x01, 30, 31}}),
                DecodeStatus::Decoded,
                {10, 20, 30, 11, 20, 31}}),
    ByCaseName{});

struct HeaderCase
{
    const char* name;
    FrameGeometry geometry;
    Bytes frame;
    std::uint64_t maxPixels;
    std::size_t outBytes;
    DecodeStatus status;
};

class RleHeaderTest : public ::testing::TestWithParam<HeaderCase>
{
};

TEST_P(RleHeaderTest, RefusedWithoutTouchingTheOutput)
{
    const HeaderCase& c = GetParam();
    Bytes out(c.outBytes, 0xEE);
    DecodeLimits limits;
    limits.maxPixels = c.maxPixels;
    const DecodeResult result = DecodeRle(c.frame, c.geometry, limits, out);
    EXPECT_EQ(result.status, c.status);
    EXPECT_NE(result.detail, 0);
    EXPECT_EQ(out, Bytes(c.outBytes, 0xEE));
}

Bytes WithWord(Bytes frame, std::size_t at, std::uint32_t value)
{
    for (std::size_t b = 0; b < 4; ++b)
    {
        frame[at + b] = static_cast<std::uint8_t>(value >> (8 * b));
    }
    return frame;
}

const Bytes kTwoSegments = Frame({{0x00, 1}, {0x00, 2}});

INSTANTIATE_TEST_SUITE_P(
    Header, RleHeaderTest,
    ::testing::Values(
        HeaderCase{"ShorterThanTheHeader", Geometry(1, 1, 1, 8), Bytes(63, 0), 0, 1, DecodeStatus::Corrupt},
        HeaderCase{"CountNotSamplesTimesBytes", Geometry(1, 1, 1, 8), kTwoSegments, 0, 1, DecodeStatus::Corrupt},
        HeaderCase{"CountAboveFifteen", Geometry(1, 1, 1, 8), WithWord(kTwoSegments, 0, 16), 0, 1,
                   DecodeStatus::Corrupt},
        HeaderCase{"OffsetInsideTheHeader", Geometry(1, 1, 1, 16), WithWord(kTwoSegments, 4, 60), 0, 2,
                   DecodeStatus::Corrupt},
        HeaderCase{"OffsetsNotRising", Geometry(1, 1, 1, 16), WithWord(kTwoSegments, 8, 64), 0, 2,
                   DecodeStatus::Corrupt},
        HeaderCase{"OffsetAtTheEnd", Geometry(1, 1, 1, 16), WithWord(kTwoSegments, 8, 68), 0, 2, DecodeStatus::Corrupt},
        HeaderCase{"OffsetFarPastTheEnd", Geometry(1, 1, 1, 16), WithWord(kTwoSegments, 8, 0xFFFFFFF0u), 0, 2,
                   DecodeStatus::Corrupt},
        HeaderCase{"OutputTooSmall", Geometry(1, 1, 1, 16), kTwoSegments, 0, 1, DecodeStatus::Corrupt},
        HeaderCase{"MorePixelsThanTheLimit", Geometry(2, 1, 1, 16), kTwoSegments, 1, 4, DecodeStatus::Corrupt},
        HeaderCase{"TwelveBitContainer", Geometry(1, 1, 1, 12), kTwoSegments, 0, 2, DecodeStatus::Unsupported},
        HeaderCase{"TwoSamples", Geometry(1, 1, 2, 8), kTwoSegments, 0, 2, DecodeStatus::Unsupported}),
    ByCaseName{});

TEST(RleCodecTest, EveryTruncationFailsOrWarnsAndNeverReadsPastTheFrame)
{
    // Exact-size copies, so that AddressSanitizer sees any read past the end.
    const Bytes stream = ReadFile(kData / "codecs-rle" / "sc_rgb_rle_16bit.rle");
    const FrameGeometry geometry = Geometry(100, 100, 3, 16);
    Bytes whole(FrameBytes(geometry));
    ASSERT_EQ(DecodeRle(stream, geometry, DecodeLimits{}, whole).status, DecodeStatus::Decoded);
    Bytes out(FrameBytes(geometry));
    for (std::size_t length = 0; length < stream.size(); ++length)
    {
        const Bytes cut(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(length));
        const DecodeStatus status = DecodeRle(cut, geometry, DecodeLimits{}, out).status;
        // Only a segment's pad byte can go unmissed.
        if (status == DecodeStatus::Decoded)
        {
            ASSERT_EQ(out, whole) << length;
            continue;
        }
        ASSERT_TRUE(status == DecodeStatus::Corrupt || status == DecodeStatus::DecodedWithWarning) << length;
    }
}

} // namespace
} // namespace orblane::test
