// Cost of walking files: per small element, and for a large image whose pixel data is one element (the walk must
// step over it without touching it, so its time does not depend on the value's size).
#include "dicom/DicomData.h"
#include "dicom/DicomDataFileIO.h"

#include "support/DicomWriter.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

namespace {

using orblane::test::DicomWriter;

orblane::test::Bytes SmallElements(int count)
{
    DicomWriter w;
    w.FileMeta(orblane::test::kExplicitLittleEndian);
    for (int i = 0; i < count; ++i)
    {
        w.Text(0x0009, static_cast<std::uint16_t>(0x1000 + i % 0x1000), "LO", "value");
    }
    return w.Data();
}

void BM_WalkSmallElements(benchmark::State& state)
{
    const auto bytes = SmallElements(static_cast<int>(state.range(0)));
    std::size_t kept = 0;
    for (auto _ : state)
    {
        orblane::DicomData data;
        data.ParseTags(bytes.data() + 132, bytes.data() + bytes.size());
        kept = data.Kept().size();
        benchmark::DoNotOptimize(kept);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kept));
    // Seconds per element, printed with its SI prefix (n for nanoseconds).
    state.counters["per_element"] = benchmark::Counter(
        static_cast<double>(kept), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WalkSmallElements)->Arg(10000);

// A multi-frame image: a few dozen attributes and one native pixel data element of the given size.
std::filesystem::path LargeImage(std::size_t pixelBytes)
{
    const auto path = std::filesystem::temp_directory_path() /
                      ("orblane-bench-" + std::to_string(::getpid()) + "-" + std::to_string(pixelBytes) + ".dcm");
    DicomWriter w;
    w.FileMeta(orblane::test::kExplicitLittleEndian);
    for (std::uint16_t e = 0x10; e < 0x40; ++e)
    {
        w.Text(0x0008, e, "LO", "attribute");
    }
    w.UInt16(0x0028, 0x0010, 512).UInt16(0x0028, 0x0011, 512);
    w.Header(0x7FE0, 0x0010, "OW", static_cast<std::uint32_t>(pixelBytes));
    w.Raw(orblane::test::Bytes(pixelBytes, 0x5A));
    w.WriteTo(path);
    return path;
}

void BM_WalkLargeImage(benchmark::State& state)
{
    const auto path = LargeImage(static_cast<std::size_t>(state.range(0)));
    orblane::DicomDataFileIO file;
    if (file.LoadFile(path) != 0)
    {
        state.SkipWithError("cannot load the image");
        return;
    }
    for (auto _ : state)
    {
        orblane::DicomData data;
        data.ParseTags(file.Mapping().View() + 132, file.Mapping().End());
        benchmark::DoNotOptimize(data.Kept().size());
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_WalkLargeImage)->Arg(5 << 20)->Arg(50 << 20)->Unit(benchmark::kMicrosecond);

// Open, map and walk, as the viewer loads a file (the page cache is warm after the first round).
void BM_LoadLargeImage(benchmark::State& state)
{
    const auto path = LargeImage(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
    {
        orblane::DicomDataFileIO file;
        benchmark::DoNotOptimize(file.LoadFile(path));
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_LoadLargeImage)->Arg(50 << 20)->Unit(benchmark::kMicrosecond);

} // namespace
