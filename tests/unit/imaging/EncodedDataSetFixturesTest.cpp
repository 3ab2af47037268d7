#include "dicom/DicomDataFileIO.h"
#include "imaging/CImageData.h"
#include "imaging/ImageDataList.h"

#include "support/CaseName.h"
#include "support/CliRun.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

namespace orblane {
namespace {

const std::string kData = ORBLANE_TEST_DATA_DIR;
constexpr const char* kDeflatedName = "Deflated Explicit VR Little Endian";
constexpr const char* kBigName = "Explicit VR Big Endian";

// A file written by DCMTK or pydicom in a rarer encoding, and the little-endian file it was written from.
struct EncodedCase
{
    const char* name;
    const char* file;
    const char* original;
    const char* syntaxName;
};

const EncodedCase kCases[] = {
    {"CtSmallDeflated", "datasets/CT_small_deflated.dcm", "files/CT_small.dcm", kDeflatedName},
    {"CtSmallBigEndian", "datasets/CT_small_bigendian.dcm", "files/CT_small.dcm", kBigName},
    {"MrSmallBigEndianByPydicom", "datasets/MR_small_expb.dcm", "files/MR_small.dcm", kBigName},
    {"RgbOddDeflated", "datasets/SC_rgb_small_odd_deflated.dcm", "files/SC_rgb_small_odd.dcm", kDeflatedName},
    {"RgbOddEightBitInOwBigEndian", "datasets/SC_rgb_small_odd_bigendian.dcm", "files/SC_rgb_small_odd.dcm", kBigName},
    {"ModalityLutSequenceDeflated", "datasets/mlut_deflated.dcm", "luts/mlut.dcm", kDeflatedName},
    {"ModalityLutSequenceBigEndian", "datasets/mlut_bigendian.dcm", "luts/mlut.dcm", kBigName},
    {"PaletteDeflated", "datasets/palette8_deflated.dcm", "luts/palette8.dcm", kDeflatedName},
    {"PaletteBigEndian", "datasets/palette8_bigendian.dcm", "luts/palette8.dcm", kBigName},
    {"MultiFrame32BitDeflated", "datasets/rtdose_deflated.dcm", "datasets/rtdose.dcm", kDeflatedName},
    {"MultiFrame32BitInOwBigEndian", "datasets/rtdose_bigendian.dcm", "datasets/rtdose.dcm", kBigName},
    {"MultiFrame32BitSwappedWholeInOwBigEndian", "datasets/rtdose_expb.dcm", "datasets/rtdose.dcm", kBigName},
    {"ImplicitDataUnderExplicitLabel", "datasets/MR_small_implicit_data_explicit_label.dcm", "files/MR_small.dcm",
     "Explicit VR Little Endian"},
    {"ExplicitDataUnderImplicitLabel", "datasets/MR_small_explicit_data_implicit_label.dcm",
     "files/MR_small_implicit.dcm", "Implicit VR Little Endian"},
};

struct Built
{
    ImageDataList list;
    std::vector<const CImageData*> images;
};

void BuildAll(const std::string& path, Built& built)
{
    auto file = std::make_unique<DicomDataFileIO>();
    ASSERT_EQ(file->LoadFile(path), 0) << path;
    built.list.AddFile(std::move(file));
    for (int index = 0; const CImageData* image = built.list.GetImage(index); ++index)
    {
        built.images.push_back(image);
    }
}

std::vector<std::uint8_t> BitmapBytes(const CImageData& image)
{
    const DisplayBitmap& bitmap = image.Bitmap();
    const std::size_t rowBytes = static_cast<std::size_t>(bitmap.Width()) * (bitmap.BitsPerPixel() / 8u);
    std::vector<std::uint8_t> bytes;
    for (int row = 0; row < bitmap.Height(); ++row)
    {
        bytes.insert(bytes.end(), bitmap.Row(row), bitmap.Row(row) + rowBytes);
    }
    return bytes;
}

std::string WithoutSyntax(const std::string& json)
{
    return std::regex_replace(json, std::regex(R"("transferSyntax": "[^"]*")"), "");
}

class EncodedDataSetFixturesTest : public ::testing::TestWithParam<EncodedCase>
{
};

// The same image in another encoding gives exactly its original's modality values, pixels and identity texts, and
// the command-line tool names the encoding as the transfer-syntax table does.
TEST_P(EncodedDataSetFixturesTest, ShowsWhatItsLittleEndianOriginalShows)
{
    const EncodedCase& c = GetParam();
    Built encoded;
    Built original;
    BuildAll(kData + "/" + c.file, encoded);
    BuildAll(kData + "/" + c.original, original);
    ASSERT_FALSE(original.images.empty());
    ASSERT_EQ(encoded.images.size(), original.images.size());
    for (std::size_t k = 0; k < original.images.size(); ++k)
    {
        const CImageData& a = *encoded.images[k];
        const CImageData& b = *original.images[k];
        EXPECT_EQ(a.Bitmap().Width(), b.Bitmap().Width()) << "image " << k;
        EXPECT_EQ(a.Bitmap().Height(), b.Bitmap().Height()) << "image " << k;
        EXPECT_TRUE(std::ranges::equal(a.Values(), b.Values())) << "modality values of image " << k;
        EXPECT_EQ(BitmapBytes(a), BitmapBytes(b)) << "pixels of image " << k;
    }

    const auto info = test::RunCli(ORBLANE_CLI_PATH, {"info", kData + "/" + c.file});
    const auto originalInfo = test::RunCli(ORBLANE_CLI_PATH, {"info", kData + "/" + c.original});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_EQ(WithoutSyntax(info.out), WithoutSyntax(originalInfo.out));
    EXPECT_NE(info.out.find(std::string("\"transferSyntax\": \"") + c.syntaxName + "\""), std::string::npos)
        << info.out;

    const test::ScratchFolder scratch;
    const auto render = test::RunCli(ORBLANE_CLI_PATH, {"render", kData + "/" + c.file, scratch.Path().string()});
    ASSERT_EQ(render.exitCode, 0) << render.err;
    EXPECT_NE(render.out.find(std::string("\"transferSyntaxName\": \"") + c.syntaxName + "\", \"decodable\": true"),
              std::string::npos)
        << render.out;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, EncodedDataSetFixturesTest, ::testing::ValuesIn(kCases), test::ByCaseName());

} // namespace
} // namespace orblane
