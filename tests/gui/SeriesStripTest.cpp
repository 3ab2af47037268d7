// The series strip in the viewer on the demo medium: which studies show it, what its entries say, and what clicks
// and keys on it do.
#include "viewer/CSeriesStrip.h"

#include "dicom/DicomDirFileIO.h"
#include "support/CaseName.h"
#include "viewer/CDlgImgViewer.h"
#include "viewer/CPictureFrame.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace orblane {
namespace {

// The demo DICOMDIR's studies, in its order.
enum DemoStudy : int
{
    kChestCt = 0,
    kChestFollowUp = 1,
    kRadiograph = 2,
    kHeadMr = 3,
    kPhotograph = 4,
    kBrainMr = 5,
};

std::unique_ptr<CDlgImgViewer> OpenDemo(const std::vector<int>& studies)
{
    DicomDirFileIO dir;
    EXPECT_EQ(dir.OpenDicomDir(std::string(ORBLANE_DEMO_MEDIUM_DIR) + "/"), 0);
    auto viewer = std::make_unique<CDlgImgViewer>(std::string(ORBLANE_TEST_DATA_DIR) + "/files/no-settings.ini");
    for (const int study : studies)
    {
        const auto entry = dir.GetStudyEntry(study);
        EXPECT_TRUE(entry.has_value());
        DicomFileChain chain;
        dir.CollectImageFiles(chain, entry->firstSeries, entry->studyDateTime.value_or(u""));
        for (auto& file : chain)
        {
            viewer->AddImageFile(std::move(file));
        }
    }
    viewer->show();
    QCoreApplication::processEvents();
    return viewer;
}

void ClickEntry(CSeriesStrip& strip, int entry)
{
    QTest::mouseClick(&strip, Qt::LeftButton, Qt::NoModifier, strip.EntryRect(entry).center());
}

struct ShownCase
{
    const char* name;
    std::vector<int> studies;
    bool shown;
    bool grouped;
    // Per entry: its kind's label ("" for images); and whether its picture is there as the viewer opens.
    std::vector<QString> labels;
    std::vector<bool> pictureAtOnce;
};

class SeriesStripShownTest : public ::testing::TestWithParam<ShownCase>
{
};

TEST_P(SeriesStripShownTest, ShowsTheSeriesWithTheirKinds)
{
    const auto viewer = OpenDemo(GetParam().studies);
    CSeriesStrip* strip = viewer->SeriesStrip();
    ASSERT_NE(strip, nullptr);
    EXPECT_EQ(strip->isVisible(), GetParam().shown);
    // Where it shows, the tiles start beside it.
    EXPECT_EQ(viewer->TileArea().left(), GetParam().shown ? CSeriesStrip::kWidth : 0);
    EXPECT_EQ(strip->Model().Grouped(), GetParam().grouped);
    std::vector<QString> labels;
    std::vector<bool> pictures;
    for (int k = 0; k < strip->EntryCount(); ++k)
    {
        labels.push_back(strip->KindLabel(k));
        pictures.push_back(strip->HasThumbnail(k));
    }
    EXPECT_EQ(labels, GetParam().labels);
    EXPECT_EQ(pictures, GetParam().pictureAtOnce);
}

INSTANTIATE_TEST_SUITE_P(
    DemoMedium, SeriesStripShownTest,
    ::testing::Values(
        ShownCase{"BrainMrWithItsIcons", {kBrainMr}, true, false, {"", ""}, {true, true}},
        ShownCase{"OneSeriesHidesIt", {kHeadMr}, false, false, {""}, {false}},
        ShownCase{"ReportsAndKeyImagesAreTyped",
                  {kChestFollowUp},
                  true,
                  false,
                  {"", "Report", "Report", "Key images"},
                  {false, false, false, false}},
        ShownCase{"TwoStudiesGrouped", {kChestCt, kPhotograph}, true, true, {"", "", ""}, {false, false, false}}),
    test::ByCaseName());

TEST(SeriesStripTest, ClickPagesTheSeriesFirstImageIntoTheCurrentTile)
{
    const auto viewer = OpenDemo({kBrainMr});
    CSeriesStrip& strip = *viewer->SeriesStrip();
    EXPECT_EQ(strip.CurrentSeries(), 0);
    ClickEntry(strip, 1);
    EXPECT_EQ(viewer->FirstIndex(), 20);
    EXPECT_EQ(strip.CurrentSeries(), 1);
    // In a 2 x 1 page with the right tile current, the T1 series' first image lands there.
    viewer->ApplyPattern(2, 1);
    QTest::mouseClick(viewer.get(), Qt::LeftButton, Qt::NoModifier, viewer->Frame(1)->geometry().center());
    ClickEntry(strip, 1);
    EXPECT_EQ(viewer->FirstIndex(), 19);
    EXPECT_EQ(viewer->CurrentFrame(), viewer->Frame(1));
    // Back to T2: its first image is the study's first, so the left tile becomes the current one.
    ClickEntry(strip, 0);
    EXPECT_EQ(viewer->FirstIndex(), 0);
    EXPECT_EQ(viewer->CurrentFrame(), viewer->Frame(0));
}

TEST(SeriesStripTest, KeysMoveActAndHide)
{
    const auto viewer = OpenDemo({kBrainMr});
    CSeriesStrip& strip = *viewer->SeriesStrip();
    QSignalSpy toTile(&strip, &CSeriesStrip::seriesToTile);
    strip.setFocus(Qt::TabFocusReason);
    QTest::keyClick(&strip, Qt::Key_Down);
    EXPECT_EQ(strip.FocusedEntry(), 1);
    QTest::keyClick(&strip, Qt::Key_Down);
    EXPECT_EQ(strip.FocusedEntry(), 1) << "the last entry stays";
    QTest::keyClick(&strip, Qt::Key_Return);
    EXPECT_EQ(viewer->FirstIndex(), 20);
    QTest::keyClick(&strip, Qt::Key_T);
    ASSERT_EQ(toTile.count(), 1);
    EXPECT_EQ(toTile.at(0).at(0).toInt(), 1);
    EXPECT_EQ(toTile.at(0).at(1).toInt(), 0);
    // S is the viewer's even while the strip has the keys: it hides the strip and the tiles take its room.
    QTest::keyClick(&strip, Qt::Key_S);
    EXPECT_FALSE(strip.isVisible());
    EXPECT_EQ(viewer->TileArea().left(), 0);
    QTest::keyClick(viewer.get(), Qt::Key_S);
    EXPECT_TRUE(strip.isVisible());
    EXPECT_EQ(viewer->TileArea().left(), CSeriesStrip::kWidth);
}

TEST(SeriesStripTest, ReportEntryAsksForItsReportImageEntryForItsSeries)
{
    const auto viewer = OpenDemo({kChestFollowUp});
    // A strip of its own, so that the report window does not open modally here.
    CSeriesStrip strip;
    strip.SetModel(viewer->SeriesStrip()->Model());
    strip.resize(CSeriesStrip::kWidth, 800);
    strip.show();
    QSignalSpy reports(&strip, &CSeriesStrip::reportActivated);
    QSignalSpy series(&strip, &CSeriesStrip::seriesActivated);
    ClickEntry(strip, 2);
    ClickEntry(strip, 0);
    ASSERT_EQ(reports.count(), 1);
    EXPECT_EQ(reports.at(0).at(0).toInt(), 1) << "the structured report, second of the study's reports";
    ASSERT_EQ(series.count(), 1);
    EXPECT_EQ(series.at(0).at(0).toInt(), 0);
}

TEST(SeriesStripTest, SeriesWithoutIconsGetTheirThumbnailsInTheBackground)
{
    const auto viewer = OpenDemo({kChestCt, kChestFollowUp});
    CSeriesStrip& strip = *viewer->SeriesStrip();
    for (int k = 0; k < strip.EntryCount(); ++k)
    {
        if (strip.KindLabel(k).isEmpty())
        {
            QTRY_VERIFY_WITH_TIMEOUT(strip.HasThumbnail(k), 10000);
        }
        else
        {
            EXPECT_FALSE(strip.HasThumbnail(k));
        }
    }
}

} // namespace
} // namespace orblane
