// The viewer's tile: zoom about a point with its clamps, window drags, painting of the image, overlay and border,
// and saving, on real images decoded from files of the test writer.
#include "viewer/CPictureFrame.h"

#include "ViewerStudy.h"
#include "core/ViewerSettings.h"
#include "imaging/CImageData.h"
#include "imaging/ImageDataList.h"
#include "platform/ErrorSink.h"
#include "support/CaseName.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace orblane {
namespace {

using test::GreyImageOptions;

std::vector<std::string> raisedCodes;
void RecordError(std::string_view code, std::uint32_t, bool)
{
    raisedCodes.emplace_back(code);
}

class PictureFrameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        previousHandler = SetErrorHandler(&RecordError);
        raisedCodes.clear();
    }
    void TearDown() override { SetErrorHandler(previousHandler); }

    CImageData* Load(const GreyImageOptions& imageOptions = {})
    {
        list.AddFile(test::WriteGreyImage(folder, "image" + std::to_string(list.FileCount()), imageOptions));
        CImageData* image = list.GetImage(list.FileCount() - 1);
        EXPECT_NE(image, nullptr);
        return image;
    }

    static QImage Grab(CPictureFrame& frame) { return frame.grab().toImage().convertToFormat(QImage::Format_RGB32); }

    test::ScratchFolder folder;
    ImageDataList list;
    ErrorHandler previousHandler = nullptr;
};

QColor Grey128()
{
    return QColor(128, 128, 128);
}

TEST_F(PictureFrameTest, ZoomInStopsAtTenOverTheFitScaleAndKeepsThePointUnderTheClick)
{
    CPictureFrame frame;
    frame.resize(400, 400);
    CImageData* image = Load();
    frame.SetImage(image);
    ASSERT_DOUBLE_EQ(image->GetFitScale(), 1.0);
    image->SetZoom(9.0);
    image->SetOrigin(10, 20);

    frame.ZoomIn(QPoint(50, 60), 1.2);
    EXPECT_DOUBLE_EQ(image->GetZoom(), 10.0);
    // 50 + trunc(-40 × 10 / 9), 60 + trunc(-40 × 10 / 9)
    EXPECT_EQ(image->GetOrigin(), (Point{6, 16}));
    EXPECT_EQ(image->DisplayWidth(), 320);

    frame.ZoomIn(QPoint(50, 60), 1.2);
    EXPECT_DOUBLE_EQ(image->GetZoom(), 10.0);
    EXPECT_EQ(image->GetOrigin(), (Point{6, 16}));
}

TEST_F(PictureFrameTest, ZoomOutStopsAtOneHundredthAndShrinksDistancesByTheZoomRatio)
{
    CPictureFrame frame;
    CImageData* image = Load();
    frame.SetImage(image);
    image->SetZoom(0.011);
    image->SetOrigin(10, 20);

    frame.ZoomOut(QPoint(1010, 1020), 1.2);
    EXPECT_DOUBLE_EQ(image->GetZoom(), 0.01);
    // 1010 + trunc(-1000 × 0.01 / 0.011)
    EXPECT_EQ(image->GetOrigin(), (Point{101, 111}));

    frame.ZoomOut(QPoint(1010, 1020), 1.2);
    EXPECT_DOUBLE_EQ(image->GetZoom(), 0.01);
    EXPECT_EQ(image->GetOrigin(), (Point{101, 111}));
}

TEST_F(PictureFrameTest, ImageFittedAboveTheRangeZoomsOnlyOutAndThenToTheLimit)
{
    CPictureFrame frame;
    CImageData* image = Load();
    frame.SetImage(image);
    image->SetZoom(20.0);
    image->SetOrigin(0, 0);

    frame.ZoomIn(QPoint(100, 100), 1.2);
    EXPECT_DOUBLE_EQ(image->GetZoom(), 20.0);
    EXPECT_EQ(image->DisplayWidth(), 640);

    frame.ZoomOut(QPoint(100, 100), 1.2);
    EXPECT_DOUBLE_EQ(image->GetZoom(), 10.0);
    EXPECT_EQ(image->DisplayWidth(), 320);
    EXPECT_EQ(image->GetOrigin(), (Point{50, 50}));
}

TEST_F(PictureFrameTest, TheZoomRangeIsDividedByTheFitScale)
{
    GreyImageOptions imageOptions;
    imageOptions.aspect = "2\\2";
    CImageData* image = Load(imageOptions);
    CPictureFrame frame;
    // A tile narrower than the image fits its width and takes the horizontal aspect (2) as fit scale.
    frame.resize(102, 202);
    frame.SetImage(image);
    frame.FitImage();
    ASSERT_DOUBLE_EQ(image->GetFitScale(), 2.0);

    for (int i = 0; i < 100; ++i)
    {
        frame.ZoomIn(QPoint(10, 10), 1.5);
    }
    EXPECT_DOUBLE_EQ(image->GetZoom(), 5.0);
    for (int i = 0; i < 100; ++i)
    {
        frame.ZoomOut(QPoint(10, 10), 1.5);
    }
    EXPECT_DOUBLE_EQ(image->GetZoom(), 0.005);
}

TEST_F(PictureFrameTest, WindowDragsAreMeasuredFromTheCommittedWindowAndClamped)
{
    GreyImageOptions imageOptions;
    imageOptions.windowCentre = 1000;
    imageOptions.windowWidth = 200;
    CImageData* image = Load(imageOptions);
    CPictureFrame frame;
    frame.SetImage(image);

    frame.AdjustWindow(50, 0, false);
    EXPECT_EQ(image->WindowWidth(), 250);
    // Not committed: the next step starts again from 200.
    frame.AdjustWindow(-300, 0, false);
    EXPECT_EQ(image->WindowWidth(), 1);
    frame.AdjustWindow(100, 20, true);
    EXPECT_EQ(image->WindowWidth(), 300);
    EXPECT_EQ(image->WindowCentre(), 980);
    frame.AdjustWindow(10, 0, false);
    EXPECT_EQ(image->WindowWidth(), 310);

    frame.ResetImage();
    EXPECT_EQ(image->WindowWidth(), 200);
    EXPECT_EQ(image->WindowCentre(), 1000);
}

TEST_F(PictureFrameTest, OperationsOnAnEmptyTileDoNothingAndItPaintsBlackWithItsBorder)
{
    CPictureFrame frame;
    frame.resize(60, 40);
    frame.FitImage();
    frame.ResetImage();
    frame.ZoomIn(QPoint(1, 1), 1.2);
    frame.ZoomOut(QPoint(1, 1), 1.2);
    frame.PanImage(3, 3);
    frame.AdjustWindow(3, 3, true);
    frame.SaveImage();
    EXPECT_FALSE(frame.SaveImageAs(folder.Path() / "none.bmp", kImageFileBmp));
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "none.bmp"));

    const QImage shot = Grab(frame);
    EXPECT_EQ(shot.pixelColor(0, 0), Grey128());
    EXPECT_EQ(shot.pixelColor(59, 39), Grey128());
    EXPECT_EQ(shot.pixelColor(30, 20), QColor(Qt::black));
    EXPECT_EQ(shot.pixelColor(1, 20), QColor(Qt::black));

    frame.SetSelected(true);
    EXPECT_EQ(Grab(frame).pixelColor(0, 20), QColor(200, 200, 0));
}

TEST_F(PictureFrameTest, FiveNestedOutlinesAndAFitInsideThem)
{
    ViewerSettings thick;
    thick.frameThickness = 5;
    CPictureFrame frame(thick);
    frame.resize(200, 100);
    CImageData* image = Load();
    frame.SetImage(image);
    frame.FitImage();
    EXPECT_EQ(image->DisplayHeight(), 90);
    EXPECT_EQ(image->DisplayWidth(), 90);

    const QImage shot = Grab(frame);
    for (int i = 0; i < 5; ++i)
    {
        EXPECT_EQ(shot.pixelColor(i, 50), Grey128()) << i;
        EXPECT_EQ(shot.pixelColor(199 - i, 50), Grey128()) << i;
        EXPECT_EQ(shot.pixelColor(100, i), Grey128()) << i;
        EXPECT_EQ(shot.pixelColor(100, 99 - i), Grey128()) << i;
    }
    EXPECT_EQ(shot.pixelColor(5, 50), QColor(Qt::black));
}

// Pixels inside the border that are not black, in the band where the overlay writes.
int LitOverlayPixels(const QImage& shot)
{
    int lit = 0;
    for (int y = 1; y < 80; ++y)
    {
        for (int x = 1; x < shot.width() - 1; ++x)
        {
            lit += shot.pixelColor(x, y) != QColor(Qt::black) ? 1 : 0;
        }
    }
    return lit;
}

TEST_F(PictureFrameTest, OverlayShowsBothTextsAndSwitchedOffLeavesOnlyTheBorder)
{
    GreyImageOptions imageOptions;
    imageOptions.value = [](int, int) { return std::uint16_t{0}; };
    ViewerSettings shown;
    CPictureFrame frame(shown);
    frame.resize(400, 300);
    frame.SetImage(Load(imageOptions));
    frame.FitImage();

    const QImage withText = Grab(frame);
    int left = 0;
    int right = 0;
    const QColor textColour(200, 200, 0);
    for (int y = 24; y < 80; ++y)
    {
        for (int x = 24; x < 376; ++x)
        {
            if (withText.pixelColor(x, y) == textColour)
            {
                (x < 200 ? left : right) += 1;
            }
        }
    }
    EXPECT_GT(left, 0);
    EXPECT_GT(right, 0);
    // Nothing is written into the insets.
    for (int x = 1; x < 399; ++x)
    {
        EXPECT_EQ(withText.pixelColor(x, 20), QColor(Qt::black)) << x;
    }

    shown.overlayVisible = 0;
    const QImage without = Grab(frame);
    EXPECT_EQ(LitOverlayPixels(without), 0);
    EXPECT_EQ(without.pixelColor(0, 0), Grey128());
}

TEST_F(PictureFrameTest, AnImageThatCannotBeShownWritesWhyAcrossTheMiddleOnly)
{
    PixelDescription description;
    description.rowCount = 64;
    description.columnCount = 64;
    description.photometric = PhotometricKind::Monochrome2;
    const auto image = CImageData::Unshowable(description, {1, 1}, u"Video (MPEG-4 AVC) cannot be shown");
    ASSERT_NE(image, nullptr);
    ViewerSettings shown;
    // The overlay's own texts off: what remains in the text colour is the reason alone.
    shown.overlayVisible = 0;
    CPictureFrame frame(shown);
    frame.resize(400, 300);
    frame.SetImage(image.get());
    frame.FitImage();
    const QImage shot = Grab(frame);
    const QColor textColour(200, 200, 0);
    int middle = 0;
    int elsewhere = 0;
    for (int y = 2; y < 298; ++y)
    {
        for (int x = 2; x < 398; ++x)
        {
            if (shot.pixelColor(x, y) == textColour)
            {
                (y > 110 && y < 190 ? middle : elsewhere) += 1;
            }
        }
    }
    EXPECT_GT(middle, 0);
    EXPECT_EQ(elsewhere, 0);
}

TEST_F(PictureFrameTest, OnlyTheVisiblePartIsScaledAndItLandsWhereTheViewSaysIt)
{
    // Left half black, right half white under the file's window.
    GreyImageOptions imageOptions;
    imageOptions.rows = 100;
    imageOptions.columns = 100;
    imageOptions.value = [](int, int column) { return static_cast<std::uint16_t>(column < 50 ? 0 : 4095); };
    CImageData* image = Load(imageOptions);
    CPictureFrame frame;
    frame.resize(200, 200);
    frame.SetImage(image);
    image->SetZoom(10.0);
    // Image column 50 starts at tile x = -400 + 500 = 100.
    image->SetOrigin(-400, -400);

    const QImage shot = Grab(frame);
    EXPECT_LT(shot.pixelColor(90, 100).red(), 30);
    EXPECT_GT(shot.pixelColor(110, 100).red(), 225);
    EXPECT_LT(shot.pixelColor(3, 150).red(), 30);
    EXPECT_GT(shot.pixelColor(196, 150).red(), 225);

    // Panned so that only the white half is in view and the image ends inside the tile.
    image->SetOrigin(-700, -900);
    const QImage panned = Grab(frame);
    EXPECT_GT(panned.pixelColor(100, 50).red(), 225);
    EXPECT_EQ(panned.pixelColor(100, 150), QColor(Qt::black));
}

TEST_F(PictureFrameTest, AFailedSaveIsReportedAndASuccessfulOneWritesTheFile)
{
    CPictureFrame frame;
    frame.SetImage(Load());

    EXPECT_FALSE(frame.SaveImageAs(folder.Path() / "missing" / "out.jpg", kImageFileJpeg));
    EXPECT_EQ(raisedCodes, std::vector<std::string>{"10104"});

    raisedCodes.clear();
    EXPECT_TRUE(frame.SaveImageAs(folder.Path() / "out.bmp", kImageFileBmp));
    EXPECT_TRUE(raisedCodes.empty());
    std::ifstream in(folder.Path() / "out.bmp", std::ios::binary);
    char magic[2] = {};
    in.read(magic, 2);
    EXPECT_EQ(std::string(magic, 2), "BM");
}

std::string FirstBytes(const std::filesystem::path& path, int count)
{
    std::ifstream in(path, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(count), '\0');
    in.read(bytes.data(), count);
    return bytes;
}

TEST_F(PictureFrameTest, SaveDialogWritesTheChosenTypeUnderTheNameTyped)
{
    CPictureFrame frame;
    frame.SetImage(Load());

    // The first type is JPEG; a name without an extension takes ".jpg".
    QTimer::singleShot(0, [this] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->nameFilters(), (QStringList{"JPEG (*.jpg)", "24bit Bitmap (*.bmp)", "PNG (*.png)"}));
        // The dialog opens where the user keeps pictures, not beside the program on the medium.
        EXPECT_EQ(dialog->directory().absolutePath(), QDir(CPictureFrame::SaveFolder()).absolutePath());
        dialog->selectFile(QString::fromStdString((folder.Path() / "first").string()));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    frame.SaveImage();
    EXPECT_EQ(FirstBytes(folder.Path() / "first.jpg", 2), "\xFF\xD8");

    // Choosing the bitmap type writes a bitmap named ".bmp".
    QTimer::singleShot(0, [this] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(types, nullptr);
        types->setCurrentIndex(1);
        emit types->textActivated(types->currentText());
        dialog->selectFile(QString::fromStdString((folder.Path() / "second").string()));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    frame.SaveImage();
    EXPECT_EQ(FirstBytes(folder.Path() / "second.bmp", 2), "BM");
    // The session remembers the folder of the last save.
    EXPECT_EQ(QDir(CPictureFrame::SaveFolder()), QDir(QString::fromStdString(folder.Path().string())));

    // PNG: the signature, and the pixels read back by Qt's own decoder are those of the display bitmap.
    QTimer::singleShot(0, [this] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(types, nullptr);
        types->setCurrentIndex(2);
        emit types->textActivated(types->currentText());
        dialog->selectFile(QString::fromStdString((folder.Path() / "third").string()));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    frame.SaveImage();
    EXPECT_EQ(FirstBytes(folder.Path() / "third.png", 8), "\x89PNG\r\n\x1A\n");
    const QImage png(QString::fromStdString((folder.Path() / "third.png").string()));
    const QImage bmp(QString::fromStdString((folder.Path() / "second.bmp").string()));
    ASSERT_FALSE(png.isNull());
    EXPECT_EQ(png.convertToFormat(QImage::Format_RGB32), bmp.convertToFormat(QImage::Format_RGB32));

    // Cancelled: nothing is written and nothing is reported.
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->reject();
    });
    frame.SaveImage();
    EXPECT_TRUE(raisedCodes.empty());
}

// The tile is opaque and fills black only around its image: every pixel must still be painted, whatever the view
// and whichever filter draws the image (a pixel left out would show the last page through the new one).
struct CoverCase
{
    const char* name;
    double zoom;
    Point origin;
    bool quick;
};

class TileCoverTest : public PictureFrameTest, public ::testing::WithParamInterface<CoverCase>
{
};

TEST_P(TileCoverTest, EveryPixelOfTheTileIsPainted)
{
    const CoverCase& c = GetParam();
    GreyImageOptions imageOptions;
    imageOptions.rows = 90;
    imageOptions.columns = 70;
    imageOptions.value = [](int row, int column) {
        return static_cast<std::uint16_t>((row * 37 + column * 11) % 4096);
    };
    CImageData* image = Load(imageOptions);
    CPictureFrame frame;
    frame.resize(230, 170);
    frame.SetImage(image);
    image->SetZoom(c.zoom);
    image->SetOrigin(c.origin.x, c.origin.y);
    frame.PaintQuickly(c.quick);

    QImage target(frame.size(), QImage::Format_RGB32);
    const QColor unpainted(255, 0, 255);
    target.fill(unpainted);
    frame.render(&target, QPoint(), QRegion(), QWidget::DrawChildren);
    int left = 0;
    for (int y = 0; y < target.height(); ++y)
    {
        for (int x = 0; x < target.width(); ++x)
        {
            left += target.pixelColor(x, y) == unpainted ? 1 : 0;
        }
    }
    EXPECT_EQ(left, 0);
    // Outside the image the tile is black; inside, the image.
    const int right = c.origin.x + image->DisplayWidth();
    if (right < frame.width() - 4)
    {
        EXPECT_EQ(target.pixelColor(right + 2, frame.height() / 2), QColor(Qt::black));
    }
}

INSTANTIATE_TEST_SUITE_P(Views, TileCoverTest,
                         ::testing::Values(CoverCase{"FittedWithBarsAtTheSides", 1.888, {50, 0}, false},
                                           CoverCase{"EnlargedAndCutOnTwoSides", 2.37, {-13, -7}, false},
                                           CoverCase{"EnlargedPastEverySide", 4.1, {-31, -45}, false},
                                           CoverCase{"SmallInTheMiddle", 0.61, {77, 29}, false},
                                           CoverCase{"ShrunkByArea", 0.43, {3, 5}, false},
                                           CoverCase{"ShrunkQuicklyWhilePaging", 0.43, {3, 5}, true},
                                           CoverCase{"EnlargedQuicklyWhilePaging", 2.37, {-13, -7}, true},
                                           CoverCase{"PannedOutOfTheTile", 1.0, {400, 300}, false}),
                         test::ByCaseName{});

} // namespace
} // namespace orblane
