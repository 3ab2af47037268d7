// The report window's two waits, end to end in the real dialog: a 20-page PDF from the click until its first page
// is drawn, and a structured report of 5 000 content items read, walked and laid out as a document. Run it on a
// screen, e.g. xvfb-run -s "-screen 0 1920x1080x24" build/bin/orblane_report_bench
#include "dicom/DicomDataFileIO.h"
#include "support/DicomWriter.h"
#include "support/ScratchFolder.h"
#include "viewer/CDlgReport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QWindow>
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

namespace orblane {
namespace {

const std::filesystem::path kReports = std::filesystem::path(ORBLANE_TEST_DATA_DIR) / "reports";

void WaitExposed(QWidget& widget)
{
    QElapsedTimer waited;
    waited.start();
    while ((widget.windowHandle() == nullptr || !widget.windowHandle()->isExposed()) && waited.elapsed() < 5000)
    {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

// Whether the window shows ink of the page: the renderer draws pages after the window first paints.
bool PageDrawn(QWidget& widget)
{
    const QImage shot = widget.grab().toImage();
    for (int y = shot.height() / 8; y < shot.height() / 3; y += 2)
    {
        for (int x = shot.width() / 4; x < shot.width() * 3 / 4; x += 2)
        {
            if (qGray(shot.pixel(x, y)) < 80)
            {
                return true;
            }
        }
    }
    return false;
}

void BM_PdfFirstPage(benchmark::State& state)
{
    for (auto _ : state)
    {
        auto file = DicomDataFileIO::ForPath(kReports / "pdf-20-pages.dcm", "pdf", u"");
        CDlgReport window(*file);
        window.show();
        WaitExposed(window);
        QElapsedTimer waited;
        waited.start();
        while (!PageDrawn(window) && waited.elapsed() < 5000)
        {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        if (waited.elapsed() >= 5000)
        {
            state.SkipWithError("the first page was never drawn");
        }
    }
}
BENCHMARK(BM_PdfFirstPage)->Unit(benchmark::kMillisecond)->Iterations(10);

// A Comprehensive SR whose root holds `items` TEXT items.
std::filesystem::path WriteLargeReport(const test::ScratchFolder& folder, int items)
{
    test::DicomWriter w;
    w.FileMeta(test::kExplicitLittleEndian);
    w.Text(0x0008, 0x0016, "UI", "1.2.840.10008.5.1.4.1.1.88.33");
    w.Text(0x0008, 0x0018, "UI", "1.2.826.0.1.3680043.10.1010.28.9");
    w.Text(0x0010, 0x0010, "PN", "Bench^Report");
    w.Text(0x0040, 0xA040, "CS", "CONTAINER");
    w.BeginSequence(0x0040, 0xA730, test::Length::Undefined);
    for (int i = 0; i < items; ++i)
    {
        w.BeginItem(test::Length::Undefined);
        w.Text(0x0040, 0xA010, "CS", "CONTAINS");
        w.Text(0x0040, 0xA040, "CS", "TEXT");
        w.BeginSequence(0x0040, 0xA043, test::Length::Undefined).BeginItem(test::Length::Undefined);
        w.Text(0x0008, 0x0100, "SH", "121071");
        w.Text(0x0008, 0x0102, "SH", "DCM");
        w.Text(0x0008, 0x0104, "LO", "Finding");
        w.EndItem().EndSequence();
        w.Text(0x0040, 0xA160, "UT", "Finding number " + std::to_string(i) + " as dictated, in a sentence or two.");
        w.EndItem();
    }
    w.EndSequence();
    const std::filesystem::path path = folder.Path() / "large-sr.dcm";
    w.WriteTo(path);
    return path;
}

void BM_StructuredReport(benchmark::State& state)
{
    test::ScratchFolder folder;
    const std::filesystem::path path = WriteLargeReport(folder, static_cast<int>(state.range(0)));
    for (auto _ : state)
    {
        auto file = DicomDataFileIO::ForPath(path, "sr", u"");
        CDlgReport window(*file);
        benchmark::DoNotOptimize(window.DocumentText().size());
    }
}
BENCHMARK(BM_StructuredReport)->Arg(5000)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace orblane
