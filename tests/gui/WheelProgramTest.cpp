// The real program under a real X server with a window manager (Xvfb and openbox): Home and Return on the top study
// open the viewer, a turn of the real mouse wheel (xdotool, through the X server) pages to the next image, and
// what tile 0 shows changes; Escape goes back to the list, where a real double-click on the top row opens the viewer
// again. Skipped where Xvfb, openbox or xdotool is missing.
#include "gui/ProgramUnderX.h"
#include "gui/StudyMedium.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace orblane {
namespace {

const QString kMediumSource = QStringLiteral(ORBLANE_SOURCE_DIR "/resources/medium/");

using test::Child;
using test::WaitForLine;

TEST(WheelProgramTest, TheRealWheelPagesTheViewerToTheNextImageUnderAWindowManager)
{
    for (const char* tool : {"Xvfb", "openbox", "xdotool"})
    {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
        {
            GTEST_SKIP() << tool << " is not installed";
        }
    }
    QTemporaryDir medium;
    QTemporaryDir runtime;
    const QString viewerFolder = medium.path() + QStringLiteral("/VIEWER/");
    ASSERT_TRUE(QDir().mkpath(viewerFolder));
    ASSERT_TRUE(QFile::copy(QStringLiteral(ORBLANE_EXE_PATH), viewerFolder + QStringLiteral("Orblane")));
    for (const char* name : {"Orblane.ini", "OrblInf.ini", "Errinf.csv", "Orblane.bmp"})
    {
        ASSERT_TRUE(QFile::copy(kMediumSource + QLatin1String(name), viewerFolder + QLatin1String(name)));
    }
    test::WriteSmallMedium(medium.path().toStdString());

    // The server picks a free display and writes its number.
    Child server;
    server.process.start(QStringLiteral("Xvfb"),
                         {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                          QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                          QStringLiteral("tcp")});
    ASSERT_TRUE(server.process.waitForReadyRead(10000));
    const QString display = QStringLiteral(":") + QString::fromLatin1(server.process.readLine()).trimmed();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());

    Child windowManager;
    windowManager.process.setProcessEnvironment(environment);
    windowManager.process.start(QStringLiteral("openbox"), {});
    ASSERT_TRUE(windowManager.process.waitForStarted(10000));
    QThread::msleep(500);

    Child program;
    QProcessEnvironment programEnvironment = environment;
    programEnvironment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    programEnvironment.insert(QStringLiteral("ORBLANE_AUTOCLOSE_DIALOGS"), QStringLiteral("1"));
    programEnvironment.insert(QStringLiteral("ORBLANE_TRACE"), QStringLiteral("1"));
    // Home selects the top study (CT, two images), the row that is current already once the list has the focus,
    // and Return opens it.
    programEnvironment.insert(QStringLiteral("ORBLANE_TEST_KEYS"), QStringLiteral("Home,Return"));
    program.process.setProcessEnvironment(programEnvironment);
    program.process.setWorkingDirectory(viewerFolder);
    program.process.start(viewerFolder + QStringLiteral("Orblane"), {});
    ASSERT_TRUE(program.process.waitForStarted(10000));

    QStringList lines;
    const QRegularExpression rowPlace(QStringLiteral("^trace top row centre at (\\d+),(\\d+)"));
    ASSERT_TRUE(WaitForLine(program.process, lines, rowPlace, 30000)) << lines.join(QLatin1Char('\n')).toStdString();
    const QRegularExpressionMatch topRow = rowPlace.match(lines.last());
    const QRegularExpression page(QStringLiteral("^trace page from image (\\d+) of (\\d+), tile 0 (\\w+)"));
    ASSERT_TRUE(WaitForLine(program.process, lines, page, 30000)) << lines.join(QLatin1Char('\n')).toStdString();
    const QRegularExpressionMatch first = page.match(lines.last());
    EXPECT_EQ(first.captured(1), QStringLiteral("1"));

    // One notch down over the middle of the screen, where the viewer's single tile is.
    QProcess xdotool;
    xdotool.setProcessEnvironment(environment);
    xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QStringLiteral("640"), QStringLiteral("600"),
                                              QStringLiteral("click"), QStringLiteral("5")});
    ASSERT_TRUE(xdotool.waitForFinished(10000));
    ASSERT_TRUE(WaitForLine(program.process, lines, page, 10000)) << lines.join(QLatin1Char('\n')).toStdString();
    const QRegularExpressionMatch second = page.match(lines.last());
    EXPECT_EQ(second.captured(1), QStringLiteral("2"));
    // The tile was drawn anew: its pixels (the overlay's image number among them) differ.
    EXPECT_NE(second.captured(3), first.captured(3)) << "tile 0 shows the same pixels after the wheel";

    const auto typeEscape = [&environment] {
        QProcess key;
        key.setProcessEnvironment(environment);
        key.start(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")});
        key.waitForFinished(10000);
    };
    // Escape ends the viewer; a double-click on the top row of the list, the active window again, opens it anew.
    typeEscape();
    ASSERT_TRUE(WaitForLine(program.process, lines, QRegularExpression(QStringLiteral("^trace viewer closed")), 10000))
        << lines.join(QLatin1Char('\n')).toStdString();
    QThread::msleep(500);
    QProcess doubleClick;
    doubleClick.setProcessEnvironment(environment);
    doubleClick.start(QStringLiteral("xdotool"),
                      {QStringLiteral("getactivewindow"), QStringLiteral("mousemove"), QStringLiteral("--window"),
                       QStringLiteral("%1"), topRow.captured(1), topRow.captured(2), QStringLiteral("click"),
                       QStringLiteral("--repeat"), QStringLiteral("2"), QStringLiteral("--delay"),
                       QStringLiteral("100"), QStringLiteral("1")});
    ASSERT_TRUE(doubleClick.waitForFinished(10000));
    ASSERT_TRUE(WaitForLine(program.process, lines, page, 10000)) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(page.match(lines.last()).captured(1), QStringLiteral("1"));

    // Escape ends the viewer and then the list; the program ends cleanly.
    for (int i = 0; i < 2; ++i)
    {
        typeEscape();
        QThread::msleep(500);
    }
    EXPECT_TRUE(program.process.waitForFinished(15000));
    EXPECT_EQ(program.process.exitCode(), 0);
    lines << QString::fromUtf8(program.process.readAllStandardError()).split(QLatin1Char('\n'));
    for (const QString& line : lines)
    {
        EXPECT_FALSE(line.startsWith(QStringLiteral("error "))) << line.toStdString();
    }
}

} // namespace
} // namespace orblane
