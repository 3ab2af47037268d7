#include "viewer/CViewerToolbar.h"

#include "platform/IniFile.h"
#include "viewer/CDlgImgViewer.h"
#include "widgets/CBitmapButton.h"
#include "widgets/CBitmapCheckBox.h"

#include <QWidget>

#include <optional>

namespace orblane {
namespace {

enum class ControlKind : int
{
    // Behave as radio buttons, each choosing a mouse mode.
    ModeBox,
    // The overlay box: a click flips it.
    ToggleBox,
    Button,
};

// A control: where it sits, its bitmap name, its command, what kind it is, the mode a mode box chooses, and the
// tooltip shown unless the settings give one.
struct ToolbarRow
{
    int x;
    const char* name;
    int id;
    ControlKind kind;
    ViewerMode mode;
    const char* toolTip;
};

using V = CDlgImgViewer;
constexpr ViewerMode kNoMode = ViewerMode::Select;
// Left to right, in creation order.
constexpr ToolbarRow kRows[] = {
    {4, "ZOOMIN", V::kZoomInBox, ControlKind::ModeBox, ViewerMode::ZoomIn,
     "Zoom in (click; + zooms the current image)"},
    {72, "ZOOMOUT", V::kZoomOutBox, ControlKind::ModeBox, ViewerMode::ZoomOut,
     "Zoom out (click; - zooms the current image)"},
    {140, "MODEPAN", V::kPanBox, ControlKind::ModeBox, ViewerMode::Pan,
     "Pan (drag; the middle button pans in any mode)"},
    {208, "MODECONT", V::kContrastBox, ControlKind::ModeBox, ViewerMode::Contrast,
     "Window/level (drag; the right button does it in any mode)"},
    {276, "SELECT", V::kSelectBox, ControlKind::ModeBox, ViewerMode::Select, "Select an image"},
    {350, "IMGFIT", V::kFitButton, ControlKind::Button, kNoMode, "Fit to tile (F)"},
    {419, "RESET", V::kResetButton, ControlKind::Button, kNoMode, "Reset window and fit (R)"},
    {492, "BEFOREIMG", V::kPreviousImageButton, ControlKind::Button, kNoMode, "Previous image (Up, Left, wheel up)"},
    {560, "NEXTIMG", V::kNextImageButton, ControlKind::Button, kNoMode, "Next image (Down, Right, wheel down)"},
    {628, "BEFOREPAGE", V::kPreviousPageButton, ControlKind::Button, kNoMode,
     "Previous page (Page Up, Shift+wheel up)"},
    {696, "NEXTPAGE", V::kNextPageButton, ControlKind::Button, kNoMode, "Next page (Page Down, Shift+wheel down)"},
    {770, "SAVEIMG", V::kSaveButton, ControlKind::Button, kNoMode, "Save image (Ctrl+S)"},
    {838, "CHGIMGPTN", V::kPatternButton, ControlKind::Button, kNoMode, "Change pattern"},
    {912, "IMGINFO", V::kOverlayBox, ControlKind::ToggleBox, kNoMode, "Show or hide image information (I)"},
    {980, "VIEWEND", V::kEndButton, ControlKind::Button, kNoMode, "Close the viewer"},
};
static_assert(std::size(kRows) == CViewerToolbar::kControlCount);

std::optional<std::size_t> RowOf(int id) noexcept
{
    for (std::size_t i = 0; i < std::size(kRows); ++i)
    {
        if (kRows[i].id == id)
        {
            return i;
        }
    }
    return std::nullopt;
}

} // namespace

void CViewerToolbar::Create(QWidget* newOwner, const std::function<void(int)>& command)
{
    owner = newOwner;
    for (std::size_t i = 0; i < std::size(kRows); ++i)
    {
        const ToolbarRow& row = kRows[i];
        const QRect place(row.x, kMargin, kControlSize, kControlSize);
        const QString name = QString::fromLatin1(row.name);
        QAbstractButton* created = nullptr;
        if (row.kind != ControlKind::Button)
        {
            auto* box = new CBitmapCheckBox(owner);
            // The mode boxes behave as radio buttons; only the overlay box toggles.
            box->Create(place, owner, row.id, row.kind == ControlKind::ToggleBox);
            box->LoadBitmaps(name);
            QObject::connect(box, &CBitmapCheckBox::Command, owner, command);
            created = box;
        }
        else
        {
            auto* button = new CBitmapButton(owner);
            button->Create(name, place, owner, row.id, row.id == V::kEndButton);
            button->LoadBitmaps();
            QObject::connect(button, &CBitmapButton::Command, owner, command);
            created = button;
        }
        created->setObjectName(name);
        // The mode cursors belong to the page; the toolbar always shows the arrow.
        created->setCursor(Qt::ArrowCursor);
        // Tab reaches the controls; a click leaves the keyboard with the page, where the viewer's keys work.
        created->setFocusPolicy(Qt::TabFocus);
        controls[i] = created;
    }
}

int CViewerToolbar::Layout(int width)
{
    // Greedy wrapping keeps the table's gaps and its groups' order; an owner as wide as the table changes nothing.
    int shift = 0;
    int y = kMargin;
    for (std::size_t i = 0; i < std::size(kRows); ++i)
    {
        const ToolbarRow& row = kRows[i];
        const bool passesEdge = row.x - shift + kControlSize > width - kMargin;
        if (passesEdge && row.x - shift > kMargin)
        {
            shift = row.x - kMargin;
            y += kControlSize + kMargin;
        }
        if (QAbstractButton* control = controls[i])
        {
            control->setGeometry(row.x - shift, y, kControlSize, kControlSize);
        }
    }
    return y + kControlSize + kMargin;
}

QWidget* CViewerToolbar::Control(int id) const
{
    const std::optional<std::size_t> row = RowOf(id);
    return row ? controls[*row] : nullptr;
}

void CViewerToolbar::ShowButtons()
{
    for (std::size_t i = 0; i < std::size(kRows); ++i)
    {
        if (kRows[i].kind == ControlKind::Button && controls[i] != nullptr)
        {
            controls[i]->show();
        }
    }
}

void CViewerToolbar::ApplyToolTips(const std::string& infoPath)
{
    const IniFileSnapshot file(infoPath);
    for (std::size_t i = 0; i < std::size(kRows); ++i)
    {
        if (controls[i] == nullptr)
        {
            continue;
        }
        const std::u16string key = QString::fromLatin1(kRows[i].name).toStdU16String();
        const std::u16string text = file.String(u"ToolTips", key, 256);
        controls[i]->setToolTip(text.empty() ? QString::fromLatin1(kRows[i].toolTip) : QString::fromStdU16String(text));
    }
}

void CViewerToolbar::EnablePaging(bool forward, bool back)
{
    for (const int id : {V::kNextImageButton, V::kNextPageButton})
    {
        if (QWidget* control = Control(id))
        {
            control->setEnabled(forward);
        }
    }
    for (const int id : {V::kPreviousImageButton, V::kPreviousPageButton})
    {
        if (QWidget* control = Control(id))
        {
            control->setEnabled(back);
        }
    }
}

CBitmapCheckBox* CViewerToolbar::ModeBox(ViewerMode mode) const
{
    for (std::size_t i = 0; i < std::size(kRows); ++i)
    {
        if (kRows[i].kind == ControlKind::ModeBox && kRows[i].mode == mode)
        {
            return static_cast<CBitmapCheckBox*>(controls[i]);
        }
    }
    return nullptr;
}

void CViewerToolbar::UncheckModesBut(ViewerMode mode)
{
    for (std::size_t i = 0; i < std::size(kRows); ++i)
    {
        if (kRows[i].kind == ControlKind::ModeBox && kRows[i].mode != mode && controls[i] != nullptr)
        {
            static_cast<CBitmapCheckBox*>(controls[i])->Uncheck();
        }
    }
}

void CViewerToolbar::CheckMode(ViewerMode mode)
{
    if (CBitmapCheckBox* box = ModeBox(mode))
    {
        box->Check();
    }
}

bool CViewerToolbar::OverlayChecked() const
{
    const auto* box = static_cast<const CBitmapCheckBox*>(Control(V::kOverlayBox));
    return box != nullptr && box->IsChecked();
}

void CViewerToolbar::SetOverlayChecked(bool checked)
{
    auto* box = static_cast<CBitmapCheckBox*>(Control(V::kOverlayBox));
    if (box == nullptr)
    {
        return;
    }
    if (checked)
    {
        box->Check();
    }
    else
    {
        box->Uncheck();
    }
}

QPoint CViewerToolbar::PatternAnchor() const
{
    const QWidget* button = Control(V::kPatternButton);
    return button != nullptr ? button->mapToGlobal(QPoint(0, button->height())) : QPoint();
}

} // namespace orblane
