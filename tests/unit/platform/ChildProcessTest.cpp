#include "platform/ChildProcess.h"

#include "platform/MappedReadGuard.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

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

} // namespace
} // namespace orblane::platform
