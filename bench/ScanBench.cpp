// A folder scan of 10 000 small files in 100 folders, as a user points the viewer at a folder of exported images.
// Warm: the files are in the page cache. Cold (ORBLANE_SCAN_BENCH_COLD=1, as root): the cache is dropped before
// each run, outside the timing, so every header read waits on the disk. The tree is written once to
// ORBLANE_SCAN_BENCH_DIR (default: a folder under /var/tmp, a disk rather than a tmpfs) and kept for the next run.
#include "dicom/ScanStudySource.h"
#include "support/DicomWriter.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using namespace orblane;
namespace fs = std::filesystem;

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 100;

fs::path BenchTree()
{
    const char* named = std::getenv("ORBLANE_SCAN_BENCH_DIR");
    const fs::path root = named != nullptr ? fs::path(named) : fs::path("/var/tmp/orblane-scan-bench");
    if (fs::exists(root / "complete"))
    {
        return root;
    }
    // Ten studies of ten series; each file a 64 x 64 16-bit image (about 8.5 KB), as small CT or MR exports are.
    const test::Bytes pixels(64 * 64 * 2, 0x11);
    for (int folder = 0; folder < kFolders; ++folder)
    {
        fs::create_directories(root / std::to_string(folder));
        for (int index = 0; index < kFilesPerFolder; ++index)
        {
            const std::string study = "1.2.826.0.1.3680043.9.7." + std::to_string(folder / 10);
            test::DicomWriter writer;
            writer.FileMeta(test::kExplicitLittleEndian)
                .Text(0x0008, 0x0020, "DA", "20240105")
                .Text(0x0008, 0x0030, "TM", "101500")
                .Text(0x0008, 0x0060, "CS", "CT")
                .Text(0x0010, 0x0010, "PN", "Bench^Patient" + std::to_string(folder / 10))
                .Text(0x0010, 0x0020, "LO", "B" + std::to_string(folder / 10))
                .Text(0x0020, 0x000D, "UI", study)
                .Text(0x0020, 0x000E, "UI", study + "." + std::to_string(folder % 10))
                .Text(0x0020, 0x0011, "IS", std::to_string(folder % 10))
                .Text(0x0020, 0x0013, "IS", std::to_string(index))
                .UInt16(0x0028, 0x0010, 64)
                .UInt16(0x0028, 0x0011, 64)
                .UInt16(0x0028, 0x0100, 16)
                .Element(0x7FE0, 0x0010, "OW", pixels);
            writer.WriteTo(root / std::to_string(folder) / ("IM" + std::to_string(index) + ".dcm"));
        }
    }
    std::ofstream(root / "complete") << "written by ScanBench\n";
    return root;
}

void DropCaches()
{
    ::sync();
    std::ofstream("/proc/sys/vm/drop_caches") << "3\n";
}

void BM_ScanTenThousandFiles(benchmark::State& state)
{
    const fs::path root = BenchTree();
    const char* cold = std::getenv("ORBLANE_SCAN_BENCH_COLD");
    const bool dropCaches = cold != nullptr && std::string(cold) == "1";
    std::size_t images = 0;
    for (auto _ : state)
    {
        if (dropCaches)
        {
            state.PauseTiming();
            DropCaches();
            state.ResumeTiming();
        }
        ScanStudySource source({root}, static_cast<unsigned>(state.range(0)));
        source.WaitUntilFinished();
        images = source.ImageCount();
        if (images != kFolders * kFilesPerFolder || source.StudyCount() != kFolders / 10)
        {
            state.SkipWithError("the scan did not find every image and study");
        }
    }
    state.counters["files/s"] =
        benchmark::Counter(static_cast<double>(images), benchmark::Counter::kIsIterationInvariantRate);
    state.SetLabel(dropCaches ? "cold" : "warm");
}

// The workers argument: 0 picks the default.
BENCHMARK(BM_ScanTenThousandFiles)->Arg(0)->Arg(2)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// One thread, warm, per file: the scan's bounded read and walk to the pixel data (0) against mapping the file and
// walking it whole as the viewer's loader does (1).
void BM_OneHeader(benchmark::State& state)
{
    const fs::path root = BenchTree();
    std::vector<fs::path> files;
    for (int index = 0; index < kFilesPerFolder; ++index)
    {
        files.push_back(root / "0" / ("IM" + std::to_string(index) + ".dcm"));
    }
    std::size_t next = 0;
    ScannedHeader header;
    for (auto _ : state)
    {
        const fs::path& path = files[next++ % files.size()];
        if (state.range(0) == 0)
        {
            benchmark::DoNotOptimize(ReadImageHeader(path, header));
        }
        else
        {
            DicomDataFileIO file;
            benchmark::DoNotOptimize(file.LoadFile(path));
        }
    }
}

BENCHMARK(BM_OneHeader)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
