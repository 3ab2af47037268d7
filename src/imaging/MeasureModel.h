#pragma once

#include "imaging/Measurement.h"
#include "imaging/TilePoint.h"

#include <cstdint>
#include <vector>

// The viewer's measurements as plain values: the shapes drawn on one image, which of them a pointer position
// reaches, and the gesture that places a shape point by point or moves it. No window system is needed, so the whole
// behaviour is tested alone; the viewer (Qt) hands over its tile coordinates and draws what it gets back.
namespace orblane {

// The measuring tools; None leaves the left button to the toolbar's mode.
enum class MeasureTool : std::uint8_t
{
    None,
    Length,
    Angle,
    Ellipse,
    Rectangle,
};

MeasureKind KindOf(MeasureTool tool) noexcept;
// The points a shape is drawn from: a length's two ends; an angle's first arm end, its vertex and its second arm
// end; the two opposite corners of an ellipse's bounding box or of a rectangle.
int PointCount(MeasureKind kind) noexcept;

// Where an image lies in its tile: the centre of pixel (column, row) is at (left + (column + 0.5) × scaleX,
// top + (row + 0.5) × scaleY), so zoom, pan and the pixel aspect are all in these four numbers.
struct TileMapping
{
    double left = 0.0;
    double top = 0.0;
    double scaleX = 1.0;
    double scaleY = 1.0;
    std::int32_t columns = 0;
    std::int32_t rows = 0;

    TilePoint ToTile(ImagePoint p) const noexcept;
    ImagePoint ToImage(TilePoint p) const noexcept;
    // The centre of the pixel nearest to p, inside the image: measurements run between pixel centres.
    ImagePoint Snapped(TilePoint p) const noexcept;
    bool Usable() const noexcept { return columns > 0 && rows > 0 && scaleX > 0.0 && scaleY > 0.0; }
};

struct MeasureShape
{
    MeasureKind kind = MeasureKind::Length;
    std::vector<ImagePoint> points;
    Measurement result;
};

// The measurements of one image; `selected` is an index into `shapes`, or -1.
struct ImageMeasures
{
    std::vector<MeasureShape> shapes;
    int selected = -1;

    bool DeleteSelected() noexcept;
    bool Clear() noexcept;
};

// A shape under the pointer: which one, and which of its points (-1: its outline, which moves the whole shape).
struct ShapeHit
{
    int shape = -1;
    int point = -1;

    bool Found() const noexcept { return shape >= 0; }
};

// What lies within `reach` tile pixels of `at`: a point before any outline, and among equals the selected shape
// first, then the newest.
ShapeHit HitShape(const ImageMeasures& image, const TileMapping& map, TilePoint at, double reach) noexcept;

// An ellipse drawn from its bounding corners: centre and radii in pixels.
struct EllipseGeometry
{
    ImagePoint centre;
    double rx = 0.0;
    double ry = 0.0;
};
EllipseGeometry EllipseOf(const MeasureShape& shape) noexcept;

// The shape's value from its points: lengths and angles from the scale alone, regions with the values as well.
// Throws std::bad_alloc.
void Remeasure(MeasureShape& shape, const MeasureScale& scale, const ValueGrid& values);

// One pointer's work on an image's measurements. A shape is placed point by point, each by a click or by the end of
// a drag from the previous one (L, click, click; or L, drag); a press on a point or an outline moves that point or
// the whole shape instead. Every method answers the index of the shape whose points changed, or -1.
class MeasureGesture
{
public:
    // Tile pixels within which a press takes a point or an outline, and beyond which a release ends a drag.
    static constexpr double kReach = 6.0;
    static constexpr double kDragSlop = 4.0;

    // A press with `tool` chosen. `taken` answers whether the press was the measurements' (false: the toolbar's
    // mode has it; a press that reaches nothing also drops the selection).
    int Press(ImageMeasures& image, MeasureTool tool, const TileMapping& map, TilePoint at, bool& taken);
    // A move with or without the button.
    int Move(ImageMeasures& image, const TileMapping& map, TilePoint at) noexcept;
    int Release(ImageMeasures& image, const TileMapping& map, TilePoint at) noexcept;
    // Drops a shape still being placed (another tool, another image); answers whether there was one.
    bool Cancel(ImageMeasures& image) noexcept;
    bool Placing() const noexcept { return state == State::Placing; }
    // Whether a press is being followed (placing with the button held, or moving).
    bool Busy() const noexcept { return state != State::Idle; }

private:
    enum class State : std::uint8_t
    {
        Idle,
        Placing,
        MovingPoint,
        MovingShape,
    };
    // Fixes the point being placed and goes on to the next; answers whether the shape is complete.
    bool FixPoint(ImageMeasures& image, ImagePoint at) noexcept;
    // A complete shape of no extent is a slip of the hand: it is dropped.
    void Finish(ImageMeasures& image) noexcept;

    State state = State::Idle;
    int shape = -1;
    int point = -1;
    bool buttonDown = false;
    TilePoint pressedAt;
    ImagePoint grabbedAt;
    std::vector<ImagePoint> before;
};

} // namespace orblane
