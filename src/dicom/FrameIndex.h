#pragma once

#include "dicom/TagElement.h"
#include "platform/Bytes.h"

#include <cstddef>
#include <vector>

namespace orblane {

// Where the compressed frames of an encapsulated Pixel Data element lie (PS3.5 A.4): the items that follow its
// Basic Offset Table, up to the sequence delimiter. Built when an image of the element is first wanted; every view
// points into the mapping, nothing is copied. A Pixel Data element of defined length holds one frame: its value.
class FrameIndex
{
public:
    // `end` is the end of the mapped bytes: no item header or fragment is read beyond it.
    FrameIndex(const TagElement& pixelData, const std::uint8_t* end);

    // The non-empty items in file order (the Basic Offset Table included when it is not empty), each one frame
    // until frames that span fragments are joined.
    const std::vector<ByteView>& Fragments() const noexcept { return fragments; }

private:
    std::vector<ByteView> fragments;
};

} // namespace orblane
