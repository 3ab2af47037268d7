#pragma once

#include "imaging/MeasureModel.h"
#include "imaging/Measurement.h"
#include "imaging/ViewerKeys.h"

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <functional>
#include <unordered_map>

class QAction;
class QMenu;
class QPainter;
class QPushButton;
class QRect;
class QWidget;

namespace orblane {

class CImageData;
class CPictureFrame;
class DisplayBitmap;

// What the viewer draws over its images: each image's measurements (held while the viewer holds the image, never
// written anywhere) and its overlay planes. One layer serves every tile; a tile paints it over its cached bitmap,
// so a handle dragged repaints the marks without rebuilding the image. The measuring tools are chosen by key or by
// the "Measure" button's menu at the toolbar's right end; while one is chosen the left button places its shapes,
// and in any mode a press on a shape's point or outline moves it.
class CMeasureLayer : public QObject
{
    Q_OBJECT

public:
    // The colour overlay planes are drawn in, and that of the measurements.
    static constexpr unsigned kPlaneRgb = 0x00FF40u;
    static constexpr unsigned kMeasureRgb = 0xFFD000u;

    explicit CMeasureLayer(QObject* parent = nullptr);
    ~CMeasureLayer() override;

    // Where the values of an image whose shown values are not exact (a fractional rescale, colour) come from.
    void SetValueSource(std::function<MeasureValues(const CImageData&)> source) { valueSource = std::move(source); }

    MeasureTool Tool() const noexcept { return tool; }
    // Chooses a tool; the one already chosen (or None) gives the left button back to the toolbar's mode. A shape
    // still being placed is dropped.
    void ChooseTool(MeasureTool chosen);
    bool PlanesShown() const noexcept { return planesOn; }
    void TogglePlanes();
    // The marks are shown with the attribute overlay (I); planes also need their own switch (O).
    void SetOverlayShown(bool shown) noexcept { overlayShown = shown; }
    bool MarksShown() const noexcept { return overlayShown; }

    // Pointer input on a tile, in the tile's coordinates. Press answers whether the measurements take the press
    // (the tile is then repainted); Move and Release whether they had it.
    bool Press(CPictureFrame& frame, QPoint at);
    bool Move(CPictureFrame& frame, QPoint at);
    bool Release(CPictureFrame& frame, QPoint at);
    bool Busy() const noexcept { return gesture.Busy(); }
    // Drops a shape still being placed (the page changed under it).
    void CancelPlacing();

    // Runs a measuring key's action (tools, Delete, C, O) on the current image; false for any other action.
    bool RunAction(ViewerAction action, const CImageData* current);
    // Delete and C on an image: answer whether anything went.
    bool DeleteSelected(const CImageData* image);
    bool ClearImage(const CImageData* image);
    // The image's measurements (null when it has none yet).
    const ImageMeasures* MeasuresOf(const CImageData* image) const;

    // Draws the image's overlay planes and measurements into a tile.
    void Paint(QPainter& painter, const CImageData& image, const TileMapping& map, const QRect& tile);
    // Whether an export of the image shows anything of this layer now; and drawing it over an export's bitmap (the
    // image's pixels one to one).
    bool ShowsMarksOn(const CImageData& image) const;
    void PaintOnExport(DisplayBitmap& bitmap, const CImageData& image);

    // The lines drawn beside a shape: its value with the calibration's label, and a region's statistics.
    static QStringList TextOf(const Measurement& m, bool hounsfield);

    // The "Measure" button and its menu; every entry runs the key action it stands for.
    QPushButton* CreateButton(QWidget* parent, std::function<void(ViewerAction)> run);
    QPushButton* Button() const noexcept { return button; }
    // Wide enough for every tool's name, so that choosing one does not move the button, where the room allows it.
    int ButtonSteadyWidth() const noexcept { return steadyWidth; }

private:
    ImageMeasures& Measures(const CImageData& image);
    void RemeasureShape(const CImageData& image, int shape);
    const QImage& PlanesOf(const CImageData& image);
    void PaintMarks(QPainter& painter, const CImageData& image, const TileMapping& map, const QRect& area,
                    double penWidth, bool handles);
    void PaintShapes(QPainter& painter, const CImageData& image, const TileMapping& map, const QRect& area,
                     double penWidth, bool handles);
    void UpdateButton();

    std::unordered_map<const CImageData*, ImageMeasures> measures;
    MeasureTool tool = MeasureTool::None;
    MeasureGesture gesture;
    const CImageData* gestureImage = nullptr;
    bool planesOn = true;
    bool overlayShown = true;
    std::function<MeasureValues(const CImageData&)> valueSource;
    // The values last decoded for measuring (one image: a radiograph's are 20 MB).
    const CImageData* valuesImage = nullptr;
    MeasureValues values;
    // The overlay planes of the images last drawn, as coloured images of their own size.
    struct PlaneImage
    {
        const CImageData* image = nullptr;
        QImage planes;
    };
    std::vector<PlaneImage> planeImages;
    QPushButton* button = nullptr;
    int steadyWidth = 0;
    QMenu* menu = nullptr;
    std::vector<std::pair<MeasureTool, QAction*>> toolActions;
    QAction* planesAction = nullptr;
};

} // namespace orblane
