#include "imaging/AreaScale.h"

#include <memory>
#include <new>
#include <vector>

namespace orblane {
namespace {

// Box edges along one axis: target i covers source [edges[i], edges[i + 1]).
std::vector<int> BoxEdges(int sourceSize, int targetSize)
{
    std::vector<int> edges(static_cast<std::size_t>(targetSize) + 1);
    for (int i = 0; i <= targetSize; ++i)
    {
        edges[static_cast<std::size_t>(i)] =
            static_cast<int>(static_cast<std::int64_t>(i) * sourceSize / targetSize);
    }
    return edges;
}

// Two passes: the rows of a box are summed byte by byte into one accumulator row (contiguous adds the compiler
// vectorises, the bulk of the work), then each run of columns of that row is summed and divided once per target
// pixel. The accumulator is 16 bits while a box is at most 257 rows tall (257 * 255 fits), else 32 bits.
template <typename Sum>
void ScaleRows(const PixelRegion& source, std::uint8_t* target, int targetWidth, int targetHeight,
               std::size_t targetStride, const std::vector<int>& rowEdges, const std::vector<int>& columnEdges,
               Sum* accumulator)
{
    const int bpp = source.bytesPerPixel;
    const std::size_t rowBytes = static_cast<std::size_t>(source.width) * static_cast<std::size_t>(bpp);
    for (int ty = 0; ty < targetHeight; ++ty)
    {
        const int rowBegin = rowEdges[static_cast<std::size_t>(ty)];
        const int rowEnd = rowEdges[static_cast<std::size_t>(ty) + 1];
        const std::uint8_t* first = source.pixels + static_cast<std::size_t>(rowBegin) * source.stride;
        for (std::size_t k = 0; k < rowBytes; ++k)
        {
            accumulator[k] = first[k];
        }
        for (int row = rowBegin + 1; row < rowEnd; ++row)
        {
            const std::uint8_t* in = source.pixels + static_cast<std::size_t>(row) * source.stride;
            for (std::size_t k = 0; k < rowBytes; ++k)
            {
                accumulator[k] = static_cast<Sum>(accumulator[k] + in[k]);
            }
        }
        const std::uint32_t boxRows = static_cast<std::uint32_t>(rowEnd - rowBegin);
        std::uint8_t* out = target + static_cast<std::size_t>(ty) * targetStride;
        for (int tx = 0; tx < targetWidth; ++tx)
        {
            const int columnBegin = columnEdges[static_cast<std::size_t>(tx)];
            const int columnEnd = columnEdges[static_cast<std::size_t>(tx) + 1];
            const std::uint32_t count = boxRows * static_cast<std::uint32_t>(columnEnd - columnBegin);
            for (int channel = 0; channel < bpp; ++channel)
            {
                std::uint32_t total = 0;
                for (int column = columnBegin; column < columnEnd; ++column)
                {
                    total += accumulator[static_cast<std::size_t>(column) * static_cast<std::size_t>(bpp) +
                                         static_cast<std::size_t>(channel)];
                }
                out[static_cast<std::size_t>(tx) * static_cast<std::size_t>(bpp) + static_cast<std::size_t>(channel)] =
                    static_cast<std::uint8_t>((total + count / 2) / count);
            }
        }
    }
}

} // namespace

bool AreaScale(const PixelRegion& source, std::uint8_t* target, int targetWidth, int targetHeight,
               std::size_t targetStride) noexcept
{
    if (source.pixels == nullptr || target == nullptr || (source.bytesPerPixel != 1 && source.bytesPerPixel != 4) ||
        targetWidth <= 0 || targetHeight <= 0 || targetWidth > source.width || targetHeight > source.height)
    {
        return false;
    }
    const std::size_t bpp = static_cast<std::size_t>(source.bytesPerPixel);
    if (source.stride / bpp < static_cast<std::size_t>(source.width) ||
        targetStride / bpp < static_cast<std::size_t>(targetWidth))
    {
        return false;
    }
    try
    {
        const std::vector<int> rowEdges = BoxEdges(source.height, targetHeight);
        const std::vector<int> columnEdges = BoxEdges(source.width, targetWidth);
        const std::size_t rowBytes = static_cast<std::size_t>(source.width) * bpp;
        // The tallest box: the ceiling of the ratio.
        const int tallest = (source.height + targetHeight - 1) / targetHeight;
        if (tallest <= 257)
        {
            std::vector<std::uint16_t> accumulator(rowBytes);
            ScaleRows(source, target, targetWidth, targetHeight, targetStride, rowEdges, columnEdges,
                      accumulator.data());
        }
        else
        {
            std::vector<std::uint32_t> accumulator(rowBytes);
            ScaleRows(source, target, targetWidth, targetHeight, targetStride, rowEdges, columnEdges,
                      accumulator.data());
        }
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    return true;
}

} // namespace orblane
