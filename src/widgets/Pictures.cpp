#include "widgets/Pictures.h"

#include <QImage>

// The resources live in a static library, whose registration object the linker would drop unless something
// refers to it; every loader below goes through here first. The registration must be named outside any namespace.
static void RegisterPictures()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(orblane);
        return true;
    }();
    (void)registered;
}

namespace orblane {

QPixmap LoadBitmapResource(const QString& name)
{
    RegisterPictures();
    if (name.isEmpty())
    {
        return {};
    }
    return QPixmap(QStringLiteral(":/bitmaps/") + name);
}

QCursor LoadCursorResource(int id)
{
    RegisterPictures();
    const QImage image(QStringLiteral(":/cursors/%1").arg(id));
    if (image.isNull())
    {
        return QCursor(Qt::ArrowCursor);
    }
    bool xValid = false;
    bool yValid = false;
    const int hotX = image.text(QStringLiteral("HotspotX")).toInt(&xValid);
    const int hotY = image.text(QStringLiteral("HotspotY")).toInt(&yValid);
    if (!xValid || !yValid)
    {
        return QCursor(QPixmap::fromImage(image));
    }
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

QIcon LoadApplicationIcon()
{
    RegisterPictures();
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 256})
    {
        icon.addFile(QStringLiteral(":/icons/199-%1").arg(size), QSize(size, size));
    }
    return icon;
}

} // namespace orblane
