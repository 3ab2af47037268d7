#include "imaging/MeasureModel.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orblane {
namespace {

double Distance(TilePoint a, TilePoint b) noexcept
{
    return std::hypot(a.x - b.x, a.y - b.y);
}

double DistanceToSegment(TilePoint p, TilePoint a, TilePoint b) noexcept
{
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double lengthSquared = dx * dx + dy * dy;
    if (lengthSquared <= 0.0)
    {
        return Distance(p, a);
    }
    const double t = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / lengthSquared, 0.0, 1.0);
    return Distance(p, {a.x + t * dx, a.y + t * dy});
}

// How far p lies from the shape's drawn outline, in tile pixels.
double DistanceToOutline(const MeasureShape& shape, const TileMapping& map, TilePoint p) noexcept
{
    if (shape.points.size() < 2)
    {
        return std::numeric_limits<double>::infinity();
    }
    const TilePoint a = map.ToTile(shape.points[0]);
    const TilePoint b = map.ToTile(shape.points[1]);
    switch (shape.kind)
    {
    case MeasureKind::Length:
        return DistanceToSegment(p, a, b);
    case MeasureKind::Angle:
        return shape.points.size() < 3
                   ? DistanceToSegment(p, a, b)
                   : std::min(DistanceToSegment(p, a, b), DistanceToSegment(p, b, map.ToTile(shape.points[2])));
    case MeasureKind::Rectangle: {
        const TilePoint c{a.x, b.y};
        const TilePoint d{b.x, a.y};
        return std::min({DistanceToSegment(p, a, c), DistanceToSegment(p, c, b), DistanceToSegment(p, b, d),
                         DistanceToSegment(p, d, a)});
    }
    case MeasureKind::Ellipse: {
        const double cx = (a.x + b.x) / 2.0;
        const double cy = (a.y + b.y) / 2.0;
        const double rx = std::abs(b.x - a.x) / 2.0;
        const double ry = std::abs(b.y - a.y) / 2.0;
        if (rx <= 0.0 || ry <= 0.0)
        {
            return DistanceToSegment(p, a, b);
        }
        // The radial distance scaled by the nearer radius: exact on a circle, close enough for a pointer elsewhere.
        const double u = std::hypot((p.x - cx) / rx, (p.y - cy) / ry);
        return std::abs(u - 1.0) * std::min(rx, ry);
    }
    }
    return std::numeric_limits<double>::infinity();
}

// The selected shape first, then the newest.
std::vector<int> SearchOrder(const ImageMeasures& image)
{
    std::vector<int> order;
    const int count = static_cast<int>(image.shapes.size());
    if (image.selected >= 0 && image.selected < count)
    {
        order.push_back(image.selected);
    }
    for (int k = count - 1; k >= 0; --k)
    {
        if (k != image.selected)
        {
            order.push_back(k);
        }
    }
    return order;
}

bool HasExtent(const MeasureShape& shape) noexcept
{
    if (shape.points.size() < 2)
    {
        return false;
    }
    const ImagePoint a = shape.points[0];
    const ImagePoint b = shape.points[1];
    switch (shape.kind)
    {
    case MeasureKind::Length:
        return a.column != b.column || a.row != b.row;
    case MeasureKind::Angle:
        // An angle needs two arms; the core says why a degenerate one has no value, so only a click in place drops it.
        return std::any_of(shape.points.begin(), shape.points.end(),
                           [a](ImagePoint p) { return p.column != a.column || p.row != a.row; });
    case MeasureKind::Ellipse:
        return a.column != b.column && a.row != b.row;
    case MeasureKind::Rectangle:
        // A rectangle one pixel wide still counts its pixels.
        return a.column != b.column || a.row != b.row;
    }
    return false;
}

} // namespace

MeasureKind KindOf(MeasureTool tool) noexcept
{
    switch (tool)
    {
    case MeasureTool::Angle:
        return MeasureKind::Angle;
    case MeasureTool::Ellipse:
        return MeasureKind::Ellipse;
    case MeasureTool::Rectangle:
        return MeasureKind::Rectangle;
    case MeasureTool::None:
    case MeasureTool::Length:
        break;
    }
    return MeasureKind::Length;
}

int PointCount(MeasureKind kind) noexcept
{
    return kind == MeasureKind::Angle ? 3 : 2;
}

TilePoint TileMapping::ToTile(ImagePoint p) const noexcept
{
    return {left + (p.column + 0.5) * scaleX, top + (p.row + 0.5) * scaleY};
}

ImagePoint TileMapping::ToImage(TilePoint p) const noexcept
{
    if (!Usable())
    {
        return {};
    }
    return {(p.x - left) / scaleX - 0.5, (p.y - top) / scaleY - 0.5};
}

ImagePoint TileMapping::Snapped(TilePoint p) const noexcept
{
    const ImagePoint q = ToImage(p);
    if (!Usable() || !std::isfinite(q.column) || !std::isfinite(q.row))
    {
        return {};
    }
    return {std::clamp(std::round(q.column), 0.0, static_cast<double>(columns - 1)),
            std::clamp(std::round(q.row), 0.0, static_cast<double>(rows - 1))};
}

bool ImageMeasures::DeleteSelected() noexcept
{
    if (selected < 0 || selected >= static_cast<int>(shapes.size()))
    {
        return false;
    }
    shapes.erase(shapes.begin() + selected);
    selected = -1;
    return true;
}

bool ImageMeasures::Clear() noexcept
{
    const bool had = !shapes.empty();
    shapes.clear();
    selected = -1;
    return had;
}

ShapeHit HitShape(const ImageMeasures& image, const TileMapping& map, TilePoint at, double reach) noexcept
{
    if (!map.Usable() || image.shapes.empty())
    {
        return {};
    }
    try
    {
        const std::vector<int> order = SearchOrder(image);
        for (const int k : order)
        {
            const MeasureShape& shape = image.shapes[static_cast<std::size_t>(k)];
            for (std::size_t p = 0; p < shape.points.size(); ++p)
            {
                if (Distance(map.ToTile(shape.points[p]), at) <= reach)
                {
                    return {k, static_cast<int>(p)};
                }
            }
        }
        for (const int k : order)
        {
            if (DistanceToOutline(image.shapes[static_cast<std::size_t>(k)], map, at) <= reach)
            {
                return {k, -1};
            }
        }
    }
    catch (const std::bad_alloc&)
    {
    }
    return {};
}

EllipseGeometry EllipseOf(const MeasureShape& shape) noexcept
{
    if (shape.points.size() < 2)
    {
        return {};
    }
    const ImagePoint a = shape.points[0];
    const ImagePoint b = shape.points[1];
    return {{(a.column + b.column) / 2.0, (a.row + b.row) / 2.0},
            std::abs(b.column - a.column) / 2.0,
            std::abs(b.row - a.row) / 2.0};
}

void Remeasure(MeasureShape& shape, const MeasureScale& scale, const ValueGrid& values)
{
    if (static_cast<int>(shape.points.size()) < PointCount(shape.kind))
    {
        return;
    }
    const std::vector<ImagePoint>& p = shape.points;
    switch (shape.kind)
    {
    case MeasureKind::Length:
        shape.result = MeasureLength(p[0], p[1], scale);
        return;
    case MeasureKind::Angle:
        shape.result = MeasureAngle(p[0], p[1], p[2], scale);
        return;
    case MeasureKind::Ellipse: {
        const EllipseGeometry e = EllipseOf(shape);
        if (e.rx > 0.0 && e.ry > 0.0)
        {
            shape.result = MeasureEllipse(e.centre, e.rx, e.ry, values, scale);
            return;
        }
        shape.result = {};
        shape.result.kind = MeasureKind::Ellipse;
        shape.result.reason = "no area";
        return;
    }
    case MeasureKind::Rectangle:
        shape.result = MeasureRectangle(p[0], p[1], values, scale);
        return;
    }
}

int MeasureGesture::Press(ImageMeasures& image, MeasureTool tool, const TileMapping& map, TilePoint at, bool& taken)
{
    taken = false;
    if (!map.Usable())
    {
        return -1;
    }
    const ImagePoint snapped = map.Snapped(at);
    if (state == State::Placing)
    {
        taken = true;
        buttonDown = true;
        pressedAt = at;
        const int changed = shape;
        const std::size_t count = image.shapes.size();
        if (FixPoint(image, snapped))
        {
            Finish(image);
        }
        return image.shapes.size() == count ? changed : -1;
    }
    const ShapeHit hit = HitShape(image, map, at, kReach);
    if (hit.Found())
    {
        taken = true;
        image.selected = hit.shape;
        shape = hit.shape;
        point = hit.point;
        pressedAt = at;
        grabbedAt = snapped;
        before = image.shapes[static_cast<std::size_t>(shape)].points;
        state = hit.point >= 0 ? State::MovingPoint : State::MovingShape;
        return -1;
    }
    image.selected = -1;
    if (tool == MeasureTool::None)
    {
        return -1;
    }
    taken = true;
    MeasureShape added;
    added.kind = KindOf(tool);
    added.points.assign(static_cast<std::size_t>(PointCount(added.kind)), snapped);
    added.result.kind = added.kind;
    image.shapes.push_back(std::move(added));
    shape = static_cast<int>(image.shapes.size()) - 1;
    image.selected = shape;
    point = 1;
    state = State::Placing;
    buttonDown = true;
    pressedAt = at;
    return shape;
}

int MeasureGesture::Move(ImageMeasures& image, const TileMapping& map, TilePoint at) noexcept
{
    if (state == State::Idle || !map.Usable() || shape < 0 || shape >= static_cast<int>(image.shapes.size()))
    {
        return -1;
    }
    std::vector<ImagePoint>& points = image.shapes[static_cast<std::size_t>(shape)].points;
    const ImagePoint to = map.Snapped(at);
    switch (state)
    {
    case State::Placing:
        for (std::size_t k = static_cast<std::size_t>(point); k < points.size(); ++k)
        {
            points[k] = to;
        }
        return shape;
    case State::MovingPoint:
        points[static_cast<std::size_t>(point)] = to;
        return shape;
    case State::MovingShape: {
        // The whole shape moves by whole pixels and stays inside the image: its points remain pixel centres.
        double dc = to.column - grabbedAt.column;
        double dr = to.row - grabbedAt.row;
        for (const ImagePoint& p : before)
        {
            dc = std::clamp(dc, -p.column, map.columns - 1 - p.column);
            dr = std::clamp(dr, -p.row, map.rows - 1 - p.row);
        }
        for (std::size_t k = 0; k < points.size() && k < before.size(); ++k)
        {
            points[k] = {before[k].column + dc, before[k].row + dr};
        }
        return shape;
    }
    case State::Idle:
        break;
    }
    return -1;
}

int MeasureGesture::Release(ImageMeasures& image, const TileMapping& map, TilePoint at) noexcept
{
    if (state == State::Idle || shape < 0 || shape >= static_cast<int>(image.shapes.size()))
    {
        state = State::Idle;
        return -1;
    }
    const int changed = Move(image, map, at);
    if (state == State::Placing)
    {
        // A release away from its press ends a drag, which places the point as a click there would; one where it
        // went down leaves the point to the next click.
        const std::size_t count = image.shapes.size();
        if (buttonDown && Distance(at, pressedAt) > kDragSlop && FixPoint(image, map.Snapped(at)))
        {
            Finish(image);
        }
        buttonDown = false;
        return image.shapes.size() == count ? changed : -1;
    }
    state = State::Idle;
    return changed;
}

bool MeasureGesture::Cancel(ImageMeasures& image) noexcept
{
    const bool placing = state == State::Placing;
    if (placing && shape >= 0 && shape < static_cast<int>(image.shapes.size()))
    {
        image.shapes.erase(image.shapes.begin() + shape);
        image.selected = -1;
    }
    state = State::Idle;
    shape = point = -1;
    buttonDown = false;
    return placing;
}

bool MeasureGesture::FixPoint(ImageMeasures& image, ImagePoint at) noexcept
{
    std::vector<ImagePoint>& points = image.shapes[static_cast<std::size_t>(shape)].points;
    for (std::size_t k = static_cast<std::size_t>(point); k < points.size(); ++k)
    {
        points[k] = at;
    }
    ++point;
    return point >= static_cast<int>(points.size());
}

void MeasureGesture::Finish(ImageMeasures& image) noexcept
{
    if (!HasExtent(image.shapes[static_cast<std::size_t>(shape)]))
    {
        image.shapes.erase(image.shapes.begin() + shape);
        image.selected = -1;
    }
    state = State::Idle;
    shape = point = -1;
    buttonDown = false;
}

} // namespace orblane
