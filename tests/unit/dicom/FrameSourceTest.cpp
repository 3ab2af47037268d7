#include "dicom/FrameSource.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orblane {
namespace {

struct SwapCase
{
    const char* name;
    std::vector<std::uint8_t> value;
    std::size_t offset;
    std::size_t wordBytes;
    std::vector<std::uint8_t> expected;
};

class SwapWordsTest : public ::testing::TestWithParam<SwapCase>
{
};

// Worked by hand: 8-bit frames [1 2 3] [4 5 6] in a big-endian OW value are stored 02 01 04 03 06 05, so the second
// frame starts inside the second word; a word the value holds only in part reads 0 where its bytes are missing.
TEST_P(SwapWordsTest, GivesTheLittleEndianBytesOfTheValueFromOffset)
{
    const SwapCase& c = GetParam();
    std::vector<std::uint8_t> out(c.expected.size(), 0xEE);
    SwapWordsToLittleEndian(c.value, c.offset, c.wordBytes, out);
    EXPECT_EQ(out, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Words, SwapWordsTest,
    ::testing::Values(
        SwapCase{"FirstOddFrameOfOw", {2, 1, 4, 3, 6, 5}, 0, 2, {1, 2, 3}},
        SwapCase{"SecondOddFrameStartsInsideAWord", {2, 1, 4, 3, 6, 5}, 3, 2, {4, 5, 6}},
        SwapCase{"LastWordCutShort", {2, 1, 4}, 0, 2, {1, 2, 0}},
        SwapCase{"ThirtyTwoBitWords", {0, 0, 1, 2, 0xA, 0xB, 0xC, 0xD}, 0, 4, {2, 1, 0, 0, 0xD, 0xC, 0xB, 0xA}},
        SwapCase{"FrameBeyondTheValue", {2, 1}, 4, 2, {0, 0}}),
    test::ByCaseName());

} // namespace
} // namespace orblane
