#include "imaging/SeriesStripModel.h"

#include "platform/FileIdPath.h"

#include <algorithm>
#include <cstdint>

#include <unordered_map>

namespace orblane {
namespace {

// A listed ID compared without its pad: the DICOMDIR walk and the series reader may keep it or not.
std::string_view Trimmed(std::string_view id) noexcept
{
    while (!id.empty() && (id.back() == ' ' || id.back() == '\0'))
    {
        id.remove_suffix(1);
    }
    return id;
}

// Where a listed file sits in its medium's series.
struct Listed
{
    const StudyEntryOfSeries* study = nullptr;
    const SeriesEntry* series = nullptr;
};

// Keys of files no DICOMDIR lists: the study label stands for the study, and such keys never meet a UID.
std::string UnlistedStudyKey(const std::u16string& label)
{
    std::string key = "\x01";
    for (const char16_t c : label)
    {
        key += static_cast<char>(c >> 8);
        key += static_cast<char>(c & 0xFF);
    }
    return key;
}

class Lookup
{
public:
    explicit Lookup(const MediumOfFolder& of) : mediumOf(of) {}

    Listed Find(const StripFile& file)
    {
        auto [at, added] = byFolder.try_emplace(file.folder);
        if (added)
        {
            if (const MediumSeries* medium = mediumOf ? mediumOf(file.folder) : nullptr)
            {
                for (const StudyEntryOfSeries& study : medium->studies)
                {
                    for (const SeriesEntry& series : study.series)
                    {
                        for (const SeriesImage& image : series.images)
                        {
                            at->second.emplace(std::string(Trimmed(image.fileId)), Listed{&study, &series});
                        }
                    }
                }
            }
        }
        const auto found = at->second.find(std::string(Trimmed(file.fileId)));
        return found == at->second.end() ? Listed{} : found->second;
    }

private:
    const MediumOfFolder& mediumOf;
    std::unordered_map<std::string, std::unordered_map<std::string, Listed>> byFolder;
};

} // namespace

StripModel BuildStripModel(std::span<const StripFile> imageFiles, std::span<const StripFile> reportFiles,
                           const MediumOfFolder& mediumOf)
{
    Lookup lookup(mediumOf);
    const auto keyOf = [&lookup](const StripFile& file, Listed& listed) {
        listed = lookup.Find(file);
        if (listed.series == nullptr)
        {
            return StripSeriesKey{UnlistedStudyKey(file.studyLabel), file.seriesUid};
        }
        // A record without its UID is still a series of its own: the record itself is the key then.
        std::string series = listed.series->seriesInstanceUid;
        if (series.empty())
        {
            series = "\x02" + std::to_string(reinterpret_cast<std::uintptr_t>(listed.series));
        }
        return StripSeriesKey{listed.study->studyInstanceUid, std::move(series)};
    };
    std::vector<StripSeriesKey> keys;
    std::vector<Listed> listed(imageFiles.size());
    keys.reserve(imageFiles.size());
    for (std::size_t i = 0; i < imageFiles.size(); ++i)
    {
        keys.push_back(keyOf(imageFiles[i], listed[i]));
    }
    StripModel model;
    model.series = GroupStripSeries(keys);
    {
        std::unordered_map<std::string, int> seriesIndex;
        for (std::size_t s = 0; s < model.series.size(); ++s)
        {
            seriesIndex.emplace(model.series[s].study + '\n' + model.series[s].series, static_cast<int>(s));
        }
        model.seriesOfFile.reserve(keys.size());
        for (const StripSeriesKey& key : keys)
        {
            model.seriesOfFile.push_back(seriesIndex[key.study + '\n' + key.series]);
        }
    }
    std::unordered_map<std::string, int> studyIndex;
    const auto studyOf = [&model, &studyIndex](const std::string& key, const StripFile& file,
                                               const StudyEntryOfSeries* study) {
        const auto [at, added] = studyIndex.emplace(key, static_cast<int>(model.studies.size()));
        if (added)
        {
            StripStudy entry;
            entry.label = file.studyLabel;
            if (study != nullptr && study->description)
            {
                entry.label += (entry.label.empty() ? u"" : u"  ") + *study->description;
            }
            model.studies.push_back(std::move(entry));
        }
        return at->second;
    };
    const auto describe = [](StripEntry& entry, const Listed& from, const StripFile& file) {
        if (from.series == nullptr)
        {
            // What the scan read of it.
            entry.modality = std::string(Trimmed(file.modality));
            entry.number = file.seriesNumber;
            entry.description = file.description;
            return;
        }
        entry.kind = from.series->kind;
        entry.modality = from.series->modality;
        entry.number = from.series->number;
        entry.description = from.series->description.value_or(u"");
        entry.icon = from.series->icon;
    };
    for (std::size_t s = 0; s < model.series.size(); ++s)
    {
        const StripSeries& series = model.series[s];
        const auto first = static_cast<std::size_t>(series.first);
        StripEntry entry;
        entry.study = studyOf(series.study, imageFiles[first], listed[first].study);
        entry.series = static_cast<int>(s);
        entry.images = series.count;
        describe(entry, listed[first], imageFiles[first]);
        // The middle file of the series among the viewer's files: the one the medium lists as its middle image
        // where the series' files lie together, which they do on every medium written in series order.
        int seen = 0;
        for (std::size_t i = first; i < keys.size() && entry.thumbnailFile < 0; ++i)
        {
            if (keys[i].study == series.study && keys[i].series == series.series && seen++ == (series.count - 1) / 2)
            {
                entry.thumbnailFile = static_cast<int>(i);
            }
        }
        model.entries.push_back(std::move(entry));
    }
    // Reports the viewer holds apart: one entry per series, opening its first report.
    std::unordered_map<std::string, std::size_t> reportEntry;
    for (std::size_t r = 0; r < reportFiles.size(); ++r)
    {
        Listed from;
        const StripSeriesKey key = keyOf(reportFiles[r], from);
        const auto [at, added] = reportEntry.emplace(key.study + '\n' + key.series, model.entries.size());
        if (!added)
        {
            ++model.entries[at->second].images;
            continue;
        }
        StripEntry entry;
        entry.kind = SeriesKind::Report;
        describe(entry, from, reportFiles[r]);
        if (entry.kind == SeriesKind::Images)
        {
            // Held apart as a report, whatever the series says of itself.
            entry.kind = SeriesKind::Report;
        }
        entry.study = studyOf(key.study, reportFiles[r], from.study);
        entry.report = static_cast<int>(r);
        entry.images = 1;
        model.entries.push_back(std::move(entry));
    }
    // Grouped by study; stable, so the viewer's series keep their order and each study's reports follow them.
    std::stable_sort(model.entries.begin(), model.entries.end(),
                     [](const StripEntry& a, const StripEntry& b) { return a.study < b.study; });
    return model;
}

int StripModel::SeriesOfImage(int file, int viewer) const noexcept
{
    if (viewer >= 0)
    {
        for (std::size_t s = 0; s < series.size(); ++s)
        {
            if (series[s].viewerSeries == viewer)
            {
                return static_cast<int>(s);
            }
        }
    }
    return file >= 0 && static_cast<std::size_t>(file) < seriesOfFile.size()
               ? seriesOfFile[static_cast<std::size_t>(file)]
               : -1;
}

bool SplitStripStacks(StripModel& model, std::span<const ViewerSeries> viewerSeries, const FileOfImage& fileOfImage)
{
    bool added = false;
    const auto entryOf = [&model](int series) {
        for (std::size_t e = 0; e < model.entries.size(); ++e)
        {
            if (model.entries[e].series == series)
            {
                return static_cast<int>(e);
            }
        }
        return -1;
    };
    for (std::size_t v = model.viewerSeriesSeen; v < viewerSeries.size(); ++v)
    {
        const ViewerSeries& stack = viewerSeries[v];
        const int file = stack.part > 0 ? fileOfImage(stack.firstImage) : -1;
        if (file < 0 || static_cast<std::size_t>(file) >= model.seriesOfFile.size())
        {
            continue;
        }
        const int split = model.seriesOfFile[static_cast<std::size_t>(file)];
        const int entry = entryOf(split);
        if (entry < 0)
        {
            continue;
        }
        if (model.series[static_cast<std::size_t>(split)].viewerSeries < 0)
        {
            // The series' own entry becomes its first stack's.
            for (std::size_t first = 0; first < viewerSeries.size(); ++first)
            {
                const ViewerSeries& candidate = viewerSeries[first];
                if (candidate.part == 0 && candidate.studyInstanceUid == stack.studyInstanceUid &&
                    candidate.seriesInstanceUid == stack.seriesInstanceUid)
                {
                    model.series[static_cast<std::size_t>(split)].viewerSeries = static_cast<int>(first);
                    model.series[static_cast<std::size_t>(split)].firstImage = candidate.firstImage;
                    break;
                }
            }
        }
        StripSeries series = model.series[static_cast<std::size_t>(split)];
        series.viewerSeries = static_cast<int>(v);
        series.firstImage = stack.firstImage;
        series.count = 1;
        series.first = file;
        StripEntry copy = model.entries[static_cast<std::size_t>(entry)];
        copy.series = static_cast<int>(model.series.size());
        copy.icon.reset(); // the directory's icon shows the series' first stack
        copy.stack = stack.part;
        // After the series' entry and the stacks already split from it.
        std::size_t at = static_cast<std::size_t>(entry) + 1;
        while (at < model.entries.size() && model.entries[at].series >= 0 &&
               model.series[static_cast<std::size_t>(model.entries[at].series)].study == series.study &&
               model.series[static_cast<std::size_t>(model.entries[at].series)].series == series.series)
        {
            ++at;
        }
        model.series.push_back(std::move(series));
        model.entries.insert(model.entries.begin() + static_cast<std::ptrdiff_t>(at), std::move(copy));
        added = true;
    }
    model.viewerSeriesSeen = viewerSeries.size();
    for (StripEntry& entry : model.entries)
    {
        if (entry.series >= 0)
        {
            const int v = model.series[static_cast<std::size_t>(entry.series)].viewerSeries;
            if (v >= 0 && static_cast<std::size_t>(v) < viewerSeries.size())
            {
                entry.images = viewerSeries[static_cast<std::size_t>(v)].imageCount;
            }
        }
    }
    return added;
}

const MediumSeries* StripMedia::Of(const std::string& folder)
{
    for (const Read& read : reads)
    {
        if (read.folder == folder)
        {
            return read.found ? &read.medium : nullptr;
        }
    }
    Read read;
    read.folder = folder;
    std::filesystem::path dicomDir;
    // A file named by its path (a folder scan) has no medium folder: a DICOMDIR beside the working folder is no
    // directory of its.
    read.found = !folder.empty() && platform::ResolveFileIdPath(folder, u"DICOMDIR", dicomDir) == 0 &&
                 ReadDicomDirSeries(dicomDir, read.medium) == 0;
    reads.push_back(std::move(read));
    return reads.back().found ? &reads.back().medium : nullptr;
}

} // namespace orblane
