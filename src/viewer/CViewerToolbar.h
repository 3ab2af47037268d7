#pragma once

#include "imaging/ViewerRules.h"

#include <QPoint>

#include <array>
#include <functional>
#include <string>

class QAbstractButton;
class QWidget;

namespace orblane {

class CBitmapCheckBox;

// The viewer's fifteen toolbar controls: building them, placing them as the window's width changes, and which are
// enabled or checked. The controls are the owner's own children, so focus order, names and geometry are the
// owner's; a click reaches the owner as the control's command id, and what a command does is the owner's business.
class CViewerToolbar
{
public:
    // Margin, control size, and the width one row of controls needs; a narrower owner wraps the controls that pass
    // its right edge onto further rows, each a control and a margin lower.
    static constexpr int kMargin = 4;
    static constexpr int kControlSize = 64;
    static constexpr int kWidth = 980 + kControlSize + kMargin;
    static constexpr std::size_t kControlCount = 15;

    // Builds the controls on owner, left to right; every click runs command with the control's id.
    void Create(QWidget* owner, const std::function<void(int)>& command);
    bool Created() const noexcept { return owner != nullptr; }
    // Places the controls for the owner's width and answers the top of what lies below them.
    int Layout(int width);
    // The control with this command id, or null (before Create too).
    QWidget* Control(int id) const;
    // The push buttons are built hidden (but the end button) and shown once the page is laid out.
    void ShowButtons();
    // [ToolTips] of the information settings by control name, else the built-in text.
    void ApplyToolTips(const std::string& infoPath);
    // The paging buttons follow what a step can do.
    void EnablePaging(bool forward, bool back);
    // The mode boxes act as radio buttons: a click checks its own box, this unchecks the others.
    void UncheckModesBut(ViewerMode mode);
    void CheckMode(ViewerMode mode);
    bool OverlayChecked() const;
    void SetOverlayChecked(bool checked);
    // Where the pattern chooser opens: below the pattern button, in global coordinates.
    QPoint PatternAnchor() const;

private:
    CBitmapCheckBox* ModeBox(ViewerMode mode) const;

    QWidget* owner = nullptr;
    // In the order of the table, left to right.
    std::array<QAbstractButton*, kControlCount> controls{};
};

} // namespace orblane
