#pragma once

#include <QTreeWidget>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orblane {

struct StudyEntry;

// The order an exchange sort leaves behind: for i, for j > i, rows i and j trade places when key(i) <= key(j)
// (descending) or key(i) >= key(j) (ascending), comparing 16-bit code units. Equal keys trade places too, so the
// order among them is that loop's and no other; it is reproduced on integer ranks, touching no text. Answers, for
// each position, the index of the row that ends up there.
std::vector<std::size_t> ExchangeSortOrder(const std::vector<std::u16string_view>& keys, bool descending);

// The report list of the study list: six fixed columns, one row per study, the newest rows inserted at the top.
// Besides the texts it keeps, per row and in row order, the study's key in its source (for a DICOMDIR, where the
// study's series begin).
class DicomDirList : public QTreeWidget
{
    Q_OBJECT

public:
    static constexpr int kColumnCount = 6;
    static constexpr int kDateTimeColumn = 4;

    explicit DicomDirList(QWidget* parent = nullptr);

    // Header font, colours, selection style and the six columns; the last one takes what the first five leave of
    // totalWidth (or 270 when nothing is left). Titles and font come from the settings file at infoPath.
    void SetupColumns(int totalWidth, const std::string& infoPath);
    void SetupColumns(int totalWidth);

    // A new row at the top; a missing text shows as a single space.
    void AddRow(const StudyEntry& entry);
    // Several rows at once, each as AddRow would put it (the last of them ends at the top).
    void AddRows(const std::vector<StudyEntry>& entries);
    // New texts for the row whose key is entry.firstSeries, where it stands; nothing when no row has that key.
    void UpdateRow(const StudyEntry& entry);

    // Widens the fixed columns whose texts (or titles) need more than their configured width, as far as a list of
    // listWidth allows without a horizontal scroll bar; the last column takes what is left.
    void FitColumnsToContents(int listWidth);

    void SortByColumn(int column);
    void ToggleSortDirection(int column);
    void SwapRows(int i, int j);
    bool SortsDescending(int column) const { return sortDescending.at(static_cast<std::size_t>(column)) == 1; }

    int RowCount() const { return topLevelItemCount(); }
    QString RowText(int row, int column) const;
    std::uint32_t RowSeries(int row) const { return rowSeries.at(static_cast<std::size_t>(row)); }
    // Selected rows in increasing row order.
    std::vector<int> SelectedRows() const;
    bool AnyRowSelected() const;

signals:
    // The moments the view start button is brought up to date: a click (left or right) once the selection has
    // followed it, the start of a drag, and a key press before the key acts.
    void Clicked();
    void RightClicked();
    void BeginDrag();
    void KeyDown();
    // Enter or Return on the list, or a double-click on a row: open what is selected.
    void OpenRequested();
    void ColumnClicked(int column);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QTreeWidgetItem* MakeItem(const StudyEntry& entry) const;
    // Puts the rows in the given order (order[p] = current row to stand at p) and keeps the selection by position.
    void Reorder(const std::vector<std::size_t>& order, const std::vector<bool>& selectedAt);

    std::array<int, kColumnCount> sortDescending{1, 1, 1, 1, 1, 1};
    std::vector<std::uint32_t> rowSeries;
    QPoint pressPosition;
    bool dragReported = true;
};

} // namespace orblane
