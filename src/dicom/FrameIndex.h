#pragma once

#include "dicom/TagElement.h"
#include "platform/Bytes.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orblane {

// Where the compressed frames of an encapsulated Pixel Data element lie (PS3.5 A.4). Built when an image of the
// element is first wanted; every view points into the mapping, nothing is copied. A Pixel Data element of defined
// length holds one frame: its value.
class FrameIndex
{
public:
    // `end` is the end of the mapped bytes: no item header or fragment is read beyond it. `frameCount` is the data
    // set's Number of Frames; `extendedOffsets` the value of an Extended Offset Table (7FE0,0001), if any.
    FrameIndex(const TagElement& pixelData, const std::uint8_t* end, std::int32_t frameCount = 1,
               ByteView extendedOffsets = {});

    // The fragments of each frame, in order: one for most frames, several for a frame split over fragments.
    const std::vector<std::vector<ByteView>>& Frames() const noexcept { return frames; }

private:
    void GroupByOffsets(const std::vector<std::uint64_t>& offsets, const std::vector<std::uint64_t>& starts,
                        const std::vector<ByteView>& fragments);

    std::vector<std::vector<ByteView>> frames;
};

} // namespace orblane
