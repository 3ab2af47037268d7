#include "platform/ThreadObject.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace orblane {
namespace {

std::atomic<int> destroyed{0};

struct Counted
{
    int value = 7;
    Counted() = default;
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;
    ~Counted() { destroyed.fetch_add(value); }
};

// Each thread has its own object, kept across calls and destroyed (intact) once its thread has ended.
TEST(ThreadObjectTest, EachThreadKeepsItsOwnObjectUntilItEnds)
{
    destroyed = 0;
    Counted* const ours = &platform::ThreadObject<Counted>();
    std::thread worker([ours] {
        Counted& mine = platform::ThreadObject<Counted>();
        EXPECT_NE(&mine, ours);
        EXPECT_EQ(&platform::ThreadObject<Counted>(), &mine);
        mine.value = 5;
    });
    worker.join();
    EXPECT_EQ(destroyed.load(), 5);
    EXPECT_EQ(&platform::ThreadObject<Counted>(), ours);
}

} // namespace
} // namespace orblane
