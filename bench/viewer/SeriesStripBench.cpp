// The series strip as the viewer opens, end to end in the real dialog, on a medium of one CT study of 20 series of
// 9 native 512 x 512 slices on local disk (written to a scratch folder, so read from the page cache):
//   Today:      the same files listed as one series: no strip, no thumbnails (the first page as the viewer had it).
//   Icons:      20 series whose records carry icons: the time until the strip shows every picture.
//   NoIcons:    20 series without icons: the first page's time, and the time until 20 thumbnails are decoded.
// Each reports "firstPageMs" (show() until the first page is laid out), and "stripMs" (until every picture is in).
// Run it on a screen, e.g. xvfb-run -s "-screen 0 1920x1080x24" build/bin/orblane_strip_bench
#include "dicom/DicomDirFileIO.h"
#include "support/DicomWriter.h"
#include "support/ScratchFolder.h"
#include "viewer/CDlgImgViewer.h"
#include "viewer/CSeriesStrip.h"

#include <QApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace orblane {

constexpr int kSeries = 20;
constexpr int kSlices = 9;
constexpr int kSide = 512;
constexpr int kIconSide = 64;

std::vector<std::uint8_t> SlicePixels(int series, int slice)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(kSide) * kSide * 2);
    const int radius = 80 + 8 * series + slice;
    std::size_t at = 0;
    for (int y = 0; y < kSide; ++y)
    {
        for (int x = 0; x < kSide; ++x)
        {
            const int dx = x - kSide / 2;
            const int dy = y - kSide / 2;
            const int value = dx * dx + dy * dy <= radius * radius ? 1024 + (x + y) / 4 : 24;
            bytes[at++] = static_cast<std::uint8_t>(value);
            bytes[at++] = static_cast<std::uint8_t>(value >> 8);
        }
    }
    return bytes;
}

// Three media over the same image files (hard links: a file ID never leads out of its medium's folder).
struct BenchMedia
{
    test::ScratchFolder scratch;
    std::filesystem::path today;
    std::filesystem::path icons;
    std::filesystem::path noIcons;

    BenchMedia()
    {
        const std::filesystem::path images = scratch.Path() / "today" / "IMAGES";
        std::filesystem::create_directories(images / "CT");
        std::vector<test::DirSeries> separate;
        test::DirSeries one{"CT", {}};
        for (int s = 0; s < kSeries; ++s)
        {
            test::DirSeries series{"CT", {}};
            series.uid = "2.25.7." + std::to_string(s + 1);
            for (int k = 0; k < kSlices; ++k)
            {
                char name[24];
                std::snprintf(name, sizeof name, "S%02dI%02d", s, k);
                test::DicomWriter w;
                w.FileMeta(test::kExplicitLittleEndian)
                    .Text(0x0008, 0x0060, "CS", "CT")
                    .Text(0x0010, 0x0010, "PN", "Strip^Bench")
                    .Text(0x0020, 0x000E, "UI", series.uid)
                    .Text(0x0020, 0x0011, "IS", std::to_string(s + 1))
                    .Text(0x0020, 0x0013, "IS", std::to_string(k + 1))
                    .GreyPixelModule(kSide, kSide, 16, 12)
                    .CtWindowAndRescale()
                    .Element(0x7FE0, 0x0010, "OW", SlicePixels(s, k));
                w.WriteTo(images / "CT" / name);
                series.fileIds.push_back(std::string("IMAGES\\CT\\") + name);
                one.fileIds.push_back(series.fileIds.back());
            }
            separate.push_back(series);
        }
        const auto write = [&](const char* name, std::vector<test::DirSeries> series) {
            const std::filesystem::path medium = scratch.Path() / name;
            if (!std::filesystem::exists(medium / "IMAGES"))
            {
                std::filesystem::create_directories(medium / "IMAGES" / "CT");
                for (const auto& file : std::filesystem::directory_iterator(images / "CT"))
                {
                    std::filesystem::create_hard_link(file.path(), medium / "IMAGES" / "CT" / file.path().filename());
                }
            }
            test::BuildDicomDir({test::DirPatient{"Strip^Bench",
                                                  "1",
                                                  "19600101",
                                                  "O",
                                                  "",
                                                  {test::DirStudy{"20250102", "080000", std::move(series)}}}})
                .WriteTo(medium / "DICOMDIR");
            return medium;
        };
        today = write("today", {one});
        noIcons = write("noicons", separate);
        for (test::DirSeries& series : separate)
        {
            series.iconSide = kIconSide;
            series.icon.assign(std::size_t{kIconSide} * kIconSide, 128);
        }
        icons = write("icons", separate);
    }
};

BenchMedia& Media()
{
    static BenchMedia media;
    return media;
}

std::unique_ptr<CDlgImgViewer> MakeViewer(const std::filesystem::path& medium)
{
    DicomDirFileIO dir;
    if (dir.OpenDicomDir(medium.string() + "/") != 0)
    {
        return nullptr;
    }
    const auto entry = dir.GetStudyEntry(0);
    DicomFileChain chain;
    dir.CollectImageFiles(chain, entry->firstSeries, u"2025.01.02 08:00:00");
    auto viewer = std::make_unique<CDlgImgViewer>((medium / "no-settings.ini").string());
    for (auto& file : chain)
    {
        viewer->AddImageFile(std::move(file));
    }
    return viewer;
}

bool AllPictures(const CDlgImgViewer& viewer)
{
    const CSeriesStrip* strip = viewer.SeriesStrip();
    if (strip == nullptr)
    {
        return false;
    }
    for (int k = 0; k < strip->EntryCount(); ++k)
    {
        if (!strip->HasThumbnail(k))
        {
            return false;
        }
    }
    return true;
}

void Open(benchmark::State& state, const std::filesystem::path& medium, bool strip)
{
    double firstPage = 0;
    double stripDone = 0;
    for (auto _ : state)
    {
        auto viewer = MakeViewer(medium);
        if (!viewer)
        {
            state.SkipWithError("no medium");
            return;
        }
        QElapsedTimer clock;
        clock.start();
        viewer->show();
        QCoreApplication::processEvents();
        const double page = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        while (strip && !AllPictures(*viewer) && clock.elapsed() < 20000)
        {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        const double done = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        state.SetIterationTime(done / 1000.0);
        firstPage += page;
        stripDone += done;
        viewer->hide();
    }
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["firstPageMs"] = firstPage / iterations;
    state.counters["stripMs"] = strip ? stripDone / iterations : 0.0;
}

void BM_FirstPageToday(benchmark::State& state)
{
    Open(state, Media().today, false);
}
void BM_StripWithIcons(benchmark::State& state)
{
    Open(state, Media().icons, true);
}
void BM_ThumbnailsWithoutIcons(benchmark::State& state)
{
    Open(state, Media().noIcons, true);
}

// Interleaved, so that one run compares them under the same load.
BENCHMARK(BM_FirstPageToday)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_StripWithIcons)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ThumbnailsWithoutIcons)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace orblane

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    // One viewer opened untimed first: the first of a process loads fonts, cursors and bitmaps for all.
    if (auto warm = orblane::MakeViewer(orblane::Media().today))
    {
        warm->show();
        QCoreApplication::processEvents();
    }
    ::benchmark::Initialize(&argc, argv);
    ::benchmark::RunSpecifiedBenchmarks();
    ::benchmark::Shutdown();
    return 0;
}
