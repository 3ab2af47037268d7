// The measuring tools as a user works them: a key, two clicks on the tile, Delete, and an export with the marks
// hidden. The image is a CT of 64 x 64 pixels of 0.5 mm, so a length of 30 pixels is 15 mm.
#include "viewer/CDlgImgViewer.h"

#include "ViewerStudy.h"
#include "dicom/DicomDataFileIO.h"
#include "imaging/CImageData.h"
#include "viewer/CMeasureLayer.h"
#include "viewer/CPictureFrame.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace orblane {
namespace {

class MeasureToolsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        viewer = std::make_unique<CDlgImgViewer>((folder.Path() / "Orblane.ini").string());
        test::GreyImageOptions options;
        options.rows = options.columns = 64;
        options.pixelSpacing = "0.5\\0.5";
        viewer->AddImageFile(test::WriteGreyImage(folder, "ct", options));
        viewer->show();
        QCoreApplication::processEvents();
        image = viewer->Images().GetImage(0);
    }
    // The viewer point over the centre of pixel (column, row) of tile 0.
    QPoint At(double column, double row) const
    {
        const TilePoint t = viewer->Frame(0)->Mapping().ToTile({column, row});
        return viewer->Frame(0)->pos() + QPoint(static_cast<int>(t.x), static_cast<int>(t.y));
    }
    void Click(QPoint at)
    {
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        {
            QMouseEvent event(type, QPointF(at), QPointF(viewer->mapToGlobal(at)), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(viewer.get(), &event);
        }
    }
    std::size_t Shapes() const
    {
        const ImageMeasures* measures = viewer->Marks().MeasuresOf(image);
        return measures == nullptr ? 0 : measures->shapes.size();
    }

    test::ScratchFolder folder;
    std::unique_ptr<CDlgImgViewer> viewer;
    CImageData* image = nullptr;
};

TEST_F(MeasureToolsTest, LThenTwoClicksMeasuresALengthInMillimetresAndDeleteRemovesIt)
{
    ASSERT_NE(image, nullptr);
    QTest::keyClick(viewer.get(), Qt::Key_L);
    EXPECT_EQ(viewer->Marks().Tool(), MeasureTool::Length);
    Click(At(10, 20));
    Click(At(40, 20));
    ASSERT_EQ(Shapes(), 1u);
    const Measurement& m = viewer->Marks().MeasuresOf(image)->shapes[0].result;
    ASSERT_TRUE(m.value);
    EXPECT_DOUBLE_EQ(*m.value, 15.0);
    EXPECT_EQ(CMeasureLayer::TextOf(m, true).value(0), QStringLiteral("15 mm"));
    // The toolbar's mode is untouched, and L again gives the left button back to it.
    EXPECT_EQ(viewer->Mode(), ViewerMode::Select);
    QTest::keyClick(viewer.get(), Qt::Key_L);
    EXPECT_EQ(viewer->Marks().Tool(), MeasureTool::None);

    QTest::keyClick(viewer.get(), Qt::Key_Delete);
    EXPECT_EQ(Shapes(), 0u);
}

TEST_F(MeasureToolsTest, AnExportShowsTheMeasurementsOnlyWhileTheyAreShown)
{
    ASSERT_NE(image, nullptr);
    QTest::keyClick(viewer.get(), Qt::Key_L);
    Click(At(4, 32));
    Click(At(60, 32));
    ASSERT_EQ(Shapes(), 1u);
    const auto shown = folder.Path() / "shown.png";
    const auto hidden = folder.Path() / "hidden.png";
    const auto plain = folder.Path() / "plain.png";
    ASSERT_TRUE(viewer->Frame(0)->SaveImageAs(shown, kImageFilePng));
    QTest::keyClick(viewer.get(), Qt::Key_I);
    ASSERT_TRUE(viewer->Frame(0)->SaveImageAs(hidden, kImageFilePng));
    ASSERT_TRUE(image->SaveAs(plain, kImageFilePng));

    // The line crosses row 32 in the measurements' colour; hidden, the file is the image's own, byte for byte.
    const QImage marked(QString::fromStdString(shown.string()));
    ASSERT_FALSE(marked.isNull());
    const QRgb onLine = marked.pixel(32, 32);
    EXPECT_GT(qRed(onLine), qBlue(onLine) + 100);
    QFile a(QString::fromStdString(hidden.string()));
    QFile b(QString::fromStdString(plain.string()));
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), b.readAll());
    // The measurement itself is kept: I shows it again.
    EXPECT_EQ(Shapes(), 1u);
}

TEST(MeasureToolsEnhancedTest, EachFrameOfAnEnhancedImageMeasuresWithItsOwnPixelMeasures)
{
    // make_enhanced.py: shared 0.5 \ 0.5, frame 2 its own 0.8 (rows) \ 0.6 (columns), frame 3 the shared again.
    test::ScratchFolder folder;
    CDlgImgViewer viewer((folder.Path() / "Orblane.ini").string());
    viewer.AddImageFile(std::make_unique<DicomDataFileIO>("enhanced_frames.dcm",
                                                          std::string(ORBLANE_TEST_DATA_DIR) + "/measure/", u""));
    viewer.show();
    QCoreApplication::processEvents();
    const double alongARow[] = {10.0, 12.0, 10.0};
    for (int frame = 0; frame < 3; ++frame)
    {
        CImageData* image = viewer.Images().GetImage(frame);
        ASSERT_NE(image, nullptr) << "frame " << frame + 1;
        viewer.Frame(0)->SetImage(image);
        const auto at = [&](double column, double row) {
            const TilePoint t = viewer.Frame(0)->Mapping().ToTile({column, row});
            return viewer.Frame(0)->pos() + QPoint(static_cast<int>(t.x), static_cast<int>(t.y));
        };
        QTest::keyClick(&viewer, Qt::Key_L);
        for (const QPoint point : {at(5, 10), at(25, 10)})
        {
            for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            {
                QMouseEvent event(type, QPointF(point), QPointF(viewer.mapToGlobal(point)), Qt::LeftButton,
                                  type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
                QApplication::sendEvent(&viewer, &event);
            }
        }
        QTest::keyClick(&viewer, Qt::Key_L);
        const ImageMeasures* measures = viewer.Marks().MeasuresOf(image);
        ASSERT_TRUE(measures != nullptr && measures->shapes.size() == 1) << "frame " << frame + 1;
        const Measurement& m = measures->shapes[0].result;
        ASSERT_TRUE(m.value) << "frame " << frame + 1;
        EXPECT_NEAR(*m.value, alongARow[frame], 1e-9) << "frame " << frame + 1;
        EXPECT_EQ(m.unit, "mm");
    }
}

} // namespace
} // namespace orblane
