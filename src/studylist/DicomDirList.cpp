#include "studylist/DicomDirList.h"

#include "core/Settings.h"
#include "dicom/StudyEntry.h"
#include "platform/SettingsPaths.h"

#include <QApplication>
#include <QHeaderView>
#include <QItemSelection>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>

#include <algorithm>
#include <memory>
#include <numeric>

namespace orblane {

namespace {

constexpr std::array<int, 5> kFixedWidths{280, 100, 120, 100, 150};
constexpr int kFixedTotal = 750;
constexpr int kNarrowLastWidth = 270;
// Sizes beyond this only come from a mistyped setting; the header stays usable.
constexpr int kMaxHeaderFontTenths = 1000;

QString TextOrSpace(const std::optional<std::u16string>& text)
{
    return text ? QString::fromStdU16String(*text) : QStringLiteral(" ");
}

std::u16string_view View(const QString& text)
{
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

} // namespace

std::vector<std::size_t> ExchangeSortOrder(const std::vector<std::u16string_view>& keys, bool descending)
{
    const std::size_t n = keys.size();
    // Equal texts get equal ranks, so comparing ranks decides exactly as comparing the texts would.
    std::vector<std::size_t> byKey(n);
    std::iota(byKey.begin(), byKey.end(), std::size_t{0});
    std::stable_sort(byKey.begin(), byKey.end(), [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    std::vector<std::uint32_t> rank(n);
    std::uint32_t current = 0;
    for (std::size_t k = 0; k < n; ++k)
    {
        if (k > 0 && keys[byKey[k - 1]] != keys[byKey[k]])
        {
            ++current;
        }
        rank[byKey[k]] = current;
    }

    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    for (std::size_t i = 0; i + 1 < n; ++i)
    {
        // The row standing at i travels along the pass in these two registers until the pass ends.
        std::uint32_t held = rank[i];
        std::size_t heldRow = order[i];
        for (std::size_t j = i + 1; j < n; ++j)
        {
            const bool swap = descending ? held <= rank[j] : held >= rank[j];
            if (swap)
            {
                std::swap(held, rank[j]);
                std::swap(heldRow, order[j]);
            }
        }
        rank[i] = held;
        order[i] = heldRow;
    }
    return order;
}

DicomDirList::DicomDirList(QWidget* parent) : QTreeWidget(parent)
{
    rowSeries.reserve(50);
    setColumnCount(kColumnCount);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(0);
    setUniformRowHeights(true);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(false);
    connect(header(), &QHeaderView::sectionClicked, this, &DicomDirList::ColumnClicked);
}

void DicomDirList::SetupColumns(int totalWidth)
{
    SetupColumns(totalWidth, GetInfoSettingsPath());
}

void DicomDirList::SetupColumns(int totalWidth, const std::string& infoPath)
{
    const FontChoice configuredFont = ReadStudyListHeaderFont(infoPath);
    QFont headerFont(QString::fromStdU16String(configuredFont.face));
    headerFont.setPointSizeF(std::min(configuredFont.tenthsOfPoint, kMaxHeaderFontTenths) / 10.0);
    header()->setFont(headerFont);

    QPalette colours = palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
    {
        colours.setColor(group, QPalette::Base, QColor(240, 240, 240));
        colours.setColor(group, QPalette::Window, QColor(240, 240, 240));
        colours.setColor(group, QPalette::Text, Qt::black);
    }
    setPalette(colours);

    const std::array<std::u16string, 6> titles = ReadStudyListColumnTitles(infoPath);
    QStringList labels;
    for (const std::u16string& title : titles)
    {
        labels << QString::fromStdU16String(title);
    }
    setHeaderLabels(labels);
    for (int column = 0; column < kColumnCount; ++column)
    {
        headerItem()->setTextAlignment(column, Qt::AlignLeft | Qt::AlignVCenter);
    }
    for (std::size_t column = 0; column < kFixedWidths.size(); ++column)
    {
        setColumnWidth(static_cast<int>(column), kFixedWidths[column]);
    }
    const int rest = totalWidth - kFixedTotal;
    setColumnWidth(kColumnCount - 1, rest > 0 ? rest : kNarrowLastWidth);
}

void DicomDirList::FitColumnsToContents(int listWidth)
{
    // What the rows can have: the list less its frame and a vertical scroll bar, which a long list shows.
    const int totalWidth =
        listWidth - 2 * frameWidth() - style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    std::array<int, kFixedWidths.size()> widths{};
    int used = 0;
    for (std::size_t column = 0; column < kFixedWidths.size(); ++column)
    {
        const int c = static_cast<int>(column);
        const int needed = std::max(sizeHintForColumn(c), header()->sectionSizeHint(c));
        widths[column] = std::max(kFixedWidths[column], needed);
        used += widths[column];
    }
    // Too wide for the list: the widened columns give back what is over, each in proportion to its widening, so that
    // the configured widths stay and no horizontal scroll bar appears.
    const int available = std::max(totalWidth - kNarrowLastWidth, kFixedTotal);
    const int over = used - available;
    const int widened = used - kFixedTotal;
    if (over > 0 && widened > 0)
    {
        used = 0;
        for (std::size_t column = 0; column < kFixedWidths.size(); ++column)
        {
            const int extra = widths[column] - kFixedWidths[column];
            widths[column] -= static_cast<int>(static_cast<std::int64_t>(extra) * over / widened) + (extra > 0 ? 1 : 0);
            widths[column] = std::max(widths[column], kFixedWidths[column]);
            used += widths[column];
        }
    }
    for (std::size_t column = 0; column < kFixedWidths.size(); ++column)
    {
        setColumnWidth(static_cast<int>(column), widths[column]);
    }
    const int rest = totalWidth - used;
    setColumnWidth(kColumnCount - 1, rest > 0 ? rest : kNarrowLastWidth);
}

QTreeWidgetItem* DicomDirList::MakeItem(const StudyEntry& entry) const
{
    auto* item = new QTreeWidgetItem(QStringList{TextOrSpace(entry.patientName), TextOrSpace(entry.patientId),
                                                 TextOrSpace(entry.birthDate), TextOrSpace(entry.sex),
                                                 TextOrSpace(entry.studyDateTime), TextOrSpace(entry.modality)});
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);
    return item;
}

void DicomDirList::AddRow(const StudyEntry& entry)
{
    insertTopLevelItem(0, MakeItem(entry));
    rowSeries.insert(rowSeries.begin(), entry.firstSeries);
}

void DicomDirList::AddRows(const std::vector<StudyEntry>& entries)
{
    // One insertion of the whole batch, in the order one AddRow after another would leave.
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(entries.size()));
    std::vector<std::uint32_t> series;
    series.reserve(entries.size() + rowSeries.size());
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
    {
        items.append(MakeItem(*entry));
        series.push_back(entry->firstSeries);
    }
    insertTopLevelItems(0, items);
    series.insert(series.end(), rowSeries.begin(), rowSeries.end());
    rowSeries = std::move(series);
}

void DicomDirList::UpdateRow(const StudyEntry& entry)
{
    const auto found = std::find(rowSeries.begin(), rowSeries.end(), entry.firstSeries);
    if (found == rowSeries.end())
    {
        return;
    }
    QTreeWidgetItem* item = topLevelItem(static_cast<int>(found - rowSeries.begin()));
    const std::unique_ptr<QTreeWidgetItem> texts(MakeItem(entry));
    for (int column = 0; column < kColumnCount; ++column)
    {
        item->setText(column, texts->text(column));
    }
}

QString DicomDirList::RowText(int row, int column) const
{
    const QTreeWidgetItem* item = topLevelItem(row);
    return item != nullptr ? item->text(column) : QString();
}

std::vector<int> DicomDirList::SelectedRows() const
{
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
    {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool DicomDirList::AnyRowSelected() const
{
    return selectionModel()->hasSelection();
}

void DicomDirList::ToggleSortDirection(int column)
{
    int& flag = sortDescending.at(static_cast<std::size_t>(column));
    flag = flag == 1 ? 0 : 1;
}

void DicomDirList::SortByColumn(int column)
{
    const int n = RowCount();
    if (n == 0 || column < 0 || column >= kColumnCount)
    {
        return;
    }
    std::vector<bool> selectedAt(static_cast<std::size_t>(n), false);
    for (const int row : SelectedRows())
    {
        selectedAt[static_cast<std::size_t>(row)] = true;
    }
    std::vector<QString> texts;
    texts.reserve(static_cast<std::size_t>(n));
    for (int row = 0; row < n; ++row)
    {
        texts.push_back(topLevelItem(row)->text(column));
    }
    std::vector<std::u16string_view> keys;
    keys.reserve(texts.size());
    for (const QString& text : texts)
    {
        keys.push_back(View(text));
    }
    Reorder(ExchangeSortOrder(keys, SortsDescending(column)), selectedAt);
}

void DicomDirList::SwapRows(int i, int j)
{
    const int n = RowCount();
    if (i == j || i < 0 || j < 0 || i >= n || j >= n)
    {
        return;
    }
    for (int column = 0; column < kColumnCount; ++column)
    {
        const QString text = topLevelItem(i)->text(column);
        topLevelItem(i)->setText(column, topLevelItem(j)->text(column));
        topLevelItem(j)->setText(column, text);
    }
    std::swap(rowSeries[static_cast<std::size_t>(i)], rowSeries[static_cast<std::size_t>(j)]);
}

void DicomDirList::Reorder(const std::vector<std::size_t>& order, const std::vector<bool>& selectedAt)
{
    // The rows move as whole items in one step; their texts are never rewritten.
    const QList<QTreeWidgetItem*> items = invisibleRootItem()->takeChildren();
    QList<QTreeWidgetItem*> sorted;
    sorted.reserve(items.size());
    std::vector<std::uint32_t> series;
    series.reserve(order.size());
    for (const std::size_t from : order)
    {
        sorted.append(items[static_cast<qsizetype>(from)]);
        series.push_back(rowSeries[from]);
    }
    addTopLevelItems(sorted);
    rowSeries = std::move(series);

    // The highlight stays with the positions, not with the studies that moved.
    QItemSelection selection;
    int focusRow = -1;
    for (std::size_t p = 0; p < selectedAt.size(); ++p)
    {
        if (selectedAt[p])
        {
            const QModelIndex index = model()->index(static_cast<int>(p), 0);
            selection.select(index, index);
            focusRow = static_cast<int>(p);
        }
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (focusRow >= 0)
    {
        selectionModel()->setCurrentIndex(model()->index(focusRow, 0), QItemSelectionModel::NoUpdate);
    }
}

void DicomDirList::keyPressEvent(QKeyEvent* event)
{
    switch (event->key())
    {
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
        // The arrow keys never move the selection; they reach nobody, not even the view start button's update.
        event->accept();
        return;
    default:
        break;
    }
    emit KeyDown();
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
    {
        // As the view start button does, once the button has followed the selection.
        event->accept();
        emit OpenRequested();
        return;
    }
    const QModelIndex current = currentIndex();
    if (event->key() == Qt::Key_Space && current.isValid())
    {
        // Space selects the current row and Ctrl+Space toggles it, nothing more: the view would also start a
        // keyboard search with the key's text, which for a key event without text jumps to the next row and
        // selects or toggles that one too.
        selectionModel()->select(current, selectionCommand(current, event));
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
    // The view moves nothing when Home or End lands on the row that is current already (the top row is current as
    // soon as the list has the focus), so "Home, Enter" would open nothing: the row they land on is selected here.
    const bool plainHomeOrEnd = (event->key() == Qt::Key_Home || event->key() == Qt::Key_End) &&
                                (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    const QModelIndex landed = currentIndex();
    if (plainHomeOrEnd && landed.isValid() && !selectionModel()->isRowSelected(landed.row(), landed.parent()))
    {
        selectionModel()->select(landed, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
}

void DicomDirList::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTreeWidget::mouseDoubleClickEvent(event);
    // Only a double-click on a row opens it: one on the empty area below the rows does nothing.
    if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid())
    {
        emit OpenRequested();
    }
}

void DicomDirList::mousePressEvent(QMouseEvent* event)
{
    pressPosition = event->position().toPoint();
    dragReported = false;
    QTreeWidget::mousePressEvent(event);
}

void DicomDirList::mouseMoveEvent(QMouseEvent* event)
{
    QTreeWidget::mouseMoveEvent(event);
    if (!dragReported && event->buttons() != Qt::NoButton &&
        (event->position().toPoint() - pressPosition).manhattanLength() >= QApplication::startDragDistance())
    {
        dragReported = true;
        emit BeginDrag();
    }
}

void DicomDirList::mouseReleaseEvent(QMouseEvent* event)
{
    QTreeWidget::mouseReleaseEvent(event);
    dragReported = true;
    if (event->button() == Qt::LeftButton)
    {
        emit Clicked();
    }
    else if (event->button() == Qt::RightButton)
    {
        emit RightClicked();
    }
}

} // namespace orblane
