#pragma once

#include <span>
#include <string>
#include <vector>

namespace orblane {

// Which study and series one item of the viewer (an image, or a file) belongs to; empty keys are a key too.
struct StripSeriesKey
{
    std::string study;
    std::string series;
};

// One series of the viewer: where its first item is among the viewer's items, and how many it has.
struct StripSeries
{
    std::string study;
    std::string series;
    int first = 0;
    int count = 0;
    // A stack of an enhanced image's frames (SplitStripStacks): the viewer's series it is (ViewerSeries) and the
    // image it starts at. -1 for a series of whole files, which starts at the first image of file `first`.
    int viewerSeries = -1;
    int firstImage = -1;
};

// The strip's series in the order it shows them: studies in the order they first
// appear among the items, and within each study its series in the order they first appear. Throws std::bad_alloc.
std::vector<StripSeries> GroupStripSeries(std::span<const StripSeriesKey> items);

} // namespace orblane
