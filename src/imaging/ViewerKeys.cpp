#include "imaging/ViewerKeys.h"

#include <utility>

namespace orblane {
namespace {

// Shift is either required, refused, or (for keys that some layouts reach only with Shift, as "+") ignored; Ctrl
// must match exactly.
enum class ShiftRule : int
{
    Without,
    With,
    Either,
};
struct KeyRow
{
    int key;
    bool ctrl;
    ShiftRule shift;
    ViewerAction action;
};

constexpr KeyRow kKeys[] = {
    {kKeyPageDown, false, ShiftRule::Either, ViewerAction::NextPage},
    {kKeyPageUp, false, ShiftRule::Either, ViewerAction::PreviousPage},
    {kKeyDown, false, ShiftRule::Either, ViewerAction::NextImage},
    {kKeyRight, false, ShiftRule::Either, ViewerAction::NextImage},
    {kKeyUp, false, ShiftRule::Either, ViewerAction::PreviousImage},
    {kKeyLeft, false, ShiftRule::Either, ViewerAction::PreviousImage},
    {kKeyHome, false, ShiftRule::Either, ViewerAction::FirstPage},
    {kKeyEnd, false, ShiftRule::Either, ViewerAction::LastPage},
    {'+', false, ShiftRule::Either, ViewerAction::ZoomInCentre},
    {'=', false, ShiftRule::Either, ViewerAction::ZoomInCentre},
    {'-', false, ShiftRule::Either, ViewerAction::ZoomOutCentre},
    {'F', false, ShiftRule::Without, ViewerAction::Fit},
    {'R', false, ShiftRule::Without, ViewerAction::Reset},
    {'I', false, ShiftRule::Without, ViewerAction::ToggleOverlay},
    {'N', false, ShiftRule::Without, ViewerAction::Invert},
    {'S', true, ShiftRule::Without, ViewerAction::Save},
    {kKeySpace, false, ShiftRule::Without, ViewerAction::Cine},
    {'D', false, ShiftRule::Without, ViewerAction::Reports},
    {'S', false, ShiftRule::Without, ViewerAction::ToggleSeriesStrip},
    {'P', false, ShiftRule::Without, ViewerAction::ReturnToPaging},
    {'X', false, ShiftRule::Without, ViewerAction::ToggleReferenceLines},
    {'Y', false, ShiftRule::Without, ViewerAction::LinkTiles},
    {'L', false, ShiftRule::Without, ViewerAction::MeasureLength},
    {'A', false, ShiftRule::Without, ViewerAction::MeasureAngle},
    {'E', false, ShiftRule::Without, ViewerAction::MeasureEllipse},
    {'B', false, ShiftRule::Without, ViewerAction::MeasureRectangle},
    {kKeyDelete, false, ShiftRule::Without, ViewerAction::DeleteMeasurement},
    {'C', false, ShiftRule::Without, ViewerAction::ClearMeasurements},
    {'O', false, ShiftRule::Without, ViewerAction::ToggleOverlayPlanes},
};

// The digit of a preset key: "0"-"9" (keypad too), and with Shift the symbols a US layout types on the digit keys.
// Answers -1 for other keys.
int PresetDigit(int key, bool shift) noexcept
{
    if (key >= '0' && key <= '9')
    {
        return key - '0';
    }
    if (!shift)
    {
        return -1;
    }
    constexpr std::pair<int, int> kShifted[] = {{')', 0}, {'!', 1}, {'@', 2}, {'#', 3},
                                                {'$', 4}, {'%', 5}, {'^', 6}, {'(', 9}};
    for (const auto& [symbol, digit] : kShifted)
    {
        if (symbol == key)
        {
            return digit;
        }
    }
    return -1;
}

} // namespace

KeyAction ViewerKeyAction(int key, unsigned modifiers) noexcept
{
    if (key == kKeyEscape)
    {
        return {ViewerAction::Escape, 0};
    }
    if (key == kKeyReturn || key == kKeyEnter)
    {
        return {ViewerAction::Swallow, 0};
    }
    if ((modifiers & (kModifierAlt | kModifierMeta)) != 0)
    {
        return {};
    }
    const bool ctrl = (modifiers & kModifierCtrl) != 0;
    const bool shift = (modifiers & kModifierShift) != 0;
    for (const KeyRow& row : kKeys)
    {
        const bool shiftMatches = row.shift == ShiftRule::Either || (row.shift == ShiftRule::With) == shift;
        if (row.key == key && row.ctrl == ctrl && shiftMatches)
        {
            return {row.action, 0};
        }
    }
    const int digit = PresetDigit(key, shift);
    if (digit >= 0 && !ctrl)
    {
        return {shift ? ViewerAction::PresetTile : ViewerAction::PresetPage, digit};
    }
    return {};
}

} // namespace orblane
