#include "platform/ChildProcess.h"

#include "platform/MappedReadGuard.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace orblane::platform {
namespace {

using namespace std::chrono_literals;

struct ChildCase
{
    const char* name;
    void (*work)(std::uint8_t* shared);
    ChildEnd end;
    std::uint8_t shared; // what the parent reads from the scratch afterwards
};

class ChildProcessTest : public ::testing::TestWithParam<ChildCase>
{
};

// Whatever the child does, the parent goes on; only what it wrote to the scratch before it ended comes back.
TEST_P(ChildProcessTest, EndsOnlyTheChild)
{
    const ChildCase& c = GetParam();
    // A guard of the parent is in place (as around every read of a mapping): a fault in the child must not resume
    // in it as if it were the parent.
    SharedScratch scratch(1);
    ASSERT_EQ(scratch.Bytes().size(), 1u);
    ChildEnd end = ChildEnd::Unavailable;
    const MappedRead read =
        GuardMappedRead(scratch.Bytes(), [&] { end = RunInChild([&] { c.work(scratch.Bytes().data()); }, 1s); });
    EXPECT_EQ(read, MappedRead::Completed);
    EXPECT_EQ(end, c.end);
    EXPECT_EQ(scratch.Bytes()[0], c.shared);
}

INSTANTIATE_TEST_SUITE_P(Ends, ChildProcessTest,
                         ::testing::Values(ChildCase{"Returns", [](std::uint8_t* shared) { *shared = 7; },
                                                     ChildEnd::Finished, 7},
                                           ChildCase{"Aborts",
                                                     [](std::uint8_t* shared) {
                                                         *shared = 1;
                                                         std::abort();
                                                     },
                                                     ChildEnd::Failed, 1},
                                           ChildCase{"FaultsLikeADamagedDisc",
                                                     [](std::uint8_t* shared) {
                                                         *shared = 2;
                                                         std::raise(SIGBUS);
                                                     },
                                                     ChildEnd::Failed, 2},
                                           ChildCase{"HangsAndIsKilled",
                                                     [](std::uint8_t* shared) {
                                                         *shared = 3;
                                                         std::this_thread::sleep_for(60s);
                                                     },
                                                     ChildEnd::Failed, 3}),
                         test::ByCaseName{});

#if defined(__linux__)
// A hung child whose parent is killed while it waits goes with it, rather than spin on with nobody to end it.
TEST(ChildProcessOrphanTest, EndsWhenItsParentEnds)
{
    SharedScratch scratch(sizeof(pid_t));
    ASSERT_EQ(scratch.Bytes().size(), sizeof(pid_t));
    auto* hung = reinterpret_cast<volatile pid_t*>(scratch.Bytes().data());
    *hung = 0;
    const pid_t parent = ::fork();
    ASSERT_GE(parent, 0);
    if (parent == 0)
    {
        RunInChild(
            [hung]() noexcept {
                *hung = ::getpid();
                for (;;)
                {
                }
            },
            std::chrono::minutes(5));
        ::_exit(0);
    }
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (*hung == 0 && std::chrono::steady_clock::now() < deadline)
    {
        std::this_thread::sleep_for(1ms);
    }
    const pid_t child = *hung;
    ::kill(parent, SIGKILL);
    ::waitpid(parent, nullptr, 0);
    ASSERT_NE(child, 0);
    // Gone, or a zombie nobody has reaped yet: either way no longer running.
    bool running = true;
    while (running && std::chrono::steady_clock::now() < deadline)
    {
        std::ifstream stat("/proc/" + std::to_string(child) + "/stat");
        std::string pid, name, state;
        running = static_cast<bool>(stat >> pid >> name >> state) && state != "Z" && state != "X";
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_FALSE(running);
}
#endif

#if defined(__linux__)
void WritePid(std::span<std::uint8_t> shared) noexcept
{
    const pid_t self = ::getpid();
    std::memcpy(shared.data(), &self, sizeof self);
}

pid_t PidIn(const ChildWorker& worker)
{
    pid_t pid = 0;
    std::memcpy(&pid, worker.Shared().data(), sizeof pid);
    return pid;
}

// One child serves one piece of work after another until it fails or is retired; then the next Run starts another,
// and nothing of the failure reaches the caller but Failed.
TEST(ChildWorkerTest, KeepsItsChildUntilItFails)
{
    ChildWorker worker(64);
    ASSERT_EQ(worker.Run(&WritePid, 1s), ChildEnd::Finished);
    const pid_t first = PidIn(worker);
    EXPECT_NE(first, ::getpid());
    ASSERT_EQ(worker.Run(&WritePid, 1s), ChildEnd::Finished);
    EXPECT_EQ(PidIn(worker), first);
    EXPECT_EQ(worker.Served(), 2u);

    EXPECT_EQ(worker.Run([](std::span<std::uint8_t>) noexcept { std::abort(); }, 1s), ChildEnd::Failed);
    ASSERT_EQ(worker.Run(&WritePid, 1s), ChildEnd::Finished);
    const pid_t second = PidIn(worker);
    EXPECT_NE(second, first);
    EXPECT_EQ(worker.Served(), 1u) << "a new child counts afresh";

    EXPECT_EQ(worker.Run([](std::span<std::uint8_t>) noexcept { std::this_thread::sleep_for(60s); }, 200ms),
              ChildEnd::Failed);
    ASSERT_EQ(worker.Run(&WritePid, 1s), ChildEnd::Finished);
    const pid_t third = PidIn(worker);
    EXPECT_NE(third, second);

    worker.Retire();
    ASSERT_EQ(worker.Run(&WritePid, 1s), ChildEnd::Finished);
    EXPECT_NE(PidIn(worker), third);
}

TEST(ChildWorkerTest, EachThreadTakesAWorkerOfItsOwn)
{
    ChildWorkers workers(2, 64);
    ChildWorkers::Lease one = workers.TryTake();
    ChildWorkers::Lease two = workers.TryTake();
    ASSERT_TRUE(one && two);
    ASSERT_EQ(one->Run(&WritePid, 1s), ChildEnd::Finished);
    ASSERT_EQ(two->Run(&WritePid, 1s), ChildEnd::Finished);
    EXPECT_NE(PidIn(*one), PidIn(*two));
    EXPECT_FALSE(workers.TryTake());
}
#endif

} // namespace
} // namespace orblane::platform
