#pragma once

#include "imaging/SeriesStripModel.h"

#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <span>
#include <vector>

namespace orblane {

// The open studies' series as thumbnails in a column beside the tiles: modality, number, description and image
// count per series, under their study when several are open, the current tile's series marked. A series that
// cannot be shown as images gets a label of its kind instead of a picture. Reached by Tab; arrows move, Enter acts
// as a click, T puts the focused series in the current tile. A thumbnail dragged out carries its series index.
class CSeriesStrip : public QWidget
{
    Q_OBJECT

public:
    // The strip's width: a 128-pixel thumbnail with its margins.
    static constexpr int kWidth = 148;
    static constexpr int kThumbnailSide = 128;
    // What a dragged thumbnail carries: the series index as decimal ASCII.
    static constexpr const char* kSeriesMimeType = "application/x-orblane-series";

    explicit CSeriesStrip(QWidget* parent = nullptr);

    void SetModel(StripModel newModel);
    // Gives each further stack of an enhanced image the viewer's series hold an entry (SplitStripStacks), every
    // picture staying with its entry; answers whether entries were added. Throws std::bad_alloc, leaving the strip as
    // it was or with some of the entries added.
    bool SplitStacks(std::span<const ViewerSeries> viewerSeries, const FileOfImage& fileOfImage);
    // The entry showing the strip's series `series`, -1 for none.
    int EntryOfSeries(int series) const noexcept;
    const StripModel& Model() const noexcept { return model; }
    int EntryCount() const noexcept { return static_cast<int>(model.entries.size()); }
    // The picture of entry k (a decoded thumbnail, or the DICOMDIR's icon).
    void SetThumbnail(int entry, QImage picture);
    bool HasThumbnail(int entry) const;
    // The series of the current tile, marked; -1 for none.
    void SetCurrentSeries(int series);
    int CurrentSeries() const noexcept { return currentSeries; }
    // The tile T puts the focused series in.
    void SetCurrentTile(int tile) noexcept { currentTile = tile; }
    // The entry the keyboard is on.
    int FocusedEntry() const noexcept { return focused; }
    // Where entry k is drawn (scrolled), and the entry at a point (-1 for none).
    QRect EntryRect(int entry) const;
    int EntryAt(QPoint point) const;
    // The label an entry shows in place of a picture for its kind; empty for an image series.
    QString KindLabel(int entry) const;
    // The text lines under an entry's picture.
    QString EntryText(int entry) const;
    // Acts on entry k as a click does.
    void ActivateEntry(int entry);

signals:
    // A click on an image series: the viewer pages so that its first image is in the current tile.
    void seriesActivated(int series);
    // T on the focused series: the series goes into that tile on its own.
    void seriesToTile(int series, int tile);
    // A click on a report entry: the viewer opens that report.
    void reportActivated(int report);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Lays the entries and study headings out top to bottom, unscrolled.
    void Layout();
    void Focus(int entry);
    void ScrollTo(int entry);
    void StartDrag(int entry);

    StripModel model;
    std::vector<QImage> pictures;
    // Unscrolled rectangles of the entries, and of the study headings with their texts.
    std::vector<QRect> entryRects;
    std::vector<std::pair<QRect, QString>> headings;
    int contentHeight = 0;
    int scroll = 0;
    int currentSeries = -1;
    int currentTile = 0;
    int focused = 0;
    int pressedEntry = -1;
    QPoint pressPoint;
};

} // namespace orblane
