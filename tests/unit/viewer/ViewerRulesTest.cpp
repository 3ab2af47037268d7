// The viewer's paging and drag rules, with expected pages worked by hand from what a user sees: which image the
// page starts at, which tiles get images that were not on the page before, and what each button does in each mode.
#include "imaging/ViewerRules.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

namespace orblane {
namespace {

struct PagingCase
{
    const char* name;
    bool (*rule)(const PageState&, PageStep&);
    PageState page;
    bool possible;
    PageStep expected;
};

class PagingRuleTest : public ::testing::TestWithParam<PagingCase>
{
};

TEST_P(PagingRuleTest, AnswersTheNewPageAndTheTilesToFit)
{
    const PagingCase& c = GetParam();
    PageStep step{-7, -7, -7, true};
    ASSERT_EQ(c.rule(c.page, step), c.possible);
    if (!c.possible)
    {
        EXPECT_EQ(step.newFirst, -7);
        return;
    }
    EXPECT_EQ(step.newFirst, c.expected.newFirst);
    EXPECT_EQ(step.fitBegin, c.expected.fitBegin);
    EXPECT_EQ(step.fitEnd, c.expected.fitEnd);
    EXPECT_EQ(step.prefetchNext, c.expected.prefetchNext);
}

// {first, tiles, decoded}; {newFirst, fitBegin, fitEnd, prefetch}.
const PagingCase kPagingCases[] = {
    // 2 x 2 over images 0-3 of 5 decoded: image 4 comes in at the last tile.
    {"NextImageBringsOneNewcomer", &NextImageStep, {0, 4, 5}, true, {1, 3, 4, true}},
    {"NextImageStopsAtTheLastDecoded", &NextImageStep, {1, 4, 5}, false, {}},
    {"NextPageFitsTheWholePage", &NextPageStep, {0, 4, 5}, true, {4, 0, 4, true}},
    {"NextPageNeedsAnImageAfterThePage", &NextPageStep, {0, 4, 4}, false, {}},
    {"PreviousImageBringsBackTheFirstTile", &PreviousImageStep, {3, 4, 9}, true, {2, 0, 1, true}},
    {"PreviousImageAtTheStartDoesNothing", &PreviousImageStep, {0, 4, 9}, false, {}},
    // From image 2 a page back starts at 0; images 2 and 3 were shown and keep their view.
    {"PreviousPageFromTwoFitsOnlyTheTwoComingBack", &PreviousPageStep, {2, 4, 9}, true, {0, 0, 2, false}},
    {"PreviousPageFromEightFitsAll", &PreviousPageStep, {8, 4, 12}, true, {4, 0, 4, false}},
    {"FirstPageFromFarAwayFitsAll", &FirstPageStep, {20, 9, 40}, true, {0, 0, 9, false}},
    {"FirstPageFromOneKeepsTheImagesShown", &FirstPageStep, {1, 4, 9}, true, {0, 0, 1, false}},
    {"FirstPageThereAlready", &FirstPageStep, {0, 4, 9}, false, {}},
    // 10 images in 2 x 2: the last page shows 6-9, a full page; 0-3 were shown, none stays.
    {"LastPageIsAFullPageEndingWithTheLastImage", &LastPageStep, {0, 4, 10}, true, {6, 0, 4, false}},
    {"LastPageOverlappingKeepsTheShared", &LastPageStep, {5, 4, 10}, true, {6, 3, 4, false}},
    {"LastPageThereAlready", &LastPageStep, {6, 4, 10}, false, {}},
    {"OneByOneLastOfThree", &LastPageStep, {0, 1, 3}, true, {2, 0, 1, false}},
};

INSTANTIATE_TEST_SUITE_P(Steps, PagingRuleTest, ::testing::ValuesIn(kPagingCases), test::ByCaseName{});

TEST(DragRuleTest, LeftFollowsTheModeRightAlwaysWindowsMiddleAlwaysPans)
{
    struct Row
    {
        ViewerMode mode;
        DragKind left;
    };
    const Row rows[] = {{ViewerMode::Pan, DragKind::Pan},
                        {ViewerMode::ZoomIn, DragKind::ZoomInClick},
                        {ViewerMode::ZoomOut, DragKind::ZoomOutClick},
                        {ViewerMode::Contrast, DragKind::Window},
                        {ViewerMode::Select, DragKind::None}};
    for (const Row& row : rows)
    {
        const int m = static_cast<int>(row.mode);
        EXPECT_EQ(DragFor(row.mode, PointerButton::Left), row.left) << m;
        EXPECT_EQ(DragFor(row.mode, PointerButton::Right), DragKind::Window) << m;
        EXPECT_EQ(DragFor(row.mode, PointerButton::Middle), DragKind::Pan) << m;
        EXPECT_EQ(DragFor(row.mode, PointerButton::Other), DragKind::None) << m;
    }
}

} // namespace
} // namespace orblane
