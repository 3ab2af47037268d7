// Sequential DCT decode speed on a 512 x 512 12-bit CT-like slice that dcmcjpeg compressed (quality 75), stream
// already in memory; bench/jpeg12-vs-dcmtk.sh times DCMTK's dcmdjpeg on the same stream for comparison.
#include "imaging/codecs/Codecs.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> ReadFixture(const std::string& name)
{
    std::ifstream in(std::string(ORBLANE_TEST_DATA_DIR) + "/codecs-jpeg12/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Run(benchmark::State& state, const std::string& file, std::uint16_t rows, std::uint16_t columns,
         std::uint16_t samples)
{
    const std::vector<std::uint8_t> stream = ReadFixture(file);
    orblane::FrameGeometry declared;
    declared.rows = rows;
    declared.columns = columns;
    declared.samplesPerPixel = samples;
    declared.bitsAllocated = 16;
    declared.bitsStored = 12;
    std::vector<std::uint8_t> out(orblane::FrameBytes(declared));
    orblane::DecodeLimits limits;
    limits.maxPixels = std::uint64_t{rows} * columns;
    for (auto _ : state)
    {
        const orblane::DecodeResult result = orblane::DecodeJpegExtended(stream, declared, limits, out);
        if (result.status != orblane::DecodeStatus::Decoded)
        {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    const double pixels = double(rows) * columns;
    state.counters["Mpixel/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bits/pixel"] = double(stream.size() * 8) / pixels;
}

void BM_JpegExtendedCt512x512x12(benchmark::State& state)
{
    Run(state, "phantom512_q75.jpg", 512, 512, 1);
}
BENCHMARK(BM_JpegExtendedCt512x512x12)->Unit(benchmark::kMillisecond);

// Near-lossless quality: many more coefficients per block, so the entropy decoder's share grows.
void BM_JpegExtendedCt256x256x12Quality100(benchmark::State& state)
{
    Run(state, "phantom256_q100.jpg", 256, 256, 1);
}
BENCHMARK(BM_JpegExtendedCt256x256x12Quality100)->Unit(benchmark::kMillisecond);

} // namespace
