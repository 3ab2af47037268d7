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

constexpr std::uint8_t kRst0[] = {0xFF, 0xD0};
constexpr std::uint8_t kRst1[] = {0xFF, 0xD1};

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

// Offset of the first marker `code` among the header segments, or npos.
std::size_t FindSegment(const std::vector<std::uint8_t>& stream, std::uint8_t code)
{
    std::size_t at = 2;
    while (at + 4 <= stream.size() && stream[at] == 0xFF)
    {
        if (stream[at + 1] == code)
        {
            return at;
        }
        if (stream[at + 1] == 0xDA)
        {
            break;
        }
        at += 2 + ((std::size_t{stream[at + 2]} << 8) | stream[at + 3]);
    }
    return std::string::npos;
}

struct RefusalCase
{
    const char* name;
    DecodeStatus status;
    // Changes the stream, the limit or the output size of a good 256 x 256 12-bit decode.
    void (*change)(std::vector<std::uint8_t>& stream, DecodeLimits& limits, std::size_t& outBytes);
};

class JpegExtendedRefusalTest : public ::testing::TestWithParam<RefusalCase>
{
};

TEST_P(JpegExtendedRefusalTest, RefusesWithoutWritingOutput)
{
    const RefusalCase& c = GetParam();
    std::vector<std::uint8_t> stream = ReadFile(kFixtures / "phantom256_q90.jpg");
    DecodeLimits limits;
    limits.maxPixels = MaxPixelsForStream(stream.size());
    std::size_t outBytes = 256 * 256 * 2;
    c.change(stream, limits, outBytes);
    std::vector<std::uint8_t> out(outBytes, 0xAB);
    const DecodeResult result = DecodeJpegExtended(stream, Declared(256, 256, 1, 12), limits, out);
    EXPECT_EQ(result.status, c.status);
    EXPECT_NE(result.detail, 0);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](std::uint8_t b) { return b == 0xAB; }));
}

void SetFrameMarker(std::vector<std::uint8_t>& stream, std::uint8_t code)
{
    stream[FindSegment(stream, 0xC1) + 1] = code;
}

INSTANTIATE_TEST_SUITE_P(
    Streams, JpegExtendedRefusalTest,
    ::testing::Values(
        RefusalCase{"Progressive", DecodeStatus::Unsupported,
                    [](std::vector<std::uint8_t>& s, DecodeLimits&, std::size_t&) { SetFrameMarker(s, 0xC2); }},
        RefusalCase{"Lossless", DecodeStatus::Unsupported,
                    [](std::vector<std::uint8_t>& s, DecodeLimits&, std::size_t&) { SetFrameMarker(s, 0xC3); }},
        RefusalCase{"ArithmeticCoded", DecodeStatus::Unsupported,
                    [](std::vector<std::uint8_t>& s, DecodeLimits&, std::size_t&) { SetFrameMarker(s, 0xC9); }},
        RefusalCase{
            "SixteenBitPrecision", DecodeStatus::Unsupported,
            [](std::vector<std::uint8_t>& s, DecodeLimits&, std::size_t&) { s[FindSegment(s, 0xC1) + 4] = 16; }},
        RefusalCase{"MorePixelsThanTheLimit", DecodeStatus::Corrupt,
                    [](std::vector<std::uint8_t>&, DecodeLimits& l, std::size_t&) { l.maxPixels = 256 * 256 - 1; }},
        RefusalCase{"OutputOneByteShort", DecodeStatus::Corrupt,
                    [](std::vector<std::uint8_t>&, DecodeLimits&, std::size_t& n) { --n; }},
        RefusalCase{"NoStartOfImage", DecodeStatus::Corrupt,
                    [](std::vector<std::uint8_t>& s, DecodeLimits&, std::size_t&) { s[1] = 0xD9; }},
        // The tables' segment becomes an APP1 segment: the scan names tables nobody defined.
        RefusalCase{
            "HuffmanTablesMissing", DecodeStatus::Corrupt,
            [](std::vector<std::uint8_t>& s, DecodeLimits&, std::size_t&) { s[FindSegment(s, 0xC4) + 1] = 0xE1; }},
        RefusalCase{
            "HeaderCutShort", DecodeStatus::Corrupt,
            [](std::vector<std::uint8_t>& s, DecodeLimits&, std::size_t&) { s.resize(FindSegment(s, 0xDB) + 20); }}),
    ByCaseName{});

struct DamageCase
{
    const char* name;
    void (*damage)(std::vector<std::uint8_t>& stream, std::size_t rst0, std::size_t rst1);
};

class JpegExtendedDamageTest : public ::testing::TestWithParam<DamageCase>
{
};

// A damaged restart interval costs that interval only: its blocks read 0, every other block is as the IJG decoder
// made it from the intact stream.
TEST_P(JpegExtendedDamageTest, LosesOnlyTheDamagedRestartInterval)
{
    std::vector<std::uint8_t> stream = ReadFile(kFixtures / "grey12_restart5.jpg");
    const std::vector<std::uint8_t> expected = ReadFile(kFixtures / "grey12_restart5.raw");
    const auto rst0 =
        static_cast<std::size_t>(std::search(stream.begin(), stream.end(), kRst0, kRst0 + 2) - stream.begin());
    const auto rst1 =
        static_cast<std::size_t>(std::search(stream.begin(), stream.end(), kRst1, kRst1 + 2) - stream.begin());
    ASSERT_LT(rst1, stream.size());
    GetParam().damage(stream, rst0, rst1);
    const Decoded d = Decode(stream, Declared(45, 61, 1, 12));
    ASSERT_EQ(d.result.status, DecodeStatus::DecodedWithWarning);
    // 61 x 45 is 8 x 6 blocks; the interval of five after the first holds blocks 5 to 9.
    for (std::size_t y = 0; y < 45; ++y)
    {
        for (std::size_t x = 0; x < 61; ++x)
        {
            const std::size_t block = (y / 8) * 8 + x / 8;
            const std::size_t i = y * 61 + x;
            const unsigned want = block >= 5 && block <= 9 ? 0u : Sample(expected, i, true, true);
            ASSERT_EQ(Sample(d.out, i, true, false), want) << "row " << y << " column " << x;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, JpegExtendedDamageTest,
                         ::testing::Values(
                             // The second interval and its marker are lost: RST1 arrives where RST0 was expected.
                             DamageCase{"IntervalMissing",
                                        [](std::vector<std::uint8_t>& s, std::size_t rst0, std::size_t rst1) {
                                            s.erase(s.begin() + static_cast<std::ptrdiff_t>(rst0),
                                                    s.begin() + static_cast<std::ptrdiff_t>(rst1));
                                        }},
                             // The second interval's data becomes all one-bits, which no code of the tables begins.
                             DamageCase{"IntervalUndecodable",
                                        [](std::vector<std::uint8_t>& s, std::size_t rst0, std::size_t rst1) {
                                            std::vector<std::uint8_t> ones;
                                            for (std::size_t i = rst0 + 2; i < rst1; i += 2)
                                            {
                                                ones.insert(ones.end(), {0xFF, 0x00});
                                            }
                                            s.erase(s.begin() + static_cast<std::ptrdiff_t>(rst0 + 2),
                                                    s.begin() + static_cast<std::ptrdiff_t>(rst1));
                                            s.insert(s.begin() + static_cast<std::ptrdiff_t>(rst0 + 2), ones.begin(),
                                                     ones.end());
                                        }}),
                         ByCaseName{});

TEST(JpegExtendedCodecTest, StreamCutShortKeepsTheRowsBeforeTheCut)
{
    std::vector<std::uint8_t> stream = ReadFile(kFixtures / "phantom256_q90.jpg");
    const std::vector<std::uint8_t> expected = ReadFile(kFixtures / "phantom256_q90.raw");
    stream.resize(stream.size() / 2);
    const Decoded d = Decode(stream, Declared(256, 256, 1, 12), 256 * 256 * 2);
    ASSERT_EQ(d.result.status, DecodeStatus::DecodedWithWarning);
    std::size_t same = 0;
    while (same < 256 * 256 && Sample(d.out, same, true, false) == Sample(expected, same, true, true))
    {
        ++same;
    }
    EXPECT_GE(same, 256u * 8); // at least the first row of blocks
    for (std::size_t i = 256 * 248; i < 256 * 256; ++i)
    {
        ASSERT_EQ(Sample(d.out, i, true, false), 0u) << "sample " << i;
    }
}

} // namespace
} // namespace orblane::test
