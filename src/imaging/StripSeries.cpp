#include "imaging/StripSeries.h"

#include <unordered_map>

namespace orblane {

std::vector<StripSeries> GroupStripSeries(std::span<const StripSeriesKey> items)
{
    // Per study, its series in order of appearance; a medium of thousands of series stays linear.
    struct Study
    {
        std::vector<StripSeries> series;
        std::unordered_map<std::string, std::size_t> bySeries;
    };
    std::vector<Study> studies;
    std::unordered_map<std::string, std::size_t> byStudy;
    for (std::size_t i = 0; i < items.size(); ++i)
    {
        const StripSeriesKey& item = items[i];
        const auto [study, newStudy] = byStudy.emplace(item.study, studies.size());
        if (newStudy)
        {
            studies.emplace_back();
        }
        Study& entry = studies[study->second];
        const auto [series, newSeries] = entry.bySeries.emplace(item.series, entry.series.size());
        if (newSeries)
        {
            entry.series.push_back({item.study, item.series, static_cast<int>(i), 0});
        }
        ++entry.series[series->second].count;
    }
    std::vector<StripSeries> out;
    for (Study& study : studies)
    {
        for (StripSeries& series : study.series)
        {
            out.push_back(std::move(series));
        }
    }
    return out;
}

} // namespace orblane
