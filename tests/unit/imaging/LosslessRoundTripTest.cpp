#include "LosslessTestUtil.h"
#include "imaging/LosslessDecoder.h"
#include "support/LosslessEncoder.h"

#include <gtest/gtest.h>

#include <tuple>

namespace orblane::test {
namespace {

struct RoundTripCase
{
    int precision;
    int width;
    int height;
    std::uint16_t restartInterval;
    TableChoice table;
    int predictor = 1;
};

class LosslessRoundTripTest : public ::testing::TestWithParam<RoundTripCase>
{
};

TEST_P(LosslessRoundTripTest, DecodesWhatWasEncodedBitExactly)
{
    const RoundTripCase c = GetParam();
    const std::vector<std::uint16_t> image =
        MakeTestImage(c.width, c.height, c.precision, static_cast<std::uint32_t>(c.precision * 31 + c.width));
    LosslessEncodeOptions options;
    options.precision = c.precision;
    options.width = c.width;
    options.height = c.height;
    options.restartInterval = c.restartInterval;
    options.table = c.table;
    options.predictor = c.predictor;
    const DecodeResult result = DecodeStreamBytes(EncodeLossless(image, options));
    ASSERT_EQ(result.code, 0);
    EXPECT_EQ(result.lines, c.height);
    EXPECT_EQ(result.samplesPerLine, c.width);
    EXPECT_EQ(result.containerBits, c.precision < 9 ? 8 : 16);
    EXPECT_EQ(result.precision, c.precision);
    EXPECT_EQ(result.highBit, c.precision - 1);
    EXPECT_EQ(result.samples, image);
}

std::string CaseName(const ::testing::TestParamInfo<RoundTripCase>& info)
{
    const RoundTripCase& c = info.param;
    const char* table = c.table == TableChoice::BuiltIn ? "BuiltIn" : "Optimal";
    return "P" + std::to_string(c.precision) + "_" + std::to_string(c.width) + "x" + std::to_string(c.height) + "_Ri" +
           std::to_string(c.restartInterval) + "_" + table + "_Sv" + std::to_string(c.predictor);
}

std::vector<RoundTripCase> Cases()
{
    std::vector<RoundTripCase> cases;
    for (int precision : {2, 8, 12, 15, 16})
    {
        for (TableChoice table : {TableChoice::Optimal, TableChoice::BuiltIn})
        {
            cases.push_back({precision, 37, 23, 0, table});
            cases.push_back({precision, 37, 23, 37, table}); // a marker after every line
        }
    }
    // Intervals that are not one line: several lines, part of a line, and one that straddles lines.
    cases.push_back({12, 16, 12, 32, TableChoice::Optimal});
    cases.push_back({12, 16, 12, 8, TableChoice::Optimal});
    cases.push_back({9, 16, 12, 11, TableChoice::Optimal});
    cases.push_back({8, 16, 12, 48, TableChoice::BuiltIn});
    // Degenerate shapes: one column (every sample predicted from above), one line, one sample.
    cases.push_back({12, 1, 40, 0, TableChoice::Optimal});
    cases.push_back({16, 1, 40, 1, TableChoice::BuiltIn});
    cases.push_back({8, 300, 1, 0, TableChoice::Optimal});
    cases.push_back({16, 1, 1, 0, TableChoice::Optimal});
    // More than eight intervals, so that the marker numbers wrap.
    cases.push_back({14, 64, 64, 64, TableChoice::Optimal});
    cases.push_back({14, 256, 256, 0, TableChoice::Optimal});
    // Selection values 2 to 7: 16 bits, where a + b - c and the halved sums leave the sample range at the image's
    // full-range jumps; a marker after every line in 8 bits, so that every line restarts on selection value 1; and
    // an interval that straddles lines, so that the line holding its start switches predictor mid-line.
    for (int predictor = 2; predictor <= 7; ++predictor)
    {
        cases.push_back({16, 37, 23, 0, TableChoice::Optimal, predictor});
        cases.push_back({8, 37, 23, 37, TableChoice::BuiltIn, predictor});
        cases.push_back({12, 16, 12, 11, TableChoice::Optimal, predictor});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Shapes, LosslessRoundTripTest, ::testing::ValuesIn(Cases()), CaseName);

TEST(LosslessRoundTripTest, SixteenBitExtremesUseCategorySixteen)
{
    // 0 after 32768 and 65535 after 32767 are differences of -32768 (sent as 32768) and 32768.
    const std::vector<std::uint16_t> image{0, 32768, 0, 65535, 32767, 65535, 0, 1, 65535, 0, 0, 0};
    for (TableChoice table : {TableChoice::Optimal, TableChoice::BuiltIn})
    {
        LosslessEncodeOptions options;
        options.precision = 16;
        options.width = 4;
        options.height = 3;
        options.table = table;
        const DecodeResult result = DecodeStreamBytes(EncodeLossless(image, options));
        ASSERT_EQ(result.code, 0);
        EXPECT_EQ(result.samples, image);
    }
}

TEST(LosslessRoundTripTest, LineCountFromDnlWithAndWithoutRestarts)
{
    const std::vector<std::uint16_t> image = MakeTestImage(20, 9, 12, 5);
    for (int interval : {0, 20})
    {
        LosslessEncodeOptions options;
        options.precision = 12;
        options.width = 20;
        options.height = 9;
        options.dnl = true;
        options.restartInterval = static_cast<std::uint16_t>(interval);
        const DecodeResult result = DecodeStreamBytes(EncodeLossless(image, options));
        ASSERT_EQ(result.code, 0) << "restart interval " << interval;
        EXPECT_EQ(result.lines, 9);
        EXPECT_EQ(result.samples, image);
    }
}

TEST(LosslessRoundTripTest, TableWhoseShortestCodeHasManyExtraBits)
{
    // Category 15 under the one 1-bit code, categories 0..12 under 5-bit codes: most of the table's weight needs more
    // bits than one look-up resolves, which changes how samples are decoded; the result must not change.
    HuffmanDefinition table;
    table.bits = {1, 0, 0, 0, 13};
    table.values = {15, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    for (int precision : {8, 12})
    {
        const std::vector<std::uint16_t> image = MakeTestImage(24, 8, precision, 4);
        LosslessEncodeOptions options;
        options.precision = precision;
        options.width = 24;
        options.height = 8;
        options.restartInterval = 24;
        options.table = TableChoice::Custom;
        options.custom = table;
        const DecodeResult result = DecodeStreamBytes(EncodeLossless(image, options));
        ASSERT_EQ(result.code, 0) << precision;
        EXPECT_EQ(result.samples, image) << precision;
    }
}

TEST(LosslessRoundTripTest, TableInAnotherSlotIsTheOneUsed)
{
    const std::vector<std::uint16_t> image = MakeTestImage(30, 10, 10, 9);
    LosslessEncodeOptions options;
    options.precision = 10;
    options.width = 30;
    options.height = 10;
    options.tableSlot = 3;
    const DecodeResult result = DecodeStreamBytes(EncodeLossless(image, options));
    ASSERT_EQ(result.code, 0);
    EXPECT_EQ(result.samples, image);
}

TEST(LosslessDecoderTest, OwnsPlaneZeroAndZeroesWhatTheStreamDidNotCover)
{
    const std::vector<std::uint16_t> image = MakeTestImage(8, 4, 12, 1);
    LosslessEncodeOptions options;
    options.precision = 12;
    options.width = 8;
    options.height = 4;
    const std::vector<std::uint8_t> stream = EncodeLossless(image, options);

    LosslessDecoder decoder(stream.data(), stream.size());
    EXPECT_EQ(decoder.Plane(0), nullptr);
    // The data set claims more rows than the stream has: the rows beyond it read as 0.
    ASSERT_EQ(decoder.Decode(6, 8, 16), 0);
    ASSERT_NE(decoder.Plane(0), nullptr);
    EXPECT_EQ(decoder.PlaneLength(0), 8u * 4u * 2u);
    EXPECT_EQ(decoder.Lines(), 4);
    EXPECT_EQ(decoder.SamplesPerLine(), 8);
    EXPECT_EQ(decoder.ContainerBits(), 16);
    EXPECT_EQ(decoder.Precision(), 12);
    EXPECT_EQ(decoder.HighBit(), 11);
    for (std::size_t i = 0; i < image.size(); ++i)
    {
        const std::uint8_t* plane = decoder.Plane(0);
        ASSERT_EQ(plane[2 * i] | (plane[2 * i + 1] << 8), image[i]) << i;
    }
    for (std::size_t i = image.size() * 2; i < 6u * 8u * 2u; ++i)
    {
        ASSERT_EQ(decoder.Plane(0)[i], 0) << i;
    }
    for (std::size_t p = 1; p < LosslessDecoder::kPlaneCount; ++p)
    {
        EXPECT_EQ(decoder.Plane(p), nullptr);
        EXPECT_EQ(decoder.PlaneLength(p), 0u);
    }
}

TEST(LosslessDecoderTest, FailureLeavesPlaneZeroEmptyEvenAfterAnEarlierSuccess)
{
    const std::vector<std::uint16_t> image = MakeTestImage(8, 4, 12, 1);
    LosslessEncodeOptions options;
    options.precision = 12;
    options.width = 8;
    options.height = 4;
    const std::vector<std::uint8_t> stream = EncodeLossless(image, options);
    LosslessDecoder decoder(stream.data(), stream.size());
    ASSERT_EQ(decoder.Decode(4, 8, 16), 0);
    // Rows * columns * bitsAllocated bytes is the capacity: one bit allocated leaves room for half the samples.
    EXPECT_EQ(decoder.Decode(4, 8, 1), lossless::kCapacityExceeded);
    EXPECT_EQ(decoder.Plane(0), nullptr);
    EXPECT_EQ(decoder.PlaneLength(0), 0u);

    LosslessDecoder empty(nullptr, 0);
    EXPECT_EQ(empty.Decode(4, 8, 16), lossless::kNullArgument);
    EXPECT_EQ(empty.Plane(0), nullptr);
}

} // namespace
} // namespace orblane::test
