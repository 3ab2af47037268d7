// The viewing attributes read beside the pixel attributes: cine timing and whether the image is CT. Expected values
// are the texts written, read as a user of the file would read them.
#include "dicom/PixelAttributes.h"

#include "dicom/DicomDataFileIO.h"
#include "support/CaseName.h"
#include "support/DicomWriter.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <string>

namespace orblane {
namespace {

using test::DicomWriter;

struct ViewingCase
{
    const char* name;
    const char* modality;        // nullptr leaves (0008,0060) out
    const char* frameTimeText;   // (0018,1063) DS; nullptr leaves it out
    const char* cineRateText;    // (0018,0040) IS
    const char* recommendedText; // (0008,2144) IS
    bool computedTomography;
    double frameTimeMs;
    double cineRate;
    double recommendedFrameRate;
};

class PixelAttributesViewingTest : public ::testing::TestWithParam<ViewingCase>
{
};

TEST_P(PixelAttributesViewingTest, ReadsCineTimingAndModality)
{
    const ViewingCase& c = GetParam();
    DicomWriter w;
    w.FileMeta(test::kExplicitLittleEndian);
    // Tags in ascending order, as a data set holds them.
    if (c.modality != nullptr)
    {
        w.Text(0x0008, 0x0060, "CS", c.modality);
    }
    if (c.recommendedText != nullptr)
    {
        w.Text(0x0008, 0x2144, "IS", c.recommendedText);
    }
    if (c.cineRateText != nullptr)
    {
        w.Text(0x0018, 0x0040, "IS", c.cineRateText);
    }
    if (c.frameTimeText != nullptr)
    {
        w.Text(0x0018, 0x1063, "DS", c.frameTimeText);
    }
    w.UInt16(0x0028, 0x0010, 1).UInt16(0x0028, 0x0011, 1).UInt16(0x0028, 0x0100, 16).UInt16(0x0028, 0x0101, 12);
    w.Element(0x7FE0, 0x0010, "OW", test::Bytes{0, 0});
    test::ScratchFolder folder;
    w.WriteTo(folder.Path() / "IM0");
    DicomDataFileIO file("IM0", folder.FolderText(), u"");
    ASSERT_EQ(file.LoadDataSet(), 0);

    const PixelDescription d = ReadPixelAttributes(TopLevelIndex(file), 0);
    EXPECT_EQ(d.computedTomography, c.computedTomography);
    EXPECT_DOUBLE_EQ(d.frameTimeMs, c.frameTimeMs);
    EXPECT_DOUBLE_EQ(d.cineRate, c.cineRate);
    EXPECT_DOUBLE_EQ(d.recommendedFrameRate, c.recommendedFrameRate);
}

INSTANTIATE_TEST_SUITE_P(
    Files, PixelAttributesViewingTest,
    ::testing::Values(ViewingCase{"NothingGiven", nullptr, nullptr, nullptr, nullptr, false, 0.0, 0.0, 0.0},
                      ViewingCase{"AllThreeRates", "CT", "33.3", "25", "10", true, 33.3, 25.0, 10.0},
                      // Padding, a second value and a text that is no number.
                      ViewingCase{"PaddedAndMultiValued", " CT ", " 40\\50", "x", "", true, 40.0, 0.0, 0.0},
                      ViewingCase{"OtherModalities", "MR", nullptr, "30", nullptr, false, 0.0, 30.0, 0.0},
                      ViewingCase{"CtPrefixIsNotCt", "CTX", nullptr, nullptr, "-5", false, 0.0, 0.0, -5.0},
                      ViewingCase{"ModalityCaseCounts", "ct", nullptr, nullptr, nullptr, false, 0.0, 0.0, 0.0}),
    test::ByCaseName{});

} // namespace
} // namespace orblane
