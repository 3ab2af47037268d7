#pragma once

// The viewer's decisions that need no window system: which images a paging step shows and which tiles it fits, when
// a step is possible, and which drag a mouse press starts. The viewer (Qt) asks these; they are tested alone.
namespace orblane {

// Mouse modes of the viewer's page, as its mode boxes choose them.
enum class ViewerMode : int
{
    Pan = 0,
    ZoomIn = 1,
    ZoomOut = 2,
    Contrast = 3,
    Select = 4,
};

// Where the page stands: the first image shown, the number of tiles shown, and how many images are decoded.
struct PageState
{
    int first = 0;
    int tileCount = 1;
    int decoded = 0;
};

// A paging step: the new first image, the tiles [fitBegin, fitEnd) whose images were not on the page before (they
// are fitted; the others keep their view), and whether the image after the new page is decoded ahead.
struct PageStep
{
    int newFirst = 0;
    int fitBegin = 0;
    int fitEnd = 0;
    bool prefetchNext = false;
};

// A step only counts decoded images: forward is possible while an image follows the page, back while the page does
// not start at the first image. A step that is not possible answers false and leaves `step` alone.
bool CanPageForward(const PageState& page) noexcept;
bool CanPageBack(const PageState& page) noexcept;
bool NextImageStep(const PageState& page, PageStep& step) noexcept;
bool PreviousImageStep(const PageState& page, PageStep& step) noexcept;
bool NextPageStep(const PageState& page, PageStep& step) noexcept;
bool PreviousPageStep(const PageState& page, PageStep& step) noexcept;
// The first page starts at image 0; the last page ends with the last decoded image (a full page when there are
// enough images). Answers false when the page is there already.
bool FirstPageStep(const PageState& page, PageStep& step) noexcept;
bool LastPageStep(const PageState& page, PageStep& step) noexcept;

enum class PointerButton : int
{
    Left,
    Middle,
    Right,
    Other,
};

// What a press starts. ZoomInClick and ZoomOutClick pan while the mouse moves and zoom when it is released where it
// went down.
enum class DragKind : int
{
    None,
    Pan,
    ZoomInClick,
    ZoomOutClick,
    Window,
};

// The left button does what the mode says; the right button always drags the window and the middle button always
// pans, so that neither needs the mode box changed.
DragKind DragFor(ViewerMode mode, PointerButton button) noexcept;

} // namespace orblane
