#include "platform/InstanceLock.h"

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

} // namespace
} // namespace orblane
