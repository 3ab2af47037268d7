// A small window with the toolbar laid out as the viewer lays it out, every picture in every state, and the layout
// chooser opened below its button. The test checks what the toolbar shows; with ORBLANE_SCREENSHOT=<file.png> it
// also saves the whole screen (run it under a real X server to see the pop-up too), and with
// ORBLANE_GALLERY=interactive it stays open for trying the controls by hand.
#include "viewer/CDlgPictPattern.h"
#include "widgets/CBitmapButton.h"
#include "widgets/CBitmapCheckBox.h"
#include "widgets/Pictures.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <map>
#include <memory>

using namespace orblane;

namespace {

struct ToolbarEntry
{
    const char* name;
    int x;
    int id;
    enum Kind
    {
        kModeBox,
        kToggleBox,
        kButton
    } kind;
};

// Positions and ids as the viewer's toolbar uses them.
const ToolbarEntry kToolbar[] = {
    {"ZOOMIN", 4, 1005, ToolbarEntry::kModeBox},     {"ZOOMOUT", 72, 1006, ToolbarEntry::kModeBox},
    {"MODEPAN", 140, 1007, ToolbarEntry::kModeBox},  {"MODECONT", 208, 1008, ToolbarEntry::kModeBox},
    {"SELECT", 276, 1009, ToolbarEntry::kModeBox},   {"IMGFIT", 350, 1010, ToolbarEntry::kButton},
    {"RESET", 419, 1011, ToolbarEntry::kButton},     {"BEFOREIMG", 492, 1012, ToolbarEntry::kButton},
    {"NEXTIMG", 560, 1013, ToolbarEntry::kButton},   {"BEFOREPAGE", 628, 1014, ToolbarEntry::kButton},
    {"NEXTPAGE", 696, 1015, ToolbarEntry::kButton},  {"SAVEIMG", 770, 1093, ToolbarEntry::kButton},
    {"CHGIMGPTN", 838, 1016, ToolbarEntry::kButton}, {"IMGINFO", 912, 1017, ToolbarEntry::kToggleBox},
    {"VIEWEND", 980, 1018, ToolbarEntry::kButton},
};

const char* const kAllFaces[] = {"ZOOMIN",  "ZOOMOUT",   "MODEPAN",   "MODECONT", "SELECT",     "IMGINFO",
                                 "IMGFIT",  "RESET",     "BEFOREIMG", "NEXTIMG",  "BEFOREPAGE", "NEXTPAGE",
                                 "SAVEIMG", "CHGIMGPTN", "VIEWEND",   "VWSTART",  "VERINFO",    "EXIT"};

class Gallery : public QWidget
{
public:
    Gallery()
    {
        setWindowTitle(QStringLiteral("Orblane controls"));
        setWindowIcon(LoadApplicationIcon());
        setAutoFillBackground(true);
        QPalette black = palette();
        black.setColor(QPalette::Window, Qt::black);
        black.setColor(QPalette::WindowText, QColor(200, 204, 210));
        setPalette(black);
        setFixedSize(1240, 680);

        for (const ToolbarEntry& entry : kToolbar)
        {
            const QRect rect(entry.x, 4, 64, 64);
            if (entry.kind == ToolbarEntry::kButton)
            {
                auto* button = new CBitmapButton;
                button->Create(entry.name, rect, this, entry.id, true);
                button->LoadBitmaps();
                connect(button, &CBitmapButton::Command, this, [this](int id) { OnCommand(id); });
                buttons[entry.id] = button;
            }
            else
            {
                auto* box = new CBitmapCheckBox;
                box->Create(rect, this, entry.id, entry.kind == ToolbarEntry::kToggleBox);
                box->LoadBitmaps(entry.name);
                connect(box, &CBitmapCheckBox::Command, this, [this](int id) { OnCommand(id); });
                boxes[entry.id] = box;
            }
        }
        boxes[1009]->Check();
        boxes[1017]->Check();
        buttons[1012]->setEnabled(false);
        buttons[1014]->setEnabled(false);

        // Every face in its four states, one row per state.
        int column = 0;
        for (const char* name : kAllFaces)
        {
            int row = 0;
            for (const char* state : {"U", "D", "F", "X"})
            {
                auto* face = new QLabel(this);
                face->setPixmap(LoadBitmapResource(QString::fromLatin1(name) + QLatin1String(state)));
                face->setGeometry(4 + column * 68, 96 + row * 68, 64, 64);
                ++row;
            }
            ++column;
        }

        int x = 4;
        for (const char* cell : {"109", "110"})
        {
            auto* label = new QLabel(this);
            label->setPixmap(LoadBitmapResource(cell));
            label->setGeometry(x, 380, 48, 48);
            x += 52;
        }
        x += 20;
        for (const int id : {124, 125, 126, 127, 128})
        {
            for (const QColor& background : {QColor(Qt::black), QColor(150, 150, 150)})
            {
                auto* label = new QLabel(this);
                label->setAutoFillBackground(true);
                QPalette swatch = label->palette();
                swatch.setColor(QPalette::Window, background);
                label->setPalette(swatch);
                label->setPixmap(LoadCursorResource(id).pixmap());
                label->setGeometry(x, background == Qt::black ? 380 : 416, 32, 32);
            }
            x += 40;
        }
        x += 20;
        for (const int size : {256, 64, 32, 16})
        {
            auto* label = new QLabel(this);
            label->setPixmap(LoadApplicationIcon().pixmap(size, size));
            label->setGeometry(x, 380, size, size);
            x += size + 12;
        }
        status = new QLabel(this);
        status->setGeometry(4, 650, 600, 24);
    }

    std::map<int, CBitmapCheckBox*> boxes;
    std::map<int, CBitmapButton*> buttons;
    QLabel* status = nullptr;

private:
    void OnCommand(int id)
    {
        // Just enough of the viewer's behaviour to try the controls by hand.
        if (id >= 1005 && id <= 1009)
        {
            for (auto& [other, box] : boxes)
            {
                if (other != id && other != 1017)
                {
                    box->Uncheck();
                }
            }
        }
        if (id == 1016)
        {
            CDlgPictPattern chooser;
            const QRect button = buttons[1016]->geometry();
            chooser.SetPosition(mapToGlobal(QPoint(button.left(), button.bottom() + 1)));
            const int result = chooser.exec();
            status->setText(QStringLiteral("chooser: result %1, %2 x %3")
                                .arg(result)
                                .arg(chooser.GetChoice().columns)
                                .arg(chooser.GetChoice().rows));
            return;
        }
        if (id == 1018)
        {
            close();
        }
        status->setText(QStringLiteral("command %1").arg(id));
    }
};

QImage Rgb(const QImage& image)
{
    return image.convertToFormat(QImage::Format_RGB32);
}

TEST(ControlsGalleryTest, ToolbarShowsEachControlsStatePicture)
{
    Gallery gallery;
    gallery.show();
    gallery.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&gallery));
    gallery.buttons[1013]->setFocus();

    std::map<int, QString> expected;
    for (const ToolbarEntry& entry : kToolbar)
    {
        expected[entry.id] = QString::fromLatin1(entry.name) + QLatin1Char('U');
    }
    expected[1009] = "SELECTD";
    expected[1017] = "IMGINFOD";
    expected[1012] = "BEFOREIMGX";
    expected[1014] = "BEFOREPAGEX";
    if (gallery.buttons[1013]->hasFocus())
    {
        expected[1013] = "NEXTIMGF";
    }

    const QImage window = Rgb(gallery.grab().toImage());
    for (const ToolbarEntry& entry : kToolbar)
    {
        const QImage shown = window.copy(entry.x, 4, 64, 64);
        EXPECT_EQ(shown, Rgb(LoadBitmapResource(expected[entry.id]).toImage())) << entry.name;
    }

    // A pattern change as the viewer does it: the chooser opens below its button, the mouse picks 4 x 3.
    CDlgPictPattern chooser;
    const QRect button = gallery.buttons[1016]->geometry();
    chooser.SetPosition(gallery.mapToGlobal(QPoint(button.left(), button.bottom() + 1)));
    chooser.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chooser));
    const QPoint over = chooser.CellRect(CDlgPictPattern::kFirstCellId + 6 * 2 + 3).center();
    QMouseEvent move(QEvent::MouseMove, QPointF(over), QPointF(chooser.mapToGlobal(over)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&chooser, &move);
    EXPECT_EQ(chooser.GetChoice().columns, 4);
    EXPECT_EQ(chooser.GetChoice().rows, 3);

    const QByteArray screenshot = qgetenv("ORBLANE_SCREENSHOT");
    if (!screenshot.isEmpty())
    {
        QTest::qWait(300);
        QScreen* screen = gallery.screen();
        const QPixmap shot = screen->grabWindow(0);
        const QPixmap used = shot.isNull() || QGuiApplication::platformName() == QLatin1String("offscreen")
                                 ? gallery.grab()
                                 : shot.copy(gallery.frameGeometry());
        EXPECT_TRUE(used.save(QString::fromLocal8Bit(screenshot)));
    }
    chooser.done(CDlgPictPattern::kResultCancel);

    if (qgetenv("ORBLANE_GALLERY") == "interactive")
    {
        gallery.show();
        QEventLoop loop;
        QObject::connect(qApp, &QApplication::lastWindowClosed, &loop, &QEventLoop::quit);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (!gallery.isVisible())
            {
                loop.quit();
            }
        });
        poll.start(200);
        loop.exec();
    }
}

} // namespace
