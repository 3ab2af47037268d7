#include "imaging/ViewerSeries.h"

#include <algorithm>
#include <cmath>

namespace orblane {
namespace {

// Planes within 1° of parallel are one orientation, as the tiles' synchronised scrolling counts them.
constexpr double kParallelCosine = 0.99984769515639127; // cos 1°

bool UnitNormal(const FrameAttributes& frame, Vector3& normal) noexcept
{
    if (!frame.plane)
    {
        return false;
    }
    const Vector3 n = frame.plane->Normal();
    const double length = std::sqrt(Dot(n, n));
    if (!(length > 1e-6) || !std::isfinite(length))
    {
        return false;
    }
    normal = (1.0 / length) * n;
    return true;
}

} // namespace

int ViewerSeriesGrouper::Add(const ViewerSeriesKey& key, int index, std::vector<ViewerSeries>& series)
{
    std::vector<Part>& known = parts[{key.studyInstanceUid, key.seriesInstanceUid}];
    const bool enhanced = key.frame != nullptr && key.frame->fromFunctionalGroups;
    const std::string& stackId = enhanced ? key.frame->stackId : std::string();
    Vector3 normal;
    const bool oriented = enhanced && UnitNormal(*key.frame, normal);
    Part* found = nullptr;
    for (Part& part : known)
    {
        if (part.enhanced != enhanced || part.stackId != stackId)
        {
            continue;
        }
        // Classic images and planeless frames join the first stack that fits; a plane joins one of its
        // orientation, or one that has none yet.
        if (!oriented || !part.oriented || std::abs(Dot(part.normal, normal)) >= kParallelCosine)
        {
            found = &part;
            break;
        }
    }
    if (found == nullptr)
    {
        Part part;
        part.enhanced = enhanced;
        part.stackId = stackId;
        part.series = static_cast<int>(series.size());
        ViewerSeries entry;
        entry.studyInstanceUid = key.studyInstanceUid;
        entry.seriesInstanceUid = key.seriesInstanceUid;
        entry.firstImage = index;
        entry.lastImage = index;
        entry.stackId = stackId;
        entry.part = static_cast<int>(known.size());
        series.push_back(std::move(entry));
        known.push_back(std::move(part));
        found = &known.back();
    }
    if (oriented && !found->oriented)
    {
        found->oriented = true;
        found->normal = normal;
    }
    ViewerSeries& entry = series[static_cast<std::size_t>(found->series)];
    if (enhanced)
    {
        Place(*found, key.frame, oriented, index, entry);
    }
    else
    {
        entry.images.push_back(index);
    }
    entry.firstImage = std::min(entry.firstImage, index);
    entry.lastImage = std::max(entry.lastImage, index);
    entry.imageCount = static_cast<int>(entry.images.size());
    return found->series;
}

void ViewerSeriesGrouper::Place(Part& part, const FrameAttributes* frame, bool placed, int index, ViewerSeries& entry)
{
    const auto placedCount = static_cast<std::ptrdiff_t>(part.along.size());
    const double position = placed ? Dot(frame->plane->position, part.normal) : 0.0;
    if (!placed || !std::isfinite(position))
    {
        entry.images.push_back(index);
        return;
    }
    // Within a micrometre the frames lie on one plane: no direction follows from them.
    constexpr double kSamePlace = 1e-3;
    if (part.direction == 0.0 && placedCount > 0 && std::abs(position - part.along.front()) > kSamePlace)
    {
        part.direction = position > part.along.front() ? 1.0 : -1.0;
    }
    const double direction = part.direction;
    const auto at = std::upper_bound(part.along.begin(), part.along.end(), position,
                                     [direction](double a, double b) { return direction * a < direction * b; });
    const std::ptrdiff_t slot = at - part.along.begin();
    part.along.insert(at, position);
    if (slot < static_cast<std::ptrdiff_t>(entry.images.size()))
    {
        entry.inListOrder = false;
    }
    entry.images.insert(entry.images.begin() + slot, index);
}

std::vector<ViewerSeries> GroupViewerSeries(std::span<const ViewerSeriesKey> images)
{
    std::vector<ViewerSeries> series;
    // A study of thousands of series is looked up, not searched from the start for every image.
    ViewerSeriesGrouper grouper;
    for (std::size_t i = 0; i < images.size(); ++i)
    {
        grouper.Add(images[i], static_cast<int>(i), series);
    }
    return series;
}

int PlaceInSeries(const ViewerSeries& series, int index) noexcept
{
    const auto at = series.inListOrder ? std::lower_bound(series.images.begin(), series.images.end(), index)
                                       : std::find(series.images.begin(), series.images.end(), index);
    return at != series.images.end() && *at == index ? static_cast<int>(at - series.images.begin()) : -1;
}

} // namespace orblane
