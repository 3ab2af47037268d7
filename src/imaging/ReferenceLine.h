#pragma once

#include "dicom/FrameGeometry.h"

namespace orblane {

// A point in an image's pixel coordinates: (0, 0) is the centre of the first pixel, columns run right, rows down.
struct PixelPoint
{
    double column = 0.0;
    double row = 0.0;
};

enum class LineOutcome : std::uint8_t
{
    Line,
    NoGeometry,         // either frame has no plane
    NoFrameOfReference, // either frame names none
    DifferentFrameOfReference,
    Parallel,     // the planes are within kParallelDegrees of each other
    OutsideImage, // the planes meet, but not within the other image
};

// Planes closer than this in angle are taken as parallel: their line of intersection would swing far outside the
// images on the least rounding of their orientations.
inline constexpr double kParallelDegrees = 1.0;

// A's plane where it crosses B's image, in B's pixel coordinates, clipped to B's image area (its pixels' outer edges:
// -0.5 to columns - 0.5, -0.5 to rows - 0.5). The end with the smaller column (then row) comes first.
struct ReferenceLine
{
    LineOutcome outcome = LineOutcome::NoGeometry;
    PixelPoint from;
    PixelPoint to;
};

ReferenceLine IntersectFrames(const FrameAttributes& a, const FrameAttributes& b) noexcept;
// The same for two planes known to share a frame of reference.
ReferenceLine IntersectPlanes(const ImagePlane& a, const ImagePlane& b) noexcept;
bool PlanesParallel(const ImagePlane& a, const ImagePlane& b) noexcept;
// The reason's text as the command line prints it.
const char* LineOutcomeReason(LineOutcome outcome) noexcept;

} // namespace orblane
