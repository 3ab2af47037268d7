#pragma once

// The viewer's keyboard as plain values: which action a key with its modifiers asks for. It needs no window system,
// so the whole map is tested alone; the viewer (Qt) hands each key press over and runs the action it gets back.
namespace orblane {

// Key codes. A printable key is its character, letters in upper case; the others carry the numbers Qt gives them, so
// the viewer passes its events' codes through unchanged (it checks at compile time that the two agree).
enum ViewerKeyCode : int
{
    kKeySpace = ' ',
    kKeyEscape = 0x01000000,
    kKeyReturn = 0x01000004,
    kKeyEnter = 0x01000005,
    kKeyDelete = 0x01000007,
    kKeyHome = 0x01000010,
    kKeyEnd = 0x01000011,
    kKeyLeft = 0x01000012,
    kKeyUp = 0x01000013,
    kKeyRight = 0x01000014,
    kKeyDown = 0x01000015,
    kKeyPageUp = 0x01000016,
    kKeyPageDown = 0x01000017,
};

// Modifier flags, or-ed together.
enum ViewerKeyModifier : unsigned
{
    kModifierNone = 0,
    kModifierShift = 1U << 0U,
    kModifierCtrl = 1U << 1U,
    kModifierAlt = 1U << 2U,
    kModifierMeta = 1U << 3U,
};

enum class ViewerAction : int
{
    // Not a viewer key: the press goes on to the window as any other.
    None,
    // Esc ends the viewer.
    Escape,
    // Taken and nothing done: Enter is not the dialog's default button on the page.
    Swallow,
    NextImage,
    PreviousImage,
    NextPage,
    PreviousPage,
    FirstPage,
    LastPage,
    ZoomInCentre,
    ZoomOutCentre,
    Fit,
    Reset,
    Save,
    ToggleOverlay,
    Invert,
    Cine,
    // The study's reports (D: "document"), when it holds any.
    Reports,
    // Shows or hides the series strip (S: "series").
    ToggleSeriesStrip,
    // A window preset by digit for every image of the page, or (with Shift) for the current tile: 0 the file's
    // window, 1-6 the CT presets, 9 the full value range.
    PresetPage,
    PresetTile,
    // P: every tile back to paging through the study. X: reference lines on / off. Y: links the tiles' series for
    // scrolling together by distance, or unlinks them.
    ReturnToPaging,
    ToggleReferenceLines,
    LinkTiles,
    // The measuring tools (L length, A angle, E ellipse, B box); the same key again gives the toolbar's mode back.
    MeasureLength,
    MeasureAngle,
    MeasureEllipse,
    MeasureRectangle,
    // Delete: the selected measurement; C: every measurement of the current image.
    DeleteMeasurement,
    ClearMeasurements,
    // O: the overlay planes alone (the attribute overlay's I shows or hides them with it).
    ToggleOverlayPlanes,
};

struct KeyAction
{
    ViewerAction action = ViewerAction::None;
    // The preset's digit for PresetPage and PresetTile, else 0.
    int digit = 0;
};

// Alt or Meta make any key but Esc and Enter someone else's; Ctrl must be asked for (Ctrl+S) and Shift is ignored
// where a layout needs it to reach the key ("+" on a US layout) or the key means the same with it (paging).
KeyAction ViewerKeyAction(int key, unsigned modifiers) noexcept;

} // namespace orblane
