#include "imaging/CImageData.h"
#include "imaging/JpegBaseline.h"
#include "platform/ErrorSink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

namespace orblane {
namespace {

constexpr Point kInset{1, 1};

// A monochrome description over `bytes`, with the defaults the data-set reader would apply.
PixelDescription Monochrome(const std::vector<std::uint8_t>& bytes, int columns, int rows, int allocated, int stored,
                            PhotometricKind kind = PhotometricKind::Monochrome2)
{
    PixelDescription d;
    d.photometric = kind;
    d.transferSyntax = TransferSyntaxKind::ExplicitLittle;
    d.planes[0] = ByteView(bytes);
    d.columnCount = static_cast<std::uint16_t>(columns);
    d.rowCount = static_cast<std::uint16_t>(rows);
    d.bitsAllocated = static_cast<std::uint16_t>(allocated);
    d.bitsStored = static_cast<std::uint16_t>(stored);
    d.rescaleSlope = 1.0;
    d.fileWindowCentre = (1 << stored) / 2;
    d.fileWindowWidth = 1 << stored;
    d.aspectHorizontal = d.aspectVertical = 1;
    return d;
}

std::vector<std::uint8_t> Words16(std::initializer_list<std::uint16_t> words)
{
    std::vector<std::uint8_t> bytes;
    for (std::uint16_t w : words)
    {
        bytes.push_back(static_cast<std::uint8_t>(w));
        bytes.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    return bytes;
}

std::uint32_t Grey(std::uint32_t g)
{
    return MakeDisplayPixel(g, g, g);
}

TEST(CImageDataTest, EightBitDefaultWindowMapsTheEndsOfTheRange)
{
    const std::vector<std::uint8_t> bytes{0, 128, 255, 1};
    const auto image = CImageData::Build(Monochrome(bytes, 2, 2, 8, 8), kInset);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->ValueMin(), 0);
    EXPECT_EQ(image->ValueMax(), 255);
    // Centre 128, width 256: the low end is 0, grey = value * 255 / 256.
    EXPECT_EQ(image->Bitmap().Pixels32(0)[0], Grey(0));
    EXPECT_EQ(image->Bitmap().Pixels32(0)[1], Grey(127));
    EXPECT_EQ(image->Bitmap().Pixels32(1)[0], Grey(254));
}

TEST(CImageDataTest, ModalityValuesFollowRescaleAndSignUnclamped)
{
    // 12-bit CT with intercept -1024: stored 0 is air, the range ends at the value of 4095.
    const auto ctBytes = Words16({0, 1024, 4095, 0xF000});
    PixelDescription ct = Monochrome(ctBytes, 4, 1, 16, 12);
    ct.rescaleIntercept = -1024;
    const auto image = CImageData::Build(ct, kInset);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->ValueMin(), -1024);
    EXPECT_EQ(image->ValueMax(), 3071);
    EXPECT_EQ(image->Values()[0], -1024);
    EXPECT_EQ(image->Values()[1], 0);
    EXPECT_EQ(image->Values()[2], 3071);
    EXPECT_EQ(image->Values()[3], -1024) << "bits above Bits Stored are masked off";

    // Slope 2 goes beyond what 12 stored bits hold (MR, PET): 4095 * 2, not cut at 2^12 - 1.
    PixelDescription doubled = Monochrome(ctBytes, 4, 1, 16, 12);
    doubled.rescaleSlope = 2.0;
    EXPECT_EQ(CImageData::Build(doubled, kInset)->Values()[2], 8190);

    // 16-bit signed: two's complement.
    const auto signedBytes = Words16({0xFFFF, 0x8000, 0x7FFF, 0});
    PixelDescription s = Monochrome(signedBytes, 4, 1, 16, 16);
    s.pixelRepresentation = 1;
    const auto signedImage = CImageData::Build(s, kInset);
    ASSERT_TRUE(signedImage);
    EXPECT_EQ(signedImage->Values()[0], -1);
    EXPECT_EQ(signedImage->Values()[1], -32768);
    EXPECT_EQ(signedImage->Values()[2], 32767);
    EXPECT_EQ(signedImage->ValueMin(), -32768);
    EXPECT_EQ(signedImage->ValueMax(), 32768);
}

TEST(CImageDataTest, ZeroWidthWindowIsWhiteBeforeInversion)
{
    const std::vector<std::uint8_t> bytes{0, 255};
    for (const auto kind : {PhotometricKind::Monochrome2, PhotometricKind::Monochrome1})
    {
        const auto image = CImageData::Build(Monochrome(bytes, 2, 1, 8, 8, kind), kInset);
        ASSERT_TRUE(image);
        // A slope of 0 collapses the range, so any drag gives width 0.
        image->ChangeWindow(-500, 0, true, 1000, 1000);
        EXPECT_EQ(image->WindowWidth(), 1);
        PixelDescription flat = Monochrome(bytes, 2, 1, 8, 8, kind);
        flat.rescaleSlope = 0.0;
        const auto flatImage = CImageData::Build(flat, kInset);
        ASSERT_TRUE(flatImage);
        flatImage->ChangeWindow(10, 0, true, 1000, 1000);
        EXPECT_EQ(flatImage->WindowWidth(), 0);
        const std::uint32_t expected = kind == PhotometricKind::Monochrome2 ? Grey(255) : Grey(0);
        EXPECT_EQ(flatImage->Bitmap().Pixels32(0)[0], expected);
        EXPECT_EQ(flatImage->Bitmap().Pixels32(0)[1], expected);
    }
}

TEST(CImageDataTest, MonochromeOneInvertsAfterTheWindow)
{
    const std::vector<std::uint8_t> bytes{0, 255};
    const auto image = CImageData::Build(Monochrome(bytes, 2, 1, 8, 8, PhotometricKind::Monochrome1), kInset);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Bitmap().Pixels32(0)[0], Grey(255));
    EXPECT_EQ(image->Bitmap().Pixels32(0)[1], Grey(1));
}

TEST(CImageDataTest, WindowDragStepsAreScaledByBitsStoredAndClamped)
{
    const auto bytes = Words16({0, 100, 200, 4095});
    const auto image = CImageData::Build(Monochrome(bytes, 2, 2, 16, 12), kInset);
    ASSERT_TRUE(image);
    const int width = image->WindowWidth();
    const int centre = image->WindowCentre();
    // 4096 / 1000 / 256 is below one: the step is 1 value per pixel.
    image->ChangeWindow(10, 0, false, 1000, 1000);
    EXPECT_EQ(image->WindowWidth(), std::min(width + 10, image->ValueMax() - image->ValueMin()));
    // Not committed: the next move is measured from the start of the drag again.
    image->ChangeWindow(-20, 5, false, 1000, 1000);
    EXPECT_EQ(image->WindowWidth(), width - 20);
    EXPECT_EQ(image->WindowCentre(), centre - 5);
    image->ChangeWindow(0, -1000000, true, 1000, 1000);
    EXPECT_EQ(image->WindowCentre(), image->ValueMax());
    image->ChangeWindow(-1000000, 0, true, 1000, 1000);
    EXPECT_EQ(image->WindowWidth(), 1);
    image->ResetWindow();
    EXPECT_EQ(image->WindowWidth(), width);
    EXPECT_EQ(image->WindowCentre(), centre);

    const auto wideBytes = Words16({0, 65535});
    const auto wide = CImageData::Build(Monochrome(wideBytes, 2, 1, 16, 16), kInset);
    ASSERT_TRUE(wide);
    wide->ChangeWindow(0, 0, true, 1, 1);
    const int before = wide->WindowWidth();
    wide->ChangeWindow(-10, 0, false, 1, 1);
    EXPECT_EQ(wide->WindowWidth(), before - 2560);
}

TEST(CImageDataTest, RepaintThroughTheTableMatchesTheWindowArithmeticEverywhere)
{
    // Every 12-bit value once, under many windows: the fast table must agree with the per-value lookup.
    std::vector<std::uint16_t> words(4096);
    for (std::size_t i = 0; i < words.size(); ++i)
    {
        words[i] = static_cast<std::uint16_t>(i);
    }
    std::vector<std::uint8_t> bytes(words.size() * 2);
    for (std::size_t i = 0; i < words.size(); ++i)
    {
        bytes[2 * i] = static_cast<std::uint8_t>(words[i]);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(words[i] >> 8);
    }
    for (const auto kind : {PhotometricKind::Monochrome2, PhotometricKind::Monochrome1})
    {
        PixelDescription d = Monochrome(bytes, 64, 64, 16, 12, kind);
        d.rescaleIntercept = -1024;
        const auto image = CImageData::Build(d, kInset);
        ASSERT_TRUE(image);
        std::mt19937 random(7);
        for (int trial = 0; trial < 40; ++trial)
        {
            const int dx = static_cast<int>(random() % 9000) - 4500;
            const int dy = static_cast<int>(random() % 9000) - 4500;
            image->ChangeWindow(dx, dy, trial % 3 == 0, 1000, 1000);
            for (int i = 0; i < 4096; ++i)
            {
                const int row = i / 64;
                const int column = i % 64;
                ASSERT_EQ(image->Bitmap().Pixels32(row)[column], image->GrayPixel(image->Values()[i]))
                    << "value " << image->Values()[i] << " centre " << image->WindowCentre() << " width "
                    << image->WindowWidth();
            }
        }
    }
}

struct RescaleCase
{
    const char* name;
    double slope;
    double intercept;
    bool isSigned;
    // Stored values first + k * step for the 4096 pixels: a step of 1 paints through the pixel table, a wider one
    // through the per-pixel arithmetic (more distinct values than pixels).
    int first;
    int step;
};

class FractionalRescaleTest : public ::testing::TestWithParam<RescaleCase>
{
};

const RescaleCase kRescales[] = {
    {"TinySlope", 1e-6, 0.5, false, 0, 13},
    {"NegativeQuarter", -0.25, 100.0, true, -2048, 1},
    {"WholeSlopeBeyond32Bits", 1e6, 0.0, false, 0, 9},
};

TEST_P(FractionalRescaleTest, EveryStoredValueShowsAndTheWindowIsInModalityUnits)
{
    const RescaleCase& c = GetParam();
    std::vector<std::uint8_t> bytes;
    for (int k = 0; k < 4096; ++k)
    {
        const auto word = static_cast<std::uint16_t>(c.first + k * c.step);
        bytes.push_back(static_cast<std::uint8_t>(word));
        bytes.push_back(static_cast<std::uint8_t>(word >> 8));
    }
    PixelDescription d = Monochrome(bytes, 64, 64, 16, 16);
    d.pixelRepresentation = c.isSigned ? 1 : 0;
    d.rescaleSlope = c.slope;
    d.rescaleIntercept = c.intercept;
    d.fileWindowWidth = 0;
    const auto image = CImageData::Build(d, kInset);
    ASSERT_TRUE(image);
    const auto greyAt = [&](int k) { return static_cast<int>(image->Bitmap().Pixels32(k / 64)[k % 64] & 0xFFu); };
    // The default window spans the values present: a ramp, not one flat grey.
    std::vector<bool> seen(256);
    for (int k = 0; k < 4096; ++k)
    {
        seen[static_cast<std::size_t>(greyAt(k))] = true;
    }
    EXPECT_GE(std::count(seen.begin(), seen.end(), true), 250);

    // A window of 1000 stored steps around the value of pixel 2048, given in modality units.
    const double centre = (c.first + 2048.0 * c.step) * c.slope + c.intercept;
    const double width = 1000.0 * c.step * std::fabs(c.slope);
    image->SetModalityWindow(centre, width);
    EXPECT_NEAR(image->WindowInModality().centre, centre, std::fabs(c.slope));
    EXPECT_NEAR(image->WindowInModality().width, width, std::fabs(c.slope));
    for (int k = 0; k < 4096; ++k)
    {
        const double modality = (c.first + static_cast<double>(k) * c.step) * c.slope + c.intercept;
        const double above = modality - (centre - width / 2.0);
        const double expected = above <= 0.0 ? 0.0 : above >= width ? 255.0 : std::floor(above * 255.0 / width);
        ASSERT_NEAR(greyAt(k), expected, 1.0) << "pixel " << k << ", modality value " << modality;
    }
}

INSTANTIATE_TEST_SUITE_P(Slopes, FractionalRescaleTest, ::testing::ValuesIn(kRescales),
                         [](const ::testing::TestParamInfo<RescaleCase>& rescale) { return rescale.param.name; });

TEST(CImageDataTest, ShortPixelDataReadsMissingSamplesAsZero)
{
    const auto bytes = Words16({1000, 2000, 3000}); // four pixels declared, three present
    const auto image = CImageData::Build(Monochrome(bytes, 2, 2, 16, 16), kInset);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Values()[2], 3000);
    EXPECT_EQ(image->Values()[3], 0);
}

TEST(CImageDataTest, OneBitDataIsUnpackedLeastSignificantBitFirst)
{
    const std::vector<std::uint8_t> bytes{0b0000'0101};
    PixelDescription d = Monochrome(bytes, 4, 2, 1, 1);
    const auto image = CImageData::Build(d, kInset);
    ASSERT_TRUE(image);
    const std::vector<std::int32_t> expected{1, 0, 1, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::vector<std::int32_t>(image->Values().begin(), image->Values().end()), expected);
}

TEST(CImageDataTest, UnbuildableDescriptionsGiveNoImage)
{
    const std::vector<std::uint8_t> bytes(16, 0);
    EXPECT_FALSE(CImageData::Build(Monochrome(bytes, 0, 2, 8, 8), kInset)) << "no columns";
    EXPECT_FALSE(CImageData::Build(Monochrome(bytes, 2, 2, 0, 0), kInset)) << "bits allocated 0";
    EXPECT_FALSE(CImageData::Build(Monochrome(bytes, 2, 2, 64, 16), kInset)) << "bits allocated above 32";
    PixelDescription unknown = Monochrome(bytes, 2, 2, 8, 8);
    unknown.transferSyntax = TransferSyntaxKind::UnknownSyntax;
    EXPECT_FALSE(CImageData::Build(unknown, kInset));
    // 65535 x 65535 is beyond what the viewer builds, whatever the file claims.
    EXPECT_FALSE(CImageData::Build(Monochrome(bytes, 65535, 65535, 16, 16), kInset));
}

TEST(CImageDataTest, BitsStoredAboveBitsAllocatedIsClampedAndWindowWidthZeroUsesTheValuesPresent)
{
    const std::vector<std::uint8_t> bytes{10, 20};
    PixelDescription d = Monochrome(bytes, 2, 1, 8, 8);
    d.bitsStored = 14;
    d.fileWindowWidth = 0;
    const auto image = CImageData::Build(d, kInset);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Description().bitsStored, 8);
    EXPECT_EQ(image->WindowWidth(), 10) << "values 10 and 20 present";
    EXPECT_EQ(image->WindowCentre(), 15);
}

TEST(CImageDataTest, ColourConversions)
{
    EXPECT_EQ(CImageData::YbrToRgb(128, 128, 128), MakeDisplayPixel(128, 128, 128));
    EXPECT_EQ(CImageData::YbrToRgb(76, 85, 255), MakeDisplayPixel(254, 0, 0));

    // RGB interleaved and planar give the same picture.
    const std::vector<std::uint8_t> interleaved{255, 0, 0, 0, 255, 0};
    const std::vector<std::uint8_t> planar{255, 0, 0, 255, 0, 0};
    PixelDescription rgb;
    rgb.photometric = PhotometricKind::Rgb;
    rgb.transferSyntax = TransferSyntaxKind::ExplicitLittle;
    rgb.columnCount = 2;
    rgb.rowCount = 1;
    rgb.bitsAllocated = rgb.bitsStored = 8;
    rgb.aspectHorizontal = rgb.aspectVertical = 1;
    rgb.planes[0] = ByteView(interleaved);
    const auto a = CImageData::Build(rgb, kInset);
    rgb.planes[0] = ByteView(planar);
    rgb.planarConfiguration = 1;
    const auto b = CImageData::Build(rgb, kInset);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->Bitmap().Pixels32(0)[0], MakeDisplayPixel(255, 0, 0));
    EXPECT_EQ(a->Bitmap().Pixels32(0)[1], MakeDisplayPixel(0, 255, 0));
    EXPECT_EQ(b->Bitmap().Pixels32(0)[0], a->Bitmap().Pixels32(0)[0]);
    EXPECT_EQ(b->Bitmap().Pixels32(0)[1], a->Bitmap().Pixels32(0)[1]);

    // YBR_FULL_422: Y0 Y1 Cb Cr shared by two pixels.
    const std::vector<std::uint8_t> ybr422{76, 128, 85, 255};
    PixelDescription y = rgb;
    y.photometric = PhotometricKind::YbrFull422;
    y.planarConfiguration = 0;
    y.planes[0] = ByteView(ybr422);
    const auto c = CImageData::Build(y, kInset);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->Bitmap().Pixels32(0)[0], MakeDisplayPixel(254, 0, 0));
    EXPECT_EQ(c->Bitmap().Pixels32(0)[1], CImageData::YbrToRgb(128, 85, 255));

    // A colour model the display does not know is built, but black.
    PixelDescription palette = rgb;
    palette.photometric = PhotometricKind::OtherPhotometric;
    const auto p = CImageData::Build(palette, kInset);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Bitmap().Pixels32(0)[0], MakeDisplayPixel(0, 0, 0));
}

TEST(CImageDataTest, FitZoomAndOrigin)
{
    const std::vector<std::uint8_t> bytes(512 * 512, 0);
    PixelDescription d = Monochrome(bytes, 512, 512, 8, 8);
    const auto image = CImageData::Build(d, Point{3, 3});
    ASSERT_TRUE(image);
    image->FitTo(1000, 800);
    EXPECT_DOUBLE_EQ(image->GetZoom(), 1.5625);
    EXPECT_EQ(image->GetOrigin(), (Point{100, 3}));
    EXPECT_EQ(image->DisplayWidth(), 800);
    EXPECT_EQ(image->DisplayHeight(), 800);

    image->FitTo(400, 800);
    EXPECT_DOUBLE_EQ(image->GetZoom(), 400.0 / 512.0);
    EXPECT_EQ(image->GetOrigin(), (Point{3, 200}));

    // 1\2 aspect ratio: drawn twice as wide as its columns.
    PixelDescription wide = Monochrome(bytes, 512, 512, 8, 8);
    wide.aspectVertical = 1;
    wide.aspectHorizontal = 2;
    const auto stretched = CImageData::Build(wide, Point{1, 1});
    ASSERT_TRUE(stretched);
    EXPECT_EQ(stretched->DisplayWidth(), 1024);
    EXPECT_EQ(stretched->DisplayHeight(), 512);
    stretched->SetZoom(0.5);
    EXPECT_EQ(stretched->DisplayWidth(), 512);
    stretched->MoveOrigin(5, -2);
    EXPECT_EQ(stretched->GetOrigin(), (Point{6, -1}));
}

class CImageDataExportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = std::filesystem::temp_directory_path() /
                 ("orblane-export-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    static std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::filesystem::path folder;
};

TEST_F(CImageDataExportTest, BmpHoldsTheWindowedBitmapBottomUpWithPaddedRows)
{
    const std::vector<std::uint8_t> bytes{0, 255, 128, 64, 32, 16};
    const auto image = CImageData::Build(Monochrome(bytes, 3, 2, 8, 8), kInset);
    ASSERT_TRUE(image);
    const auto path = folder / "out.bmp";
    ASSERT_TRUE(image->SaveAs(path, kImageFileBmp));
    const auto file = ReadAll(path);
    ASSERT_EQ(file.size(), 54u + 2 * 12);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[28], 24);
    // First stored row is the image's bottom row: value 64 -> grey 63.
    EXPECT_EQ(file[54], image->Bitmap().Row(1)[0]);
    EXPECT_EQ(file[54], 63);
    EXPECT_EQ(file[54 + 12], 0);       // top row, first pixel
    EXPECT_EQ(file[54 + 12 + 3], 254); // top row, second pixel

    // A window change between two saves writes different pixels.
    image->ChangeWindow(0, 100, true, 1000, 1000);
    ASSERT_TRUE(image->SaveAs(path, kImageFileBmp));
    EXPECT_NE(ReadAll(path), file);
}

TEST_F(CImageDataExportTest, InvertedImagesAreSavedAsShownColourAndGrey)
{
    // Colour: two RGB pixels (10, 20, 30) and (200, 100, 0); inverted, each component is 255 minus itself.
    const std::vector<std::uint8_t> rgbBytes{10, 20, 30, 200, 100, 0};
    PixelDescription rgb;
    rgb.photometric = PhotometricKind::Rgb;
    rgb.transferSyntax = TransferSyntaxKind::ExplicitLittle;
    rgb.columnCount = 2;
    rgb.rowCount = 1;
    rgb.bitsAllocated = rgb.bitsStored = 8;
    rgb.aspectHorizontal = rgb.aspectVertical = 1;
    rgb.planes[0] = ByteView(rgbBytes);
    // Grey: 8-bit values 0 and 255 under the full window show 0 and 254; inverted, 255 and 1.
    const std::vector<std::uint8_t> greyBytes{0, 255};
    struct Case
    {
        const char* name;
        std::unique_ptr<CImageData> image;
        std::vector<std::uint8_t> shown;    // blue, green, red of the two pixels as first saved
        std::vector<std::uint8_t> inverted; // the same once inverted
    };
    Case cases[] = {
        {"colour", CImageData::Build(rgb, kInset), {30, 20, 10, 0, 100, 200}, {225, 235, 245, 255, 155, 55}},
        {"grey",
         CImageData::Build(Monochrome(greyBytes, 2, 1, 8, 8), kInset),
         {0, 0, 0, 254, 254, 254},
         {255, 255, 255, 1, 1, 1}}};
    for (Case& c : cases)
    {
        ASSERT_TRUE(c.image) << c.name;
        const auto path = folder / "out.bmp";
        const auto pixels = [&] {
            const auto file = ReadAll(path);
            return file.size() >= 60 ? std::vector<std::uint8_t>(file.begin() + 54, file.begin() + 60)
                                     : std::vector<std::uint8_t>{};
        };
        ASSERT_TRUE(c.image->SaveAs(path, kImageFileBmp)) << c.name;
        EXPECT_EQ(pixels(), c.shown) << c.name;
        c.image->SetInverted(true);
        ASSERT_TRUE(c.image->SaveAs(path, kImageFileBmp)) << c.name;
        EXPECT_EQ(pixels(), c.inverted) << c.name;
        // Saving leaves what the tile draws untouched.
        c.image->SetInverted(false);
        ASSERT_TRUE(c.image->SaveAs(path, kImageFileBmp)) << c.name;
        EXPECT_EQ(pixels(), c.shown) << c.name;
    }
}

TEST_F(CImageDataExportTest, JpegDecodesBackToTheShownGreyLevels)
{
    std::vector<std::uint8_t> bytes(64 * 64);
    for (std::size_t i = 0; i < bytes.size(); ++i)
    {
        bytes[i] = static_cast<std::uint8_t>((i % 64) * 4);
    }
    const auto image = CImageData::Build(Monochrome(bytes, 64, 64, 8, 8), kInset);
    ASSERT_TRUE(image);
    const auto path = folder / "out.jpg";
    ASSERT_TRUE(image->SaveAs(path, kImageFileJpeg));
    const auto file = ReadAll(path);
    DisplayBitmap decoded;
    ASSERT_EQ(DecodeJpegBaseline(file, kMaxImagePixels, decoded), JpegDecodeResult::Decoded);
    ASSERT_EQ(decoded.Width(), 64);
    ASSERT_EQ(decoded.BitsPerPixel(), 8);
    for (int column = 0; column < 64; column += 9)
    {
        EXPECT_NEAR(decoded.Row(10)[column], image->Bitmap().Row(10)[4 * column], 6);
    }
}

TEST_F(CImageDataExportTest, FailedSaveReportsFailureAndKeepsTheExistingFile)
{
    const std::vector<std::uint8_t> bytes{0, 255};
    const auto image = CImageData::Build(Monochrome(bytes, 2, 1, 8, 8), kInset);
    ASSERT_TRUE(image);
    EXPECT_FALSE(image->SaveAs(folder / "missing-folder" / "out.bmp", kImageFileBmp));
    EXPECT_FALSE(image->SaveAs(folder / "out.png", 7)) << "unknown format";
    EXPECT_FALSE(std::filesystem::exists(folder / "out.png"));

    // A target that cannot be replaced (here a folder with a file in it) fails after the data was written: the
    // temporary file must go and the target must stay as it was.
    const auto target = folder / "existing";
    std::filesystem::create_directories(target);
    std::ofstream(target / "inside.txt") << "keep me";
    EXPECT_FALSE(image->SaveAs(target, kImageFileBmp));
    EXPECT_EQ(ReadAll(target / "inside.txt"), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
    // Nothing half-written is left beside it.
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
    {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

} // namespace
} // namespace orblane
