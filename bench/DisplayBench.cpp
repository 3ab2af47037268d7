// Window/level repaint of the display bitmap, against the floor of copying the same bytes.
#include "imaging/CImageData.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using namespace orblane;

// A CT-like 12-bit image: smooth circles with noise, stored 16-bit, intercept -1024.
std::vector<std::uint8_t> MakeCtLike(int size)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size) * size * 2);
    std::mt19937 random(1);
    std::normal_distribution<double> noise(0.0, 12.0);
    const double c = size / 2.0;
    for (int y = 0; y < size; ++y)
    {
        for (int x = 0; x < size; ++x)
        {
            const double r = std::hypot(x - c, y - c) / c;
            double v = r < 0.9 ? 1040 + 60 * std::cos(r * 20) : 0;
            v = std::clamp(v + noise(random), 0.0, 4095.0);
            const auto word = static_cast<std::uint16_t>(v);
            const std::size_t i = (static_cast<std::size_t>(y) * size + x) * 2;
            bytes[i] = static_cast<std::uint8_t>(word);
            bytes[i + 1] = static_cast<std::uint8_t>(word >> 8);
        }
    }
    return bytes;
}

std::unique_ptr<CImageData> BuildCt(const std::vector<std::uint8_t>& bytes, int size)
{
    PixelDescription d;
    d.photometric = PhotometricKind::Monochrome2;
    d.transferSyntax = TransferSyntaxKind::ExplicitLittle;
    d.planes[0] = ByteView(bytes);
    d.columnCount = d.rowCount = static_cast<std::uint16_t>(size);
    d.bitsAllocated = 16;
    d.bitsStored = 12;
    d.rescaleSlope = 1.0;
    d.rescaleIntercept = -1024.0;
    d.fileWindowCentre = 40;
    d.fileWindowWidth = 400;
    d.aspectHorizontal = d.aspectVertical = 1;
    return CImageData::Build(d, Point{1, 1});
}

void BM_WindowDragStep(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    const auto bytes = MakeCtLike(size);
    const auto image = BuildCt(bytes, size);
    int step = 0;
    for (auto _ : state)
    {
        image->ChangeWindow(step % 200, (step * 7) % 150 - 75, false, 1000, 1000);
        ++step;
        benchmark::DoNotOptimize(image->Bitmap().Bits());
    }
    state.SetItemsProcessed(state.iterations() * size * size);
}
BENCHMARK(BM_WindowDragStep)->Arg(512)->Arg(3000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor: reading the int32 values and writing the 32-bit pixels, with no arithmetic at all.
void BM_CopyFloor(benchmark::State& state)
{
    const std::size_t pixels = static_cast<std::size_t>(state.range(0)) * static_cast<std::size_t>(state.range(0));
    std::vector<std::int32_t> values(pixels, 5);
    std::vector<std::uint32_t> out(pixels);
    for (auto _ : state)
    {
        std::memcpy(out.data(), values.data(), pixels * 4);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(pixels));
}
BENCHMARK(BM_CopyFloor)->Arg(512)->Arg(3000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BuildNativeCt(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    const auto bytes = MakeCtLike(size);
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(BuildCt(bytes, size));
    }
}
BENCHMARK(BM_BuildNativeCt)->Arg(512)->Arg(3000)->Unit(benchmark::kMillisecond);

void BM_SaveAs(benchmark::State& state)
{
    const int size = 3000;
    const auto bytes = MakeCtLike(size);
    const auto image = BuildCt(bytes, size);
    const auto path = std::filesystem::temp_directory_path() /
                      (state.range(0) == kImageFileJpeg ? "orblane-bench.jpg" : "orblane-bench.bmp");
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(image->SaveAs(path, static_cast<int>(state.range(0))));
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_SaveAs)->Arg(kImageFileJpeg)->Arg(kImageFileBmp)->Unit(benchmark::kMillisecond);

} // namespace
