// Shrinking a 3000 x 3000 display bitmap into a 300 x 300 tile: the area average the tiles paint with, beside a
// bilinear shrink (four samples per target pixel, what a smooth filter without prefiltering does) for comparison.
#include "imaging/AreaScale.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace orblane {
namespace {

struct Source
{
    int side;
    int bytesPerPixel;
    std::vector<std::uint8_t> pixels;

    Source(int sideLength, int bpp) : side(sideLength), bytesPerPixel(bpp)
    {
        pixels.resize(static_cast<std::size_t>(side) * static_cast<std::size_t>(side) * static_cast<std::size_t>(bpp));
        for (std::size_t i = 0; i < pixels.size(); ++i)
        {
            pixels[i] = static_cast<std::uint8_t>((i * 7 + i / 4096) & 0xFF);
        }
    }
    PixelRegion Region() const
    {
        return {pixels.data(), side, side, static_cast<std::size_t>(side) * static_cast<std::size_t>(bytesPerPixel),
                bytesPerPixel};
    }
};

void AreaShrink(benchmark::State& state, int bpp)
{
    const Source source(3000, bpp);
    std::vector<std::uint8_t> target(300 * 300 * static_cast<std::size_t>(bpp));
    for (auto _ : state)
    {
        AreaScale(source.Region(), target.data(), 300, 300, 300 * static_cast<std::size_t>(bpp));
        benchmark::DoNotOptimize(target.data());
    }
}

// Bilinear: each target pixel from the four source pixels around its centre, 16.16 fixed point.
void BilinearShrink(benchmark::State& state, int bpp)
{
    const Source source(3000, bpp);
    const int side = 300;
    std::vector<std::uint8_t> target(static_cast<std::size_t>(side * side * bpp));
    const std::size_t stride = static_cast<std::size_t>(source.side * bpp);
    const std::int64_t step = (std::int64_t{source.side} << 16) / side;
    for (auto _ : state)
    {
        for (int y = 0; y < side; ++y)
        {
            const std::int64_t sy = y * step + step / 2 - 32768;
            const int y0 = static_cast<int>(sy >> 16);
            const auto fy = static_cast<std::uint32_t>(sy & 0xFFFF);
            const std::uint8_t* r0 = source.pixels.data() + static_cast<std::size_t>(y0) * stride;
            const std::uint8_t* r1 = r0 + stride;
            for (int x = 0; x < side; ++x)
            {
                const std::int64_t sx = x * step + step / 2 - 32768;
                const auto x0 = static_cast<std::size_t>(sx >> 16) * static_cast<std::size_t>(bpp);
                const auto fx = static_cast<std::uint32_t>(sx & 0xFFFF);
                for (int c = 0; c < bpp; ++c)
                {
                    const std::size_t k = x0 + static_cast<std::size_t>(c);
                    const std::uint32_t top = r0[k] * (65536 - fx) + r0[k + static_cast<std::size_t>(bpp)] * fx;
                    const std::uint32_t bottom = r1[k] * (65536 - fx) + r1[k + static_cast<std::size_t>(bpp)] * fx;
                    const std::uint64_t v = (std::uint64_t{top} * (65536 - fy) + std::uint64_t{bottom} * fy) >> 32;
                    target[static_cast<std::size_t>((y * side + x) * bpp + c)] = static_cast<std::uint8_t>(v);
                }
            }
        }
        benchmark::DoNotOptimize(target.data());
    }
}

BENCHMARK_CAPTURE(AreaShrink, rgb32_3000_to_300, 4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(AreaShrink, grey8_3000_to_300, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BilinearShrink, rgb32_3000_to_300, 4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BilinearShrink, grey8_3000_to_300, 1)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace orblane
