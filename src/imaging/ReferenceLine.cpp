#include "imaging/ReferenceLine.h"

#include <array>
#include <cmath>
#include <numbers>

namespace orblane {
namespace {

// Points this close (in pixels) are one point: a line through a corner meets two edges there.
constexpr double kSamePoint = 1e-9;

double Unit(Vector3& v) noexcept
{
    const double length = std::sqrt(Dot(v, v));
    if (length > 0.0)
    {
        v = (1.0 / length) * v;
    }
    return length;
}

} // namespace

bool PlanesParallel(const ImagePlane& a, const ImagePlane& b) noexcept
{
    Vector3 na = a.Normal();
    Vector3 nb = b.Normal();
    if (Unit(na) == 0.0 || Unit(nb) == 0.0)
    {
        return true;
    }
    static const double kCosine = std::cos(kParallelDegrees * std::numbers::pi / 180.0);
    return std::fabs(Dot(na, nb)) >= kCosine;
}

ReferenceLine IntersectPlanes(const ImagePlane& a, const ImagePlane& b) noexcept
{
    ReferenceLine line;
    if (PlanesParallel(a, b))
    {
        line.outcome = LineOutcome::Parallel;
        return line;
    }
    Vector3 normal = a.Normal();
    Unit(normal);
    // Pixel (c, r) of B lies on A's plane where alpha c + beta r + gamma = 0.
    const double alpha = b.columnSpacing * Dot(normal, b.rowDirection);
    const double beta = b.rowSpacing * Dot(normal, b.columnDirection);
    const double gamma = Dot(normal, b.position - a.position);
    const double c0 = -0.5;
    const double c1 = b.columns - 0.5;
    const double r0 = -0.5;
    const double r1 = b.rows - 0.5;
    // Rounding may put an end a hair beyond its edge; anything within this of the area is on it.
    const double slack = 1e-9 * (1.0 + std::fabs(c1) + std::fabs(r1));
    std::array<PixelPoint, 4> found{};
    std::size_t count = 0;
    const auto add = [&](double c, double r) {
        if (c < c0 - slack || c > c1 + slack || r < r0 - slack || r > r1 + slack)
        {
            return;
        }
        const PixelPoint p{std::fmin(std::fmax(c, c0), c1), std::fmin(std::fmax(r, r0), r1)};
        for (std::size_t i = 0; i < count; ++i)
        {
            if (std::fabs(found[i].column - p.column) < kSamePoint && std::fabs(found[i].row - p.row) < kSamePoint)
            {
                return;
            }
        }
        found[count++] = p;
    };
    if (beta != 0.0)
    {
        add(c0, -(alpha * c0 + gamma) / beta);
        add(c1, -(alpha * c1 + gamma) / beta);
    }
    if (alpha != 0.0)
    {
        add(-(beta * r0 + gamma) / alpha, r0);
        add(-(beta * r1 + gamma) / alpha, r1);
    }
    if (count < 2)
    {
        line.outcome = LineOutcome::OutsideImage;
        return line;
    }
    // Of up to four points (a line along an edge or through corners), the two farthest apart are the ends.
    std::size_t first = 0;
    std::size_t second = 1;
    double longest = -1.0;
    for (std::size_t i = 0; i < count; ++i)
    {
        for (std::size_t j = i + 1; j < count; ++j)
        {
            const double dc = found[i].column - found[j].column;
            const double dr = found[i].row - found[j].row;
            if (dc * dc + dr * dr > longest)
            {
                longest = dc * dc + dr * dr;
                first = i;
                second = j;
            }
        }
    }
    line.from = found[first];
    line.to = found[second];
    if (line.to.column < line.from.column || (line.to.column == line.from.column && line.to.row < line.from.row))
    {
        std::swap(line.from, line.to);
    }
    line.outcome = LineOutcome::Line;
    return line;
}

ReferenceLine IntersectFrames(const FrameAttributes& a, const FrameAttributes& b) noexcept
{
    ReferenceLine line;
    if (!a.plane || !b.plane)
    {
        line.outcome = LineOutcome::NoGeometry;
        return line;
    }
    if (a.frameOfReferenceUid.empty() || b.frameOfReferenceUid.empty())
    {
        line.outcome = LineOutcome::NoFrameOfReference;
        return line;
    }
    if (a.frameOfReferenceUid != b.frameOfReferenceUid)
    {
        line.outcome = LineOutcome::DifferentFrameOfReference;
        return line;
    }
    return IntersectPlanes(*a.plane, *b.plane);
}

const char* LineOutcomeReason(LineOutcome outcome) noexcept
{
    switch (outcome)
    {
    case LineOutcome::Line:
        return "line";
    case LineOutcome::NoGeometry:
        return "no geometry";
    case LineOutcome::NoFrameOfReference:
        return "no frame of reference";
    case LineOutcome::DifferentFrameOfReference:
        return "different frame of reference";
    case LineOutcome::Parallel:
        return "parallel";
    case LineOutcome::OutsideImage:
        return "outside the image";
    }
    return "unknown";
}

} // namespace orblane
