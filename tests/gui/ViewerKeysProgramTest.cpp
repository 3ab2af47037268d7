// The real program on the demo medium under Xvfb and openbox, keys typed through the X server: in the viewer of
// the follow-up CT (its images, a PDF, a structured report and key images), D offers the reports and opens one in a
// window of its own, S hides and shows the series strip, X turns the reference lines off and on, and Y answers
// that there are no tiles of their own series to link. Skipped where Xvfb, openbox or xdotool is missing.
#include "gui/ProgramUnderX.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>

namespace orblane {
namespace {

const QString kMediumSource = QStringLiteral(ORBLANE_SOURCE_DIR "/resources/medium/");
const std::filesystem::path kDemoMedium = ORBLANE_DEMO_MEDIUM_DIR;

class ViewerKeysProgramTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const QString missing = test::MissingXTool(); !missing.isEmpty())
        {
            GTEST_SKIP() << missing.toStdString() << " is not installed";
        }
        // The demo medium's images, linked rather than copied (a link is a name of the same file, so the medium's
        // rule against IDs that lead outside it still holds), and the program beside them as on the disc.
        const std::filesystem::path root = medium.path().toStdString();
        for (const char* name : {"DICOMDIR", "DICOM"})
        {
            std::error_code linked;
            std::filesystem::copy(
                kDemoMedium / name, root / name,
                std::filesystem::copy_options::recursive | std::filesystem::copy_options::create_hard_links, linked);
            if (linked)
            {
                std::filesystem::copy(kDemoMedium / name, root / name, std::filesystem::copy_options::recursive);
            }
        }
        viewerFolder = medium.path() + QStringLiteral("/VIEWER/");
        ASSERT_TRUE(QDir().mkpath(viewerFolder));
        ASSERT_TRUE(QFile::copy(QStringLiteral(ORBLANE_EXE_PATH), viewerFolder + QStringLiteral("Orblane")));
        for (const char* name : {"Orblane.ini", "OrblInf.ini", "Errinf.csv", "Orblane.bmp"})
        {
            ASSERT_TRUE(QFile::copy(kMediumSource + QLatin1String(name), viewerFolder + QLatin1String(name)));
        }
        ASSERT_TRUE(run.StartDesktop());
        ASSERT_TRUE(run.StartProgram(viewerFolder));
        OpenFollowUp();
    }

    void TearDown() override
    {
        if (IsSkipped() || run.program.process.state() == QProcess::NotRunning)
        {
            return;
        }
        // Escape ends what is open, then the list; the program ends cleanly and said nothing of errors.
        for (int i = 0; i < 4 && !run.program.process.waitForFinished(700); ++i)
        {
            run.Key(QStringLiteral("Escape"));
        }
        // (Once finished, waitForFinished answers false: the state tells.)
        run.program.process.waitForFinished(15000);
        EXPECT_EQ(run.program.process.state(), QProcess::NotRunning);
        EXPECT_EQ(run.program.process.exitCode(), 0);
        run.lines
            << (run.pending + QString::fromUtf8(run.program.process.readAllStandardError())).split(QLatin1Char('\n'));
        for (const QString& line : run.lines)
        {
            EXPECT_FALSE(line.startsWith(QStringLiteral("error "))) << line.toStdString();
        }
    }

    // The follow-up CT's row, found by the list's trace, reached with Home and Down and opened with Return.
    void OpenFollowUp()
    {
        ASSERT_TRUE(run.WaitFor(QStringLiteral("^trace study list after \\d+ ms: (\\d+) rows"), 30000)) << Log();
        const int rows = run.match.captured(1).toInt();
        int followUp = -1;
        for (int row = 0; row < rows; ++row)
        {
            ASSERT_TRUE(run.WaitFor(QStringLiteral("^trace row (\\d+): (.*)"))) << Log();
            const QString texts = run.match.captured(2);
            // The later of her two CT studies (2025; the first is of 2024), whatever the date's form.
            if (texts.contains(QStringLiteral("M\u00FCller^Anna")) && texts.contains(QStringLiteral("2025")))
            {
                followUp = run.match.captured(1).toInt();
            }
        }
        ASSERT_GE(followUp, 0) << Log();
        QThread::msleep(500);
        run.Key(QStringLiteral("Home"));
        for (int i = 0; i < followUp; ++i)
        {
            run.Key(QStringLiteral("Down"));
        }
        const QString list = run.Xdotool({QStringLiteral("getactivewindow")});
        run.Key(QStringLiteral("Return"));
        ASSERT_TRUE(run.WaitFor(QStringLiteral("^trace viewer opened with (\\d+) files"), 30000)) << Log();
        ASSERT_TRUE(run.WaitFor(QStringLiteral("^trace page from image 1 "), 30000)) << Log();
        // The keys go to the focused window: on a loaded machine the window manager may take a while to hand the
        // focus from the study list to the viewer (both bear the same title), so the tests wait for that first.
        for (int i = 0; i < 40 && run.Xdotool({QStringLiteral("getactivewindow")}) == list; ++i)
        {
            QThread::msleep(250);
        }
    }

    std::string Log() const { return run.Log().toStdString(); }

    QTemporaryDir medium;
    QString viewerFolder;
    test::ProgramUnderX run;
};

TEST_F(ViewerKeysProgramTest, DOffersTheStudysReportsAndOpensTheChosenOneInItsWindow)
{
    run.Key(QStringLiteral("d"));
    // Three reports: a menu, its first (the PDF) chosen with Return.
    QThread::msleep(500);
    run.Key(QStringLiteral("Return"));
    ASSERT_TRUE(run.WaitFor(QStringLiteral("^trace report opened: (.*)"))) << Log();
    EXPECT_EQ(run.match.captured(1).trimmed(), QStringLiteral("DICOM\\PAT00001\\STU00002\\SER00002\\IMG00001"));
    QString title;
    for (int i = 0; i < 20 && !title.startsWith(QStringLiteral("CT Chest")); ++i)
    {
        QThread::msleep(250);
        title = run.ActiveWindowName();
    }
    // The desktop adds the program's name after the window's own title.
    EXPECT_TRUE(title.startsWith(QStringLiteral("CT Chest Follow-up Report - M\u00FCller^Anna")))
        << title.toStdString();
    run.Key(QStringLiteral("Escape"));
    ASSERT_TRUE(run.WaitFor(QStringLiteral("^trace report closed"))) << Log();
}

TEST_F(ViewerKeysProgramTest, SHidesAndShowsTheSeriesStrip)
{
    run.Key(QStringLiteral("s"));
    EXPECT_TRUE(run.WaitFor(QStringLiteral("^trace series strip hidden"))) << Log();
    run.Key(QStringLiteral("s"));
    EXPECT_TRUE(run.WaitFor(QStringLiteral("^trace series strip shown"))) << Log();
}

TEST_F(ViewerKeysProgramTest, XTurnsTheReferenceLinesOffAndOn)
{
    run.Key(QStringLiteral("x"));
    EXPECT_TRUE(run.WaitFor(QStringLiteral("^trace reference lines off"))) << Log();
    run.Key(QStringLiteral("x"));
    EXPECT_TRUE(run.WaitFor(QStringLiteral("^trace reference lines on"))) << Log();
}

TEST_F(ViewerKeysProgramTest, YLinksNothingWhileNoTileHoldsASeriesOfItsOwn)
{
    run.Key(QStringLiteral("y"));
    EXPECT_TRUE(run.WaitFor(QStringLiteral("^trace tiles unlinked"))) << Log();
}

} // namespace
} // namespace orblane
