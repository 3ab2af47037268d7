#include "platform/LargeBuffer.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

namespace orblane::platform {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

// Which request a released buffer of 1 MiB serves again: the same size and one up to an eighth smaller do, so that
// a bitmap takes the pages of the last page's bitmap; a larger one or a much smaller one must not pin it.
TEST(LargeBufferTest, AReleasedBufferServesRequestsItFitsClosely)
{
    struct Row
    {
        const char* name;
        std::size_t asked;
        std::size_t limit;
        bool reused;
    };
    const Row rows[] = {
        {"same size", kMiB, 64 * kMiB, true},
        {"an eighth smaller", kMiB - kMiB / 9, 64 * kMiB, true},
        {"half the size", kMiB / 2, 64 * kMiB, false},
        {"larger", kMiB + 1, 64 * kMiB, false},
        {"nothing kept under a zero limit", kMiB, 0, false}, // the kept bytes are checked
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        SetRecycledBufferLimit(0);
        SetRecycledBufferLimit(row.limit);
        std::size_t first = kMiB;
        void* released = AcquireLargeBuffer(first);
        ASSERT_NE(released, nullptr);
        static_cast<std::uint8_t*>(released)[first - 1] = 1;
        ReleaseLargeBuffer(released, first);
        EXPECT_EQ(RecycledBufferBytes(), row.limit == 0 ? 0 : kMiB);
        std::size_t second = row.asked;
        void* taken = AcquireLargeBuffer(second);
        ASSERT_NE(taken, nullptr);
        if (row.limit != 0)
        {
            // A freed buffer may come back from the allocator itself, so only kept ones are told apart.
            EXPECT_EQ(taken == released, row.reused);
        }
        EXPECT_GE(second, row.asked);
        ReleaseLargeBuffer(taken, second);
    }
    SetRecycledBufferLimit(64 * kMiB);
}

TEST(LargeBufferTest, KeptBytesNeverExceedTheLimitAndSmallBuffersAreNotKept)
{
    SetRecycledBufferLimit(0);
    SetRecycledBufferLimit(3 * kMiB);
    for (int i = 0; i < 5; ++i)
    {
        LargeArray<std::int32_t> values = MakeLargeArray<std::int32_t>(kMiB / 4);
        LargeArray<std::int32_t> other = MakeLargeArray<std::int32_t>(kMiB / 4);
        ASSERT_TRUE(values && other);
        values[0] = other[0] = i;
    }
    EXPECT_LE(RecycledBufferBytes(), 3 * kMiB);
    EXPECT_GE(RecycledBufferBytes(), 2 * kMiB);
    SetRecycledBufferLimit(0);
    {
        const LargeArray<std::uint8_t> small = MakeLargeArray<std::uint8_t>(kRecycledBufferMinBytes - 1);
    }
    EXPECT_EQ(RecycledBufferBytes(), 0u);
    EXPECT_EQ(MakeLargeArray<std::uint64_t>(static_cast<std::size_t>(-1) / 4), nullptr);
    SetRecycledBufferLimit(64 * kMiB);
}

} // namespace
} // namespace orblane::platform
