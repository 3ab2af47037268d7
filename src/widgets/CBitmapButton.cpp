#include "widgets/CBitmapButton.h"

#include "widgets/Pictures.h"

#include <QPainter>

namespace orblane {

namespace {

bool LoadRole(const QString& name, QPixmap& into)
{
    into = LoadBitmapResource(name);
    return name.isEmpty() || !into.isNull();
}

} // namespace

CBitmapButton::CBitmapButton(QWidget* parent) : QAbstractButton(parent)
{
    setAttribute(Qt::WA_NoSystemBackground);
    connect(this, &QAbstractButton::clicked, this, [this] { emit Command(controlId); });
}

bool CBitmapButton::Create(const QString& bitmapName, const QRect& rect, QWidget* parent, int id, bool visible)
{
    controlId = id;
    setText(bitmapName);
    setParent(parent);
    setGeometry(rect);
    setVisible(visible);
    return true;
}

bool CBitmapButton::LoadBitmaps(const QString& up, const QString& down, const QString& focus, const QString& disabled)
{
    bool all = LoadRole(up, upBitmap);
    all = LoadRole(down, downBitmap) && all;
    all = LoadRole(focus, focusBitmap) && all;
    all = LoadRole(disabled, disabledBitmap) && all;
    setAttribute(Qt::WA_OpaquePaintEvent,
                 !upBitmap.isNull() && upBitmap.width() >= width() && upBitmap.height() >= height());
    update();
    return all && !upBitmap.isNull();
}

bool CBitmapButton::LoadBitmaps()
{
    const QString name = text();
    return LoadBitmaps(name + QLatin1Char('U'), name + QLatin1Char('D'), name + QLatin1Char('F'),
                       name + QLatin1Char('X'));
}

QSize CBitmapButton::sizeHint() const
{
    return upBitmap.isNull() ? QSize(64, 64) : upBitmap.size();
}

void CBitmapButton::paintEvent(QPaintEvent* /*event*/)
{
    const QPixmap* picture = &upBitmap;
    if (isDown() && !downBitmap.isNull())
    {
        picture = &downBitmap;
    }
    // A disabled button takes no input, so focus left on it must not hide that it is disabled.
    else if (hasFocus() && isEnabled() && !focusBitmap.isNull())
    {
        picture = &focusBitmap;
    }
    else if (!isEnabled() && !disabledBitmap.isNull())
    {
        picture = &disabledBitmap;
    }
    if (picture->isNull())
    {
        return;
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, *picture);
}

} // namespace orblane
