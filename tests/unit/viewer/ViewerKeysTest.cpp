// The viewer's keys as a user presses them, expected actions taken from the toolbar's tooltips and the keys a US
// layout needs Shift for: what runs, what is left to the window, and what a modifier changes.
#include "imaging/ViewerKeys.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

namespace orblane {
namespace {

struct KeyCase
{
    const char* name;
    int key;
    unsigned modifiers;
    ViewerAction action;
    int digit;
};

class ViewerKeysTest : public ::testing::TestWithParam<KeyCase>
{
};

TEST_P(ViewerKeysTest, AnswersTheActionOfTheKey)
{
    const KeyCase& c = GetParam();
    const KeyAction got = ViewerKeyAction(c.key, c.modifiers);
    EXPECT_EQ(static_cast<int>(got.action), static_cast<int>(c.action));
    EXPECT_EQ(got.digit, c.digit);
}

constexpr unsigned kShift = kModifierShift;
constexpr unsigned kCtrl = kModifierCtrl;
using A = ViewerAction;

const KeyCase kKeyCases[] = {
    {"PageDownIsNextPage", kKeyPageDown, 0, A::NextPage, 0},
    {"ShiftPageUpStillPages", kKeyPageUp, kShift, A::PreviousPage, 0},
    {"DownStepsForward", kKeyDown, 0, A::NextImage, 0},
    {"RightStepsForward", kKeyRight, 0, A::NextImage, 0},
    {"UpStepsBack", kKeyUp, 0, A::PreviousImage, 0},
    {"ShiftLeftStepsBack", kKeyLeft, kShift, A::PreviousImage, 0},
    {"HomeIsFirstPage", kKeyHome, 0, A::FirstPage, 0},
    {"EndIsLastPage", kKeyEnd, 0, A::LastPage, 0},
    {"CtrlHomeIsNotPaging", kKeyHome, kCtrl, A::None, 0},
    {"ShiftPlusZoomsIn", '+', kShift, A::ZoomInCentre, 0},
    {"EqualsZoomsInWithoutShift", '=', 0, A::ZoomInCentre, 0},
    {"MinusZoomsOut", '-', 0, A::ZoomOutCentre, 0},
    {"FFits", 'F', 0, A::Fit, 0},
    {"ShiftFIsNothing", 'F', kShift, A::None, 0},
    {"RResets", 'R', 0, A::Reset, 0},
    {"ITogglesTheOverlay", 'I', 0, A::ToggleOverlay, 0},
    {"NInverts", 'N', 0, A::Invert, 0},
    {"CtrlSSaves", 'S', kCtrl, A::Save, 0},
    {"CtrlShiftSIsNothing", 'S', kCtrl | kShift, A::None, 0},
    {"SpacePlaysCine", kKeySpace, 0, A::Cine, 0},
    {"DOpensTheReports", 'D', 0, A::Reports, 0},
    {"ShiftDIsNothing", 'D', kShift, A::None, 0},
    {"STogglesTheSeriesStrip", 'S', 0, A::ToggleSeriesStrip, 0},
    {"ShiftSIsNothing", 'S', kShift, A::None, 0},
    {"PReturnsToPaging", 'P', 0, A::ReturnToPaging, 0},
    {"XTogglesReferenceLines", 'X', 0, A::ToggleReferenceLines, 0},
    {"YLinksTheTiles", 'Y', 0, A::LinkTiles, 0},
    {"CtrlYIsNothing", 'Y', kCtrl, A::None, 0},
    {"ThreeIsThePagePreset", '3', 0, A::PresetPage, 3},
    {"ZeroIsTheFilesWindow", '0', 0, A::PresetPage, 0},
    {"ShiftThreeOnTheKeypadIsTheTilePreset", '3', kShift, A::PresetTile, 3},
    {"HashIsTheTilePresetThree", '#', kShift, A::PresetTile, 3},
    {"ShiftedParenRightIsTileZero", ')', kShift, A::PresetTile, 0},
    {"ShiftedParenLeftIsTileNine", '(', kShift, A::PresetTile, 9},
    {"UnshiftedParenIsNothing", '(', 0, A::None, 0},
    {"AmpersandHasNoPreset", '&', kShift, A::None, 0},
    {"CtrlDigitIsNothing", '5', kCtrl, A::None, 0},
    {"AltDigitIsNothing", '5', kModifierAlt, A::None, 0},
    {"MetaPageDownIsNothing", kKeyPageDown, kModifierMeta, A::None, 0},
    {"EscapeEndsWhateverTheModifiers", kKeyEscape, kModifierAlt | kCtrl, A::Escape, 0},
    {"ReturnIsSwallowed", kKeyReturn, 0, A::Swallow, 0},
    {"KeypadEnterIsSwallowedWithAlt", kKeyEnter, kModifierAlt, A::Swallow, 0},
    {"LowerCaseCodeIsNotALetterKey", 'f', 0, A::None, 0},
    {"LIsTheLengthTool", 'L', 0, A::MeasureLength, 0},
    {"AIsTheAngleTool", 'A', 0, A::MeasureAngle, 0},
    {"EIsTheEllipseTool", 'E', 0, A::MeasureEllipse, 0},
    {"BIsTheBoxTool", 'B', 0, A::MeasureRectangle, 0},
    {"CtrlAIsNoTool", 'A', kCtrl, A::None, 0},
    {"DeleteDeletesTheMeasurement", kKeyDelete, 0, A::DeleteMeasurement, 0},
    {"CClearsTheImage", 'C', 0, A::ClearMeasurements, 0},
    {"CtrlCIsNotClearing", 'C', kCtrl, A::None, 0},
    {"OTogglesOverlayPlanes", 'O', 0, A::ToggleOverlayPlanes, 0},
};

INSTANTIATE_TEST_SUITE_P(Keys, ViewerKeysTest, ::testing::ValuesIn(kKeyCases), test::ByCaseName{});

} // namespace
} // namespace orblane
