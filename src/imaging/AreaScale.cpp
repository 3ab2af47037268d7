#include "imaging/AreaScale.h"

#include "imaging/ParallelRows.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orblane {
namespace {

// Box edges along one axis: target i covers source [edges[i], edges[i + 1]).
std::vector<int> BoxEdges(int sourceSize, int targetSize)
{
    std::vector<int> edges(static_cast<std::size_t>(targetSize) + 1);
    for (int i = 0; i <= targetSize; ++i)
    {
        edges[static_cast<std::size_t>(i)] = static_cast<int>(static_cast<std::int64_t>(i) * sourceSize / targetSize);
    }
    return edges;
}

// accumulator[k] += row[k] for every byte of a row. With SSE2 sixteen bytes at a time into 16-bit sums: this loop
// is where shrinking spends its time, and the compiler's -O2 does not vectorise it by itself.
template <typename Sum> void AddRow(const std::uint8_t* row, Sum* accumulator, std::size_t count) noexcept
{
    std::size_t k = 0;
#if defined(__SSE2__)
    if constexpr (std::is_same_v<Sum, std::uint16_t>)
    {
        const __m128i zero = _mm_setzero_si128();
        for (; k + 16 <= count; k += 16)
        {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + k));
            __m128i* sums = reinterpret_cast<__m128i*>(accumulator + k);
            _mm_storeu_si128(sums, _mm_add_epi16(_mm_loadu_si128(sums), _mm_unpacklo_epi8(bytes, zero)));
            _mm_storeu_si128(sums + 1, _mm_add_epi16(_mm_loadu_si128(sums + 1), _mm_unpackhi_epi8(bytes, zero)));
        }
    }
#endif
    for (; k < count; ++k)
    {
        accumulator[k] = static_cast<Sum>(accumulator[k] + row[k]);
    }
}

// Two passes: the rows of a box are summed byte by byte into one accumulator row (contiguous adds the compiler
// vectorises, the bulk of the work), then each run of columns of that row is summed and divided once per target
// pixel. The accumulator is 16 bits while a box is at most 257 rows tall (257 * 255 fits), else 32 bits.
template <typename Sum>
void ScaleRows(const PixelRegion& source, std::uint8_t* target, int targetWidth, int firstRow, int endRow,
               std::size_t targetStride, const std::vector<int>& rowEdges, const std::vector<int>& columnEdges,
               Sum* accumulator)
{
    const int bpp = source.bytesPerPixel;
    const std::size_t rowBytes = static_cast<std::size_t>(source.width) * static_cast<std::size_t>(bpp);
    for (int ty = firstRow; ty < endRow; ++ty)
    {
        const int rowBegin = rowEdges[static_cast<std::size_t>(ty)];
        const int rowEnd = rowEdges[static_cast<std::size_t>(ty) + 1];
        std::fill(accumulator, accumulator + rowBytes, Sum{0});
        for (int row = rowBegin; row < rowEnd; ++row)
        {
            AddRow(source.pixels + static_cast<std::size_t>(row) * source.stride, accumulator, rowBytes);
        }
        const std::uint32_t boxRows = static_cast<std::uint32_t>(rowEnd - rowBegin);
        std::uint8_t* out = target + static_cast<std::size_t>(ty) * targetStride;
        for (int tx = 0; tx < targetWidth; ++tx)
        {
            const int columnBegin = columnEdges[static_cast<std::size_t>(tx)];
            const int columnEnd = columnEdges[static_cast<std::size_t>(tx) + 1];
            const std::uint32_t count = boxRows * static_cast<std::uint32_t>(columnEnd - columnBegin);
            // Four totals side by side (unused ones stay 0 for grey): one pass over the box's columns.
            std::uint32_t totals[4] = {};
            const Sum* in = accumulator + static_cast<std::size_t>(columnBegin) * static_cast<std::size_t>(bpp);
            const Sum* end = accumulator + static_cast<std::size_t>(columnEnd) * static_cast<std::size_t>(bpp);
            if (bpp == 4)
            {
                for (; in != end; in += 4)
                {
                    totals[0] += in[0];
                    totals[1] += in[1];
                    totals[2] += in[2];
                    totals[3] += in[3];
                }
            }
            else
            {
                for (; in != end; ++in)
                {
                    totals[0] += *in;
                }
            }
            std::uint8_t* pixel = out + static_cast<std::size_t>(tx) * static_cast<std::size_t>(bpp);
            for (int channel = 0; channel < bpp; ++channel)
            {
                pixel[channel] = static_cast<std::uint8_t>((totals[channel] + count / 2) / count);
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
        // Target rows in two halves on two threads for a large source, each half with its own accumulator row.
        std::atomic<bool> allocated{true};
        ForRowsInParallel(targetHeight,
                          static_cast<std::size_t>(source.width) * static_cast<std::size_t>(source.height),
                          [&](int firstRow, int endRow) noexcept {
                              try
                              {
                                  if (tallest <= 257)
                                  {
                                      std::vector<std::uint16_t> accumulator(rowBytes);
                                      ScaleRows(source, target, targetWidth, firstRow, endRow, targetStride, rowEdges,
                                                columnEdges, accumulator.data());
                                  }
                                  else
                                  {
                                      std::vector<std::uint32_t> accumulator(rowBytes);
                                      ScaleRows(source, target, targetWidth, firstRow, endRow, targetStride, rowEdges,
                                                columnEdges, accumulator.data());
                                  }
                              }
                              catch (const std::bad_alloc&)
                              {
                                  allocated = false;
                              }
                          });
        if (!allocated)
        {
            return false;
        }
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    return true;
}

} // namespace orblane
