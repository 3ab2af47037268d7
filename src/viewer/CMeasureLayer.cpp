#include "viewer/CMeasureLayer.h"

#include "dicom/MarkingFacts.h"
#include "imaging/CImageData.h"
#include "imaging/DisplayBitmap.h"
#include "viewer/CPictureFrame.h"

#include <QAction>
#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include <algorithm>
#include <cmath>
#include <new>

namespace orblane {
namespace {

// Planes of the images drawn last are kept coloured; a few pages' worth of tiles of planes is small.
constexpr std::size_t kPlaneImagesKept = 8;

QColor ColourOf(unsigned rgb)
{
    return QColor(static_cast<int>((rgb >> 16) & 0xFFu), static_cast<int>((rgb >> 8) & 0xFFu),
                  static_cast<int>(rgb & 0xFFu));
}

// A value with the digits a reader needs: `significant` digits, at least one decimal (a tiny rescale keeps its
// precision), none for whole numbers such as a minimum of stored values.
QString Number(double v, int significant = 2)
{
    if (!std::isfinite(v))
    {
        return QStringLiteral("-");
    }
    if (v == std::trunc(v) && std::abs(v) < 1e15)
    {
        return QString::number(static_cast<long long>(v));
    }
    const int magnitude = static_cast<int>(std::floor(std::log10(std::abs(v))));
    const int decimals = std::clamp(significant - 1 - magnitude, 1, 12);
    return QString::number(v, 'f', decimals);
}

QString Calibrated(const std::string& label)
{
    // The fixed labels are translated; a calibration's own description passes through as the file gives it.
    return QCoreApplication::translate("orblane::Calibration", label.c_str());
}

// Whether the values an image shows are its modality values exactly: integral rescale or a Modality LUT.
bool ShownValuesExact(const CImageData& image)
{
    const PixelDescription& d = image.Description();
    if (!IsMonochrome(d.photometric) || !image.Scale().Identity())
    {
        return false;
    }
    return d.hasModalityLut ||
           (d.rescaleSlope == std::trunc(d.rescaleSlope) && d.rescaleIntercept == std::trunc(d.rescaleIntercept));
}

// The point where a shape's text starts: right of its rightmost point, at the height of its highest.
QPointF TextAnchor(const MeasureShape& shape, const TileMapping& map)
{
    double right = -1e300;
    double top = 1e300;
    for (const ImagePoint& p : shape.points)
    {
        const TilePoint t = map.ToTile(p);
        right = std::max(right, t.x);
        top = std::min(top, t.y);
    }
    return {right + 8.0, top};
}

} // namespace

CMeasureLayer::CMeasureLayer(QObject* parent) : QObject(parent) {}

CMeasureLayer::~CMeasureLayer() = default;

void CMeasureLayer::ChooseTool(MeasureTool chosen)
{
    CancelPlacing();
    tool = chosen == tool ? MeasureTool::None : chosen;
    UpdateButton();
}

ImageMeasures& CMeasureLayer::Measures(const CImageData& image)
{
    return measures[&image];
}

const ImageMeasures* CMeasureLayer::MeasuresOf(const CImageData* image) const
{
    const auto found = measures.find(image);
    return found == measures.end() ? nullptr : &found->second;
}

void CMeasureLayer::CancelPlacing()
{
    if (gestureImage != nullptr)
    {
        gesture.Cancel(Measures(*gestureImage));
    }
    gestureImage = nullptr;
}

bool CMeasureLayer::Press(CPictureFrame& frame, QPoint at)
{
    CImageData* image = frame.GetTileImage();
    if (image == nullptr || !image->UnshownReason().empty() || !overlayShown)
    {
        return false;
    }
    if (gestureImage != nullptr && gestureImage != image)
    {
        CancelPlacing();
    }
    const TileMapping map = frame.Mapping();
    ImageMeasures& own = Measures(*image);
    const int selectedBefore = own.selected;
    bool taken = false;
    const int changed =
        gesture.Press(own, tool, map, {static_cast<double>(at.x()), static_cast<double>(at.y())}, taken);
    gestureImage = gesture.Busy() ? image : nullptr;
    if (changed >= 0)
    {
        RemeasureShape(*image, changed);
    }
    if (taken || own.selected != selectedBefore)
    {
        frame.repaint();
    }
    return taken;
}

bool CMeasureLayer::Move(CPictureFrame& frame, QPoint at)
{
    CImageData* image = frame.GetTileImage();
    if (!gesture.Busy() || image == nullptr || image != gestureImage)
    {
        return false;
    }
    const int changed =
        gesture.Move(Measures(*image), frame.Mapping(), {static_cast<double>(at.x()), static_cast<double>(at.y())});
    if (changed >= 0)
    {
        RemeasureShape(*image, changed);
        frame.repaint();
    }
    return true;
}

bool CMeasureLayer::Release(CPictureFrame& frame, QPoint at)
{
    CImageData* image = frame.GetTileImage();
    if (!gesture.Busy() || image == nullptr || image != gestureImage)
    {
        return false;
    }
    const int changed =
        gesture.Release(Measures(*image), frame.Mapping(), {static_cast<double>(at.x()), static_cast<double>(at.y())});
    if (changed >= 0)
    {
        RemeasureShape(*image, changed);
    }
    if (!gesture.Busy())
    {
        gestureImage = nullptr;
    }
    frame.repaint();
    return true;
}

bool CMeasureLayer::RunAction(ViewerAction action, const CImageData* current)
{
    switch (action)
    {
    case ViewerAction::MeasureLength:
        ChooseTool(MeasureTool::Length);
        return true;
    case ViewerAction::MeasureAngle:
        ChooseTool(MeasureTool::Angle);
        return true;
    case ViewerAction::MeasureEllipse:
        ChooseTool(MeasureTool::Ellipse);
        return true;
    case ViewerAction::MeasureRectangle:
        ChooseTool(MeasureTool::Rectangle);
        return true;
    case ViewerAction::DeleteMeasurement:
        DeleteSelected(current);
        return true;
    case ViewerAction::ClearMeasurements:
        ClearImage(current);
        return true;
    case ViewerAction::ToggleOverlayPlanes:
        TogglePlanes();
        return true;
    default:
        return false;
    }
}

bool CMeasureLayer::DeleteSelected(const CImageData* image)
{
    if (image == nullptr)
    {
        return false;
    }
    if (gestureImage == image && gesture.Placing())
    {
        // Delete during placing drops the shape being placed.
        CancelPlacing();
        return true;
    }
    const auto found = measures.find(image);
    return found != measures.end() && found->second.DeleteSelected();
}

bool CMeasureLayer::ClearImage(const CImageData* image)
{
    if (image == nullptr)
    {
        return false;
    }
    if (gestureImage == image)
    {
        CancelPlacing();
    }
    const auto found = measures.find(image);
    return found != measures.end() && found->second.Clear();
}

void CMeasureLayer::RemeasureShape(const CImageData& image, int shape)
{
    ImageMeasures& own = Measures(image);
    if (shape < 0 || shape >= static_cast<int>(own.shapes.size()))
    {
        return;
    }
    MeasureScale scale;
    if (const MarkingFacts* facts = image.Marking())
    {
        scale.calibration = facts->CalibrationOfFrame(image.Description().frameNumber);
        scale.regions = facts->regions;
    }
    MeasureShape& target = own.shapes[static_cast<std::size_t>(shape)];
    ValueGrid grid;
    if (target.kind == MeasureKind::Ellipse || target.kind == MeasureKind::Rectangle)
    {
        const PixelDescription& d = image.Description();
        if (ShownValuesExact(image))
        {
            grid = ValueGrid{image.Values(), d.columnCount, d.rowCount};
        }
        else
        {
            if (valuesImage != &image && valueSource)
            {
                values = {};
                valuesImage = &image;
                try
                {
                    values = valueSource(image);
                }
                catch (const std::bad_alloc&)
                {
                    values = {};
                }
            }
            if (valuesImage == &image)
            {
                grid = values.Grid();
            }
        }
    }
    try
    {
        Remeasure(target, scale, grid);
    }
    catch (const std::bad_alloc&)
    {
        target.result = {};
        target.result.kind = target.kind;
        target.result.reason = "out of memory";
    }
}

QStringList CMeasureLayer::TextOf(const Measurement& m, bool hounsfield)
{
    QStringList lines;
    const QString unit = QString::fromStdString(m.unit);
    const QString label = Calibrated(m.label);
    if (!m.value)
    {
        lines << (m.reason.empty() ? tr("no value") : tr("no value: %1").arg(QString::fromStdString(m.reason)));
        return lines;
    }
    switch (m.kind)
    {
    case MeasureKind::Length:
        // The label starts with the unit ("mm at detector"); a plain "mm" or "px" is the unit alone.
        lines << (m.label.rfind(m.unit, 0) == 0 ? tr("%1 %2").arg(Number(*m.value), label)
                                                : tr("%1 %2 (%3)").arg(Number(*m.value), unit, label));
        return lines;
    case MeasureKind::Angle:
        lines << tr("%1°").arg(QString::number(*m.value, 'f', 1));
        return lines;
    case MeasureKind::Ellipse:
    case MeasureKind::Rectangle:
        break;
    }
    QString area = tr("Area %1 %2").arg(Number(*m.value), unit);
    if (m.label != "mm" && m.label != "px")
    {
        area += tr(" (%1)").arg(label);
    }
    lines << area;
    if (m.mean && m.sd && m.min && m.max)
    {
        const QString valueUnit = m.luminance ? tr(" (luminance)") : hounsfield ? tr(" HU") : QString();
        lines << tr("Mean %1  SD %2%3").arg(Number(*m.mean, 3), Number(*m.sd, 3), valueUnit);
        lines << tr("Min %1  Max %2  (%3 px)").arg(Number(*m.min, 6), Number(*m.max, 6)).arg(m.count);
    }
    else
    {
        lines << tr("%1 px, no values").arg(m.count);
    }
    return lines;
}

const QImage& CMeasureLayer::PlanesOf(const CImageData& image)
{
    for (const PlaneImage& kept : planeImages)
    {
        if (kept.image == &image)
        {
            return kept.planes;
        }
    }
    PlaneImage made{&image, {}};
    const MarkingFacts* facts = image.Marking();
    const PixelDescription& d = image.Description();
    if (facts != nullptr && !facts->overlays.empty() && d.columnCount > 0 && d.rowCount > 0)
    {
        try
        {
            QImage planes(d.columnCount, d.rowCount, QImage::Format_ARGB32_Premultiplied);
            if (!planes.isNull())
            {
                planes.fill(Qt::transparent);
                bool any = false;
                const QRgb colour = 0xFF000000u | kPlaneRgb;
                for (const OverlayPlane& plane : facts->overlays)
                {
                    const std::vector<std::uint8_t> mask = OverlayMask(plane, d.frameNumber, d.rowCount, d.columnCount);
                    for (std::size_t k = 0; k < mask.size(); ++k)
                    {
                        if (mask[k] != 0)
                        {
                            const int row = static_cast<int>(k / d.columnCount);
                            reinterpret_cast<QRgb*>(planes.scanLine(row))[k % d.columnCount] = colour;
                            any = true;
                        }
                    }
                }
                if (any)
                {
                    made.planes = std::move(planes);
                }
            }
        }
        catch (const std::bad_alloc&)
        {
            made.planes = QImage();
        }
    }
    if (planeImages.size() >= kPlaneImagesKept)
    {
        planeImages.erase(planeImages.begin());
    }
    planeImages.push_back(std::move(made));
    return planeImages.back().planes;
}

void CMeasureLayer::TogglePlanes()
{
    planesOn = !planesOn;
    UpdateButton();
}

void CMeasureLayer::Paint(QPainter& painter, const CImageData& image, const TileMapping& map, const QRect& tile)
{
    PaintMarks(painter, image, map, tile, 1.5, true);
}

void CMeasureLayer::PaintMarks(QPainter& painter, const CImageData& image, const TileMapping& map, const QRect& area,
                               double penWidth, bool handles)
{
    if (!overlayShown || !map.Usable())
    {
        return;
    }
    painter.save();
    if (planesOn)
    {
        const QImage& planes = PlanesOf(image);
        if (!planes.isNull())
        {
            // Each plane pixel covers its image pixel exactly, whatever the zoom: no smoothing.
            painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
            painter.drawImage(QRectF(map.left, map.top, map.columns * map.scaleX, map.rows * map.scaleY), planes);
        }
    }
    PaintShapes(painter, image, map, area, penWidth, handles);
    painter.restore();
}

void CMeasureLayer::PaintShapes(QPainter& painter, const CImageData& image, const TileMapping& map, const QRect& area,
                                double penWidth, bool handles)
{
    const ImageMeasures* own = MeasuresOf(&image);
    if (own == nullptr || own->shapes.empty())
    {
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QColor colour = ColourOf(kMeasureRgb);
    const QColor selectedColour(0, 230, 255);
    const bool hounsfield = image.Description().computedTomography;
    QFont font = painter.font();
    font.setPixelSize(std::max(11, static_cast<int>(std::lround(penWidth * 8.0))));
    painter.setFont(font);
    const QFontMetrics metrics(font);
    // Texts already drawn: a later one that would cover one moves below it.
    std::vector<QRectF> texts;
    for (std::size_t k = 0; k < own->shapes.size(); ++k)
    {
        const MeasureShape& shape = own->shapes[k];
        // An export shows no selection: the highlight and the handles are the editing tile's alone.
        const bool selected = handles && static_cast<int>(k) == own->selected;
        const QColor pen = selected ? selectedColour : colour;
        std::vector<QPointF> points;
        for (const ImagePoint& p : shape.points)
        {
            const TilePoint t = map.ToTile(p);
            points.emplace_back(t.x, t.y);
        }
        if (points.size() < 2)
        {
            continue;
        }
        QPainterPath path;
        switch (shape.kind)
        {
        case MeasureKind::Length:
            path.moveTo(points[0]);
            path.lineTo(points[1]);
            break;
        case MeasureKind::Angle:
            path.moveTo(points[0]);
            path.lineTo(points[1]);
            if (points.size() > 2)
            {
                path.lineTo(points[2]);
            }
            break;
        case MeasureKind::Ellipse:
            path.addEllipse(QRectF(points[0], points[1]).normalized());
            break;
        case MeasureKind::Rectangle:
            path.addRect(QRectF(points[0], points[1]).normalized());
            break;
        }
        // A dark edge under the colour keeps the line readable on bright and dark tissue alike.
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(0, 0, 0, 160), penWidth + 2.0));
        painter.drawPath(path);
        painter.setPen(QPen(pen, penWidth));
        painter.drawPath(path);
        if (handles)
        {
            const double h = selected ? 4.0 : 2.5;
            for (const QPointF& p : points)
            {
                painter.fillRect(QRectF(p.x() - h, p.y() - h, 2 * h, 2 * h), pen);
            }
        }
        const QStringList lines = TextOf(shape.result, hounsfield);
        QPointF at = TextAnchor(shape, map);
        int widest = 0;
        for (const QString& line : lines)
        {
            widest = std::max(widest, metrics.horizontalAdvance(line));
        }
        const double height = static_cast<double>(metrics.lineSpacing()) * static_cast<double>(lines.size());
        // Kept inside what is drawn on: a shape at the right edge has its text to its left.
        if (at.x() + widest > area.right())
        {
            double leftmost = at.x();
            for (const QPointF& p : points)
            {
                leftmost = std::min(leftmost, p.x());
            }
            at.setX(std::max(static_cast<double>(area.left()), leftmost - 8.0 - widest));
        }
        const double lowest = std::max(static_cast<double>(area.top()), area.bottom() - height);
        at.setY(std::clamp(at.y(), static_cast<double>(area.top()), lowest));
        for (bool moved = true; moved;)
        {
            moved = false;
            for (const QRectF& other : texts)
            {
                if (other.intersects(QRectF(at.x(), at.y(), widest, height)))
                {
                    at.setY(other.bottom() + 2.0);
                    moved = true;
                }
            }
        }
        texts.emplace_back(at.x(), at.y(), widest, height);
        double y = at.y() + metrics.ascent();
        for (const QString& line : lines)
        {
            painter.setPen(QColor(0, 0, 0, 200));
            painter.drawText(QPointF(at.x() + 1, y + 1), line);
            painter.setPen(pen);
            painter.drawText(QPointF(at.x(), y), line);
            y += metrics.lineSpacing();
        }
    }
}

bool CMeasureLayer::ShowsMarksOn(const CImageData& image) const
{
    if (!overlayShown)
    {
        return false;
    }
    const ImageMeasures* own = MeasuresOf(&image);
    const bool shapes = own != nullptr && !own->shapes.empty();
    const MarkingFacts* facts = image.Marking();
    const bool planes = planesOn && facts != nullptr && !facts->overlays.empty();
    return shapes || planes;
}

void CMeasureLayer::PaintOnExport(DisplayBitmap& bitmap, const CImageData& image)
{
    if (bitmap.IsNull() || bitmap.BitsPerPixel() != 32)
    {
        return;
    }
    QImage target(bitmap.Bits(), bitmap.Width(), bitmap.Height(), static_cast<qsizetype>(bitmap.Stride()),
                  QImage::Format_RGB32);
    QPainter painter(&target);
    const PixelDescription& d = image.Description();
    // The export holds the image's own pixels: one image pixel to one bitmap pixel.
    TileMapping map;
    map.columns = d.columnCount;
    map.rows = d.rowCount;
    map.scaleX = static_cast<double>(bitmap.Width()) / std::max<int>(1, d.columnCount);
    map.scaleY = static_cast<double>(bitmap.Height()) / std::max<int>(1, d.rowCount);
    // Lines and text in proportion to the image, as they look on a tile that shows it whole.
    const double pen = std::max(1.5, std::max(bitmap.Width(), bitmap.Height()) / 400.0);
    PaintMarks(painter, image, map, target.rect(), pen, false);
}

QPushButton* CMeasureLayer::CreateButton(QWidget* parent, std::function<void(ViewerAction)> run)
{
    button = new QPushButton(parent);
    button->setObjectName(QStringLiteral("MEASURE"));
    // Neither Space (cine) nor Enter may reach it: the keys stay the viewer's.
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoDefault(false);
    button->setToolTip(tr("Measuring tools and overlay planes"));
    menu = new QMenu(button);
    const auto add = [&](const QString& text, ViewerAction action) {
        QAction* entry = menu->addAction(text, this, [run, action] { run(action); });
        return entry;
    };
    QAction* none = menu->addAction(tr("None (toolbar mode)"), this, [this] { ChooseTool(MeasureTool::None); });
    none->setCheckable(true);
    toolActions.emplace_back(MeasureTool::None, none);
    const std::pair<MeasureTool, std::pair<QString, ViewerAction>> tools[] = {
        {MeasureTool::Length, {tr("Length\tL"), ViewerAction::MeasureLength}},
        {MeasureTool::Angle, {tr("Angle\tA"), ViewerAction::MeasureAngle}},
        {MeasureTool::Ellipse, {tr("Ellipse\tE"), ViewerAction::MeasureEllipse}},
        {MeasureTool::Rectangle, {tr("Rectangle\tB"), ViewerAction::MeasureRectangle}},
    };
    for (const auto& [which, entry] : tools)
    {
        QAction* action = add(entry.first, entry.second);
        action->setCheckable(true);
        toolActions.emplace_back(which, action);
    }
    menu->addSeparator();
    add(tr("Delete selected\tDel"), ViewerAction::DeleteMeasurement);
    add(tr("Clear image\tC"), ViewerAction::ClearMeasurements);
    menu->addSeparator();
    planesAction = add(tr("Overlay planes\tO"), ViewerAction::ToggleOverlayPlanes);
    planesAction->setCheckable(true);
    button->setMenu(menu);
    // Wide enough for every tool's name, so that choosing one does not move the button.
    const QFontMetrics metrics(button->font());
    steadyWidth = metrics.horizontalAdvance(tr("Measure: %1").arg(tr("Rectangle (B)"))) + 40;
    UpdateButton();
    return button;
}

void CMeasureLayer::UpdateButton()
{
    if (button == nullptr)
    {
        return;
    }
    const QString names[] = {tr("Measure"), tr("Length (L)"), tr("Angle (A)"), tr("Ellipse (E)"), tr("Rectangle (B)")};
    button->setText(tool == MeasureTool::None ? names[0] : tr("Measure: %1").arg(names[static_cast<int>(tool)]));
    for (const auto& [which, action] : toolActions)
    {
        action->setChecked(which == tool);
    }
    if (planesAction != nullptr)
    {
        planesAction->setChecked(planesOn);
    }
}

} // namespace orblane
