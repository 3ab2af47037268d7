// The real viewer from start to end on a staged medium, under the offscreen platform. It is watched through its
// "trace ..." lines (ORBLANE_TRACE=1) and driven by keys typed into the study list (ORBLANE_TEST_KEYS); error
// dialogs close at once (ORBLANE_AUTOCLOSE_DIALOGS=1) and leave their "error CODE: ..." line.
#include "gui/StudyMedium.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>

namespace orblane {
namespace {

const QString kMediumSource = QStringLiteral(ORBLANE_SOURCE_DIR "/resources/medium/");

class ProgramTest : public ::testing::Test
{
protected:
    ProgramTest()
    {
        EXPECT_TRUE(QDir().mkpath(Viewer()));
        EXPECT_TRUE(QFile::copy(QStringLiteral(ORBLANE_EXE_PATH), Viewer() + QStringLiteral("Orblane")));
        for (const char* name : {"Orblane.ini", "OrblInf.ini", "Errinf.csv", "Orblane.bmp"})
        {
            EXPECT_TRUE(QFile::copy(kMediumSource + QLatin1String(name), Viewer() + QLatin1String(name)));
        }
        test::WriteSmallMedium(medium.path().toStdString());
    }
    QString Viewer() const { return medium.path() + QStringLiteral("/VIEWER/"); }

    // Runs the program to its end with these keys typed into the list, started from the viewer's folder unless
    // another current folder is given (by the path given, else by its full path); answers its stderr lines.
    QStringList Run(const QString& keys, const QString& currentFolder = {}, const QString& program = {})
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("ORBLANE_AUTOCLOSE_DIALOGS"), QStringLiteral("1"));
        environment.insert(QStringLiteral("ORBLANE_TRACE"), QStringLiteral("1"));
        environment.insert(QStringLiteral("ORBLANE_TEST_KEYS"), keys);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(currentFolder.isEmpty() ? Viewer() : currentFolder);
        process.start(program.isEmpty() ? Viewer() + QStringLiteral("Orblane") : program, {});
        EXPECT_TRUE(process.waitForStarted(10000));
        EXPECT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        return QString::fromUtf8(process.readAllStandardError()).split(QLatin1Char('\n'));
    }
    static QStringList Matching(const QStringList& lines, const QString& prefix)
    {
        QStringList found;
        for (const QString& line : lines)
        {
            if (line.startsWith(prefix))
            {
                found << line;
            }
        }
        return found;
    }

    QTemporaryDir medium;
    QTemporaryDir runtime;
};

TEST_F(ProgramTest, SplashThenTheListInStartUpOrderThenEscapeEndsWithExitCodeZero)
{
    // The arrow keys go first: they must leave nothing behind that keeps Escape from ending the run.
    const QStringList lines = Run(QStringLiteral("Down,Up,Left,Right,Escape"));
    EXPECT_TRUE(Matching(lines, QStringLiteral("error ")).isEmpty()) << lines.join(QLatin1Char('\n')).toStdString();

    const QStringList shown = Matching(lines, QStringLiteral("trace study list after "));
    ASSERT_EQ(shown.size(), 1) << lines.join(QLatin1Char('\n')).toStdString();
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("after (\\d+) ms: (\\d+) rows")).match(shown[0]);
    ASSERT_TRUE(match.hasMatch());
    EXPECT_GE(match.captured(1).toInt(), 2000);
    EXPECT_EQ(match.captured(2).toInt(), 4);

    const QStringList rows = Matching(lines, QStringLiteral("trace row "));
    ASSERT_EQ(rows.size(), 4);
    const QStringList modalities{"CT", "DX", "MR", "CR"};
    for (int row = 0; row < 4; ++row)
    {
        EXPECT_TRUE(rows[row].endsWith(QStringLiteral("| ") + modalities[row])) << rows[row].toStdString();
    }
    EXPECT_TRUE(rows[0].contains(QStringLiteral("Doe^Jane | 1001 | 1970.01.01")));
}

TEST_F(ProgramTest, TwoStudiesOpenInOneViewerThenTheVersionDialogAndBackToTheList)
{
    // Home selects the top row (CT), Ctrl+End and Ctrl+Space add the bottom one (CR); F5 does nothing but bring the
    // view start button up to date, Tab reaches it and Space presses it. Escape closes the viewer; two Tabs reach
    // the version button; Escape closes the dialog and then the list.
    const QStringList lines = Run(
        QStringLiteral("Home,ctrl+End,ctrl+space,F5,Tab,space,Wait,Escape,Wait,Tab,Tab,space,Wait,Escape,Wait,Escape"));
    EXPECT_TRUE(Matching(lines, QStringLiteral("error ")).isEmpty()) << lines.join(QLatin1Char('\n')).toStdString();
    const QStringList steps = Matching(lines, QStringLiteral("trace v"));
    ASSERT_EQ(steps.size(), 4) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(steps[0].simplified(), QStringLiteral("trace viewer opened with 3 files: CT\\A1 CT\\A2 CR\\C1"));
    EXPECT_EQ(steps[1], QStringLiteral("trace viewer closed"));
    EXPECT_EQ(steps[2], QStringLiteral("trace version dialog opened"));
    EXPECT_EQ(steps[3], QStringLiteral("trace version dialog closed"));
}

TEST_F(ProgramTest, StartedFromAnotherFolderItFindsEveryFileBesideTheExecutable)
{
    // The splash, the list, a viewer and the version dialog: each of them reads a file of the viewer's folder.
    const QTemporaryDir elsewhere;
    const QStringList lines = Run(
        QStringLiteral("Home,ctrl+End,ctrl+space,F5,Tab,space,Wait,Escape,Wait,Tab,Tab,space,Wait,Escape,Wait,Escape"),
        elsewhere.path());
    EXPECT_TRUE(Matching(lines, QStringLiteral("error ")).isEmpty()) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(Matching(lines, QStringLiteral("trace study list after ")).size(), 1);
    const QStringList steps = Matching(lines, QStringLiteral("trace v"));
    ASSERT_EQ(steps.size(), 4) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(steps[2], QStringLiteral("trace version dialog opened"));
}

TEST_F(ProgramTest, StartedByARelativePathFromAnotherFolderMissingFilesAreReportedOnceAndPagingReachesTheLastImage)
{
    // A file manager or shortcut starts the viewer with the user's folder current. The medium holds one study of
    // five files, the second and fourth of them gone: "10100" once, then the other three page to the end.
    const std::filesystem::path folder = medium.path().toStdString();
    test::BuildDicomDir(
        {test::DirPatient{
            "Far^Away",
            "3001",
            "19900101",
            "F",
            "",
            {test::DirStudy{
                "20250101", "120000", {test::DirSeries{"CT", {"ST\\S1", "ST\\S2", "ST\\S3", "ST\\S4", "ST\\S5"}}}}}}})
        .WriteTo(folder / "DICOMDIR");
    for (const char* name : {"S1", "S3", "S5"})
    {
        test::WriteTinyImage(folder / "ST" / name, static_cast<std::uint16_t>(name[1]));
    }
    const QTemporaryDir elsewhere;
    const QString relative = QDir(elsewhere.path()).relativeFilePath(Viewer() + QStringLiteral("Orblane"));
    ASSERT_TRUE(relative.startsWith(QStringLiteral("../")));
    // Home and Return open the study; PgDown four times tries to pass its end.
    const QStringList lines =
        Run(QStringLiteral("Home,Return,Wait,PgDown,PgDown,PgDown,PgDown,Wait,Escape,Wait,Escape"), elsewhere.path(),
            relative);
    const QString all = lines.join(QLatin1Char('\n'));
    const QStringList errors = Matching(lines, QStringLiteral("error "));
    ASSERT_EQ(errors.size(), 1) << all.toStdString();
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("error 10100: "))) << errors[0].toStdString();
    const QStringList pages = Matching(lines, QStringLiteral("trace page from image "));
    ASSERT_FALSE(pages.isEmpty()) << all.toStdString();
    EXPECT_TRUE(pages.last().startsWith(QStringLiteral("trace page from image 3 of 3,"))) << all.toStdString();
    EXPECT_EQ(Matching(lines, QStringLiteral("trace viewer closed")).size(), 1) << all.toStdString();
}

TEST_F(ProgramTest, AFileCutShortUnderTheViewerIsReportedOnceAndPagingGoesOnToTheLastImage)
{
    // A 20-frame file of 1024 x 1024 slices, large enough that each is filled on two threads. Once the first page
    // shows (the file mapped and walked), it is cut after its fourth frame, as a pulled stick leaves it: the frames
    // after the cut raise SIGBUS on whichever thread reads them.
    const std::filesystem::path folder = medium.path().toStdString();
    test::BuildDicomDir(
        {test::DirPatient{"Cut^Short",
                          "3002",
                          "19900101",
                          "M",
                          "",
                          {test::DirStudy{"20250101", "120000", {test::DirSeries{"CR", {"ST\\CUT"}}}}}}})
        .WriteTo(folder / "DICOMDIR");
    constexpr int kSide = 1024;
    constexpr int kFrames = 20;
    constexpr std::size_t kFrameBytes = std::size_t{kSide} * kSide * 2;
    std::vector<std::uint8_t> pixels(kFrameBytes * kFrames);
    for (std::size_t k = 0; k < pixels.size(); ++k)
    {
        pixels[k] = static_cast<std::uint8_t>(k % 2 == 0 ? k >> 11 : (k >> 19) & 0x0F);
    }
    test::DicomWriter writer;
    writer.FileMeta(test::kExplicitLittleEndian)
        .Text(0x0008, 0x0060, "CS", "CR")
        .Text(0x0010, 0x0010, "PN", "Cut^Short")
        .GreyPixelModule(kSide, kSide, 16, 12, kFrames)
        .Element(0x7FE0, 0x0010, "OW", pixels);
    const std::filesystem::path file = folder / "ST" / "CUT";
    std::filesystem::create_directories(file.parent_path());
    writer.WriteTo(file);
    const std::uintmax_t kept = std::filesystem::file_size(file) - kFrameBytes * (kFrames - 4);

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("ORBLANE_AUTOCLOSE_DIALOGS"), QStringLiteral("1"));
    environment.insert(QStringLiteral("ORBLANE_TRACE"), QStringLiteral("1"));
    environment.insert(QStringLiteral("ORBLANE_TEST_KEYS"),
                       QStringLiteral("Home,Return,Wait,Wait,Wait,Wait,PgDown,PgDown,PgDown,PgDown,PgDown,PgDown,"
                                      "PgDown,PgDown,End,Wait,Escape,Wait,Escape"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(Viewer());
    process.start(Viewer() + QStringLiteral("Orblane"), {});
    ASSERT_TRUE(process.waitForStarted(10000));
    process.setReadChannel(QProcess::StandardError);
    QString err;
    while (!err.contains(QStringLiteral("trace page from image 1 ")) && process.waitForReadyRead(20000))
    {
        err += QString::fromUtf8(process.readAllStandardError());
    }
    ASSERT_TRUE(err.contains(QStringLiteral("trace page from image 1 "))) << err.toStdString();
    std::filesystem::resize_file(file, kept);
    EXPECT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    err += QString::fromUtf8(process.readAllStandardError());
    const QStringList lines = err.split(QLatin1Char('\n'));
    const QStringList errors = Matching(lines, QStringLiteral("error "));
    ASSERT_EQ(errors.size(), 1) << err.toStdString();
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("error 10100: "))) << errors[0].toStdString();
    const QStringList pages = Matching(lines, QStringLiteral("trace page from image "));
    ASSERT_FALSE(pages.isEmpty()) << err.toStdString();
    EXPECT_TRUE(pages.last().startsWith(QStringLiteral("trace page from image 20 of 20,"))) << err.toStdString();
}

TEST_F(ProgramTest, AMediumWithLowerCaseNamesStarts)
{
    ASSERT_TRUE(
        QFile::rename(medium.path() + QStringLiteral("/DICOMDIR"), medium.path() + QStringLiteral("/dicomdir")));
    const QStringList lines = Run(QStringLiteral("Escape"));
    EXPECT_TRUE(Matching(lines, QStringLiteral("error ")).isEmpty()) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(Matching(lines, QStringLiteral("trace study list after ")).size(), 1);
}

TEST_F(ProgramTest, ADamagedDicomDirGives10103AndNoList)
{
    QFile dicomDir(medium.path() + QStringLiteral("/DICOMDIR"));
    ASSERT_TRUE(dicomDir.open(QIODevice::WriteOnly | QIODevice::Truncate));
    dicomDir.write(QByteArray(200, '\0'));
    dicomDir.close();

    const QStringList lines = Run(QStringLiteral("Escape"));
    const QStringList errors = Matching(lines, QStringLiteral("error "));
    ASSERT_EQ(errors.size(), 1) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("error 10103: "))) << errors[0].toStdString();
    EXPECT_TRUE(Matching(lines, QStringLiteral("trace study list")).isEmpty());
}

} // namespace
} // namespace orblane
