#include "app/DialogUnits.h"

#include <QFontMetrics>

namespace orblane {
namespace {

// a * b / c rounded half away from zero, without intermediate overflow for the small values of dialog layouts.
int MulDiv(int a, int b, int c) noexcept
{
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

} // namespace

DialogUnits::DialogUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseWidth = std::max(1, (letters / 26 + 1) / 2);
    baseHeight = std::max(1, metrics.height());
}

int DialogUnits::ToPixelsX(int units) const noexcept
{
    return MulDiv(units, baseWidth, 4);
}

int DialogUnits::ToPixelsY(int units) const noexcept
{
    return MulDiv(units, baseHeight, 8);
}

QRect DialogUnits::ToPixels(int x, int y, int width, int height) const noexcept
{
    return QRect(ToPixelsX(x), ToPixelsY(y), ToPixelsX(width), ToPixelsY(height));
}

} // namespace orblane
