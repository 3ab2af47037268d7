#include "imaging/ImageDataList.h"
#include "support/OpenAndReport.h"

#include "dicom/DicomDataFileIO.h"
#include "imaging/JpegBaseline.h"
#include "platform/ErrorSink.h"
#include "support/DicomWriter.h"
#include "support/GreyJpeg.h"
#include "support/LosslessEncoder.h"
#include "unit/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include <fstream>
#include <iterator>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace orblane {
namespace {

using test::DicomWriter;
using test::Length;

std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Sample(const char* name)
{
    return std::string(ORBLANE_TEST_DATA_DIR) + "/files/" + name;
}

std::unique_ptr<DicomDataFileIO> Loaded(const std::string& path)
{
    auto file = std::make_unique<DicomDataFileIO>();
    EXPECT_EQ(file->LoadFile(path), 0) << path;
    return file;
}

std::vector<std::uint8_t> Words(std::initializer_list<std::uint16_t> words)
{
    std::vector<std::uint8_t> bytes;
    for (const std::uint16_t w : words)
    {
        bytes.push_back(static_cast<std::uint8_t>(w));
        bytes.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    return bytes;
}

// A small monochrome image description; the caller adds or leaves out what the case needs.
DicomWriter& ImageAttributes(DicomWriter& w, std::uint16_t rows, std::uint16_t columns, std::uint16_t bits = 16)
{
    return w.UInt16(0x0028, 0x0002, 1)
        .Text(0x0028, 0x0004, "CS", "MONOCHROME2")
        .UInt16(0x0028, 0x0010, rows)
        .UInt16(0x0028, 0x0011, columns)
        .UInt16(0x0028, 0x0100, bits)
        .UInt16(0x0028, 0x0101, bits)
        .UInt16(0x0028, 0x0103, 0);
}

std::vector<std::uint8_t> GreyJpeg(int width, int height, std::uint8_t level)
{
    DisplayBitmap bitmap;
    EXPECT_TRUE(bitmap.Create(width, height, 8));
    for (int row = 0; row < height; ++row)
    {
        std::fill(bitmap.Row(row), bitmap.Row(row) + width, level);
    }
    return test::GreyJpegOf(bitmap, 95);
}

class ImageDataListTest : public ::testing::Test
{
protected:
    void SetUp() override { previous = SetErrorHandler(&Record); }
    void TearDown() override
    {
        SetErrorHandler(previous);
        raised.clear();
    }

    static void Record(std::string_view code, std::uint32_t, bool) { raised.emplace_back(code); }

    std::unique_ptr<DicomDataFileIO> Write(const std::string& name, const DicomWriter& w, std::u16string label = {})
    {
        w.WriteTo(folder.Path(name));
        auto file = std::make_unique<DicomDataFileIO>(name, folder.Folder(), std::move(label));
        return file;
    }

    inline static std::vector<std::string> raised;
    ErrorHandler previous = nullptr;
    test::TempFolder folder;
};

TEST_F(ImageDataListTest, RealCtValuesMatchTheStoredSamplesUnderTheFilesRescale)
{
    // CT_small: signed 16-bit samples, Rescale Intercept -1024, slope 1 (read off the file's header by hand).
    const auto bytes = ReadFile(Sample("CT_small.dcm"));
    const std::vector<std::uint8_t> header{0xE0, 0x7F, 0x10, 0x00, 'O', 'W', 0, 0};
    const auto at = std::search(bytes.begin(), bytes.end(), header.begin(), header.end());
    ASSERT_NE(at, bytes.end());
    const std::size_t pixels = static_cast<std::size_t>(at - bytes.begin()) + 12;

    ImageDataList list;
    list.AddFile(Loaded(Sample("CT_small.dcm")));
    const CImageData* image = list.GetImage(0);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->Bitmap().Width(), 128);
    ASSERT_EQ(image->Values().size(), 128u * 128u);
    for (std::size_t i = 0; i < image->Values().size(); i += 97)
    {
        const auto stored = static_cast<std::int16_t>(bytes[pixels + 2 * i] | (bytes[pixels + 2 * i + 1] << 8));
        ASSERT_EQ(image->Values()[i], stored - 1024) << "pixel " << i;
    }
    EXPECT_EQ(image->GetText(1).substr(0, 21), u"CompressedSamples^CT1");
    EXPECT_EQ(list.GetImage(1), nullptr);
}

TEST_F(ImageDataListTest, ImplicitAndExplicitMrGiveTheSameImage)
{
    ImageDataList list;
    list.AddFile(Loaded(Sample("MR_small.dcm")));
    list.AddFile(Loaded(Sample("MR_small_implicit.dcm")));
    const CImageData* a = list.GetImage(0);
    const CImageData* b = list.GetImage(1);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->Description().transferSyntax, TransferSyntaxKind::ExplicitLittle);
    EXPECT_EQ(b->Description().transferSyntax, TransferSyntaxKind::ImplicitLittle);
    ASSERT_EQ(a->Values().size(), b->Values().size());
    EXPECT_TRUE(std::equal(a->Values().begin(), a->Values().end(), b->Values().begin()));
    EXPECT_EQ(a->WindowCentre(), 600);
    EXPECT_EQ(a->WindowWidth(), 1600);
}

TEST_F(ImageDataListTest, ColourSamplesShowTheirColourBars)
{
    // The three colour samples hold the same 100 x 100 picture: ten horizontal bars, top to bottom red, light red,
    // green, light green, blue, light blue, black, dark grey, light grey, white.
    const std::uint32_t expected[10][3] = {{255, 0, 0},     {255, 128, 128}, {0, 255, 0}, {128, 255, 128},
                                           {0, 0, 255},     {128, 128, 255}, {0, 0, 0},   {64, 64, 64},
                                           {192, 192, 192}, {255, 255, 255}};
    for (const char* name : {"SC_rgb_jpeg_dcmtk.dcm", "SC_rgb_dcmtk_+eb+cr.dcm", "SC_ybr_full_422_uncompressed.dcm"})
    {
        ImageDataList list;
        list.AddFile(Loaded(Sample(name)));
        const CImageData* image = list.GetImage(0);
        ASSERT_NE(image, nullptr) << name;
        ASSERT_EQ(image->Bitmap().Width(), 100) << name;
        for (int bar = 0; bar < 10; ++bar)
        {
            // YCbCr quantisation moves a channel by a few levels.
            const std::uint32_t pixel = image->Bitmap().Pixels32(bar * 10 + 5)[50];
            EXPECT_NEAR((pixel >> 16) & 0xFF, expected[bar][0], 6) << name << " bar " << bar;
            EXPECT_NEAR((pixel >> 8) & 0xFF, expected[bar][1], 6) << name << " bar " << bar;
            EXPECT_NEAR(pixel & 0xFF, expected[bar][2], 6) << name << " bar " << bar;
        }
    }
}

TEST_F(ImageDataListTest, RleAndTwelveBitJpegFilesDecodeAndCutPixelDataGivesNoImage)
{
    // MR_small_RLE is MR_small compressed without loss by another toolkit: the same values.
    ImageDataList native;
    native.AddFile(Loaded(Sample("MR_small.dcm")));
    ImageDataList rle;
    rle.AddFile(Loaded(Sample("MR_small_RLE.dcm")));
    ASSERT_NE(native.GetImage(0), nullptr);
    ASSERT_NE(rle.GetImage(0), nullptr);
    EXPECT_TRUE(std::ranges::equal(rle.GetImage(0)->Values(), native.GetImage(0)->Values()));

    ImageDataList lossy;
    lossy.AddFile(Loaded(Sample("JPEG-lossy.dcm")));
    ASSERT_NE(lossy.GetImage(0), nullptr) << "JPEG extended, 12 bits";
    EXPECT_EQ(lossy.GetImage(0)->Description().transferSyntax, TransferSyntaxKind::JpegExtended);

    ImageDataList cut;
    cut.AddFile(Loaded(Sample("MR_truncated.dcm")));
    EXPECT_EQ(cut.GetImage(0), nullptr);
    EXPECT_TRUE(raised.empty());
}

// In the viewer a file whose pixel data gives no image is one tile that says why, never a study without it.
TEST_F(ImageDataListTest, AFileWhosePixelDataGivesNoImageStandsAsOneUnshowableImage)
{
    DicomWriter rowsOnly;
    rowsOnly.FileMeta(test::kExplicitLittleEndian);
    ImageAttributes(rowsOnly, 8, 8);
    DicomWriter pixelsOnly;
    pixelsOnly.FileMeta(test::kExplicitLittleEndian);
    pixelsOnly.Element(0x7FE0, 0x0010, "OW", Words({1, 2}));
    struct
    {
        std::unique_ptr<DicomDataFileIO> file;
        std::u16string reason;
    } cases[] = {
        {Loaded(Sample("MR_truncated.dcm")), u"Pixel data missing or cut short: cannot be shown"},
        {Write("rows-only", rowsOnly), u"Pixel data missing or cut short: cannot be shown"},
        {Write("pixels-only", pixelsOnly), u"Pixel data without a readable image: cannot be shown"},
    };
    for (auto& c : cases)
    {
        ImageDataList list({1, 1}, ImageListOptions{0, true, nullptr});
        list.AddFile(std::move(c.file));
        const CImageData* image = list.GetImage(0);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->UnshownReason(), c.reason);
        EXPECT_EQ(list.ImageCount(), 1);
    }
    EXPECT_TRUE(raised.empty());
}

TEST_F(ImageDataListTest, AFileThatFailsUnderItsMappingCostsItsImagesAndReportsOnce)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows (and Wine) refuse to cut a file that is mapped; WindowsMappedReadGuardTest faults a "
                    "guarded read instead";
#else
    // A file whose medium fails after it was read (here: truncated under its live mapping) must not end the program.
    DicomWriter w;
    w.FileMeta(test::kExplicitLittleEndian);
    ImageAttributes(w, 64, 64).Element(0x7FE0, 0x0010, "OW", std::vector<std::uint8_t>(64 * 64 * 2, 7));
    DicomWriter good;
    good.FileMeta(test::kExplicitLittleEndian);
    ImageAttributes(good, 1, 2).Element(0x7FE0, 0x0010, "OW", Words({9, 9}));
    auto failing = Write("failing", w);
    ASSERT_EQ(failing->LoadDataSet(), 0);
    std::filesystem::resize_file(folder.Path("failing"), 0);

    ImageDataList list;
    list.AddFile(std::move(failing));
    list.AddFile(Write("good", good));
    const CImageData* image = test::GetImageAndReport(list, 0);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->Values()[0], 9);
    EXPECT_EQ(list.ImageCount(), 1);
    EXPECT_EQ(raised, std::vector<std::string>{"10100"});
#endif
}

TEST_F(ImageDataListTest, FramesOfNativeAndEncapsulatedDataAreImagesInFrameOrder)
{
    DicomWriter native;
    native.FileMeta(test::kExplicitLittleEndian);
    ImageAttributes(native, 1, 2).Text(0x0028, 0x0008, "IS", "3");
    native.Element(0x7FE0, 0x0010, "OW", Words({1, 1, 2, 2, 3, 3}));
    // Three frames with a Basic Offset Table; the second frame split over two fragments.
    const auto a = GreyJpeg(16, 8, 40);
    const auto b = GreyJpeg(16, 8, 120);
    const auto c = GreyJpeg(16, 8, 200);
    const std::vector<std::uint8_t> bFirst(b.begin(), b.begin() + 100);
    const std::vector<std::uint8_t> bRest(b.begin() + 100, b.end());
    const auto offset = [](std::size_t v) {
        return std::vector<std::uint8_t>{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                                         static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
    };
    std::vector<std::uint8_t> table = offset(0);
    const auto second = offset(8 + a.size());
    const auto third = offset(8 + a.size() + 8 + bFirst.size() + 8 + bRest.size());
    table.insert(table.end(), second.begin(), second.end());
    table.insert(table.end(), third.begin(), third.end());
    DicomWriter jpeg;
    jpeg.FileMeta("1.2.840.10008.1.2.4.50");
    ImageAttributes(jpeg, 8, 16, 8).Text(0x0028, 0x0008, "IS", "3");
    jpeg.BeginEncapsulated().Fragment(table).Fragment(a).Fragment(bFirst).Fragment(bRest).Fragment(c).EndSequence();

    ImageDataList list;
    list.AddFile(Write("native", native));
    list.AddFile(Write("jpeg", jpeg));
    std::vector<std::int32_t> firstValues;
    std::vector<std::int32_t> frameNumbers;
    for (int i = 0; const CImageData* image = list.GetImage(i); ++i)
    {
        firstValues.push_back(image->Values()[0]);
        frameNumbers.push_back(image->Description().frameNumber);
        EXPECT_EQ(image->Description().frameCount, 3);
    }
    ASSERT_EQ(firstValues.size(), 6u);
    EXPECT_EQ(std::vector<std::int32_t>(firstValues.begin(), firstValues.begin() + 3),
              (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_NEAR(firstValues[3], 40, 2);
    EXPECT_NEAR(firstValues[4], 120, 2);
    EXPECT_NEAR(firstValues[5], 200, 2);
    EXPECT_EQ(frameNumbers, (std::vector<std::int32_t>{0, 1, 2, 0, 1, 2}));
}

TEST_F(ImageDataListTest, FilesAreDecodedLazilyInStudyLabelOrder)
{
    const auto make = [&](const std::string& name, std::uint16_t level, std::u16string label) {
        DicomWriter w;
        w.FileMeta(test::kExplicitLittleEndian);
        ImageAttributes(w, 1, 2).Element(0x7FE0, 0x0010, "OW", Words({level, level}));
        return Write(name, w, std::move(label));
    };
    ImageDataList list;
    list.AddFile(make("a", 1, u"2020.01.01 10:00:00"));
    list.AddFile(make("b", 2, u""));
    list.AddFile(make("c", 3, u"2024.05.06 08:00:00"));
    list.AddFile(make("d", 4, u"2020.01.01 10:00:00"));
    // Highest label first, equal labels in the order added, unlabelled last.
    ASSERT_NE(list.GetImage(0), nullptr);
    EXPECT_EQ(list.ImageCount(), 1) << "only the first file is decoded";
    EXPECT_EQ(list.GetImage(0)->Values()[0], 3);
    EXPECT_EQ(list.GetImage(2)->Values()[0], 4);
    EXPECT_EQ(list.ImageCount(), 3);
    EXPECT_EQ(list.GetImage(1)->Values()[0], 1);
    EXPECT_EQ(list.GetImage(3)->Values()[0], 2);
    EXPECT_EQ(list.GetImage(4), nullptr);
    EXPECT_EQ(list.LoadNextFile(), 0);
}

TEST_F(ImageDataListTest, FileWithoutRowsIsPassedOverAndUnreadableFileRaises10100)
{
    DicomWriter noRows;
    noRows.FileMeta(test::kExplicitLittleEndian).UInt16(0x0028, 0x0011, 2).Element(0x7FE0, 0x0010, "OW", Words({1, 1}));
    DicomWriter good;
    good.FileMeta(test::kExplicitLittleEndian);
    ImageAttributes(good, 1, 2).Element(0x7FE0, 0x0010, "OW", Words({9, 9}));

    ImageDataList list;
    list.AddFile(Write("norows", noRows));
    list.AddFile(std::make_unique<DicomDataFileIO>("missing", folder.Folder(), u""));
    list.AddFile(Write("good", good));
    const CImageData* image = test::GetImageAndReport(list, 0);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->Values()[0], 9);
    EXPECT_EQ(raised, std::vector<std::string>{"10100"});
}

TEST_F(ImageDataListTest, EveryNonEmptyFragmentIsAnImageAndBrokenOnesAreDropped)
{
    const auto dark = GreyJpeg(16, 8, 40);
    const auto light = GreyJpeg(16, 8, 200);
    const std::vector<std::uint8_t> notJpeg(100, 0x42);
    DicomWriter w;
    w.FileMeta("1.2.840.10008.1.2.4.50");
    ImageAttributes(w, 8, 16, 8);
    w.BeginEncapsulated().Fragment({}).Fragment(dark).Fragment(notJpeg).Fragment(light).EndSequence();
    w.Text(0xFFFC, 0xFFFC, "OB", "trailing padding");

    ImageDataList list;
    list.AddFile(Write("frames", w));
    ASSERT_NE(list.GetImage(1), nullptr);
    EXPECT_EQ(list.ImageCount(), 2);
    EXPECT_EQ(list.GetImage(2), nullptr);
    const CImageData* first = list.GetImage(0);
    EXPECT_EQ(first->Bitmap().BitsPerPixel(), 8);
    EXPECT_NEAR(first->Values()[0], 40, 2);
    EXPECT_NEAR(list.GetImage(1)->Values()[5], 200, 2);
}

TEST_F(ImageDataListTest, LosslessFramesDecodeToTheEncodedSamples)
{
    // A 12-bit signed CT frame (our encoder) and an 8-bit frame from another encoder (dcmtk) in one file each.
    test::LosslessEncodeOptions options;
    options.precision = 12;
    options.width = 40;
    options.height = 30;
    options.restartInterval = 40;
    const auto samples = test::MakeTestImage(40, 30, 12, 5);
    DicomWriter ct;
    ct.FileMeta(test::kJpegLossless);
    ImageAttributes(ct, 30, 40).Text(0x0028, 0x1052, "DS", "-1024").Text(0x0028, 0x1053, "DS", "1");
    ct.BeginEncapsulated().Fragment({}).Fragment(test::EncodeLossless(samples, options)).EndSequence();

    const auto mrStream = ReadFile(std::string(ORBLANE_TEST_DATA_DIR) + "/jpegll/mr_small_p8.ljpeg");
    const auto mrRaw = ReadFile(std::string(ORBLANE_TEST_DATA_DIR) + "/jpegll/mr_small_p8.raw");
    ASSERT_EQ(mrRaw.size(), 64u * 64u);
    DicomWriter mr;
    mr.FileMeta(test::kJpegLossless);
    ImageAttributes(mr, 64, 64, 8);
    mr.BeginEncapsulated().Fragment({}).Fragment(mrStream).EndSequence();

    ImageDataList list;
    list.AddFile(Write("ct", ct));
    list.AddFile(Write("mr", mr));
    const CImageData* first = list.GetImage(0);
    const CImageData* second = list.GetImage(1);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->Description().transferSyntax, TransferSyntaxKind::JpegLossless);
    for (std::size_t i = 0; i < samples.size(); ++i)
    {
        ASSERT_EQ(first->Values()[i], samples[i] - 1024) << "sample " << i;
    }
    // Bits Allocated 8 with an 8-bit container: every sample as stored.
    for (std::size_t i = 0; i < mrRaw.size(); ++i)
    {
        ASSERT_EQ(second->Values()[i], mrRaw[i]) << "sample " << i;
    }
}

TEST_F(ImageDataListTest, ColourLosslessFramesShowTheirColours)
{
    // DCMTK's stream of a 24 x 20 RGB picture (../data/jpegll/README.md): every pixel as its source says.
    const auto stream = ReadFile(std::string(ORBLANE_TEST_DATA_DIR) + "/jpegll/rgb8_sv7.ljpeg");
    const auto raw = ReadFile(std::string(ORBLANE_TEST_DATA_DIR) + "/jpegll/rgb8.raw");
    ASSERT_EQ(raw.size(), 24u * 20u * 3u);
    const auto colourFile = [&](const char* photometric, std::uint16_t rows, std::uint16_t columns,
                                const std::vector<std::uint8_t>& fragment) {
        DicomWriter w;
        w.FileMeta(test::kJpegLossless);
        w.UInt16(0x0028, 0x0002, 3).Text(0x0028, 0x0004, "CS", photometric).UInt16(0x0028, 0x0006, 0);
        w.UInt16(0x0028, 0x0010, rows).UInt16(0x0028, 0x0011, columns);
        w.UInt16(0x0028, 0x0100, 8).UInt16(0x0028, 0x0101, 8).UInt16(0x0028, 0x0102, 7).UInt16(0x0028, 0x0103, 0);
        w.BeginEncapsulated().Fragment({}).Fragment(fragment).EndSequence();
        return w;
    };
    // Y Cb Cr of pure red (76, 85, 255) and of mid grey, coded as they are stored: the image converts them.
    test::LosslessEncodeOptions options;
    options.precision = 8;
    options.width = 2;
    options.height = 1;
    options.components = 3;
    const std::vector<std::uint16_t> ybr{76, 85, 255, 128, 128, 128};

    ImageDataList list;
    list.AddFile(Write("rgb", colourFile("RGB", 20, 24, stream)));
    // The data set declares two rows fewer than the stream holds: its rows rule, and the buffer still takes the
    // stream's three components of every line.
    list.AddFile(Write("short", colourFile("RGB", 18, 24, stream)));
    list.AddFile(Write("ybr", colourFile("YBR_FULL", 1, 2, test::EncodeLossless(ybr, options))));
    for (int index : {0, 1})
    {
        const CImageData* image = list.GetImage(index);
        ASSERT_NE(image, nullptr) << index;
        const int rows = index == 0 ? 20 : 18;
        ASSERT_EQ(image->Bitmap().Width(), 24);
        ASSERT_EQ(image->Bitmap().Height(), rows);
        for (int y = 0; y < rows; ++y)
        {
            for (int x = 0; x < 24; ++x)
            {
                const std::size_t k = (static_cast<std::size_t>(y) * 24 + static_cast<std::size_t>(x)) * 3;
                const std::uint32_t want =
                    0xFF000000u | (std::uint32_t{raw[k]} << 16) | (std::uint32_t{raw[k + 1]} << 8) | raw[k + 2];
                ASSERT_EQ(image->Bitmap().Pixels32(y)[x], want) << index << " at " << x << ", " << y;
            }
        }
    }
    const CImageData* ybrImage = list.GetImage(2);
    ASSERT_NE(ybrImage, nullptr);
    const std::uint32_t red = ybrImage->Bitmap().Pixels32(0)[0];
    EXPECT_NEAR((red >> 16) & 0xFF, 254, 2); // R = Y + 1.402 (Cr - 128)
    EXPECT_NEAR((red >> 8) & 0xFF, 0, 2);
    EXPECT_NEAR(red & 0xFF, 0, 2);
    EXPECT_EQ(ybrImage->Bitmap().Pixels32(0)[1] & 0xFFFFFFu, 0x808080u);
}

TEST_F(ImageDataListTest, LosslessSamplesAreReadInTheDecodersContainer)
{
    // Bits Allocated 16 but a precision of 8: the decoder lays out one byte per sample, and that is how it is read.
    test::LosslessEncodeOptions options;
    options.precision = 8;
    options.width = 8;
    options.height = 4;
    const auto samples = test::MakeTestImage(8, 4, 8, 9);
    DicomWriter w;
    w.FileMeta(test::kJpegLossless);
    w.UInt16(0x0028, 0x0002, 1).Text(0x0028, 0x0004, "CS", "MONOCHROME2").UInt16(0x0028, 0x0010, 4);
    w.UInt16(0x0028, 0x0011, 8).UInt16(0x0028, 0x0100, 16).UInt16(0x0028, 0x0101, 8).UInt16(0x0028, 0x0103, 0);
    w.BeginEncapsulated().Fragment({}).Fragment(test::EncodeLossless(samples, options)).EndSequence();
    ImageDataList list;
    list.AddFile(Write("container", w));
    const CImageData* image = list.GetImage(0);
    ASSERT_NE(image, nullptr);
    for (std::size_t i = 0; i < samples.size(); ++i)
    {
        ASSERT_EQ(image->Values()[i], samples[i]) << "sample " << i;
    }
}

TEST_F(ImageDataListTest, LargeLosslessFramesDecodeToTheEncodedSamples)
{
    // Frames this large are converted to values on a second thread while the decoder is still writing them: every
    // value must still be its own sample's, whatever the stream's layout.
    struct Case
    {
        const char* name;
        int precision;
        std::uint16_t bitsAllocated;
        std::uint16_t restartInterval;
        bool dnl;
    };
    const Case cases[] = {
        {"TwelveBitsInSixteen", 12, 16, 0, false},
        {"RestartEveryLineAndAHalf", 14, 16, 1536, false},
        {"LineCountInADnlSegment", 16, 16, 0, true},
        {"EightBitsInEight", 8, 8, 0, false},
    };
    constexpr int kWidth = 1024;
    constexpr int kHeight = 640;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        test::LosslessEncodeOptions options;
        options.precision = c.precision;
        options.width = kWidth;
        options.height = kHeight;
        options.restartInterval = c.restartInterval;
        options.dnl = c.dnl;
        const auto samples = test::MakeTestImage(kWidth, kHeight, c.precision, 11);
        DicomWriter w;
        w.FileMeta(test::kJpegLossless);
        w.UInt16(0x0028, 0x0002, 1).Text(0x0028, 0x0004, "CS", "MONOCHROME2").UInt16(0x0028, 0x0010, kHeight);
        w.UInt16(0x0028, 0x0011, kWidth).UInt16(0x0028, 0x0100, c.bitsAllocated);
        w.UInt16(0x0028, 0x0101, static_cast<std::uint16_t>(c.precision)).UInt16(0x0028, 0x0103, 0);
        w.Text(0x0028, 0x1052, "DS", "-1000").Text(0x0028, 0x1053, "DS", "1");
        w.BeginEncapsulated().Fragment({}).Fragment(test::EncodeLossless(samples, options)).EndSequence();
        ImageDataList list;
        list.AddFile(Write(c.name, w));
        const CImageData* image = list.GetImage(0);
        ASSERT_NE(image, nullptr);
        ASSERT_EQ(image->Values().size(), samples.size());
        for (std::size_t i = 0; i < samples.size(); ++i)
        {
            ASSERT_EQ(image->Values()[i], samples[i] - 1000) << "sample " << i;
        }
        EXPECT_EQ(image->PresentMax(), *std::max_element(samples.begin(), samples.end()) - 1000);
    }
}

TEST_F(ImageDataListTest, IconImageDoesNotLendItsPixelDataToTheMainImage)
{
    DicomWriter w;
    w.FileMeta(test::kExplicitLittleEndian);
    ImageAttributes(w, 2, 2);
    w.BeginSequence(0x0088, 0x0200, Length::Undefined).BeginItem(Length::Undefined);
    ImageAttributes(w, 1, 1, 8).Element(0x7FE0, 0x0010, "OB", std::vector<std::uint8_t>{7, 0});
    w.EndItem().EndSequence();
    w.Element(0x7FE0, 0x0010, "OW", Words({100, 200, 300, 400}));

    ImageDataList list;
    list.AddFile(Write("icon", w));
    const CImageData* image = list.GetImage(0);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->Bitmap().Width(), 2);
    EXPECT_EQ(image->Values()[3], 400);
    EXPECT_EQ(list.GetImage(1), nullptr) << "the icon is not an image of its own";
}

TEST_F(ImageDataListTest, DescriptionRulesOfTheDataSet)
{
    const auto build = [&](const std::string& name, auto&& addAttributes,
                           std::string_view syntax = test::kExplicitLittleEndian) {
        DicomWriter w;
        w.FileMeta(syntax);
        w.UInt16(0x0028, 0x0010, 1).UInt16(0x0028, 0x0011, 2).UInt16(0x0028, 0x0100, 16).UInt16(0x0028, 0x0101, 12);
        addAttributes(w);
        w.Element(0x7FE0, 0x0010, "OW", Words({0, 4095}));
        auto file = Write(name, w);
        EXPECT_EQ(file->LoadDataSet(), 0);
        return ReadPixelDescription(*file, 0);
    };
    const auto window = build("window", [](DicomWriter& w) {
        w.Text(0x0028, 0x0004, "CS", "MONOCHROME2").Text(0x0028, 0x1050, "DS", "40.5\\400");
    });
    EXPECT_EQ(window.fileWindowWidth, 0) << "a centre without a width is no window: the image build takes the values";

    const auto voi = build("voi", [](DicomWriter& w) {
        w.Text(0x0028, 0x0004, "CS", "MONOCHROME2").Text(0x0028, 0x1050, "DS", "40").Text(0x0028, 0x1051, "DS", "400");
        w.BeginSequence(0x0028, 0x3010, Length::Undefined).EndSequence();
    });
    EXPECT_EQ(voi.fileWindowCentre, 40) << "a VOI LUT Sequence does not discard the window";
    EXPECT_EQ(voi.fileWindowWidth, 400);

    // Window values are decimal strings: rounded to the stored steps, exponents read, the written values kept.
    struct WindowText
    {
        const char* centre;
        const char* width;
        std::int32_t centreSteps;
        std::int32_t widthSteps;
        double widthValue;
    };
    for (const WindowText& t :
         {WindowText{"40.5", "399.6", 41, 400, 399.6}, WindowText{"-1.5E2", "1.2E3", -150, 1200, 1200.0},
          WindowText{"0.004", "0.5", 0, 0, 0.0}, WindowText{"x", "400", 0, 0, 0.0}})
    {
        const auto read = build("decimal", [&t](DicomWriter& w) {
            w.Text(0x0028, 0x0004, "CS", "MONOCHROME2").Text(0x0028, 0x1050, "DS", t.centre);
            w.Text(0x0028, 0x1051, "DS", t.width);
        });
        EXPECT_EQ(read.fileWindowCentre, t.centreSteps) << t.centre << " / " << t.width;
        EXPECT_EQ(read.fileWindowWidth, t.widthSteps) << t.centre << " / " << t.width;
        EXPECT_DOUBLE_EQ(read.fileWindowWidthValue, t.widthValue) << t.centre << " / " << t.width;
    }

    const auto blank = build("blank", [](DicomWriter& w) {
        w.Text(0x0028, 0x0004, "CS", "MONOCHROME2").Text(0x0028, 0x1052, "DS", "").Text(0x0028, 0x1053, "DS", "x");
        w.Text(0x2050, 0x0020, "CS", "INVERSE");
    });
    EXPECT_EQ(blank.rescaleSlope, 1.0) << "a malformed slope reads as 1, not 0";
    EXPECT_EQ(blank.rescaleIntercept, 0.0);
    EXPECT_TRUE(blank.presentationInverse);

    const auto aspect = build("aspect", [](DicomWriter& w) { w.Text(0x0028, 0x0034, "IS", "1\\2"); });
    EXPECT_EQ(aspect.photometric, PhotometricKind::Monochrome1) << "absent photometric";
    EXPECT_EQ(aspect.aspectVertical, 1);
    EXPECT_EQ(aspect.aspectHorizontal, 2);
    const auto single = build("single", [](DicomWriter& w) { w.Text(0x0028, 0x0034, "IS", "1"); });
    EXPECT_EQ(single.aspectHorizontal, 1);

    const auto rgb = build("rgb", [](DicomWriter& w) { w.Text(0x0028, 0x0004, "CS", "RGB"); });
    EXPECT_EQ(rgb.photometric, PhotometricKind::Rgb);
    EXPECT_EQ(rgb.fileWindowWidth, 0) << "no window for colour";
    const auto palette = build("palette", [](DicomWriter& w) { w.Text(0x0028, 0x0004, "CS", "PALETTE COLOR"); });
    EXPECT_EQ(palette.photometric, PhotometricKind::PaletteColour);

    // A UID padded with a space instead of NUL is still the syntax it names.
    DicomWriter spaced;
    spaced.Element(0x0002, 0x0010, "UI", test::ToBytes("1.2.840.10008.1.2.1 "));
    ImageAttributes(spaced, 1, 2).Element(0x7FE0, 0x0010, "OW", Words({1, 2}));
    ImageDataList list;
    list.AddFile(Write("spaced", spaced));
    EXPECT_NE(list.GetImage(0), nullptr);
}

TEST(ImageDataListParseTest, NumberTextsStopAtTheFirstOtherCharacter)
{
    const auto parseInt = [](std::string_view s) {
        return ParseIntegerString(ByteView(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()));
    };
    const auto parseReal = [](std::string_view s) {
        return ParseDecimalString(ByteView(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()));
    };
    EXPECT_EQ(parseInt("40.5"), 40);
    EXPECT_EQ(parseInt(" -1024 "), -1024);
    EXPECT_EQ(parseInt("x12"), 0);
    EXPECT_EQ(parseInt("99999999999999"), 2147483647);
    EXPECT_DOUBLE_EQ(parseReal("-1024.5\\3"), -1024.5);
    EXPECT_DOUBLE_EQ(parseReal(" 2.5E1"), 25.0);
    EXPECT_DOUBLE_EQ(parseReal("abc"), 0.0);
}

TEST(ImageDataListBudgetTest, AChosenBudgetIsKeptUpToHalfThePhysicalMemory)
{
    // The settings file allows up to a terabyte; paging a long study with it must not take the machine's memory.
#if defined(_WIN32)
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    ASSERT_TRUE(::GlobalMemoryStatusEx(&status));
    const std::uint64_t half = status.ullTotalPhys / 4096 * 4096 / 2;
#else
    const std::uint64_t half = static_cast<std::uint64_t>(::sysconf(_SC_PHYS_PAGES)) *
                               static_cast<std::uint64_t>(::sysconf(_SC_PAGE_SIZE)) / 2;
#endif
    EXPECT_EQ(ImageCacheBudget(0), DefaultImageCacheBytes());
    EXPECT_EQ(ImageCacheBudget(std::size_t{64} << 20), std::size_t{64} << 20);
    // Half of the machine's memory at most (a control group's limit may lower it).
    const std::size_t capped = ImageCacheBudget(std::size_t{1} << 40);
    EXPECT_LE(capped, half);
    EXPECT_GT(capped, 0u);
    EXPECT_EQ(ImageCacheBudget(SIZE_MAX), capped);
}

} // namespace
} // namespace orblane
