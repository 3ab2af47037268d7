#pragma once

#include <span>
#include <string>
#include <vector>

namespace orblane {

// Which study and series one item of the viewer (an image, or a file) belongs to; empty keys are a key too.
struct ImageSeriesKey
{
    std::string study;
    std::string series;
};

// One series of the viewer: where its first item is among the viewer's items, and how many it has.
struct ViewerSeries
{
    std::string study;
    std::string series;
    int first = 0;
    int count = 0;
};

// The viewer's series in the order the strip shows them and the tiles number them: studies in the order they first
// appear among the items, and within each study its series in the order they first appear. Throws std::bad_alloc.
std::vector<ViewerSeries> GroupViewerSeries(std::span<const ImageSeriesKey> items);

} // namespace orblane
