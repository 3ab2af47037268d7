#include "app/CQelViewerDlg.h"
#include "app/CSplashWnd.h"
#include "core/ApplicationState.h"
#include "gui/StudyMedium.h"
#include "platform/ErrorSink.h"
#include "platform/ModulePath.h"
#include "studylist/CDicomListDlg.h"
#include "support/ScratchFolder.h"
#include "widgets/CAboutDlg.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace orblane {
namespace {

using test::ScratchFolder;

std::vector<std::pair<std::string, std::uint32_t>> raised;

void RecordError(std::string_view code, std::uint32_t number, bool /*exitAfter*/)
{
    raised.emplace_back(std::string(code), number);
}

// The launch bitmap is looked for beside the executable, here the test program's own folder, which every test
// process shares: a test that writes or removes it there holds an exclusive lock on that folder's lock file for
// its whole run. The current directory is a scratch folder without a bitmap, so a bitmap found there would be
// wrong. Errors are recorded instead of shown.
class LaunchBitmapTest : public ::testing::Test
{
protected:
    LaunchBitmapTest() : previousFolder(QDir::currentPath())
    {
        const std::string lockPath = GetModuleFolder() + "Orblane.bmp.lock";
        bitmapLock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        EXPECT_GE(bitmapLock, 0);
        while (bitmapLock >= 0 && ::flock(bitmapLock, LOCK_EX) != 0 && errno == EINTR)
        {
        }
        QFile::remove(Folder() + QStringLiteral("/Orblane.bmp"));
        raised.clear();
        previousHandler = SetErrorHandler(&RecordError);
        QDir::setCurrent(QString::fromStdString(scratch.Path().native()));
        AppState().splashRelease = 1;
    }
    ~LaunchBitmapTest() override
    {
        CSplashWnd::HideSplash();
        QApplication::processEvents();
        QDir::setCurrent(previousFolder);
        SetErrorHandler(previousHandler);
        AppState().splashRelease = 1;
        QFile::remove(Folder() + QStringLiteral("/Orblane.bmp"));
        if (bitmapLock >= 0)
        {
            ::close(bitmapLock);
        }
    }
    // The executable's folder, where the bitmap goes.
    static QString Folder() { return QString::fromStdString(GetModuleFolder()).chopped(1); }
    std::string InfoPath() const { return (scratch.Path() / "OrblInf.ini").native(); }
    static QRect WorkArea() { return QGuiApplication::primaryScreen()->availableGeometry(); }

    ScratchFolder scratch;
    int bitmapLock = -1;
    QString previousFolder;
    ErrorHandler previousHandler = nullptr;
};

TEST(AboutPlacementTest, CentresBitmapAndButtonBandOnTheWorkAreaByTruncatingDivision)
{
    EXPECT_EQ(CAboutDlg::WindowRect(QRect(0, 0, 1920, 1040), QSize(640, 480)), QRect(640, 280, 640, 540));
    EXPECT_EQ(CAboutDlg::WindowRect(QRect(0, 0, 1921, 1041), QSize(640, 480)), QRect(640, 280, 640, 540));
    // A work area that starts right of a side panel: the centre follows its right edge, as the placement rule has.
    EXPECT_EQ(CAboutDlg::WindowRect(QRect(100, 0, 1820, 1040), QSize(640, 480)), QRect(640, 280, 640, 540));
}

TEST_F(LaunchBitmapTest, AboutButtonStandsBelowThePictureWithTheConfiguredCaptionAndFont)
{
    ASSERT_TRUE(test::WriteLaunchBitmap(Folder(), 640, 480));
    std::ofstream(InfoPath()) << "[OK]\r\nagree=Close\r\nfonttype=DejaVu Sans\r\nfontsize=12.9\r\n";
    CAboutDlg about(nullptr, InfoPath());
    ASSERT_TRUE(about.OnInitDialog());
    EXPECT_EQ(about.OkButton().geometry(), QRect(220, 485, 200, 50));
    EXPECT_EQ(about.OkButton().text(), QStringLiteral("Close"));
    EXPECT_EQ(about.OkButton().font().pointSize(), 12);
    EXPECT_EQ(about.geometry(), CAboutDlg::WindowRect(WorkArea(), QSize(640, 480)));

    // Shown, it stays there and closes with its button.
    QTimer::singleShot(0, [&] {
        EXPECT_EQ(about.geometry(), CAboutDlg::WindowRect(WorkArea(), QSize(640, 480)));
        QTest::mouseClick(&about.OkButton(), Qt::LeftButton);
    });
    EXPECT_EQ(about.exec(), QDialog::Accepted);
    EXPECT_TRUE(raised.empty());
}

TEST_F(LaunchBitmapTest, AboutWithANarrowBitmapAndEmptySettingsKeepsOkAndLetsTheButtonReachLeft)
{
    ASSERT_TRUE(test::WriteLaunchBitmap(Folder(), 150, 100));
    std::ofstream(InfoPath()) << "[OK]\r\nagree=\r\n";
    CAboutDlg about(nullptr, InfoPath());
    ASSERT_TRUE(about.OnInitDialog());
    EXPECT_EQ(about.OkButton().geometry(), QRect(-25, 105, 200, 50));
    EXPECT_EQ(about.OkButton().text(), QStringLiteral("OK"));
    EXPECT_EQ(about.OkButton().font().pointSize(), 9);
    QTimer::singleShot(0, [&] { QTest::keyClick(&about, Qt::Key_Escape); });
    EXPECT_EQ(about.exec(), QDialog::Rejected);
}

TEST_F(LaunchBitmapTest, AboutWithoutItsBitmapRaises10001WithTheOpenFailureAndDoesNotShow)
{
    CAboutDlg about(nullptr, InfoPath());
    EXPECT_EQ(about.exec(), QDialog::Rejected);
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised[0].first, "10001");
    EXPECT_EQ(raised[0].second, 2u); // no such file
    EXPECT_FALSE(about.isVisible());
}

// Receives the splash's "time over" event and notes when it came.
class Owner : public QObject
{
public:
    bool event(QEvent* event) override
    {
        if (event->type() == kSplashElapsedEvent)
        {
            ++received;
            atMilliseconds = clock.elapsed();
            return true;
        }
        return QObject::event(event);
    }
    QElapsedTimer clock;
    int received = 0;
    qint64 atMilliseconds = -1;
};

TEST_F(LaunchBitmapTest, SplashShowsTheBitmapCentredForTwoSecondsThatInputDoesNotShorten)
{
    ASSERT_TRUE(test::WriteLaunchBitmap(Folder(), 320, 200));
    Owner owner;
    owner.clock.start();
    ASSERT_EQ(CSplashWnd::ShowSplash(&owner), 1);
    CSplashWnd* splash = CSplashWnd::Current();
    ASSERT_NE(splash, nullptr);
    EXPECT_EQ(splash->size(), QSize(320, 200));
    EXPECT_EQ(splash->geometry().center(), WorkArea().center());
    EXPECT_TRUE(splash->windowFlags().testFlag(Qt::FramelessWindowHint));
    // Only one at a time.
    EXPECT_EQ(CSplashWnd::ShowSplash(&owner), 0);

    QTest::mouseClick(splash, Qt::LeftButton);
    QTest::keyClick(splash, Qt::Key_Escape);
    QTest::qWait(300);
    EXPECT_EQ(CSplashWnd::Current(), splash);
    EXPECT_TRUE(splash->isVisible());

    ASSERT_TRUE(QTest::qWaitFor([&] { return owner.received > 0; }, 10000));
    EXPECT_GE(owner.atMilliseconds, CSplashWnd::kDisplayMilliseconds);
    EXPECT_EQ(CSplashWnd::Current(), nullptr);
    QTest::qWait(50);
    EXPECT_EQ(owner.received, 1);
}

TEST_F(LaunchBitmapTest, SplashHeldByTheReadingStaysAfterItsTimeAndStillTellsTheOwner)
{
    ASSERT_TRUE(test::WriteLaunchBitmap(Folder(), 100, 100));
    Owner owner;
    owner.clock.start();
    ASSERT_EQ(CSplashWnd::ShowSplash(&owner), 1);
    AppState().splashRelease = 0;
    ASSERT_TRUE(QTest::qWaitFor([&] { return owner.received > 0; }, 10000));
    EXPECT_NE(CSplashWnd::Current(), nullptr);
    CSplashWnd::HideSplash();
    EXPECT_EQ(CSplashWnd::Current(), nullptr);
    // While held, no new splash may start.
    EXPECT_EQ(CSplashWnd::ShowSplash(&owner), 0);
}

TEST_F(LaunchBitmapTest, SplashWithoutItsBitmapRaises10001AndIsNotShown)
{
    Owner owner;
    EXPECT_EQ(CSplashWnd::ShowSplash(&owner), 0);
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised[0].first, "10001");
    EXPECT_EQ(CSplashWnd::Current(), nullptr);
}

// The host, in this process, on a medium in a scratch folder.
class HostTest : public LaunchBitmapTest
{
protected:
    HostTest()
    {
        test::WriteLaunchBitmap(Folder(), 200, 120);
        std::filesystem::create_directories(medium.Path());
    }
    ScratchFolder medium;
};

TEST_F(HostTest, TheListFollowsTheSplashTimeAndItsEndEndsTheHost)
{
    test::WriteSmallMedium(medium.Path());
    CQelViewerDlg host(nullptr, medium.FolderText());
    QElapsedTimer clock;
    clock.start();
    qint64 listAt = -1;
    int rows = -1;
    bool splashGoneWithList = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* list = qobject_cast<CDicomListDlg*>(QApplication::activeModalWidget()); list && listAt < 0)
        {
            listAt = clock.elapsed();
            rows = list->List().RowCount();
            splashGoneWithList = CSplashWnd::Current() == nullptr;
            EXPECT_TRUE(host.DirLoaded());
            EXPECT_TRUE(host.SplashElapsed());
            QTest::keyClick(&list->List(), Qt::Key_Escape);
        }
    });
    poll.start();
    EXPECT_EQ(host.exec(), 1);
    EXPECT_GE(listAt, CSplashWnd::kDisplayMilliseconds);
    EXPECT_EQ(rows, 4);
    EXPECT_TRUE(splashGoneWithList);
    EXPECT_FALSE(host.isVisible());
    EXPECT_TRUE(raised.empty());
}

TEST_F(HostTest, ADamagedDicomDirGives10103AndNoList)
{
    std::ofstream(medium.Path() / "DICOMDIR") << "not a DICOMDIR at all";
    CQelViewerDlg host(nullptr, medium.FolderText());
    bool listSeen = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        listSeen = listSeen || qobject_cast<CDicomListDlg*>(QApplication::activeModalWidget()) != nullptr;
    });
    poll.start();
    EXPECT_EQ(host.exec(), 1);
    QTest::qWait(100);
    EXPECT_FALSE(listSeen);
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised[0].first, "10103");
    EXPECT_EQ(CSplashWnd::Current(), nullptr);
}

TEST_F(HostTest, WithoutALaunchBitmapTheHostEndsAtOnce)
{
    QFile::remove(Folder() + QStringLiteral("/Orblane.bmp"));
    test::WriteSmallMedium(medium.Path());
    CQelViewerDlg host(nullptr, medium.FolderText());
    EXPECT_EQ(host.exec(), 1);
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised[0].first, "10001");
}

} // namespace
} // namespace orblane
