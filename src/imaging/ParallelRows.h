#pragma once

#include <cstddef>
#include <thread>

namespace orblane {

// Repainting and filling split the rows over two threads from this many pixels on; below it a thread costs more
// than it saves.
inline constexpr std::size_t kParallelRepaintPixels = std::size_t{1} << 19;

// Runs body(firstRow, endRow) over [0, rows): in two halves on two threads for a large image, else in one call.
template <typename Body> void ForRowsInParallel(int rows, std::size_t pixels, Body body) noexcept
{
    if (pixels < kParallelRepaintPixels || rows < 2)
    {
        body(0, rows);
        return;
    }
    const int split = rows / 2;
    try
    {
        std::thread helper([&] { body(split, rows); });
        body(0, split);
        helper.join();
    }
    catch (...)
    {
        // No thread to be had: the same work on this one.
        body(split, rows);
        body(0, split);
    }
}

} // namespace orblane
