#pragma once

#include "dicom/Calibration.h"
#include "dicom/PixelDescription.h"
#include "dicom/UltrasoundRegions.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orblane {

class DicomDataFileIO;

// A point in image pixel coordinates: (0, 0) is the centre of the first pixel, columns to the right, rows down.
// The viewer maps its handles to and from the screen; every value here is computed in these coordinates.
struct ImagePoint
{
    double column = 0.0;
    double row = 0.0;
};

enum class MeasureKind : std::uint8_t
{
    Length,
    Angle,
    Ellipse,
    Rectangle,
};

// One measurement's outcome, ready to draw and to print. `value` is the length (in `unit`: "mm" or "px"), the angle
// in degrees to one decimal ("°"), or a region's area ("mm²" or "px²"; an ellipse's analytic area, a rectangle's
// pixel count times the spacing); without a value, `reason` says why in a few words.
struct Measurement
{
    MeasureKind kind = MeasureKind::Length;
    std::optional<double> value;
    std::string unit;
    std::string label; // the calibration's label ("mm at detector", "px", ...)
    std::string reason;
    // Regions: the pixels whose centres lie inside (and inside the image), their area from the spacing (none
    // without one) and the statistics of their values (none for an empty region or an image without values).
    std::uint64_t count = 0;
    std::optional<double> areaMm2;
    std::optional<double> mean;
    std::optional<double> sd; // population standard deviation
    std::optional<double> min;
    std::optional<double> max;
    // The statistics are of the luminance of a colour image (Rec. 601 weights), not of modality values.
    bool luminance = false;
};

// What a distance is measured with: the header's calibration and the image's ultrasound regions (if any).
struct MeasureScale
{
    Calibration calibration;
    std::vector<UltrasoundRegion> regions;
};

// hypot(Δcolumn × column spacing, Δrow × row spacing) between the points (pixel centres). On an image with ultrasound
// regions, both ends must lie in one region calibrated in centimetres; the length is then in mm.
Measurement MeasureLength(ImagePoint from, ImagePoint to, const MeasureScale& scale);
// The angle at `vertex` between the arms to `a` and `c`, in millimetre space where the image has spacing.
Measurement MeasureAngle(ImagePoint a, ImagePoint vertex, ImagePoint c, const MeasureScale& scale);

// The values a region's statistics are taken of: one 32-bit integer a pixel, rows top first, and the linear map to
// the reported value (value = integer × slope + intercept), applied once to the statistics rather than to every
// pixel, so that a tiny rescale slope keeps its precision. A view: the viewer can point it at the modality values it
// already holds (CImageData::Values, slope 1), exact wherever the file's rescale is integral.
struct ValueGrid
{
    std::span<const std::int32_t> samples;
    std::int32_t width = 0;
    std::int32_t height = 0;
    double slope = 1.0;
    double intercept = 0.0;
    bool luminance = false;

    bool Usable() const noexcept
    {
        return width > 0 && height > 0 &&
               samples.size() >= static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    }
};

// The values of one frame, owned.
struct MeasureValues
{
    std::vector<std::int32_t> samples;
    std::int32_t width = 0;
    std::int32_t height = 0;
    double slope = 1.0;
    double intercept = 0.0;
    bool luminance = false;

    ValueGrid Grid() const noexcept { return {samples, width, height, slope, intercept, luminance}; }
};

// The values of one frame for measuring, decoded through the same pipeline the viewer shows it with. `frame` is
// one frame's description with its planes still in the file (FrameSource::Frame): monochrome frames give their
// stored values (signed, shifted down) through the Modality LUT, or with the rescale kept as the linear map;
// colour frames give their luminance (0.299 R + 0.587 G + 0.114 B, Rec. 601). Empty when the frame cannot be
// decoded. Throws std::bad_alloc.
MeasureValues DecodeMeasureValues(const PixelDescription& frame);

// What a loaded file's first image gives for measuring on frame `frame` (from 0): the header's scale and the frame's
// values. Answers the number of frames of the image (0 where the file holds none); `values` stays empty when the frame
// lies beyond them or cannot be decoded (lengths and angles are then still measured). For the command line and tests:
// it reads the mapping without a guard. Throws std::bad_alloc.
std::int32_t LoadMeasureFrame(const DicomDataFileIO& file, std::int32_t frame, MeasureScale& scale,
                              MeasureValues& values);

// The ellipse centred on (centre) with radii rx (columns) and ry (rows): pixels with
// ((c − cx) / rx)² + ((r − cy) / ry)² ≤ 1. Radii must be positive and finite.
Measurement MeasureEllipse(ImagePoint centre, double rx, double ry, const ValueGrid& values, const MeasureScale& scale);
// The rectangle with corners at two pixel centres, bounds inclusive.
// On an ultrasound image, a region's area is in mm² where one region calibrated in cm holds the whole shape.
Measurement MeasureRectangle(ImagePoint a, ImagePoint b, const ValueGrid& values, const MeasureScale& scale);

// The columns [first, last] of row `row` whose centres lie inside the ellipse, clipped to [0, width); first > last
// where none does. Exposed for the viewer, which outlines the pixels a region counts.
struct RowSpan
{
    std::int32_t first = 0;
    std::int32_t last = -1;
};
RowSpan EllipseRowSpan(ImagePoint centre, double rx, double ry, std::int32_t row, std::int32_t width) noexcept;

} // namespace orblane
