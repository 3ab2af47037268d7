// JPEG lossless of two to four components behind the codec contract: every sample of every component exactly as
// encoded, interleaved per pixel, whatever the scan layout. Expected samples are the sources: the test encoder's
// for the layouts no archive tool writes (non-interleaved, restart intervals, DNL, two and four components), and the
// DCMTK and GDCM streams' own sources (../jpegll/README.md) for the streams this project did not write.
#include "imaging/LosslessJpeg.h"
#include "imaging/codecs/Codecs.h"
#include "support/CaseName.h"
#include "support/LosslessEncoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
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

FrameGeometry Colour(std::uint16_t rows, std::uint16_t columns, std::uint16_t bits, std::uint16_t samples,
                     SampleColour colour = SampleColour::Rgb)
{
    FrameGeometry g;
    g.rows = rows;
    g.columns = columns;
    g.samplesPerPixel = samples;
    g.bitsAllocated = bits <= 8 ? 8 : 16;
    g.bitsStored = bits;
    g.colour = colour;
    return g;
}

// The samples as the contract lays them out: native words in the declared container.
Bytes Native(const std::vector<std::uint16_t>& samples, std::uint16_t bitsAllocated)
{
    Bytes out(samples.size() * ContainerBytes(bitsAllocated));
    for (std::size_t i = 0; i < samples.size(); ++i)
    {
        if (bitsAllocated <= 8)
        {
            out[i] = static_cast<std::uint8_t>(samples[i]);
        }
        else
        {
            std::memcpy(&out[2 * i], &samples[i], 2);
        }
    }
    return out;
}

std::vector<std::uint16_t> FromLittleEndian(const Bytes& raw, int bits)
{
    std::vector<std::uint16_t> samples;
    for (std::size_t i = 0; i < raw.size(); i += bits <= 8 ? 1 : 2)
    {
        samples.push_back(bits <= 8 ? raw[i] : static_cast<std::uint16_t>(raw[i] | (raw[i + 1] << 8)));
    }
    return samples;
}

// Components of one picture, each its own content, interleaved per pixel.
std::vector<std::uint16_t> Interleaved(int width, int height, int precision, int components)
{
    std::vector<std::uint16_t> out(static_cast<std::size_t>(width) * height * components);
    for (int c = 0; c < components; ++c)
    {
        const std::vector<std::uint16_t> plane =
            MakeTestImage(width, height, precision, static_cast<std::uint32_t>(17 + c));
        for (std::size_t i = 0; i < plane.size(); ++i)
        {
            out[i * components + static_cast<std::size_t>(c)] = plane[i];
        }
    }
    return out;
}

struct LayoutCase
{
    std::string name;
    int components;
    int predictor;
    bool interleaved;
    int precision;
    std::uint16_t restartInterval = 0;
    bool dnl = false;
    SampleColour colour = SampleColour::Rgb;
};

std::vector<LayoutCase> LayoutCases()
{
    std::vector<LayoutCase> cases;
    for (int sv = 1; sv <= 7; ++sv)
    {
        cases.push_back({"Rgb_Sv" + std::to_string(sv) + "_Interleaved_8Bit", 3, sv, true, 8});
        cases.push_back({"Rgb_Sv" + std::to_string(sv) + "_ScanEach_16Bit", 3, sv, false, 16});
    }
    cases.push_back({"Two_Sv5_Interleaved_12Bit", 2, 5, true, 12});
    cases.push_back({"Two_Sv1_ScanEach_8Bit", 2, 1, false, 8});
    cases.push_back({"Four_Sv7_ScanEach_10Bit", 4, 7, false, 10});
    cases.push_back({"Four_Sv4_Interleaved_16Bit", 4, 4, true, 16});
    // An interval of 7 pixels starts mid-line; one of 46 spans two lines and a bit.
    cases.push_back({"Rgb_Sv6_Interleaved_12Bit_Restart7", 3, 6, true, 12, 7});
    cases.push_back({"Rgb_Sv2_ScanEach_8Bit_Restart46", 3, 2, false, 8, 46});
    cases.push_back({"Rgb_Sv3_Interleaved_8Bit_LinesFromDnl", 3, 3, true, 8, 0, true});
    cases.push_back({"Rgb_Sv7_ScanEach_16Bit_LinesFromDnl", 3, 7, false, 16, 0, true});
    cases.push_back({"Rgb_Sv4_ScanEach_12Bit_Restart23_LinesFromDnl", 3, 4, false, 12, 23, true});
    cases.push_back({"YbrFull_Sv1_Interleaved_8Bit", 3, 1, true, 8, 0, false, SampleColour::YbrFull});
    return cases;
}

class JpegLosslessColourTest : public ::testing::TestWithParam<LayoutCase>
{
};

TEST_P(JpegLosslessColourTest, DecodesEveryComponentInterleaved)
{
    const LayoutCase& c = GetParam();
    constexpr int kWidth = 23;
    constexpr int kHeight = 13;
    const std::vector<std::uint16_t> samples = Interleaved(kWidth, kHeight, c.precision, c.components);
    LosslessEncodeOptions options;
    options.precision = c.precision;
    options.width = kWidth;
    options.height = kHeight;
    options.predictor = c.predictor;
    options.restartInterval = c.restartInterval;
    options.dnl = c.dnl;
    options.components = c.components;
    options.interleaved = c.interleaved;
    const Bytes stream = EncodeLossless(samples, options);

    const FrameGeometry declared = Colour(kHeight, kWidth, static_cast<std::uint16_t>(c.precision),
                                          static_cast<std::uint16_t>(c.components), c.colour);
    // Exactly the declared frame, filled with what a fresh buffer might hold.
    Bytes out(FrameBytes(declared), 0xEE);
    const DecodeResult result = DecodeJpegLossless(stream, declared, DecodeLimits{}, out);
    ASSERT_EQ(result.status, DecodeStatus::Decoded) << result.detail;
    EXPECT_EQ(result.actual.rows, kHeight);
    EXPECT_EQ(result.actual.columns, kWidth);
    EXPECT_EQ(result.actual.samplesPerPixel, c.components);
    EXPECT_EQ(result.actual.bitsStored, c.precision);
    // The stream has no colour transform of its own: the samples are in the model the data set declares.
    EXPECT_EQ(result.actual.colour, c.colour);
    EXPECT_EQ(out, Native(samples, declared.bitsAllocated));
}

INSTANTIATE_TEST_SUITE_P(Layouts, JpegLosslessColourTest, ::testing::ValuesIn(LayoutCases()), ByCaseName{});

struct FixtureCase
{
    const char* name;
    const char* stream;
    const char* expected; // the source's samples, little-endian
    int bits;
};

class JpegLosslessColourFixtureTest : public ::testing::TestWithParam<FixtureCase>
{
};

TEST_P(JpegLosslessColourFixtureTest, DecodesOtherEncodersStreamsToTheirSource)
{
    const FixtureCase& c = GetParam();
    const Bytes stream = ReadFile(kFixtures / c.stream);
    const std::vector<std::uint16_t> expected = FromLittleEndian(ReadFile(kFixtures / c.expected), c.bits);
    ASSERT_EQ(expected.size(), 20u * 24u * 3u);
    const FrameGeometry declared = Colour(20, 24, static_cast<std::uint16_t>(c.bits), 3);
    Bytes out(FrameBytes(declared), 0xEE);
    const DecodeResult result = DecodeJpegLossless(stream, declared, DecodeLimits{}, out);
    ASSERT_EQ(result.status, DecodeStatus::Decoded) << result.detail;
    EXPECT_EQ(result.actual.samplesPerPixel, 3);
    EXPECT_EQ(out, Native(expected, declared.bitsAllocated));
}

INSTANTIATE_TEST_SUITE_P(
    Encoders, JpegLosslessColourFixtureTest,
    ::testing::Values(FixtureCase{"Dcmtk_Sv1_8Bit", "rgb8_sv1.ljpeg", "rgb8.raw", 8},
                      FixtureCase{"Dcmtk_Sv2_8Bit", "rgb8_sv2.ljpeg", "rgb8.raw", 8},
                      FixtureCase{"Dcmtk_Sv3_8Bit", "rgb8_sv3.ljpeg", "rgb8.raw", 8},
                      FixtureCase{"Dcmtk_Sv4_8Bit", "rgb8_sv4.ljpeg", "rgb8.raw", 8},
                      FixtureCase{"Dcmtk_Sv5_8Bit", "rgb8_sv5.ljpeg", "rgb8.raw", 8},
                      FixtureCase{"Dcmtk_Sv6_8Bit", "rgb8_sv6.ljpeg", "rgb8.raw", 8},
                      FixtureCase{"Dcmtk_Sv7_8Bit", "rgb8_sv7.ljpeg", "rgb8.raw", 8},
                      FixtureCase{"Dcmtk_Sv6_PointTransform3_8Bit", "rgb8_sv6_pt3.ljpeg", "rgb8_sv6_pt3.raw", 8},
                      FixtureCase{"Gdcm_Sv1_8Bit", "rgb8_gdcm.ljpeg", "rgb8.raw", 8},
                      FixtureCase{"Dcmtk_Sv1_16Bit", "rgb16_sv1.ljpeg", "rgb16.raw", 16},
                      FixtureCase{"Dcmtk_Sv2_16Bit", "rgb16_sv2.ljpeg", "rgb16.raw", 16},
                      FixtureCase{"Dcmtk_Sv3_16Bit", "rgb16_sv3.ljpeg", "rgb16.raw", 16},
                      FixtureCase{"Dcmtk_Sv4_16Bit", "rgb16_sv4.ljpeg", "rgb16.raw", 16},
                      FixtureCase{"Dcmtk_Sv5_16Bit", "rgb16_sv5.ljpeg", "rgb16.raw", 16},
                      FixtureCase{"Dcmtk_Sv6_16Bit", "rgb16_sv6.ljpeg", "rgb16.raw", 16},
                      FixtureCase{"Dcmtk_Sv7_16Bit", "rgb16_sv7.ljpeg", "rgb16.raw", 16},
                      FixtureCase{"Dcmtk_Sv6_PointTransform3_16Bit", "rgb16_sv6_pt3.ljpeg", "rgb16_sv6_pt3.raw", 16},
                      FixtureCase{"Gdcm_Sv1_16Bit", "rgb16_gdcm.ljpeg", "rgb16.raw", 16}),
    ByCaseName{});

// The byte offset of the first `marker` at or after `from`.
std::size_t Find(const Bytes& stream, std::uint8_t marker, std::size_t from = 0)
{
    for (std::size_t i = from; i + 1 < stream.size(); ++i)
    {
        if (stream[i] == 0xFF && stream[i + 1] == marker)
        {
            return i;
        }
    }
    return stream.size();
}

Bytes EncodedRgb(bool interleaved, std::uint16_t restartInterval = 0, int components = 3)
{
    LosslessEncodeOptions options;
    options.precision = 8;
    options.width = 9;
    options.height = 5;
    options.predictor = 4;
    options.components = components;
    options.interleaved = interleaved;
    options.restartInterval = restartInterval;
    return EncodeLossless(Interleaved(9, 5, 8, components), options);
}

TEST(JpegLosslessColourDamageTest, RefusesWhatItCannotPlaceAndNeverLeavesTheBuffer)
{
    const FrameGeometry declared = Colour(5, 9, 8, 3);
    const auto decode = [&](const Bytes& stream, const FrameGeometry& geometry) {
        // An exact-size copy, so that AddressSanitizer sees any read past its end.
        const Bytes copy(stream);
        Bytes out(FrameBytes(geometry), 0xEE);
        return DecodeJpegLossless(copy, geometry, DecodeLimits{}, out);
    };
    const Bytes interleaved = EncodedRgb(true);
    const Bytes separate = EncodedRgb(false);
    const std::size_t sof = Find(interleaved, 0xC3);

    // Subsampled chroma (H = 2 for the second component) is refused as unsupported, not decoded wrongly.
    Bytes subsampled = interleaved;
    subsampled[sof + 10 + 3 + 1] = 0x21;
    EXPECT_EQ(decode(subsampled, declared).status, DecodeStatus::Unsupported);
    EXPECT_EQ(decode(subsampled, declared).detail, lossless::kSofHorizontal);

    // Three components where the data set declares a grey pixel (or four where it declares three).
    const DecodeResult grey = decode(interleaved, Colour(5, 9, 8, 1));
    EXPECT_EQ(grey.status, DecodeStatus::Unsupported);
    EXPECT_EQ(grey.detail, lossless::kSofComponents);
    EXPECT_EQ(decode(EncodedRgb(true, 0, 4), declared).status, DecodeStatus::Unsupported);

    // A scan selecting a component the frame does not have, or one an earlier scan coded.
    Bytes unknown = interleaved;
    const std::size_t sos = Find(interleaved, 0xDA);
    unknown[sos + 5 + 2] = 9;
    EXPECT_EQ(decode(unknown, declared).detail, lossless::kSosSelector);
    Bytes twice = separate;
    const std::size_t secondScan = Find(separate, 0xDA, Find(separate, 0xDA) + 2);
    twice[secondScan + 5] = 1;
    EXPECT_EQ(decode(twice, declared).detail, lossless::kSosSelector);
    // EOI after two of the three scans.
    Bytes missing(separate.begin(), separate.begin() + static_cast<std::ptrdiff_t>(Find(separate, 0xC4, secondScan)));
    missing.insert(missing.end(), {0xFF, 0xD9});
    EXPECT_EQ(decode(missing, declared).status, DecodeStatus::Corrupt);
    EXPECT_EQ(decode(missing, declared).detail, lossless::kComponentsMissing);

    // Cut anywhere, either layout fails and stays in bounds.
    for (const Bytes* whole : {&interleaved, &separate})
    {
        for (std::size_t length = 0; length < whole->size(); ++length)
        {
            const Bytes cut(whole->begin(), whole->begin() + static_cast<std::ptrdiff_t>(length));
            const DecodeStatus status = decode(cut, declared).status;
            EXPECT_TRUE(status == DecodeStatus::Corrupt || status == DecodeStatus::Unsupported) << length;
        }
    }
}

TEST(JpegLosslessColourDamageTest, AnIntervalCutShortByItsRestartMarkerReadsZeroInEveryComponent)
{
    // Restart intervals of 9 pixels (one line each). The first interval loses its last bytes: the decode resumes at
    // its marker, and the pixels the interval could not finish are 0 in all three components.
    const Bytes stream = EncodedRgb(true, 9);
    const std::size_t firstRestart = Find(stream, 0xD0);
    const std::size_t sos = Find(stream, 0xDA);
    const std::size_t dataStart = sos + 2 + 12;
    ASSERT_GT(firstRestart, dataStart + 4);
    Bytes damaged(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(dataStart + 4));
    damaged.insert(damaged.end(), stream.begin() + static_cast<std::ptrdiff_t>(firstRestart), stream.end());

    const FrameGeometry declared = Colour(5, 9, 8, 3);
    Bytes out(FrameBytes(declared), 0xEE);
    const DecodeResult result = DecodeJpegLossless(damaged, declared, DecodeLimits{}, out);
    ASSERT_TRUE(result.Ok()) << result.detail;
    const Bytes expected = Native(Interleaved(9, 5, 8, 3), 8);
    // Four bytes hold at most 32 bits: fewer than the line's 27 samples need, so its end is 0.
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin() + 8 * 3, out.begin() + 9 * 3), Bytes(3, 0));
    // The lines of the later intervals are whole.
    EXPECT_EQ(Bytes(out.begin() + 9 * 3, out.end()), Bytes(expected.begin() + 9 * 3, expected.end()));
}

} // namespace
} // namespace orblane::test
