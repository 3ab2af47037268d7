#include "dicom/Calibration.h"

#include "dicom/DicomDataFileIO.h"
#include "dicom/FrameGeometry.h"
#include "dicom/NestedItems.h"
#include "dicom/TopLevelIndex.h"

#include <array>
#include <cmath>
#include <string_view>

namespace orblane {
namespace {

ByteView BytesOf(const std::string& text) noexcept
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The state of one spacing attribute: absent, present and usable, or present and damaged.
enum class Presence : std::uint8_t
{
    Absent,
    Usable,
    Damaged,
};

struct PixelPair
{
    Presence presence = Presence::Absent;
    double row = 0.0;
    double column = 0.0;
};

PixelPair ReadPair(const std::optional<std::string>& text) noexcept
{
    PixelPair pair;
    if (!text)
    {
        return pair;
    }
    double values[2];
    pair.presence = Presence::Damaged;
    if (ParseDecimals(BytesOf(*text), values, 2) && values[0] > 0.0 && values[1] > 0.0 &&
        values[0] <= kMaxPixelSpacingMm && values[1] <= kMaxPixelSpacingMm)
    {
        pair = {Presence::Usable, values[0], values[1]};
    }
    return pair;
}

std::optional<double> ReadPositive(const std::optional<std::string>& text) noexcept
{
    double value = 0.0;
    if (!text || !ParseDecimals(BytesOf(*text), &value, 1) || !(value > 0.0) || value > kMaxCoordinateMm)
    {
        return std::nullopt;
    }
    return value;
}

bool SameSpacing(const PixelPair& a, const PixelPair& b) noexcept
{
    const auto close = [](double x, double y) { return std::fabs(x - y) <= 1e-9 * std::max(x, y); };
    return close(a.row, b.row) && close(a.column, b.column);
}

// Modalities whose images are projections through the patient (PS3.3 10.7.1.1: Imager Pixel Spacing belongs to
// them); any image that gives Imager Pixel Spacing is taken as one too.
bool IsProjection(std::string_view modality) noexcept
{
    constexpr std::array<std::string_view, 10> kProjection{"CR", "DX", "MG", "IO", "PX", "RF", "XA", "RG", "DF", "DS"};
    for (const std::string_view name : kProjection)
    {
        if (modality == name)
        {
            return true;
        }
    }
    return false;
}

// Free text for the label: trimmed, and bytes outside printable ASCII replaced, since its character set is the
// data set's and the label is UTF-8.
std::string PrintableText(const std::string& text)
{
    std::string out;
    for (const char c : text)
    {
        const auto byte = static_cast<unsigned char>(c);
        out += byte >= 0x20 && byte < 0x7F ? c : '?';
    }
    const std::size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos)
    {
        return {};
    }
    return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

Calibration Make(CalibrationBasis basis, const PixelPair& spacing, double divisor = 1.0)
{
    Calibration c;
    c.basis = basis;
    c.rowSpacing = spacing.row / divisor;
    c.columnSpacing = spacing.column / divisor;
    c.label = CalibrationBasisLabel(basis);
    return c;
}

std::optional<std::string> TextOf(std::optional<ByteView> value)
{
    if (!value)
    {
        return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(value->data()), value->size());
}

} // namespace

const char* CalibrationBasisLabel(CalibrationBasis basis) noexcept
{
    switch (basis)
    {
    case CalibrationBasis::None:
        return "px";
    case CalibrationBasis::CrossSectional:
        return "mm";
    case CalibrationBasis::BasisUnknown:
        return "mm (basis unknown)";
    case CalibrationBasis::Detector:
        return "mm at detector";
    case CalibrationBasis::MagnificationCorrected:
        return "mm, magnification corrected (estimated)";
    case CalibrationBasis::Calibrated:
        return "mm, calibrated";
    }
    return "px";
}

Calibration CalibrationOf(const SpacingAttributes& header)
{
    const PixelPair pixel = ReadPair(header.pixelSpacing);
    const PixelPair imager = ReadPair(header.imagerPixelSpacing);
    if (pixel.presence == Presence::Damaged || imager.presence == Presence::Damaged)
    {
        return {};
    }
    const bool projection = imager.presence == Presence::Usable || IsProjection(header.modality);
    if (!projection)
    {
        return pixel.presence == Presence::Usable ? Make(CalibrationBasis::CrossSectional, pixel) : Calibration{};
    }
    const bool hasPixel = pixel.presence == Presence::Usable;
    const bool hasImager = imager.presence == Presence::Usable;
    // Pixel Spacing that differs from the detector's is a calibration; the type or description says whose.
    if (hasPixel && hasImager && !SameSpacing(pixel, imager))
    {
        const std::string description = PrintableText(header.calibrationDescription.value_or(std::string()));
        const std::string type = PrintableText(header.calibrationType.value_or(std::string()));
        if (!description.empty() || !type.empty())
        {
            Calibration c = Make(CalibrationBasis::Calibrated, pixel);
            c.label += " (" + (description.empty() ? type : description) + ")";
            return c;
        }
    }
    if (hasImager)
    {
        // PS3.3 C.8.11.7: the factor is estimated, so the label says so; without it, the source distances give the
        // geometric magnification of the central ray.
        std::optional<double> magnification = ReadPositive(header.magnificationFactor);
        if (!magnification)
        {
            const auto detector = ReadPositive(header.sourceToDetector);
            const auto patient = ReadPositive(header.sourceToPatient);
            if (detector && patient && *patient <= *detector)
            {
                magnification = *detector / *patient;
            }
        }
        if (magnification)
        {
            return Make(CalibrationBasis::MagnificationCorrected, imager, *magnification);
        }
        if (!hasPixel || SameSpacing(pixel, imager))
        {
            return Make(CalibrationBasis::Detector, imager);
        }
    }
    return hasPixel ? Make(CalibrationBasis::BasisUnknown, pixel) : Calibration{};
}

namespace {

std::optional<std::string> PixelMeasuresSpacing(const SequenceItem& groups)
{
    const auto measures = NestedItems::FirstItem(groups, 0x0028, 0x9110);
    return measures ? TextOf(NestedItems::Value(*measures, 0x0028, 0x0030)) : std::nullopt;
}

SpacingAttributes TopLevelSpacingAttributes(const TopLevelIndex& index)
{
    SpacingAttributes a;
    a.modality = TrimmedText(index.Value(0x0008, 0x0060, 0));
    a.pixelSpacing = TextOf(index.Value(0x0028, 0x0030, 0));
    a.imagerPixelSpacing = TextOf(index.Value(0x0018, 0x1164, 0));
    a.magnificationFactor = TextOf(index.Value(0x0018, 0x1114, 0));
    a.sourceToDetector = TextOf(index.Value(0x0018, 0x1110, 0));
    a.sourceToPatient = TextOf(index.Value(0x0018, 0x1111, 0));
    a.calibrationType = TextOf(index.Value(0x0028, 0x0A02, 0));
    a.calibrationDescription = TextOf(index.Value(0x0028, 0x0A04, 0));
    return a;
}

} // namespace

SpacingAttributes ReadSpacingAttributes(const DicomDataFileIO& file, const TopLevelIndex& index, int frame)
{
    SpacingAttributes a = TopLevelSpacingAttributes(index);
    if (!a.pixelSpacing && frame >= 0)
    {
        const std::vector<SequenceItem> perFrame =
            TopLevelItems(index, file.DataBytes(), 0x5200, 0x9230, static_cast<std::size_t>(frame) + 1);
        if (static_cast<std::size_t>(frame) < perFrame.size())
        {
            a.pixelSpacing = PixelMeasuresSpacing(perFrame[static_cast<std::size_t>(frame)]);
        }
        const std::vector<SequenceItem> shared = TopLevelItems(index, file.DataBytes(), 0x5200, 0x9229, 1);
        if (!a.pixelSpacing && !shared.empty())
        {
            a.pixelSpacing = PixelMeasuresSpacing(shared.front());
        }
    }
    return a;
}

std::vector<SpacingAttributes> ReadFrameSpacingAttributes(const DicomDataFileIO& file, const TopLevelIndex& index,
                                                          int frameCount)
{
    std::vector<SpacingAttributes> frames;
    const SpacingAttributes top = TopLevelSpacingAttributes(index);
    if (top.pixelSpacing || frameCount <= 0)
    {
        return frames;
    }
    const std::vector<SequenceItem> perFrame =
        TopLevelItems(index, file.DataBytes(), 0x5200, 0x9230, static_cast<std::size_t>(frameCount));
    if (perFrame.empty())
    {
        return frames;
    }
    const std::vector<SequenceItem> shared = TopLevelItems(index, file.DataBytes(), 0x5200, 0x9229, 1);
    const std::optional<std::string> sharedSpacing =
        shared.empty() ? std::nullopt : PixelMeasuresSpacing(shared.front());
    frames.reserve(perFrame.size());
    for (const SequenceItem& groups : perFrame)
    {
        SpacingAttributes& a = frames.emplace_back(top);
        a.pixelSpacing = PixelMeasuresSpacing(groups);
        if (!a.pixelSpacing)
        {
            a.pixelSpacing = sharedSpacing;
        }
    }
    return frames;
}

} // namespace orblane
