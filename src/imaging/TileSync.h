#pragma once

#include "dicom/FrameGeometry.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orblane {

// A series as scrolling together sees it: its slices' positions along one normal. Slices without a plane, or whose
// plane is not parallel to the first slice's, have none and are never chosen.
struct SeriesStack
{
    std::string frameOfReferenceUid;            // of the first slice with a plane
    Vector3 normal;                             // unit; zero when no slice has a plane
    std::vector<std::optional<Vector3>> points; // each slice's first pixel centre, in the series' order
    // The distance between neighbouring slices along the normal (their median), else the slice thickness, else 0:
    // a target further than half of it from every slice is out of range.
    double spacing = 0.0;

    bool HasGeometry() const noexcept { return normal.x != 0.0 || normal.y != 0.0 || normal.z != 0.0; }
    // Slice k's position along the normal; none where the slice has no plane.
    std::optional<double> Position(int k) const noexcept;
};

// Builds the stack of a series from its slices' attributes (null for a slice whose file gave none).
// Throws std::bad_alloc.
SeriesStack MakeSeriesStack(std::span<const FrameAttributes* const> slices);

// How one tile's series follows another's.
enum class SyncRelation : std::uint8_t
{
    None,       // no geometry, or planes at an angle, or another frame of reference and not linked
    ByPosition, // one frame of reference, parallel planes: the same place in the patient
    ByDistance, // linked at their slices then: the same distance moved along each one's normal
};

SyncRelation RelationOf(const SeriesStack& leader, const SeriesStack& follower, bool linked) noexcept;

enum class SyncOutcome : std::uint8_t
{
    InRange,
    OutOfRange, // the nearest slice is further than half a slice spacing from the target
    NoSlice,    // the follower has no slice with a position
};

struct SyncTarget
{
    SyncOutcome outcome = SyncOutcome::NoSlice;
    int slice = -1; // the nearest slice (also when out of range)
};

// The follower's slice nearest to the point (in the patient's coordinates), measured along the follower's normal.
SyncTarget NearestToPoint(const SeriesStack& follower, Vector3 point) noexcept;
// The follower's slice nearest to a position along its own normal.
SyncTarget NearestToPosition(const SeriesStack& follower, double position) noexcept;

// Where a linked follower goes when the leader is at slice `leaderSlice`: the leader's move since the link
// (leaderAnchor, a position along its normal) added to the follower's position at the link.
SyncTarget FollowLinked(const SeriesStack& leader, int leaderSlice, double leaderAnchor, const SeriesStack& follower,
                        double followerAnchor) noexcept;
// Where a follower of the same frame of reference goes when the leader is at slice `leaderSlice`.
SyncTarget FollowPosition(const SeriesStack& leader, int leaderSlice, const SeriesStack& follower) noexcept;

} // namespace orblane
