#include "dicom/FrameGeometry.h"

#include "dicom/DicomDataFileIO.h"
#include "dicom/NestedItems.h"
#include "dicom/TopLevelIndex.h"
#include "dicom/ValueReader.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace orblane {
namespace {

// How far from unit length an orientation vector may be: writers round the cosines to a few digits (0.7071), which
// is damage of a few parts in ten thousand; a vector off by more is not a direction the writer meant.
constexpr double kUnitTolerance = 0.01;
// The cosine of the angle between the row and column directions that still counts as a right angle (about 0.6°).
constexpr double kOrthogonalTolerance = 0.01;

std::string_view Trim(std::string_view text) noexcept
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\0'))
    {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
    {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<double> ParseOneDecimal(std::string_view text) noexcept
{
    text = Trim(text);
    if (!text.empty() && text.front() == '+')
    {
        text.remove_prefix(1);
    }
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc{} || result.ptr != text.data() + text.size() || !std::isfinite(value))
    {
        return std::nullopt;
    }
    return value;
}

// The first of a multi-valued DS (a window centre may come with alternatives).
std::optional<double> FirstDecimal(std::optional<ByteView> value) noexcept
{
    if (!value)
    {
        return std::nullopt;
    }
    const std::string_view text(reinterpret_cast<const char*>(value->data()), value->size());
    return ParseOneDecimal(text.substr(0, text.find('\\')));
}

double Length(Vector3 v) noexcept
{
    return std::sqrt(Dot(v, v));
}

bool WithinBounds(const double* values, std::size_t count, double bound) noexcept
{
    for (std::size_t i = 0; i < count; ++i)
    {
        if (std::fabs(values[i]) > bound)
        {
            return false;
        }
    }
    return true;
}

// The attributes an enhanced image's frame takes from one functional group macro: the frame's own item first,
// else the shared item (PS3.3 C.7.6.16).
class FunctionalGroups
{
public:
    FunctionalGroups(const SequenceItem* perFrameItem, const SequenceItem* sharedItem) noexcept
        : perFrame(perFrameItem), shared(sharedItem)
    {
    }

    std::optional<SequenceItem> Macro(std::uint16_t group, std::uint16_t element) const
    {
        if (perFrame != nullptr)
        {
            if (auto item = NestedItems::FirstItem(*perFrame, group, element))
            {
                return item;
            }
        }
        return shared != nullptr ? NestedItems::FirstItem(*shared, group, element) : std::nullopt;
    }

    std::optional<ByteView> Value(std::uint16_t macroGroup, std::uint16_t macroElement, std::uint16_t group,
                                  std::uint16_t element) const
    {
        const auto item = Macro(macroGroup, macroElement);
        return item ? NestedItems::Value(*item, group, element) : std::nullopt;
    }

private:
    const SequenceItem* perFrame;
    const SequenceItem* shared;
};

FrameAttributes FromFunctionalGroups(const FunctionalGroups& groups, std::uint16_t rows, std::uint16_t columns)
{
    FrameAttributes a;
    a.fromFunctionalGroups = true;
    const auto measures = groups.Macro(0x0028, 0x9110);
    const auto spacing = measures ? NestedItems::Value(*measures, 0x0028, 0x0030) : std::nullopt;
    a.plane = MakeImagePlane(groups.Value(0x0020, 0x9113, 0x0020, 0x0032), groups.Value(0x0020, 0x9116, 0x0020, 0x0037),
                             spacing, rows, columns, a.problem);
    if (measures)
    {
        a.sliceThickness = FirstDecimal(NestedItems::Value(*measures, 0x0018, 0x0050));
        a.spacingBetweenSlices = FirstDecimal(NestedItems::Value(*measures, 0x0018, 0x0088));
    }
    if (const auto transform = groups.Macro(0x0028, 0x9145))
    {
        a.rescaleIntercept = FirstDecimal(NestedItems::Value(*transform, 0x0028, 0x1052));
        a.rescaleSlope = FirstDecimal(NestedItems::Value(*transform, 0x0028, 0x1053));
    }
    if (const auto voi = groups.Macro(0x0028, 0x9132))
    {
        a.windowCentre = FirstDecimal(NestedItems::Value(*voi, 0x0028, 0x1050));
        a.windowWidth = FirstDecimal(NestedItems::Value(*voi, 0x0028, 0x1051));
    }
    if (const auto content = groups.Macro(0x0020, 0x9111))
    {
        a.stackId = TrimmedText(NestedItems::Value(*content, 0x0020, 0x9056));
        if (const auto position = NestedItems::Value(*content, 0x0020, 0x9057))
        {
            if (const auto number = ValueReader(*position, content->order).U32(0))
            {
                a.inStackPosition = static_cast<std::int32_t>(std::min<std::uint32_t>(*number, 0x7FFFFFFF));
            }
        }
    }
    return a;
}

} // namespace

bool ParseDecimals(ByteView text, double* out, std::size_t count) noexcept
{
    std::string_view rest(reinterpret_cast<const char*>(text.data()), text.size());
    for (std::size_t i = 0; i < count; ++i)
    {
        const std::size_t separator = rest.find('\\');
        if ((separator == std::string_view::npos) != (i + 1 == count))
        {
            return false;
        }
        const auto value = ParseOneDecimal(rest.substr(0, separator));
        if (!value)
        {
            return false;
        }
        out[i] = *value;
        rest.remove_prefix(separator == std::string_view::npos ? rest.size() : separator + 1);
    }
    return true;
}

std::string TrimmedText(std::optional<ByteView> value)
{
    if (!value)
    {
        return {};
    }
    return std::string(Trim(std::string_view(reinterpret_cast<const char*>(value->data()), value->size())));
}

std::optional<ImagePlane> MakeImagePlane(std::optional<ByteView> position, std::optional<ByteView> orientation,
                                         std::optional<ByteView> spacing, std::uint16_t rows, std::uint16_t columns,
                                         GeometryProblem& problem) noexcept
{
    if (!position || !orientation || !spacing || rows == 0 || columns == 0)
    {
        problem = GeometryProblem::Missing;
        return std::nullopt;
    }
    double p[3];
    double o[6];
    double s[2];
    if (!ParseDecimals(*position, p, 3) || !ParseDecimals(*orientation, o, 6) || !ParseDecimals(*spacing, s, 2) ||
        !WithinBounds(p, 3, kMaxCoordinateMm))
    {
        problem = GeometryProblem::Unreadable;
        return std::nullopt;
    }
    if (!(s[0] > 0.0 && s[1] > 0.0 && s[0] <= kMaxPixelSpacingMm && s[1] <= kMaxPixelSpacingMm))
    {
        problem = GeometryProblem::BadSpacing;
        return std::nullopt;
    }
    const Vector3 row{o[0], o[1], o[2]};
    const Vector3 column{o[3], o[4], o[5]};
    const double rowLength = Length(row);
    const double columnLength = Length(column);
    if (!(std::fabs(rowLength - 1.0) <= kUnitTolerance && std::fabs(columnLength - 1.0) <= kUnitTolerance))
    {
        problem = GeometryProblem::Degenerate;
        return std::nullopt;
    }
    ImagePlane plane;
    plane.rowDirection = (1.0 / rowLength) * row;
    plane.columnDirection = (1.0 / columnLength) * column;
    if (std::fabs(Dot(plane.rowDirection, plane.columnDirection)) > kOrthogonalTolerance)
    {
        problem = GeometryProblem::NotOrthogonal;
        return std::nullopt;
    }
    plane.position = {p[0], p[1], p[2]};
    plane.rowSpacing = s[0];
    plane.columnSpacing = s[1];
    plane.rows = rows;
    plane.columns = columns;
    problem = GeometryProblem::None;
    return plane;
}

std::vector<FrameAttributes> ReadFrameAttributes(const DicomDataFileIO& file, const TopLevelIndex& index,
                                                 int frameCount)
{
    std::vector<FrameAttributes> frames;
    if (frameCount <= 0)
    {
        return frames;
    }
    const std::uint16_t rows = index.Us(0x0028, 0x0010, 0).value_or(0);
    const std::uint16_t columns = index.Us(0x0028, 0x0011, 0).value_or(0);
    const std::string frameOfReference = TrimmedText(index.Value(0x0020, 0x0052, 0));
    const std::size_t count = static_cast<std::size_t>(frameCount);
    const std::vector<SequenceItem> perFrame = TopLevelItems(index, file.DataBytes(), 0x5200, 0x9230, count);
    const std::vector<SequenceItem> shared = TopLevelItems(index, file.DataBytes(), 0x5200, 0x9229, 1);
    frames.reserve(count);
    if (perFrame.empty() && shared.empty())
    {
        FrameAttributes first;
        first.plane = MakeImagePlane(index.Value(0x0020, 0x0032, 0), index.Value(0x0020, 0x0037, 0),
                                     index.Value(0x0028, 0x0030, 0), rows, columns, first.problem);
        first.sliceThickness = FirstDecimal(index.Value(0x0018, 0x0050, 0));
        first.spacingBetweenSlices = FirstDecimal(index.Value(0x0018, 0x0088, 0));
        frames.push_back(std::move(first));
        frames.resize(count);
    }
    else
    {
        for (std::size_t k = 0; k < count; ++k)
        {
            const FunctionalGroups groups(k < perFrame.size() ? &perFrame[k] : nullptr,
                                          shared.empty() ? nullptr : &shared.front());
            frames.push_back(FromFunctionalGroups(groups, rows, columns));
        }
    }
    for (FrameAttributes& frame : frames)
    {
        frame.frameOfReferenceUid = frameOfReference;
    }
    return frames;
}

const char* GeometryProblemName(GeometryProblem problem) noexcept
{
    switch (problem)
    {
    case GeometryProblem::None:
        return "none";
    case GeometryProblem::Missing:
        return "missing";
    case GeometryProblem::Unreadable:
        return "unreadable";
    case GeometryProblem::Degenerate:
        return "degenerate orientation";
    case GeometryProblem::NotOrthogonal:
        return "orientation not orthogonal";
    case GeometryProblem::BadSpacing:
        return "bad pixel spacing";
    }
    return "unknown";
}

} // namespace orblane
