#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace orblane {

// The pictures compiled into the program from resources/orblane.qrc (drawn by resources/pictures/).

// A button face or chooser cell by its resource name ("ZOOMINU", "109"); a null pixmap when there is none.
QPixmap LoadBitmapResource(const QString& name);

// A mouse cursor by its resource number (124 to 128), with the hotspot stored in the picture; the arrow when the
// number names no cursor.
QCursor LoadCursorResource(int id);

// The application icon (resource 199) at every size drawn for it.
QIcon LoadApplicationIcon();

} // namespace orblane
