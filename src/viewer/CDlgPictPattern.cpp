#include "viewer/CDlgPictPattern.h"

#include "widgets/DialogUnits.h"
#include "widgets/Pictures.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>

namespace orblane {

namespace {

// The pop-up's layout in dialog units.
constexpr int kWidthUnits = 168;
constexpr int kHeightUnits = 146;
constexpr int kCellWidthUnits = 23;
constexpr int kCellHeightUnits = 18;
constexpr std::array<int, CDlgPictPattern::kGridSize> kColumnUnits{7, 33, 59, 85, 111, 138};
constexpr std::array<int, CDlgPictPattern::kGridSize> kRowUnits{7, 29, 51, 73, 96, 118};

// The thin border is drawn inside the window; the layout starts within it.
constexpr int kBorder = 1;

// Matches the background drawn around the cell pictures, so a picture clipped by its cell shows no seam.
const QColor kBackground(24, 26, 31);
const QColor kBorderColour(112, 120, 132);

} // namespace

CDlgPictPattern::CDlgPictPattern() : QDialog(nullptr, Qt::Popup | Qt::FramelessWindowHint)
{
    setModal(true);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFont(DialogTemplateFont());
    const DialogBaseUnits base = BaseUnitsOf(font());
    setFixedSize(DialogUnitsToPixelsX(kWidthUnits, base) + 2 * kBorder,
                 DialogUnitsToPixelsY(kHeightUnits, base) + 2 * kBorder);

    outsideBitmap = LoadBitmapResource(QString::number(kOutsidePicture));
    insideBitmap = LoadBitmapResource(QString::number(kInsidePicture));
    for (int index = 0; index < kCellCount; ++index)
    {
        auto* cell = new QLabel(this);
        cell->setAlignment(Qt::AlignCenter);
        // The pop-up itself follows the mouse; the cells must not take its events.
        cell->setAttribute(Qt::WA_TransparentForMouseEvents);
        const QRect units(kColumnUnits[static_cast<std::size_t>(index % kGridSize)],
                          kRowUnits[static_cast<std::size_t>(index / kGridSize)], kCellWidthUnits, kCellHeightUnits);
        cell->setGeometry(DialogRectToPixels(units, base).translated(kBorder, kBorder));
        cells[static_cast<std::size_t>(index)] = cell;
        cellPictures[static_cast<std::size_t>(index)] = 0;
        // Until the mouse first moves no cell is in the block.
        ShowPicture(index, kOutsidePicture);
    }
}

void CDlgPictPattern::SetPosition(const QPoint& screenPoint)
{
    position = screenPoint;
}

QRect CDlgPictPattern::CellRect(int cellId) const
{
    const int index = cellId - kFirstCellId;
    if (index < 0 || index >= kCellCount)
    {
        return {};
    }
    return cells[static_cast<std::size_t>(index)]->geometry();
}

int CDlgPictPattern::CellPicture(int cellId) const
{
    const int index = cellId - kFirstCellId;
    if (index < 0 || index >= kCellCount)
    {
        return 0;
    }
    return cellPictures[static_cast<std::size_t>(index)];
}

void CDlgPictPattern::setVisible(bool visible)
{
    if (visible)
    {
        move(PlacedOnScreen());
    }
    QDialog::setVisible(visible);
    if (visible)
    {
        raise();
    }
}

QPoint CDlgPictPattern::PlacedOnScreen() const
{
    // A pop-up cut off by the screen edge would hide cells that can then never be picked; shift it back in.
    QPoint placed = position;
    const QScreen* screen = QGuiApplication::screenAt(position);
    if (screen == nullptr)
    {
        return placed;
    }
    const QRect area = screen->availableGeometry();
    placed.setX(std::max(area.left(), std::min(placed.x(), area.right() + 1 - width())));
    placed.setY(std::max(area.top(), std::min(placed.y(), area.bottom() + 1 - height())));
    return placed;
}

void CDlgPictPattern::reject()
{
    done(kResultCancel);
}

void CDlgPictPattern::ShowPicture(int index, int picture)
{
    int& shown = cellPictures[static_cast<std::size_t>(index)];
    if (shown == picture)
    {
        return;
    }
    shown = picture;
    cells[static_cast<std::size_t>(index)]->setPixmap(picture == kInsidePicture ? insideBitmap : outsideBitmap);
}

void CDlgPictPattern::ChooseAt(QPoint point)
{
    // Positions arrive in the pop-up's own coordinates, negative or beyond its edges while the mouse is outside.
    const int x = point.x();
    const int y = point.y();
    int choice = -1;
    for (int index = 0; index < kCellCount; ++index)
    {
        const QPoint topLeft = cells[static_cast<std::size_t>(index)]->geometry().topLeft();
        if (x > width() || y > height())
        {
            ShowPicture(index, kOutsidePicture);
        }
        else if (x > topLeft.x() && y > topLeft.y())
        {
            ShowPicture(index, kInsidePicture);
            choice = index;
        }
        else
        {
            ShowPicture(index, kOutsidePicture);
        }
    }
    if (choice < 0)
    {
        chosenColumns = 0;
        chosenRows = 0;
        return;
    }
    chosenColumns = choice % kGridSize + 1;
    chosenRows = choice / kGridSize + 1;
}

void CDlgPictPattern::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    painter.setPen(kBorderColour);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void CDlgPictPattern::mouseMoveEvent(QMouseEvent* event)
{
    ChooseAt(event->position().toPoint());
}

void CDlgPictPattern::mousePressEvent(QMouseEvent* event)
{
    // A press, even outside, neither picks nor closes: only the release does.
    event->accept();
}

void CDlgPictPattern::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
}

void CDlgPictPattern::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
    {
        return;
    }
    done(kResultOk);
}

void CDlgPictPattern::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
    {
        done(kResultOk);
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace orblane
