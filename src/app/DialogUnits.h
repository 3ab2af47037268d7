#pragma once

#include <QFont>
#include <QRect>

namespace orblane {

// Dialog templates give positions and sizes in dialog units, which scale with the dialog's font: a horizontal unit
// is a quarter of the font's average character width, a vertical one an eighth of its height. The average width is
// taken over the 52 Latin letters and rounded as the platform does, so layouts keep their proportions in any font.
class DialogUnits
{
public:
    explicit DialogUnits(const QFont& font);

    int BaseWidth() const noexcept { return baseWidth; }
    int BaseHeight() const noexcept { return baseHeight; }

    int ToPixelsX(int units) const noexcept;
    int ToPixelsY(int units) const noexcept;
    QRect ToPixels(int x, int y, int width, int height) const noexcept;

private:
    int baseWidth = 1;
    int baseHeight = 1;
};

} // namespace orblane
