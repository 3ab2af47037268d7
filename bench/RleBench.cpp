// RLE Lossless decode speed, as output bytes per second, on a CT-like 16-bit slice and an 8-bit colour image encoded
// as clinical encoders write them (runs never cross a row, literal runs up to 128 bytes); input already in memory.
#include "imaging/codecs/Codecs.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using orblane::FrameGeometry;

// PackBits of one row of one plane (PS3.5 G.3.1): replicate runs for three or more equal bytes, literals otherwise.
void PackRow(const std::uint8_t* row, std::size_t n, std::vector<std::uint8_t>& out)
{
    std::size_t i = 0;
    while (i < n)
    {
        std::size_t run = 1;
        while (i + run < n && run < 128 && row[i + run] == row[i])
        {
            ++run;
        }
        if (run >= 3)
        {
            out.push_back(static_cast<std::uint8_t>(257 - run));
            out.push_back(row[i]);
            i += run;
            continue;
        }
        std::size_t literal = 0;
        while (i + literal < n && literal < 128)
        {
            if (i + literal + 2 < n && row[i + literal] == row[i + literal + 1] &&
                row[i + literal] == row[i + literal + 2])
            {
                break;
            }
            ++literal;
        }
        out.push_back(static_cast<std::uint8_t>(literal - 1));
        out.insert(out.end(), row + i, row + i + literal);
        i += literal;
    }
}

// Encodes planes[k] (each rows * columns bytes) as the segments of one frame.
std::vector<std::uint8_t> EncodeRle(const std::vector<std::vector<std::uint8_t>>& planes, std::size_t rows,
                                    std::size_t columns)
{
    std::vector<std::uint8_t> out(64, 0);
    out[0] = static_cast<std::uint8_t>(planes.size());
    for (std::size_t k = 0; k < planes.size(); ++k)
    {
        const auto offset = static_cast<std::uint32_t>(out.size());
        for (std::size_t b = 0; b < 4; ++b)
        {
            out[4 + 4 * k + b] = static_cast<std::uint8_t>(offset >> (8 * b));
        }
        for (std::size_t r = 0; r < rows; ++r)
        {
            PackRow(planes[k].data() + r * columns, columns, out);
        }
        if (out.size() % 2 != 0)
        {
            out.push_back(0);
        }
    }
    return out;
}

std::uint32_t NextRandom(std::uint32_t& state)
{
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

// 512 x 512, 12 bits in 16: air around an elliptic body of soft tissue with a bone ring and noise, so that the high
// byte is mostly long runs and the low byte mostly literals.
std::vector<std::uint8_t> CtFrame()
{
    constexpr std::size_t n = 512;
    std::vector<std::vector<std::uint8_t>> planes(2, std::vector<std::uint8_t>(n * n));
    std::uint32_t state = 12345;
    for (std::size_t y = 0; y < n; ++y)
    {
        for (std::size_t x = 0; x < n; ++x)
        {
            const double u = (static_cast<double>(x) - 256.0) / 210.0;
            const double v = (static_cast<double>(y) - 270.0) / 160.0;
            const double r = u * u + v * v;
            const double noise = static_cast<double>(NextRandom(state) % 25) - 12.0;
            double value = 0; // padding outside the scan circle
            if (r < 1.0)
            {
                value = r > 0.86 && r < 0.93 ? 1900 + noise : 1040 + noise;
            }
            const auto sample = static_cast<std::uint16_t>(std::clamp(value, 0.0, 4095.0));
            planes[0][y * n + x] = static_cast<std::uint8_t>(sample >> 8);
            planes[1][y * n + x] = static_cast<std::uint8_t>(sample);
        }
    }
    return EncodeRle(planes, n, n);
}

// 640 x 480 RGB, 8 bits: a screen capture-like picture, flat panels and text-like detail over a photograph-like
// gradient with noise.
std::vector<std::uint8_t> ColourFrame()
{
    constexpr std::size_t w = 640;
    constexpr std::size_t h = 480;
    std::vector<std::vector<std::uint8_t>> planes(3, std::vector<std::uint8_t>(w * h));
    std::uint32_t state = 777;
    for (std::size_t y = 0; y < h; ++y)
    {
        for (std::size_t x = 0; x < w; ++x)
        {
            for (std::size_t c = 0; c < 3; ++c)
            {
                std::uint32_t value;
                if (x < 160 || y < 40)
                {
                    value = (x / 8 + y / 12) % 7 == 0
                                ? 255u
                                : static_cast<std::uint32_t>(30 + 20 * c); // panel, glyph-like marks
                }
                else
                {
                    value = static_cast<std::uint32_t>(x / 3 + y / 4 + 40 * c + NextRandom(state) % 9);
                }
                planes[c][y * w + x] = static_cast<std::uint8_t>(value);
            }
        }
    }
    return EncodeRle(planes, h, w);
}

void Run(benchmark::State& state, const std::vector<std::uint8_t>& frame, const FrameGeometry& geometry)
{
    std::vector<std::uint8_t> out(orblane::FrameBytes(geometry));
    for (auto _ : state)
    {
        const orblane::DecodeResult result = orblane::DecodeRle(frame, geometry, orblane::DecodeLimits{}, out);
        if (result.status != orblane::DecodeStatus::Decoded)
        {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * out.size()));
    state.counters["input/output"] = static_cast<double>(frame.size()) / static_cast<double>(out.size());
}

void BM_RleCt512x512x16(benchmark::State& state)
{
    static const std::vector<std::uint8_t> frame = CtFrame();
    FrameGeometry geometry;
    geometry.rows = 512;
    geometry.columns = 512;
    geometry.bitsAllocated = 16;
    geometry.bitsStored = 12;
    Run(state, frame, geometry);
}
BENCHMARK(BM_RleCt512x512x16)->Unit(benchmark::kMicrosecond);

void BM_RleRgb640x480x8(benchmark::State& state)
{
    static const std::vector<std::uint8_t> frame = ColourFrame();
    FrameGeometry geometry;
    geometry.rows = 480;
    geometry.columns = 640;
    geometry.samplesPerPixel = 3;
    geometry.bitsAllocated = 8;
    geometry.bitsStored = 8;
    geometry.colour = orblane::SampleColour::Rgb;
    Run(state, frame, geometry);
}
BENCHMARK(BM_RleRgb640x480x8)->Unit(benchmark::kMicrosecond);

} // namespace
