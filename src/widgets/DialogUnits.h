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
// font's line height. A font without metrics (no font files at all) gives 6 x 13, the classic 8-point values, so
// that a dialog keeps a usable size instead of collapsing to one pixel a unit.
DialogBaseUnits BaseUnitsOf(const QFont& font);

int DialogUnitsToPixelsX(int units, DialogBaseUnits base);
int DialogUnitsToPixelsY(int units, DialogBaseUnits base);
QRect DialogRectToPixels(const QRect& units, DialogBaseUnits base);

// The same conversion bound to one font, for dialogs laid out in their own font.
class DialogUnits
{
public:
    explicit DialogUnits(const QFont& font) : base(BaseUnitsOf(font)) {}

    int BaseWidth() const noexcept { return base.x; }
    int BaseHeight() const noexcept { return base.y; }
    int ToPixelsX(int units) const { return DialogUnitsToPixelsX(units, base); }
    int ToPixelsY(int units) const { return DialogUnitsToPixelsY(units, base); }
    QRect ToPixels(int x, int y, int width, int height) const
    {
        return DialogRectToPixels(QRect(x, y, width, height), base);
    }

private:
    DialogBaseUnits base;
};

} // namespace orblane
