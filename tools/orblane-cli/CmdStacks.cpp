#include "Commands.h"

#include "FrameFiles.h"
#include "Json.h"

#include "dicom/DicomDataFileIO.h"
#include "dicom/FrameGeometry.h"
#include "dicom/FrameSource.h"
#include "imaging/ViewerSeries.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

namespace orblane::cli {

// stacks FILE...: the series the viewer's tiles make of every frame of the files, in the order given (frames from
// 1): one a series, except that an enhanced image's frames split by Stack ID and orientation.
int RunStacks(Arguments args)
{
    if (args.empty())
    {
        return UsageError("stacks needs FILE...");
    }
    // Stable addresses: the keys point at their frames.
    std::deque<FrameAttributes> frames;
    std::vector<ViewerSeriesKey> keys;
    for (const std::string_view path : args)
    {
        DicomDataFileIO file;
        if (!LoadFrameFile(file, std::string(path)))
        {
            return 1;
        }
        const PixelDescription pixels = ReadPixelDescription(file, 0);
        const int count = pixels.rowCount == 0 ? 0 : std::max(1, pixels.frameCount);
        const std::string study = TrimmedText(file.FindValue(0x0020, 0x000D));
        const std::string series = TrimmedText(file.FindValue(0x0020, 0x000E));
        std::vector<FrameAttributes> read = ReadEveryFrame(file);
        // A frame the file describes no attributes for still takes its place in its series.
        read.resize(static_cast<std::size_t>(count));
        for (FrameAttributes& frame : read)
        {
            frames.push_back(std::move(frame));
            keys.push_back({study, series, &frames.back()});
        }
    }
    const std::vector<ViewerSeries> grouped = GroupViewerSeries(keys);
    std::string out = "{\"stacks\": [";
    for (std::size_t s = 0; s < grouped.size(); ++s)
    {
        const ViewerSeries& stack = grouped[s];
        out += s == 0 ? "" : ", ";
        out += "{\"studyInstanceUid\": " + JsonStringUtf8(stack.studyInstanceUid) +
               ", \"seriesInstanceUid\": " + JsonStringUtf8(stack.seriesInstanceUid) +
               ", \"stackId\": " + JsonStringUtf8(stack.stackId) + ", \"frames\": [";
        for (std::size_t k = 0; k < stack.images.size(); ++k)
        {
            out += (k == 0 ? "" : ", ") + std::to_string(stack.images[k] + 1);
        }
        out += "]}";
    }
    out += "]}\n";
    std::fputs(out.c_str(), stdout);
    return 0;
}

} // namespace orblane::cli
