#pragma once

#include "platform/Bytes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orblane {

class DicomDataFileIO;
class TopLevelIndex;

struct Vector3
{
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

inline Vector3 operator+(Vector3 a, Vector3 b) noexcept
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vector3 operator-(Vector3 a, Vector3 b) noexcept
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vector3 operator*(double k, Vector3 a) noexcept
{
    return {k * a.x, k * a.y, k * a.z};
}
inline double Dot(Vector3 a, Vector3 b) noexcept
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vector3 Cross(Vector3 a, Vector3 b) noexcept
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// Where one frame's pixels lie in the patient's coordinates (PS3.3 C.7.6.2.1.1): pixel (column c, row r) has its
// centre at position + c * columnSpacing * rowDirection + r * rowSpacing * columnDirection.
struct ImagePlane
{
    Vector3 position;           // the centre of the first pixel sent, in mm
    Vector3 rowDirection;       // unit: along a row, towards higher columns
    Vector3 columnDirection;    // unit: down a column, towards higher rows
    double rowSpacing = 0.0;    // mm between the centres of adjacent rows (Pixel Spacing's first value)
    double columnSpacing = 0.0; // mm between the centres of adjacent columns (its second)
    std::uint16_t rows = 0;
    std::uint16_t columns = 0;

    Vector3 Normal() const noexcept { return Cross(rowDirection, columnDirection); }
    Vector3 PixelCentre(double column, double row) const noexcept
    {
        return position + (column * columnSpacing) * rowDirection + (row * rowSpacing) * columnDirection;
    }
};

// Why a frame has no plane; the plane is never guessed from what is left.
enum class GeometryProblem : std::uint8_t
{
    None,
    Missing,       // an attribute of the plane is absent
    Unreadable,    // a value is not the count of finite decimal numbers it must be (NaN, text, too few)
    Degenerate,    // an orientation vector of (nearly) zero length, or not of unit length
    NotOrthogonal, // the row and column directions are not at right angles
    BadSpacing,    // a pixel spacing that is zero, negative or absurd
};

// What one frame's attributes say beyond its pixels: an enhanced image's functional groups for that frame (its
// per-frame item, else the shared one), or a classic image's own attributes.
struct FrameAttributes
{
    std::optional<ImagePlane> plane;
    GeometryProblem problem = GeometryProblem::Missing;
    std::string frameOfReferenceUid; // (0020,0052), pad removed; empty when absent
    // Pixel Value Transformation and Frame VOI LUT (enhanced images only; a classic image's are read with its
    // pixels): absent when the frame does not give them.
    std::optional<double> rescaleIntercept;
    std::optional<double> rescaleSlope;
    std::optional<double> windowCentre;
    std::optional<double> windowWidth;
    std::optional<double> spacingBetweenSlices;
    std::optional<double> sliceThickness;
    std::string stackId;                         // Frame Content: Stack ID (0020,9056), pad removed
    std::optional<std::int32_t> inStackPosition; // In-Stack Position Number (0020,9057)
    bool fromFunctionalGroups = false;
};

// Sanity bounds of a plane: beyond them a value is damage, and arithmetic on it could overflow.
inline constexpr double kMaxCoordinateMm = 1e7;
inline constexpr double kMaxPixelSpacingMm = 1e5;

// The attributes of every frame of the file's image (its first occurrence of Rows): one entry a frame (at most
// frameCount). A classic single image gives its plane to its one frame; a classic multi-frame image describes only
// its first frame's position, so its other frames have no plane. Throws std::bad_alloc.
std::vector<FrameAttributes> ReadFrameAttributes(const DicomDataFileIO& file, const TopLevelIndex& index,
                                                 int frameCount);

// Builds a plane from the text values of Image Position (Patient), Image Orientation (Patient) and Pixel Spacing,
// checking each; problem says why there is none.
std::optional<ImagePlane> MakeImagePlane(std::optional<ByteView> position, std::optional<ByteView> orientation,
                                         std::optional<ByteView> spacing, std::uint16_t rows, std::uint16_t columns,
                                         GeometryProblem& problem) noexcept;

// Exactly `count` finite decimal numbers separated by backslashes (spaces around each allowed); none otherwise.
bool ParseDecimals(ByteView text, double* out, std::size_t count) noexcept;

// A UID or code value with its pad (trailing spaces and NULs) and leading spaces removed.
std::string TrimmedText(std::optional<ByteView> value);

const char* GeometryProblemName(GeometryProblem problem) noexcept;

} // namespace orblane
