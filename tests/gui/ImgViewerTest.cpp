// The viewer on real decoded studies, driven through its toolbar and mouse as a user drives it: what each page
// shows, which views survive paging and pattern changes, which tile a click selects, and what clicks and drags do
// in each mouse mode.
#include "viewer/CDlgImgViewer.h"

#include "ViewerStudy.h"
#include "core/ViewerSettings.h"
#include "imaging/CImageData.h"
#include "viewer/CPictureFrame.h"
#include "widgets/CBitmapCheckBox.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <vector>

namespace orblane {
namespace {

using Viewer = CDlgImgViewer;

class ImgViewerTest : public ::testing::Test
{
protected:
    // A shown viewer of count small images, read with the settings file of the scratch folder (absent unless a
    // test writes one).
    std::unique_ptr<Viewer> Open(int count)
    {
        auto viewer = std::make_unique<Viewer>((folder.Path() / "Orblane.ini").string());
        for (auto& file : test::WriteGreyStudy(folder, count))
        {
            viewer->AddImageFile(std::move(file));
        }
        return Shown(std::move(viewer));
    }
    // A one-image study of the image described.
    std::unique_ptr<Viewer> OpenImage(const test::GreyImageOptions& imageOptions)
    {
        auto viewer = std::make_unique<Viewer>((folder.Path() / "Orblane.ini").string());
        viewer->AddImageFile(test::WriteGreyImage(folder, "single", imageOptions));
        return Shown(std::move(viewer));
    }
    static std::unique_ptr<Viewer> Shown(std::unique_ptr<Viewer> viewer)
    {
        viewer->show();
        // Whatever the window system does with the new window happens before the test goes on.
        QCoreApplication::processEvents();
        return viewer;
    }

    static CImageData* Shown(const Viewer& viewer, int tile) { return viewer.Frame(tile)->GetTileImage(); }
    static CImageData* ImageAt(Viewer& viewer, int index) { return viewer.Images().GetImage(index); }
    static bool Enabled(const Viewer& viewer, int id) { return viewer.Control(id)->isEnabled(); }
    static void Click(Viewer& viewer, int id)
    {
        QTest::mouseClick(viewer.Control(id), Qt::LeftButton);
        // The boxes post their command: let it arrive.
        QCoreApplication::processEvents();
    }
    static void Mouse(Viewer& viewer, QEvent::Type type, QPoint at, Qt::MouseButtons held)
    {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, QPointF(at), QPointF(viewer.mapToGlobal(at)), button, held, Qt::NoModifier);
        QApplication::sendEvent(&viewer, &event);
    }
    static void Press(Viewer& viewer, QPoint at) { Mouse(viewer, QEvent::MouseButtonPress, at, Qt::LeftButton); }
    static void Move(Viewer& viewer, QPoint at) { Mouse(viewer, QEvent::MouseMove, at, Qt::LeftButton); }
    static void Release(Viewer& viewer, QPoint at) { Mouse(viewer, QEvent::MouseButtonRelease, at, Qt::NoButton); }
    static QPoint CentreOf(const Viewer& viewer, int tile) { return viewer.Frame(tile)->geometry().center(); }

    // The zoom a fit into tile gives the 32 x 32 test images.
    static double FittedZoom(const Viewer& viewer, int tile)
    {
        const QRect r = viewer.Frame(tile)->rect().adjusted(1, 1, -1, -1);
        return std::min(r.width(), r.height()) / 32.0;
    }

    test::ScratchFolder folder;
};

TEST_F(ImgViewerTest, OpensMaximisedWithItsToolbarAndOneTileAndAOneImageStudyCannotPage)
{
    auto viewer = Open(1);
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("TALVIREN DICOM MEDIA Viewer"));
    EXPECT_TRUE(viewer->windowState() & Qt::WindowMaximized);
    // The offscreen screen is 800 pixels wide, where the toolbar wraps; on a screen that holds it, it is one row.
    viewer->resize(1280, 1024);
    QCoreApplication::processEvents();
    EXPECT_EQ(viewer->TileArea(), QRect(0, 72, viewer->width(), viewer->height() - 72));
    EXPECT_EQ(viewer->Frame(0)->geometry(), QRect(0, 72, viewer->width(), viewer->height() - 72));
    EXPECT_TRUE(viewer->Frame(0)->isVisible());
    EXPECT_FALSE(viewer->Frame(1)->isVisible());
    EXPECT_EQ(Shown(*viewer, 0), ImageAt(*viewer, 0));
    EXPECT_EQ(viewer->CurrentFrame(), viewer->Frame(0));
    EXPECT_TRUE(viewer->Frame(0)->IsSelected());
    EXPECT_DOUBLE_EQ(ImageAt(*viewer, 0)->GetZoom(), FittedZoom(*viewer, 0));

    const std::pair<int, int> places[] = {{Viewer::kZoomInBox, 4},         {Viewer::kZoomOutBox, 72},
                                          {Viewer::kPanBox, 140},          {Viewer::kContrastBox, 208},
                                          {Viewer::kSelectBox, 276},       {Viewer::kFitButton, 350},
                                          {Viewer::kResetButton, 419},     {Viewer::kPreviousImageButton, 492},
                                          {Viewer::kNextImageButton, 560}, {Viewer::kPreviousPageButton, 628},
                                          {Viewer::kNextPageButton, 696},  {Viewer::kSaveButton, 770},
                                          {Viewer::kPatternButton, 838},   {Viewer::kOverlayBox, 912},
                                          {Viewer::kEndButton, 980}};
    for (const auto& [id, x] : places)
    {
        ASSERT_NE(viewer->Control(id), nullptr) << id;
        EXPECT_EQ(viewer->Control(id)->geometry(), QRect(x, 4, 64, 64)) << id;
        EXPECT_TRUE(viewer->Control(id)->isVisible()) << id;
    }
    EXPECT_TRUE(static_cast<CBitmapCheckBox*>(viewer->Control(Viewer::kSelectBox))->IsChecked());
    EXPECT_TRUE(static_cast<CBitmapCheckBox*>(viewer->Control(Viewer::kOverlayBox))->IsChecked());
    EXPECT_EQ(viewer->Mode(), ViewerMode::Select);

    for (int id :
         {Viewer::kNextImageButton, Viewer::kNextPageButton, Viewer::kPreviousImageButton, Viewer::kPreviousPageButton})
    {
        EXPECT_FALSE(Enabled(*viewer, id)) << id;
    }
}

TEST_F(ImgViewerTest, ANarrowWindowWrapsTheToolbarSoThatEveryControlStaysReachable)
{
    auto viewer = Open(2);
    struct Row
    {
        const char* name;
        int width;
        int toolbarRows;
    };
    // 1048 is the whole row (VIEWEND ends at 1044, plus the margin); a 1920-pixel screen at scale 2 gives 960, a
    // 1366-pixel one 683; at 400 the controls need three rows.
    const Row rows[] = {{"OneRowWhereItFits", 1048, 1},
                        {"FullHdAtTwice", 960, 2},
                        {"LaptopAtTwice", 683, 2},
                        {"VeryNarrow", 400, 3},
                        {"WideAgain", 1280, 1}};
    for (const Row& row : rows)
    {
        viewer->resize(row.width, 700);
        QCoreApplication::processEvents();
        QRect controls;
        std::vector<QRect> places;
        for (int id = Viewer::kZoomInBox; id <= Viewer::kSaveButton; ++id)
        {
            if (QWidget* control = viewer->Control(id))
            {
                const QRect place = control->geometry();
                EXPECT_TRUE(viewer->rect().contains(place)) << row.name << " " << id;
                EXPECT_TRUE(control->isVisible()) << row.name << " " << id;
                for (const QRect& other : places)
                {
                    EXPECT_FALSE(other.intersects(place)) << row.name << " " << id;
                }
                places.push_back(place);
                controls |= place;
            }
        }
        ASSERT_EQ(places.size(), 15u) << row.name;
        // Rows of 64-pixel controls 4 pixels apart; the tiles start a margin below the last row.
        EXPECT_EQ(controls.height(), row.toolbarRows * 68 - 4) << row.name;
        EXPECT_EQ(viewer->TileArea().top(), controls.bottom() + 1 + 4) << row.name;
        EXPECT_EQ(viewer->Frame(0)->geometry().top(), viewer->TileArea().top()) << row.name;
    }
}

TEST_F(ImgViewerTest, AStudyWithoutImagesShowsOneEmptyTileAndNothingToDo)
{
    auto viewer = Open(0);
    EXPECT_TRUE(viewer->Frame(0)->isVisible());
    EXPECT_EQ(Shown(*viewer, 0), nullptr);
    for (int id :
         {Viewer::kNextImageButton, Viewer::kNextPageButton, Viewer::kPreviousImageButton, Viewer::kPreviousPageButton})
    {
        EXPECT_FALSE(Enabled(*viewer, id)) << id;
    }
    // The view commands on the empty tile change nothing and do not fail.
    for (int id : {Viewer::kFitButton, Viewer::kResetButton, Viewer::kSaveButton, Viewer::kNextPageButton})
    {
        viewer->OnCommand(id);
    }
    Click(*viewer, Viewer::kContrastBox);
    Press(*viewer, CentreOf(*viewer, 0));
    Move(*viewer, CentreOf(*viewer, 0) + QPoint(30, 0));
    Release(*viewer, CentreOf(*viewer, 0) + QPoint(30, 0));
    EXPECT_EQ(viewer->FirstIndex(), 0);
    EXPECT_TRUE(viewer->isVisible());
}

TEST_F(ImgViewerTest, FiveImagesInTwoByTwoPageForwardAndBack)
{
    auto viewer = Open(5);
    viewer->ApplyPattern(2, 2);
    EXPECT_TRUE(Enabled(*viewer, Viewer::kNextPageButton));
    EXPECT_FALSE(Enabled(*viewer, Viewer::kPreviousPageButton));

    Click(*viewer, Viewer::kNextPageButton);
    EXPECT_EQ(viewer->FirstIndex(), 4);
    EXPECT_EQ(Shown(*viewer, 0), ImageAt(*viewer, 4));
    for (int tile = 1; tile < 4; ++tile)
    {
        EXPECT_EQ(Shown(*viewer, tile), nullptr) << tile;
        EXPECT_TRUE(viewer->Frame(tile)->isVisible()) << tile;
    }
    EXPECT_FALSE(Enabled(*viewer, Viewer::kNextPageButton));
    EXPECT_FALSE(Enabled(*viewer, Viewer::kNextImageButton));
    EXPECT_TRUE(Enabled(*viewer, Viewer::kPreviousPageButton));

    Click(*viewer, Viewer::kPreviousPageButton);
    EXPECT_EQ(viewer->FirstIndex(), 0);
    for (int tile = 0; tile < 4; ++tile)
    {
        EXPECT_EQ(Shown(*viewer, tile), ImageAt(*viewer, tile)) << tile;
    }
    EXPECT_FALSE(Enabled(*viewer, Viewer::kPreviousPageButton));
    EXPECT_TRUE(Enabled(*viewer, Viewer::kNextPageButton));
}

TEST_F(ImgViewerTest, PreviousPageFromIndexTwoFitsOnlyTheImagesComingBack)
{
    auto viewer = Open(6);
    viewer->ApplyPattern(2, 2);
    Click(*viewer, Viewer::kNextImageButton);
    Click(*viewer, Viewer::kNextImageButton);
    ASSERT_EQ(viewer->FirstIndex(), 2);
    for (int i = 0; i < 4; ++i)
    {
        ImageAt(*viewer, i)->SetZoom(3.0 + i);
        ImageAt(*viewer, i)->SetOrigin(7, 9);
    }

    Click(*viewer, Viewer::kPreviousPageButton);
    EXPECT_EQ(viewer->FirstIndex(), 0);
    EXPECT_DOUBLE_EQ(ImageAt(*viewer, 0)->GetZoom(), FittedZoom(*viewer, 0));
    EXPECT_DOUBLE_EQ(ImageAt(*viewer, 1)->GetZoom(), FittedZoom(*viewer, 1));
    EXPECT_DOUBLE_EQ(ImageAt(*viewer, 2)->GetZoom(), 5.0);
    EXPECT_DOUBLE_EQ(ImageAt(*viewer, 3)->GetZoom(), 6.0);
    EXPECT_EQ(ImageAt(*viewer, 3)->GetOrigin(), (Point{7, 9}));
    EXPECT_EQ(Shown(*viewer, 2), ImageAt(*viewer, 2));
}

TEST_F(ImgViewerTest, NextImageInThreeByThreeFitsOnlyTheNewcomerAndLooksAhead)
{
    auto viewer = Open(11);
    viewer->ApplyPattern(3, 3);
    EXPECT_EQ(viewer->Images().ImageCount(), 10);
    for (int i = 0; i < 9; ++i)
    {
        ImageAt(*viewer, i)->SetZoom(2.5);
    }
    ImageAt(*viewer, 9)->SetZoom(2.5);

    Click(*viewer, Viewer::kNextImageButton);
    EXPECT_EQ(viewer->FirstIndex(), 1);
    for (int tile = 0; tile < 8; ++tile)
    {
        EXPECT_EQ(Shown(*viewer, tile), ImageAt(*viewer, tile + 1)) << tile;
        EXPECT_DOUBLE_EQ(Shown(*viewer, tile)->GetZoom(), 2.5) << tile;
    }
    EXPECT_EQ(Shown(*viewer, 8), ImageAt(*viewer, 9));
    EXPECT_DOUBLE_EQ(ImageAt(*viewer, 9)->GetZoom(), FittedZoom(*viewer, 8));
    EXPECT_EQ(viewer->Images().ImageCount(), 11);
    EXPECT_TRUE(Enabled(*viewer, Viewer::kNextImageButton));

    Click(*viewer, Viewer::kNextImageButton);
    EXPECT_EQ(viewer->FirstIndex(), 2);
    EXPECT_FALSE(Enabled(*viewer, Viewer::kNextImageButton));
    // A disabled step cannot be forced past the last image.
    viewer->OnCommand(Viewer::kNextImageButton);
    viewer->OnCommand(Viewer::kNextPageButton);
    EXPECT_EQ(viewer->FirstIndex(), 2);

    Click(*viewer, Viewer::kPreviousImageButton);
    EXPECT_EQ(viewer->FirstIndex(), 1);
    EXPECT_DOUBLE_EQ(ImageAt(*viewer, 1)->GetZoom(), FittedZoom(*viewer, 0));
}

TEST_F(ImgViewerTest, PatternThreeByThreeToOneAndBackShowsTheSameImagesFittedAndSelectsTileZero)
{
    auto viewer = Open(12);
    viewer->ApplyPattern(3, 3);
    Press(*viewer, CentreOf(*viewer, 4));
    Release(*viewer, CentreOf(*viewer, 4));
    ASSERT_EQ(viewer->CurrentFrame(), viewer->Frame(4));
    for (int i = 0; i < 9; ++i)
    {
        ImageAt(*viewer, i)->SetZoom(0.5);
    }

    viewer->ApplyPattern(1, 1);
    EXPECT_EQ(viewer->CurrentFrame(), viewer->Frame(0));
    EXPECT_FALSE(viewer->Frame(4)->IsSelected());
    EXPECT_FALSE(viewer->Frame(1)->isVisible());
    EXPECT_DOUBLE_EQ(ImageAt(*viewer, 0)->GetZoom(), FittedZoom(*viewer, 0));

    viewer->ApplyPattern(3, 3);
    for (int tile = 0; tile < 9; ++tile)
    {
        EXPECT_EQ(Shown(*viewer, tile), ImageAt(*viewer, tile)) << tile;
        EXPECT_DOUBLE_EQ(Shown(*viewer, tile)->GetZoom(), FittedZoom(*viewer, tile)) << tile;
        EXPECT_TRUE(viewer->Frame(tile)->isVisible()) << tile;
    }
    EXPECT_TRUE(viewer->Frame(0)->IsSelected());
    EXPECT_EQ(viewer->Frame(4)->geometry().width(), viewer->width() / 3);

    // A release outside the chooser's grid gives a zero count: nothing changes.
    viewer->ApplyPattern(0, 2);
    EXPECT_EQ(viewer->Columns(), 3);
    EXPECT_EQ(viewer->Rows(), 3);
}

TEST_F(ImgViewerTest, APressSelectsTheTileUnderItInEveryModeButNotOutsideThePage)
{
    auto viewer = Open(4);
    viewer->ApplyPattern(2, 2);
    Press(*viewer, CentreOf(*viewer, 3));
    Release(*viewer, CentreOf(*viewer, 3));
    EXPECT_EQ(viewer->CurrentFrame(), viewer->Frame(3));
    EXPECT_TRUE(viewer->Frame(3)->IsSelected());
    EXPECT_FALSE(viewer->Frame(0)->IsSelected());

    Click(*viewer, Viewer::kPanBox);
    Press(*viewer, CentreOf(*viewer, 1));
    Release(*viewer, CentreOf(*viewer, 1));
    EXPECT_EQ(viewer->CurrentFrame(), viewer->Frame(1));

    // The toolbar's strip is not the page.
    Press(*viewer, QPoint(2, 40));
    Release(*viewer, QPoint(2, 40));
    EXPECT_EQ(viewer->CurrentFrame(), viewer->Frame(1));
    EXPECT_FALSE(viewer->Dragging());
}

TEST_F(ImgViewerTest, InZoomModesAClickZoomsAboutThePointAndAOnePixelDragPans)
{
    // Large enough that a fit leaves room below the zoom limit.
    test::GreyImageOptions imageOptions;
    imageOptions.rows = 600;
    imageOptions.columns = 600;
    auto viewer = OpenImage(imageOptions);
    CImageData* image = ImageAt(*viewer, 0);
    Click(*viewer, Viewer::kZoomInBox);
    const double fitted = image->GetZoom();
    const QPoint at = CentreOf(*viewer, 0);

    Press(*viewer, at);
    EXPECT_TRUE(viewer->Dragging());
    Release(*viewer, at);
    EXPECT_DOUBLE_EQ(image->GetZoom(), fitted * 1.2);
    EXPECT_FALSE(viewer->Dragging());

    const Point before = image->GetOrigin();
    Press(*viewer, at);
    Move(*viewer, at + QPoint(1, 0));
    Release(*viewer, at + QPoint(1, 0));
    EXPECT_DOUBLE_EQ(image->GetZoom(), fitted * 1.2);
    EXPECT_EQ(image->GetOrigin(), (Point{before.x + 1, before.y}));

    Click(*viewer, Viewer::kZoomOutBox);
    Press(*viewer, at);
    Release(*viewer, at);
    EXPECT_NEAR(image->GetZoom(), fitted, 1e-12);
}

TEST_F(ImgViewerTest, APanDragFollowsTheMouseAndEndsWhenItLeavesTheTile)
{
    auto viewer = Open(2);
    viewer->ApplyPattern(2, 1);
    Click(*viewer, Viewer::kPanBox);
    CImageData* image = ImageAt(*viewer, 0);
    const Point start = image->GetOrigin();
    const QPoint at = CentreOf(*viewer, 0);

    Press(*viewer, at);
    Move(*viewer, at + QPoint(10, 5));
    Move(*viewer, at + QPoint(25, -5));
    EXPECT_EQ(image->GetOrigin(), (Point{start.x + 25, start.y - 5}));

    // Into the neighbouring tile: the drag is over, and further moves pan nothing.
    Move(*viewer, CentreOf(*viewer, 1));
    EXPECT_FALSE(viewer->Dragging());
    Move(*viewer, at);
    EXPECT_EQ(image->GetOrigin(), (Point{start.x + 25, start.y - 5}));
    EXPECT_EQ(ImageAt(*viewer, 1)->GetOrigin(), viewer->Images().GetImage(1)->GetOrigin());
}

TEST_F(ImgViewerTest, AContrastDragFollowsTheWholeDragAndIsKeptAtRelease)
{
    auto viewer = Open(1);
    Click(*viewer, Viewer::kContrastBox);
    CImageData* image = ImageAt(*viewer, 0);
    const int width = image->WindowWidth();
    const int centre = image->WindowCentre();
    const QPoint at = CentreOf(*viewer, 0);

    Press(*viewer, at);
    Move(*viewer, at + QPoint(-50, 0));
    EXPECT_EQ(image->WindowWidth(), width - 50);
    Move(*viewer, at + QPoint(-80, 0));
    EXPECT_EQ(image->WindowWidth(), width - 80);
    Release(*viewer, at + QPoint(-80, 10));
    EXPECT_EQ(image->WindowWidth(), width - 80);
    EXPECT_EQ(image->WindowCentre(), centre - 10);

    // The next drag starts from the kept window.
    Press(*viewer, at);
    Move(*viewer, at + QPoint(-20, 0));
    EXPECT_EQ(image->WindowWidth(), width - 100);
    Release(*viewer, at + QPoint(-20, 0));
    // Drags far to the left stop the width at 1, never below.
    for (int i = 0; i < 20; ++i)
    {
        Press(*viewer, at);
        Release(*viewer, at - QPoint(at.x(), 0));
    }
    EXPECT_EQ(image->WindowWidth(), 1);

    Click(*viewer, Viewer::kResetButton);
    EXPECT_EQ(image->WindowWidth(), width);
    EXPECT_EQ(image->WindowCentre(), centre);
}

TEST_F(ImgViewerTest, ExactlyOneModeBoxIsCheckedAndItsCursorIsShownOverThePage)
{
    auto viewer = Open(1);
    const std::pair<int, ViewerMode> modes[] = {{Viewer::kZoomInBox, ViewerMode::ZoomIn},
                                                {Viewer::kZoomOutBox, ViewerMode::ZoomOut},
                                                {Viewer::kPanBox, ViewerMode::Pan},
                                                {Viewer::kContrastBox, ViewerMode::Contrast},
                                                {Viewer::kSelectBox, ViewerMode::Select}};
    for (const auto& [id, mode] : modes)
    {
        Click(*viewer, id);
        // A second click on a checked mode box leaves it checked.
        Click(*viewer, id);
        EXPECT_EQ(viewer->Mode(), mode);
        for (const auto& [other, otherMode] : modes)
        {
            EXPECT_EQ(static_cast<CBitmapCheckBox*>(viewer->Control(other))->IsChecked(), other == id) << other;
        }
        const Qt::CursorShape expected = mode == ViewerMode::Select ? Qt::ArrowCursor : Qt::BitmapCursor;
        EXPECT_EQ(viewer->CurrentCursor().shape(), expected) << id;
        Mouse(*viewer, QEvent::MouseMove, CentreOf(*viewer, 0), Qt::NoButton);
        EXPECT_EQ(viewer->cursor().shape(), expected) << id;
        Mouse(*viewer, QEvent::MouseMove, QPoint(1100, 30), Qt::NoButton);
        EXPECT_EQ(viewer->cursor().shape(), Qt::ArrowCursor) << id;
    }

    Click(*viewer, Viewer::kOverlayBox);
    EXPECT_EQ(viewer->Settings().overlayVisible, 0);
    Click(*viewer, Viewer::kOverlayBox);
    EXPECT_EQ(viewer->Settings().overlayVisible, 1);
}

TEST_F(ImgViewerTest, EscapeEndButtonAndCloseEachEndTheViewerWithTheirResultAndEnterDoesNot)
{
    auto viewer = Open(1);
    QTest::keyClick(viewer.get(), Qt::Key_Return);
    QTest::keyClick(viewer.get(), Qt::Key_Enter);
    EXPECT_TRUE(viewer->isVisible());
    QTest::keyClick(viewer.get(), Qt::Key_Escape);
    EXPECT_FALSE(viewer->isVisible());
    EXPECT_EQ(viewer->result(), Viewer::kResultEscape);

    viewer = Open(1);
    Click(*viewer, Viewer::kEndButton);
    EXPECT_FALSE(viewer->isVisible());
    EXPECT_EQ(viewer->result(), Viewer::kResultEnd);

    viewer = Open(1);
    viewer->close();
    EXPECT_FALSE(viewer->isVisible());
    EXPECT_EQ(viewer->result(), Viewer::kResultClose);
}

TEST_F(ImgViewerTest, TheWindowCannotBeRestored)
{
    auto viewer = Open(1);
    viewer->setWindowState(Qt::WindowNoState);
    QCoreApplication::processEvents();
    EXPECT_TRUE(viewer->windowState() & Qt::WindowMaximized);
    EXPECT_FALSE(viewer->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(viewer->windowFlags() & Qt::WindowMinimizeButtonHint);
}

TEST_F(ImgViewerTest, FrameThicknessFromTheSettingsFileShrinksTheFit)
{
    std::ofstream(folder.Path() / "Orblane.ini") << "[ImageWindow]\r\nframethickness=5\r\n";
    auto viewer = Open(1);
    EXPECT_EQ(viewer->Settings().frameThickness, 5);
    const QRect r = viewer->Frame(0)->rect().adjusted(5, 5, -5, -5);
    EXPECT_DOUBLE_EQ(ImageAt(*viewer, 0)->GetZoom(), std::min(r.width(), r.height()) / 32.0);
}

} // namespace
} // namespace orblane
