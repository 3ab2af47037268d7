#include "Commands.h"

#include "Json.h"

#include "dicom/DicomDataFileIO.h"
#include "dicom/FrameGeometry.h"
#include "dicom/FrameSource.h"
#include "dicom/TopLevelIndex.h"
#include "imaging/ViewerSeries.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
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
        const std::string name(path);
        if (const int code = file.LoadFile(name); code != 0)
        {
            std::fprintf(stderr, "error %d (%s: %s)\n", code, name.c_str(), std::strerror(code));
            return 1;
        }
        if (!file.IsPart10())
        {
            std::fprintf(stderr, "error 10100 (%s: not a DICOM file)\n", name.c_str());
            return 1;
        }
        const TopLevelIndex index(file);
        const PixelDescription pixels = ReadPixelDescription(file, 0);
        const int count = pixels.rowCount == 0 ? 0 : std::max(1, pixels.frameCount);
        const std::string study = TrimmedText(file.FindValue(0x0020, 0x000D));
        const std::string series = TrimmedText(file.FindValue(0x0020, 0x000E));
        std::vector<FrameAttributes> read = ReadFrameAttributes(file, index, count);
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
