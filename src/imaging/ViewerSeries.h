#pragma once

#include "dicom/FrameGeometry.h"

#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace orblane {

// The series an image of the viewer belongs to, as its header names it, and the image's own frame (null where its
// file describes none).
struct ViewerSeriesKey
{
    std::string studyInstanceUid;
    std::string seriesInstanceUid;
    const FrameAttributes* frame = nullptr;
};

// One series of the viewer's images: the images are indices into the viewer's list, in that list's order, except
// that an enhanced image's frames stand in their order along the normal. The frames of an enhanced image that hold
// several stacks (Stack ID) or planes of several orientations form one series each, `part` counting them within
// their series in order of appearance.
struct ViewerSeries
{
    std::string studyInstanceUid;
    std::string seriesInstanceUid;
    int firstImage = 0; // the lowest index: where paging meets the series first
    int lastImage = 0;  // the highest index
    int imageCount = 0;
    std::vector<int> images;
    std::string stackId; // the frames' Stack ID; empty for classic images and frames that give none
    int part = 0;
    bool inListOrder = true; // `images` ascend (nothing was placed before a frame found earlier)
};

// Groups the viewer's images one at a time, as the viewer finds them: the order GroupViewerSeries gives.
class ViewerSeriesGrouper
{
public:
    // The series image `index` (the next one) belongs to, as an index into `series`, which grows by a series where
    // the image starts one. Throws std::bad_alloc.
    int Add(const ViewerSeriesKey& key, int index, std::vector<ViewerSeries>& series);

private:
    // A stack of one series: its Stack ID and the normal its frames share (none yet while they gave no plane).
    struct Part
    {
        bool enhanced = false;
        std::string stackId;
        bool oriented = false;
        Vector3 normal;
        int series = 0;
        // The positions along the normal of the frames that lead the series' images (those with a plane of the
        // stack's orientation), in their order; the way the file's own frames first moved along it (0 until they
        // did).
        std::vector<double> along;
        double direction = 0.0;
    };
    // Puts an enhanced frame in its place along its stack's normal; frames without a place follow the rest.
    static void Place(Part& part, const FrameAttributes* frame, bool placed, int index, ViewerSeries& entry);
    std::map<std::pair<std::string, std::string>, std::vector<Part>> parts;
};

// The viewer's images grouped into series, in the order each series first appears among them (the studies as
// opened, then their series as their images come). Images that name no series form one series of their study.
// Classic images of a series stay one series whatever their planes; an enhanced image's frames (functional groups)
// split by Stack ID and by orientation (planes more than 1° from parallel), a frame without a plane joining the
// first stack of its Stack ID. A stack's frames are ordered by their positions along its normal, in the direction
// the file's first two distinct positions take (a file written in order keeps it; equal positions keep theirs), and
// its frames without a plane follow them. Throws std::bad_alloc.
std::vector<ViewerSeries> GroupViewerSeries(std::span<const ViewerSeriesKey> images);

// Where image `index` stands in its series, from 0; -1 when the series does not hold it.
int PlaceInSeries(const ViewerSeries& series, int index) noexcept;

} // namespace orblane
