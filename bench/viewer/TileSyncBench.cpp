// Scrolling two 512 x 512 CT series together in a 1 x 2 layout against paging one stack in 1 x 1, in the real viewer:
// a wheel step reaches the viewer, the tiles move (both, when synchronised), new images are decoded (ahead on the
// pool as the viewer asks) and the tiles are repainted on screen. Run it on a screen, e.g.
//   xvfb-run -s "-screen 0 1920x1080x24" build/bin/orblane_tiles_bench
#include "ViewerStudy.h"
#include "viewer/CDlgImgViewer.h"
#include "viewer/CPictureFrame.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWheelEvent>
#include <QWindow>
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace orblane {
namespace {

constexpr int kSlices = 40;

// `seriesCount` series of kSlices axial 512 x 512 CT slices 2.5 mm apart, in one frame of reference.
struct ScrollSetup
{
    test::ScratchFolder folder;
    std::unique_ptr<CDlgImgViewer> viewer;

    explicit ScrollSetup(int seriesCount)
    {
        viewer = std::make_unique<CDlgImgViewer>((folder.Path() / "Orblane.ini").string());
        for (int s = 0; s < seriesCount; ++s)
        {
            for (int i = 0; i < kSlices; ++i)
            {
                test::GreyImageOptions image;
                image.rows = 512;
                image.columns = 512;
                image.seriesUid = "1.2.826.0.1.9." + std::to_string(s + 1);
                image.seriesNumber = std::to_string(s + 1);
                image.frameOfReference = "1.2.826.0.1.9";
                image.sliceZ = std::to_string(2.5 * i);
                image.value = [i, s](int row, int column) {
                    return static_cast<std::uint16_t>((row * 3 + column * 5 + i * 11 + s * 7) % 4096);
                };
                viewer->AddImageFile(
                    test::WriteGreyImage(folder, "s" + std::to_string(s) + "i" + std::to_string(i), image));
            }
        }
        viewer->show();
        QElapsedTimer waited;
        waited.start();
        while ((viewer->windowHandle() == nullptr || !viewer->windowHandle()->isExposed()) && waited.elapsed() < 5000)
        {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        QCoreApplication::processEvents();
    }
};

// Wheel steps over tile 0 forward through the stack and back; each must move the tile.
void Scroll(benchmark::State& state, ScrollSetup& setup)
{
    CDlgImgViewer& viewer = *setup.viewer;
    const QPoint at = viewer.Frame(0)->geometry().center();
    int delta = -120;
    int moves = 0;
    int followed = 0;
    for (auto _ : state)
    {
        const int before = viewer.ShownIndex(0);
        const int otherBefore = viewer.ShownIndex(1);
        QWheelEvent wheel(QPointF(at), QPointF(viewer.mapToGlobal(at)), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&viewer, &wheel);
        QCoreApplication::processEvents();
        moves += viewer.ShownIndex(0) != before ? 1 : 0;
        followed += viewer.ReadsTileSeries() && viewer.ShownIndex(1) != otherBefore ? 1 : 0;
        const int place = viewer.ReadsTileSeries() ? viewer.ShownIndex(0) : viewer.FirstIndex();
        if (place == kSlices - 1 || place == 0)
        {
            delta = -delta;
        }
    }
    state.counters["moves"] = moves;
    state.counters["followed"] = followed;
    const QSize tile = viewer.Frame(0)->size();
    state.SetLabel("tile " + std::to_string(tile.width()) + "x" + std::to_string(tile.height()));
}

// Today's paging: one stack in 1 x 1.
void PagingOneByOne(benchmark::State& state)
{
    ScrollSetup setup(1);
    Scroll(state, setup);
}

// Two series of one frame of reference side by side, the second following the first by position.
void SynchronisedOneByTwo(benchmark::State& state)
{
    ScrollSetup setup(2);
    setup.viewer->ApplyPattern(2, 1);
    // Tile 0 keeps the first series where paging left it.
    setup.viewer->ShowSeriesInTile(1, 1);
    Scroll(state, setup);
}

BENCHMARK(PagingOneByOne)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(SynchronisedOneByTwo)->Unit(benchmark::kMillisecond)->MinTime(3.0);

} // namespace
} // namespace orblane
