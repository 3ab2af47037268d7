#include "imaging/TileSync.h"
#include "imaging/TileSeries.h"
#include "imaging/ViewerSeries.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <vector>

namespace orblane {
namespace {

// An axial slice of 64 x 64 pixels of 1 mm at height z, tilted by `degrees` about the x axis.
FrameAttributes Axial(double z, const char* frameOfReference = "1.2.3", double degrees = 0.0)
{
    const double a = degrees * std::numbers::pi / 180.0;
    FrameAttributes f;
    f.plane = ImagePlane{{0.0, 0.0, z}, {1.0, 0.0, 0.0}, {0.0, std::cos(a), std::sin(a)}, 1.0, 1.0, 64, 64};
    f.problem = GeometryProblem::None;
    f.frameOfReferenceUid = frameOfReference;
    return f;
}

std::vector<FrameAttributes> Slices(double first, double step, int count, const char* frameOfReference = "1.2.3")
{
    std::vector<FrameAttributes> slices;
    for (int k = 0; k < count; ++k)
    {
        slices.push_back(Axial(first + step * k, frameOfReference));
    }
    return slices;
}

SeriesStack StackOf(const std::vector<FrameAttributes>& slices)
{
    std::vector<const FrameAttributes*> pointers;
    for (const FrameAttributes& slice : slices)
    {
        pointers.push_back(&slice);
    }
    return MakeSeriesStack(pointers);
}

// Ten slices 5 mm apart from z = 0: a target is in range up to 2.5 mm from the nearest slice.
struct NearestCase
{
    const char* name;
    double position;
    SyncOutcome outcome;
    int slice;
};

class NearestSliceTest : public ::testing::TestWithParam<NearestCase>
{
};

TEST_P(NearestSliceTest, ChoosesTheNearestSliceAndSaysWhenItIsTooFar)
{
    const NearestCase& c = GetParam();
    const std::vector<FrameAttributes> slices = Slices(0.0, 5.0, 10);
    const SyncTarget target = NearestToPosition(StackOf(slices), c.position);
    EXPECT_EQ(target.outcome, c.outcome);
    EXPECT_EQ(target.slice, c.slice);
}

INSTANTIATE_TEST_SUITE_P(
    Positions, NearestSliceTest,
    ::testing::Values(NearestCase{"OnASlice", 20.0, SyncOutcome::InRange, 4},
                      NearestCase{"BetweenTwoNearerTheLower", 12.0, SyncOutcome::InRange, 2},
                      NearestCase{"BetweenTwoNearerTheUpper", 12.6, SyncOutcome::InRange, 3},
                      NearestCase{"JustInsideHalfASpacingBeyondTheLast", 47.4, SyncOutcome::InRange, 9},
                      NearestCase{"JustOutsideHalfASpacingBeyondTheLast", 47.6, SyncOutcome::OutOfRange, 9},
                      NearestCase{"BelowTheFirstIsOutOfRangeNotClamped", -3.0, SyncOutcome::OutOfRange, 0},
                      NearestCase{"NotANumberFindsNoSlice", std::nan(""), SyncOutcome::NoSlice, -1}),
    test::ByCaseName());

// Where the follower goes when the leader moves: the same place for one frame of reference, the same distance from
// where both were linked for two. Leader: slices at z = 100, 105, ... (10); follower: z = 0, 5, ... (10), or
// descending from z = 45 (scanned the other way), or 2.5 mm apart.
struct FollowCase
{
    const char* name;
    bool linked;
    double followerFirst;
    double followerStep;
    int leaderAnchorSlice;   // linked only
    int followerAnchorSlice; // linked only
    int leaderSlice;
    SyncOutcome outcome;
    int slice;
};

class FollowTest : public ::testing::TestWithParam<FollowCase>
{
};

TEST_P(FollowTest, FollowerLandsOnTheSliceWorkedByHand)
{
    const FollowCase& c = GetParam();
    const std::vector<FrameAttributes> leaderSlices = Slices(100.0, 5.0, 10, c.linked ? "prior" : "1.2.3");
    const std::vector<FrameAttributes> followerSlices = Slices(c.followerFirst, c.followerStep, 10);
    const SeriesStack leader = StackOf(leaderSlices);
    const SeriesStack follower = StackOf(followerSlices);
    SyncTarget target;
    if (c.linked)
    {
        ASSERT_EQ(RelationOf(leader, follower, true), SyncRelation::ByDistance);
        target = FollowLinked(leader, c.leaderSlice, *leader.Position(c.leaderAnchorSlice), follower,
                              *follower.Position(c.followerAnchorSlice));
    }
    else
    {
        ASSERT_EQ(RelationOf(leader, follower, false), SyncRelation::ByPosition);
        target = FollowPosition(leader, c.leaderSlice, follower);
    }
    EXPECT_EQ(target.outcome, c.outcome);
    EXPECT_EQ(target.slice, c.slice);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, FollowTest,
    ::testing::Values(
        // z = 115 against follower slices from z = 100 in steps of 5: slice 3.
        FollowCase{"SamePlaceOnOneFrameOfReference", false, 100.0, 5.0, 0, 0, 3, SyncOutcome::InRange, 3},
        // z = 115 against slices from 145 down: (145 - 115) / 5 = 6.
        FollowCase{"SamePlaceInAStackScannedTheOtherWay", false, 145.0, -5.0, 0, 0, 3, SyncOutcome::InRange, 6},
        // z = 110 against slices 2.5 mm apart from z = 100: slice 4.
        FollowCase{"SamePlaceInAThinnerStack", false, 100.0, 2.5, 0, 0, 2, SyncOutcome::InRange, 4},
        // z = 145 against slices 100 ... 122.5 (spacing 2.5): nearest is the last, 22.5 mm away.
        FollowCase{"BeyondTheThinnerStackIsOutOfRange", false, 100.0, 2.5, 0, 0, 9, SyncOutcome::OutOfRange, 9},
        // Linked at leader z = 115 and follower z = 25; the leader moves to 130 (+15): follower 40, slice 8.
        FollowCase{"LinkedStepUpByDistance", true, 0.0, 5.0, 3, 5, 6, SyncOutcome::InRange, 8},
        // The leader moves to 100 (-15): follower 10, slice 2.
        FollowCase{"LinkedStepDownByDistance", true, 0.0, 5.0, 3, 5, 0, SyncOutcome::InRange, 2},
        // Linked at leader 100 and follower 40; the leader moves to 145 (+45): follower 85, far past 45.
        FollowCase{"LinkedPastTheFollowersEndIsOutOfRange", true, 0.0, 5.0, 0, 8, 9, SyncOutcome::OutOfRange, 9}),
    test::ByCaseName());

struct RelationCase
{
    const char* name;
    FrameAttributes follower;
    bool linked;
    SyncRelation relation;
};

class RelationTest : public ::testing::TestWithParam<RelationCase>
{
};

TEST_P(RelationTest, ScrollTogetherOnlyWherePositionsOrALinkSayHow)
{
    const RelationCase& c = GetParam();
    const std::vector<FrameAttributes> leaderSlices = Slices(0.0, 5.0, 3);
    const std::vector<FrameAttributes> followerSlices = {c.follower};
    EXPECT_EQ(RelationOf(StackOf(leaderSlices), StackOf(followerSlices), c.linked), c.relation);
}

FrameAttributes WithoutPlane()
{
    FrameAttributes f = Axial(0.0);
    f.plane.reset();
    f.problem = GeometryProblem::Missing;
    return f;
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, RelationTest,
    ::testing::Values(RelationCase{"SameFrameParallel", Axial(3.0), false, SyncRelation::ByPosition},
                      RelationCase{"SameFrameHalfADegreeIsParallel", Axial(3.0, "1.2.3", 0.5), false,
                                   SyncRelation::ByPosition},
                      RelationCase{"SameFrameTwoDegreesApartIsNot", Axial(3.0, "1.2.3", 2.0), true, SyncRelation::None},
                      RelationCase{"OtherFrameUnlinked", Axial(3.0, "other"), false, SyncRelation::None},
                      RelationCase{"OtherFrameLinked", Axial(3.0, "other"), true, SyncRelation::ByDistance},
                      RelationCase{"NoFrameOfReferenceLinked", Axial(3.0, ""), true, SyncRelation::ByDistance},
                      RelationCase{"NoGeometryEvenLinked", WithoutPlane(), true, SyncRelation::None}),
    test::ByCaseName());

TEST(SeriesStackTest, SpacingIsTheMedianGapAndTiltedOrMissingSlicesHaveNoPosition)
{
    // z = 0, 5, (no plane), 10, (tilted 30 degrees), 15, 25.
    std::vector<FrameAttributes> slices = {
        Axial(0.0), Axial(5.0), WithoutPlane(), Axial(10.0), Axial(12.0, "1.2.3", 30.0), Axial(15.0), Axial(25.0)};
    const SeriesStack stack = StackOf(slices);
    EXPECT_FALSE(stack.Position(2).has_value());
    EXPECT_FALSE(stack.Position(4).has_value());
    ASSERT_TRUE(stack.Position(6).has_value());
    EXPECT_DOUBLE_EQ(*stack.Position(6), 25.0);
    // Positions 0, 5, 10, 15, 25: gaps 5, 5, 5, 10.
    EXPECT_DOUBLE_EQ(stack.spacing, 5.0);
}

// Three series as a viewer finds them: A (0-9, z = 0 ... 45) and B (10-19, z = 1 ... 46) share a frame of
// reference; C (20-29, z = 500 ...) is a prior study of its own.
struct Study
{
    std::vector<ImageFacts> facts;
    std::vector<FrameAttributes> frames;

    Study()
    {
        const char* series[] = {"A", "B", "C"};
        for (int s = 0; s < 3; ++s)
        {
            ImageFacts f;
            f.studyInstanceUid = s == 2 ? "prior" : "current";
            f.seriesInstanceUid = series[s];
            facts.push_back(f);
        }
        for (int k = 0; k < 10; ++k)
        {
            frames.push_back(Axial(5.0 * k));
        }
        for (int k = 0; k < 10; ++k)
        {
            frames.push_back(Axial(1.0 + 5.0 * k));
        }
        for (int k = 0; k < 10; ++k)
        {
            frames.push_back(Axial(500.0 + 5.0 * k, "prior frame"));
        }
    }

    TileSeries Tiles()
    {
        return TileSeries([] { return 30; },
                          [this](int index) {
                              return TileSeries::ImageInfo{&facts[static_cast<std::size_t>(index / 10)],
                                                           &frames[static_cast<std::size_t>(index)]};
                          });
    }
};

TEST(TileSeriesTest, ATileScrollsItsSeriesAloneAndTheSameFrameOfReferenceFollows)
{
    Study study;
    TileSeries tiles = study.Tiles();
    ASSERT_EQ(tiles.Series().size(), 3u);
    EXPECT_EQ(tiles.PlaceOf(13).series, 1);
    EXPECT_EQ(tiles.PlaceOf(13).slice, 3);
    EXPECT_EQ(tiles.PlaceOf(13).count, 10);

    // Paging showed images 4, 5, 6 in three tiles; series B goes into tile 1, C into tile 2.
    const std::vector<int> shown = {4, 5, 6};
    ASSERT_TRUE(tiles.Show(1, 1, shown));
    EXPECT_EQ(tiles.ImageOf(0), 4);
    EXPECT_EQ(tiles.ImageOf(1), 10);
    EXPECT_EQ(tiles.ImageOf(2), 6);
    ASSERT_TRUE(tiles.Show(2, 2, shown));
    EXPECT_EQ(tiles.ImageOf(2), 20);
    EXPECT_FALSE(tiles.Show(3, 0, shown));

    // B to z = 16: A follows to z = 15 (image 3); the prior study stays.
    EXPECT_TRUE(tiles.Step(1, 3));
    EXPECT_EQ(tiles.ImageOf(1), 13);
    EXPECT_EQ(tiles.ImageOf(0), 3);
    EXPECT_EQ(tiles.ImageOf(2), 20);
    // Linked at z = 16 (B), 15 (A), 500 (C); B steps 2 on (+10 mm): C goes to 510, image 22.
    EXPECT_TRUE(tiles.ToggleLink());
    EXPECT_TRUE(tiles.Step(1, 2));
    EXPECT_EQ(tiles.ImageOf(2), 22);
    EXPECT_EQ(tiles.ImageOf(0), 5);
    // Unlinked, the prior study stays again.
    EXPECT_FALSE(tiles.ToggleLink());
    EXPECT_TRUE(tiles.Step(1, -1));
    EXPECT_EQ(tiles.ImageOf(2), 22);
    // Held at the series' end: no change, nothing to repaint.
    EXPECT_TRUE(tiles.Step(1, 100));
    EXPECT_EQ(tiles.ImageOf(1), 19);
    EXPECT_FALSE(tiles.Step(1, 1));

    tiles.Leave();
    EXPECT_FALSE(tiles.Active());
    EXPECT_EQ(tiles.ImageOf(1), -1);
}

TEST(TileSeriesTest, AFollowerPastItsEndSaysOutOfRangeInsteadOfShowingItsLastSlice)
{
    Study study;
    // A fourth series of the same frame of reference covering only z = 0 ... 10.
    study.facts.push_back(study.facts[0]);
    study.facts.back().seriesInstanceUid = "D";
    for (int k = 0; k < 10; ++k)
    {
        study.frames.push_back(Axial(k < 3 ? 5.0 * k : 5.0 * (k % 3)));
    }
    TileSeries tiles([] { return 40; },
                     [&study](int index) {
                         return TileSeries::ImageInfo{&study.facts[static_cast<std::size_t>(index / 10)],
                                                      &study.frames[static_cast<std::size_t>(index)]};
                     });
    const std::vector<int> shown = {0, 30};
    ASSERT_TRUE(tiles.Show(3, 1, shown));
    ASSERT_TRUE(tiles.Show(0, 0, shown));
    // A at z = 30: D's nearest slice (z = 10) is 20 mm away.
    EXPECT_TRUE(tiles.Step(0, 6));
    EXPECT_TRUE(tiles.OutOfRange(1));
    EXPECT_EQ(tiles.ImageOf(1), -1);
    // Back at z = 10: in range again.
    EXPECT_TRUE(tiles.Step(0, -4));
    EXPECT_FALSE(tiles.OutOfRange(1));
    EXPECT_EQ(tiles.ImageOf(1), 32);
}

TEST(ViewerSeriesTest, GroupsInOrderOfFirstAppearanceAcrossStudies)
{
    const std::vector<ViewerSeriesKey> images = {{"s1", "t2"}, {"s1", "t2"}, {"s1", "t1"}, {"s2", "t2"},
                                                 {"s1", "t2"}, {"s1", ""},   {"s2", ""}};
    const std::vector<ViewerSeries> series = GroupViewerSeries(images);
    ASSERT_EQ(series.size(), 5u);
    EXPECT_EQ(series[0].images, (std::vector<int>{0, 1, 4}));
    EXPECT_EQ(series[0].firstImage, 0);
    EXPECT_EQ(series[0].imageCount, 3);
    // The same series UID in another study is another series.
    EXPECT_EQ(series[2].studyInstanceUid, "s2");
    EXPECT_EQ(series[2].images, (std::vector<int>{3}));
    EXPECT_EQ(series[3].images, (std::vector<int>{5}));
    EXPECT_EQ(PlaceInSeries(series[0], 4), 2);
    EXPECT_EQ(PlaceInSeries(series[0], 2), -1);
}

// One frame of a multi-frame image: a classic one, or an enhanced one's functional groups with a Stack ID, tilted by
// some degrees (NaN: no plane), at a height.
struct StackFrame
{
    bool enhanced;
    const char* stackId;
    double degrees;
    double z = 0.0;
};

struct StackCase
{
    const char* name;
    std::vector<StackFrame> frames;
    std::vector<std::vector<int>> series;
};

class StackSplitTest : public ::testing::TestWithParam<StackCase>
{
};

constexpr double kNoPlane = std::numeric_limits<double>::quiet_NaN();

// One series UID throughout: only an enhanced image's stacks and orientations make more than one series, each
// holding its own frames along its normal, and each frame found at its place there.
TEST_P(StackSplitTest, SplitsEnhancedFramesByStackAndOrientation)
{
    std::vector<FrameAttributes> frames;
    for (const StackFrame& f : GetParam().frames)
    {
        FrameAttributes a = std::isnan(f.degrees) ? FrameAttributes{} : Axial(f.z, "1.2.3", f.degrees);
        a.fromFunctionalGroups = f.enhanced;
        a.stackId = f.stackId;
        frames.push_back(a);
    }
    std::vector<ViewerSeriesKey> keys;
    for (const FrameAttributes& frame : frames)
    {
        keys.push_back({"study", "series", &frame});
    }
    const std::vector<ViewerSeries> series = GroupViewerSeries(keys);
    ASSERT_EQ(series.size(), GetParam().series.size());
    for (std::size_t s = 0; s < series.size(); ++s)
    {
        EXPECT_EQ(series[s].images, GetParam().series[s]) << "series " << s;
        EXPECT_EQ(series[s].part, static_cast<int>(s));
        EXPECT_EQ(series[s].stackId, frames[static_cast<std::size_t>(series[s].firstImage)].stackId);
        for (std::size_t k = 0; k < series[s].images.size(); ++k)
        {
            EXPECT_EQ(PlaceInSeries(series[s], series[s].images[k]), static_cast<int>(k)) << "series " << s;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, StackSplitTest,
    ::testing::Values(
        StackCase{"ClassicFramesOfTwoOrientationsStayOne",
                  {{false, "", 0.0}, {false, "", 90.0}, {false, "", 0.0}},
                  {{0, 1, 2}}},
        StackCase{"OneEnhancedStackStaysOne", {{true, "1", 0.0}, {true, "1", 0.0}, {true, "1", 0.5}}, {{0, 1, 2}}},
        StackCase{"TwoStackIdsInterleaved",
                  {{true, "1", 0.0}, {true, "2", 0.0}, {true, "1", 0.0}, {true, "2", 0.0}},
                  {{0, 2}, {1, 3}}},
        StackCase{"TwoOrientationsWithoutStackIds",
                  {{true, "", 0.0}, {true, "", 90.0}, {true, "", 0.0}, {true, "", 2.0}},
                  {{0, 2}, {1}, {3}}},
        StackCase{"PlanelessFramesJoinTheFirstStackOfTheirIdAfterItsPlacedFrames",
                  {{true, "1", kNoPlane}, {true, "1", 90.0}, {true, "1", 0.0}, {true, "1", kNoPlane}},
                  {{1, 0, 3}, {2}}},
        StackCase{"ClassicImagesKeepTheListsOrder",
                  {{false, "", 0.0, 10.0}, {false, "", 0.0, 0.0}, {false, "", 0.0, 5.0}},
                  {{0, 1, 2}}},
        StackCase{"StackFramesOrderedAlongTheNormal",
                  {{true, "1", 0.0, 0.0}, {true, "1", 0.0, 10.0}, {true, "1", 0.0, 5.0}, {true, "1", 0.0, 15.0}},
                  {{0, 2, 1, 3}}},
        StackCase{"StackWrittenDownwardsKeepsItsDirection",
                  {{true, "1", 0.0, 15.0}, {true, "1", 0.0, 5.0}, {true, "1", 0.0, 10.0}, {true, "1", 0.0, 0.0}},
                  {{0, 2, 1, 3}}},
        StackCase{"FramesOnOnePlaneKeepTheirOrderUntilOneMoves",
                  {{true, "1", 0.0, 5.0}, {true, "1", 0.0, 5.0}, {true, "1", 0.0, 0.0}, {true, "1", 0.0, 5.0}},
                  {{0, 1, 3, 2}}},
        StackCase{"TwoStacksEachInTheDirectionOfItsOwnFrames",
                  {{true, "1", 0.0, 0.0},
                   {true, "2", 0.0, 20.0},
                   {true, "1", 0.0, 10.0},
                   {true, "2", 0.0, 10.0},
                   {true, "1", 0.0, 5.0},
                   {true, "2", 0.0, 15.0}},
                  {{0, 4, 2}, {1, 5, 3}}},
        StackCase{"ClassicAndEnhancedFilesOfOneSeriesStayApart",
                  {{false, "", 0.0}, {true, "", 0.0}, {false, "", 0.0}},
                  {{0, 2}, {1}}}),
    test::ByCaseName());

} // namespace
} // namespace orblane
