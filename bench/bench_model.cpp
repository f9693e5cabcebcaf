// What the user feels in the window: from a slider write to the new preview (with the 60 ms
// debounce), from opening a camera photo to its first preview, and how long the event loop
// stalls while a large picture opens.

#include "model/appmodel.h"
#include "render/blurprocessor.h"
#include "render/imagedecoder.h"
#include "render/rendercontext.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>

#include <benchmark/benchmark.h>
#include <vips/vips.h>

namespace {

QTemporaryDir &scratch()
{
    static QTemporaryDir dir;
    return dir;
}

const QString kPhoto = QStringLiteral(VOSKAN_TESTDATA_DIR "/photo-path-2560x1600.jpg");

// The test photo stretched to width × height by libvips, saved once per run under `name`.
QString stretchedPhoto(const QString &name, int width, int height)
{
    const QString path = scratch().filePath(name);
    if (QFile::exists(path) || !ImageDecoder::startVips())
        return path;
    VipsImage *in = vips_image_new_from_file(QFile::encodeName(kPhoto).constData(), nullptr);
    VipsImage *out = nullptr;
    if (in && vips_resize(in, &out, double(width) / vips_image_get_width(in), "vscale",
                          double(height) / vips_image_get_height(in), nullptr) == 0) {
        const QByteArray file = QFile::encodeName(path);
        if (path.endsWith(QLatin1String(".png")))
            vips_pngsave(out, file.constData(), "compression", 1, nullptr);
        else
            vips_jpegsave(out, file.constData(), "Q", 92, nullptr);
    }
    if (out)
        g_object_unref(out);
    if (in)
        g_object_unref(in);
    return path;
}

// Opens `path` and runs the event loop until the model has applied it (or failed to). The
// longest the loop went without serving a 1 ms timer meanwhile, in milliseconds.
qint64 openAndWait(AppModel &model, const QString &path)
{
    QEventLoop loop;
    QElapsedTimer gap;
    qint64 longest = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longest = std::max(longest, gap.restart()); });
    const auto done =
        QObject::connect(model.loader(), &PictureLoader::isLoadingChanged, &loop, [&] {
            if (!model.isLoadingSource())
                loop.quit();
        });
    gap.start();
    ticker.start();
    model.openLocalImage(path);
    loop.exec();
    QObject::disconnect(done);
    // The picture is applied and previewed after the quit, before the loop returns.
    return std::max(longest, gap.elapsed());
}

void BM_SliderToPreview(benchmark::State &state)
{
    const auto style = WallpaperStyle(state.range(0));
    AppModel model;
    openAndWait(model, kPhoto);
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
    const QString path = stretchedPhoto(QStringLiteral("camera-6000x4000.jpg"), 6000, 4000);
    AppModel model;
    for (auto _ : state) {
        openAndWait(model, path); // decoded with its palette on a worker, then previewed
        if (model.preview().isNull())
            state.SkipWithError("no preview");
    }
}

// The longest event-loop stall while a picture opens: a 6000×4000 JPEG, and a 12500×8000 PNG
// (100 MP, the most the decoder accepts).
void BM_OpenWithoutBlocking(benchmark::State &state)
{
    const QString path = state.range(0) == 0
                             ? stretchedPhoto(QStringLiteral("camera-6000x4000.jpg"), 6000, 4000)
                             : stretchedPhoto(QStringLiteral("large-12500x8000.png"), 12500, 8000);
    AppModel model;
    qint64 longest = 0;
    for (auto _ : state) {
        longest = std::max(longest, openAndWait(model, path));
        if (model.errorMessage() || model.preview().isNull())
            state.SkipWithError("not opened");
    }
    state.counters["longest_loop_gap_ms"] = double(longest);
}

// The time each step of a job takes as the window sees it: from the step's label shown to
// the next one's (or the job's end).
struct StepClock
{
    explicit StepClock(OutputJobs *jobs) : m_jobs(jobs)
    {
        m_clock.start();
        m_follow = QObject::connect(jobs, &OutputJobs::progressChanged, [this] {
            if (m_jobs->isBusy() && m_jobs->progressLabel() != m_step)
                next();
        });
    }
    ~StepClock() { QObject::disconnect(m_follow); }
    // The job ended: its last step too.
    void next()
    {
        if (!m_step.isEmpty())
            ms[m_step] += double(m_clock.elapsed() - m_stepStart);
        m_step = m_jobs->isBusy() ? m_jobs->progressLabel() : QString();
        m_stepStart = m_clock.elapsed();
    }
    void count(benchmark::State &state) const
    {
        const std::pair<WriteStep, const char *> steps[] = {
            {WriteStep::RenderLight, "render_light_ms"},
            {WriteStep::RenderDark, "render_dark_ms"},
            {WriteStep::DesktopImages, "desktop_images_ms"},
            {WriteStep::EncodeLight, "encode_light_ms"},
            {WriteStep::EncodeDark, "encode_dark_ms"}};
        for (const auto &[step, name] : steps)
            if (ms.contains(label(step)))
                state.counters[name] = ms.value(label(step)) / double(state.iterations());
    }

    QHash<QString, double> ms;

private:
    OutputJobs *m_jobs;
    QElapsedTimer m_clock;
    QString m_step;
    qint64 m_stepStart = 0;
    QMetaObject::Connection m_follow;
};

// Both looks (light blur, dark mirror) at 6016×3384 or 2560×1600, rendered, encoded and
// written on the worker — the pair, or a day cycle of the third argument's pictures — while
// the event loop is watched: the counters are the longest it went without serving a 1 ms
// timer, and the time of each step as the window sees it.
void BM_ExportFull(benchmark::State &state)
{
    AppModel model;
    openAndWait(model, kPhoto);
    model.setEditing(Appearance::Dark);
    model.bind(&Look::style).setValue(WallpaperStyle::Mirror);
    model.setPreset(ResolutionPreset::all().constLast());
    model.setCustomWidth(state.range(0));
    model.setCustomHeight(state.range(1));
    model.dayCycle()->setCount(int(state.range(2)));
    const QString path = scratch().filePath(QStringLiteral("export.heic"));
    qint64 longest = 0;
    StepClock steps(model.jobs());
    for (auto _ : state) {
        QEventLoop loop;
        QObject::connect(model.jobs(), &OutputJobs::finished, &loop, &QEventLoop::quit);
        QElapsedTimer gap;
        QTimer ticker;
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout,
                         [&] { longest = std::max(longest, gap.restart()); });
        gap.start();
        ticker.start();
        model.exportTo(path);
        loop.exec();
        steps.next();
        if (model.errorMessage())
            state.SkipWithError("export failed");
    }
    state.counters["longest_loop_gap_ms"] = double(longest);
    steps.count(state);
}

// What telling the window costs: the same export on this thread, without a progress and with
// one whose every step is posted to an object on the main thread, as the jobs post theirs.
void BM_WriteOutputProgress(benchmark::State &state)
{
    Look light;
    light.source = ImageDecoder::decodeFile(kPhoto).bitmap();
    Look dark = Look::initialDark();
    dark.source = light.source;
    dark.style = WallpaperStyle::Mirror;
    const QString path = scratch().filePath(QStringLiteral("progress.heic"));
    QObject receiver;
    int heard = 0;
    WriteProgress progress(WriteProgress::exportPlan(), [&](WriteStep, double) {
        QMetaObject::invokeMethod(
            &receiver, [&heard] { ++heard; }, Qt::QueuedConnection);
    });
    for (auto _ : state) {
        if (OutputJobs::writeOutput(light, dark, {6016, 3384}, path,
                                    state.range(0) ? &progress : nullptr))
            state.SkipWithError("write failed");
        QCoreApplication::processEvents();
    }
    state.counters["steps_heard"] = heard;
}

// „Als Schreibtisch setzen“ at 6016×3384 with a desktop that only notes when it is told: the
// counter is click → desktop told, the time the whole set including the HEIC. With an
// argument, a day cycle of that many pictures, played as a slideshow the way GNOME plays it.
struct TimedDesktop : DesktopBackend
{
    QElapsedTimer clock;
    std::atomic<qint64> toldNs{-1};
    std::optional<QString> setWallpaper(const WallpaperFiles &) override
    {
        toldNs = clock.nsecsElapsed();
        return std::nullopt;
    }
    std::optional<QString> currentPicture() override { return std::nullopt; }
    // A day goes to it as GNOME takes one: a slideshow, no follower.
    bool playsSlideshow() const override { return true; }
    std::optional<QString> setSlideshow(const QString &) override
    {
        toldNs = clock.nsecsElapsed();
        return std::nullopt;
    }
};

void BM_SetAsDesktop(benchmark::State &state)
{
    qputenv("XDG_DATA_HOME", QFile::encodeName(scratch().filePath(QStringLiteral("share"))));
    AppModel model;
    openAndWait(model, kPhoto);
    model.setEditing(Appearance::Dark);
    model.bind(&Look::style).setValue(WallpaperStyle::Mirror);
    model.dayCycle()->setCount(int(state.range(0)));
    auto *desktop = new TimedDesktop;
    model.jobs()->setDesktopService(
        std::make_shared<DesktopService>(std::unique_ptr<DesktopBackend>(desktop)));
    double toldMs = 0;
    StepClock steps(model.jobs());
    for (auto _ : state) {
        QEventLoop loop;
        QObject::connect(model.jobs(), &OutputJobs::finished, &loop, &QEventLoop::quit);
        desktop->toldNs = -1;
        desktop->clock.start();
        model.setAsDesktop();
        loop.exec();
        steps.next();
        if (model.errorMessage() || desktop->toldNs < 0)
            state.SkipWithError("set failed");
        toldMs += double(desktop->toldNs) / 1e6;
    }
    state.counters["click_to_told_ms"] = toldMs / double(state.iterations());
    steps.count(state);
}

} // namespace

BENCHMARK(BM_SetAsDesktop)
    ->Arg(0)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(BM_ExportFull)
    ->Args({6016, 3384, 0})
    ->Args({2560, 1600, 0})
    ->Args({2560, 1600, 8})
    ->Args({6016, 3384, 16})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(BM_WriteOutputProgress)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(BM_SliderToPreview)
    ->Arg(int(WallpaperStyle::Blur))
    ->Arg(int(WallpaperStyle::Flow))
    ->Arg(int(WallpaperStyle::Mirror))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_OpenCameraPhotoToPreview)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenWithoutBlocking)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

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
