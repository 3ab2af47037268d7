// Region statistics over a whole radiograph (2048 × 2560): the ellipse a user drags across the image must answer
// within a repaint. Target: under 10 ms on one core.
#include "imaging/Measurement.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

using namespace orblane;

constexpr std::int32_t kColumns = 2048;
constexpr std::int32_t kRows = 2560;

const MeasureValues& Radiograph()
{
    static const MeasureValues values = [] {
        MeasureValues v;
        v.width = kColumns;
        v.height = kRows;
        v.samples.resize(static_cast<std::size_t>(kColumns) * kRows);
        std::mt19937 random(7);
        std::uniform_int_distribution<std::int32_t> value(0, 4095);
        for (std::int32_t& s : v.samples)
        {
            s = value(random);
        }
        v.slope = 1e-6; // the linear map costs nothing per pixel
        return v;
    }();
    return values;
}

void BM_EllipseOverWholeRadiograph(benchmark::State& state)
{
    const ValueGrid grid = Radiograph().Grid();
    MeasureScale scale;
    scale.calibration.basis = CalibrationBasis::Detector;
    scale.calibration.rowSpacing = scale.calibration.columnSpacing = 0.168;
    for (auto _ : state)
    {
        const Measurement m =
            MeasureEllipse({kColumns / 2.0 - 0.5, kRows / 2.0 - 0.5}, kColumns / 2.0, kRows / 2.0, grid, scale);
        benchmark::DoNotOptimize(m.mean);
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t{kColumns} * kRows);
}
BENCHMARK(BM_EllipseOverWholeRadiograph)->Unit(benchmark::kMillisecond);

void BM_RectangleOverWholeRadiograph(benchmark::State& state)
{
    const ValueGrid grid = Radiograph().Grid();
    const MeasureScale scale;
    for (auto _ : state)
    {
        const Measurement m = MeasureRectangle({0, 0}, {kColumns - 1, kRows - 1}, grid, scale);
        benchmark::DoNotOptimize(m.mean);
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t{kColumns} * kRows);
}
BENCHMARK(BM_RectangleOverWholeRadiograph)->Unit(benchmark::kMillisecond);

} // namespace
