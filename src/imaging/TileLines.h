#pragma once

#include "imaging/ReferenceLine.h"
#include "imaging/TilePoint.h"

#include <cstdint>
#include <span>
#include <vector>

namespace orblane {

// What one tile shows, as reference lines see it.
struct TileFrame
{
    const FrameAttributes* frame = nullptr; // null: the tile shows nothing, or nothing with attributes
    bool localizer = false;
};

enum class LineRole : std::uint8_t
{
    Current, // the current tile's own image
    First,   // the first image of the current tile's series (drawn on a localizer)
    Last,    // its last image
};

struct TileLine
{
    int tile = 0;
    LineRole role = LineRole::Current;
    PixelPoint from; // in the tile's image's pixel coordinates
    PixelPoint to;
};

// The lines every other tile draws: the current tile's plane where it crosses that tile's image (one frame of
// reference, planes more than kParallelDegrees apart), and on a localizer also the planes of the first and last
// images of the current tile's series (seriesFirst, seriesLast; null when unknown). Nothing is drawn where the
// geometry is missing, the frames of reference differ or are absent, or the planes are parallel. Throws
// std::bad_alloc.
std::vector<TileLine> PlanTileLines(std::span<const TileFrame> tiles, int current, const FrameAttributes* seriesFirst,
                                    const FrameAttributes* seriesLast);

// Where a pixel point lands in a tile that shows an image of columns × rows pixels as a displayWidth ×
// displayHeight picture whose top left corner is at origin (tile coordinates): the pixels' outer edges are the
// picture's.
TilePoint PixelToTile(PixelPoint p, int columns, int rows, double originX, double originY, double displayWidth,
                      double displayHeight) noexcept;

} // namespace orblane
