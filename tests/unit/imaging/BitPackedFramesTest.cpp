// Pixel data of 1 bit a pixel (segmentations), native and RLE, against the frames pydicom reads from the same file.
#include "imaging/CImageData.h"
#include "imaging/ImageDataList.h"

#include "dicom/DicomDataFileIO.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

namespace orblane::test {
namespace {

namespace fs = std::filesystem;

struct BitPackedCase
{
    const char* name;
    const char* file;
};

class BitPackedFramesTest : public ::testing::TestWithParam<BitPackedCase>
{
};

// make_fixtures.py wrote the files (three 5 x 7 frames: 35 bits each, so frames 2 and 3 start inside a byte) and
// their expected values, pydicom's pixel_array of the native file.
TEST_P(BitPackedFramesTest, EveryFrameShowsPydicomsValuesInBlackAndWhite)
{
    const fs::path path = fs::path(ORBLANE_TEST_DATA_DIR) / "pixeldata" / GetParam().file;
    std::ifstream expectedFile(fs::path(path).replace_extension(".expected.txt"));
    ASSERT_TRUE(expectedFile);
    std::vector<int> expected;
    for (int value = 0; expectedFile >> value;)
    {
        expected.push_back(value);
    }
    auto file = std::make_unique<DicomDataFileIO>();
    ASSERT_EQ(file->LoadFile(path.string()), 0);
    ImageDataList list;
    list.AddFile(std::move(file));
    constexpr int kFrames = 3;
    constexpr int kRows = 5;
    constexpr int kColumns = 7;
    ASSERT_EQ(expected.size(), std::size_t{kFrames * kRows * kColumns});
    for (int frame = 0; frame < kFrames; ++frame)
    {
        const CImageData* image = list.GetImage(frame);
        ASSERT_NE(image, nullptr) << "frame " << frame;
        ASSERT_EQ(image->Bitmap().Width(), kColumns);
        ASSERT_EQ(image->Bitmap().Height(), kRows);
        int wrongValues = 0;
        int wrongPixels = 0;
        for (int k = 0; k < kRows * kColumns; ++k)
        {
            const int value = expected[static_cast<std::size_t>(frame * kRows * kColumns + k)];
            const std::uint32_t grey = value == 0 ? 0u : 255u;
            wrongValues += image->Values()[static_cast<std::size_t>(k)] != value ? 1 : 0;
            wrongPixels +=
                image->Bitmap().Pixels32(k / kColumns)[k % kColumns] != MakeDisplayPixel(grey, grey, grey) ? 1 : 0;
        }
        EXPECT_EQ(wrongValues, 0) << "frame " << frame;
        EXPECT_EQ(wrongPixels, 0) << "frame " << frame;
    }
    EXPECT_EQ(list.GetImage(kFrames), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Files, BitPackedFramesTest,
                         ::testing::Values(BitPackedCase{"Native", "seg1bit.dcm"},
                                           BitPackedCase{"RleOneSegmentAFrame", "seg1bit_rle.dcm"}),
                         ByCaseName{});

} // namespace
} // namespace orblane::test
