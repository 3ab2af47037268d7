// The JPEG 2000 / HTJ2K and JPEG-LS codecs on fragments that other encoders wrote (tests/data/codecs/README.md),
// against samples an independent decoder or the uncompressed source gave.
#include "imaging/CImageData.h"
#include "imaging/codecs/Codecs.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace orblane::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> ReadFixture(const std::string& name)
{
    const fs::path path = fs::path(ORBLANE_TEST_DATA_DIR) / "codecs" / name;
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

FrameGeometry Grey(std::uint16_t rows, std::uint16_t columns, std::uint16_t bitsAllocated, std::uint16_t bitsStored,
                   bool isSigned)
{
    FrameGeometry g;
    g.rows = rows;
    g.columns = columns;
    g.bitsAllocated = bitsAllocated;
    g.bitsStored = bitsStored;
    g.isSigned = isSigned;
    return g;
}

FrameGeometry Colour(std::uint16_t rows, std::uint16_t columns, SampleColour colour)
{
    FrameGeometry g = Grey(rows, columns, 8, 8, false);
    g.samplesPerPixel = 3;
    g.colour = colour;
    return g;
}

// One sample of a little-endian buffer of `bytes`-wide samples, as a value (two's complement when signed).
std::int64_t SampleAt(const std::vector<std::uint8_t>& buffer, std::size_t index, std::size_t bytes, bool isSigned)
{
    std::uint64_t value = 0;
    for (std::size_t b = 0; b < bytes; ++b)
    {
        value |= std::uint64_t{buffer[index * bytes + b]} << (8 * b);
    }
    const unsigned bits = static_cast<unsigned>(bytes * 8);
    if (isSigned && (value >> (bits - 1)) != 0)
    {
        return static_cast<std::int64_t>(value) - (std::int64_t{1} << bits);
    }
    return static_cast<std::int64_t>(value);
}

constexpr std::size_t kGuardBytes = 64;
constexpr std::uint8_t kGuard = 0xA5;

struct Decoded
{
    DecodeResult result;
    std::vector<std::uint8_t> samples; // the output span only
    bool guardsIntact = true;
};

// Decodes into a buffer of `outBytes` that sits between guard bytes, with the limit a caller derives from the
// stream's length unless one is given.
Decoded Decode(DecodeFrame codec, const std::vector<std::uint8_t>& stream, const FrameGeometry& declared,
               std::uint64_t outBytes, std::uint64_t maxPixels = 0)
{
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(outBytes) + 2 * kGuardBytes, kGuard);
    const DecodeLimits limits{maxPixels != 0 ? maxPixels : MaxPixelsForStream(stream.size())};
    Decoded decoded;
    decoded.result = codec(stream, declared, limits, std::span(buffer).subspan(kGuardBytes, outBytes));
    for (std::size_t i = 0; i < kGuardBytes; ++i)
    {
        decoded.guardsIntact = decoded.guardsIntact && buffer[i] == kGuard && buffer[buffer.size() - 1 - i] == kGuard;
    }
    decoded.samples.assign(buffer.begin() + kGuardBytes, buffer.end() - kGuardBytes);
    return decoded;
}

struct FixtureCase
{
    const char* name;
    DecodeFrame codec;
    const char* stream;
    FrameGeometry declared;
    const char* expected;           // samples an independent decoder (or the lossless source) gave
    std::size_t expectedBytes;      // width of one expected sample
    std::size_t firstSample;        // where in the frame the expected samples start (a crop of a large frame)
    int tolerance;                  // largest difference allowed (lossy streams decoded by another decoder)
    std::uint16_t actualBitsStored; // the stream's precision
    bool actualSigned;
    SampleColour actualColour;
    bool highThroughput = false; // HT code-blocks: DecodeJpeg2000 hands the stream to DecodeHtJ2k
};

// Failure messages name the case rather than print its bytes.
void PrintTo(const FixtureCase& c, std::ostream* os)
{
    *os << c.name;
}

class CodecFixtureTest : public ::testing::TestWithParam<FixtureCase>
{
};

// A build without CharLS or OpenJPH (the Windows build) refuses those frames as unsupported: nothing to compare.
bool LibraryAbsent(DecodeFrame decode, bool highThroughput = false) noexcept
{
    return (decode == &DecodeJpegLs && !HasJpegLsLibrary()) ||
           ((decode == &DecodeHtJ2k || highThroughput) && !HasHtJ2kLibrary());
}

TEST(CodecLibrariesTest, AnAbsentLibraryRefusesItsFramesAsUnsupported)
{
    for (const DecodeFrame decode : {&DecodeJpegLs, &DecodeHtJ2k})
    {
        if (!LibraryAbsent(decode))
        {
            continue;
        }
        const std::vector<std::uint8_t> stream = ReadFixture("ct_small.jls");
        FrameGeometry ct;
        ct.rows = ct.columns = 128;
        ct.bitsAllocated = ct.bitsStored = 16;
        std::vector<std::uint8_t> out(FrameBytes(ct));
        const DecodeResult result = decode(stream, ct, DecodeLimits{MaxPixelsForStream(stream.size())}, out);
        EXPECT_EQ(result.status, DecodeStatus::Unsupported);
        EXPECT_NE(result.reason, nullptr);
    }
    if (!HasHtJ2kLibrary())
    {
        // Handed on by the JPEG 2000 decoder, an HT stream is unsupported too, not taken for a damaged one.
        const std::vector<std::uint8_t> stream = ReadFixture("ct_small_ht.j2c");
        const FrameGeometry ct = Grey(128, 128, 16, 16, true);
        std::vector<std::uint8_t> out(FrameBytes(ct));
        EXPECT_EQ(DecodeJpeg2000(stream, ct, DecodeLimits{MaxPixelsForStream(stream.size())}, out).status,
                  DecodeStatus::Unsupported);
    }
}

TEST_P(CodecFixtureTest, DecodesAsTheIndependentDecoderDid)
{
    const FixtureCase& c = GetParam();
    if (LibraryAbsent(c.codec, c.highThroughput))
    {
        GTEST_SKIP() << "this build has no library for the codec";
    }
    const std::vector<std::uint8_t> stream = ReadFixture(c.stream);
    const std::vector<std::uint8_t> expected = ReadFixture(c.expected);
    // Exactly the size the declared geometry needs: any write beyond it would hit the guards.
    const Decoded decoded = Decode(c.codec, stream, c.declared, FrameBytes(c.declared));
    ASSERT_EQ(decoded.result.status, DecodeStatus::Decoded) << "detail " << decoded.result.detail;
    EXPECT_TRUE(decoded.guardsIntact);
    const FrameGeometry& actual = decoded.result.actual;
    EXPECT_EQ(actual.rows, c.declared.rows);
    EXPECT_EQ(actual.columns, c.declared.columns);
    EXPECT_EQ(actual.samplesPerPixel, c.declared.samplesPerPixel);
    EXPECT_EQ(actual.bitsAllocated, c.declared.bitsAllocated);
    EXPECT_EQ(actual.bitsStored, c.actualBitsStored);
    EXPECT_EQ(actual.isSigned, c.actualSigned);
    EXPECT_EQ(actual.colour, c.actualColour);

    const std::size_t container = ContainerBytes(c.declared.bitsAllocated);
    const std::size_t count = expected.size() / c.expectedBytes;
    ASSERT_LE(c.firstSample + count, decoded.samples.size() / container);
    for (std::size_t i = 0; i < count; ++i)
    {
        const std::int64_t want = SampleAt(expected, i, c.expectedBytes, c.actualSigned);
        const std::int64_t got = SampleAt(decoded.samples, c.firstSample + i, container, c.actualSigned);
        const auto difference = static_cast<int>(std::llabs(got - want));
        ASSERT_LE(difference, c.tolerance) << "sample " << c.firstSample + i << ": " << got << " != " << want;
    }
}

using S = SampleColour;
const FrameGeometry kMr = Grey(64, 64, 16, 16, true);
const FrameGeometry kCt = Grey(128, 128, 16, 16, true);
const FrameGeometry kCtUnsigned = Grey(128, 128, 16, 16, false);
const FrameGeometry kMr8 = Grey(64, 64, 8, 8, false);
const FrameGeometry kRgb = Colour(100, 100, S::Rgb);

INSTANTIATE_TEST_SUITE_P(
    Jpeg2000, CodecFixtureTest,
    ::testing::Values(
        FixtureCase{"PydicomLosslessMr", DecodeJpeg2000, "mr_small_pydicom.j2k", kMr, "mr_small.raw", 2, 0, 0, 16, true,
                    S::Grey},
        FixtureCase{"GdcmLosslessCt", DecodeJpeg2000, "ct_small.j2k", kCt, "ct_small.raw", 2, 0, 0, 16, true, S::Grey},
        FixtureCase{"Jp2BoxFile", DecodeJpeg2000, "ct_small.jp2", kCt, "ct_small.raw", 2, 0, 0, 16, true, S::Grey},
        FixtureCase{"EightBitGrey", DecodeJpeg2000, "mr_small_p8.j2k", kMr8, "../jpegll/mr_small_p8.raw", 1, 0, 0, 8,
                    false, S::Grey},
        // The container is wider than the stream's precision: the samples are widened, not packed.
        FixtureCase{"EightBitsInSixteen", DecodeJpeg2000, "mr_small_p8.j2k", Grey(64, 64, 16, 8, false),
                    "../jpegll/mr_small_p8.raw", 1, 0, 0, 8, false, S::Grey},
        FixtureCase{"GdcmIrreversibleCt", DecodeJpeg2000, "ct_small_lossy.j2k", kCt, "ct_small_lossy_gdcm.raw", 2, 0, 1,
                    16, true, S::Grey},
        // The data set says signed 13 bits, the codestream unsigned 13 bits: the codestream wins.
        FixtureCase{"PixelRepresentationMismatch", DecodeJpeg2000, "pixelrep_mismatch.j2k",
                    Grey(512, 512, 16, 13, true), "pixelrep_mismatch_rows224.raw", 2, 224 * 512, 0, 13, false, S::Grey},
        FixtureCase{"RgbWithoutTransform", DecodeJpeg2000, "rgb_no_mct.j2k", kRgb, "rgb.raw", 1, 0, 0, 8, false,
                    S::Rgb},
        // Without a transform in the codestream the components are handed on as the data set names them.
        FixtureCase{"YbrFullWithoutTransform", DecodeJpeg2000, "rgb_no_mct.j2k", Colour(100, 100, S::YbrFull),
                    "rgb.raw", 1, 0, 0, 8, false, S::YbrFull},
        // YBR_RCT: the library undoes the reversible transform, so the samples are RGB whatever was declared.
        FixtureCase{"ReversibleTransformGivesRgb", DecodeJpeg2000, "text_gbr_rct.j2k", Colour(400, 400, S::YbrFull),
                    "text_gbr_rct_rows150.raw", 1, 150 * 400 * 3, 0, 8, false, S::Rgb},
        // High-throughput code-blocks, written by OpenJPH (decoded apart from the program, in a child process).
        FixtureCase{"HighThroughputLossless", DecodeJpeg2000, "ct_small_ht.j2c", kCt, "ct_small.raw", 2, 0, 0, 16, true,
                    S::Grey, true},
        FixtureCase{"HighThroughputLossyAsOpenJph", DecodeJpeg2000, "ct_small_ht_lossy.j2c", kCt,
                    "ct_small_ht_lossy_ojph.raw", 2, 0, 1, 16, true, S::Grey, true},
        FixtureCase{"HighThroughputRgb", DecodeJpeg2000, "rgb_ht_rct.j2c", kRgb, "rgb.raw", 1, 0, 0, 8, false, S::Rgb,
                    true}),
    ByCaseName());

INSTANTIATE_TEST_SUITE_P(
    JpegLs, CodecFixtureTest,
    ::testing::Values(
        FixtureCase{"PydicomLosslessMr", DecodeJpegLs, "mr_small_pydicom.jls", kMr, "mr_small.raw", 2, 0, 0, 16, true,
                    S::Grey},
        FixtureCase{"DcmtkLosslessCt", DecodeJpegLs, "ct_small.jls", kCt, "ct_small.raw", 2, 0, 0, 16, true, S::Grey},
        FixtureCase{"EightBitGrey", DecodeJpegLs, "mr_small_p8.jls", kMr8, "../jpegll/mr_small_p8.raw", 1, 0, 0, 8,
                    false, S::Grey},
        FixtureCase{"EightBitsInSixteen", DecodeJpegLs, "mr_small_p8.jls", Grey(64, 64, 16, 8, false),
                    "../jpegll/mr_small_p8.raw", 1, 0, 0, 8, false, S::Grey},
        // 12-bit two's complement in the stream comes out sign-extended through the whole 16-bit container.
        FixtureCase{"SignedTwelveBits", DecodeJpegLs, "ct_small_s12.jls", Grey(128, 128, 16, 12, true),
                    "ct_small_s12.raw", 2, 0, 0, 12, true, S::Grey},
        FixtureCase{"NearLosslessAsDcmtk", DecodeJpegLs, "ct_small_near2.jls", kCtUnsigned, "ct_small_near2_dcmtk.raw",
                    2, 0, 0, 16, false, S::Grey},
        // T.87: no sample of a near-lossless stream is further than NEAR (here 2) from its source.
        FixtureCase{"NearLosslessWithinTwoOfSource", DecodeJpegLs, "ct_small_near2.jls", kCtUnsigned, "ct_small.raw", 2,
                    0, 2, 16, false, S::Grey},
        FixtureCase{"RgbInterleaveNone", DecodeJpegLs, "rgb_none.jls", kRgb, "rgb.raw", 1, 0, 0, 8, false, S::Rgb},
        FixtureCase{"RgbInterleaveLine", DecodeJpegLs, "rgb_line.jls", kRgb, "rgb.raw", 1, 0, 0, 8, false, S::Rgb},
        FixtureCase{"RgbInterleaveSample", DecodeJpegLs, "rgb_sample.jls", kRgb, "rgb.raw", 1, 0, 0, 8, false, S::Rgb}),
    ByCaseName());

struct RefusalCase
{
    const char* name;
    DecodeFrame codec;
    const char* stream;
    FrameGeometry declared;
    std::int64_t outBytesChange; // added to the declared frame's size
    std::uint64_t maxPixels;     // 0: what the stream's length justifies
    std::size_t keepBytes;       // 0: the whole stream, else only its first bytes
    DecodeStatus status;
    bool highThroughput = false;
};

void PrintTo(const RefusalCase& c, std::ostream* os)
{
    *os << c.name;
}

class CodecRefusalTest : public ::testing::TestWithParam<RefusalCase>
{
};

// The thumbnail's reduced decode through the one codec signature: what fits the caller's buffer is copied there.
DecodeResult DecodeJpeg2000Thumbnail(ByteView frame, const FrameGeometry& declared, const DecodeLimits& limits,
                                     std::span<std::uint8_t> out) noexcept
{
    std::vector<std::uint8_t> reduced;
    DecodeResult result = DecodeJpeg2000Reduced(frame, declared, 64, limits, reduced);
    if (result.Ok() && reduced.size() > out.size())
    {
        result.status = DecodeStatus::Corrupt;
    }
    else if (result.Ok())
    {
        std::copy(reduced.begin(), reduced.end(), out.begin());
    }
    return result;
}

TEST_P(CodecRefusalTest, AnswersAStatusAndWritesNothingOutsideTheBuffer)
{
    const RefusalCase& c = GetParam();
    if (LibraryAbsent(c.codec, c.highThroughput))
    {
        GTEST_SKIP() << "this build has no library for the codec";
    }
    std::vector<std::uint8_t> stream = ReadFixture(c.stream);
    if (c.keepBytes != 0)
    {
        stream.resize(c.keepBytes);
    }
    const auto outBytes =
        static_cast<std::uint64_t>(static_cast<std::int64_t>(FrameBytes(c.declared)) + c.outBytesChange);
    const Decoded decoded = Decode(c.codec, stream, c.declared, outBytes, c.maxPixels);
    EXPECT_EQ(decoded.result.status, c.status) << "detail " << decoded.result.detail;
    EXPECT_TRUE(decoded.guardsIntact);
    if (!decoded.result.Ok())
    {
        EXPECT_NE(decoded.result.detail, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Jpeg2000, CodecRefusalTest,
    ::testing::Values(
        RefusalCase{"SubsampledChroma", DecodeJpeg2000, "subsampled.j2k", Colour(50, 50, S::YbrFull), 0, 0, 0,
                    DecodeStatus::Unsupported},
        RefusalCase{"PrecisionAboveContainer", DecodeJpeg2000, "ct_small.j2k", Grey(128, 128, 8, 8, true), 128 * 128, 0,
                    0, DecodeStatus::Unsupported},
        RefusalCase{"BufferOneByteShort", DecodeJpeg2000, "ct_small.j2k", kCt, -1, 0, 0, DecodeStatus::Corrupt},
        RefusalCase{"MorePixelsThanTheLimit", DecodeJpeg2000, "ct_small.j2k", kCt, 0, 128 * 128 - 1, 0,
                    DecodeStatus::Corrupt},
        RefusalCase{"NotAJpeg2000Stream", DecodeJpeg2000, "ct_small.jls", kCt, 0, 0, 0, DecodeStatus::Corrupt},
        // A JP2 file is checked from the codestream inside its boxes, too.
        RefusalCase{"Jp2MorePixelsThanTheLimit", DecodeJpeg2000, "ct_small.jp2", kCt, 0, 128 * 128 - 1, 0,
                    DecodeStatus::Corrupt},
        // Found by fuzz_jpeg2000: 25 089 tiles declared in 851 bytes, refused before the library allocates them.
        RefusalCase{"MoreTilesThanTheStreamCarries", DecodeJpeg2000, "../fuzz/jpeg2000/siz_25089_tiles.j2k", kCt, 0, 0,
                    0, DecodeStatus::Corrupt},
        RefusalCase{"HeaderCutShort", DecodeJpeg2000, "ct_small.j2k", kCt, 0, 0, 40, DecodeStatus::Corrupt},
        // OpenJPEG 2.5.0 aborts in an assertion on this damaged HT code-block (found by fuzz_jpeg2000): only the
        // child process that decodes it ends.
        RefusalCase{"HighThroughputDamaged", DecodeJpeg2000, "../fuzz/jpeg2000/ht_mel_assert.j2c", kCt, 0, 0, 0,
                    DecodeStatus::Corrupt, true},
        // The same assertion, the HT style in a COD found only by searching past an unknown marker as the library
        // does (found by a long fuzz run, when the style byte was read from the wrong offset).
        RefusalCase{"HighThroughputStyleBehindAnUnknownMarker", DecodeJpeg2000,
                    "../fuzz/jpeg2000/ht-style-behind-unknown-marker.j2k", kCt, 0, 0, 0, DecodeStatus::Corrupt, true},
        // The same assertion: an SOD in the main header after an unknown marker, which the library searches past
        // to a COD with the HT style (found by fuzz_jpeg2000).
        RefusalCase{"HighThroughputStyleBehindAMisplacedSod", DecodeJpeg2000,
                    "../fuzz/jpeg2000/ht-style-behind-misplaced-sod.j2k", kCt, 0, 0, 0, DecodeStatus::Corrupt, true},
        // A 269-byte JP2 whose tile-part claims 738 MB: refused before the library reserves that much.
        RefusalCase{"TilePartLongerThanAnyStreamCouldBe", DecodeJpeg2000, "../fuzz/jpeg2000/oom-48104cd6.jp2", kCt, 0,
                    0, 0, DecodeStatus::Corrupt},
        // The same behind a marker the library does not know: it searches on for the tile-part, and so do we.
        RefusalCase{"TilePartBehindAnUnknownMarker", DecodeJpeg2000, "../fuzz/jpeg2000/sot-after-unknown-marker.j2k",
                    kCt, 0, 0, 0, DecodeStatus::Corrupt},
        // Half the tile data: what is there is decoded, the rest reads as 0, and the caller is told.
        RefusalCase{"TileDataCutShort", DecodeJpeg2000, "ct_small.j2k", kCt, 0, 0, 6000,
                    DecodeStatus::DecodedWithWarning},
        // A code-block longer than its tile-part in a level the thumbnail drops: OpenJPEG read on past the tile's
        // data (found by fuzz_jpeg2000). The reduced decode refuses it; the thumbnail then comes from the whole one.
        RefusalCase{"ThumbnailSkipsPastTheTileData", DecodeJpeg2000Thumbnail,
                    "../fuzz/jpeg2000/reduced-skip-past-tile-data.j2k", kCt, 0, 0, 0, DecodeStatus::Corrupt},
        RefusalCase{"ThumbnailOfTileDataCutShort", DecodeJpeg2000Thumbnail, "ct_small.j2k", kCt, 0, 0, 6000,
                    DecodeStatus::Corrupt}),
    ByCaseName());

// Found by fuzzing OpenJPH 0.9 in this process (tests/data/fuzz/htj2k/README.md): each ends or corrupts the process
// that decodes it, so only the child process that runs the library may meet them.
INSTANTIATE_TEST_SUITE_P(
    HtJ2k, CodecRefusalTest,
    ::testing::Values(RefusalCase{"QcdSegmentWritesPastItsTable", DecodeHtJ2k, "../fuzz/htj2k/qcd-overflow.j2c", kCt, 0,
                                  0, 0, DecodeStatus::Corrupt},
                      RefusalCase{"CodeBlockDataWritesPastItsBuffer", DecodeHtJ2k,
                                  "../fuzz/htj2k/precinct-overflow.j2c", kCt, 0, 0, 0, DecodeStatus::Corrupt},
                      RefusalCase{"FourGibibytesForTheTileState", DecodeHtJ2k, "../fuzz/htj2k/create-4gib.j2c", kCt, 0,
                                  0, 0, DecodeStatus::Corrupt},
                      RefusalCase{"PacketHeaderAssertion", DecodeHtJ2k, "../fuzz/htj2k/bb-read-bits-assert.j2c", kCt, 0,
                                  0, 0, DecodeStatus::Corrupt},
                      RefusalCase{"QuantisationStyleAssertion", DecodeHtJ2k, "../fuzz/htj2k/qcd-delta-assert.j2c", kCt,
                                  0, 0, 0, DecodeStatus::Corrupt},
                      // The library loops on this one for good: the child is ended at the frame's time limit.
                      RefusalCase{"LibraryLoopsForGood", DecodeHtJ2k, "openjph09_hang.j2c", kCt, 0, 0, 0,
                                  DecodeStatus::Corrupt}),
    ByCaseName());

INSTANTIATE_TEST_SUITE_P(
    JpegLs, CodecRefusalTest,
    ::testing::Values(
        RefusalCase{"PrecisionAboveContainer", DecodeJpegLs, "ct_small.jls", Grey(128, 128, 8, 8, true), 128 * 128, 0,
                    0, DecodeStatus::Unsupported},
        RefusalCase{"BufferOneByteShort", DecodeJpegLs, "rgb_none.jls", kRgb, -1, 0, 0, DecodeStatus::Corrupt},
        RefusalCase{"MorePixelsThanTheLimit", DecodeJpegLs, "ct_small.jls", kCt, 0, 128 * 128 - 1, 0,
                    DecodeStatus::Corrupt},
        RefusalCase{"NotAJpegLsStream", DecodeJpegLs, "ct_small.j2k", kCt, 0, 0, 0, DecodeStatus::Corrupt},
        RefusalCase{"ScanCutShort", DecodeJpegLs, "ct_small.jls", kCt, 0, 0, 7000, DecodeStatus::Corrupt}),
    ByCaseName());

// The one frame a view waits for is decoded on threads of the library's own (DecodeLimits::threads).
TEST(CodecLibrariesTest, OneFrameOnTheLibrarysOwnThreadsGivesTheSameSamples)
{
    const std::vector<std::uint8_t> stream = ReadFixture("ct_small.j2k");
    std::vector<std::uint8_t> out(FrameBytes(kCt));
    DecodeLimits limits{MaxPixelsForStream(stream.size())};
    limits.threads = 4;
    ASSERT_EQ(DecodeJpeg2000(stream, kCt, limits, out).status, DecodeStatus::Decoded);
    EXPECT_EQ(out, ReadFixture("ct_small.raw"));
}

TEST(CodecLibrariesTest, FramesDecodeOnSeveralThreadsAtOnce)
{
    if (LibraryAbsent(&DecodeJpegLs))
    {
        GTEST_SKIP() << "this build has no JPEG-LS library";
    }
    const std::vector<std::uint8_t> j2k = ReadFixture("ct_small.j2k");
    const std::vector<std::uint8_t> jls = ReadFixture("ct_small.jls");
    const std::vector<std::uint8_t> expected = ReadFixture("ct_small.raw");
    std::vector<int> matches(8, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < matches.size(); ++t)
    {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 4; ++round)
            {
                const Decoded decoded =
                    Decode(t % 2 == 0 ? DecodeJpeg2000 : DecodeJpegLs, t % 2 == 0 ? j2k : jls, kCt, FrameBytes(kCt));
                matches[t] += decoded.result.status == DecodeStatus::Decoded && decoded.samples == expected;
            }
        });
    }
    for (std::thread& thread : threads)
    {
        thread.join();
    }
    EXPECT_EQ(matches, std::vector<int>(8, 4));
}

} // namespace
} // namespace orblane::test
