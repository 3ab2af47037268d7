// The real viewer started with paths on its command line, under the offscreen platform and watched through its
// "trace ..." lines: a folder without a DICOMDIR is scanned into the study list, a file goes straight to the viewer,
// and a path with nothing to show ends the run as a missing DICOMDIR does.
#include "gui/StudyMedium.h"
#include "support/CaseName.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace orblane {
namespace {

const QString kMediumSource = QStringLiteral(ORBLANE_SOURCE_DIR "/resources/medium/");

// A 2 x 2 greyscale image of the given study, series and instance.
void WriteStudyImage(const std::filesystem::path& path, const char* patient, const char* study, const char* series,
                     const char* seriesNumber, const char* instanceNumber)
{
    std::filesystem::create_directories(path.parent_path());
    const std::vector<std::uint8_t> pixels{1, 0, 2, 0, 3, 0, 4, 0};
    test::DicomWriter writer;
    writer.FileMeta(test::kExplicitLittleEndian)
        .Text(0x0008, 0x0020, "DA", "20240105")
        .Text(0x0008, 0x0060, "CS", "OT")
        .Text(0x0010, 0x0010, "PN", patient)
        .Text(0x0020, 0x000D, "UI", study)
        .Text(0x0020, 0x000E, "UI", series)
        .Text(0x0020, 0x0011, "IS", seriesNumber)
        .Text(0x0020, 0x0013, "IS", instanceNumber)
        .UInt16(0x0028, 0x0002, 1)
        .Text(0x0028, 0x0004, "CS", "MONOCHROME2")
        .UInt16(0x0028, 0x0010, 2)
        .UInt16(0x0028, 0x0011, 2)
        .UInt16(0x0028, 0x0100, 16)
        .UInt16(0x0028, 0x0101, 12)
        .UInt16(0x0028, 0x0102, 11)
        .UInt16(0x0028, 0x0103, 0)
        .Element(0x7FE0, 0x0010, "OW", pixels);
    writer.WriteTo(path);
}

class OpenPathsTest : public ::testing::Test
{
protected:
    OpenPathsTest()
    {
        EXPECT_TRUE(QDir().mkpath(Viewer()));
        EXPECT_TRUE(QFile::copy(QStringLiteral(ORBLANE_EXE_PATH), Viewer() + QStringLiteral("Orblane")));
        for (const char* name : {"Orblane.ini", "OrblInf.ini", "Errinf.csv", "Orblane.bmp"})
        {
            EXPECT_TRUE(QFile::copy(kMediumSource + QLatin1String(name), Viewer() + QLatin1String(name)));
        }
        // Two studies, no DICOMDIR; Doe's series 2 is named first and its instance 10 sorts after instance 9.
        const std::filesystem::path images = Images().toStdString();
        WriteStudyImage(images / "a/s2.dcm", "Doe^Jane", "1.2.9.1", "1.2.9.1.2", "2", "1");
        WriteStudyImage(images / "b/i10.dcm", "Doe^Jane", "1.2.9.1", "1.2.9.1.1", "1", "10");
        WriteStudyImage(images / "b/i9.dcm", "Doe^Jane", "1.2.9.1", "1.2.9.1.1", "1", "9");
        WriteStudyImage(images / "roe.dcm", "Roe^Rich", "1.2.9.2", "1.2.9.2.1", "1", "1");
        EXPECT_TRUE(QDir().mkpath(medium.path() + QStringLiteral("/empty")));
    }
    QString Viewer() const { return medium.path() + QStringLiteral("/VIEWER/"); }
    QString Images() const { return medium.path() + QStringLiteral("/images"); }

    // Runs the program to its end with these arguments and keys; answers its stderr lines.
    QStringList Run(const QStringList& arguments, const QString& keys, const QString& program = {})
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("ORBLANE_AUTOCLOSE_DIALOGS"), QStringLiteral("1"));
        environment.insert(QStringLiteral("ORBLANE_TRACE"), QStringLiteral("1"));
        environment.insert(QStringLiteral("ORBLANE_TEST_KEYS"), keys);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(Viewer());
        process.start(program.isEmpty() ? Viewer() + QStringLiteral("Orblane") : program, arguments);
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

TEST_F(OpenPathsTest, AFolderWithoutDicomDirIsScannedIntoTheListAndAStudyOpensInSeriesAndInstanceOrder)
{
    // End then Home select the top row; F5 brings the view start button up to date, Tab reaches it and Space presses
    // it.
    const QStringList lines = Run({Images()}, QStringLiteral("End,Home,F5,Tab,space,Wait,Escape,Wait,Escape"));
    const QString all = lines.join(QLatin1Char('\n'));
    EXPECT_TRUE(Matching(lines, QStringLiteral("error ")).isEmpty()) << all.toStdString();
    const QStringList shown = Matching(lines, QStringLiteral("trace study list after "));
    ASSERT_EQ(shown.size(), 1) << all.toStdString();
    EXPECT_TRUE(shown[0].endsWith(QStringLiteral(": 2 rows"))) << shown[0].toStdString();
    QStringList rows = Matching(lines, QStringLiteral("trace row "));
    ASSERT_EQ(rows.size(), 2);
    // Both studies share a date-time, so which one the sort leaves on top is the sort's business; find Doe's.
    const int doe = rows[0].contains(QStringLiteral("Doe^Jane")) ? 0 : 1;
    EXPECT_TRUE(rows[1 - doe].contains(QStringLiteral("Roe^Rich"))) << all.toStdString();
    const QStringList opened = Matching(lines, QStringLiteral("trace viewer opened"));
    ASSERT_EQ(opened.size(), 1) << all.toStdString();
    EXPECT_EQ(opened[0].simplified(),
              doe == 0 ? QStringLiteral("trace viewer opened with 3 files: b/i9.dcm b/i10.dcm a/s2.dcm")
                       : QStringLiteral("trace viewer opened with 1 files: roe.dcm"));
}

TEST_F(OpenPathsTest, AFileOpensInTheViewerWithoutTheList)
{
    const QStringList lines = Run({Images() + QStringLiteral("/roe.dcm")}, QStringLiteral("Escape"));
    const QString all = lines.join(QLatin1Char('\n'));
    EXPECT_TRUE(Matching(lines, QStringLiteral("error ")).isEmpty()) << all.toStdString();
    EXPECT_TRUE(Matching(lines, QStringLiteral("trace study list")).isEmpty()) << all.toStdString();
    const QStringList opened = Matching(lines, QStringLiteral("trace viewer opened"));
    ASSERT_EQ(opened.size(), 1) << all.toStdString();
    EXPECT_EQ(opened[0].simplified(), QStringLiteral("trace viewer opened with 1 files: roe.dcm"));
    EXPECT_EQ(Matching(lines, QStringLiteral("trace viewer closed")).size(), 1);
}

TEST_F(OpenPathsTest, StartedThroughTheLoaderTheViewerFindsItsFilesBesideItself)
{
    // As from a medium whose files carry no execute bit: the loader runs the program, named relative to the
    // working folder (the viewer's own).
    const QStringList lines = Run({QStringLiteral("./Orblane"), Images()}, QStringLiteral("Escape"),
                                  QStringLiteral("/lib64/ld-linux-x86-64.so.2"));
    const QString all = lines.join(QLatin1Char('\n'));
    EXPECT_TRUE(Matching(lines, QStringLiteral("error ")).isEmpty()) << all.toStdString();
    EXPECT_EQ(Matching(lines, QStringLiteral("trace study list after ")).size(), 1) << all.toStdString();
}

struct NothingCase
{
    const char* name;
    const char* path; // below the temporary folder
};

class OpenNothingTest : public OpenPathsTest, public ::testing::WithParamInterface<NothingCase>
{
};

TEST_P(OpenNothingTest, GivesTheMissingDicomDirErrorAndNoList)
{
    const QStringList lines =
        Run({medium.path() + QLatin1Char('/') + QLatin1String(GetParam().path)}, QStringLiteral("Escape"));
    const QStringList errors = Matching(lines, QStringLiteral("error "));
    ASSERT_EQ(errors.size(), 1) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("error 10103: "))) << errors[0].toStdString();
    EXPECT_TRUE(Matching(lines, QStringLiteral("trace study list after")).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Paths, OpenNothingTest,
                         ::testing::Values(NothingCase{"PathThatDoesNotExist", "nowhere"},
                                           NothingCase{"FolderWithoutImages", "empty"},
                                           NothingCase{"FileThatIsNotDicom", "VIEWER/Orblane.ini"}),
                         test::ByCaseName());

} // namespace
} // namespace orblane
