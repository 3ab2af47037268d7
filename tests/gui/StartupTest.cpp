// Runs the real viewer on staged media folders under the offscreen platform, with every error dialog closing at
// once (ORBLANE_AUTOCLOSE_DIALOGS=1); each raised error also leaves one "error CODE: ..." line on standard error.
#include "support/CaseName.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QString kMediumSource = QStringLiteral(ORBLANE_SOURCE_DIR "/resources/medium/");
const QString kDicomDir = QStringLiteral(ORBLANE_TEST_DATA_DIR "/dicomdirtests/DICOMDIR");

template <typename Predicate> bool WaitUntil(Predicate predicate, int milliseconds = 20000)
{
    const QDeadlineTimer deadline(milliseconds);
    while (!predicate())
    {
        if (deadline.hasExpired())
        {
            return false;
        }
        QThread::msleep(20);
    }
    return true;
}

class StartupTest : public ::testing::Test
{
protected:
    // VIEWER/ with the executable and its files, the DICOMDIR one level up; `omit` names files left out.
    void Stage(const QStringList& omit = {})
    {
        ASSERT_TRUE(QDir().mkpath(Viewer()));
        ASSERT_TRUE(QFile::copy(QStringLiteral(ORBLANE_EXE_PATH), Viewer() + QStringLiteral("Orblane")));
        for (const char* name : {"Orblane.ini", "OrblInf.ini", "Errinf.csv", "Orblane.bmp"})
        {
            if (!omit.contains(QLatin1String(name)))
            {
                ASSERT_TRUE(QFile::copy(kMediumSource + QLatin1String(name), Viewer() + QLatin1String(name)));
            }
        }
        if (!omit.contains(QStringLiteral("DICOMDIR")))
        {
            ASSERT_TRUE(QFile::copy(kDicomDir, medium.path() + QStringLiteral("/DICOMDIR")));
        }
    }
    void WriteFile(const QString& name, const QByteArray& content)
    {
        QFile file(Viewer() + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    QString Viewer() const { return medium.path() + QStringLiteral("/VIEWER/"); }

    std::unique_ptr<QProcess> Start(const QStringList& arguments = {})
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("ORBLANE_AUTOCLOSE_DIALOGS"), QStringLiteral("1"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(Viewer());
        process->start(Viewer() + QStringLiteral("Orblane"), arguments);
        EXPECT_TRUE(process->waitForStarted(10000));
        return process;
    }

    // The error lines the run left on standard error, after it ended on its own with exit code 0.
    QStringList Finish(QProcess& process)
    {
        EXPECT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        QStringList errors;
        for (const QString& line : QString::fromUtf8(process.readAllStandardError()).split(QLatin1Char('\n')))
        {
            if (line.startsWith(QStringLiteral("error ")))
            {
                errors << line;
            }
        }
        return errors;
    }

    // True while some process holds the single-instance lock.
    bool LockHeld() const
    {
        const QByteArray path = (runtime.path() + QStringLiteral("/QelViewerApp_Mutex.lock")).toLocal8Bit();
        const int fd = ::open(path.constData(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
        {
            return false;
        }
        const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        ::close(fd);
        return held;
    }

    QTemporaryDir medium;
    QTemporaryDir runtime;
};

struct MediumCase
{
    const char* name;
    QStringList omit;
    const char* settings; // replaces Orblane.ini when set
    const char* code;
};

class StartupCheckTest : public StartupTest, public ::testing::WithParamInterface<MediumCase>
{
};

TEST_P(StartupCheckTest, AnIncompleteMediumGivesOneErrorWithTheFirstFailedCode)
{
    const MediumCase& row = GetParam();
    Stage(row.omit);
    if (row.settings != nullptr)
    {
        WriteFile(QStringLiteral("Orblane.ini"), row.settings);
    }
    auto process = Start();
    const QStringList errors = Finish(*process);
    ASSERT_EQ(errors.size(), 1) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("error %1: ").arg(QLatin1String(row.code))))
        << errors[0].toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Media, StartupCheckTest,
    ::testing::Values(MediumCase{"CatalogueMissingIsReportedFirst",
                                 {"Errinf.csv", "Orblane.ini", "OrblInf.ini", "Orblane.bmp", "DICOMDIR"},
                                 nullptr,
                                 "10101"},
                      MediumCase{"BothSettingsFilesMissing",
                                 {"Orblane.ini", "OrblInf.ini", "Orblane.bmp", "DICOMDIR"},
                                 nullptr,
                                 "10000"},
                      MediumCase{"InfoSettingsMissing", {"OrblInf.ini"}, nullptr, "10000"},
                      MediumCase{"BitmapAndDicomDirMissing", {"Orblane.bmp", "DICOMDIR"}, nullptr, "10001"},
                      MediumCase{"DicomDirMissing", {"DICOMDIR"}, nullptr, "10103"},
                      MediumCase{"PathWithoutSeparator", {}, "[DICOMDIRInformation]\r\npath=DATA\r\n", "10103"}),
    orblane::test::ByCaseName());

TEST_F(StartupTest, ACatalogueSavedAsUtf8GivesTheFallbackAndEnds)
{
    Stage({"Errinf.csv"});
    WriteFile(QStringLiteral("Errinf.csv"), "\"10000\",\"Settings missing\",\"Copy them\"\r\n");
    auto process = Start();
    const QStringList errors = Finish(*process);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0], QStringLiteral("error 10101: The error message file cannot be read"));
}

TEST_F(StartupTest, ASecondInstanceEndsSilentlyWhileTheFirstRuns)
{
    Stage();
    auto first = Start();
    ASSERT_TRUE(WaitUntil([&] { return LockHeld(); }));

    auto second = Start();
    EXPECT_TRUE(Finish(*second).isEmpty());

    EXPECT_EQ(first->state(), QProcess::Running);
    first->terminate();
    ASSERT_TRUE(first->waitForFinished(10000));
    EXPECT_FALSE(QString::fromUtf8(first->readAllStandardError()).contains(QStringLiteral("error ")));
    EXPECT_FALSE(LockHeld());
}

struct SignalCase
{
    int signalNumber;
    const char* number;
    const char* name;
};

class FatalSignalTest : public StartupTest, public ::testing::WithParamInterface<SignalCase>
{
};

TEST_P(FatalSignalTest, IsReportedAs11002WithTheExceptionCodeAndEndsWithExitCodeZero)
{
    Stage();
    auto process = Start();
    ASSERT_TRUE(WaitUntil([&] { return LockHeld(); }));
    ::kill(static_cast<pid_t>(process->processId()), GetParam().signalNumber);
    const QStringList errors = Finish(*process);
    ASSERT_EQ(errors.size(), 1) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("error 11002: "))) << errors[0].toStdString();
    EXPECT_TRUE(errors[0].endsWith(QStringLiteral("(%1)").arg(QLatin1String(GetParam().number))))
        << errors[0].toStdString();
    EXPECT_FALSE(LockHeld());
}

INSTANTIATE_TEST_SUITE_P(Signals, FatalSignalTest,
                         ::testing::Values(SignalCase{SIGSEGV, "3221225477", "SIGSEGV"},
                                           SignalCase{SIGBUS, "3221225478", "SIGBUS"},
                                           SignalCase{SIGILL, "3221225501", "SIGILL"},
                                           SignalCase{SIGFPE, "3221225620", "SIGFPE"}),
                         orblane::test::ByCaseName());

} // namespace
