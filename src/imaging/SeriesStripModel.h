#pragma once

#include "dicom/SeriesModel.h"
#include "imaging/StripSeries.h"
#include "imaging/ViewerSeries.h"

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
    // A file no DICOMDIR lists (a folder scan): its series as the scan read it. Files of one study label and UID form
    // one series; without a UID they join one series per label.
    std::string seriesUid = {};
    std::optional<std::int64_t> seriesNumber = {};
    std::string modality = {};
    std::u16string description = {};
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
    // Which stack of its series the entry shows (SplitStripStacks), from 0.
    int stack = 0;
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

    // How many of the viewer's series SplitStripStacks has looked at.
    std::size_t viewerSeriesSeen = 0;

    // Several studies are open: the entries show under their study.
    bool Grouped() const noexcept { return studies.size() > 1; }
    // The strip's series of an image: its stack's where its series was split, else its file's; -1 for none.
    int SeriesOfImage(int file, int viewerSeries) const noexcept;
};

// The media the files' folders hold, by folder text: null where a folder has no readable DICOMDIR.
using MediumOfFolder = std::function<const MediumSeries*(const std::string& folder)>;

// Builds the strip from the viewer's image-list files (in display order) and its reports, describing each series
// from the DICOMDIR of its folder. Files that no DICOMDIR lists form a series per study label and series UID. Throws
// std::bad_alloc.
StripModel BuildStripModel(std::span<const StripFile> imageFiles, std::span<const StripFile> reportFiles,
                           const MediumOfFolder& mediumOf);

// The image-list file of one of the viewer's images, -1 for none.
using FileOfImage = std::function<int(int image)>;

// Once the viewer has read its files' headers: where a series of the strip holds the frames of several stacks (the
// Stack IDs or orientations of an enhanced image, as GroupViewerSeries splits them), its entry comes to stand for the
// first stack, and each further stack gets an entry of its own after it, paging its own frames. Only the viewer's
// series not looked at before are, so the viewer may call this whenever it finds images; the split entries' image
// counts follow their stacks. Answers whether entries were added. Throws std::bad_alloc.
bool SplitStripStacks(StripModel& model, std::span<const ViewerSeries> viewerSeries, const FileOfImage& fileOfImage);

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
