// The layout chooser driven by mouse and key events, including positions outside the pop-up that only a captured
// mouse delivers.
#include "viewer/CDlgPictPattern.h"
#include "widgets/DialogUnits.h"
#include "widgets/Pictures.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace orblane;

namespace {

int CellId(int row, int column)
{
    return CDlgPictPattern::kFirstCellId + 6 * row + column;
}

class PictPatternTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dialog.SetPosition(QPoint(40, 30));
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }

    void TearDown() override
    {
        if (dialog.isVisible())
        {
            dialog.done(CDlgPictPattern::kResultCancel);
        }
    }

    // Straight to the pop-up, as a captured mouse delivers them: positions may lie outside it.
    void Move(QPoint to)
    {
        QMouseEvent event(QEvent::MouseMove, QPointF(to), QPointF(dialog.mapToGlobal(to)), Qt::NoButton, Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(&dialog, &event);
    }

    void Button(QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::LeftButton)
    {
        const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
        QMouseEvent event(type, QPointF(at), QPointF(dialog.mapToGlobal(at)), button, held, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &event);
    }

    QPoint CellCentre(int row, int column) const { return dialog.CellRect(CellId(row, column)).center(); }

    // The cells showing the inside picture must be exactly the columns x rows block at the top-left.
    void ExpectBlock(int columns, int rows)
    {
        for (int row = 0; row < 6; ++row)
        {
            for (int column = 0; column < 6; ++column)
            {
                const int expected =
                    row < rows && column < columns ? CDlgPictPattern::kInsidePicture : CDlgPictPattern::kOutsidePicture;
                EXPECT_EQ(dialog.CellPicture(CellId(row, column)), expected) << "row " << row << " column " << column;
            }
        }
    }

    void ExpectEndedWith(int result, int columns, int rows)
    {
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), result);
        EXPECT_EQ(dialog.GetChoice().columns, columns);
        EXPECT_EQ(dialog.GetChoice().rows, rows);
    }

    CDlgPictPattern dialog;
};

TEST_F(PictPatternTest, OpensAtItsPositionWithEveryCellOutsideTheBlock)
{
    EXPECT_EQ(dialog.pos(), QPoint(40, 30));
    ExpectBlock(0, 0);
}

TEST_F(PictPatternTest, StaysWhollyOnTheScreenNearItsEdge)
{
    dialog.hide();
    const QRect area = dialog.screen()->availableGeometry();
    dialog.SetPosition(area.bottomRight() - QPoint(10, 10));
    dialog.show();
    EXPECT_TRUE(area.contains(dialog.frameGeometry())) << "every cell must stay reachable";
}

TEST_F(PictPatternTest, ReleaseWithoutMovementPicksOneByOne)
{
    Button(QEvent::MouseButtonPress, CellCentre(4, 4));
    EXPECT_TRUE(dialog.isVisible()) << "a press has no effect of its own";
    Button(QEvent::MouseButtonRelease, CellCentre(4, 4));
    ExpectEndedWith(CDlgPictPattern::kResultOk, 1, 1);
}

TEST_F(PictPatternTest, CellInRowTwoColumnFourPicksFiveColumnsThreeRows)
{
    Move(CellCentre(2, 4));
    ExpectBlock(5, 3);
    Button(QEvent::MouseButtonRelease, CellCentre(2, 4));
    ExpectEndedWith(CDlgPictPattern::kResultOk, 5, 3);
}

TEST_F(PictPatternTest, BlockFollowsTheMouseBackAndForth)
{
    Move(CellCentre(5, 5));
    ExpectBlock(6, 6);
    Move(CellCentre(0, 1));
    ExpectBlock(2, 1);
    EXPECT_EQ(dialog.GetChoice().columns, 2);
    EXPECT_EQ(dialog.GetChoice().rows, 1);
}

TEST_F(PictPatternTest, BelowTheLastRowInsideThePopUpPicksSixRows)
{
    const QPoint below(CellCentre(5, 2).x(), dialog.height() - 2);
    ASSERT_GT(below.y(), dialog.CellRect(CellId(5, 2)).bottom());
    Move(below);
    ExpectBlock(3, 6);
    Button(QEvent::MouseButtonRelease, below);
    ExpectEndedWith(CDlgPictPattern::kResultOk, 3, 6);
}

TEST_F(PictPatternTest, BeyondTheRightEdgeNothingIsChosen)
{
    Move(CellCentre(3, 3));
    const QPoint outside(dialog.width() + 25, CellCentre(1, 0).y());
    Move(outside);
    ExpectBlock(0, 0);
    Button(QEvent::MouseButtonRelease, outside);
    ExpectEndedWith(CDlgPictPattern::kResultOk, 0, 0);
}

TEST_F(PictPatternTest, LeftOfOrAboveTheFirstCellNothingIsChosen)
{
    const QRect first = dialog.CellRect(CellId(0, 0));
    for (const QPoint point : {QPoint(first.left() - 1, CellCentre(3, 0).y()), QPoint(CellCentre(0, 3).x(), 0),
                               QPoint(-40, -40), QPoint(-5, CellCentre(2, 2).y())})
    {
        Move(CellCentre(2, 2));
        Move(point);
        ExpectBlock(0, 0);
        EXPECT_EQ(dialog.GetChoice().columns, 0);
        EXPECT_EQ(dialog.GetChoice().rows, 0);
    }
}

TEST_F(PictPatternTest, PressOutsideDoesNotCloseAndReleaseAnywhereEndsWithOk)
{
    Move(CellCentre(1, 2));
    const QPoint outside(dialog.width() + 200, dialog.height() + 200);
    Button(QEvent::MouseButtonPress, outside);
    EXPECT_TRUE(dialog.isVisible());
    // The press has no effect of its own: the choice is still the one of the last move.
    Button(QEvent::MouseButtonRelease, outside);
    ExpectEndedWith(CDlgPictPattern::kResultOk, 3, 2);
}

TEST_F(PictPatternTest, PressOutsideThroughTheWindowSystemKeepsThePopUpOpen)
{
    // Routed like platform events, so the application's pop-up handling sees them too.
    QWindow* window = dialog.windowHandle();
    QTest::mouseMove(window, CellCentre(2, 4) + QPoint(1, 1));
    EXPECT_EQ(dialog.GetChoice().columns, 5);
    EXPECT_EQ(dialog.GetChoice().rows, 3);
    const QPoint outside(-30, dialog.height() + 40);
    QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, outside);
    EXPECT_TRUE(dialog.isVisible());
    QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, outside);
    ExpectEndedWith(CDlgPictPattern::kResultOk, 0, 0);
}

TEST_F(PictPatternTest, OtherButtonsDoNotEndIt)
{
    Button(QEvent::MouseButtonPress, CellCentre(1, 1), Qt::RightButton);
    Button(QEvent::MouseButtonRelease, CellCentre(1, 1), Qt::RightButton);
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(PictPatternTest, EnterEndsWithOkAndTheCurrentChoice)
{
    Move(CellCentre(1, 1));
    QTest::keyClick(&dialog, Qt::Key_Return);
    ExpectEndedWith(CDlgPictPattern::kResultOk, 2, 2);
}

TEST_F(PictPatternTest, EnterOnTheKeypadEndsWithOkToo)
{
    QTest::keyClick(&dialog, Qt::Key_Enter);
    ExpectEndedWith(CDlgPictPattern::kResultOk, 1, 1);
}

TEST_F(PictPatternTest, EscapeAndCloseCancel)
{
    Move(CellCentre(3, 3));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), CDlgPictPattern::kResultCancel);

    dialog.show();
    dialog.close();
    EXPECT_EQ(dialog.result(), CDlgPictPattern::kResultCancel);
}

TEST_F(PictPatternTest, RunningModallyAnswersOneForOkAndTwoForCancel)
{
    dialog.hide();
    QTimer::singleShot(0, &dialog, [this] { QTest::keyClick(&dialog, Qt::Key_Escape); });
    EXPECT_EQ(dialog.exec(), 2);
    QTimer::singleShot(0, &dialog, [this] {
        Move(CellCentre(0, 2));
        Button(QEvent::MouseButtonRelease, CellCentre(0, 2));
    });
    EXPECT_EQ(dialog.exec(), 1);
    EXPECT_EQ(dialog.GetChoice().columns, 3);
    EXPECT_EQ(dialog.GetChoice().rows, 1);
}

TEST_F(PictPatternTest, CellsPaintThePictureOfTheirState)
{
    Move(CellCentre(0, 0));
    const QImage shown = dialog.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage inside = LoadBitmapResource("110").toImage().convertToFormat(QImage::Format_RGB32);
    const QImage outside = LoadBitmapResource("109").toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_NE(inside.pixel(24, 24), outside.pixel(24, 24));
    const QPoint first = CellCentre(0, 0);
    const QPoint second = CellCentre(0, 1);
    EXPECT_EQ(shown.pixel(first), inside.pixel(24, 24));
    EXPECT_EQ(shown.pixel(second), outside.pixel(24, 24));
}

TEST_F(PictPatternTest, CellsLieInRowMajorOrderWithinThePopUp)
{
    const QRect popUp = dialog.rect();
    for (int row = 0; row < 6; ++row)
    {
        for (int column = 0; column < 6; ++column)
        {
            const QRect cell = dialog.CellRect(CellId(row, column));
            EXPECT_TRUE(popUp.contains(cell)) << row << "," << column;
            EXPECT_EQ(cell.size(), dialog.CellRect(CellId(0, 0)).size());
            if (column > 0)
            {
                EXPECT_GT(cell.left(), dialog.CellRect(CellId(row, column - 1)).right());
                EXPECT_EQ(cell.top(), dialog.CellRect(CellId(row, column - 1)).top());
            }
            if (row > 0)
            {
                EXPECT_GT(cell.top(), dialog.CellRect(CellId(row - 1, column)).bottom());
            }
        }
    }
    EXPECT_FALSE(dialog.CellRect(CDlgPictPattern::kFirstCellId - 1).isValid());
    EXPECT_FALSE(dialog.CellRect(CDlgPictPattern::kFirstCellId + 36).isValid());
}

TEST(DialogUnitsTest, ScalesByQuarterWidthAndEighthHeightRoundingToNearest)
{
    // The classic 8-point dialog font: 6 x 13 base units.
    const DialogBaseUnits classic{6, 13};
    EXPECT_EQ(DialogRectToPixels(QRect(0, 0, 168, 146), classic).size(), QSize(252, 237));
    // 23 x 6 / 4 = 34.5 rounds up; 18 x 13 / 8 = 29.25 rounds down.
    EXPECT_EQ(DialogRectToPixels(QRect(138, 118, 23, 18), classic), QRect(207, 192, 35, 29));
    EXPECT_EQ(DialogUnitsToPixelsX(-7, classic), -11);
}

TEST(DialogUnitsTest, BaseUnitsComeFromTheFontAndGrowWithIt)
{
    QFont small = DialogTemplateFont();
    QFont large = small;
    large.setPointSize(small.pointSize() * 2);
    const DialogBaseUnits a = BaseUnitsOf(small);
    const DialogBaseUnits b = BaseUnitsOf(large);
    EXPECT_GT(a.x, 0);
    EXPECT_GT(a.y, a.x);
    EXPECT_GT(b.x, a.x);
    EXPECT_GT(b.y, a.y);
}

} // namespace
