// Lossless decode speed on synthetic images with realistic structure (smooth anatomy, noise, sharp edges), encoded
// with image-optimised Huffman tables as clinical encoders write them; input already in memory. Whole processes,
// `orblane-cli decode-jpegll` against DCMTK's dcmdjpeg on the demo radiograph: bench/jpegll-vs-dcmtk.sh.
#include "imaging/LosslessDecoder.h"
#include "imaging/LosslessJpeg.h"
#include "imaging/codecs/Codecs.h"
#include "support/LosslessEncoder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using orblane::test::EncodeLossless;
using orblane::test::LosslessEncodeOptions;

class Noise
{
public:
    explicit Noise(std::uint32_t seed) : state(seed) {}
    // Roughly Gaussian with unit deviation: the sum of four uniforms, centred and scaled.
    double Next()
    {
        double sum = 0;
        for (int i = 0; i < 4; ++i)
        {
            state = state * 1664525u + 1013904223u;
            sum += (state >> 8) / 16777216.0;
        }
        return (sum - 2.0) * 1.732;
    }

private:
    std::uint32_t state;
};

// 512 x 512, 12 bits stored with an offset of 1024 (air near 24): an elliptic body of soft tissue with organs of
// slightly different density, a ring of cortical bone and quantum noise.
std::vector<std::uint16_t> CtLike()
{
    constexpr int n = 512;
    std::vector<std::uint16_t> image(n * n);
    Noise noise(12345);
    for (int y = 0; y < n; ++y)
    {
        for (int x = 0; x < n; ++x)
        {
            const double u = (x - 256.0) / 210.0;
            const double v = (y - 270.0) / 160.0;
            const double r = u * u + v * v;
            double value = 24 + 3 * noise.Next();
            if (r < 1.0)
            {
                value = 1040 + 25 * std::sin(x * 0.03) * std::cos(y * 0.021) + 12 * noise.Next();
                const double organ = ((x - 200.0) * (x - 200.0) + (y - 250.0) * (y - 250.0)) / (60.0 * 60.0);
                if (organ < 1.0)
                {
                    value += 60 * (1 - organ);
                }
                if (r > 0.86 && r < 0.93)
                {
                    value = 1900 + 300 * std::sin(x * 0.1) + 30 * noise.Next();
                }
            }
            image[static_cast<std::size_t>(y) * n + x] = static_cast<std::uint16_t>(std::clamp(value, 0.0, 4095.0));
        }
    }
    return image;
}

// 2048 x 2560, 14 bits: a chest-like field of slowly varying density, rib-like bands, collimator edges and noise.
std::vector<std::uint16_t> RadiographLike()
{
    constexpr int w = 2048;
    constexpr int h = 2560;
    std::vector<std::uint16_t> image(static_cast<std::size_t>(w) * h);
    Noise noise(777);
    for (int y = 0; y < h; ++y)
    {
        for (int x = 0; x < w; ++x)
        {
            double value;
            if (x < 60 || x > w - 60 || y < 80 || y > h - 80)
            {
                value = 15800 + 20 * noise.Next(); // unattenuated region outside the collimator
            }
            else
            {
                const double lungs = std::exp(-std::pow((x - 700.0) / 380.0, 2) - std::pow((y - 1200.0) / 700.0, 2)) +
                                     std::exp(-std::pow((x - 1350.0) / 380.0, 2) - std::pow((y - 1200.0) / 700.0, 2));
                const double ribs = 0.5 + 0.5 * std::sin(y * 0.035 + 0.002 * (x - 1024.0) * (x - 1024.0) / 50.0);
                value = 4000 + 7000 * lungs - 900 * ribs * lungs + 600 * std::sin(x * 0.004) + 35 * noise.Next();
            }
            image[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint16_t>(std::clamp(value, 0.0, 16383.0));
        }
    }
    return image;
}

std::vector<std::uint8_t> Encode(const std::vector<std::uint16_t>& image, int width, int height, int precision,
                                 bool restarts, int predictor = 1)
{
    LosslessEncodeOptions options;
    options.predictor = predictor;
    options.precision = precision;
    options.width = width;
    options.height = height;
    options.restartInterval = restarts ? static_cast<std::uint16_t>(width) : 0;
    return EncodeLossless(image, options);
}

void Run(benchmark::State& state, const std::vector<std::uint8_t>& stream, std::size_t pixels)
{
    std::vector<std::uint8_t> destination(pixels * 2);
    std::uint16_t lines = 0;
    std::uint16_t samples = 0;
    std::uint16_t container = 0;
    std::uint16_t precision = 0;
    std::uint16_t highBit = 0;
    for (auto _ : state)
    {
        const int rc =
            orblane::lossless::DecodeLossless(stream, destination.data(), static_cast<std::int32_t>(destination.size()),
                                              &lines, &samples, &container, &precision, &highBit);
        if (rc != 0)
        {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * pixels));
    state.counters["Mpixel/s"] =
        benchmark::Counter(static_cast<double>(pixels) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bits/pixel"] = static_cast<double>(stream.size() * 8) / static_cast<double>(pixels);
}

void BM_LosslessCt512x512x12(benchmark::State& state)
{
    static const std::vector<std::uint16_t> image = CtLike();
    const std::vector<std::uint8_t> stream = Encode(image, 512, 512, 12, state.range(0) != 0);
    Run(state, stream, image.size());
}
BENCHMARK(BM_LosslessCt512x512x12)->ArgName("restarts")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The same slice under the other selection values (2 to 7), which predict from the line above as well.
void BM_LosslessCt512x512x12Predictor(benchmark::State& state)
{
    static const std::vector<std::uint16_t> image = CtLike();
    const std::vector<std::uint8_t> stream = Encode(image, 512, 512, 12, false, static_cast<int>(state.range(0)));
    Run(state, stream, image.size());
}
BENCHMARK(BM_LosslessCt512x512x12Predictor)->ArgName("sv")->DenseRange(2, 7)->Unit(benchmark::kMillisecond);

void BM_LosslessRadiograph2048x2560x14(benchmark::State& state)
{
    static const std::vector<std::uint16_t> image = RadiographLike();
    const std::vector<std::uint8_t> stream = Encode(image, 2048, 2560, 14, state.range(0) != 0);
    Run(state, stream, image.size());
}
BENCHMARK(BM_LosslessRadiograph2048x2560x14)->ArgName("restarts")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// 1024 x 1024, 16 bits of heavy noise over a gradient: long codes with many extra bits, the costliest content per
// pixel; it shows whether cost tracks pixels rather than compressed size.
void BM_LosslessNoisy1024x1024x16(benchmark::State& state)
{
    static const std::vector<std::uint16_t> image = [] {
        std::vector<std::uint16_t> noisy(1024 * 1024);
        Noise noise(99);
        for (std::size_t i = 0; i < noisy.size(); ++i)
        {
            const double value = 20000 + 20 * static_cast<double>(i % 1024) + 900 * noise.Next();
            noisy[i] = static_cast<std::uint16_t>(std::clamp(value, 0.0, 65535.0));
        }
        return noisy;
    }();
    const std::vector<std::uint8_t> stream = Encode(image, 1024, 1024, 16, false);
    Run(state, stream, image.size());
}
BENCHMARK(BM_LosslessNoisy1024x1024x16)->Unit(benchmark::kMillisecond);

// Through the codec contract, an 8-bit slice into an 8-bit container (decoded in place) and into a 16-bit one (decoded
// in place, then widened from the end): the cost of the widening pass.
void BM_LosslessCodecCt8Bit(benchmark::State& state)
{
    static const std::vector<std::uint16_t> image = [] {
        std::vector<std::uint16_t> reduced = CtLike();
        for (std::uint16_t& v : reduced)
        {
            v = static_cast<std::uint16_t>(v >> 4);
        }
        return reduced;
    }();
    const std::vector<std::uint8_t> stream = Encode(image, 512, 512, 8, false);
    orblane::FrameGeometry declared;
    declared.rows = 512;
    declared.columns = 512;
    declared.bitsAllocated = static_cast<std::uint16_t>(state.range(0));
    declared.bitsStored = 8;
    std::vector<std::uint8_t> out(orblane::FrameBytes(declared));
    for (auto _ : state)
    {
        if (!orblane::DecodeJpegLossless(stream, declared, orblane::DecodeLimits{}, out).Ok())
        {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.counters["Mpixel/s"] =
        benchmark::Counter(static_cast<double>(image.size()) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_LosslessCodecCt8Bit)->ArgName("container")->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond);

// As the image build uses it: allocation of the oversized destination included.
void BM_LosslessDecoderObjectCt(benchmark::State& state)
{
    static const std::vector<std::uint16_t> image = CtLike();
    const std::vector<std::uint8_t> stream = Encode(image, 512, 512, 12, false);
    for (auto _ : state)
    {
        orblane::LosslessDecoder decoder(stream);
        if (decoder.Decode(512, 512, 16) != 0)
        {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(decoder.Plane(0));
    }
    state.counters["Mpixel/s"] =
        benchmark::Counter(static_cast<double>(image.size()) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_LosslessDecoderObjectCt)->Unit(benchmark::kMillisecond);

} // namespace
