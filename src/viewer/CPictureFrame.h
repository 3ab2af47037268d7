#pragma once

#include "imaging/MeasureModel.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

#include "imaging/TileLines.h"

#include <array>
#include <filesystem>
#include <utility>
#include <vector>

class QPainter;
class QTimer;

namespace orblane {

class CImageData;
class CMeasureLayer;
struct ViewerSettings;

// One tile of the viewer: shows one image (or nothing) with the attribute overlay and a border, and carries out
// the view operations the viewer routes to its current tile. The tile owns nothing it shows and takes no mouse
// input: the viewer hit-tests the tiles and calls the operations below. Every operation on a tile without an image
// does nothing. The tile reads the viewer settings it is handed (the viewer owns them and outlives its tiles); the
// border colours are taken when the tile is built, the rest each time they are needed.
class CPictureFrame : public QWidget
{
    Q_OBJECT

public:
    // The save dialog's types: JPEG (format 1), 24-bit bitmap (format 0), PNG (format 2).
    static constexpr const char* kJpegFilter = "JPEG (*.jpg)";
    static constexpr const char* kBitmapFilter = "24bit Bitmap (*.bmp)";
    static constexpr const char* kPngFilter = "PNG (*.png)";
    // Distance of the overlay texts from the tile's left, top and right edges.
    static constexpr int kOverlayInset = 24;
    // Zoom steps stay within these multiples of the inverse fit scale.
    static constexpr double kMinZoom = 0.01;
    static constexpr double kMaxZoom = 10.0;

    // A tile under the default settings.
    explicit CPictureFrame(QWidget* parent = nullptr);
    explicit CPictureFrame(const ViewerSettings& viewerSettings, QWidget* parent = nullptr);

    // Answers the previous image; nothing is freed.
    CImageData* SetImage(CImageData* newImage) noexcept;
    CImageData* GetTileImage() const noexcept { return image; }
    // The caller redraws.
    void SetSelected(bool select) noexcept { selected = select ? 1 : 0; }
    bool IsSelected() const noexcept { return selected != 0; }

    void FitImage() noexcept;
    // Whether the image shows as FitImage would place it now (its view untouched since the fit).
    bool IsFitted() const noexcept;
    // Back to the file's window, then fitted.
    void ResetImage() noexcept;
    // Zoom about p (tile coordinates): the image point under p stays under p.
    void ZoomIn(QPoint p, double factor) noexcept;
    void ZoomOut(QPoint p, double factor) noexcept;
    void PanImage(int dx, int dy) noexcept;
    // (dx, dy): the whole drag since the button went down; commit at release makes it the base of the next drag.
    void AdjustWindow(int dx, int dy, bool commit) noexcept;
    // Asks for a file name and writes the image there. The dialog opens in the user's Pictures folder (home when
    // there is none), never on the medium, and then where the last save went, for the rest of the session.
    void SaveImage();
    // Where the next save dialog opens.
    static QString SaveFolder();

    // The numbers the overlay shows at the bottom left: image k of n, and frame k of n when the image's file has
    // more than one frame (0 for none).
    void SetNumbers(int image, int images, int frame, int frames) noexcept;
    // The line above the numbers naming the image's series (empty for none), and the image's place in the whole
    // study, shown beside them while the viewer pages through it (0 for none).
    void SetSeriesText(QString text) { seriesText = std::move(text); }
    const QString& SeriesText() const noexcept { return seriesText; }
    void SetStudyPlace(int number, int total) noexcept
    {
        studyNumber = number;
        studyTotal = total;
    }
    // A notice drawn in the middle of the tile instead of an image ("out of range"); empty for none.
    void SetNotice(QString text) { notice = std::move(text); }
    const QString& Notice() const noexcept { return notice; }
    // The reference lines drawn over the image, in its pixel coordinates: they follow its zoom and pan.
    void SetReferenceLines(std::vector<TileLine> lines) { referenceLines = std::move(lines); }
    const std::vector<TileLine>& ReferenceLines() const noexcept { return referenceLines; }
    // The overlay's four text blocks as last painted (top left, top right, bottom left, bottom right), empty when
    // not shown: what a user reads must not overlap.
    const std::array<QRect, 4>& OverlayBlocks() const noexcept { return overlayBlocks; }
    // While set, a paint of an image not yet painted here draws a quick nearest-pixel shrink, and the exact
    // area-averaged one follows kRefineMilliseconds later when no other step came: a wheel turned through a stack of
    // large images shows each at once and settles on the exact picture where it stops. The viewer sets it around a
    // paging step's own repaint only, so that nothing else (a grab, an expose) ever draws roughly.
    void PaintQuickly(bool quickly) noexcept { quickNext = quickly; }
    static constexpr int kRefineMilliseconds = 120;
    // Writes the image as it is shown to path (format 1 JPEG, 0 bitmap). A failed write raises "10104", so the
    // user never believes a failed export was written. Answers whether the file was written.
    bool SaveImageAs(const std::filesystem::path& path, int format);
    // The measurements and overlay planes drawn over the image and into its exports while they are shown (the
    // viewer owns the layer); and where the image's pixels lie in the tile now.
    void SetMarks(CMeasureLayer* layer) noexcept { marks = layer; }
    TileMapping Mapping() const noexcept;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // What an area-averaged shrink was made from: the same image, bitmap, window and region give the same picture,
    // so a repaint (selection, overlay, an expose) reuses it instead of averaging millions of pixels again.
    struct ShrinkKey
    {
        const CImageData* image = nullptr;
        const void* bits = nullptr;
        // The window in modality units: under a fractional rescale two windows may share their stored steps.
        double centre = 0.0;
        double width = 0.0;
        bool inverted = false;
        bool voiLut = false;
        QRect source;
        QSize target;

        bool operator==(const ShrinkKey&) const = default;
    };

    // The part of the tile that DrawVisibleImage covers with opaque pixels, in whole tile pixels; empty when it
    // draws nothing.
    QRect ImageCover() const;
    void DrawVisibleImage(QPainter& painter, const QRect& cover);
    void DrawOverlay(QPainter& painter);
    void DrawBorder(QPainter& painter) const;
    void DrawReferenceLines(QPainter& painter) const;
    void Zoom(QPoint p, double target) noexcept;

    const ViewerSettings* settings;
    int selected = 0;
    QColor selectedColour;
    QColor idleColour;
    CImageData* image = nullptr;
    int imageNumber = 0;
    int imageTotal = 0;
    int frameNumber = 0;
    int frameTotal = 0;
    int studyNumber = 0;
    int studyTotal = 0;
    QString seriesText;
    QString notice;
    std::vector<TileLine> referenceLines;
    std::array<QRect, 4> overlayBlocks{};
    bool quickNext = false;
    bool paintingQuickly = false;
    const CImageData* lastPainted = nullptr;
    ShrinkKey shrunkKey;
    QImage shrunk;
    QTimer* refineTimer = nullptr;
    CMeasureLayer* marks = nullptr;
};

} // namespace orblane
