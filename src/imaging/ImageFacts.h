#pragma once

#include "dicom/FrameGeometry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orblane {

class DicomDataFileIO;
class TopLevelIndex;

// What a file's header says about where its images belong: the series they are part of and where each frame lies.
// Read once, with the walk that finds the file's images, so that the viewer can group and place images without
// decoding them.
struct ImageFacts
{
    std::string studyInstanceUid;  // (0020,000D), pad removed
    std::string seriesInstanceUid; // (0020,000E), pad removed
    std::optional<std::int64_t> seriesNumber;
    std::u16string seriesDescription; // (0008,103E) under the file's character set, trailing spaces removed
    // Image Type's third value is LOCALIZER: a scout, on which the slices of its frame of reference are drawn.
    bool localizer = false;
    // One entry a frame of the file's image (its first occurrence of Rows), as ReadFrameAttributes gives them.
    std::vector<FrameAttributes> frames;

    // The attributes of frame k; null where the file gave none (a later occurrence, a frame beyond the read).
    const FrameAttributes* Frame(int k) const noexcept
    {
        return k >= 0 && static_cast<std::size_t>(k) < frames.size() ? &frames[static_cast<std::size_t>(k)] : nullptr;
    }
};

// Reads the facts of a walked file whose image has frameCount frames. Throws std::bad_alloc.
ImageFacts ReadImageFacts(const DicomDataFileIO& file, const TopLevelIndex& index, int frameCount);

// Whether an Image Type value (0008,0008) names a localizer: its third value is LOCALIZER (PS3.3 C.8.2.1.1.1).
bool ImageTypeIsLocalizer(std::string_view imageType) noexcept;

} // namespace orblane
