// The viewer's second way of reading: a series in each tile, reference lines and scrolling together. What the
// tiles hold and how they follow each other is decided in imaging/TileSeries; this file shows it.
#include "viewer/CDlgImgViewer.h"

#include "core/RunTrace.h"
#include "imaging/CImageData.h"
#include "imaging/TileLines.h"
#include "platform/ErrorSink.h"
#include "viewer/CPictureFrame.h"
#include "viewer/CSeriesStrip.h"
#include "viewer/WaitCursor.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>

#include <charconv>
#include <vector>

namespace orblane {

const std::vector<ViewerSeries>& CDlgImgViewer::SeriesList()
{
    return tileSeries.Series();
}

int CDlgImgViewer::ShownIndex(int tile) const noexcept
{
    if (tile < 0 || tile > lastSlot)
    {
        return -1;
    }
    if (tileSeries.Active())
    {
        return tileSeries.ImageOf(tile);
    }
    const int index = firstIndex + tile;
    return index < imageList->ImageCount() ? index : -1;
}

void CDlgImgViewer::ShowSeriesInTile(int series, int tile)
{
    if (!initialised || tile < 0 || tile > lastSlot)
    {
        return;
    }
    {
        // A series is known whole only once every file is walked (headers only; nothing is decoded here).
        WaitCursor wait;
        while (imageList->LoadNextFile() > 0)
        {
        }
    }
    StopCine();
    std::vector<int> shown;
    for (int j = 0; j <= lastSlot; ++j)
    {
        shown.push_back(ShownIndex(j));
    }
    if (!tileSeries.Show(series, tile, shown))
    {
        return;
    }
    CPictureFrame* frame = frames[static_cast<std::size_t>(tile)];
    // The new series starts fitted, not in the view of the image it replaces.
    frame->SetImage(nullptr);
    if (frame != currentFrame)
    {
        currentFrame->SetSelected(false);
        frame->SetSelected(true);
        currentFrame = frame;
    }
    ShowTileImages();
    UpdatePageButtons();
    RepaintTiles();
}

void CDlgImgViewer::ReturnToPaging()
{
    if (!tileSeries.Active())
    {
        return;
    }
    tileSeries.Leave();
    imageList->SetAlsoOnScreen({});
    for (CPictureFrame* frame : frames)
    {
        frame->SetNotice(QString());
    }
    ShowFrom(firstIndex, 0, 0, true);
}

void CDlgImgViewer::ToggleReferenceLines()
{
    referenceLinesOn = !referenceLinesOn;
    Trace(referenceLinesOn ? "reference lines on" : "reference lines off");
    UpdateReferenceLines();
    RepaintTiles();
}

void CDlgImgViewer::ToggleLink()
{
    Trace(tileSeries.ToggleLink() ? "tiles linked" : "tiles unlinked");
    UpdateTileSeriesTexts();
    RepaintTiles();
}

void CDlgImgViewer::StepTile(int tile, int delta)
{
    if (!tileSeries.Step(tile, delta))
    {
        return;
    }
    for (int j = 0; j <= lastSlot; ++j)
    {
        frames[static_cast<std::size_t>(j)]->PaintQuickly(true);
    }
    ShowTileImages();
    // The images beside every tile's, the way the step went first, decoded ahead on the pool.
    std::vector<int> ahead;
    for (const int side : {delta > 0 ? 1 : -1, delta > 0 ? -1 : 1})
    {
        for (int j = 0; j <= lastSlot; ++j)
        {
            const int index = tileSeries.ImageOf(j);
            const TileSeries::Place place = tileSeries.PlaceOf(index);
            const int next = place.slice + side;
            if (place.series >= 0 && next >= 0 && next < place.count)
            {
                ahead.push_back(
                    tileSeries.Series()[static_cast<std::size_t>(place.series)].images[static_cast<std::size_t>(next)]);
            }
        }
    }
    imageList->DecodeImages(ahead);
    RepaintTiles();
    for (CPictureFrame* frame : frames)
    {
        frame->PaintQuickly(false);
    }
    TracePage();
}

void CDlgImgViewer::ShowTileImages()
{
    WaitCursor wait;
    std::vector<int> onScreen;
    for (int j = 0; j <= lastSlot; ++j)
    {
        const int index = tileSeries.ImageOf(j);
        if (index >= 0)
        {
            onScreen.push_back(index);
        }
    }
    imageList->SetAlsoOnScreen(onScreen);
    for (int j = 0; j <= lastSlot; ++j)
    {
        CPictureFrame* frame = frames[static_cast<std::size_t>(j)];
        const int index = tileSeries.ImageOf(j);
        CImageData* previous = frame->GetTileImage();
        CImageData* image = index >= 0 ? ImageAt(index) : nullptr;
        frame->SetNotice(tileSeries.OutOfRange(j) ? tr("Out of range") : QString());
        if (image == previous)
        {
            continue;
        }
        frame->SetImage(image);
        if (image == nullptr)
        {
            continue;
        }
        frame->FitImage();
        // Scrolling keeps the tile's view: the next slice of a series shows as the last did.
        if (previous != nullptr && previous->Description().columnCount == image->Description().columnCount &&
            previous->Description().rowCount == image->Description().rowCount)
        {
            image->SetZoom(previous->GetZoom());
            image->SetOrigin(previous->GetOrigin().x, previous->GetOrigin().y);
        }
    }
    UpdateTileNumbers();
}

void CDlgImgViewer::CompleteShownSeries()
{
    completionQueued = false;
    // A series is complete once an image of another series follows its last one, or every file is walked. Images
    // that name no series are left to paging, which finds them as it goes.
    const auto open = [this] {
        const std::vector<ViewerSeries>& series = tileSeries.Series();
        for (int j = 0; j <= lastSlot; ++j)
        {
            const TileSeries::Place place = tileSeries.PlaceOf(ShownIndex(j));
            if (place.series >= 0 && !series[static_cast<std::size_t>(place.series)].seriesInstanceUid.empty() &&
                series[static_cast<std::size_t>(place.series)].lastImage == imageList->ImageCount() - 1)
            {
                return true;
            }
        }
        return false;
    };
    bool found = false;
    while (open() && imageList->FindImage(imageList->ImageCount()))
    {
        found = true;
    }
    for (const ImageDataList::PendingError& pending : imageList->TakeErrors())
    {
        RaiseError(pending.error, pending.fatal);
    }
    if (found)
    {
        UpdatePageButtons();
        RepaintTiles();
    }
}

void CDlgImgViewer::UpdateTileSeriesTexts()
{
    if (!completionQueued && initialised)
    {
        completionQueued = true;
        QTimer::singleShot(0, this, &CDlgImgViewer::CompleteShownSeries);
    }
    for (int j = 0; j < kTileCount; ++j)
    {
        CPictureFrame* frame = frames[static_cast<std::size_t>(j)];
        const int index = j <= lastSlot ? (frame == cine.Tile() ? cine.Index() : ShownIndex(j)) : -1;
        const ImageDataList::ImagePlace place = imageList->PlaceOf(index);
        QString text;
        if (place.facts != nullptr)
        {
            const ImageFacts& facts = *place.facts;
            if (facts.seriesNumber)
            {
                text = tr("Se %1").arg(*facts.seriesNumber);
            }
            if (!facts.seriesDescription.empty())
            {
                text += (text.isEmpty() ? QString() : QStringLiteral(" ")) +
                        QString::fromStdU16String(facts.seriesDescription);
            }
            if (tileSeries.Linked() && tileSeries.SeriesOf(j) >= 0)
            {
                text += tr(" (linked)");
            }
        }
        frame->SetSeriesText(text);
    }
    UpdateReferenceLines();
}

void CDlgImgViewer::UpdateReferenceLines()
{
    std::vector<TileFrame> shown(static_cast<std::size_t>(lastSlot + 1));
    for (int j = 0; j <= lastSlot; ++j)
    {
        const CPictureFrame* frame = frames[static_cast<std::size_t>(j)];
        const int index = frame == cine.Tile() ? cine.Index() : ShownIndex(j);
        const ImageDataList::ImagePlace place = imageList->PlaceOf(index);
        // Only what the tile really shows: an out-of-range tile shows nothing.
        if (frame->GetTileImage() != nullptr && place.facts != nullptr)
        {
            shown[static_cast<std::size_t>(j)] = {place.frame, place.facts->localizer};
        }
    }
    std::vector<TileLine> lines;
    const int current = TileIndexOf(currentFrame);
    if (referenceLinesOn && currentFrame != nullptr)
    {
        // A localizer shows where the current tile's series begins and ends.
        const TileSeries::Place place = tileSeries.PlaceOf(ShownIndex(current));
        const FrameAttributes* first = nullptr;
        const FrameAttributes* last = nullptr;
        if (place.series >= 0)
        {
            const ViewerSeries& series = tileSeries.Series()[static_cast<std::size_t>(place.series)];
            first = imageList->PlaceOf(series.images.front()).frame;
            last = imageList->PlaceOf(series.images.back()).frame;
        }
        lines = PlanTileLines(shown, current, first, last);
    }
    for (int j = 0; j < kTileCount; ++j)
    {
        std::vector<TileLine> own;
        for (const TileLine& line : lines)
        {
            if (line.tile == j)
            {
                own.push_back(line);
            }
        }
        frames[static_cast<std::size_t>(j)]->SetReferenceLines(std::move(own));
    }
}

int CDlgImgViewer::DroppedSeries(const QMimeData* mime) const
{
    if (mime == nullptr || !mime->hasFormat(QString::fromLatin1(kSeriesMimeType)))
    {
        return -1;
    }
    const QByteArray text = mime->data(QString::fromLatin1(kSeriesMimeType)).trimmed();
    int series = -1;
    const auto result = std::from_chars(text.constData(), text.constData() + text.size(), series);
    if (result.ec != std::errc{} || result.ptr != text.constData() + text.size() || series < 0)
    {
        return -1;
    }
    return series;
}

void CDlgImgViewer::dragEnterEvent(QDragEnterEvent* event)
{
    if (DroppedSeries(event->mimeData()) >= 0)
    {
        event->acceptProposedAction();
        return;
    }
    QDialog::dragEnterEvent(event);
}

void CDlgImgViewer::dragMoveEvent(QDragMoveEvent* event)
{
    // Only a tile takes the series.
    if (DroppedSeries(event->mimeData()) >= 0 && FrameAt(event->position().toPoint()) != nullptr)
    {
        event->acceptProposedAction();
        return;
    }
    event->ignore();
}

void CDlgImgViewer::dropEvent(QDropEvent* event)
{
    const int series = DroppedSeries(event->mimeData());
    CPictureFrame* frame = FrameAt(event->position().toPoint());
    if (series < 0 || frame == nullptr)
    {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // The strip numbers its entries its own way (reports too): its drags name the series by the strip's index.
    const bool fromStrip = strip != nullptr && event->source() != nullptr &&
                           (event->source() == strip || strip->isAncestorOf(qobject_cast<QWidget*>(event->source())));
    ShowSeriesInTile(fromStrip ? TileSeriesOfStripSeries(series) : series, TileIndexOf(frame));
}

int CDlgImgViewer::TileSeriesOfStripSeries(int stripSeries)
{
    if (strip == nullptr || stripSeries < 0 || static_cast<std::size_t>(stripSeries) >= strip->Model().series.size())
    {
        return -1;
    }
    const StripSeries& chosen = strip->Model().series[static_cast<std::size_t>(stripSeries)];
    if (chosen.viewerSeries >= 0)
    {
        return chosen.viewerSeries;
    }
    int index = -1;
    {
        WaitCursor wait;
        index = imageList->FirstImageOfFile(chosen.first);
    }
    if (index < 0)
    {
        return -1;
    }
    SeriesList();
    return tileSeries.PlaceOf(index).series;
}

} // namespace orblane
