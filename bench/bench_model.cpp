// What the user feels in the window: from a slider write to the new preview (with the 60 ms
// debounce), and from opening a camera photo to its first preview.

#include "model/appmodel.h"
#include "render/blurprocessor.h"
#include "render/rendercontext.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QImageWriter>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

namespace {

QTemporaryDir &scratch()
{
    static QTemporaryDir dir;
    return dir;
}

const QString kPhoto = QStringLiteral(VOSKAN_TESTDATA_DIR "/photo-path-2560x1600.jpg");

void BM_SliderToPreview(benchmark::State &state)
{
    const auto style = WallpaperStyle(state.range(0));
    AppModel model;
    model.openLocalImage(kPhoto);
    model.bind(&Look::style).setValue(style);
    const Binding<double> slider = style == WallpaperStyle::Flow ? model.bind(&Look::flowAmplitude)
                                                                 : model.bind(&Look::brightness);
    QEventLoop loop;
    QObject::connect(&model, &AppModel::previewChanged, &loop, &QEventLoop::quit);
    loop.exec(); // the style change's render
    double value = 0;
    for (auto _ : state) {
        value = value > 0.1 ? 0 : value + 0.01;
        slider.setValue(value);
        loop.exec(); // until the preview is published
    }
}

void BM_OpenCameraPhotoToPreview(benchmark::State &state)
{
    static const QString path = [] {
        const QString p = scratch().filePath(QStringLiteral("camera-6000x4000.jpg"));
        QImageWriter writer(p, "jpeg");
        writer.setQuality(92);
        writer.write(
            QImage(kPhoto).scaled(6000, 4000, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        return p;
    }();
    AppModel model;
    for (auto _ : state) {
        model.openLocalImage(path); // decodes, takes the palette and renders synchronously
        if (model.preview().isNull())
            state.SkipWithError("no preview");
    }
}

// Both looks at 6016×3384, rendered, encoded and written on the worker, while the event loop
// is watched: the counter is the longest it went without serving a 1 ms timer.
void BM_ExportFull(benchmark::State &state)
{
    AppModel model;
    model.openLocalImage(kPhoto);
    model.setEditing(Appearance::Dark);
    model.bind(&Look::style).setValue(WallpaperStyle::Mirror);
    const QString path = scratch().filePath(QStringLiteral("export.heic"));
    qint64 longest = 0;
    for (auto _ : state) {
        QEventLoop loop;
        QObject::connect(&model, &AppModel::exportFinished, &loop, &QEventLoop::quit);
        QElapsedTimer gap;
        QTimer ticker;
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout,
                         [&] { longest = std::max(longest, gap.restart()); });
        gap.start();
        ticker.start();
        model.exportTo(path);
        loop.exec();
        if (model.errorMessage())
            state.SkipWithError("export failed");
    }
    state.counters["longest_loop_gap_ms"] = double(longest);
}

} // namespace

BENCHMARK(BM_ExportFull)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_SliderToPreview)
    ->Arg(int(WallpaperStyle::Blur))
    ->Arg(int(WallpaperStyle::Flow))
    ->Arg(int(WallpaperStyle::Mirror))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_OpenCameraPhotoToPreview)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // Recent files and keys go to a scratch folder, not the user's settings.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, scratch().path());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
