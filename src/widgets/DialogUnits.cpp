#include "widgets/DialogUnits.h"

#include <QApplication>
#include <QFontMetrics>

namespace orblane {

namespace {

// Multiply then divide with rounding to nearest, as dialog templates are scaled.
int ScaleRounded(int value, int numerator, int denominator)
{
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    const long long rounded = product >= 0 ? (product + half) / denominator : (product - half) / denominator;
    return static_cast<int>(rounded);
}

} // namespace

QFont DialogTemplateFont()
{
    QFont font = QApplication::font();
    font.setPointSize(8);
    return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int averageWidth = (letters / 26 + 1) / 2;
    const int height = metrics.height();
    if (averageWidth <= 0 || height <= 0)
    {
        return {6, 13};
    }
    return {averageWidth, height};
}

int DialogUnitsToPixelsX(int units, DialogBaseUnits base)
{
    return ScaleRounded(units, base.x, 4);
}

int DialogUnitsToPixelsY(int units, DialogBaseUnits base)
{
    return ScaleRounded(units, base.y, 8);
}

QRect DialogRectToPixels(const QRect& units, DialogBaseUnits base)
{
    return {DialogUnitsToPixelsX(units.x(), base), DialogUnitsToPixelsY(units.y(), base),
            DialogUnitsToPixelsX(units.width(), base), DialogUnitsToPixelsY(units.height(), base)};
}

} // namespace orblane
