// The viewer's wheel, keys, right and middle drags, presets, cine and overlay, driven through QTest as a user drives
// them, beside the toolbar (which these never change).
#include "viewer/CDlgImgViewer.h"

#include "ViewerStudy.h"
#include "imaging/CImageData.h"
#include "viewer/CPictureFrame.h"
#include "widgets/CBitmapCheckBox.h"

#include "support/CaseName.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace orblane {
namespace {

using Viewer = CDlgImgViewer;

class ViewerInputTest : public ::testing::Test
{
protected:
    std::unique_ptr<Viewer> Open(int count, int columns = 2, const test::GreyImageOptions& imageOptions = {})
    {
        auto viewer = std::make_unique<Viewer>((folder.Path() / "Orblane.ini").string());
        for (int i = 0; i < count; ++i)
        {
            viewer->AddImageFile(test::WriteGreyImage(folder, "image" + std::to_string(i), imageOptions));
        }
        viewer->show();
        QCoreApplication::processEvents();
        viewer->ApplyPattern(columns, columns);
        return viewer;
    }
    static CImageData* ImageAt(Viewer& viewer, int index) { return viewer.Images().GetImage(index); }
    static QPoint CentreOf(const Viewer& viewer, int tile) { return viewer.Frame(tile)->geometry().center(); }
    static void Wheel(Viewer& viewer, QPoint at, int delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWheelEvent event(QPointF(at), QPointF(viewer.mapToGlobal(at)), QPoint(), QPoint(0, delta), Qt::NoButton,
                          modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&viewer, &event);
    }
    static void Mouse(Viewer& viewer, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QMouseEvent event(type, QPointF(at), QPointF(viewer.mapToGlobal(at)), button, held, Qt::NoModifier);
        QApplication::sendEvent(&viewer, &event);
    }

    test::ScratchFolder folder;
};

struct PagingInput
{
    const char* name;
    int startFirst;
    // A key (with modifiers), or a wheel turn when key is 0.
    int key;
    Qt::KeyboardModifiers modifiers;
    int wheel;
    int expectedFirst;
};

class ViewerPagingInputTest : public ViewerInputTest, public ::testing::WithParamInterface<PagingInput>
{
};

// Twelve images in 2 x 2; the page is first moved to startFirst with the toolbar's next-image button.
TEST_P(ViewerPagingInputTest, MovesThePageAsTheToolbarWouldAndKeepsTheFocusOnThePage)
{
    const PagingInput& input = GetParam();
    auto viewer = Open(12);
    for (int i = 0; i < input.startFirst; ++i)
    {
        viewer->OnCommand(Viewer::kNextImageButton);
    }
    ASSERT_EQ(viewer->FirstIndex(), input.startFirst);
    EXPECT_EQ(viewer->focusWidget(), viewer.get());
    if (input.key != 0)
    {
        QTest::keyClick(viewer.get(), static_cast<Qt::Key>(input.key), input.modifiers);
    }
    else
    {
        Wheel(*viewer, CentreOf(*viewer, 1), input.wheel, input.modifiers);
    }
    EXPECT_EQ(viewer->FirstIndex(), input.expectedFirst);
    EXPECT_EQ(viewer->Frame(0)->GetTileImage(), ImageAt(*viewer, input.expectedFirst));
    EXPECT_EQ(viewer->focusWidget(), viewer.get());
    EXPECT_EQ(viewer->Mode(), ViewerMode::Select);
}

const PagingInput kPagingInputs[] = {
    {"PageDownNextPage", 0, Qt::Key_PageDown, Qt::NoModifier, 0, 4},
    {"PageUpPreviousPage", 5, Qt::Key_PageUp, Qt::NoModifier, 0, 1},
    {"DownNextImage", 0, Qt::Key_Down, Qt::NoModifier, 0, 1},
    {"RightNextImage", 0, Qt::Key_Right, Qt::NoModifier, 0, 1},
    {"UpPreviousImage", 3, Qt::Key_Up, Qt::NoModifier, 0, 2},
    {"LeftPreviousImage", 3, Qt::Key_Left, Qt::NoModifier, 0, 2},
    {"LeftAtTheStartDoesNothing", 0, Qt::Key_Left, Qt::NoModifier, 0, 0},
    {"HomeFirstPage", 6, Qt::Key_Home, Qt::NoModifier, 0, 0},
    // Twelve images in four tiles: the last page shows images 8-11.
    {"EndLastPage", 0, Qt::Key_End, Qt::NoModifier, 0, 8},
    {"WheelDownNextImage", 0, 0, Qt::NoModifier, -120, 1},
    {"WheelUpPreviousImage", 2, 0, Qt::NoModifier, 120, 1},
    {"TwoNotchesTwoImages", 0, 0, Qt::NoModifier, -240, 2},
    {"HalfANotchNothingYet", 0, 0, Qt::NoModifier, -60, 0},
    {"ShiftWheelDownNextPage", 0, 0, Qt::ShiftModifier, -120, 4},
    {"ShiftWheelUpPreviousPage", 6, 0, Qt::ShiftModifier, 120, 2},
    {"WheelPastTheLastDecodedStops", 8, 0, Qt::NoModifier, -120, 8},
};

INSTANTIATE_TEST_SUITE_P(Inputs, ViewerPagingInputTest, ::testing::ValuesIn(kPagingInputs), test::ByCaseName{});

TEST_F(ViewerInputTest, CtrlWheelZoomsTheTileUnderTheCursorAboutTheCursorAndKeysZoomAboutTheCentre)
{
    test::GreyImageOptions large;
    large.rows = 600;
    large.columns = 600;
    auto viewer = Open(4, 2, large);
    CImageData* image = ImageAt(*viewer, 3);
    const double fitted = image->GetZoom();
    const QPoint at = CentreOf(*viewer, 3) + QPoint(17, -9);
    const QPoint local = at - viewer->Frame(3)->pos();
    // The image point under the cursor, in image pixels before the zoom.
    const double before = (local.x() - image->GetOrigin().x) / image->GetZoom();

    Wheel(*viewer, at, 120, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(image->GetZoom(), fitted * 1.2);
    EXPECT_NEAR((local.x() - image->GetOrigin().x) / image->GetZoom(), before, 1.0);
    EXPECT_EQ(viewer->FirstIndex(), 0);
    Wheel(*viewer, at, -120, Qt::ControlModifier);
    EXPECT_NEAR(image->GetZoom(), fitted, 1e-12);

    // The keys act on the current tile (tile 0 until a click moves it).
    CImageData* first = ImageAt(*viewer, 0);
    const double firstFitted = first->GetZoom();
    QTest::keyClick(viewer.get(), Qt::Key_Plus);
    EXPECT_DOUBLE_EQ(first->GetZoom(), firstFitted * 1.2);
    QTest::keyClick(viewer.get(), Qt::Key_Minus);
    QTest::keyClick(viewer.get(), Qt::Key_Minus);
    EXPECT_NEAR(first->GetZoom(), firstFitted / 1.2, 1e-12);
    QTest::keyClick(viewer.get(), Qt::Key_F);
    EXPECT_DOUBLE_EQ(first->GetZoom(), firstFitted);
}

TEST_F(ViewerInputTest, RightDragWindowsAndMiddleDragPansTheTileUnderTheCursorInSelectMode)
{
    auto viewer = Open(4);
    CImageData* image = ImageAt(*viewer, 3);
    const int width = image->WindowWidth();
    const int centre = image->WindowCentre();
    const QPoint at = CentreOf(*viewer, 3);

    Mouse(*viewer, QEvent::MouseButtonPress, at, Qt::RightButton, Qt::RightButton);
    EXPECT_EQ(viewer->CurrentFrame(), viewer->Frame(3));
    EXPECT_EQ(viewer->cursor().shape(), Qt::BitmapCursor);
    Mouse(*viewer, QEvent::MouseMove, at + QPoint(-40, 0), Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(image->WindowWidth(), width - 40);
    Mouse(*viewer, QEvent::MouseButtonRelease, at + QPoint(-40, 10), Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(image->WindowWidth(), width - 40);
    EXPECT_EQ(image->WindowCentre(), centre - 10);
    EXPECT_EQ(viewer->Mode(), ViewerMode::Select);
    EXPECT_TRUE(static_cast<CBitmapCheckBox*>(viewer->Control(Viewer::kSelectBox))->IsChecked());
    EXPECT_EQ(viewer->cursor().shape(), Qt::ArrowCursor);

    // The middle button pans whatever the mode; a left press meanwhile changes nothing.
    viewer->OnCommand(Viewer::kZoomInBox);
    CImageData* other = ImageAt(*viewer, 0);
    const Point origin = other->GetOrigin();
    const double zoom = other->GetZoom();
    const QPoint from = CentreOf(*viewer, 0);
    Mouse(*viewer, QEvent::MouseButtonPress, from, Qt::MiddleButton, Qt::MiddleButton);
    Mouse(*viewer, QEvent::MouseMove, from + QPoint(12, 7), Qt::NoButton, Qt::MiddleButton);
    Mouse(*viewer, QEvent::MouseButtonPress, from + QPoint(12, 7), Qt::LeftButton, Qt::MiddleButton | Qt::LeftButton);
    Mouse(*viewer, QEvent::MouseButtonRelease, from + QPoint(12, 7), Qt::MiddleButton, Qt::LeftButton);
    Mouse(*viewer, QEvent::MouseButtonRelease, from + QPoint(12, 7), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(other->GetOrigin(), (Point{origin.x + 12, origin.y + 7}));
    EXPECT_DOUBLE_EQ(other->GetZoom(), zoom);
    EXPECT_EQ(viewer->Mode(), ViewerMode::ZoomIn);
    EXPECT_FALSE(viewer->Dragging());
}

TEST_F(ViewerInputTest, PresetKeysSetTheWindowOfThePageOrWithShiftOfTheCurrentTile)
{
    // Values 0-4095 with the writer's window 2048/4096.
    auto viewer = Open(4);
    struct Row
    {
        const char* name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int centreOfTile0;
        int widthOfTile0;
        int centreOfTile1;
        int widthOfTile1;
    };
    const Row rows[] = {
        {"SoftTissueOnThePage", Qt::Key_1, Qt::NoModifier, 40, 400, 40, 400},
        {"LungOnTheCurrentTileOnly", Qt::Key_2, Qt::ShiftModifier, -600, 1500, 40, 400},
        {"LungAsAUsLayoutTypesShiftTwo", Qt::Key_At, Qt::ShiftModifier, -600, 1500, 40, 400},
        {"BrainOnThePage", Qt::Key_4, Qt::NoModifier, 40, 80, 40, 80},
        {"MediastinumOnThePage", Qt::Key_6, Qt::NoModifier, 50, 350, 50, 350},
        // The ramp's values run from 0 to (31 + 31) * 64 = 3968: all of them, nothing clipped.
        {"FullRangeOnThePage", Qt::Key_9, Qt::NoModifier, 1984, 3968, 1984, 3968},
        {"TheFilesWindowOnThePage", Qt::Key_0, Qt::NoModifier, 2048, 4096, 2048, 4096},
        {"SevenIsNoPreset", Qt::Key_7, Qt::NoModifier, 2048, 4096, 2048, 4096},
    };
    for (const Row& row : rows)
    {
        QTest::keyClick(viewer.get(), row.key, row.modifiers);
        EXPECT_EQ(ImageAt(*viewer, 0)->WindowCentre(), row.centreOfTile0) << row.name;
        EXPECT_EQ(ImageAt(*viewer, 0)->WindowWidth(), row.widthOfTile0) << row.name;
        EXPECT_EQ(ImageAt(*viewer, 1)->WindowCentre(), row.centreOfTile1) << row.name;
        EXPECT_EQ(ImageAt(*viewer, 1)->WindowWidth(), row.widthOfTile1) << row.name;
    }
}

TEST_F(ViewerInputTest, CtPresetsApplyOnlyToCtImagesWhileZeroAndNineApplyToEveryGreyImage)
{
    // Tile 0 CT, tile 1 MR, both with values 0-3968 under the file's window 2048/4096.
    auto viewer = std::make_unique<Viewer>((folder.Path() / "Orblane.ini").string());
    test::GreyImageOptions mr;
    mr.modality = "MR";
    viewer->AddImageFile(test::WriteGreyImage(folder, "a-ct", {}));
    viewer->AddImageFile(test::WriteGreyImage(folder, "b-mr", mr));
    viewer->show();
    QCoreApplication::processEvents();
    viewer->ApplyPattern(2, 1);
    ASSERT_TRUE(ImageAt(*viewer, 0)->Description().computedTomography);
    ASSERT_FALSE(ImageAt(*viewer, 1)->Description().computedTomography);
    struct Row
    {
        const char* name;
        Qt::Key key;
        int ctCentre, ctWidth, mrCentre, mrWidth;
    };
    const Row rows[] = {
        {"SoftTissueReachesTheCtImageOnly", Qt::Key_1, 40, 400, 2048, 4096},
        {"LungReachesTheCtImageOnly", Qt::Key_2, -600, 1500, 2048, 4096},
        {"FullRangeReachesBoth", Qt::Key_9, 1984, 3968, 1984, 3968},
        {"TheFilesWindowReachesBoth", Qt::Key_0, 2048, 4096, 2048, 4096},
    };
    for (const Row& row : rows)
    {
        QTest::keyClick(viewer.get(), row.key);
        EXPECT_EQ(ImageAt(*viewer, 0)->WindowCentre(), row.ctCentre) << row.name;
        EXPECT_EQ(ImageAt(*viewer, 0)->WindowWidth(), row.ctWidth) << row.name;
        EXPECT_EQ(ImageAt(*viewer, 1)->WindowCentre(), row.mrCentre) << row.name;
        EXPECT_EQ(ImageAt(*viewer, 1)->WindowWidth(), row.mrWidth) << row.name;
    }
}

TEST_F(ViewerInputTest, InvertOverlayAndSaveKeysActOnTheCurrentTile)
{
    auto viewer = Open(1, 1);
    CImageData* image = ImageAt(*viewer, 0);
    // The ramp starts at 0: under the file's window the first pixel is black, inverted it is white.
    ASSERT_EQ(image->Bitmap().Pixels32(0)[0] & 0xFFFFFFu, 0u);
    QTest::keyClick(viewer.get(), Qt::Key_N);
    EXPECT_TRUE(image->Inverted());
    EXPECT_EQ(image->Bitmap().Pixels32(0)[0] & 0xFFFFFFu, 0xFFFFFFu);
    QTest::keyClick(viewer.get(), Qt::Key_N);
    EXPECT_EQ(image->Bitmap().Pixels32(0)[0] & 0xFFFFFFu, 0u);

    auto* overlay = static_cast<CBitmapCheckBox*>(viewer->Control(Viewer::kOverlayBox));
    QTest::keyClick(viewer.get(), Qt::Key_I);
    EXPECT_FALSE(overlay->IsChecked());
    EXPECT_EQ(viewer->Settings().overlayVisible, 0);
    QTest::keyClick(viewer.get(), Qt::Key_I);
    EXPECT_TRUE(overlay->IsChecked());
    EXPECT_EQ(viewer->Settings().overlayVisible, 1);

    bool dialogSeen = false;
    QTimer::singleShot(0, [&dialogSeen] {
        if (QWidget* dialog = QApplication::activeModalWidget())
        {
            dialogSeen = dialog->inherits("QFileDialog");
            static_cast<QDialog*>(dialog)->reject();
        }
    });
    QTest::keyClick(viewer.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(dialogSeen);
    // Plain S is no command.
    EXPECT_TRUE(viewer->isVisible());
}

TEST_F(ViewerInputTest, TheViewerOpensWithTheFocusOnThePageAndEveryControlHasATooltip)
{
    auto viewer = Open(2);
    EXPECT_EQ(viewer->focusWidget(), viewer.get());
    for (int id = Viewer::kZoomInBox; id <= Viewer::kEndButton; ++id)
    {
        if (QWidget* control = viewer->Control(id))
        {
            EXPECT_FALSE(control->toolTip().isEmpty()) << id;
            EXPECT_EQ(control->focusPolicy(), Qt::TabFocus) << id;
        }
    }
    EXPECT_EQ(viewer->Control(Viewer::kNextPageButton)->toolTip().left(9), QStringLiteral("Next page"));
    // A click on a toolbar control leaves the keyboard with the page; Tab still reaches the controls.
    QTest::mouseClick(viewer->Control(Viewer::kNextImageButton), Qt::LeftButton);
    EXPECT_EQ(viewer->focusWidget(), viewer.get());
}

TEST_F(ViewerInputTest, ResizeKeepsZoomAndPanWhileAFittedImageFollowsTheTile)
{
    auto viewer = Open(2, 1);
    viewer->ApplyPattern(2, 1);
    CImageData* zoomed = ImageAt(*viewer, 0);
    CImageData* fitted = ImageAt(*viewer, 1);
    zoomed->SetZoom(3.0);
    zoomed->SetOrigin(-5, 7);
    const double fittedBefore = fitted->GetZoom();

    viewer->resize(viewer->width() - 100, viewer->height() - 100);
    QCoreApplication::processEvents();
    EXPECT_DOUBLE_EQ(zoomed->GetZoom(), 3.0);
    EXPECT_EQ(zoomed->GetOrigin(), (Point{-5, 7}));
    EXPECT_NE(fitted->GetZoom(), fittedBefore);
    EXPECT_TRUE(viewer->Frame(1)->IsFitted());
}

TEST_F(ViewerInputTest, OverlayNumbersDoNotOverlapInSixBySixOnAFullHdScreen)
{
    auto viewer = Open(37, 1);
    viewer->resize(1920, 1080);
    QCoreApplication::processEvents();
    viewer->ApplyPattern(6, 6);
    for (int tile = 0; tile < 36; ++tile)
    {
        CPictureFrame* frame = viewer->Frame(tile);
        frame->grab();
        const auto& blocks = frame->OverlayBlocks();
        for (std::size_t i = 0; i < 4; ++i)
        {
            ASSERT_FALSE(blocks[i].isEmpty()) << tile << " block " << i;
            EXPECT_TRUE(frame->rect().contains(blocks[i])) << tile << " block " << i;
            for (std::size_t j = i + 1; j < 4; ++j)
            {
                EXPECT_FALSE(blocks[i].intersects(blocks[j])) << tile << " blocks " << i << " " << j;
            }
        }
    }
}

TEST_F(ViewerInputTest, SpacePlaysTheFramesOfTheCurrentTilesFileInALoopWithoutBlocking)
{
    auto viewer = Open(4, 1);
    // Until multi-frame files are decoded every image is its own only frame: Space shows nothing new.
    QTest::keyClick(viewer.get(), Qt::Key_Space);
    EXPECT_FALSE(viewer->CinePlaying());

    // Images 0-2 as the three frames of one file at 50 frames per second.
    viewer->SetFrameRuns([](int index) { return index < 3 ? FrameRun{0, 3, 50.0} : FrameRun{index, 1, 15.0}; });
    QTest::keyClick(viewer.get(), Qt::Key_Space);
    EXPECT_TRUE(viewer->CinePlaying());
    QTRY_COMPARE(viewer->Frame(0)->GetTileImage(), ImageAt(*viewer, 1));
    QTRY_COMPARE(viewer->Frame(0)->GetTileImage(), ImageAt(*viewer, 2));
    QTRY_COMPARE(viewer->Frame(0)->GetTileImage(), ImageAt(*viewer, 0));
    QTest::keyClick(viewer.get(), Qt::Key_Space);
    EXPECT_FALSE(viewer->CinePlaying());
    // Paging stops a cine too.
    QTest::keyClick(viewer.get(), Qt::Key_Space);
    QTest::keyClick(viewer.get(), Qt::Key_Down);
    EXPECT_FALSE(viewer->CinePlaying());
    EXPECT_EQ(viewer->Frame(0)->GetTileImage(), ImageAt(*viewer, 1));
}

TEST_F(ViewerInputTest, CinePlaysAtTheFilesFrameRate)
{
    // Three frames each: 100 ms a frame from Frame Time; without timing, 15 frames a second (1000 / 15 = 66.7 ms).
    struct Row
    {
        const char* name;
        const char* frameTime;
        int intervalMs;
    };
    const Row rows[] = {{"FrameTime", "100", 100}, {"NoTiming", "", 67}, {"AbsurdFrameTimeGivesWay", "0.0001", 67}};
    for (const Row& row : rows)
    {
        auto viewer = std::make_unique<Viewer>((folder.Path() / "Orblane.ini").string());
        test::GreyImageOptions cine;
        cine.frames = 3;
        cine.frameTime = row.frameTime;
        viewer->AddImageFile(test::WriteGreyImage(folder, std::string("cine-") + row.name, cine));
        viewer->show();
        QCoreApplication::processEvents();
        QTest::keyClick(viewer.get(), Qt::Key_Space);
        ASSERT_TRUE(viewer->CinePlaying()) << row.name;
        EXPECT_EQ(viewer->CineIntervalMs(), row.intervalMs) << row.name;
    }
}

TEST_F(ViewerInputTest, CineShowsEveryFrameInTurnWhenDecodingCannotKeepUp)
{
    auto viewer = Open(4, 1);
    // Four frames asked for at 120 a second while each step costs some 25 ms (as a slow decode would): the cine
    // plays slower than asked, never by skipping a frame.
    viewer->SetFrameRuns([](int) {
        QThread::msleep(10);
        return FrameRun{0, 4, 120.0};
    });
    QTest::keyClick(viewer.get(), Qt::Key_Space);
    ASSERT_TRUE(viewer->CinePlaying());
    std::vector<int> shown{0};
    QElapsedTimer clock;
    clock.start();
    while (shown.size() < 10 && clock.elapsed() < 5000)
    {
        QCoreApplication::processEvents();
        for (int k = 0; k < 4; ++k)
        {
            if (viewer->Frame(0)->GetTileImage() == ImageAt(*viewer, k) && k != shown.back())
            {
                shown.push_back(k);
            }
        }
    }
    ASSERT_GE(shown.size(), 10u);
    for (std::size_t i = 1; i < shown.size(); ++i)
    {
        EXPECT_EQ(shown[i], (shown[i - 1] + 1) % 4) << "step " << i;
    }
}

TEST_F(ViewerInputTest, PagingALargeImageDrawsItAtOnceAndTheExactShrinkWhenPagingPauses)
{
    // Columns alternating 0 and 4000 shrink by area averaging to an even grey; sampled, they would stay black or
    // white.
    test::GreyImageOptions stripes;
    stripes.rows = stripes.columns = 1200;
    stripes.value = [](int, int column) { return static_cast<std::uint16_t>(column % 2 * 4000); };
    auto viewer = std::make_unique<Viewer>((folder.Path() / "Orblane.ini").string());
    viewer->AddImageFile(test::WriteGreyImage(folder, "a", stripes));
    viewer->AddImageFile(test::WriteGreyImage(folder, "b", stripes));
    viewer->show();
    QCoreApplication::processEvents();
    struct PaintCounter : QObject
    {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            paints += event->type() == QEvent::Paint ? 1 : 0;
            return false;
        }
    } counter;
    viewer->Frame(0)->installEventFilter(&counter);
    QTest::keyClick(viewer.get(), Qt::Key_Down);
    ASSERT_EQ(viewer->FirstIndex(), 1);
    const int afterStep = counter.paints;
    EXPECT_GE(afterStep, 1);
    // Once no further step comes, the tile is drawn again, now exactly.
    QTRY_VERIFY_WITH_TIMEOUT(counter.paints > afterStep, 2000);
    // A tile pixel spans about 1.8 columns: most of them mix black and white into a grey, where samples would give
    // only the black and the white (0 and 249 under the window 2048/4096).
    const QImage shown = viewer->Frame(0)->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QPoint centre = shown.rect().center();
    int greys = 0;
    for (int dx = -10; dx <= 10; ++dx)
    {
        const int grey = qGray(shown.pixel(centre + QPoint(dx, 0)));
        greys += grey > 60 && grey < 190 ? 1 : 0;
    }
    EXPECT_GE(greys, 14);
}

} // namespace
} // namespace orblane
