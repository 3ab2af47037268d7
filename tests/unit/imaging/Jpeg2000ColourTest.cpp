// JPEG 2000 colour images (tests/data/j2kcolour/README.md) reach the display in the colours OpenJPEG's own
// command-line decoder gives: the codestream's component transform decides, whatever the data set's label says.
#include "dicom/DicomDataFileIO.h"
#include "imaging/CImageData.h"
#include "imaging/ImageDataList.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace orblane {
namespace {

std::vector<std::uint8_t> ReadData(const std::string& name)
{
    const auto path = std::filesystem::path(ORBLANE_TEST_DATA_DIR) / name;
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct ColourCase
{
    const char* name;
    const char* file;
    // Interleaved RGB samples of rows firstRow onwards, as opj_decompress wrote them.
    const char* oracle;
    int firstRow;
};

class Jpeg2000ColourTest : public ::testing::TestWithParam<ColourCase>
{
};

TEST_P(Jpeg2000ColourTest, ShowsTheColoursOfAnIndependentDecoder)
{
    const ColourCase& c = GetParam();
    auto file = std::make_unique<DicomDataFileIO>();
    ASSERT_EQ(file->LoadFile(std::string(ORBLANE_TEST_DATA_DIR) + "/j2kcolour/" + c.file), 0);
    ImageDataList list;
    list.AddFile(std::move(file));
    const CImageData* image = list.GetImage(0);
    ASSERT_NE(image, nullptr);
    const DisplayBitmap& bitmap = image->Bitmap();
    ASSERT_EQ(bitmap.BitsPerPixel(), 32);

    const std::vector<std::uint8_t> oracle = ReadData(c.oracle);
    const std::size_t rowBytes = static_cast<std::size_t>(bitmap.Width()) * 3;
    ASSERT_EQ(oracle.size() % rowBytes, 0u);
    const int rows = static_cast<int>(oracle.size() / rowBytes);
    ASSERT_LE(c.firstRow + rows, bitmap.Height());
    int different = 0;
    for (int row = 0; row < rows; ++row)
    {
        const std::uint32_t* shown = bitmap.Pixels32(c.firstRow + row);
        const std::uint8_t* rgb = oracle.data() + static_cast<std::size_t>(row) * rowBytes;
        for (int column = 0; column < bitmap.Width(); ++column, rgb += 3)
        {
            const std::uint32_t pixel = shown[column];
            different +=
                ((pixel >> 16) & 0xFF) != rgb[0] || ((pixel >> 8) & 0xFF) != rgb[1] || (pixel & 0xFF) != rgb[2];
        }
    }
    EXPECT_EQ(different, 0) << "pixels unlike the independent decoder's";
}

INSTANTIATE_TEST_SUITE_P(
    Labels, Jpeg2000ColourTest,
    ::testing::Values(
        ColourCase{"ReversibleTransformLabelledYbrRct", "rct_as_ybr_rct.dcm", "codecs/rgb.raw", 0},
        ColourCase{"IrreversibleTransformLabelledYbrIct", "ict_as_ybr_ict.dcm", "j2kcolour/ict_opj.raw", 0},
        // The label is wrong; the transform in the codestream is undone all the same.
        ColourCase{"ReversibleTransformLabelledRgb", "rct_as_rgb.dcm", "codecs/rgb.raw", 0},
        ColourCase{"IrreversibleTransformLabelledRgb", "ict_as_rgb.dcm", "j2kcolour/ict_opj.raw", 0},
        // No transform in the codestream: the stored components are the colours, as OpenJPEG hands them on.
        ColourCase{"NoTransformLabelledYbrRct", "plain_as_ybr_rct.dcm", "codecs/rgb.raw", 0},
        ColourCase{"NoTransformLabelledYbrIct", "plain_lossy_as_ybr_ict.dcm", "j2kcolour/plain_lossy_opj.raw", 0},
        // pydicom's YBR_RCT file: a JP2 file inside the fragment.
        ColourCase{"PydicomYbrRctFile", "GDCMJ2K_TextGBR.dcm", "j2kcolour/GDCMJ2K_TextGBR_rows150_opj.raw", 150}),
    test::ByCaseName());

} // namespace
} // namespace orblane
