// Render engine benchmarks: the photo is decoded beforehand and the output buffer reused,
// as in the app's steady state. Run with --benchmark_repetitions=N for medians.

#include "model/look.h"
#include "model/renderpipeline.h"
#include "render/blurprocessor.h"
#include "render/dayblend.h"
#include "render/flowprocessor.h"
#include "render/imagedecoder.h"
#include "render/mirrorprocessor.h"
#include "render/rendercontext.h"

#include <QDir>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>

namespace {

const QString kPhoto = QStringLiteral(VOSKAN_TESTDATA_DIR "/photo-path-2560x1600.jpg");

QTemporaryDir &scratch()
{
    static QTemporaryDir dir;
    return dir;
}

// A 6000×4000 "camera" JPEG made from a test photo, once per run.
QString cameraJpeg()
{
    static const QString path = [] {
        const QString p = scratch().filePath(QStringLiteral("camera-6000x4000.jpg"));
        QImage big =
            QImage(kPhoto).scaled(6000, 4000, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QImageWriter writer(p, "jpeg");
        writer.setQuality(92);
        writer.write(big);
        return p;
    }();
    return path;
}

const Bitmap &source(int width)
{
    static std::map<int, Bitmap> cache;
    auto it = cache.find(width);
    if (it == cache.end()) {
        const QString path = width == 2560 ? kPhoto : cameraJpeg();
        it = cache.emplace(width, ImageDecoder::decodeFile(path).bitmap()).first;
    }
    return it->second;
}

QSizeF sizeFor(bool preview)
{
    return preview ? QSizeF(1800, 1800.0 * 3384 / 6016) : QSizeF(6016, 3384);
}

using Clock = std::chrono::steady_clock;

// Writes every byte of `buffer` once, split into the same strips on the same threads as a
// render: what no render of that size can beat.
void writeOnce(PixelBuffer &buffer, int value)
{
    constexpr int kRows = 128;
    const int strips = (buffer.height() + kRows - 1) / kRows;
    BlurProcessor::context().parallelFor(strips, [&](int strip) {
        const int first = strip * kRows, last = std::min(buffer.height(), first + kRows);
        for (int y = first; y < last; ++y)
            std::memset(buffer.scanLine(y), value, std::size_t(buffer.bytesPerLine()));
    });
}

// The floor for a render of `size` and `format`: the best of 15 warm writes, measured once.
double floorSeconds(QSizeF size, PixelFormat format)
{
    static std::map<std::pair<int, int>, double> known;
    const auto key = std::make_pair(int(size.width()), int(format));
    if (const auto it = known.find(key); it != known.end())
        return it->second;
    PixelBuffer buffer =
        PixelBuffer::allocate(int(std::ceil(size.width())), int(std::ceil(size.height())), format);
    writeOnce(buffer, 0);
    double best = 1e9;
    for (int i = 0; i < 15; ++i) {
        const auto start = Clock::now();
        writeOnce(buffer, i);
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return known[key] = best;
}

enum Style { Blur, Mirror, Flow };

void renderStyle(benchmark::State &state, Style style, int sourceWidth, bool preview,
                 Appearance appearance = Appearance::Light)
{
    const QSizeF size = sizeFor(preview);
    Look look;
    look.setTone(Tone::defaultFor(appearance));
    const Bitmap &src = source(sourceWidth);
    PixelBuffer buffer =
        PixelBuffer::allocate(int(std::ceil(size.width())), int(std::ceil(size.height())),
                              preview ? PixelFormat::Rgba8 : PixelFormat::Rgba16);
    RenderContext &context = BlurProcessor::context();
    const double floor = floorSeconds(size, buffer.format());
    double spent = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        Image image;
        if (style == Flow) {
            image = Image::fromFlowKernel(FlowProcessor::kernelArgs(size, look.flowSettings()),
                                          QRectF(QPointF(0, 0), size));
        } else {
            image = *BlurProcessor::processedImage(src, size, look.settings());
            if (style == Mirror)
                image = MirrorProcessor::apply(image, size, look.mirrorSettings());
        }
        image = image.dithered(float(look.dither));
        if (!context.render(image, QPoint(0, 0), buffer))
            state.SkipWithError("render failed");
        benchmark::DoNotOptimize(buffer.bits());
        spent += std::chrono::duration<double>(Clock::now() - start).count();
    }
    // Machines differ; the ratio to writing the same bytes says how close the engine is.
    state.counters["xFloor"] =
        benchmark::Counter(spent / floor, benchmark::Counter::kAvgIterations);
}

// Writing a full-size 16-bit output once, warm, on the render's threads.
void BM_OutputFloor(benchmark::State &state)
{
    const bool preview = state.range(0) == 1;
    const QSizeF size = sizeFor(preview);
    PixelBuffer buffer =
        PixelBuffer::allocate(int(std::ceil(size.width())), int(std::ceil(size.height())),
                              preview ? PixelFormat::Rgba8 : PixelFormat::Rgba16);
    writeOnce(buffer, 0);
    int value = 0;
    for (auto _ : state) {
        writeOnce(buffer, ++value & 0xff);
        benchmark::DoNotOptimize(buffer.bits());
    }
}

void BM_BlurFull(benchmark::State &s)
{
    renderStyle(s, Blur, int(s.range(0)), false);
}
void BM_BlurPreview(benchmark::State &s)
{
    renderStyle(s, Blur, int(s.range(0)), true);
}
// The dark tone eases its shadows into black, per pixel: half of every export.
void BM_BlurFullDark(benchmark::State &s)
{
    renderStyle(s, Blur, int(s.range(0)), false, Appearance::Dark);
}
void BM_BlurPreviewDark(benchmark::State &s)
{
    renderStyle(s, Blur, int(s.range(0)), true, Appearance::Dark);
}
void BM_MirrorFull(benchmark::State &s)
{
    renderStyle(s, Mirror, int(s.range(0)), false);
}
void BM_MirrorPreview(benchmark::State &s)
{
    renderStyle(s, Mirror, int(s.range(0)), true);
}
void BM_FlowFull(benchmark::State &s)
{
    renderStyle(s, Flow, 2560, false);
}
void BM_FlowPreview(benchmark::State &s)
{
    renderStyle(s, Flow, 2560, true);
}

// A fresh output bitmap every time, as the model's full-size renders do.
void BM_BlurFullFreshBitmap(benchmark::State &state)
{
    const Look look;
    const Bitmap &src = source(2560);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            BlurProcessor::render(src, QSizeF(6016, 3384), look.settings(), true));
}

// What the user waits for after opening a camera photo: decoding plus the first preview,
// with nothing prepared yet.
void BM_DecodeAndFirstPreview(benchmark::State &state)
{
    const QString path = cameraJpeg();
    Look look;
    for (auto _ : state) {
        BlurProcessor::context().clearCache();
        const DecodeResult decoded = ImageDecoder::decodeFile(path);
        look.source = decoded.bitmap();
        benchmark::DoNotOptimize(RenderPipeline::renderLook(look, sizeFor(true), false));
    }
}

// The most a look's numbers can ask of the engine: the widest blur, and a mirror seam at the
// bounds of its amplitude and frequency, whose fold then reads base rows from the whole
// height for every block of columns. Nothing prepared beforehand.
void BM_LookAtTheBounds(benchmark::State &state)
{
    Look look;
    look.source = source(2560);
    look.blur = 1e12;
    if (state.range(0) == 1) {
        look.style = WallpaperStyle::Mirror;
        look.mirrorAmplitude = 10;
        look.mirrorFrequency = 100;
        look.mirrorSideFade = 10;
    }
    for (auto _ : state) {
        BlurProcessor::context().clearCache();
        benchmark::DoNotOptimize(RenderPipeline::renderLook(look, sizeFor(false), true));
    }
}

// One picture between night and day of a day cycle at full size, 16 bit (the night and the
// day rendered beforehand): a cycle of 16 pictures makes 14 of these besides its encodes.
void BM_DayBlend(benchmark::State &state)
{
    Look day;
    day.source = source(2560);
    Look night = day;
    night.setTone(Tone::defaultFor(Appearance::Dark));
    const Bitmap light = RenderPipeline::renderLook(day, sizeFor(false), true).value_or(Bitmap());
    const Bitmap dark = RenderPipeline::renderLook(night, sizeFor(false), true).value_or(Bitmap());
    for (auto _ : state)
        benchmark::DoNotOptimize(DayBlend::blend(dark, light, 0.4, 0.8));
}

// The least of the repetitions: on a shared machine the median carries the neighbours' noise.
double least(const std::vector<double> &v)
{
    return *std::min_element(v.begin(), v.end());
}

// Every figure here is a wait a person has: real time, in milliseconds, with the least beside
// the median.
void inMilliseconds(benchmark::internal::Benchmark *benchmark)
{
    benchmark->Unit(benchmark::kMillisecond)->UseRealTime()->ComputeStatistics("min", least);
}

} // namespace

BENCHMARK(BM_DayBlend)->Apply(inMilliseconds);
BENCHMARK(BM_OutputFloor)->Arg(0)->Arg(1)->Apply(inMilliseconds);
BENCHMARK(BM_BlurFull)->Arg(2560)->Arg(6000)->Apply(inMilliseconds);
BENCHMARK(BM_BlurPreview)->Arg(2560)->Arg(6000)->Apply(inMilliseconds);
BENCHMARK(BM_BlurFullDark)->Arg(2560)->Apply(inMilliseconds);
BENCHMARK(BM_BlurPreviewDark)->Arg(2560)->Apply(inMilliseconds);
BENCHMARK(BM_MirrorFull)->Arg(2560)->Arg(6000)->Apply(inMilliseconds);
BENCHMARK(BM_MirrorPreview)->Arg(2560)->Arg(6000)->Apply(inMilliseconds);
BENCHMARK(BM_FlowFull)->Apply(inMilliseconds);
BENCHMARK(BM_FlowPreview)->Apply(inMilliseconds);
BENCHMARK(BM_BlurFullFreshBitmap)->Apply(inMilliseconds);
BENCHMARK(BM_LookAtTheBounds)->Arg(0)->Arg(1)->Apply(inMilliseconds);
BENCHMARK(BM_DecodeAndFirstPreview)->Apply(inMilliseconds);

BENCHMARK_MAIN();
