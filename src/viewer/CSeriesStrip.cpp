#include "viewer/CSeriesStrip.h"

#include <QApplication>
#include <QDrag>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <new>
#include <vector>

namespace orblane {
namespace {

constexpr int kMargin = 10;
constexpr int kTextLines = 2;
constexpr int kHeadingGap = 4;
// One wheel notch scrolls about half an entry.
constexpr int kWheelStep = 80;

} // namespace

CSeriesStrip::CSeriesStrip(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("seriesStrip"));
    // Tab reaches it, a click gives it the keys; the page takes them back on a click of its own.
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setToolTip(tr("Series: click to page there, drag onto a tile, T puts it in the current tile"));
}

void CSeriesStrip::SetModel(StripModel newModel)
{
    model = std::move(newModel);
    pictures.assign(model.entries.size(), QImage());
    focused = 0;
    scroll = 0;
    Layout();
    update();
}

bool CSeriesStrip::SplitStacks(std::span<const ViewerSeries> viewerSeries, const FileOfImage& fileOfImage)
{
    // Room first: the pictures then follow the entries without allocating, whatever the split got to.
    std::size_t further = 0;
    for (std::size_t v = model.viewerSeriesSeen; v < viewerSeries.size(); ++v)
    {
        further += viewerSeries[v].part > 0 ? 1 : 0;
    }
    model.entries.reserve(model.entries.size() + further);
    model.series.reserve(model.series.size() + further);
    pictures.reserve(model.entries.size() + further);
    const std::size_t oldSeries = model.series.size();
    const std::size_t oldCount = pictures.size();
    bool failed = false;
    try
    {
        SplitStripStacks(model, viewerSeries, fileOfImage);
    }
    catch (const std::bad_alloc&)
    {
        failed = true;
    }
    // Entries are only inserted, each for a series added now: from the back, every older picture moves to its
    // entry's new place.
    const std::size_t newCount = model.entries.size();
    if (newCount != oldCount)
    {
        pictures.resize(newCount);
        std::size_t from = oldCount;
        for (std::size_t to = newCount; to-- > 0;)
        {
            const int series = model.entries[to].series;
            if (series >= 0 && static_cast<std::size_t>(series) >= oldSeries)
            {
                pictures[to] = QImage();
            }
            else if (--from != to)
            {
                pictures[to] = std::move(pictures[from]);
            }
        }
        Layout();
    }
    update();
    if (failed)
    {
        throw std::bad_alloc();
    }
    return newCount != oldCount;
}

int CSeriesStrip::EntryOfSeries(int series) const noexcept
{
    for (std::size_t e = 0; e < model.entries.size(); ++e)
    {
        if (series >= 0 && model.entries[e].series == series)
        {
            return static_cast<int>(e);
        }
    }
    return -1;
}

void CSeriesStrip::SetThumbnail(int entry, QImage picture)
{
    if (entry < 0 || entry >= EntryCount())
    {
        return;
    }
    pictures[static_cast<std::size_t>(entry)] = std::move(picture);
    update(EntryRect(entry));
}

bool CSeriesStrip::HasThumbnail(int entry) const
{
    return entry >= 0 && entry < EntryCount() && !pictures[static_cast<std::size_t>(entry)].isNull();
}

void CSeriesStrip::SetCurrentSeries(int series)
{
    if (series != currentSeries)
    {
        currentSeries = series;
        update();
    }
}

QString CSeriesStrip::KindLabel(int entry) const
{
    if (entry < 0 || entry >= EntryCount())
    {
        return {};
    }
    switch (model.entries[static_cast<std::size_t>(entry)].kind)
    {
    case SeriesKind::Images:
        return {};
    case SeriesKind::Report:
        return tr("Report");
    case SeriesKind::KeyImages:
        return tr("Key images");
    case SeriesKind::PresentationState:
        return tr("Presentation state");
    case SeriesKind::Video:
        return tr("Video");
    case SeriesKind::Other:
        break;
    }
    return tr("Not shown as images");
}

QString CSeriesStrip::EntryText(int entry) const
{
    if (entry < 0 || entry >= EntryCount())
    {
        return {};
    }
    const StripEntry& e = model.entries[static_cast<std::size_t>(entry)];
    const QString modality = e.modality.empty() ? QStringLiteral("-") : QString::fromStdString(e.modality);
    const QString number = e.number ? QString::number(*e.number) : QStringLiteral("-");
    QString first = e.kind == SeriesKind::Images ? tr("%1  #%2  %n im", nullptr, e.images).arg(modality, number)
                                                 : tr("%1  #%2").arg(modality, number);
    if (e.stack > 0)
    {
        // A further stack of an enhanced image's frames, beside its series' first.
        first += tr("  stack %1").arg(e.stack + 1);
    }
    return first + QLatin1Char('\n') + QString::fromStdU16String(e.description);
}

void CSeriesStrip::Layout()
{
    entryRects.clear();
    headings.clear();
    const QFontMetrics metrics(font());
    const int lineHeight = metrics.height();
    const int entryHeight = kThumbnailSide + kTextLines * lineHeight + kMargin;
    int y = kMargin / 2;
    int study = -1;
    for (const StripEntry& entry : model.entries)
    {
        if (model.Grouped() && entry.study != study)
        {
            study = entry.study;
            const StripStudy& heading = model.studies[static_cast<std::size_t>(study)];
            QString label = QString::fromStdU16String(heading.label);
            if (label.isEmpty())
            {
                label = tr("Study %1").arg(study + 1);
            }
            headings.emplace_back(QRect(kMargin / 2, y, kWidth - kMargin, lineHeight + kHeadingGap), label);
            y += lineHeight + 2 * kHeadingGap;
        }
        entryRects.emplace_back(kMargin / 2, y, kWidth - kMargin, entryHeight);
        y += entryHeight + kMargin / 2;
    }
    contentHeight = y;
    scroll = std::clamp(scroll, 0, std::max(0, contentHeight - height()));
}

QRect CSeriesStrip::EntryRect(int entry) const
{
    if (entry < 0 || entry >= static_cast<int>(entryRects.size()))
    {
        return {};
    }
    return entryRects[static_cast<std::size_t>(entry)].translated(0, -scroll);
}

int CSeriesStrip::EntryAt(QPoint point) const
{
    for (int k = 0; k < static_cast<int>(entryRects.size()); ++k)
    {
        if (EntryRect(k).contains(point))
        {
            return k;
        }
    }
    return -1;
}

void CSeriesStrip::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(24, 24, 24));
    const QFontMetrics metrics(font());
    for (const auto& [area, label] : headings)
    {
        const QRect at = area.translated(0, -scroll);
        painter.setPen(QColor(230, 200, 120));
        painter.drawText(at, Qt::AlignLeft | Qt::AlignVCenter, metrics.elidedText(label, Qt::ElideRight, at.width()));
        painter.drawLine(at.bottomLeft(), at.bottomRight());
    }
    for (int k = 0; k < EntryCount(); ++k)
    {
        const QRect at = EntryRect(k);
        if (!at.intersects(rect()))
        {
            continue;
        }
        const StripEntry& entry = model.entries[static_cast<std::size_t>(k)];
        const QRect pictureBox(at.left() + (at.width() - kThumbnailSide) / 2, at.top() + kMargin / 2, kThumbnailSide,
                               kThumbnailSide);
        painter.fillRect(pictureBox, Qt::black);
        const QImage& picture = pictures[static_cast<std::size_t>(k)];
        if (entry.kind != SeriesKind::Images)
        {
            painter.setPen(QColor(150, 190, 230));
            painter.drawRect(pictureBox.adjusted(8, 8, -9, -9));
            painter.drawText(pictureBox, Qt::AlignCenter | Qt::TextWordWrap, KindLabel(k));
        }
        else if (!picture.isNull())
        {
            const QSize fitted = picture.size().scaled(pictureBox.size(), Qt::KeepAspectRatio);
            const QRect target(pictureBox.left() + (pictureBox.width() - fitted.width()) / 2,
                               pictureBox.top() + (pictureBox.height() - fitted.height()) / 2, fitted.width(),
                               fitted.height());
            painter.drawImage(target, picture);
        }
        painter.setPen(Qt::white);
        const QRect textBox(at.left() + 2, pictureBox.bottom() + 2, at.width() - 4, at.bottom() - pictureBox.bottom());
        const QStringList lines = EntryText(k).split(QLatin1Char('\n'));
        for (int line = 0; line < lines.size(); ++line)
        {
            painter.drawText(textBox.left(), textBox.top() + metrics.ascent() + line * metrics.height(),
                             metrics.elidedText(lines[line], Qt::ElideRight, textBox.width()));
        }
        // The current tile's series in the tiles' own selection colour; the keyboard's place dotted.
        if (entry.series >= 0 && entry.series == currentSeries)
        {
            painter.setPen(QPen(QColor(255, 200, 0), 3));
            painter.drawRect(at.adjusted(1, 1, -2, -2));
        }
        if (hasFocus() && k == focused)
        {
            painter.setPen(QPen(Qt::white, 1, Qt::DotLine));
            painter.drawRect(at.adjusted(4, 4, -5, -5));
        }
    }
}

void CSeriesStrip::ActivateEntry(int entry)
{
    if (entry < 0 || entry >= EntryCount())
    {
        return;
    }
    const StripEntry& e = model.entries[static_cast<std::size_t>(entry)];
    if (e.report >= 0)
    {
        emit reportActivated(e.report);
    }
    else if (e.series >= 0)
    {
        emit seriesActivated(e.series);
    }
}

void CSeriesStrip::Focus(int entry)
{
    if (EntryCount() == 0)
    {
        return;
    }
    focused = std::clamp(entry, 0, EntryCount() - 1);
    ScrollTo(focused);
    update();
}

void CSeriesStrip::ScrollTo(int entry)
{
    const QRect at = entryRects.at(static_cast<std::size_t>(entry));
    if (at.top() < scroll)
    {
        scroll = at.top();
    }
    else if (at.bottom() > scroll + height())
    {
        scroll = at.bottom() - height() + 1;
    }
    scroll = std::clamp(scroll, 0, std::max(0, contentHeight - height()));
}

void CSeriesStrip::mousePressEvent(QMouseEvent* event)
{
    pressedEntry = event->button() == Qt::LeftButton ? EntryAt(event->position().toPoint()) : -1;
    pressPoint = event->position().toPoint();
    if (pressedEntry >= 0)
    {
        Focus(pressedEntry);
    }
    QWidget::mousePressEvent(event);
}

void CSeriesStrip::mouseMoveEvent(QMouseEvent* event)
{
    if (pressedEntry >= 0 && (event->buttons() & Qt::LeftButton) != 0 &&
        (event->position().toPoint() - pressPoint).manhattanLength() >= QApplication::startDragDistance())
    {
        const int entry = pressedEntry;
        pressedEntry = -1;
        StartDrag(entry);
    }
}

void CSeriesStrip::mouseReleaseEvent(QMouseEvent* event)
{
    const int entry = pressedEntry;
    pressedEntry = -1;
    if (event->button() == Qt::LeftButton && entry >= 0 && EntryAt(event->position().toPoint()) == entry)
    {
        ActivateEntry(entry);
    }
}

void CSeriesStrip::StartDrag(int entry)
{
    const StripEntry& e = model.entries[static_cast<std::size_t>(entry)];
    // Only a series of images can go into a tile.
    if (e.series < 0 || e.kind != SeriesKind::Images)
    {
        return;
    }
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(kSeriesMimeType), QByteArray::number(e.series));
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    const QImage& picture = pictures[static_cast<std::size_t>(entry)];
    if (!picture.isNull())
    {
        drag->setPixmap(QPixmap::fromImage(picture.scaled(64, 64, Qt::KeepAspectRatio)));
    }
    drag->exec(Qt::CopyAction);
}

void CSeriesStrip::keyPressEvent(QKeyEvent* event)
{
    const bool plain = (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) == 0;
    switch (event->key())
    {
    case Qt::Key_Up:
    case Qt::Key_Left:
        Focus(focused - 1);
        break;
    case Qt::Key_Down:
    case Qt::Key_Right:
        Focus(focused + 1);
        break;
    case Qt::Key_Home:
        Focus(0);
        break;
    case Qt::Key_End:
        Focus(EntryCount() - 1);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        ActivateEntry(focused);
        break;
    case Qt::Key_T:
        if (!plain || focused >= EntryCount() || model.entries[static_cast<std::size_t>(focused)].series < 0 ||
            model.entries[static_cast<std::size_t>(focused)].kind != SeriesKind::Images)
        {
            QWidget::keyPressEvent(event);
            return;
        }
        emit seriesToTile(model.entries[static_cast<std::size_t>(focused)].series, currentTile);
        break;
    default:
        // Every other key is the viewer's (S hides the strip, Esc ends the viewer, digits window the page).
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void CSeriesStrip::wheelEvent(QWheelEvent* event)
{
    const int notches = event->angleDelta().y() / 120;
    scroll = std::clamp(scroll - notches * kWheelStep, 0, std::max(0, contentHeight - height()));
    update();
    event->accept();
}

void CSeriesStrip::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Layout();
}

} // namespace orblane
