#include "imaging/TileLines.h"

namespace orblane {

std::vector<TileLine> PlanTileLines(std::span<const TileFrame> tiles, int current, const FrameAttributes* seriesFirst,
                                    const FrameAttributes* seriesLast)
{
    std::vector<TileLine> lines;
    if (current < 0 || static_cast<std::size_t>(current) >= tiles.size() ||
        tiles[static_cast<std::size_t>(current)].frame == nullptr)
    {
        return lines;
    }
    const FrameAttributes& shown = *tiles[static_cast<std::size_t>(current)].frame;
    const auto add = [&lines](int tile, LineRole role, const FrameAttributes* from, const FrameAttributes& on) {
        if (from == nullptr)
        {
            return;
        }
        const ReferenceLine line = IntersectFrames(*from, on);
        if (line.outcome == LineOutcome::Line)
        {
            lines.push_back({tile, role, line.from, line.to});
        }
    };
    for (std::size_t j = 0; j < tiles.size(); ++j)
    {
        const TileFrame& tile = tiles[j];
        if (static_cast<int>(j) == current || tile.frame == nullptr)
        {
            continue;
        }
        const int index = static_cast<int>(j);
        add(index, LineRole::Current, &shown, *tile.frame);
        if (tile.localizer)
        {
            // The series' extent: its ends, unless the current image is one of them (one line is enough).
            add(index, LineRole::First, seriesFirst != &shown ? seriesFirst : nullptr, *tile.frame);
            add(index, LineRole::Last, seriesLast != &shown && seriesLast != seriesFirst ? seriesLast : nullptr,
                *tile.frame);
        }
    }
    return lines;
}

TilePoint PixelToTile(PixelPoint p, int columns, int rows, double originX, double originY, double displayWidth,
                      double displayHeight) noexcept
{
    if (columns <= 0 || rows <= 0)
    {
        return {originX, originY};
    }
    // Pixel c covers [c - 0.5, c + 0.5]: the left edge of the first pixel is the picture's left edge.
    return {originX + (p.column + 0.5) * displayWidth / columns, originY + (p.row + 0.5) * displayHeight / rows};
}

} // namespace orblane
