// What a slider move costs in the window on top of the model: from the write to the new
// preview painted in the pane (the 60 ms pause included), and the paint of the pane alone.
// Runs offscreen; the pane paints into the same raster backing store it uses on X11.

#include "model/appmodel.h"
#include "ui/mainwindow.h"
#include "ui/previewpane.h"

#include <QApplication>
#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>

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

void BM_SliderToPaintedPreview(benchmark::State &state)
{
    Window w;
    const auto style = WallpaperStyle(state.range(0));
    w.model.bind(&Look::style).setValue(style);
    w.model.renderPreview();
    const Binding<double> slider = style == WallpaperStyle::Flow
                                       ? w.model.bind(&Look::flowAmplitude)
                                       : w.model.bind(&Look::brightness);
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

void BM_PaintPreviewPane(benchmark::State &state)
{
    Window w;
    for (auto _ : state)
        w.pane->repaint();
    state.counters["pane_w"] = w.pane->width();
    state.counters["image_w"] = w.pane->imageRect().width();
}

} // namespace

BENCHMARK(BM_SliderToPaintedPreview)->Arg(0)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);
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
