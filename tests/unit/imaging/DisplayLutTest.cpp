// Modality LUT, VOI LUT, palette colour, High Bit and the default window, against files and values written by other
// tools or worked by hand.
#include "imaging/CImageData.h"
#include "imaging/ImageDataList.h"

#include "dicom/DicomDataFileIO.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace orblane::test {
namespace {

namespace fs = std::filesystem;

constexpr Point kInset{1, 1};

std::vector<std::vector<std::uint32_t>> ReadExpected(const fs::path& path)
{
    std::ifstream in(path);
    EXPECT_TRUE(in) << path;
    std::vector<std::vector<std::uint32_t>> rows;
    std::string line;
    while (std::getline(in, line))
    {
        std::vector<std::uint32_t> row;
        std::size_t position = 0;
        while (position < line.size())
        {
            std::size_t used = 0;
            row.push_back(static_cast<std::uint32_t>(std::stoul(line.substr(position), &used)));
            position += used;
        }
        rows.push_back(row);
    }
    return rows;
}

enum class Check
{
    ModalityValues,
    VoiGrey12,
    PaletteTop8,
    Palette8,
};

struct FixtureCase
{
    const char* name;
    const char* file;
    Check check;
};

class LutFixtureTest : public ::testing::TestWithParam<FixtureCase>
{
};

// pydicom's apply_modality_lut, apply_voi_lut and apply_color_lut wrote the expected values (make_fixtures.py).
TEST_P(LutFixtureTest, MatchesPydicom)
{
    const FixtureCase& c = GetParam();
    const fs::path path = fs::path(ORBLANE_TEST_DATA_DIR) / "luts" / c.file;
    auto file = std::make_unique<DicomDataFileIO>();
    ASSERT_EQ(file->LoadFile(path.string()), 0);
    ImageDataList list;
    list.AddFile(std::move(file));
    const CImageData* image = list.GetImage(0);
    ASSERT_NE(image, nullptr);
    auto expectedPath = path;
    const auto expected = ReadExpected(expectedPath.replace_extension(".expected.txt"));
    ASSERT_EQ(expected.size(), 8u);
    for (std::size_t k = 0; k < expected.size(); ++k)
    {
        const std::uint32_t shown = image->Bitmap().Pixels32(static_cast<int>(k / 4))[k % 4];
        const auto& e = expected[k];
        switch (c.check)
        {
        case Check::ModalityValues:
            EXPECT_EQ(image->Values()[k], static_cast<std::int32_t>(e[0])) << k;
            break;
        case Check::VoiGrey12:
            EXPECT_EQ(shown, MakeDisplayPixel(e[0] * 255 / 4095, e[0] * 255 / 4095, e[0] * 255 / 4095)) << k;
            break;
        case Check::PaletteTop8:
            EXPECT_EQ(shown, MakeDisplayPixel(e[0] >> 8, e[1] >> 8, e[2] >> 8)) << k;
            break;
        case Check::Palette8:
            EXPECT_EQ(shown, MakeDisplayPixel(e[0], e[1], e[2])) << k;
            break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, LutFixtureTest,
    ::testing::Values(
        FixtureCase{"ModalityLutDefinedLength", "mlut.dcm", Check::ModalityValues},
        FixtureCase{"VoiLutUndefinedLength", "vlut.dcm", Check::VoiGrey12},
        FixtureCase{"Palette8BitIndices16BitEntries", "palette8.dcm", Check::PaletteTop8},
        FixtureCase{"Palette16BitIndicesPacked8BitEntries", "palette16.dcm", Check::Palette8},
        FixtureCase{"Palette16BitIndices65536EntriesImplicitVr", "palette16_implicit.dcm", Check::PaletteTop8},
        FixtureCase{"SegmentedPalette16BitIndicesImplicitVr", "palette16_segmented.dcm", Check::PaletteTop8}),
    ByCaseName{});

std::vector<std::uint8_t> Words16(std::initializer_list<std::uint16_t> words)
{
    std::vector<std::uint8_t> bytes;
    for (const std::uint16_t w : words)
    {
        bytes.push_back(static_cast<std::uint8_t>(w));
        bytes.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    return bytes;
}

PixelDescription Grey16(const std::vector<std::uint8_t>& bytes, int stored)
{
    PixelDescription d;
    d.photometric = PhotometricKind::Monochrome2;
    d.transferSyntax = TransferSyntaxKind::ExplicitLittle;
    d.planes[0] = ByteView(bytes);
    d.columnCount = static_cast<std::uint16_t>(bytes.size() / 2);
    d.rowCount = 1;
    d.bitsAllocated = 16;
    d.bitsStored = static_cast<std::uint16_t>(stored);
    d.highBit = static_cast<std::uint16_t>(stored - 1);
    d.rescaleSlope = 1.0;
    d.aspectHorizontal = d.aspectVertical = 1;
    return d;
}

std::uint32_t Grey(std::uint32_t g)
{
    return MakeDisplayPixel(g, g, g);
}

TEST(DisplayLutTest, StoredBitsSitBelowHighBit)
{
    // 12 stored bits with High Bit 13: the stored value is bits 2..13 (worked by hand: 0x3FFC >> 2 = 4095, and the
    // bits outside [2, 13] are overlay or noise that must not show).
    const auto bytes = Words16({0x3FFC, 0x0004, 0xC003, 0x2001});
    PixelDescription d = Grey16(bytes, 12);
    d.highBit = 13;
    const auto image = CImageData::Build(d, kInset);
    ASSERT_TRUE(image);
    const std::vector<std::int32_t> expected{4095, 1, 0, 2048};
    EXPECT_EQ(std::vector<std::int32_t>(image->Values().begin(), image->Values().end()), expected);
}

TEST(DisplayLutTest, DefaultWindowSpansTheValuesPresentUnlessTheFileHasOne)
{
    // Nuclear medicine style: 16 stored bits, values 100..300 only. A window over 0..65535 would show black.
    const auto bytes = Words16({100, 200, 300, 150});
    const auto image = CImageData::Build(Grey16(bytes, 16), kInset);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->WindowCentre(), 200);
    EXPECT_EQ(image->WindowWidth(), 200);
    EXPECT_EQ(image->Bitmap().Pixels32(0)[0], Grey(0));
    EXPECT_EQ(image->Bitmap().Pixels32(0)[1], Grey(127)); // 100 * 255 / 200
    EXPECT_EQ(image->Bitmap().Pixels32(0)[2], Grey(255));

    PixelDescription windowed = Grey16(bytes, 16);
    windowed.fileWindowCentre = 40;
    windowed.fileWindowWidth = 400;
    const auto kept = CImageData::Build(windowed, kInset);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->WindowCentre(), 40);
    EXPECT_EQ(kept->WindowWidth(), 400);
}

TEST(DisplayLutTest, VoiLutIsTheAlternativeToTheFileWindowAndADragLeavesIt)
{
    // A 4-entry 8-bit LUT from value 10: 10 -> 0, 11 -> 51, 12 -> 204, 13 and above -> 255.
    const std::vector<std::uint8_t> lutData{0, 51, 204, 255};
    const auto bytes = Words16({9, 11, 12, 40});
    PixelDescription d = Grey16(bytes, 16);
    d.voiLut = LutView{ByteView(lutData), 4, 10, 8};
    d.fileWindowCentre = 20;
    d.fileWindowWidth = 10;
    const auto image = CImageData::Build(d, kInset);
    ASSERT_TRUE(image);
    EXPECT_FALSE(image->UsesVoiLut()) << "the file's window stays the default";
    ASSERT_TRUE(image->UseVoiLut(true));
    const std::vector<std::uint32_t> throughLut{Grey(0), Grey(51), Grey(204), Grey(255)};
    for (int k = 0; k < 4; ++k)
    {
        EXPECT_EQ(image->Bitmap().Pixels32(0)[k], throughLut[static_cast<std::size_t>(k)]) << k;
    }
    // A drag from the LUT starts from the window over its input range: values 10..13, centre 12, width 4.
    image->ChangeWindow(0, 0, true, 1000, 1000);
    EXPECT_FALSE(image->UsesVoiLut());
    EXPECT_EQ(image->WindowCentre(), 12);
    EXPECT_EQ(image->WindowWidth(), 4);
    image->ResetWindow();
    EXPECT_EQ(image->WindowCentre(), 20);

    // Without a window in the file the LUT is the first display function.
    PixelDescription lutOnly = d;
    lutOnly.fileWindowWidth = 0;
    const auto shownByLut = CImageData::Build(lutOnly, kInset);
    ASSERT_TRUE(shownByLut);
    EXPECT_TRUE(shownByLut->UsesVoiLut());
    EXPECT_EQ(shownByLut->Bitmap().Pixels32(0)[1], Grey(51));
}

TEST(DisplayLutTest, InverseAndMonochrome1EachInvertOnce)
{
    const auto bytes = Words16({0, 100});
    struct Row
    {
        PhotometricKind kind;
        bool inverse;
        std::uint32_t black;
    };
    for (const Row row :
         {Row{PhotometricKind::Monochrome2, false, Grey(0)}, Row{PhotometricKind::Monochrome2, true, Grey(255)},
          Row{PhotometricKind::Monochrome1, false, Grey(255)}, Row{PhotometricKind::Monochrome1, true, Grey(0)}})
    {
        PixelDescription d = Grey16(bytes, 16);
        d.photometric = row.kind;
        d.presentationInverse = row.inverse;
        const auto image = CImageData::Build(d, kInset);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->Bitmap().Pixels32(0)[0], row.black) << PhotometricName(row.kind) << " " << row.inverse;
        EXPECT_EQ(image->GrayPixel(0), row.black);
    }
}

TEST(DisplayLutTest, LutDataShorterThanItsDescriptorIsReadOnlyAsFarAsItGoes)
{
    const std::vector<std::uint8_t> data{1, 0, 2, 0, 3, 0};
    struct Row
    {
        const char* what;
        LutView view;
        std::vector<std::uint16_t> entries;
    };
    for (const Row& row : {Row{"0 entries means 65536", LutView{ByteView(data), 65536, 0, 16}, {1, 2, 3}},
                           Row{"claims more than held", LutView{ByteView(data), 100, 0, 16}, {1, 2, 3}},
                           Row{"8-bit entries packed", LutView{ByteView(data), 6, 0, 8}, {1, 0, 2, 0, 3, 0}},
                           Row{"8-bit entries one a word", LutView{ByteView(data), 3, 0, 8}, {1, 2, 3}},
                           Row{"odd byte at the end", LutView{ByteView(data.data(), 5), 3, 0, 16}, {1, 2}}})
    {
        EXPECT_EQ(CopyLut(row.view).entries, row.entries) << row.what;
    }
    // A Modality LUT with a single entry maps everything to it; one with no data leaves the stored values.
    const std::vector<std::uint8_t> one{7, 0};
    const auto bytes = Words16({0, 5000});
    PixelDescription d = Grey16(bytes, 16);
    d.hasModalityLut = true;
    d.modalityLut = LutView{ByteView(one), 65536, 0, 16};
    const auto image = CImageData::Build(d, kInset);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Values()[1], 7);
    d.modalityLut = LutView{ByteView(one.data(), 1), 1, 0, 16};
    EXPECT_EQ(CImageData::Build(d, kInset)->Values()[1], 5000);
}

TEST(DisplayLutTest, PaletteWithoutItsLutsIsRefusedAndSixteenBitRgbShowsItsTopBits)
{
    const auto bytes = Words16({0x1234, 0xABCD, 0x00FF});
    PixelDescription palette = Grey16(bytes, 16);
    palette.photometric = PhotometricKind::PaletteColour;
    palette.segmentedPalette = true;
    EXPECT_FALSE(CImageData::Build(palette, kInset)) << "no image rather than a black one";

    PixelDescription rgb = Grey16(bytes, 16);
    rgb.photometric = PhotometricKind::Rgb;
    rgb.columnCount = 1;
    const auto image = CImageData::Build(rgb, kInset);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Bitmap().Pixels32(0)[0], MakeDisplayPixel(0x12, 0xAB, 0x00));
}

} // namespace
} // namespace orblane::test
