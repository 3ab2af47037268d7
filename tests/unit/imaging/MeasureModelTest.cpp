// The viewer's measurements without a window: how presses, moves and releases place and move shapes, what a pointer
// reaches, and which pixels a region drawn from its corners counts. Tile points are worked by hand from the mapping
// below: pixel (c, r) has its centre at (11 + 2c, 21 + 2r).
#include "imaging/MeasureModel.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <vector>

namespace orblane {
namespace {

// A 50 x 40 image at (10, 20) in its tile, zoomed to two tile pixels a pixel.
const TileMapping kMap{10.0, 20.0, 2.0, 2.0, 50, 40};

enum class Step
{
    Press,
    Move,
    Release,
};

struct Event
{
    Step step;
    double x;
    double y;
};

struct GestureCase
{
    const char* name;
    MeasureTool tool;
    std::vector<Event> events;
    // The shapes left, and the points of the last one.
    std::size_t shapes;
    std::vector<ImagePoint> points;
};

class MeasureGestureTest : public ::testing::TestWithParam<GestureCase>
{
};

TEST_P(MeasureGestureTest, LeavesTheShapesTheUserDrew)
{
    const GestureCase& c = GetParam();
    ImageMeasures image;
    MeasureGesture gesture;
    for (const Event& e : c.events)
    {
        bool taken = false;
        switch (e.step)
        {
        case Step::Press:
            gesture.Press(image, c.tool, kMap, {e.x, e.y}, taken);
            EXPECT_EQ(taken, c.tool != MeasureTool::None || !image.shapes.empty());
            break;
        case Step::Move:
            gesture.Move(image, kMap, {e.x, e.y});
            break;
        case Step::Release:
            gesture.Release(image, kMap, {e.x, e.y});
            break;
        }
    }
    EXPECT_FALSE(gesture.Busy());
    ASSERT_EQ(image.shapes.size(), c.shapes);
    if (c.shapes == 0)
    {
        EXPECT_EQ(image.selected, -1);
        return;
    }
    const MeasureShape& last = image.shapes.back();
    ASSERT_EQ(last.points.size(), c.points.size());
    for (std::size_t k = 0; k < c.points.size(); ++k)
    {
        EXPECT_DOUBLE_EQ(last.points[k].column, c.points[k].column) << "point " << k;
        EXPECT_DOUBLE_EQ(last.points[k].row, c.points[k].row) << "point " << k;
    }
}

using S = Step;
using T = MeasureTool;

// A length from (0, 0) to (10, 10) by two clicks, the start of the edit cases.
std::vector<Event> TwoClicks(std::vector<Event> more)
{
    std::vector<Event> events{{S::Press, 11, 21}, {S::Release, 11, 21}, {S::Press, 31, 41}, {S::Release, 31, 41}};
    events.insert(events.end(), more.begin(), more.end());
    return events;
}

const GestureCase kGestures[] = {
    {"TwoClicksPlaceALength", T::Length, TwoClicks({}), 1, {{0, 0}, {10, 10}}},
    {"ADragPlacesALength",
     T::Length,
     {{S::Press, 11, 21}, {S::Move, 21, 21}, {S::Release, 31, 21}},
     1,
     {{0, 0}, {10, 0}}},
    {"TheSecondEndFollowsThePointerBetweenClicks",
     T::Length,
     {{S::Press, 11, 21}, {S::Release, 11, 21}, {S::Move, 51, 61}, {S::Press, 41, 21}, {S::Release, 41, 21}},
     1,
     {{0, 0}, {15, 0}}},
    {"ADoubleClickInPlaceLeavesNoLength",
     T::Length,
     {{S::Press, 31, 41}, {S::Release, 31, 41}, {S::Press, 31.5, 41}, {S::Release, 31.5, 41}},
     0,
     {}},
    {"ThreeClicksPlaceAnAngleWithTheVertexSecond",
     T::Angle,
     {{S::Press, 11, 21},
      {S::Release, 11, 21},
      {S::Press, 31, 21},
      {S::Release, 31, 21},
      {S::Press, 31, 41},
      {S::Release, 31, 41}},
     1,
     {{0, 0}, {10, 0}, {10, 10}}},
    {"ADragToTheVertexThenAClickPlaceAnAngle",
     T::Angle,
     {{S::Press, 11, 21}, {S::Release, 31, 21}, {S::Press, 31, 41}, {S::Release, 31, 41}},
     1,
     {{0, 0}, {10, 0}, {10, 10}}},
    {"AnEllipseIsDraggedFromCornerToCorner",
     T::Ellipse,
     {{S::Press, 19, 27}, {S::Release, 11, 21}},
     1,
     {{4, 3}, {0, 0}}},
    {"AFlatEllipseIsDropped", T::Ellipse, {{S::Press, 11, 21}, {S::Release, 31, 21}}, 0, {}},
    {"ARectangleOnePixelWideStays", T::Rectangle, {{S::Press, 11, 21}, {S::Release, 11, 41}}, 1, {{0, 0}, {0, 10}}},
    {"PointsBeyondTheImageSnapToItsEdgePixels",
     T::Length,
     {{S::Press, -50, -50}, {S::Release, 500, 500}},
     1,
     {{0, 0}, {49, 39}}},
    {"PointsSnapToTheNearestPixelCentre",
     T::Length,
     {{S::Press, 11.9, 21.9}, {S::Release, 30.2, 43.2}},
     1,
     {{0, 0}, {10, 11}}},
    {"WithoutAToolAPressOnEmptyImageTakesNothing", T::None, {{S::Press, 11, 21}, {S::Release, 31, 41}}, 0, {}},
    {"APressOnAnEndMovesThatEndOnly",
     T::Length,
     TwoClicks({{S::Press, 32, 42}, {S::Move, 41, 41}, {S::Release, 41, 41}}),
     1,
     {{0, 0}, {15, 10}}},
    {"APressOnTheLineMovesTheWholeShapeByWholePixels",
     T::Length,
     TwoClicks({{S::Press, 21, 31}, {S::Move, 27, 33}, {S::Release, 27, 33}}),
     1,
     {{3, 1}, {13, 11}}},
    {"AMovedShapeStaysInsideTheImage",
     T::Length,
     TwoClicks({{S::Press, 21, 31}, {S::Move, 300, 300}, {S::Release, 300, 300}}),
     1,
     {{39, 29}, {49, 39}}},
};

INSTANTIATE_TEST_SUITE_P(Gestures, MeasureGestureTest, ::testing::ValuesIn(kGestures), test::ByCaseName{});

TEST(MeasureGestureEditTest, AnotherToolOrNoneMovesAnExistingEndRatherThanStartingAShape)
{
    ImageMeasures image;
    image.shapes.push_back({MeasureKind::Length, {{0, 0}, {10, 10}}, {}});
    for (const MeasureTool tool : {MeasureTool::None, MeasureTool::Ellipse})
    {
        MeasureGesture gesture;
        bool taken = false;
        gesture.Press(image, tool, kMap, {31, 41}, taken);
        EXPECT_TRUE(taken);
        EXPECT_EQ(image.selected, 0);
        gesture.Release(image, kMap, {35, 41});
        ASSERT_EQ(image.shapes.size(), 1u);
        EXPECT_DOUBLE_EQ(image.shapes[0].points[1].column, 12);
        image.shapes[0].points[1] = {10, 10};
    }
    // A press that reaches nothing drops the selection; Delete then has nothing to delete.
    MeasureGesture gesture;
    bool taken = true;
    gesture.Press(image, MeasureTool::None, kMap, {90, 90}, taken);
    EXPECT_FALSE(taken);
    EXPECT_EQ(image.selected, -1);
    EXPECT_FALSE(image.DeleteSelected());
    EXPECT_EQ(image.shapes.size(), 1u);
}

TEST(MeasureGestureEditTest, CancelDropsOnlyTheShapeBeingPlaced)
{
    ImageMeasures image;
    image.shapes.push_back({MeasureKind::Length, {{0, 0}, {10, 10}}, {}});
    MeasureGesture gesture;
    bool taken = false;
    gesture.Press(image, MeasureTool::Angle, kMap, {61, 61}, taken);
    gesture.Release(image, kMap, {61, 61});
    ASSERT_TRUE(gesture.Placing());
    EXPECT_EQ(image.shapes.size(), 2u);
    EXPECT_TRUE(gesture.Cancel(image));
    EXPECT_EQ(image.shapes.size(), 1u);
    EXPECT_FALSE(gesture.Cancel(image));
    EXPECT_EQ(image.shapes.size(), 1u);
}

struct HitCase
{
    const char* name;
    int selected;
    TilePoint at;
    int shape;
    int point;
};

class HitShapeTest : public ::testing::TestWithParam<HitCase>
{
};

// Shape 0 a length (0, 0)-(10, 0), at tile y 21 from x 11 to 31; shape 1 a rectangle (20, 20)-(30, 30), tile
// (51, 61)-(71, 81); shape 2 a length sharing shape 0's end (10, 0), down to (10, 10).
TEST_P(HitShapeTest, FindsThePointOrOutlineWithinReach)
{
    const HitCase& c = GetParam();
    ImageMeasures image;
    image.shapes.push_back({MeasureKind::Length, {{0, 0}, {10, 0}}, {}});
    image.shapes.push_back({MeasureKind::Rectangle, {{20, 20}, {30, 30}}, {}});
    image.shapes.push_back({MeasureKind::Length, {{10, 0}, {10, 10}}, {}});
    image.selected = c.selected;
    const ShapeHit hit = HitShape(image, kMap, c.at, MeasureGesture::kReach);
    EXPECT_EQ(hit.shape, c.shape);
    EXPECT_EQ(hit.point, c.point);
}

const HitCase kHits[] = {
    {"AnEndNearThePointer", -1, {12, 23}, 0, 0},
    {"TheMiddleOfALineIsItsOutline", -1, {21, 25}, 0, -1},
    {"BeyondReachIsNothing", -1, {21, 28}, -1, -1},
    {"APointBeatsANearerOutline", -1, {52, 62}, 1, 0},
    {"ARectanglesEdgeIsItsOutline", -1, {61, 80}, 1, -1},
    {"InsideARectangleAwayFromItsEdgesIsNothing", -1, {61, 71}, -1, -1},
    {"ASharedEndIsTheNewestShapes", -1, {31, 21}, 2, 0},
    {"ASharedEndIsTheSelectedShapesWhenOneIs", 0, {31, 21}, 0, 1},
};

INSTANTIATE_TEST_SUITE_P(Hits, HitShapeTest, ::testing::ValuesIn(kHits), test::ByCaseName{});

TEST(MeasureRegionTest, RegionsCountThePixelsTheirCornersEnclose)
{
    // Values: 10 × row + column on a 10 × 10 grid.
    std::vector<std::int32_t> samples(100);
    for (int k = 0; k < 100; ++k)
    {
        samples[static_cast<std::size_t>(k)] = k;
    }
    const ValueGrid grid{samples, 10, 10};
    // Corners (2, 2) and (6, 4): centre (4, 3), radii 2 and 1. Inside: row 3 columns 2-6, and (4, 2), (4, 4).
    MeasureShape ellipse{MeasureKind::Ellipse, {{6, 4}, {2, 2}}, {}};
    Remeasure(ellipse, {}, grid);
    EXPECT_EQ(ellipse.result.count, 7u);
    ASSERT_TRUE(ellipse.result.mean && ellipse.result.min && ellipse.result.max);
    EXPECT_DOUBLE_EQ(*ellipse.result.mean, (32 + 33 + 34 + 35 + 36 + 24 + 44) / 7.0);
    EXPECT_DOUBLE_EQ(*ellipse.result.min, 24);
    EXPECT_DOUBLE_EQ(*ellipse.result.max, 44);
    // A rectangle's corners count inclusively: columns 1-3 of rows 1-2.
    MeasureShape box{MeasureKind::Rectangle, {{3, 2}, {1, 1}}, {}};
    Remeasure(box, {}, grid);
    EXPECT_EQ(box.result.count, 6u);
    ASSERT_TRUE(box.result.mean);
    EXPECT_DOUBLE_EQ(*box.result.mean, (11 + 12 + 13 + 21 + 22 + 23) / 6.0);
    // An angle has its vertex in the middle.
    MeasureShape angle{MeasureKind::Angle, {{10, 0}, {0, 0}, {0, 10}}, {}};
    Remeasure(angle, {}, grid);
    ASSERT_TRUE(angle.result.value);
    EXPECT_DOUBLE_EQ(*angle.result.value, 90.0);
}

TEST(TileMappingTest, MapsPixelCentresToTheTileAndBackUnderZoomAndAspect)
{
    const TileMapping map{-30.0, 4.0, 3.0, 1.5, 20, 10};
    const TilePoint t = map.ToTile({2, 4});
    EXPECT_DOUBLE_EQ(t.x, -30.0 + 2.5 * 3.0);
    EXPECT_DOUBLE_EQ(t.y, 4.0 + 4.5 * 1.5);
    const ImagePoint back = map.ToImage(t);
    EXPECT_DOUBLE_EQ(back.column, 2.0);
    EXPECT_DOUBLE_EQ(back.row, 4.0);
    // An image not laid out yet takes no point.
    EXPECT_FALSE((TileMapping{0, 0, 0, 1, 20, 10}).Usable());
}

} // namespace
} // namespace orblane
