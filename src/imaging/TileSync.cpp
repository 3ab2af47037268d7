#include "imaging/TileSync.h"

#include "imaging/ReferenceLine.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orblane {
namespace {

// Two positions this close (mm) are one place: a single slice without thickness is in range only where it lies.
constexpr double kSamePlaceMm = 1e-3;

Vector3 UnitNormal(const ImagePlane& plane) noexcept
{
    const Vector3 n = plane.Normal();
    const double length = std::sqrt(Dot(n, n));
    return length > 0.0 ? (1.0 / length) * n : Vector3{};
}

} // namespace

std::optional<double> SeriesStack::Position(int k) const noexcept
{
    if (k < 0 || static_cast<std::size_t>(k) >= points.size() || !points[static_cast<std::size_t>(k)])
    {
        return std::nullopt;
    }
    return Dot(normal, *points[static_cast<std::size_t>(k)]);
}

SeriesStack MakeSeriesStack(std::span<const FrameAttributes* const> slices)
{
    SeriesStack stack;
    stack.points.resize(slices.size());
    const ImagePlane* first = nullptr;
    std::optional<double> thickness;
    for (std::size_t k = 0; k < slices.size(); ++k)
    {
        const FrameAttributes* slice = slices[k];
        if (slice == nullptr || !slice->plane)
        {
            continue;
        }
        if (first == nullptr)
        {
            first = &*slice->plane;
            stack.normal = UnitNormal(*first);
            stack.frameOfReferenceUid = slice->frameOfReferenceUid;
            thickness = slice->spacingBetweenSlices ? slice->spacingBetweenSlices : slice->sliceThickness;
        }
        // A slice tilted against the first (a scout in the series, a second stack) lies on no common normal.
        if (!PlanesParallel(*first, *slice->plane) || slice->frameOfReferenceUid != stack.frameOfReferenceUid)
        {
            continue;
        }
        stack.points[k] = slice->plane->position;
    }
    std::vector<double> positions;
    for (std::size_t k = 0; k < stack.points.size(); ++k)
    {
        if (const auto p = stack.Position(static_cast<int>(k)))
        {
            positions.push_back(*p);
        }
    }
    std::sort(positions.begin(), positions.end());
    std::vector<double> gaps;
    for (std::size_t k = 1; k < positions.size(); ++k)
    {
        if (positions[k] - positions[k - 1] > kSamePlaceMm)
        {
            gaps.push_back(positions[k] - positions[k - 1]);
        }
    }
    if (!gaps.empty())
    {
        std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2), gaps.end());
        stack.spacing = gaps[gaps.size() / 2];
    }
    else if (thickness && std::isfinite(*thickness) && *thickness > 0.0)
    {
        stack.spacing = *thickness;
    }
    return stack;
}

SyncRelation RelationOf(const SeriesStack& leader, const SeriesStack& follower, bool linked) noexcept
{
    if (!leader.HasGeometry() || !follower.HasGeometry())
    {
        return SyncRelation::None;
    }
    if (!leader.frameOfReferenceUid.empty() && leader.frameOfReferenceUid == follower.frameOfReferenceUid)
    {
        // One patient space: only parallel slices meet at one place; slices at an angle get reference lines.
        const double cosine = std::fabs(Dot(leader.normal, follower.normal));
        static const double kParallel = std::cos(kParallelDegrees * std::numbers::pi / 180.0);
        return cosine >= kParallel ? SyncRelation::ByPosition : SyncRelation::None;
    }
    // Another patient space (a prior study): positions mean nothing across it, distances do once linked.
    return linked ? SyncRelation::ByDistance : SyncRelation::None;
}

SyncTarget NearestToPosition(const SeriesStack& follower, double position) noexcept
{
    SyncTarget target;
    double best = 0.0;
    for (std::size_t k = 0; k < follower.points.size(); ++k)
    {
        const auto p = follower.Position(static_cast<int>(k));
        if (!p)
        {
            continue;
        }
        const double distance = std::fabs(*p - position);
        if (target.slice < 0 || distance < best)
        {
            target.slice = static_cast<int>(k);
            best = distance;
        }
    }
    if (target.slice < 0 || !std::isfinite(position))
    {
        return {SyncOutcome::NoSlice, -1};
    }
    target.outcome =
        best <= std::max(follower.spacing / 2.0, kSamePlaceMm) ? SyncOutcome::InRange : SyncOutcome::OutOfRange;
    return target;
}

SyncTarget NearestToPoint(const SeriesStack& follower, Vector3 point) noexcept
{
    return NearestToPosition(follower, Dot(follower.normal, point));
}

SyncTarget FollowPosition(const SeriesStack& leader, int leaderSlice, const SeriesStack& follower) noexcept
{
    if (leaderSlice < 0 || static_cast<std::size_t>(leaderSlice) >= leader.points.size() ||
        !leader.points[static_cast<std::size_t>(leaderSlice)])
    {
        return {};
    }
    return NearestToPoint(follower, *leader.points[static_cast<std::size_t>(leaderSlice)]);
}

SyncTarget FollowLinked(const SeriesStack& leader, int leaderSlice, double leaderAnchor, const SeriesStack& follower,
                        double followerAnchor) noexcept
{
    const auto at = leader.Position(leaderSlice);
    if (!at)
    {
        return {};
    }
    return NearestToPosition(follower, followerAnchor + (*at - leaderAnchor));
}

} // namespace orblane
