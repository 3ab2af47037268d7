#pragma once

#include "dicom/SeriesModel.h"
#include "imaging/StripSeries.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orblane {

// One file the viewer holds, as its listing names it: nothing is opened to build the strip from these.
struct StripFile
{
    std::string folder; // the medium's folder text the ID is relative to
    std::string fileId; // the Referenced File ID as stored
    std::u16string studyLabel;
};

// One entry of the series strip: a series of the viewer's images, or a series of reports the viewer holds apart.
struct StripEntry
{
    SeriesKind kind = SeriesKind::Images;
    std::string modality;
    std::optional<std::int64_t> number;
    std::u16string description;
    int images = 0;
    // Index into StripModel::studies.
    int study = 0;
    // Index into StripModel::series (the viewer's series, which a click pages to), or -1 for a report entry.
    int series = -1;
    // The viewer's report a click opens, or -1.
    int report = -1;
    // The image-list file whose image the thumbnail shows when there is no icon, or -1.
    int thumbnailFile = -1;
    std::optional<IconImage> icon;
};

struct StripStudy
{
    std::u16string label; // the study's date (and description) as the list shows it
};

struct StripModel
{
    std::vector<StripStudy> studies;
    // Grouped by study, studies in order; within a study its image series in the viewer's order, then its reports.
    std::vector<StripEntry> entries;
    // The viewer's series over the image list's files: first file and file count, in the strip's order.
    std::vector<StripSeries> series;
    // For each image-list file, the index of its series in `series`.
    std::vector<int> seriesOfFile;

    // Several studies are open: the entries show under their study.
    bool Grouped() const noexcept { return studies.size() > 1; }
};

// The media the files' folders hold, by folder text: null where a folder has no readable DICOMDIR.
using MediumOfFolder = std::function<const MediumSeries*(const std::string& folder)>;

// Builds the strip from the viewer's image-list files (in display order) and its reports, describing each series
// from the DICOMDIR of its folder. A file that no DICOMDIR lists joins one series per study label. Throws
// std::bad_alloc.
StripModel BuildStripModel(std::span<const StripFile> imageFiles, std::span<const StripFile> reportFiles,
                           const MediumOfFolder& mediumOf);

// Reads the DICOMDIR of each folder once (the DICOMDIR only: no image file is opened) and answers them by folder.
class StripMedia
{
public:
    const MediumSeries* Of(const std::string& folder);

private:
    struct Read
    {
        std::string folder;
        bool found = false;
        MediumSeries medium;
    };
    std::vector<Read> reads;
};

} // namespace orblane
