// A series in a tile of its own, in the real viewer: a drop or ShowSeriesInTile makes one tile scroll its series while
// the others stay, a link makes another frame of reference follow, and P takes the viewer back to paging.
#include "viewer/CDlgImgViewer.h"

#include "ViewerStudy.h"
#include "viewer/CPictureFrame.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace orblane {
namespace {

using Viewer = CDlgImgViewer;

class TileSeriesTest : public ::testing::Test
{
protected:
    // Two series of four axial slices 5 mm apart, each of its own frame of reference (a prior and a current study).
    std::unique_ptr<Viewer> Open()
    {
        auto viewer = std::make_unique<Viewer>((folder.Path() / "Orblane.ini").string());
        for (int i = 0; i < 8; ++i)
        {
            test::GreyImageOptions image;
            image.seriesUid = i < 4 ? "1.2.826.0.1.1" : "1.2.826.0.1.2";
            image.seriesNumber = i < 4 ? "1" : "2";
            image.frameOfReference = i < 4 ? "1.2.826.0.1.10" : "1.2.826.0.1.20";
            image.sliceZ = std::to_string(5 * (i % 4));
            viewer->AddImageFile(test::WriteGreyImage(folder, "img" + std::to_string(i), image));
        }
        viewer->show();
        QCoreApplication::processEvents();
        viewer->ApplyPattern(2, 1);
        return viewer;
    }
    static void Key(Viewer& viewer, Qt::Key key) { QTest::keyClick(&viewer, key); }
    static void Wheel(Viewer& viewer, int tile, int delta)
    {
        const QPoint at = viewer.Frame(tile)->geometry().center();
        QWheelEvent wheel(QPointF(at), QPointF(viewer.mapToGlobal(at)), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&viewer, &wheel);
    }
    static void Drop(Viewer& viewer, int tile, const QByteArray& series)
    {
        QMimeData data;
        data.setData(QString::fromLatin1(Viewer::kSeriesMimeType), series);
        // As a drag arrives: it enters the page, moves over the tile, and is dropped there.
        const QPoint at = viewer.Frame(tile)->geometry().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&viewer, &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&viewer, &move);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&viewer, &drop);
    }

    test::ScratchFolder folder;
};

TEST_F(TileSeriesTest, ADroppedSeriesScrollsAloneUntilLinkedAndPReturnsToPaging)
{
    auto viewer = Open();
    EXPECT_FALSE(viewer->ReadsTileSeries());
    EXPECT_EQ(viewer->ShownIndex(1), 1);

    // Damaged drops change nothing.
    Drop(*viewer, 1, "7");
    Drop(*viewer, 1, "1x");
    EXPECT_FALSE(viewer->ReadsTileSeries());

    Drop(*viewer, 1, "1");
    ASSERT_TRUE(viewer->ReadsTileSeries());
    // Every file was walked for the drop: both series are known whole.
    ASSERT_EQ(viewer->SeriesList().size(), 2u);
    EXPECT_EQ(viewer->SeriesList()[1].imageCount, 4);
    EXPECT_EQ(viewer->ShownIndex(0), 0);
    EXPECT_EQ(viewer->ShownIndex(1), 4);
    EXPECT_EQ(viewer->Frame(1)->SeriesText(), QStringLiteral("Se 2"));

    // The drop made tile 1 current: the arrows scroll it alone, another frame of reference stays.
    Key(*viewer, Qt::Key_Down);
    Key(*viewer, Qt::Key_Down);
    EXPECT_EQ(viewer->ShownIndex(1), 6);
    EXPECT_EQ(viewer->ShownIndex(0), 0);
    // The wheel scrolls the tile under it.
    Wheel(*viewer, 0, -120);
    EXPECT_EQ(viewer->ShownIndex(0), 1);
    EXPECT_EQ(viewer->ShownIndex(1), 6);

    // Linked at z = 5 (tile 0) and z = 10 (tile 1). Tile 0 goes 5 mm on: tile 1 to z = 15. Another 5 mm: z = 20 is
    // past tile 1's last slice (15) by more than half a spacing, out of range. One step back: z = 15 again.
    Key(*viewer, Qt::Key_Y);
    ASSERT_TRUE(viewer->TilesLinked());
    Wheel(*viewer, 0, -120);
    EXPECT_EQ(viewer->ShownIndex(0), 2);
    EXPECT_EQ(viewer->ShownIndex(1), 7);
    Wheel(*viewer, 0, -120);
    EXPECT_EQ(viewer->ShownIndex(1), -1);
    EXPECT_FALSE(viewer->Frame(1)->Notice().isEmpty());
    Wheel(*viewer, 0, 120);
    EXPECT_EQ(viewer->ShownIndex(1), 7);

    Key(*viewer, Qt::Key_P);
    EXPECT_FALSE(viewer->ReadsTileSeries());
    EXPECT_FALSE(viewer->TilesLinked());
    EXPECT_EQ(viewer->ShownIndex(0), 0);
    EXPECT_EQ(viewer->ShownIndex(1), 1);
    EXPECT_TRUE(viewer->Frame(1)->Notice().isEmpty());
    // Paging again: the arrows move the page.
    Key(*viewer, Qt::Key_Down);
    EXPECT_EQ(viewer->FirstIndex(), 1);

    viewer->ShowSeriesInTile(0, 0);
    EXPECT_TRUE(viewer->ReadsTileSeries());
    EXPECT_EQ(viewer->ShownIndex(0), 0);
    EXPECT_EQ(viewer->ShownIndex(1), 2);
}

} // namespace
} // namespace orblane
