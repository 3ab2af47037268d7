// Lengths, angles and region statistics against numpy over the same masks (tests/data/measure/make_measure.py), and
// ultrasound lengths worked by hand from the regions' deltas.
#include "imaging/Measurement.h"

#include "dicom/DicomDataFileIO.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace orblane {
namespace {

const std::string kMeasureData = std::string(ORBLANE_TEST_DATA_DIR) + "/measure/";

struct Loaded
{
    MeasureScale scale;
    MeasureValues values;
};

// FILE or FILE:FRAME (from 1).
Loaded Load(const std::string& key)
{
    const std::size_t colon = key.find(':');
    const int frame = colon == std::string::npos ? 0 : std::stoi(key.substr(colon + 1)) - 1;
    DicomDataFileIO file;
    EXPECT_EQ(file.LoadFile(kMeasureData + key.substr(0, colon)), 0) << key;
    Loaded loaded;
    EXPECT_GT(LoadMeasureFrame(file, frame, loaded.scale, loaded.values), frame) << key;
    return loaded;
}

void ExpectClose(std::optional<double> actual, double expected, const char* what)
{
    ASSERT_TRUE(actual.has_value()) << what;
    EXPECT_NEAR(*actual, expected, 1e-9 * std::max(1.0, std::fabs(expected))) << what;
}

struct RegionCase
{
    const char* file;
    const char* kind;
    double a, b, c, d;
    std::uint64_t count;
    std::optional<double> areaMm2;
    double mean, sd, min, max;
};

// Printed by make_measure.py.
const RegionCase kRegions[] = {
    {"ct_rescale.dcm", "ellipse", 20, 15, 5, 5, 81, 28.349999999999998, -167.8395061728395, 521.7815506391639, -1220.0,
     773.0},
    {"ct_rescale.dcm", "ellipse", 10.5, 7.25, 6.3, 4.1, 82, 28.7, -269.6341463414634, 581.5754153264012, -1167.0,
     769.0},
    {"ct_rescale.dcm", "ellipse", 2, 2, 8, 6, 76, 26.599999999999998, -308.8157894736842, 586.6810913167283, -1219.0,
     737.0},
    {"tiny_slope.dcm", "ellipse", 16, 20, 9.5, 12, 359, 359.0, 0.5296253203342618, 0.016984172848034912, 0.50012,
     0.559682},
    {"rgb.dcm", "ellipse", 12, 10, 7, 5, 109, std::nullopt, 122.41881651376146, 50.0940245201649, 21.659999999999997,
     240.032},
    {"two_frames.dcm:2", "ellipse", 8, 8, 4, 6, 73, 4.5625, 1598.8082191780823, 1118.7461261282497, 71.0, 3967.0},
    {"ct_rescale.dcm", "rect", 3, 4, 12, 9, 60, 21.0, -348.5833333333333, 569.9622587407773, -1200.0, 703.0},
    {"ct_rescale.dcm", "rect", 60.5, 40.2, 70, 50, 21, 7.35, -329.0952380952381, 564.7552276165147, -1112.0, 744.0},
    {"tiny_slope.dcm", "rect", 0, 0, 31, 39, 1280, 1280.0, 0.5291964437499999, 0.016978080594961947, 0.500003,
     0.559854},
};

std::string RegionName(const ::testing::TestParamInfo<RegionCase>& info)
{
    std::string name = std::string(info.param.kind) + "_" + std::to_string(info.index) + "_" + info.param.file;
    for (char& ch : name)
    {
        ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    }
    return name;
}

class RegionStatisticsTest : public ::testing::TestWithParam<RegionCase>
{
};

TEST_P(RegionStatisticsTest, MatchNumpyOverTheSameMask)
{
    const RegionCase& c = GetParam();
    const Loaded loaded = Load(c.file);
    ASSERT_FALSE(loaded.values.samples.empty());
    const Measurement m = std::string(c.kind) == "ellipse"
                              ? MeasureEllipse({c.a, c.b}, c.c, c.d, loaded.values.Grid(), loaded.scale)
                              : MeasureRectangle({c.a, c.b}, {c.c, c.d}, loaded.values.Grid(), loaded.scale);
    EXPECT_EQ(m.count, c.count);
    EXPECT_EQ(m.areaMm2.has_value(), c.areaMm2.has_value());
    if (c.areaMm2)
    {
        ExpectClose(m.areaMm2, *c.areaMm2, "area");
    }
    ExpectClose(m.mean, c.mean, "mean");
    ExpectClose(m.sd, c.sd, "sd");
    ExpectClose(m.min, c.min, "min");
    ExpectClose(m.max, c.max, "max");
    EXPECT_EQ(m.luminance, std::string(c.file) == "rgb.dcm");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RegionStatisticsTest, ::testing::ValuesIn(kRegions), RegionName);

TEST(MeasurementTest, LengthsAndAnglesUseRowSpacingForRowsAndColumnSpacingForColumns)
{
    // Printed by make_measure.py: Pixel Spacing 0.7 (between rows) \ 0.5 (between columns).
    const Loaded ct = Load("ct_rescale.dcm");
    const double lengths[][5] = {{0, 0, 10, 0, 5.0}, {0, 0, 0, 10, 7.0}, {3, 4, 13.5, 20.25, 12.528093430366809}};
    for (const auto& l : lengths)
    {
        const Measurement m = MeasureLength({l[0], l[1]}, {l[2], l[3]}, ct.scale);
        ExpectClose(m.value, l[4], "length");
        EXPECT_EQ(m.unit, "mm");
        EXPECT_EQ(m.label, "mm");
    }
    const double angles[][7] = {{10, 0, 0, 0, 0, 10, 90.0}, {10, 10, 0, 0, 10, 0, 54.5}, {5, 3, 20, 20, 40, 9, 84.6}};
    for (const auto& a : angles)
    {
        const Measurement m = MeasureAngle({a[0], a[1]}, {a[2], a[3]}, {a[4], a[5]}, ct.scale);
        ExpectClose(m.value, a[6], "angle");
    }
    EXPECT_FALSE(MeasureAngle({3, 3}, {3, 3}, {9, 9}, ct.scale).value);
    // Without spacing the length is in pixels and the label says so.
    const Measurement px = MeasureLength({0, 0}, {3, 4}, MeasureScale{});
    ExpectClose(px.value, 5.0, "px length");
    EXPECT_EQ(px.unit, "px");
    EXPECT_EQ(px.label, "px");
}

TEST(MeasurementTest, EnhancedFramesUseTheirOwnPixelMeasuresElseTheSharedOnes)
{
    // Shared 0.9 by 0.9; frame 2 has its own 0.8 between rows, 0.6 between columns.
    const Loaded first = Load("enhanced_spacing.dcm:1");
    const Loaded second = Load("enhanced_spacing.dcm:2");
    ExpectClose(MeasureLength({0, 0}, {10, 0}, first.scale).value, 9.0, "frame 1 along a row");
    ExpectClose(MeasureLength({0, 0}, {10, 0}, second.scale).value, 6.0, "frame 2 along a row");
    ExpectClose(MeasureLength({0, 0}, {0, 10}, second.scale).value, 8.0, "frame 2 down a column");
    EXPECT_EQ(second.scale.calibration.label, "mm");
}

struct UltrasoundCase
{
    const char* name;
    ImagePoint from;
    ImagePoint to;
    std::optional<double> mm; // worked by hand: hypot(Δc × ΔX, Δr × ΔY) × 10
    const char* reason;
};

const UltrasoundCase kUltrasound[] = {
    {"FirstRegion", {10, 10}, {40, 50}, 8.54400374531753, ""},  // hypot(30 × 0.1, 40 × 0.2)
    {"SecondRegion", {55, 5}, {85, 45}, 21.93171219946131, ""}, // hypot(30 × 0.5, 40 × 0.4)
    {"EdgeOfFirstRegion", {49.4, 0}, {0, 0}, 4.94, ""},         // pixel 49 is the first region's last
    {"AcrossRegions", {40, 10}, {60, 10}, std::nullopt, "different ultrasound regions"},
    {"RegionWithoutUnits", {92, 5}, {95, 5}, std::nullopt, "not calibrated in cm"},
    {"OutsideEveryRegion", {10, 10}, {10, 70}, std::nullopt, "outside every ultrasound region"},
};

class UltrasoundLengthTest : public ::testing::TestWithParam<UltrasoundCase>
{
};

TEST_P(UltrasoundLengthTest, UsesTheRegionBothEndsLieIn)
{
    static const Loaded us = Load("us_regions.dcm");
    ASSERT_EQ(us.scale.regions.size(), 3u);
    const UltrasoundCase& c = GetParam();
    const Measurement m = MeasureLength(c.from, c.to, us.scale);
    EXPECT_EQ(m.value.has_value(), c.mm.has_value());
    if (c.mm)
    {
        ExpectClose(m.value, *c.mm, "length");
        EXPECT_EQ(m.unit, "mm");
    }
    EXPECT_NE(m.reason.find(c.reason), std::string::npos) << m.reason;
}

TEST(UltrasoundOverlapTest, AStripWithoutUnitsOverTheSpatialRegionDoesNotHideIt)
{
    UltrasoundRegion strip; // listed first, time on one axis
    strip.maxColumn = 99;
    strip.minRow = 40;
    strip.maxRow = 59;
    strip.unitsX = 4; // seconds
    strip.unitsY = 7; // cm/s
    strip.deltaX = strip.deltaY = 0.01;
    UltrasoundRegion spatial;
    spatial.maxColumn = 99;
    spatial.maxRow = 59;
    spatial.unitsX = spatial.unitsY = kUltrasoundUnitsCm;
    spatial.deltaX = spatial.deltaY = 0.05;
    MeasureScale scale;
    scale.regions = {strip, spatial};
    const Measurement m = MeasureLength({10, 45}, {40, 45}, scale);
    ExpectClose(m.value, 15.0, "length"); // 30 columns of 0.5 mm
}

INSTANTIATE_TEST_SUITE_P(Regions, UltrasoundLengthTest, ::testing::ValuesIn(kUltrasound), test::ByCaseName{});

TEST(MeasurementTest, UltrasoundAreasUseTheRegionThatHoldsTheShape)
{
    const Loaded us = Load("us_regions.dcm");
    // Inside the first region: 0.1 mm a column, 0.2 mm a row.
    const Measurement inside = MeasureEllipse({20, 30}, 10, 8, us.values.Grid(), us.scale);
    ASSERT_GT(inside.count, 0u);
    ExpectClose(inside.areaMm2, static_cast<double>(inside.count) * 0.1 * 0.2, "area");
    ExpectClose(inside.value, std::numbers::pi * 10 * 8 * 0.1 * 0.2, "analytic area");
    EXPECT_EQ(inside.unit, "mm\u00b2");
    // Across the first two regions: no common calibration, and the header gives none.
    const Measurement across = MeasureRectangle({40, 5}, {60, 20}, us.values.Grid(), us.scale);
    EXPECT_EQ(across.count, 21u * 16u);
    EXPECT_FALSE(across.areaMm2.has_value());
    EXPECT_EQ(across.unit, "px\u00b2");
}

TEST(MeasurementTest, StatisticsHoldOverTheWholeIntegerRangeAndAroundAnOutlier)
{
    // numpy's mean and std of the same values.
    const struct
    {
        std::vector<std::int32_t> values;
        double mean;
        double sd;
    } cases[] = {
        {{-2147483647 - 1, 2147483647, 0}, -0.3333333333333333, 1753413055.7819521},
        {{4000, 1, 1, 1, 2}, 801.0, 1599.5000468896524},
        {{65535, 65535, 65535, 65535, 65535, 65535, 65535, 65534}, 65534.875, 0.33071891388307384},
    };
    for (const auto& c : cases)
    {
        const ValueGrid grid{c.values, static_cast<std::int32_t>(c.values.size()), 1};
        const Measurement m = MeasureRectangle({0, 0}, {1e9, 0}, grid, MeasureScale{});
        EXPECT_EQ(m.count, c.values.size());
        ExpectClose(m.mean, c.mean, "mean");
        ExpectClose(m.sd, c.sd, "sd");
    }
}

TEST(MeasurementTest, EllipseRowsHoldExactlyThePixelsTheFormulaAdmits)
{
    // Every pixel tested by the formula itself, over centres on, between and off pixels, and radii down to slivers.
    constexpr std::int32_t kSize = 24;
    const double centres[] = {-2.0, 0.0, 3.5, 7.25, 11.0, 12.5, 23.0, 25.75};
    const double radii[] = {0.05, 0.5, 1.0, 2.5, 3.0, 5.0, 6.3, 11.999, 40.0};
    for (const double cx : centres)
    {
        for (const double cy : {0.0, 5.5, 12.0})
        {
            for (const double rx : radii)
            {
                for (const double ry : {0.5, 3.0, 5.0, 7.7})
                {
                    for (std::int32_t row = 0; row < kSize; ++row)
                    {
                        const RowSpan span = EllipseRowSpan({cx, cy}, rx, ry, row, kSize);
                        for (std::int32_t column = 0; column < kSize; ++column)
                        {
                            const double a = (column - cx) / rx;
                            const double b = (row - cy) / ry;
                            ASSERT_EQ(a * a + b * b <= 1.0, column >= span.first && column <= span.last)
                                << cx << " " << cy << " " << rx << " " << ry << " at " << column << "," << row;
                        }
                    }
                }
            }
        }
    }
}

TEST(MeasurementTest, DegenerateRegionsGiveNoValueAndNoStatistics)
{
    const Loaded ct = Load("ct_rescale.dcm");
    const ValueGrid grid = ct.values.Grid();
    for (const Measurement& m :
         {MeasureEllipse({5, 5}, 0.0, 3.0, grid, ct.scale), MeasureEllipse({5, 5}, NAN, 3.0, grid, ct.scale),
          MeasureEllipse({500, 500}, 3.0, 3.0, grid, ct.scale), MeasureRectangle({-9, -9}, {-1, -1}, grid, ct.scale),
          MeasureEllipse({5, 5}, 3.0, 3.0, ValueGrid{}, ct.scale)})
    {
        EXPECT_FALSE(m.mean.has_value());
        EXPECT_EQ(m.count, 0u);
        EXPECT_FALSE(m.reason.empty());
    }
}

} // namespace
} // namespace orblane
