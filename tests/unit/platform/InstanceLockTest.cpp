#include "platform/InstanceLock.h"

#include "support/CaseName.h"
#include "unit/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orblane {
namespace {

using test::TempFolder;
using Outcome = InstanceLock::Outcome;

constexpr std::string_view kName = "QelViewerApp_Mutex";

TEST(InstanceLockTest, ASecondHolderIsRefusedUntilTheFirstReleases)
{
    TempFolder folder;
    InstanceLock first;
    InstanceLock second;
    ASSERT_EQ(first.Acquire(folder.Folder(), kName), Outcome::Acquired);
    EXPECT_TRUE(first.IsHeld());
    EXPECT_EQ(second.Acquire(folder.Folder(), kName), Outcome::HeldByAnotherProcess);
    EXPECT_FALSE(second.IsHeld());
    first.Release();
    EXPECT_EQ(second.Acquire(folder.Folder(), kName), Outcome::Acquired);
}

TEST(InstanceLockTest, AKilledHolderLeavesNoStaleLock)
{
    TempFolder folder;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        InstanceLock lock;
        const char result = lock.Acquire(folder.Folder(), kName) == Outcome::Acquired ? 'y' : 'n';
        if (::write(ready[1], &result, 1) != 1)
        {
            ::_exit(1);
        }
        ::pause();
        ::_exit(0);
    }
    char result = 0;
    ASSERT_EQ(::read(ready[0], &result, 1), 1);
    ASSERT_EQ(result, 'y');
    InstanceLock mine;
    EXPECT_EQ(mine.Acquire(folder.Folder(), kName), Outcome::HeldByAnotherProcess);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(mine.Acquire(folder.Folder(), kName), Outcome::Acquired);
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST(InstanceLockTest, MakesAMissingFolderPrivateAndRefusesAnOpenOne)
{
    TempFolder folder;
    const std::string created = folder.Path("runtime");
    InstanceLock lock;
    EXPECT_EQ(lock.Acquire(created, kName), Outcome::Acquired);
    struct stat info
    {
    };
    ASSERT_EQ(::stat(created.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    lock.Release();

    const std::string open = folder.Path("open");
    ASSERT_EQ(::mkdir(open.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(open.c_str(), 0777), 0);
    EXPECT_EQ(lock.Acquire(open, kName), Outcome::NotAvailable);
    EXPECT_FALSE(lock.IsHeld());
}

// An existing lock folder and the folder above it, each given its mode exactly (chmod, not subject to the umask).
struct FolderModeCase
{
    const char* name;
    mode_t parentMode;
    mode_t folderMode;
    Outcome expected;
};

class InstanceLockFolderTest : public ::testing::TestWithParam<FolderModeCase>
{
};

TEST_P(InstanceLockFolderTest, IsTakenOnlyWhereNoOneElseMayWrite)
{
    const FolderModeCase& row = GetParam();
    TempFolder scratch;
    const std::string parent = scratch.Path("parent");
    const std::string folder = parent + "/runtime";
    ASSERT_EQ(::mkdir(parent.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(folder.c_str(), row.folderMode), 0);
    ASSERT_EQ(::chmod(parent.c_str(), row.parentMode), 0);
    InstanceLock lock;
    EXPECT_EQ(lock.Acquire(folder, kName), row.expected);
    EXPECT_EQ(lock.IsHeld(), row.expected == Outcome::Acquired);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, InstanceLockFolderTest,
    ::testing::Values(FolderModeCase{"Private0700", 0700, 0700, Outcome::Acquired},
                      FolderModeCase{"GroupWritable0720", 0700, 0720, Outcome::NotAvailable},
                      FolderModeCase{"OthersWritable0703", 0700, 0703, Outcome::NotAvailable},
                      FolderModeCase{"Open0777", 0700, 0777, Outcome::NotAvailable},
                      // Whoever may write to the folder above could rename the lock folder and put their own there.
                      FolderModeCase{"UnderGroupWritableParent0770", 0770, 0700, Outcome::NotAvailable},
                      FolderModeCase{"UnderOpenParent0777", 0777, 0700, Outcome::NotAvailable},
                      // A sticky parent (as /tmp is) lets only an entry's owner rename it.
                      FolderModeCase{"UnderStickyParent1777", 01777, 0700, Outcome::Acquired}),
    test::ByCaseName());

} // namespace
} // namespace orblane
