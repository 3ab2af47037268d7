#include "widgets/CBitmapCheckBox.h"

#include "widgets/Pictures.h"

#include <QPainter>

namespace orblane {

CBitmapCheckBox::CBitmapCheckBox(QWidget* parent) : QAbstractButton(parent)
{
    // The pictures are the whole face; erasing first would only make the box flicker.
    setAttribute(Qt::WA_NoSystemBackground);
    connect(this, &QAbstractButton::clicked, this, &CBitmapCheckBox::OnClicked);
}

bool CBitmapCheckBox::Create(const QRect& rect, QWidget* parent, int id, bool togglesOnClick)
{
    toggles = togglesOnClick;
    controlId = id;
    setParent(parent);
    setGeometry(rect);
    show();
    return true;
}

bool CBitmapCheckBox::LoadBitmaps(const QString& name)
{
    upBitmap = LoadBitmapResource(name + QLatin1Char('U'));
    downBitmap = LoadBitmapResource(name + QLatin1Char('D'));
    focusBitmap = LoadBitmapResource(name + QLatin1Char('F'));
    disabledBitmap = LoadBitmapResource(name + QLatin1Char('X'));
    // The box has no caption to draw; its name still tells assistive tools which control this is.
    setAccessibleName(name);
    // Without a face covering the whole box, let the parent's background show instead of stale pixels.
    setAttribute(Qt::WA_OpaquePaintEvent,
                 !upBitmap.isNull() && upBitmap.width() >= width() && upBitmap.height() >= height());
    update();
    return !upBitmap.isNull() && !downBitmap.isNull() && !focusBitmap.isNull() && !disabledBitmap.isNull();
}

void CBitmapCheckBox::Uncheck()
{
    boxState = kNormal;
    update();
}

void CBitmapCheckBox::Check()
{
    boxState = kChecked;
    update();
}

bool CBitmapCheckBox::IsChecked() const
{
    return boxState == kChecked;
}

QSize CBitmapCheckBox::sizeHint() const
{
    return upBitmap.isNull() ? QSize(64, 64) : upBitmap.size();
}

void CBitmapCheckBox::OnClicked()
{
    if (!toggles && boxState == kChecked)
    {
        return;
    }
    boxState = boxState == kChecked ? kNormal : kChecked;
    repaint();
    // Queued, so the parent handles the command after this click, with the box already showing its new state.
    QMetaObject::invokeMethod(
        this, [this, id = controlId] { emit Command(id); }, Qt::QueuedConnection);
}

void CBitmapCheckBox::paintEvent(QPaintEvent* /*event*/)
{
    if (upBitmap.isNull())
    {
        return;
    }
    if (boxState != kChecked)
    {
        boxState = !isEnabled() ? kDisabled : hasFocus() ? kFocused : kNormal;
    }
    const QPixmap* picture = &upBitmap;
    switch (boxState)
    {
    case kFocused:
        picture = &focusBitmap;
        break;
    case kChecked:
        picture = &downBitmap;
        break;
    case kDisabled:
        picture = &disabledBitmap;
        break;
    default:
        break;
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, *picture);
}

} // namespace orblane
