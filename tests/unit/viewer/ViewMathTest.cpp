// Area-averaged shrinking and the view arithmetic behind the viewer's keys, with expected values worked by hand.
#include "imaging/ViewMath.h"
#include "imaging/AreaScale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace orblane {
namespace {

std::vector<std::uint8_t> Shrink(const std::vector<std::uint8_t>& pixels, int width, int height, int bpp,
                                 int targetWidth, int targetHeight)
{
    std::vector<std::uint8_t> out(static_cast<std::size_t>(targetWidth * targetHeight * bpp), 0xEE);
    const PixelRegion region{pixels.data(), width, height, static_cast<std::size_t>(width * bpp), bpp};
    EXPECT_TRUE(AreaScale(region, out.data(), targetWidth, targetHeight, static_cast<std::size_t>(targetWidth * bpp)));
    return out;
}

TEST(AreaScaleTest, EachTargetPixelIsTheRoundedMeanOfItsBox)
{
    // 4 x 4 grey into 2 x 2: boxes of 2 x 2.
    const std::vector<std::uint8_t> grey{0,   10,  100, 100, //
                                         20,  31,  100, 101, //
                                         255, 255, 0,   0,   //
                                         255, 254, 0,   1};
    // (0+10+20+31)/4 = 15.25 -> 15; (100+100+100+101)/4 = 100.25 -> 100; (255*3+254)/4 = 254.75 -> 255; 1/4 -> 0.
    EXPECT_EQ(Shrink(grey, 4, 4, 1, 2, 2), (std::vector<std::uint8_t>{15, 100, 255, 0}));

    // 5 columns into 2: boxes [0, 2) and [2, 5) (edges at floor(i * 5 / 2)); one row.
    const std::vector<std::uint8_t> row{10, 20, 30, 40, 51};
    // (10+20)/2 = 15; (30+40+51)/3 = 40.33 -> 40.
    EXPECT_EQ(Shrink(row, 5, 1, 1, 2, 1), (std::vector<std::uint8_t>{15, 40}));

    // RGB32: every byte on its own. Two pixels into one.
    const std::vector<std::uint8_t> colour{0, 100, 200, 255, 10, 101, 50, 255};
    // (0+10)/2 = 5; (100+101)/2 = 100.5 -> 101 (half rounds up); (200+50)/2 = 125; 255.
    EXPECT_EQ(Shrink(colour, 2, 1, 4, 1, 1), (std::vector<std::uint8_t>{5, 101, 125, 255}));
}

TEST(AreaScaleTest, TallBoxesSumPastSixteenBitsAndBadRequestsWriteNothing)
{
    // 600 rows of 255 into one: a box of 600 rows needs the 32-bit accumulator (600 * 255 > 65535).
    const std::vector<std::uint8_t> column(600, 255);
    EXPECT_EQ(Shrink(column, 1, 600, 1, 1, 1), (std::vector<std::uint8_t>{255}));

    std::vector<std::uint8_t> pixels(16, 7);
    std::uint8_t out[64] = {};
    const PixelRegion region{pixels.data(), 4, 4, 4, 1};
    EXPECT_FALSE(AreaScale(region, out, 5, 2, 8));                                 // enlarging
    EXPECT_FALSE(AreaScale(region, out, 0, 2, 8));                                 // empty target
    EXPECT_FALSE(AreaScale(region, out, 2, 2, 1));                                 // target stride too short
    EXPECT_FALSE(AreaScale(PixelRegion{pixels.data(), 4, 4, 3, 1}, out, 2, 2, 8)); // source stride too short
    EXPECT_FALSE(AreaScale(PixelRegion{pixels.data(), 2, 2, 8, 2}, out, 1, 1, 8)); // two bytes a pixel
    EXPECT_EQ(out[0], 0);
}

TEST(ViewMathTest, PresetsFullRangeFilterCineRateAndZoomPercent)
{
    const std::pair<int, WindowPreset> presets[] = {{1, {40, 400}}, {2, {-600, 1500}}, {3, {400, 1800}},
                                                    {4, {40, 80}},  {5, {60, 160}},    {6, {50, 350}}};
    for (const auto& [digit, preset] : presets)
    {
        ASSERT_TRUE(CtPreset(digit).has_value()) << digit;
        EXPECT_EQ(CtPreset(digit)->centre, preset.centre) << digit;
        EXPECT_EQ(CtPreset(digit)->width, preset.width) << digit;
    }
    EXPECT_FALSE(CtPreset(0).has_value());
    EXPECT_FALSE(CtPreset(7).has_value());

    // CT values -1024..3071: centre -1024 + 4095 / 2 = 1023, so the window starts at -1024 and ends at 3071.
    EXPECT_EQ(FullRangeWindow(-1024, 3071).centre, 1023);
    EXPECT_EQ(FullRangeWindow(-1024, 3071).width, 4095);
    // A flat image still gets a usable window; an extreme range does not wrap.
    EXPECT_EQ(FullRangeWindow(5, 5).width, 1);
    EXPECT_GT(FullRangeWindow(INT32_MIN, INT32_MAX).width, 0);

    EXPECT_EQ(FilterFor(0.1), ScaleFilter::Area);
    EXPECT_EQ(FilterFor(0.999), ScaleFilter::Area);
    EXPECT_EQ(FilterFor(1.0), ScaleFilter::Smooth);
    EXPECT_EQ(FilterFor(4.0), ScaleFilter::Smooth);
    EXPECT_EQ(FilterFor(4.01), ScaleFilter::Nearest);

    // Frame Time 40 ms is 25 frames a second and wins; then Cine Rate; then the recommended rate; else 15.
    EXPECT_DOUBLE_EQ(CineFramesPerSecond(40.0, 30.0, 10.0), 25.0);
    EXPECT_DOUBLE_EQ(CineFramesPerSecond(0.0, 30.0, 10.0), 30.0);
    EXPECT_DOUBLE_EQ(CineFramesPerSecond(0.0, 0.0, 10.0), 10.0);
    EXPECT_DOUBLE_EQ(CineFramesPerSecond(0.0, 0.0, 0.0), 15.0);
    EXPECT_DOUBLE_EQ(CineFramesPerSecond(-5.0, -1.0, 0.0), 15.0);
    // A Frame Time of 0.001 ms would ask for a million frames a second: no rate, so the next source answers.
    EXPECT_DOUBLE_EQ(CineFramesPerSecond(0.001, 0.0, 0.0), 15.0);
    EXPECT_DOUBLE_EQ(CineFramesPerSecond(0.001, 30.0, 10.0), 30.0);
    EXPECT_DOUBLE_EQ(CineFramesPerSecond(std::nan(""), 5000.0, 10.0), 10.0);
    // Real but extreme rates are held in 1..120: 5 ms a frame is 200 a second, one frame a minute is 1/60.
    EXPECT_DOUBLE_EQ(CineFramesPerSecond(5.0, 30.0, 0.0), 120.0);
    EXPECT_DOUBLE_EQ(CineFramesPerSecond(60000.0, 30.0, 0.0), 1.0);

    EXPECT_EQ(ZoomPercent(256, 512), 50);
    EXPECT_EQ(ZoomPercent(1000, 3), 33333);
    EXPECT_EQ(ZoomPercent(100, 0), 0);
}

} // namespace
} // namespace orblane
