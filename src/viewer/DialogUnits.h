#pragma once

#include <QFont>
#include <QRect>

namespace orblane {

// Dialog templates give positions in dialog units: a quarter of the dialog font's average character width
// horizontally and an eighth of its line height vertically.
struct DialogBaseUnits
{
    int x;
    int y;
};

// The font every dialog template is laid out in: the application's font family at 8 points.
QFont DialogTemplateFont();

// Average character width of the 52 Latin letters, rounded the way the classic dialog manager rounds it, and the
// font's line height. A font without metrics (no font files at all) gives 6 x 13, the classic 8-point values.
DialogBaseUnits BaseUnitsOf(const QFont& font);

int DialogUnitsToPixelsX(int units, DialogBaseUnits base);
int DialogUnitsToPixelsY(int units, DialogBaseUnits base);
QRect DialogRectToPixels(const QRect& units, DialogBaseUnits base);

} // namespace orblane
