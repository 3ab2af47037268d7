#pragma once

#include "dicom/PixelDescription.h"
#include "dicom/ValueReader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orblane {

class TopLevelIndex;

// One overlay plane of a repeating group 60xx (PS3.3 C.9.2): a bit plane of its own size, placed on the image at its
// origin, for one or more frames. The bits are copied out of the file (Overlay Data, or the unused high bits of the
// pixel data for the retired embedded form) so that the plane outlives it.
struct OverlayPlane
{
    std::uint16_t group = 0x6000;
    char type = 'G'; // Overlay Type (60xx,0040): 'G' graphics, 'R' ROI
    std::uint16_t rows = 0;
    std::uint16_t columns = 0;
    // Overlay Origin (60xx,0050): the image row and column (from 1) of the overlay's first pixel; may lie outside.
    std::int32_t originRow = 1;
    std::int32_t originColumn = 1;
    // Number of Frames in Overlay (60xx,0015) and Image Frame Origin (60xx,0051, from 1). A single-frame overlay
    // that names no frame lies over every frame of a multi-frame image.
    std::int32_t frameCount = 1;
    std::int32_t firstFrame = 1;
    bool everyFrame = true;
    // Read from the pixel data's high bits rather than from Overlay Data.
    bool embedded = false;
    std::string description; // (60xx,0022), printable ASCII
    std::string label;       // (60xx,1500)
    // rows × columns × frameCount bits, overlay frame after frame, row by row; bit i is bit (i % 8) of byte i / 8.
    std::vector<std::uint8_t> bits;

    // Whether the plane lies over image frame `frame` (from 0), and which of its own frames does.
    bool AppliesTo(std::int32_t frame) const noexcept;
    std::int32_t OwnFrameOf(std::int32_t frame) const noexcept { return everyFrame ? 0 : frame - (firstFrame - 1); }
    bool Bit(std::uint64_t index) const noexcept
    {
        return index / 8 < bits.size() && ((bits[index / 8] >> (index % 8)) & 1u) != 0;
    }
};

// The highest group of the sixteen overlay groups 6000, 6002, ..., 601E.
inline constexpr std::uint16_t kLastOverlayGroup = 0x601E;

// The overlay planes of the file's image, in group order. `image` is its description as the file gives it (Pixel
// Data in planes[0] for the embedded form; rows, columns, bits, frames). A plane is left out when its attributes
// do not describe it (no rows or columns, a bit position beyond 15 or inside the stored bits, data shorter than its
// size, a frame range beyond the image's) or when it does not reach the image at all. Throws std::bad_alloc.
std::vector<OverlayPlane> ReadOverlayPlanes(const TopLevelIndex& index, const PixelDescription& image);

// The plane's pixels on image frame `frame` (from 0), one byte a pixel (1 where set), image rows × columns, rows top
// first; the part of the plane outside the image is cut off. Empty where the plane does not lie over the frame.
// Throws std::bad_alloc.
std::vector<std::uint8_t> OverlayMask(const OverlayPlane& plane, std::int32_t frame, std::uint16_t imageRows,
                                      std::uint16_t imageColumns);

} // namespace orblane
