#pragma once

#include <span>
#include <string>
#include <vector>

namespace orblane {

// The series an image of the viewer belongs to, as its header names it.
struct ViewerSeriesKey
{
    std::string studyInstanceUid;
    std::string seriesInstanceUid;
};

// One series of the viewer's images: the images are indices into the viewer's list, in that list's order.
struct ViewerSeries
{
    std::string studyInstanceUid;
    std::string seriesInstanceUid;
    int firstImage = 0;
    int imageCount = 0;
    std::vector<int> images;
};

// The viewer's images grouped into series, in the order each series first appears among them (the studies as
// opened, then their series as their images come). Images that name no series form one series of their study.
// Throws std::bad_alloc.
std::vector<ViewerSeries> GroupViewerSeries(std::span<const ViewerSeriesKey> images);

// Where image `index` stands in its series, from 0; -1 when the series does not hold it.
int PlaceInSeries(const ViewerSeries& series, int index) noexcept;

} // namespace orblane
