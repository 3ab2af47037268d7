// The marks' repaint in the real viewer: one step of dragging a handle of an ellipse that covers most of a 2048 x 2560
// radiograph (the mouse move reaches the viewer, the ellipse's statistics are taken again and the tile is repainted),
// against the plain repaint of the same tile without marks and with the ellipse standing still. The image's bitmap
// is not rebuilt by a mark: the window does not change, so the tile draws from the same display bitmap each time.
// Run it on a screen of the size wanted, e.g.
//   xvfb-run -s "-screen 0 1920x1080x24" build/bin/orblane_measure_bench
#include "ViewerStudy.h"
#include "imaging/CImageData.h"
#include "imaging/MeasureModel.h"
#include "viewer/CDlgImgViewer.h"
#include "viewer/CMeasureLayer.h"
#include "viewer/CPictureFrame.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
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

// Counts the paints a tile receives, to show that each step painted it once.
struct PaintCounter : QObject
{
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

// A viewer of one 2048 x 2560 radiograph in 1 x 1; with `ellipse`, an ellipse from pixel (200, 200) to (1800, 2300).
struct RadiographSetup
{
    test::ScratchFolder folder;
    std::unique_ptr<CDlgImgViewer> viewer;
    CPictureFrame* frame = nullptr;
    CImageData* image = nullptr;

    explicit RadiographSetup(bool ellipse)
    {
        viewer = std::make_unique<CDlgImgViewer>((folder.Path() / "Orblane.ini").string());
        test::GreyImageOptions options;
        options.rows = 2560;
        options.columns = 2048;
        options.modality = "CR";
        options.pixelSpacing = "0.15\\0.15";
        options.value = [](int row, int column) { return static_cast<std::uint16_t>((row * 7 + column * 3) % 4096); };
        viewer->AddImageFile(test::WriteGreyImage(folder, "radiograph", options));
        viewer->show();
        // Painting waits for the window system to show the window: until then a repaint draws nothing.
        QElapsedTimer waited;
        waited.start();
        while ((viewer->windowHandle() == nullptr || !viewer->windowHandle()->isExposed()) && waited.elapsed() < 5000)
        {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        QCoreApplication::processEvents();
        viewer->ApplyPattern(1, 1);
        frame = viewer->Frame(0);
        image = frame->GetTileImage();
        if (ellipse && image != nullptr)
        {
            viewer->Marks().ChooseTool(MeasureTool::Ellipse);
            for (const QPoint at : {At(200, 200), At(1800, 2300)})
            {
                SendMouse(*viewer, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
                SendMouse(*viewer, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
            }
            viewer->Marks().ChooseTool(MeasureTool::None);
        }
        frame->repaint();
    }

    // The viewer point over the centre of pixel (column, row).
    QPoint At(double column, double row) const
    {
        const TilePoint t = frame->Mapping().ToTile({column, row});
        return frame->pos() + QPoint(static_cast<int>(t.x), static_cast<int>(t.y));
    }

    std::size_t Shapes() const
    {
        const ImageMeasures* measures = viewer->Marks().MeasuresOf(image);
        return measures == nullptr ? 0 : measures->shapes.size();
    }

    void Label(benchmark::State& state) const
    {
        const QSize tile = frame->size();
        state.SetLabel("tile " + std::to_string(tile.width()) + "x" + std::to_string(tile.height()));
    }
};

// One step of a handle drag: the ellipse's far corner moves by a few tile pixels, back and forth.
void HandleDrag(benchmark::State& state)
{
    RadiographSetup setup(true);
    if (setup.Shapes() != 1)
    {
        state.SkipWithError("the ellipse was not placed");
        return;
    }
    const QPoint handle = setup.At(1800, 2300);
    SendMouse(*setup.viewer, QEvent::MouseButtonPress, handle, Qt::LeftButton, Qt::LeftButton);
    PaintCounter counter;
    setup.frame->installEventFilter(&counter);
    int step = 0;
    for (auto _ : state)
    {
        step = (step + 1) % 40;
        const int dx = step < 20 ? step : 40 - step;
        SendMouse(*setup.viewer, QEvent::MouseMove, handle - QPoint(dx, dx), Qt::NoButton, Qt::LeftButton);
    }
    SendMouse(*setup.viewer, QEvent::MouseButtonRelease, handle, Qt::LeftButton, Qt::NoButton);
    const MeasureShape& shape = setup.viewer->Marks().MeasuresOf(setup.image)->shapes[0];
    state.counters["paints"] = benchmark::Counter(counter.paints, benchmark::Counter::kAvgIterations);
    state.counters["pixels"] = static_cast<double>(shape.result.count);
    setup.Label(state);
}

// The same tile repainted with nothing changed: without marks, and with the ellipse standing still.
void Repaint(benchmark::State& state, bool ellipse)
{
    RadiographSetup setup(ellipse);
    for (auto _ : state)
    {
        setup.frame->repaint();
    }
    setup.Label(state);
}

BENCHMARK(HandleDrag)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(Repaint, plain, false)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(Repaint, with_ellipse, true)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
} // namespace orblane
