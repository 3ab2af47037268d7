#include "imaging/TileLines.h"

#include "imaging/ImageFacts.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <vector>

namespace orblane {
namespace {

// Axial at height z: 64 x 64 pixels of 1 mm from (0, 0, z), rows along x, columns along y.
FrameAttributes Axial(double z, const char* frameOfReference = "1.2.3")
{
    FrameAttributes f;
    f.plane = ImagePlane{{0.0, 0.0, z}, {1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, 1.0, 1.0, 64, 64};
    f.problem = GeometryProblem::None;
    f.frameOfReferenceUid = frameOfReference;
    return f;
}

// Coronal through y = 0: 100 columns along x from x = 0, 50 rows down from z = 40 (pixel (c, r) at (c, 0, 40 - r)).
FrameAttributes Coronal(const char* frameOfReference = "1.2.3")
{
    FrameAttributes f;
    f.plane = ImagePlane{{0.0, 0.0, 40.0}, {1.0, 0.0, 0.0}, {0.0, 0.0, -1.0}, 1.0, 1.0, 50, 100};
    f.problem = GeometryProblem::None;
    f.frameOfReferenceUid = frameOfReference;
    return f;
}

struct Line
{
    int tile;
    LineRole role;
    double row; // every line here is horizontal on the coronal image, across its whole width
};

TEST(TileLinesTest, EveryOtherTileOfTheFrameAtAnAngleGetsTheCurrentPlaneAndALocalizerTheSeriesEnds)
{
    const FrameAttributes current = Axial(10.0);
    const FrameAttributes first = Axial(0.0);
    const FrameAttributes last = Axial(35.0);
    const FrameAttributes parallel = Axial(20.0);
    const FrameAttributes coronal = Coronal();
    const FrameAttributes foreign = Coronal("9.9");
    const FrameAttributes unnamed = Coronal("");
    FrameAttributes noPlane = Coronal();
    noPlane.plane.reset();
    const std::vector<TileFrame> tiles = {
        {&current, false},  // 0: the current tile draws nothing
        {&coronal, false},  // 1: its plane at z = 10 is row 30
        {&parallel, false}, // 2: parallel: nothing
        {&foreign, false},  // 3: another frame of reference: nothing
        {&unnamed, false},  // 4: no frame of reference: nothing
        {&noPlane, false},  // 5: no geometry: nothing
        {nullptr, false},   // 6: an empty tile
        {&coronal, true},   // 7: a localizer: z = 10, 0 and 35 are rows 30, 40 and 5
    };
    const std::vector<TileLine> lines = PlanTileLines(tiles, 0, &first, &last);
    const std::vector<Line> expected = {{1, LineRole::Current, 30.0},
                                        {7, LineRole::Current, 30.0},
                                        {7, LineRole::First, 40.0},
                                        {7, LineRole::Last, 5.0}};
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t k = 0; k < lines.size(); ++k)
    {
        SCOPED_TRACE(k);
        EXPECT_EQ(lines[k].tile, expected[k].tile);
        EXPECT_EQ(lines[k].role, expected[k].role);
        EXPECT_DOUBLE_EQ(lines[k].from.column, -0.5);
        EXPECT_DOUBLE_EQ(lines[k].to.column, 99.5);
        EXPECT_DOUBLE_EQ(lines[k].from.row, expected[k].row);
        EXPECT_DOUBLE_EQ(lines[k].to.row, expected[k].row);
    }
    // The current image being the series' first, a localizer gets it once.
    EXPECT_EQ(PlanTileLines(tiles, 0, &current, &last).size(), 3u);
    // A current image without geometry draws no line of its own; its series' ends still show on the localizer.
    const std::vector<TileLine> ends = PlanTileLines(tiles, 5, &first, &last);
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_EQ(ends[0].role, LineRole::First);
    EXPECT_EQ(ends[1].role, LineRole::Last);
    // An empty current tile draws nothing.
    EXPECT_TRUE(PlanTileLines(tiles, 6, &first, &last).empty());
}

struct TileCase
{
    const char* name;
    PixelPoint p;
    double originX;
    double originY;
    double x;
    double y;
};

class PixelToTileTest : public ::testing::TestWithParam<TileCase>
{
};

// A 100 x 50 image drawn 200 x 150 (an aspect of 1.5 in rows) at an origin: pixel edges are the picture's edges.
TEST_P(PixelToTileTest, PixelEdgesMeetThePicturesEdges)
{
    const TileCase& c = GetParam();
    const TilePoint t = PixelToTile(c.p, 100, 50, c.originX, c.originY, 200.0, 150.0);
    EXPECT_DOUBLE_EQ(t.x, c.x);
    EXPECT_DOUBLE_EQ(t.y, c.y);
}

INSTANTIATE_TEST_SUITE_P(Points, PixelToTileTest,
                         ::testing::Values(TileCase{"FirstPixelsOuterCorner", {-0.5, -0.5}, 10, 20, 10, 20},
                                           TileCase{"LastPixelsOuterCorner", {99.5, 49.5}, 10, 20, 210, 170},
                                           TileCase{"FirstPixelsCentre", {0.0, 0.0}, 0, 0, 1, 1.5},
                                           TileCase{"PannedOffTheTile", {49.5, 24.5}, -300, -40, -200, 35}),
                         test::ByCaseName());

// Image Type's third value names a localizer (its pad and a fourth value aside); LOCALIZER elsewhere does not.
TEST(ImageFactsTest, OnlyTheThirdImageTypeValueMakesALocalizer)
{
    EXPECT_TRUE(ImageTypeIsLocalizer("ORIGINAL\\PRIMARY\\LOCALIZER"));
    EXPECT_TRUE(ImageTypeIsLocalizer("DERIVED\\SECONDARY\\LOCALIZER \\MPR"));
    EXPECT_FALSE(ImageTypeIsLocalizer("LOCALIZER"));
    EXPECT_FALSE(ImageTypeIsLocalizer("ORIGINAL\\LOCALIZER"));
    EXPECT_FALSE(ImageTypeIsLocalizer("ORIGINAL\\PRIMARY\\AXIAL\\LOCALIZER"));
    EXPECT_FALSE(ImageTypeIsLocalizer(""));
}

} // namespace
} // namespace orblane
