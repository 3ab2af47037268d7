// A file may declare any size; the viewer allocates only what the file's own bytes can justify.
#include "imaging/CImageData.h"
#include "imaging/JpegBaseline.h"
#include "imaging/LosslessDecoder.h"
#include "platform/ErrorSink.h"
#include "support/GreyJpeg.h"
#include "support/LosslessEncoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orblane {
namespace {

constexpr Point kInset{1, 1};

class ResourceBoundsTest : public ::testing::Test
{
protected:
    void SetUp() override { previous = SetErrorHandler(&Record); }
    void TearDown() override
    {
        SetErrorHandler(previous);
        raised.clear();
    }
    static void Record(std::string_view code, std::uint32_t, bool) { raised.emplace_back(code); }

    ErrorHandler previous = nullptr;
    inline static std::vector<std::string> raised;
};

PixelDescription Native(const std::vector<std::uint8_t>& bytes, int columns, int rows, int allocated,
                        PhotometricKind kind = PhotometricKind::Monochrome2)
{
    PixelDescription d;
    d.photometric = kind;
    d.transferSyntax = TransferSyntaxKind::ExplicitLittle;
    d.planes[0] = ByteView(bytes);
    d.columnCount = static_cast<std::uint16_t>(columns);
    d.rowCount = static_cast<std::uint16_t>(rows);
    d.bitsAllocated = static_cast<std::uint16_t>(allocated);
    d.bitsStored = static_cast<std::uint16_t>(allocated);
    d.rescaleSlope = 1.0;
    d.fileWindowWidth = 256;
    d.fileWindowCentre = 128;
    return d;
}

// A small grey baseline JPEG of a flat image, as the viewer's own export writes it.
std::vector<std::uint8_t> FlatJpeg(int width, int height)
{
    DisplayBitmap bitmap;
    EXPECT_TRUE(bitmap.Create(width, height, 8));
    for (int row = 0; row < bitmap.Height(); ++row)
    {
        std::fill(bitmap.Row(row), bitmap.Row(row) + bitmap.Width(), std::uint8_t{0});
    }
    return test::GreyJpegOf(bitmap, 90);
}

// Rewrites the frame size in the stream's SOF0 header.
void SetJpegFrameSize(std::vector<std::uint8_t>& jpeg, std::uint16_t width, std::uint16_t height)
{
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i)
    {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0)
        {
            jpeg[i + 5] = static_cast<std::uint8_t>(height >> 8);
            jpeg[i + 6] = static_cast<std::uint8_t>(height);
            jpeg[i + 7] = static_cast<std::uint8_t>(width >> 8);
            jpeg[i + 8] = static_cast<std::uint8_t>(width);
            return;
        }
    }
    ADD_FAILURE() << "no SOF0 marker";
}

TEST_F(ResourceBoundsTest, NativeImageMustBeJustifiedByItsPixelData)
{
    // 1 KB of pixel data declaring 16000 x 16000: refused before the 2 GB of bitmap and values are allocated.
    const std::vector<std::uint8_t> kilobyte(1024, 7);
    EXPECT_FALSE(CImageData::Build(Native(kilobyte, 16000, 16000, 16), kInset));
    EXPECT_FALSE(CImageData::Build(Native(kilobyte, 16000, 16000, 1), kInset)) << "even at one bit a sample";
    EXPECT_FALSE(CImageData::Build(Native(kilobyte, 16000, 16000, 8, PhotometricKind::Rgb), kInset));
    EXPECT_FALSE(CImageData::Build(Native({}, 4, 4, 8), kInset)) << "a declared image without any pixel data";
    EXPECT_TRUE(raised.empty()) << "a refused image is not an allocation failure";

    // A cut file stays viewable down to one sample in kMinPixelDataShare pixels: 512 16-bit samples justify 8192.
    const auto cut = CImageData::Build(Native(kilobyte, 128, 64, 16), kInset);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->Values()[511], 0x0707);
    EXPECT_EQ(cut->Values()[512], 0) << "samples beyond the data read as 0";
    EXPECT_FALSE(CImageData::Build(Native(kilobyte, 128, 65, 16), kInset)) << "one row beyond the share";

    // Several planes together count.
    PixelDescription planes = Native(kilobyte, 128, 128, 8, PhotometricKind::YbrFull);
    planes.planes[1] = ByteView(kilobyte);
    EXPECT_TRUE(CImageData::Build(planes, kInset)) << "16384 pixels, 2048 samples";
}

TEST_F(ResourceBoundsTest, JpegFrameMustBeJustifiedByTheStreamLength)
{
    std::vector<std::uint8_t> jpeg = FlatJpeg(64, 64);
    ASSERT_LT(jpeg.size(), 2048u);
    PixelDescription d = Native(jpeg, 64, 64, 8);
    d.transferSyntax = TransferSyntaxKind::JpegBaseline;
    ASSERT_TRUE(CImageData::Build(d, kInset)) << "the stream as written";

    // The same short stream claiming 16000 x 16000 (1 GB of display pixels) is refused from its header alone.
    SetJpegFrameSize(jpeg, 16000, 16000);
    d.planes[0] = ByteView(jpeg);
    EXPECT_FALSE(CImageData::Build(d, kInset));
    DisplayBitmap bitmap;
    EXPECT_EQ(DecodeJpegBaseline(jpeg, MaxPixelsForStream(jpeg.size()), bitmap), JpegDecodeResult::Rejected);
    EXPECT_TRUE(bitmap.IsNull());
    EXPECT_TRUE(raised.empty());
}

TEST_F(ResourceBoundsTest, LosslessDestinationAndImageAreBoundedByTheStream)
{
    // A flat 64 x 64 image: the smallest stream a lossless encoder writes for it (about a bit a sample).
    const std::vector<std::uint16_t> flat(64 * 64, 300);
    test::LosslessEncodeOptions options;
    options.width = 64;
    options.height = 64;
    const std::vector<std::uint8_t> stream = test::EncodeLossless(flat, options);

    // Rows and columns from the data set size the destination only as far as the stream could fill it: a data set
    // declaring 65535 x 65535 with 16 bits allocated no longer obtains (and clears) 2 GB for this stream.
    LosslessDecoder decoder(stream);
    ASSERT_EQ(decoder.Decode(65535, 65535, 16), 0);
    ASSERT_NE(decoder.Plane(0), nullptr);
    EXPECT_EQ(decoder.PlaneLength(0), 64u * 64u * 2u);
    EXPECT_EQ(decoder.Plane(0)[2 * 4095], 300 & 0xFF);

    PixelDescription d = Native(stream, 64, 64, 16);
    d.bitsStored = 12;
    d.transferSyntax = TransferSyntaxKind::JpegLossless;
    const auto image = CImageData::Build(d, kInset);
    ASSERT_TRUE(image) << "the declared size matches the stream";
    EXPECT_EQ(image->Values()[4095], 300);
    d.columnCount = d.rowCount = 16000;
    EXPECT_FALSE(CImageData::Build(d, kInset)) << "16000 x 16000 from a stream of " << stream.size() << " bytes";
    EXPECT_TRUE(raised.empty());
}

TEST(ResourceBoundsLimitTest, StreamBoundGrowsWithTheStreamUpToTheImageLimit)
{
    EXPECT_EQ(MaxPixelsForStream(0), 0u);
    EXPECT_EQ(MaxPixelsForStream(100), 100 * kMaxPixelsPerCompressedByte);
    EXPECT_EQ(MaxPixelsForStream(std::size_t{1} << 40), kMaxImagePixels);
}

} // namespace
} // namespace orblane
