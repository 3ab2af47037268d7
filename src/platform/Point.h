#pragma once

#include <cstdint>

namespace orblane {

// A pixel position or offset, shared by the viewer's settings and the images it shows.
struct Point
{
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

} // namespace orblane
