// One step of a contrast drag in the real viewer, end to end: the mouse move reaches the viewer, the image's window
// changes, its bitmap is rebuilt and the tile is repainted. Run it on a screen of the size wanted, e.g.
//   xvfb-run -s "-screen 0 1920x1080x24" build/bin/orblane_viewer_bench
#include "ViewerStudy.h"
#include "core/ViewerSettings.h"
#include "imaging/CImageData.h"
#include "viewer/CDlgImgViewer.h"
#include "viewer/CPictureFrame.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWindow>
#include <benchmark/benchmark.h>

#include <memory>

namespace orblane {
namespace {

void SendMouse(CDlgImgViewer& viewer, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent event(type, QPointF(at), QPointF(viewer.mapToGlobal(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(&viewer, &event);
}

// A viewer of `count` images of side × side pixels in a columns × columns page, in contrast mode, with the mouse
// pressed in tile 0.
struct DragSetup
{
    test::ScratchFolder folder;
    std::unique_ptr<CDlgImgViewer> viewer;
    QPoint at;

    DragSetup(int side, int count, int columns)
    {
        viewer = std::make_unique<CDlgImgViewer>((folder.Path() / "Orblane.ini").string());
        for (int i = 0; i < count; ++i)
        {
            test::GreyImageOptions imageOptions;
            imageOptions.rows = side;
            imageOptions.columns = side;
            imageOptions.value = [](int row, int column) {
                return static_cast<std::uint16_t>((row * 7 + column * 3) % 4096);
            };
            viewer->AddImageFile(test::WriteGreyImage(folder, "image" + std::to_string(i), imageOptions));
        }
        viewer->show();
        // Painting waits for the window system to show the window: until then a repaint draws nothing.
        QElapsedTimer waited;
        waited.start();
        while ((viewer->windowHandle() == nullptr || !viewer->windowHandle()->isExposed()) && waited.elapsed() < 5000)
        {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        QCoreApplication::processEvents();
        viewer->ApplyPattern(columns, columns);
        viewer->OnCommand(CDlgImgViewer::kContrastBox);
        at = viewer->Frame(0)->geometry().center();
        SendMouse(*viewer, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    }
};

void Drag(benchmark::State& state, int side, int count, int columns)
{
    DragSetup setup(side, count, columns);
    int dx = 0;
    for (auto _ : state)
    {
        dx = (dx + 7) % 200;
        SendMouse(*setup.viewer, QEvent::MouseMove, setup.at + QPoint(dx - 100, 0), Qt::NoButton, Qt::LeftButton);
    }
    const QSize tile = setup.viewer->Frame(0)->size();
    state.SetLabel(std::to_string(setup.viewer->width()) + "x" + std::to_string(setup.viewer->height()) +
                   " window, tile " + std::to_string(tile.width()) + "x" + std::to_string(tile.height()));
}

// The window change alone, without painting, to show where the time of a step goes.
void WindowOnly(benchmark::State& state, int side)
{
    DragSetup setup(side, 1, 1);
    CPictureFrame* frame = setup.viewer->Frame(0);
    int dx = 0;
    for (auto _ : state)
    {
        dx = (dx + 7) % 200;
        frame->AdjustWindow(dx - 100, 0, false);
    }
}

// A wheel step to the next image in 1 x 1, the images decoded already: the event reaches the viewer, the page moves
// and the tile is repainted on screen. Steps go back and forth over the first images, all decoded in the set-up.
void WheelStep(benchmark::State& state, int side)
{
    DragSetup setup(side, 4, 1);
    SendMouse(*setup.viewer, QEvent::MouseButtonRelease, setup.at, Qt::LeftButton, Qt::NoButton);
    for (int i = 0; i < 4; ++i)
    {
        setup.viewer->Images().GetImage(i);
    }
    struct PaintCounter : QObject
    {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            paints += event->type() == QEvent::Paint ? 1 : 0;
            return false;
        }
    } counter;
    setup.viewer->Frame(0)->installEventFilter(&counter);
    int delta = -120;
    int moves = 0;
    for (auto _ : state)
    {
        const int before = setup.viewer->FirstIndex();
        QWheelEvent wheel(QPointF(setup.at), QPointF(setup.viewer->mapToGlobal(setup.at)), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(setup.viewer.get(), &wheel);
        // Whatever paint the step left pending reaches the screen inside the measured time.
        QCoreApplication::processEvents();
        moves += setup.viewer->FirstIndex() != before ? 1 : 0;
        // Forward to the third image, then back.
        if (setup.viewer->FirstIndex() == 2 || setup.viewer->FirstIndex() == 0)
        {
            delta = -delta;
        }
    }
    // Every step must have moved the page, or the figure measures nothing.
    state.counters["pages"] = moves;
    state.counters["paints"] = counter.paints;
}

// Painting alone: the tile repainted with no change.
void PaintOnly(benchmark::State& state, int side, int count, int columns)
{
    DragSetup setup(side, count, columns);
    CPictureFrame* frame = setup.viewer->Frame(0);
    for (auto _ : state)
    {
        frame->repaint();
    }
}

BENCHMARK_CAPTURE(Drag, ct3000_in_1x1, 3000, 1, 1)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(Drag, mr512_in_6x6, 512, 36, 6)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(WindowOnly, ct3000, 3000)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(WindowOnly, mr512, 512)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(WheelStep, ct512_in_1x1, 512)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(WheelStep, ct3000_in_1x1, 3000)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(PaintOnly, ct3000_in_1x1, 3000, 1, 1)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(PaintOnly, mr512_in_6x6, 512, 36, 6)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
} // namespace orblane
