#include "platform/NumberText.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

namespace orblane {
namespace {

TEST(NumberTextTest, WideToIntReadsALeadingDecimalAndSaturates)
{
    EXPECT_EQ(WideToInt(u"  -12abc"), -12);
    EXPECT_EQ(WideToInt(u"+300"), 300);
    EXPECT_EQ(WideToInt(u"abc"), 0);
    EXPECT_EQ(WideToInt(u""), 0);
    EXPECT_EQ(WideToInt(u"- 5"), 0);
    EXPECT_EQ(WideToInt(u"0x10"), 0);
    EXPECT_EQ(WideToInt(u"99999999999999999999"), INT_MAX);
    EXPECT_EQ(WideToInt(u"-99999999999999999999"), INT_MIN);
}

TEST(NumberTextTest, WideToDoubleReadsFractionAndExponentAndStopsAtTheRest)
{
    EXPECT_DOUBLE_EQ(WideToDouble(u"10.55"), 10.55);
    EXPECT_DOUBLE_EQ(WideToDouble(u" +1e2x"), 100.0);
    EXPECT_DOUBLE_EQ(WideToDouble(u".5"), 0.5);
    EXPECT_DOUBLE_EQ(WideToDouble(u"-2.5E-1"), -0.25);
    EXPECT_DOUBLE_EQ(WideToDouble(u"3e"), 3.0);
    EXPECT_DOUBLE_EQ(WideToDouble(u"7.pt"), 7.0);
    EXPECT_DOUBLE_EQ(WideToDouble(u"abc"), 0.0);
    EXPECT_DOUBLE_EQ(WideToDouble(u"."), 0.0);
    EXPECT_DOUBLE_EQ(WideToDouble(u"1,5"), 1.0);
    EXPECT_TRUE(std::isinf(WideToDouble(u"1e400")));
    EXPECT_DOUBLE_EQ(WideToDouble(u"1e-400"), 0.0);
}

TEST(NumberTextTest, ProfileIntegersTakeBasePrefixesAndWrapIn32Bits)
{
    EXPECT_EQ(ProfileTextToInt(u" 42 "), 42);
    EXPECT_EQ(ProfileTextToInt(u"-3"), -3);
    EXPECT_EQ(ProfileTextToInt(u"0x1f"), 31);
    EXPECT_EQ(ProfileTextToInt(u"0o17"), 15);
    EXPECT_EQ(ProfileTextToInt(u"0b12"), 1);
    EXPECT_EQ(ProfileTextToInt(u"017"), 17);
    EXPECT_EQ(ProfileTextToInt(u"9px"), 9);
    EXPECT_EQ(ProfileTextToInt(u"px"), 0);
    EXPECT_EQ(ProfileTextToInt(u"4294967297"), 1);
}

} // namespace
} // namespace orblane
