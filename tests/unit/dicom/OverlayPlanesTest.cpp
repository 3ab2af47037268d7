// Overlay planes against the masks make_measure.py placed with numpy (tests/data/measure/expected-*.pbm).
#include "dicom/OverlayPlanes.h"

#include "dicom/DicomDataFileIO.h"
#include "dicom/FrameSource.h"
#include "dicom/TopLevelIndex.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace orblane {
namespace {

const std::string kMeasureData = std::string(ORBLANE_TEST_DATA_DIR) + "/measure/";

// A binary PBM as one byte a pixel.
std::vector<std::uint8_t> ReadPbm(const std::string& path, int& rows, int& columns)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    in >> magic >> columns >> rows;
    in.get();
    const std::vector<char> packed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const int stride = (columns + 7) / 8;
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(rows * columns));
    for (int r = 0; r < rows; ++r)
    {
        for (int c = 0; c < columns; ++c)
        {
            const auto byte = static_cast<unsigned char>(packed.at(static_cast<std::size_t>(r * stride + c / 8)));
            mask[static_cast<std::size_t>(r * columns + c)] = (byte >> (7 - c % 8)) & 1;
        }
    }
    return mask;
}

struct OverlayCase
{
    const char* name;
    const char* file;
    std::uint16_t group;
    int frame; // from 1
    char type;
    const char* expected; // PBM; null: the plane does not lie over the frame
};

const OverlayCase kCases[] = {
    {"OwnSizeAndOrigin", "overlays.dcm", 0x6000, 1, 'G', "expected-1-6000.pbm"},
    {"RoiPartlyOutside", "overlays.dcm", 0x6002, 1, 'R', "expected-1-6002.pbm"},
    {"LastGroup", "overlays.dcm", 0x601E, 1, 'G', "expected-1-601E.pbm"},
    {"BeforeFrameOrigin", "overlay_frames.dcm", 0x6000, 1, 'G', nullptr},
    {"FirstOverlayFrame", "overlay_frames.dcm", 0x6000, 2, 'G', "expected-frames-2-6000.pbm"},
    {"SecondOverlayFrame", "overlay_frames.dcm", 0x6000, 3, 'G', "expected-frames-3-6000.pbm"},
    {"EmbeddedInHighBit", "overlay_embedded.dcm", 0x6000, 1, 'G', "expected-embedded-1-6000.pbm"},
    {"BigEndianWordsPartlyUsed", "overlay_big_endian.dcm", 0x6000, 1, 'G', "expected-big-endian-1-6000.pbm"},
    {"BigEndianOddByteCountPartlyOutside", "overlay_big_endian.dcm", 0x6002, 1, 'R', "expected-big-endian-1-6002.pbm"},
};

class OverlayPlanesTest : public ::testing::TestWithParam<OverlayCase>
{
};

TEST_P(OverlayPlanesTest, PlaneMatchesTheIndependentPlacement)
{
    const OverlayCase& c = GetParam();
    DicomDataFileIO file;
    ASSERT_EQ(file.LoadFile(kMeasureData + c.file), 0);
    const TopLevelIndex index(file);
    const PixelDescription image = ReadPixelDescription(file, 0);
    const std::vector<OverlayPlane> planes = ReadOverlayPlanes(index, image);
    const OverlayPlane* plane = nullptr;
    for (const OverlayPlane& p : planes)
    {
        plane = p.group == c.group ? &p : plane;
    }
    ASSERT_NE(plane, nullptr);
    EXPECT_EQ(plane->type, c.type);
    const std::vector<std::uint8_t> mask = OverlayMask(*plane, c.frame - 1, image.rowCount, image.columnCount);
    if (c.expected == nullptr)
    {
        EXPECT_TRUE(mask.empty());
        return;
    }
    int rows = 0;
    int columns = 0;
    const std::vector<std::uint8_t> expected = ReadPbm(kMeasureData + c.expected, rows, columns);
    EXPECT_EQ(rows, image.rowCount);
    EXPECT_EQ(columns, image.columnCount);
    EXPECT_EQ(mask, expected);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, OverlayPlanesTest, ::testing::ValuesIn(kCases), test::ByCaseName{});

TEST(OverlayPlanesReadTest, GroupsThatDoNotDescribeAPlaneAreLeftOut)
{
    // overlays.dcm: 6004 claims more rows than its data holds, 6006 a bit position of 16, 6008 lies far outside;
    // overlay_embedded.dcm: 6002 names a bit inside the stored bits.
    for (const auto& [name, groups] :
         {std::pair<const char*, std::vector<std::uint16_t>>{"overlays.dcm", {0x6000, 0x6002, 0x601E}},
          {"overlay_embedded.dcm", {0x6000}}})
    {
        DicomDataFileIO file;
        ASSERT_EQ(file.LoadFile(kMeasureData + name), 0);
        const TopLevelIndex index(file);
        std::vector<std::uint16_t> found;
        for (const OverlayPlane& plane : ReadOverlayPlanes(index, ReadPixelDescription(file, 0)))
        {
            found.push_back(plane.group);
        }
        EXPECT_EQ(found, groups) << name;
    }
}

} // namespace
} // namespace orblane
