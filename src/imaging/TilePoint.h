#pragma once

namespace orblane {

// A point in a tile's own pixels (device-independent), where the tile draws what lies over its image.
struct TilePoint
{
    double x = 0.0;
    double y = 0.0;
};

} // namespace orblane
