// Stream structure, segment checks and entropy-coded edge cases, on streams built byte by byte or derived from the
// test encoder's output. Expected samples of the hand-built streams are worked out by hand in the comments.
#include "LosslessTestUtil.h"
#include "support/LosslessEncoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>

namespace orblane::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace lossless;

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
    {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

const Bytes kSoi{0xFF, 0xD8};
const Bytes kEoi{0xFF, 0xD9};

Bytes Sof3(int precision, int lines, int width, int components = 1, std::uint8_t sampling = 0x11)
{
    Bytes out{0xFF,
              0xC3,
              0,
              static_cast<std::uint8_t>(8 + 3 * components),
              static_cast<std::uint8_t>(precision),
              static_cast<std::uint8_t>(lines >> 8),
              static_cast<std::uint8_t>(lines),
              static_cast<std::uint8_t>(width >> 8),
              static_cast<std::uint8_t>(width),
              static_cast<std::uint8_t>(components)};
    for (int c = 0; c < components; ++c)
    {
        out.insert(out.end(), {static_cast<std::uint8_t>(c + 1), sampling, 0});
    }
    return out;
}

Bytes Dht(std::uint8_t classIndex, const std::array<std::uint8_t, 16>& bits, const Bytes& values)
{
    const std::size_t length = 19 + values.size();
    Bytes out{0xFF, 0xC4, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length), classIndex};
    out.insert(out.end(), bits.begin(), bits.end());
    out.insert(out.end(), values.begin(), values.end());
    return out;
}

Bytes Sos(std::uint8_t tables = 0x00, std::uint8_t predictor = 1, std::uint8_t pointTransform = 0)
{
    return {0xFF, 0xDA, 0, 8, 1, 1, tables, predictor, 0, pointTransform};
}

Bytes Dri(int interval)
{
    return {0xFF, 0xDD, 0, 4, static_cast<std::uint8_t>(interval >> 8), static_cast<std::uint8_t>(interval)};
}

// A stream of the built-in table: two 8-bit samples 129, 126. Category 1 is "010" with extra bit 1 (+1), category
// 2 is "011" with extra bits 00 (-3): 0101 0110 0 then 1-padding gives 56 7F.
Bytes TwoSampleStream()
{
    return Join({kSoi, Sof3(8, 1, 2), Sos(), {0x56, 0x7F}, kEoi});
}

std::size_t Find(const Bytes& stream, std::uint8_t marker, std::size_t from = 0)
{
    for (std::size_t i = from; i + 1 < stream.size(); ++i)
    {
        if (stream[i] == 0xFF && stream[i + 1] == marker)
        {
            return i;
        }
    }
    ADD_FAILURE() << "marker FF " << std::hex << int{marker} << " not found";
    return 0;
}

Bytes Encoded(int precision, int width, int height, std::uint16_t interval, TableChoice table = TableChoice::Optimal,
              bool dnl = false)
{
    LosslessEncodeOptions options;
    options.precision = precision;
    options.width = width;
    options.height = height;
    options.restartInterval = interval;
    options.table = table;
    options.dnl = dnl;
    return EncodeLossless(MakeTestImage(width, height, precision, 3), options);
}

std::vector<std::uint16_t> Image(int precision, int width, int height)
{
    return MakeTestImage(width, height, precision, 3);
}

TEST(LosslessStreamTest, WithoutDhtTheBuiltInTableDecodes)
{
    const DecodeResult result = DecodeStreamBytes(TwoSampleStream());
    ASSERT_EQ(result.code, 0);
    EXPECT_EQ(result.samples, (std::vector<std::uint16_t>{129, 126}));
    EXPECT_EQ(result.containerBits, 8);
}

TEST(LosslessStreamTest, WhatMayComeBeforeSoi)
{
    const Bytes body = TwoSampleStream();
    const Bytes afterSoi(body.begin() + 2, body.end());
    // Fill bytes, APPn, COM and DRI segments are read; SOI then starts the stream.
    EXPECT_EQ(DecodeStreamBytes(Join({{0xFF, 0xFF, 0xFF}, body})).code, 0);
    EXPECT_EQ(DecodeStreamBytes(Join({{0xFF, 0xE0, 0, 4, 'J', 'F'}, {0xFF, 0xFE, 0, 2}, body})).code, 0);
    EXPECT_EQ(DecodeStreamBytes(Join({Dri(0), body})).code, 0);
    // A table defined before SOI is the one the scan uses: one code "0" for category 1, samples +1, -1 (0 0 then
    // extra bits 1 and 0: 0 1 0 0 padded to 0100 1111).
    const Bytes table = Dht(0x00, {1}, {1});
    const DecodeResult early = DecodeStreamBytes(Join({table, kSoi, Sof3(8, 1, 2), Sos(), {0x4F}, kEoi}));
    ASSERT_EQ(early.code, 0);
    EXPECT_EQ(early.samples, (std::vector<std::uint16_t>{129, 128}));

    EXPECT_EQ(DecodeStreamBytes(Join({{0x00, 0x00}, body})).code, kUnsupportedMarker);
    EXPECT_EQ(DecodeStreamBytes(Join({{0xFF, 0xDB, 0, 2}, body})).code, kUnsupportedMarker); // DQT
    EXPECT_EQ(DecodeStreamBytes(Join({Sof3(8, 1, 2), body})).code, kFrameBeforeSoi);
    EXPECT_EQ(DecodeStreamBytes(Join({kEoi, body})).code, kFrameBeforeSoi);
    EXPECT_EQ(DecodeStreamBytes(afterSoi).code, kFrameBeforeSoi);
}

TEST(LosslessStreamTest, SegmentsMissingOrOutOfPlace)
{
    EXPECT_EQ(DecodeStreamBytes(Join({kSoi, kEoi})).code, kEoiBeforeFrame);
    EXPECT_EQ(DecodeStreamBytes(Join({kSoi, Sof3(8, 1, 2), kEoi})).code, kEoiBeforeScan);
    EXPECT_EQ(DecodeStreamBytes(Join({kSoi, {0xFF, 0xDB, 0, 67}, Sof3(8, 1, 2)})).code, kUnsupportedMarker); // DQT
    EXPECT_EQ(DecodeStreamBytes(Join({kSoi, {0xFF, 0xC0, 0, 11, 8, 0, 1, 0, 2, 1, 1, 0x11, 0}})).code,
              kUnsupportedMarker); // SOF0
    EXPECT_EQ(DecodeStreamBytes(Join({kSoi, Sof3(8, 1, 2), Sof3(8, 1, 2), Sos(), {0x56, 0x7F}, kEoi})).code,
              kUnsupportedMarker);
    // After the scan only EOI may follow.
    EXPECT_EQ(DecodeStreamBytes(Join({kSoi, Sof3(8, 1, 2), Sos(), {0x56, 0x7F}, {0xFF, 0xFE, 0, 2}, kEoi})).code,
              kNoEoiAfterScan);
    EXPECT_EQ(DecodeStreamBytes(Join({kSoi, Sof3(8, 1, 2), Sos(), {0x56, 0x7F}, {0xFF, 0xFF, 0xFF}, kEoi})).code, 0);
    const std::uint8_t nothing = 0;
    std::uint16_t out[5] = {};
    std::uint8_t destination[4] = {};
    EXPECT_EQ(DecodeLossless(ByteView(&nothing, 0), destination, 4, &out[0], &out[1], &out[2], &out[3], &out[4]),
              kSourceExhausted);
}

TEST(LosslessStreamTest, HuffmanTableChecks)
{
    const Bytes frame = Join({kSoi, Sof3(8, 1, 2)});
    const Bytes rest = Join({Sos(), {0x4F}, kEoi});
    EXPECT_EQ(DecodeStreamBytes(Join({frame, Dht(0x10, {1}, {1}), rest})).code, kDhtClass);
    EXPECT_EQ(DecodeStreamBytes(Join({frame, Dht(0x04, {1}, {1}), rest})).code, kDhtIndex);
    EXPECT_EQ(DecodeStreamBytes(Join({frame, Dht(0x03, {1}, {1}), rest})).code, 0);
    Bytes longer = Dht(0x00, {1}, {1});
    longer[3] += 1;
    longer.push_back(0);
    EXPECT_EQ(DecodeStreamBytes(Join({frame, longer, rest})).code, kDhtLength);
    // Two tables in one segment are not read.
    Bytes twoTables{0xFF, 0xC4, 0, 2 + 2 * (1 + 16 + 1), 0x00, 1};
    twoTables.insert(twoTables.end(), 15, 0);
    twoTables.insert(twoTables.end(), {1, 0x01, 1});
    twoTables.insert(twoTables.end(), 15, 0);
    twoTables.push_back(1);
    EXPECT_EQ(DecodeStreamBytes(Join({frame, twoTables, rest})).code, kDhtLength);
    // BITS declaring 16 * 255 codes with a matching length would overrun HUFFVAL.
    std::array<std::uint8_t, 16> full{};
    full.fill(255);
    const Bytes tooMany = Dht(0x00, full, Bytes(16 * 255, 1));
    EXPECT_EQ(DecodeStreamBytes(Join({frame, tooMany, rest})).code, kDhtTooManyCodes);
}

TEST(LosslessStreamTest, FrameHeaderChecks)
{
    const Bytes rest = Join({Sos(), {0x56, 0x7F}, kEoi});
    EXPECT_EQ(DecodeStreamBytes(Join({kSoi, Sof3(2, 1, 2), rest})).code, 0);
    EXPECT_EQ(DecodeStreamBytes(Join({kSoi, Sof3(1, 1, 2), rest})).code, kSofPrecision);
    EXPECT_EQ(DecodeStreamBytes(Join({kSoi, Sof3(17, 1, 2), rest})).code, kSofPrecision);
    EXPECT_EQ(DecodeStreamBytes(Join({kSoi, Sof3(8, 1, 0), rest})).code, kSofWidth);
    EXPECT_EQ(DecodeStreamBytes(Join({kSoi, Sof3(8, 1, 2, 3), rest})).code, kSofComponents);
    EXPECT_EQ(DecodeStreamBytes(Join({kSoi, Sof3(8, 1, 2, 1, 0x21), rest})).code, kSofHorizontal);
    EXPECT_EQ(DecodeStreamBytes(Join({kSoi, Sof3(8, 1, 2, 1, 0x12), rest})).code, kSofVertical);
    Bytes badLength = Sof3(8, 1, 2);
    badLength[3] = 12;
    badLength.push_back(0);
    EXPECT_EQ(DecodeStreamBytes(Join({kSoi, badLength, rest})).code, kSofLength);
}

TEST(LosslessStreamTest, ScanHeaderChecks)
{
    const Bytes frame = Join({kSoi, Sof3(8, 1, 2)});
    const Bytes data = Join({{0x56, 0x7F}, kEoi});
    EXPECT_EQ(DecodeStreamBytes(Join({frame, Sos(0x30), data})).code, 0); // Td 3: read, but the current table rules
    EXPECT_EQ(DecodeStreamBytes(Join({frame, Sos(0x40), data})).code, kSosTableSelector);
    // The point transform must leave a bit for the first prediction, 2^(P-Pt-1).
    EXPECT_EQ(DecodeStreamBytes(Join({frame, Sos(0x00, 1, 8), data})).code, kSosPointTransform);
    Bytes longScan = Sos();
    longScan[3] = 9;
    longScan.push_back(0);
    EXPECT_EQ(DecodeStreamBytes(Join({frame, longScan, data})).code, kSosLength);
    const Bytes threeComponents{0xFF, 0xDA, 0, 12, 3, 1, 0, 2, 0, 3, 0, 1, 0, 0};
    EXPECT_EQ(DecodeStreamBytes(Join({frame, threeComponents, data})).code, kSosComponents);
    // Selection value 0 is for differential frames of the hierarchical process; 8 and above are undefined.
    for (const std::uint8_t predictor : {std::uint8_t{0}, std::uint8_t{8}, std::uint8_t{255}})
    {
        EXPECT_EQ(DecodeStreamBytes(Join({frame, Sos(0x00, predictor), data})).code, kSosPredictor) << +predictor;
    }
}

TEST(LosslessStreamTest, PointTransformStartsAtTheReducedMidpointAndScalesTheOutput)
{
    // The differences +1 and -3 of TwoSampleStream with Pt = 1: the first prediction is 2^(8-1-1) = 64, so the scan
    // reconstructs 65 and 62, written as 130 and 124.
    const DecodeResult result = DecodeStreamBytes(Join({kSoi, Sof3(8, 1, 2), Sos(0x00, 1, 1), {0x56, 0x7F}, kEoi}));
    ASSERT_EQ(result.code, 0);
    EXPECT_EQ(result.samples, (std::vector<std::uint16_t>{130, 124}));
}

TEST(LosslessStreamTest, RestartIntervalAndLineCountSegmentChecks)
{
    const Bytes frame = Join({kSoi, Sof3(8, 1, 2)});
    const Bytes rest = Join({Sos(), {0x56, 0x7F}, kEoi});
    EXPECT_EQ(DecodeStreamBytes(Join({frame, {0xFF, 0xDD, 0, 5, 0, 2, 0}, rest})).code, kDriLength);

    // Y = 0 and a DNL after the data of the last line.
    const Bytes noLines = Join({kSoi, Sof3(8, 0, 2), Sos(), {0x56, 0x7F}});
    const DecodeResult withDnl = DecodeStreamBytes(Join({noLines, {0xFF, 0xDC, 0, 4, 0, 1}, kEoi}));
    ASSERT_EQ(withDnl.code, 0);
    EXPECT_EQ(withDnl.lines, 1);
    EXPECT_EQ(withDnl.samples, (std::vector<std::uint16_t>{129, 126}));
    EXPECT_EQ(DecodeStreamBytes(Join({noLines, {0xFF, 0xDC, 0, 5, 0, 1, 0}, kEoi})).code, kDnlLength);
    EXPECT_EQ(DecodeStreamBytes(Join({noLines, {0xFF, 0xDC, 0, 4, 0, 0}, kEoi})).code, kDnlZeroLines);
    // A DNL anywhere but after a line is an unknown segment.
    EXPECT_EQ(DecodeStreamBytes(Join({frame, {0xFF, 0xDC, 0, 4, 0, 1}, rest})).code, kUnsupportedMarker);
}

TEST(LosslessStreamTest, LineCountNeverGivenAfterAllPossibleLines)
{
    // 65535 lines of one sample, every difference 0 (built-in code "00"), and Y = 0 without a DNL.
    const std::vector<std::uint16_t> flat(65535, 8);
    LosslessEncodeOptions options;
    options.precision = 4;
    options.width = 1;
    options.height = 65535;
    options.table = TableChoice::BuiltIn;
    Bytes stream = EncodeLossless(flat, options);
    const std::size_t sof = Find(stream, 0xC3);
    ASSERT_EQ(DecodeStreamBytes(stream, 65535).code, 0);
    stream[sof + 5] = 0;
    stream[sof + 6] = 0;
    EXPECT_EQ(DecodeStreamBytes(stream, 65535).code, kNoLineCount);
}

TEST(LosslessStreamTest, EntropyCodedDataEndingEarly)
{
    const Bytes stream = Encoded(12, 16, 8, 0);
    const std::size_t sos = Find(stream, 0xDA);
    // EOI in the middle of the data.
    Bytes cut(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(sos + 10 + 20));
    cut.insert(cut.end(), kEoi.begin(), kEoi.end());
    EXPECT_EQ(DecodeStreamBytes(cut).code, kEoiInData);
    // A restart marker with no restart interval defined.
    Bytes withRestart = Encoded(12, 16, 8, 16);
    const std::size_t dri = Find(withRestart, 0xDD);
    withRestart.erase(withRestart.begin() + static_cast<std::ptrdiff_t>(dri),
                      withRestart.begin() + static_cast<std::ptrdiff_t>(dri + 6));
    EXPECT_EQ(DecodeStreamBytes(withRestart).code, kUnexpectedRestart);
}

TEST(LosslessStreamTest, TruncationAtEveryByteFailsCleanly)
{
    for (const Bytes& stream :
         {Encoded(12, 12, 6, 0), Encoded(8, 12, 6, 12, TableChoice::BuiltIn),
          Encoded(16, 10, 5, 10, TableChoice::Optimal, true), Encoded(2, 9, 4, 0), Encoded(10, 10, 5, 7)})
    {
        ASSERT_EQ(DecodeStreamBytes(stream).code, 0);
        for (std::size_t length = 1; length < stream.size(); ++length)
        {
            const Bytes prefix(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(length));
            ASSERT_EQ(DecodeStreamBytes(prefix).code, kSourceExhausted) << "length " << length;
        }
    }
}

TEST(LosslessStreamTest, RestartMarkers)
{
    constexpr int kWidth = 8;
    const std::vector<std::uint16_t> image = Image(12, kWidth, 3);
    const Bytes stream = Encoded(12, kWidth, 3, kWidth);
    const std::size_t first = Find(stream, 0xD0, Find(stream, 0xDA) + 10);
    const std::size_t second = Find(stream, 0xD1, first);

    // Junk before the expected marker: the marker is searched for and decoding goes on exactly.
    Bytes junk = stream;
    junk.insert(junk.begin() + static_cast<std::ptrdiff_t>(first), {0x12, 0x34, 0xFF, 0xD5});
    const DecodeResult searched = DecodeStreamBytes(junk);
    ASSERT_EQ(searched.code, 0);
    EXPECT_EQ(searched.samples, image);

    // A marker that arrives before its line is complete ends the line: the rest of it reads as 0.
    Bytes early = stream;
    early.erase(early.begin() + static_cast<std::ptrdiff_t>(first + 2),
                early.begin() + static_cast<std::ptrdiff_t>(second));
    const DecodeResult zeroed = DecodeStreamBytes(early);
    ASSERT_EQ(zeroed.code, 0);
    std::vector<std::uint16_t> expected = image;
    std::fill(expected.begin() + kWidth, expected.begin() + 2 * kWidth, 0);
    EXPECT_EQ(zeroed.samples, expected);

    // The same, when the expected marker follows the early one: the line still reads as 0, not as stale memory.
    Bytes doubled = early;
    const std::size_t earlyMarker = Find(doubled, 0xD1, first + 2);
    doubled.insert(doubled.begin() + static_cast<std::ptrdiff_t>(earlyMarker), {0xFF, 0xD1});
    const DecodeResult twice = DecodeStreamBytes(doubled, 1 << 16, 0xAA);
    ASSERT_EQ(twice.code, 0);
    EXPECT_EQ(twice.samples, expected);

    // The last marker missing: looking for it meets EOI.
    Bytes missing = stream;
    missing.erase(missing.begin() + static_cast<std::ptrdiff_t>(second),
                  missing.begin() + static_cast<std::ptrdiff_t>(second + 2));
    EXPECT_EQ(DecodeStreamBytes(missing).code, kEoiBeforeRestart);
}

TEST(LosslessStreamTest, CapacityBoundsTheOutput)
{
    const Bytes eight = Encoded(8, 16, 8, 0);
    EXPECT_EQ(DecodeStreamBytes(eight, 16 * 8).code, 0);
    EXPECT_EQ(DecodeStreamBytes(eight, 16 * 8 - 1).code, kCapacityExceeded);
    const Bytes sixteen = Encoded(12, 16, 8, 5);
    EXPECT_EQ(DecodeStreamBytes(sixteen, 16 * 8 * 2).code, 0);
    EXPECT_EQ(DecodeStreamBytes(sixteen, 16 * 8 * 2 - 1).code, kCapacityExceeded);
    EXPECT_EQ(DecodeStreamBytes(sixteen, -1).code, kCapacityExceeded);
    // A frame of 65535 x 65535 samples with a tiny destination fails before writing anything.
    EXPECT_EQ(DecodeStreamBytes(Join({kSoi, Sof3(16, 65535, 65535), Sos(), {0x56, 0x7F}, kEoi}), 64).code,
              kCapacityExceeded);
}

TEST(LosslessStreamTest, CategorySixteenDependsOnTheContainer)
{
    // Table: "0" = category 16, "10" = category 1. Bits 0 | 10 1 | 0, padded: 0101 0111 = 57.
    const Bytes table = Dht(0x00, {1, 1}, {16, 1});
    const Bytes data = Join({Sos(), {0x57}, kEoi});
    // 8 bits: the first sample has no previous difference and uses 0; later ones repeat the last difference.
    const DecodeResult eight = DecodeStreamBytes(Join({kSoi, Sof3(8, 1, 3), table, data}));
    ASSERT_EQ(eight.code, 0);
    EXPECT_EQ(eight.samples, (std::vector<std::uint16_t>{128, 129, 130}));
    // 16-bit container: the difference is 32768, modulo 2^16: 2048 + 32768, + 1, + 32768.
    const DecodeResult twelve = DecodeStreamBytes(Join({kSoi, Sof3(12, 1, 3), table, data}));
    ASSERT_EQ(twelve.code, 0);
    EXPECT_EQ(twelve.samples, (std::vector<std::uint16_t>{34816, 34817, 2049}));
}

TEST(LosslessStreamTest, CodesLongerThanOneLookUpFollowTheSameRules)
{
    // Built-in table: category 1 is "010", category 16 the 14-bit "11111111111110", category 0 "00".
    // Bits 0101 | 11111111111110 | 00, padded: 5F FF 8F, with FF stuffed as FF 00.
    const Bytes data = Join({Sos(), {0x5F, 0xFF, 0x00, 0x8F}, kEoi});
    const DecodeResult eight = DecodeStreamBytes(Join({kSoi, Sof3(8, 1, 3), data}));
    ASSERT_EQ(eight.code, 0);
    EXPECT_EQ(eight.samples, (std::vector<std::uint16_t>{129, 130, 130}));
    const DecodeResult twelve = DecodeStreamBytes(Join({kSoi, Sof3(12, 1, 3), data}));
    ASSERT_EQ(twelve.code, 0);
    EXPECT_EQ(twelve.samples, (std::vector<std::uint16_t>{2049, 34817, 34817}));
}

TEST(LosslessStreamTest, CorruptHuffmanData)
{
    // One code, "0"; a run of 1 bits matches nothing within 16 bits.
    const Bytes head = Join({kSoi, Sof3(8, 1, 4), Dht(0x00, {1}, {0}), Sos()});
    EXPECT_EQ(DecodeStreamBytes(Join({head, {0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00}, kEoi})).code, kCodeTooLong);
    // Fewer than 16 bits left before EOI: the end of the data is met first.
    EXPECT_EQ(DecodeStreamBytes(Join({head, {0xFF, 0x00}, kEoi})).code, kEoiInData);
    // A table with no codes at all.
    EXPECT_EQ(DecodeStreamBytes(Join({kSoi, Sof3(8, 1, 4), Dht(0x00, {}, {}), Sos(), {0, 0, 0}, kEoi})).code,
              kCodeTooLong);
}

TEST(LosslessStreamTest, OverFullTableFollowsTheMaxCodeProcedure)
{
    // Three codes of length 1 (values 1, 2, 3) and one of length 2 (value 0). MAXCODE[1] = 2, so bit 0 gives code
    // 0 (category 1) and bit 1 gives code 1 (category 2); value 3 and the 2-bit code are unreachable.
    // Bits: 0 1 (+1) | 1 10 (+2) | 0 0 (-1) -> 0111 000, padded 0111 0001 = 71: 129, 131, 130.
    const Bytes table = Dht(0x00, {3, 1}, {1, 2, 3, 0});
    const DecodeResult result = DecodeStreamBytes(Join({kSoi, Sof3(8, 1, 3), table, Sos(), {0x71}, kEoi}));
    ASSERT_EQ(result.code, 0);
    EXPECT_EQ(result.samples, (std::vector<std::uint16_t>{129, 131, 130}));
}

TEST(LosslessStreamTest, NullArgumentsAndMissingState)
{
    const Bytes stream = TwoSampleStream();
    std::uint8_t destination[4] = {};
    std::uint16_t v[5] = {};
    const ByteView source(stream);
    EXPECT_EQ(DecodeLossless(ByteView(), destination, 4, &v[0], &v[1], &v[2], &v[3], &v[4]), kNullArgument);
    EXPECT_EQ(DecodeLossless(source, nullptr, 4, &v[0], &v[1], &v[2], &v[3], &v[4]), kNullArgument);
    EXPECT_EQ(DecodeLossless(source, destination, 4, nullptr, &v[1], &v[2], &v[3], &v[4]), kNullArgument);
    EXPECT_EQ(DecodeLossless(source, destination, 4, &v[0], &v[1], &v[2], &v[3], nullptr), kNullArgument);
    EXPECT_EQ(DecodeLossless(source, destination, 4, &v[0], &v[1], &v[2], &v[3], &v[4]), kOk);

    EXPECT_EQ(DecodeStream(nullptr), kNoState);
    LosslessState state;
    EXPECT_EQ(DecodeStream(&state), kNoState);
    state.cursor = stream.data();
    state.sourceEnd = stream.data() + stream.size();
    EXPECT_EQ(DecodeStream(&state), kNoDestination);
    EXPECT_EQ(ReadMarkerSegment(nullptr, 0xFFC4), kNoStateMarker);
    EXPECT_EQ(SkipSegment(nullptr), kNoStateSkip);
    EXPECT_EQ(ReadHuffmanTable(nullptr), kNoStateDht);
    EXPECT_EQ(ReadFrame(nullptr), kNoStateSof);
    EXPECT_EQ(ReadLineCount(nullptr), kNoStateDnl);
    EXPECT_EQ(ReadRestartInterval(nullptr), kNoStateDri);
    EXPECT_EQ(ReadScan(nullptr), kNoStateSos);
    EXPECT_EQ(InstallDefaultTable(nullptr), kNoStateDefaultTable);
    EXPECT_EQ(DeriveDecodeTables(nullptr, 0), kNoStateDerive);
}

TEST(LosslessStreamTest, FrameHeaderCanBeReadAlone)
{
    FrameHeader frame;
    ASSERT_EQ(ReadLosslessFrameHeader(Encoded(14, 33, 17, 0), &frame), kOk);
    EXPECT_EQ(frame.precision, 14);
    EXPECT_EQ(frame.lines, 17);
    EXPECT_EQ(frame.samplesPerLine, 33);
    EXPECT_EQ(ReadLosslessFrameHeader(Join({kSoi, kEoi}), &frame), kEoiBeforeFrame);
}

} // namespace
} // namespace orblane::test
