// What a slider move costs in the window on top of the model: from the write to the new
// preview painted in the pane (the 60 ms pause included), and the paint of the pane alone.
// Runs offscreen; the pane paints into the same raster backing store it uses on X11.

#include "model/appmodel.h"
#include "ui/mainwindow.h"
#include "ui/previewpane.h"

#include <QApplication>
#include <QDir>
#include <QDrag>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMimeData>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>

#include <benchmark/benchmark.h>

namespace {

const QString kPhoto = QStringLiteral(VOSKAN_TESTDATA_DIR "/photo-path-2560x1600.jpg");

struct Window
{
    AppModel model;
    MainWindow window{&model, nullptr, nullptr};
    PreviewPane *pane = window.findChild<PreviewPane *>();

    Window()
    {
        window.show();
        QEventLoop loop;
        QObject::connect(&model, &AppModel::previewChanged, &loop, &QEventLoop::quit);
        model.openLocalImage(kPhoto); // decoded on a worker, previewed when it arrives
        loop.exec();
        QCoreApplication::processEvents();
    }
};

// The window showing `style`, and the slider of that style the benchmarks move.
Binding<double> styleSlider(Window &w, WallpaperStyle style)
{
    w.model.bind(&Look::style).setValue(style);
    w.model.renderPreview();
    return style == WallpaperStyle::Flow ? w.model.bind(&Look::flowAmplitude)
                                         : w.model.bind(&Look::brightness);
}

void BM_SliderToPaintedPreview(benchmark::State &state)
{
    Window w;
    const Binding<double> slider = styleSlider(w, WallpaperStyle(state.range(0)));
    QEventLoop loop;
    QObject::connect(&w.model, &AppModel::previewChanged, &loop, [&] {
        w.pane->repaint(); // what the next frame of the window does with the new picture
        loop.quit();
    });
    double value = 0;
    for (auto _ : state) {
        value = value > 0.1 ? 0 : value + 0.01;
        slider.setValue(value);
        loop.exec();
    }
}

// A hand dragging a slider for 2 s, a step every 16 ms (one per frame): the longest time
// between two previews painted while it moves, and how many were painted. Target: ≤ 100 ms.
void BM_DragSliderPaintGaps(benchmark::State &state)
{
    Window w;
    const Binding<double> slider = styleSlider(w, WallpaperStyle(state.range(0)));
    QElapsedTimer clock;
    qint64 lastPaint = 0, longest = 0;
    int paints = 0;
    QObject::connect(&w.model, &AppModel::previewChanged, &w.model, [&] {
        w.pane->repaint();
        const qint64 now = clock.elapsed();
        if (lastPaint >= 0) // between two painted previews, not from the first step
            longest = std::max(longest, now - lastPaint);
        lastPaint = now;
        ++paints;
    });
    for (auto _ : state) {
        paints = 0;
        longest = 0;
        QEventLoop loop;
        QTimer hand;
        hand.setTimerType(Qt::PreciseTimer);
        int step = 0;
        QObject::connect(&hand, &QTimer::timeout, &loop, [&] {
            slider.setValue(0.001 * (step % 100));
            if (++step == 125) // 2 s
                loop.quit();
        });
        clock.start();
        lastPaint = -1;
        hand.start(16);
        loop.exec();
    }
    state.counters["longest_gap_ms"] = double(longest);
    state.counters["previews"] = paints;
}

void BM_PaintPreviewPane(benchmark::State &state)
{
    Window w;
    for (auto _ : state)
        w.pane->repaint();
    state.counters["pane_w"] = w.pane->width();
    state.counters["image_w"] = w.pane->imageRect().width();
}

// Waits until the model has the drag file of the current looks written.
void waitForDragFile(AppModel &model)
{
    QEventLoop loop;
    QObject::connect(model.dragFile(), &DragFile::preparedFileChanged, &loop, [&] {
        if (!model.dragFile()->preparedFile().isEmpty())
            loop.quit();
    });
    if (model.dragFile()->preparedFile().isEmpty())
        loop.exec();
}

// What the pane does on the window's thread when a drag starts, before QDrag::exec takes over:
// the drag and its data, with the file already written (6016 × 3384, the default size).
void BM_DragStartPrepared(benchmark::State &state)
{
    Window w;
    waitForDragFile(w.model);
    for (auto _ : state) {
        const std::unique_ptr<QDrag> drag(w.pane->makeDrag());
        if (!drag || drag->mimeData()->urls().isEmpty())
            state.SkipWithError("no file in the drag");
    }
}

// The same start as it was: both looks rendered and the HEIC encoded on the window's thread.
void BM_DragStartWritingAtOnce(benchmark::State &state)
{
    Window w;
    const QString path = QDir::temp().filePath(QStringLiteral("bench-drag.heic"));
    for (auto _ : state)
        if (w.model.writeOutput(path))
            state.SkipWithError("not written");
    QFile::remove(path);
}

// From a slider write until the drag file of the new looks is ready: the pause the model waits
// for the looks to be still, the renders and the encoding on a worker. The counter is the
// longest the window's thread went without serving a 1 ms timer meanwhile (the preview render
// of the write included).
void BM_EditToDragFileReady(benchmark::State &state)
{
    Window w;
    waitForDragFile(w.model);
    const Binding<double> slider = w.model.bind(&Look::brightness);
    double value = 0;
    qint64 longest = 0;
    QElapsedTimer gap;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longest = std::max(longest, gap.restart()); });
    for (auto _ : state) {
        value = value > 0.1 ? 0 : value + 0.01;
        gap.start();
        ticker.start();
        slider.setValue(value);
        waitForDragFile(w.model);
        ticker.stop();
    }
    state.counters["longest_loop_gap_ms"] = double(longest);
}

// A slider write until the preview is painted, while a worker writes the drag file (started
// just before, so it is rendering or encoding): what the preparation costs the sliders.
void BM_SliderWhileDragFileIsWritten(benchmark::State &state)
{
    Window w;
    waitForDragFile(w.model);
    const Binding<double> slider = w.model.bind(&Look::brightness);
    QEventLoop loop;
    QObject::connect(&w.model, &AppModel::previewChanged, &loop, [&] {
        w.pane->repaint();
        loop.quit();
    });
    double value = 0;
    for (auto _ : state) {
        state.PauseTiming();
        slider.setValue(value += 0.01);
        loop.exec();
        delete w.model.makeDragData(); // nothing yet: it starts the worker at once
        w.model.dragFile()->cancel();
        state.ResumeTiming();
        slider.setValue(value += 0.01);
        loop.exec();
        state.PauseTiming();
        waitForDragFile(w.model);
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_SliderWhileDragFileIsWritten)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DragStartPrepared)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DragStartWritingAtOnce)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditToDragFileReady)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SliderToPaintedPreview)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DragSliderPaintGaps)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintPreviewPane)->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
