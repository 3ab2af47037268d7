// Toolbar controls driven by real mouse and key events: what a click changes, what it tells the parent and when,
// and which picture each state shows.
#include "widgets/CBitmapButton.h"
#include "widgets/CBitmapCheckBox.h"
#include "widgets/Pictures.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace orblane;

namespace {

QImage Shown(QWidget& widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage Picture(const QString& name)
{
    return LoadBitmapResource(name).toImage().convertToFormat(QImage::Format_RGB32);
}

class BitmapControlsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        window->resize(400, 100);
        other = new QWidget(window.get());
        other->setFocusPolicy(Qt::StrongFocus);
        other->setGeometry(300, 4, 20, 20);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    CBitmapCheckBox* MakeBox(const QString& name, int id, bool toggles)
    {
        auto* box = new CBitmapCheckBox;
        EXPECT_TRUE(box->Create(QRect(4, 4, 64, 64), window.get(), id, toggles));
        EXPECT_TRUE(box->LoadBitmaps(name));
        return box;
    }

    CBitmapButton* MakeButton(const QString& name, int id)
    {
        auto* button = new CBitmapButton;
        EXPECT_TRUE(button->Create(name, QRect(72, 4, 64, 64), window.get(), id, true));
        EXPECT_TRUE(button->LoadBitmaps());
        return button;
    }

    std::unique_ptr<QWidget> window;
    QWidget* other = nullptr;
};

TEST_F(BitmapControlsTest, ClickOnCheckedRadioLikeBoxChangesNothingAndPostsNothing)
{
    CBitmapCheckBox* select = MakeBox("SELECT", 1009, false);
    select->Check();
    QSignalSpy commands(select, &CBitmapCheckBox::Command);

    QTest::mouseClick(select, Qt::LeftButton);
    QApplication::processEvents();

    EXPECT_TRUE(select->IsChecked());
    EXPECT_EQ(commands.count(), 0);
}

TEST_F(BitmapControlsTest, ClickOnModeBoxChecksItThenPostsItsIdAfterTheClick)
{
    CBitmapCheckBox* pan = MakeBox("MODEPAN", 1007, false);
    std::vector<std::pair<int, bool>> handled;
    QObject::connect(pan, &CBitmapCheckBox::Command, [&](int id) { handled.emplace_back(id, pan->IsChecked()); });

    QTest::mouseClick(pan, Qt::LeftButton);
    EXPECT_TRUE(pan->IsChecked());
    EXPECT_TRUE(handled.empty()) << "the command must be posted, not sent during the click";
    EXPECT_EQ(Shown(*pan), Picture("MODEPAND")) << "the box shows its new state before the command runs";

    QApplication::processEvents();
    ASSERT_EQ(handled.size(), 1u);
    EXPECT_EQ(handled[0], std::make_pair(1007, true));

    // Once checked, a radio-like box stays checked; only the parent unchecks it, silently.
    QTest::mouseClick(pan, Qt::LeftButton);
    pan->Uncheck();
    QApplication::processEvents();
    EXPECT_FALSE(pan->IsChecked());
    EXPECT_EQ(handled.size(), 1u);
}

TEST_F(BitmapControlsTest, TogglingBoxFlipsAndPostsOnEveryClick)
{
    CBitmapCheckBox* info = MakeBox("IMGINFO", 1017, true);
    info->Check();
    std::vector<std::pair<int, bool>> handled;
    QObject::connect(info, &CBitmapCheckBox::Command, [&](int id) { handled.emplace_back(id, info->IsChecked()); });

    QTest::mouseClick(info, Qt::LeftButton);
    QApplication::processEvents();
    QTest::mouseClick(info, Qt::LeftButton);
    QApplication::processEvents();

    const std::vector<std::pair<int, bool>> expected{{1017, false}, {1017, true}};
    EXPECT_EQ(handled, expected);
}

TEST_F(BitmapControlsTest, FastDoubleClickOnTogglingBoxCountsAsTwoClicks)
{
    CBitmapCheckBox* info = MakeBox("IMGINFO", 1017, true);
    QSignalSpy commands(info, &CBitmapCheckBox::Command);
    const QPoint at(32, 32);
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                                    QEvent::MouseButtonRelease})
    {
        const bool down = type != QEvent::MouseButtonRelease;
        QMouseEvent event(type, QPointF(at), QPointF(info->mapToGlobal(at)), Qt::LeftButton,
                          down ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(info, &event);
    }
    QApplication::processEvents();
    EXPECT_FALSE(info->IsChecked());
    EXPECT_EQ(commands.count(), 2);
}

TEST_F(BitmapControlsTest, CheckAndUncheckPostNothing)
{
    CBitmapCheckBox* zoom = MakeBox("ZOOMIN", 1005, false);
    QSignalSpy commands(zoom, &CBitmapCheckBox::Command);
    zoom->Check();
    EXPECT_TRUE(zoom->IsChecked());
    zoom->Uncheck();
    EXPECT_FALSE(zoom->IsChecked());
    QApplication::processEvents();
    EXPECT_EQ(commands.count(), 0);
}

TEST_F(BitmapControlsTest, SpaceOnFocusedBoxClicksIt)
{
    CBitmapCheckBox* contrast = MakeBox("MODECONT", 1008, false);
    QSignalSpy commands(contrast, &CBitmapCheckBox::Command);
    contrast->setFocus();
    QTest::keyClick(contrast, Qt::Key_Space);
    QApplication::processEvents();
    EXPECT_TRUE(contrast->IsChecked());
    ASSERT_EQ(commands.count(), 1);
    EXPECT_EQ(commands.at(0).at(0).toInt(), 1008);
}

struct BoxStateRow
{
    bool checked;
    bool focused;
    bool enabled;
    const char* suffix;
};

TEST_F(BitmapControlsTest, BoxShowsThePictureOfItsState)
{
    const BoxStateRow rows[] = {
        {false, false, true, "U"}, {false, true, true, "F"},   {true, false, true, "D"},
        {true, true, true, "D"},   {false, false, false, "X"}, {true, false, false, "D"},
    };
    for (const BoxStateRow& row : rows)
    {
        CBitmapCheckBox* box = MakeBox("ZOOMOUT", 1006, false);
        if (row.checked)
        {
            box->Check();
        }
        box->setEnabled(row.enabled);
        if (row.focused)
        {
            box->setFocus();
            ASSERT_TRUE(box->hasFocus());
        }
        else
        {
            other->setFocus();
        }
        EXPECT_EQ(Shown(*box), Picture(QStringLiteral("ZOOMOUT") + QLatin1String(row.suffix)))
            << "checked " << row.checked << " focused " << row.focused << " enabled " << row.enabled;
        delete box;
    }
}

TEST_F(BitmapControlsTest, BoxWithoutPicturesReportsTheFailureAndStillWorks)
{
    auto* box = new CBitmapCheckBox;
    ASSERT_TRUE(box->Create(QRect(4, 4, 64, 64), window.get(), 1005, false));
    EXPECT_FALSE(box->LoadBitmaps("NOSUCHNAME"));
    QSignalSpy commands(box, &CBitmapCheckBox::Command);
    QTest::mouseClick(box, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(box->IsChecked());
    EXPECT_EQ(commands.count(), 1);
}

TEST_F(BitmapControlsTest, ButtonSendsItsIdDuringTheClick)
{
    CBitmapButton* next = MakeButton("NEXTIMG", 1013);
    QSignalSpy commands(next, &CBitmapButton::Command);
    QTest::mouseClick(next, Qt::LeftButton);
    ASSERT_EQ(commands.count(), 1);
    EXPECT_EQ(commands.at(0).at(0).toInt(), 1013);

    next->setEnabled(false);
    QTest::mouseClick(next, Qt::LeftButton);
    EXPECT_EQ(commands.count(), 1) << "a disabled button takes no click";
}

TEST_F(BitmapControlsTest, ButtonShowsPressedThenFocusedThenDisabledThenNormal)
{
    CBitmapButton* save = MakeButton("SAVEIMG", 1093);
    other->setFocus();
    EXPECT_EQ(Shown(*save), Picture("SAVEIMGU"));

    QTest::mousePress(save, Qt::LeftButton);
    EXPECT_EQ(Shown(*save), Picture("SAVEIMGD"));
    QTest::mouseRelease(save, Qt::LeftButton);
    ASSERT_TRUE(save->hasFocus());
    EXPECT_EQ(Shown(*save), Picture("SAVEIMGF"));

    save->setEnabled(false);
    EXPECT_EQ(Shown(*save), Picture("SAVEIMGX"));
    save->setEnabled(true);
    other->setFocus();
    EXPECT_EQ(Shown(*save), Picture("SAVEIMGU"));
}

TEST_F(BitmapControlsTest, ButtonFallsBackToNormalPictureForRolesNotLoaded)
{
    auto* button = new CBitmapButton;
    ASSERT_TRUE(button->Create("RESET", QRect(72, 4, 64, 64), window.get(), 1011, true));
    EXPECT_TRUE(button->LoadBitmaps("RESETU"));
    EXPECT_FALSE(button->LoadBitmaps("RESETU", "NOSUCHD"));
    button->setFocus();
    EXPECT_EQ(Shown(*button), Picture("RESETU"));
    button->setEnabled(false);
    EXPECT_EQ(Shown(*button), Picture("RESETU"));
}

} // namespace
