#include "imaging/ViewerSeries.h"

#include <algorithm>
#include <map>
#include <utility>

namespace orblane {

std::vector<ViewerSeries> GroupViewerSeries(std::span<const ViewerSeriesKey> images)
{
    std::vector<ViewerSeries> series;
    // A study of thousands of series must not be searched from the start for every image.
    std::map<std::pair<std::string, std::string>, std::size_t> found;
    for (std::size_t i = 0; i < images.size(); ++i)
    {
        const ViewerSeriesKey& key = images[i];
        const auto [at, added] =
            found.emplace(std::make_pair(key.studyInstanceUid, key.seriesInstanceUid), series.size());
        if (added)
        {
            ViewerSeries entry;
            entry.studyInstanceUid = key.studyInstanceUid;
            entry.seriesInstanceUid = key.seriesInstanceUid;
            entry.firstImage = static_cast<int>(i);
            series.push_back(std::move(entry));
        }
        ViewerSeries& entry = series[at->second];
        entry.images.push_back(static_cast<int>(i));
        entry.imageCount = static_cast<int>(entry.images.size());
    }
    return series;
}

int PlaceInSeries(const ViewerSeries& series, int index) noexcept
{
    // The images are in ascending order: the viewer's own.
    const auto at = std::lower_bound(series.images.begin(), series.images.end(), index);
    return at != series.images.end() && *at == index ? static_cast<int>(at - series.images.begin()) : -1;
}

} // namespace orblane
