#include "imaging/ViewerRules.h"

#include <algorithm>

namespace orblane {
namespace {

// Moves the page to newFirst: the tiles whose images were not on the old page are the ones to fit.
PageStep StepTo(const PageState& page, int newFirst, bool prefetchNext) noexcept
{
    PageStep step;
    step.newFirst = newFirst;
    step.prefetchNext = prefetchNext;
    if (newFirst < page.first)
    {
        // Images before the old page come in at the top.
        step.fitBegin = 0;
        step.fitEnd = std::min(page.tileCount, page.first - newFirst);
    }
    else
    {
        // Images after the old page come in at the bottom; the difference is compared before anything is added.
        const int kept = newFirst - page.first >= page.tileCount ? 0 : page.tileCount - (newFirst - page.first);
        step.fitBegin = kept;
        step.fitEnd = page.tileCount;
    }
    return step;
}

} // namespace

bool CanPageForward(const PageState& page) noexcept
{
    return page.decoded - page.first > page.tileCount;
}

bool CanPageBack(const PageState& page) noexcept
{
    return page.first > 0;
}

bool NextImageStep(const PageState& page, PageStep& step) noexcept
{
    if (!CanPageForward(page))
    {
        return false;
    }
    step = StepTo(page, page.first + 1, true);
    return true;
}

bool PreviousImageStep(const PageState& page, PageStep& step) noexcept
{
    if (!CanPageBack(page))
    {
        return false;
    }
    step = StepTo(page, page.first - 1, true);
    return true;
}

bool NextPageStep(const PageState& page, PageStep& step) noexcept
{
    if (!CanPageForward(page))
    {
        return false;
    }
    step = StepTo(page, page.first + page.tileCount, true);
    return true;
}

bool PreviousPageStep(const PageState& page, PageStep& step) noexcept
{
    if (!CanPageBack(page))
    {
        return false;
    }
    // Going back the image after the page was seen already: nothing to decode ahead.
    step = StepTo(page, std::max(0, page.first - page.tileCount), false);
    return true;
}

bool FirstPageStep(const PageState& page, PageStep& step) noexcept
{
    if (!CanPageBack(page))
    {
        return false;
    }
    step = StepTo(page, 0, false);
    return true;
}

bool LastPageStep(const PageState& page, PageStep& step) noexcept
{
    if (!CanPageForward(page))
    {
        return false;
    }
    step = StepTo(page, std::max(0, page.decoded - page.tileCount), false);
    return true;
}

DragKind DragFor(ViewerMode mode, PointerButton button) noexcept
{
    switch (button)
    {
    case PointerButton::Right:
        return DragKind::Window;
    case PointerButton::Middle:
        return DragKind::Pan;
    case PointerButton::Other:
        return DragKind::None;
    case PointerButton::Left:
        break;
    }
    switch (mode)
    {
    case ViewerMode::Pan:
        return DragKind::Pan;
    case ViewerMode::ZoomIn:
        return DragKind::ZoomInClick;
    case ViewerMode::ZoomOut:
        return DragKind::ZoomOutClick;
    case ViewerMode::Contrast:
        return DragKind::Window;
    case ViewerMode::Select:
        break;
    }
    return DragKind::None;
}

} // namespace orblane
