// The image list as the viewer pages it: opening a long multi-frame file, holding Page Down in 1 x 1 with decoding
// ahead, and a large study paged end to end in 6 x 6 and back under the default cache budget.
#include "dicom/DicomDataFileIO.h"
#include "imaging/ImageDataList.h"
#include "platform/ThreadPool.h"
#include "support/DicomWriter.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace orblane;

std::filesystem::path BenchFolder()
{
    static const std::filesystem::path folder = [] {
        auto path = std::filesystem::temp_directory_path() / ("orblane-cache-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path;
    }();
    return folder;
}

// A CT-like native file: `frames` frames of side x side 12-bit samples in 16 bits, each frame its own pattern.
std::filesystem::path WriteNative(const std::string& name, int frames, int side, int seed = 0)
{
    const auto path = BenchFolder() / name;
    if (std::filesystem::exists(path))
    {
        return path;
    }
    test::DicomWriter w;
    w.FileMeta(test::kExplicitLittleEndian).GreyPixelModule(side, side, 16, 12, frames).CtWindowAndRescale();
    const std::size_t pixels = static_cast<std::size_t>(side) * static_cast<std::size_t>(side);
    std::vector<std::uint8_t> bytes(pixels * 2 * static_cast<std::size_t>(frames));
    for (std::size_t k = 0; k < bytes.size() / 2; ++k)
    {
        const std::size_t frame = k / pixels + static_cast<std::size_t>(seed);
        const auto value = static_cast<std::uint16_t>((k % pixels * 7 + frame * 131) & 0x0FFF);
        bytes[2 * k] = static_cast<std::uint8_t>(value);
        bytes[2 * k + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    w.Element(0x7FE0, 0x0010, "OW", bytes);
    w.WriteTo(path);
    return path;
}

std::unique_ptr<DicomDataFileIO> FileAt(const std::filesystem::path& path)
{
    return std::make_unique<DicomDataFileIO>(path.filename().string(), path.parent_path().string() + "/", u"");
}

void BM_OpenMultiFrame(benchmark::State& state)
{
    const auto frames = static_cast<int>(state.range(0));
    const auto path = WriteNative("frames-" + std::to_string(frames) + ".dcm", frames, 256);
    for (auto _ : state)
    {
        ImageDataList list;
        list.AddFile(FileAt(path));
        benchmark::DoNotOptimize(list.GetImage(0));
    }
}
BENCHMARK(BM_OpenMultiFrame)->Arg(1)->Arg(1000)->Unit(benchmark::kMillisecond);

// Page Down held in 1 x 1 over the files given, with the viewer's calls for each step. With a pool the image after
// the page is only found (the pool decodes it ahead); without one it is decoded now, on this thread.
void PageDown1x1(benchmark::State& state, const std::vector<std::filesystem::path>& paths, ThreadPool* pool)
{
    const int slices = static_cast<int>(paths.size());
    for (auto _ : state)
    {
        ImageDataList list({1, 1}, ImageListOptions{0, true, pool});
        for (const auto& path : paths)
        {
            list.AddFile(FileAt(path));
        }
        for (int index = 0; index < slices; ++index)
        {
            list.CollectDecoded();
            list.SetOnScreen(index, 1);
            benchmark::DoNotOptimize(list.GetImage(index)->Bitmap().Bits());
            if (pool != nullptr)
            {
                list.FindImage(index + 1);
            }
            else
            {
                list.GetImage(index + 1);
            }
            list.DecodeAround(index, 1);
        }
    }
    state.SetItemsProcessed(state.iterations() * slices);
}

// Page Down held in 1 x 1 over a native CT study: the viewer's calls for each step, decoding ahead on the shared
// pool. Items per second are images shown per second (the tile's own painting is not part of it).
void BM_PageDown1x1_Ct512Native(benchmark::State& state)
{
    constexpr int kSlices = 120;
    std::vector<std::filesystem::path> paths;
    for (int k = 0; k < kSlices; ++k)
    {
        paths.push_back(WriteNative("ct-" + std::to_string(k) + ".dcm", 1, 512, k));
    }
    PageDown1x1(state, paths, &SharedThreadPool());
}
BENCHMARK(BM_PageDown1x1_Ct512Native)->Unit(benchmark::kMillisecond)->UseRealTime();

// Page Down held in 1 x 1 over a JPEG 2000 lossless CT (the 512 x 512 slice of tests/data/codecs, 120 files): the
// viewer's calls for each step. Arg 0 decodes every image on the calling thread as it is asked for (one thread);
// Arg 1 decodes ahead on the shared pool, as the viewer does. Compare the two runs' images per second.
void BM_PageDown1x1_Ct512Jpeg2000(benchmark::State& state)
{
    constexpr int kSlices = 120;
    std::ifstream in(std::string(ORBLANE_TEST_DATA_DIR) + "/codecs/ct512.j2k", std::ios::binary);
    const std::vector<std::uint8_t> stream{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::filesystem::path> paths;
    for (int k = 0; k < kSlices; ++k)
    {
        const auto path = BenchFolder() / ("j2k-" + std::to_string(k) + ".dcm");
        test::DicomWriter w;
        w.FileMeta("1.2.840.10008.1.2.4.90")
            .GreyPixelModule(512, 512, 16, 16)
            .CtWindowAndRescale()
            .BeginEncapsulated()
            .Fragment({})
            .Fragment(stream)
            .EndSequence();
        w.WriteTo(path);
        paths.push_back(path);
    }
    PageDown1x1(state, paths, state.range(0) != 0 ? &SharedThreadPool() : nullptr);
}
BENCHMARK(BM_PageDown1x1_Ct512Jpeg2000)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Opening a study to its first 6 x 6 page as the viewer does: every file added (labelled with the study's date-time,
// as the study list hands them over), the page decoded, the image after it asked for and decoding ahead started.
// The study's size should cost next to nothing beyond the page's own images: compare 2000 files with 37. The files
// beyond the first pages are the same few files named again (nothing reads them before the first page shows).
void BM_OpenStudyFirstPage6x6(benchmark::State& state)
{
    const auto files = static_cast<int>(state.range(0));
    constexpr int kPage = 36;
    constexpr int kDistinct = 3 * kPage;
    std::vector<std::filesystem::path> paths;
    for (int k = 0; k < kDistinct; ++k)
    {
        paths.push_back(WriteNative("ct-" + std::to_string(k) + ".dcm", 1, 512, k));
    }
    for (auto _ : state)
    {
        {
            ImageDataList list({1, 1}, ImageListOptions{0, true, &SharedThreadPool()});
            for (int k = 0; k < files; ++k)
            {
                const auto& path = paths[static_cast<std::size_t>(k % kDistinct)];
                list.AddFile(std::make_unique<DicomDataFileIO>(path.filename().string(),
                                                               path.parent_path().string() + "/", u"2025-01-02 08:00"));
            }
            list.SetOnScreen(0, kPage);
            for (int index = 0; index < kPage; ++index)
            {
                benchmark::DoNotOptimize(list.GetImage(index)->Bitmap().Bits());
            }
            list.GetImage(kPage);
            list.DecodeAround(0, kPage);
            state.PauseTiming();
        }
        // The list waits for the walks ahead when it goes: not part of the opening.
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenStudyFirstPage6x6)->Arg(37)->Arg(2000)->Unit(benchmark::kMillisecond)->UseRealTime();

std::uint64_t Digest(const CImageData& image)
{
    const DisplayBitmap& bitmap = image.Bitmap();
    std::uint64_t hash = 1469598103934665603ull;
    for (int row = 0; row < bitmap.Height(); ++row)
    {
        const std::uint8_t* bytes = bitmap.Row(row);
        for (std::size_t k = 0; k < static_cast<std::size_t>(bitmap.Width()) * 4; ++k)
        {
            hash = (hash ^ bytes[k]) * 1099511628211ull;
        }
    }
    return hash;
}

// A 2000-slice 512 x 512 study paged forward in 6 x 6 pages and back, as the viewer does it, under the default
// budget; every image shown on the way back must look as it did on the way forward. Writes 1 GB of files, so it
// runs only with ORBLANE_BENCH_LARGE_STUDY=1 (run it under /usr/bin/time -v for the peak RSS).
void BM_PageStudy6x6ForwardAndBack(benchmark::State& state)
{
    if (std::getenv("ORBLANE_BENCH_LARGE_STUDY") == nullptr)
    {
        state.SkipWithError("set ORBLANE_BENCH_LARGE_STUDY=1 to write and page the 2000-slice study");
        return;
    }
    constexpr int kSlices = 2000;
    constexpr int kPage = 36;
    std::vector<std::filesystem::path> paths;
    for (int k = 0; k < kSlices; ++k)
    {
        paths.push_back(WriteNative("study-" + std::to_string(k) + ".dcm", 1, 512, k));
    }
    for (auto _ : state)
    {
        ImageDataList list({1, 1}, ImageListOptions{0, true, &SharedThreadPool()});
        for (const auto& path : paths)
        {
            list.AddFile(FileAt(path));
        }
        std::vector<std::uint64_t> digests(kSlices, 0);
        int mismatches = 0;
        const auto show = [&](int first, bool back) {
            list.CollectDecoded();
            list.SetOnScreen(first, kPage);
            for (int index = first; index < first + kPage && index < kSlices; ++index)
            {
                const CImageData* image = list.GetImage(index);
                const std::uint64_t digest = image != nullptr ? Digest(*image) : 0;
                if (!back)
                {
                    digests[static_cast<std::size_t>(index)] = digest;
                }
                else if (digests[static_cast<std::size_t>(index)] != digest)
                {
                    ++mismatches;
                }
            }
            list.DecodeAround(first, kPage);
        };
        for (int first = 0; first < kSlices; first += kPage)
        {
            show(first, false);
        }
        for (int first = (kSlices - 1) / kPage * kPage; first >= 0; first -= kPage)
        {
            show(first, true);
        }
        state.counters["mismatches"] = mismatches;
        state.counters["cachedMB"] = static_cast<double>(list.CachedBytes()) / (1 << 20);
    }
    std::filesystem::remove_all(BenchFolder());
}
BENCHMARK(BM_PageStudy6x6ForwardAndBack)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace
