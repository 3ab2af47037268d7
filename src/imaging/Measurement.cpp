#include "imaging/Measurement.h"

#include "dicom/DicomDataFileIO.h"
#include "dicom/FrameSource.h"
#include "dicom/TopLevelIndex.h"
#include "imaging/DecodedFrame.h"
#include "imaging/codecs/TransferSyntaxTable.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <utility>

namespace orblane {
namespace {

constexpr const char* kSquareMm = "mm\u00b2";
constexpr const char* kSquarePx = "px\u00b2";

// The region whose pixel holds the point (pixel centres at integers, so a pixel reaches half a pixel either side).
const UltrasoundRegion* RegionOf(ImagePoint point, const UltrasoundRegion& candidate) noexcept
{
    const double column = std::floor(point.column + 0.5);
    const double row = std::floor(point.row + 0.5);
    if (!(column >= 0.0 && row >= 0.0 && column <= 4294967295.0 && row <= 4294967295.0))
    {
        return nullptr;
    }
    return candidate.Contains(static_cast<std::uint32_t>(column), static_cast<std::uint32_t>(row)) ? &candidate
                                                                                                   : nullptr;
}

bool InAnyRegion(ImagePoint point, const std::vector<UltrasoundRegion>& regions) noexcept
{
    return std::any_of(regions.begin(), regions.end(),
                       [&](const UltrasoundRegion& region) { return RegionOf(point, region) != nullptr; });
}

// The first region (in the sequence's order) that holds every point, preferring one calibrated in cm: regions may
// overlap (a Doppler or M-mode strip laid over the spatial one), and a distance belongs to the spatial region.
const UltrasoundRegion* CommonRegion(std::span<const ImagePoint> points,
                                     const std::vector<UltrasoundRegion>& regions) noexcept
{
    const UltrasoundRegion* first = nullptr;
    for (const UltrasoundRegion& region : regions)
    {
        if (std::all_of(points.begin(), points.end(),
                        [&](ImagePoint point) { return RegionOf(point, region) != nullptr; }))
        {
            if (region.MeasuresInCentimetres())
            {
                return &region;
            }
            first = first == nullptr ? &region : first;
        }
    }
    return first;
}

struct Spacing
{
    double row = 1.0;
    double column = 1.0;
};

// The spacing of the points' measurement and its label, or the reason there is none. Ultrasound regions, where the
// image has them, decide alone: their deltas are the calibration.
bool ScaleFor(std::span<const ImagePoint> points, const MeasureScale& scale, Spacing& spacing, Measurement& m)
{
    if (scale.regions.empty())
    {
        m.label = scale.calibration.label;
        if (scale.calibration.HasSpacing())
        {
            spacing = {scale.calibration.rowSpacing, scale.calibration.columnSpacing};
        }
        return true;
    }
    m.label = "mm";
    const UltrasoundRegion* region = CommonRegion(points, scale.regions);
    if (region == nullptr)
    {
        const bool allInside = std::all_of(points.begin(), points.end(),
                                           [&](ImagePoint point) { return InAnyRegion(point, scale.regions); });
        m.reason = allInside ? "the points lie in different ultrasound regions"
                             : "a point lies outside every ultrasound region";
        return false;
    }
    if (!region->MeasuresInCentimetres())
    {
        m.reason = "the ultrasound region is not calibrated in cm";
        return false;
    }
    // Physical Delta is in cm a pixel; lengths are given in mm.
    spacing = {std::fabs(region->deltaY) * 10.0, std::fabs(region->deltaX) * 10.0};
    return true;
}

bool Finite(ImagePoint p) noexcept
{
    return std::isfinite(p.column) && std::isfinite(p.row);
}

bool InsideEllipse(double column, double row, ImagePoint centre, double rx, double ry) noexcept
{
    // The membership test as written, operation for operation, so that boundary pixels fall as they fall in any
    // other double-precision evaluation of the same formula.
    const double a = (column - centre.column) / rx;
    const double b = (row - centre.row) / ry;
    return a * a + b * b <= 1.0;
}

struct Accumulator
{
    std::uint64_t count = 0;
    std::int64_t sum = 0;
    std::int32_t low = std::numeric_limits<std::int32_t>::max();
    std::int32_t high = std::numeric_limits<std::int32_t>::min();
    // The squared deviations from the region's first value, modulo 2^64 (exact where the range says no square and
    // no sum of them can have wrapped); the deviations' own sum is the sum less count times that value.
    std::int32_t pivot = 0;
    std::uint64_t squares = 0;
};

// a × b as a 128-bit number (high, low): portable, since the variance needs it once per region.
std::pair<std::uint64_t, std::uint64_t> Multiply(std::uint64_t a, std::uint64_t b) noexcept
{
    const std::uint64_t aLow = a & 0xFFFFFFFFu;
    const std::uint64_t aHigh = a >> 32;
    const std::uint64_t bLow = b & 0xFFFFFFFFu;
    const std::uint64_t bHigh = b >> 32;
    const std::uint64_t lowLow = aLow * bLow;
    const std::uint64_t middle1 = aHigh * bLow + (lowLow >> 32);
    const std::uint64_t middle2 = aLow * bHigh + (middle1 & 0xFFFFFFFFu);
    return {aHigh * bHigh + (middle1 >> 32) + (middle2 >> 32), (middle2 << 32) | (lowLow & 0xFFFFFFFFu)};
}

// n × S2 − S1², exactly, as a double (one rounding): n² times the population variance of the deviations.
double ScaledVariance(std::uint64_t n, std::uint64_t squares, std::int64_t deviations) noexcept
{
    const auto [aHigh, aLow] = Multiply(n, squares);
    const std::uint64_t magnitude =
        deviations < 0 ? 0u - static_cast<std::uint64_t>(deviations) : static_cast<std::uint64_t>(deviations);
    const auto [bHigh, bLow] = Multiply(magnitude, magnitude);
    // Cauchy-Schwarz: n × S2 >= S1², so the difference is never negative.
    const std::uint64_t low = aLow - bLow;
    const std::uint64_t high = aHigh - bHigh - (aLow < bLow ? 1u : 0u);
    return static_cast<double>(high) * 18446744073709551616.0 + static_cast<double>(low);
}

// One pass over a region's row spans: the exact integer sum, minimum and maximum, and the deviations from the first
// value with their squares in 64-bit integers, from which the variance follows exactly (no cancellation, whatever
// the mean). Where the values' range could have wrapped those sums (beyond any stored image of up to 16 bits), a
// second pass sums the squared deviations from the mean in floating point.
template <typename ForEachSpan> void Statistics(const ValueGrid& values, ForEachSpan forEachSpan, Measurement& m)
{
    Accumulator acc;
    bool first = true;
    forEachSpan([&](const std::int32_t* p, std::int32_t n) {
        if (first)
        {
            acc.pivot = p[0];
            first = false;
        }
        const auto pivot = static_cast<std::uint32_t>(acc.pivot);
        std::int64_t sum = 0;
        std::uint64_t squares = 0;
        std::int32_t low = acc.low;
        std::int32_t high = acc.high;
        for (std::int32_t i = 0; i < n; ++i)
        {
            const std::int32_t v = p[i];
            sum += v;
            low = std::min(low, v);
            high = std::max(high, v);
            // Modulo 2^32, then read as signed: the true deviation wherever the range is below 2^31.
            const auto d = static_cast<std::int32_t>(static_cast<std::uint32_t>(v) - pivot);
            const std::uint32_t magnitude = d < 0 ? 0u - static_cast<std::uint32_t>(d) : static_cast<std::uint32_t>(d);
            squares += std::uint64_t{magnitude} * magnitude;
        }
        acc.sum += sum;
        acc.squares += squares;
        acc.low = low;
        acc.high = high;
        acc.count += static_cast<std::uint64_t>(n);
    });
    m.count = acc.count;
    if (acc.count == 0)
    {
        m.reason = "the region holds no pixel of the image";
        return;
    }
    const double mean = static_cast<double>(acc.sum) / static_cast<double>(acc.count);
    const auto range = static_cast<std::uint64_t>(std::int64_t{acc.high} - acc.low);
    double variance = 0.0;
    if (range < (std::uint64_t{1} << 31) && acc.count < (std::uint64_t{1} << 32) &&
        acc.count < ~std::uint64_t{0} / std::max<std::uint64_t>(range * range, 1))
    {
        const double n = static_cast<double>(acc.count);
        const std::int64_t deviations = acc.sum - static_cast<std::int64_t>(acc.count) * acc.pivot;
        variance = ScaledVariance(acc.count, acc.squares, deviations) / n / n;
    }
    else
    {
        double squares = 0.0;
        forEachSpan([&](const std::int32_t* p, std::int32_t n) {
            for (std::int32_t k = 0; k < n; ++k)
            {
                const double d = static_cast<double>(p[k]) - mean;
                squares += d * d;
            }
        });
        variance = squares / static_cast<double>(acc.count);
    }
    const double sd = std::sqrt(variance);
    const double a = static_cast<double>(acc.low) * values.slope + values.intercept;
    const double b = static_cast<double>(acc.high) * values.slope + values.intercept;
    const double meanValue = mean * values.slope + values.intercept;
    const double sdValue = sd * std::fabs(values.slope);
    if (!std::isfinite(a) || !std::isfinite(b) || !std::isfinite(meanValue) || !std::isfinite(sdValue))
    {
        m.reason = "the image's values are not finite numbers";
        return;
    }
    m.mean = meanValue;
    m.sd = sdValue;
    m.min = std::min(a, b);
    m.max = std::max(a, b);
}

// The spacing a region's area is given in: that of an ultrasound region in cm holding the whole shape (its bounding
// corners), else the header's; none without either.
struct AreaUnits
{
    std::optional<Spacing> spacing;
    std::string label;
};

AreaUnits AreaUnitsOf(std::span<const ImagePoint> corners, const MeasureScale& scale)
{
    if (!scale.regions.empty())
    {
        const UltrasoundRegion* region = CommonRegion(corners, scale.regions);
        if (region != nullptr && region->MeasuresInCentimetres())
        {
            return {Spacing{std::fabs(region->deltaY) * 10.0, std::fabs(region->deltaX) * 10.0}, "mm"};
        }
    }
    if (scale.calibration.HasSpacing())
    {
        return {Spacing{scale.calibration.rowSpacing, scale.calibration.columnSpacing}, scale.calibration.label};
    }
    return {std::nullopt, scale.calibration.label};
}

void RegionArea(std::uint64_t count, const AreaUnits& units, Measurement& m)
{
    if (units.spacing)
    {
        m.areaMm2 = static_cast<double>(count) * units.spacing->row * units.spacing->column;
    }
    m.label = units.label;
    m.unit = units.spacing ? kSquareMm : kSquarePx;
}

} // namespace

Measurement MeasureLength(ImagePoint from, ImagePoint to, const MeasureScale& scale)
{
    Measurement m;
    m.kind = MeasureKind::Length;
    const ImagePoint points[] = {from, to};
    Spacing spacing;
    const bool scaled = ScaleFor(points, scale, spacing, m);
    m.unit = scale.regions.empty() && !scale.calibration.HasSpacing() ? "px" : "mm";
    if (!scaled)
    {
        return m;
    }
    if (!Finite(from) || !Finite(to))
    {
        m.reason = "a point is not a number";
        return m;
    }
    m.value = std::hypot((to.column - from.column) * spacing.column, (to.row - from.row) * spacing.row);
    return m;
}

Measurement MeasureAngle(ImagePoint a, ImagePoint vertex, ImagePoint c, const MeasureScale& scale)
{
    Measurement m;
    m.kind = MeasureKind::Angle;
    m.unit = "\u00b0";
    const ImagePoint points[] = {a, vertex, c};
    Spacing spacing;
    if (!ScaleFor(points, scale, spacing, m))
    {
        return m;
    }
    if (!Finite(a) || !Finite(vertex) || !Finite(c))
    {
        m.reason = "a point is not a number";
        return m;
    }
    // In millimetre space: on pixels that are not square an angle in pixels is not the patient's angle.
    const double ux = (a.column - vertex.column) * spacing.column;
    const double uy = (a.row - vertex.row) * spacing.row;
    const double vx = (c.column - vertex.column) * spacing.column;
    const double vy = (c.row - vertex.row) * spacing.row;
    if ((ux == 0.0 && uy == 0.0) || (vx == 0.0 && vy == 0.0))
    {
        m.reason = "an arm of the angle has no length";
        return m;
    }
    const double degrees = std::atan2(std::fabs(ux * vy - uy * vx), ux * vx + uy * vy) * 180.0 / std::numbers::pi;
    m.value = std::round(degrees * 10.0) / 10.0;
    return m;
}

RowSpan EllipseRowSpan(ImagePoint centre, double rx, double ry, std::int32_t row, std::int32_t width) noexcept
{
    const double b = (row - centre.row) / ry;
    const double t = 1.0 - b * b;
    if (!(t >= 0.0) || width <= 0)
    {
        return {};
    }
    // The square root finds the span to within a pixel; the formula itself then settles its two ends.
    const double half = rx * std::sqrt(t);
    const double low = std::max(std::ceil(centre.column - half), -1.0);
    const double high = std::min(std::floor(centre.column + half), static_cast<double>(width));
    if (!(low <= static_cast<double>(width) && high >= -1.0))
    {
        return {};
    }
    auto first = static_cast<std::int32_t>(low);
    auto last = static_cast<std::int32_t>(high);
    const auto inside = [&](std::int32_t column) { return InsideEllipse(column, row, centre, rx, ry); };
    while (first > 0 && inside(first - 1))
    {
        --first;
    }
    while (first <= last && !inside(first))
    {
        ++first;
    }
    while (last < width - 1 && inside(last + 1))
    {
        ++last;
    }
    while (last >= first && !inside(last))
    {
        --last;
    }
    return {std::max(first, 0), std::min(last, width - 1)};
}

Measurement MeasureEllipse(ImagePoint centre, double rx, double ry, const ValueGrid& values, const MeasureScale& scale)
{
    Measurement m;
    m.kind = MeasureKind::Ellipse;
    m.luminance = values.luminance;
    const ImagePoint corners[] = {{centre.column - rx, centre.row - ry}, {centre.column + rx, centre.row + ry}};
    const AreaUnits units = AreaUnitsOf(corners, scale);
    RegionArea(0, units, m);
    if (!Finite(centre) || !std::isfinite(rx) || !std::isfinite(ry) || !(rx > 0.0) || !(ry > 0.0))
    {
        m.reason = "the ellipse has no area";
        return m;
    }
    const double product = units.spacing ? units.spacing->row * units.spacing->column : 1.0;
    m.value = std::numbers::pi * rx * ry * product;
    if (!values.Usable())
    {
        m.reason = "the image has no values to measure";
        return m;
    }
    const double top = std::max(std::ceil(centre.row - ry) - 1.0, 0.0);
    const double bottom = std::min(std::floor(centre.row + ry) + 1.0, static_cast<double>(values.height - 1));
    const auto forEachSpan = [&](auto&& visit) {
        for (double r = top; r <= bottom; r += 1.0)
        {
            const auto row = static_cast<std::int32_t>(r);
            const RowSpan span = EllipseRowSpan(centre, rx, ry, row, values.width);
            if (span.first <= span.last)
            {
                visit(values.samples.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(values.width) +
                          span.first,
                      span.last - span.first + 1);
            }
        }
    };
    Statistics(values, forEachSpan, m);
    RegionArea(m.count, units, m);
    return m;
}

Measurement MeasureRectangle(ImagePoint a, ImagePoint b, const ValueGrid& values, const MeasureScale& scale)
{
    Measurement m;
    m.kind = MeasureKind::Rectangle;
    m.luminance = values.luminance;
    const ImagePoint corners[] = {a, b};
    const AreaUnits units = AreaUnitsOf(corners, scale);
    RegionArea(0, units, m);
    if (!Finite(a) || !Finite(b))
    {
        m.reason = "a corner is not a number";
        return m;
    }
    if (!values.Usable())
    {
        m.reason = "the image has no values to measure";
        return m;
    }
    const double left = std::max(std::ceil(std::min(a.column, b.column)), 0.0);
    const double right = std::min(std::floor(std::max(a.column, b.column)), static_cast<double>(values.width - 1));
    const double top = std::max(std::ceil(std::min(a.row, b.row)), 0.0);
    const double bottom = std::min(std::floor(std::max(a.row, b.row)), static_cast<double>(values.height - 1));
    const auto forEachSpan = [&](auto&& visit) {
        if (left > right)
        {
            return;
        }
        for (double r = top; r <= bottom; r += 1.0)
        {
            const auto row = static_cast<std::size_t>(r);
            visit(values.samples.data() + row * static_cast<std::size_t>(values.width) + static_cast<std::size_t>(left),
                  static_cast<std::int32_t>(right - left) + 1);
        }
    };
    Statistics(values, forEachSpan, m);
    RegionArea(m.count, units, m);
    m.value = m.areaMm2 ? *m.areaMm2 : static_cast<double>(m.count);
    return m;
}

MeasureValues DecodeMeasureValues(const PixelDescription& frame)
{
    MeasureValues out;
    PixelDescription raw = frame;
    const bool monochrome = IsMonochrome(frame.photometric);
    if (monochrome)
    {
        // Decoded with the identity rescale, the frame's values are its signed stored values; the file's own map is
        // applied afterwards, in double precision.
        raw.rescaleSlope = 1.0;
        raw.rescaleIntercept = 0.0;
        raw.hasModalityLut = false;
    }
    const std::shared_ptr<const DecodedFrame> decoded = DecodeFrameOf(raw, nullptr);
    if (decoded == nullptr || decoded->width <= 0 || decoded->height <= 0)
    {
        return out;
    }
    out.width = decoded->width;
    out.height = decoded->height;
    const std::size_t count = static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height);
    if (monochrome)
    {
        const auto values = decoded->Values();
        if (values.size() < count)
        {
            return {};
        }
        out.samples.assign(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(count));
        if (frame.hasModalityLut)
        {
            const Lut lut = CopyLut(frame.modalityLut);
            if (!lut.Empty())
            {
                for (std::int32_t& v : out.samples)
                {
                    v = lut.Lookup(v);
                }
            }
        }
        else
        {
            out.slope = frame.rescaleSlope;
            out.intercept = frame.rescaleIntercept;
        }
        return out;
    }
    const DisplayBitmap& colour = decoded->colour;
    if (colour.IsNull() || colour.BitsPerPixel() != 32 || colour.Width() < out.width || colour.Height() < out.height)
    {
        return {};
    }
    // Luminance in thousandths keeps the sums integral; the linear map gives it back in display units.
    out.samples.resize(count);
    for (std::int32_t row = 0; row < out.height; ++row)
    {
        const std::uint32_t* pixels = colour.Pixels32(row);
        std::int32_t* target = out.samples.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(out.width);
        for (std::int32_t column = 0; column < out.width; ++column)
        {
            const std::uint32_t p = pixels[column];
            target[column] =
                static_cast<std::int32_t>(299 * ((p >> 16) & 0xFF) + 587 * ((p >> 8) & 0xFF) + 114 * (p & 0xFF));
        }
    }
    out.slope = 0.001;
    out.luminance = true;
    return out;
}

std::int32_t LoadMeasureFrame(const DicomDataFileIO& file, std::int32_t frame, MeasureScale& scale,
                              MeasureValues& values)
{
    const TopLevelIndex index(file);
    scale.calibration = CalibrationOf(ReadSpacingAttributes(file, index, frame));
    scale.regions = ReadUltrasoundRegions(file, index);
    values = {};
    std::vector<FrameSource> sources;
    // An image whose pixels cannot be decoded still has its geometry: lengths and angles need no values.
    if (ReadFrameSources(file, index, &HasCodec, true, sources) == 0 || sources.empty() ||
        sources.front().description.rowCount == 0 || sources.front().description.columnCount == 0)
    {
        return 0;
    }
    const FrameSource& source = sources.front();
    const std::int32_t frames = std::max(source.description.frameCount, 1);
    if (frame < 0 || frame >= frames || !source.decodable)
    {
        return frames;
    }
    std::vector<std::uint8_t> joined;
    values = DecodeMeasureValues(source.Frame(frame, joined));
    return frames;
}

} // namespace orblane
