#pragma once

#include <QDialog>
#include <QPixmap>
#include <QPoint>

#include <array>

class QLabel;

namespace orblane {

struct PatternChoice
{
    int columns;
    int rows;
};

// The pop-up in which the viewer's page grid is picked: 6 x 6 cells, the block from the top-left cell to the cell
// under the mouse is highlighted, and releasing the left button anywhere picks it. The pop-up holds the mouse for
// its whole life, so the block follows the mouse outside it too. Exec returns kResultOk or kResultCancel.
class CDlgPictPattern : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kResultOk = 1;
    static constexpr int kResultCancel = 2;
    static constexpr int kGridSize = 6;
    static constexpr int kFirstCellId = 1053;
    static constexpr int kOutsidePicture = 109;
    static constexpr int kInsidePicture = 110;

    CDlgPictPattern();

    // Screen point for the pop-up's top-left corner; a pop-up that would reach past the screen's edge is shifted
    // back onto it.
    void SetPosition(const QPoint& screenPoint);
    PatternChoice GetChoice() const { return {chosenColumns, chosenRows}; }

    // The cell with id kFirstCellId + 6 x row + column: its rectangle in the pop-up and the picture it shows.
    QRect CellRect(int cellId) const;
    int CellPicture(int cellId) const;

    void setVisible(bool visible) override;
    void reject() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    static constexpr int kCellCount = kGridSize * kGridSize;

    QPoint PlacedOnScreen() const;
    void ShowPicture(int index, int picture);
    void ChooseAt(QPoint point);

    QPoint position;
    int chosenColumns = 1;
    int chosenRows = 1;
    QPixmap outsideBitmap;
    QPixmap insideBitmap;
    std::array<QLabel*, kCellCount> cells{};
    std::array<int, kCellCount> cellPictures{};
};

} // namespace orblane
