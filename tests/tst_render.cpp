// The render engine: every style against its slow reference, kernels, aspect fill, bounds.

#include "model/renderpipeline.h"
#include "render/blurprocessor.h"
#include "render/dayblend.h"
#include "render/imagerecipe.h"
#include "render/kernels.h"
#include "render/rendercolor.h"
#include "support/reference.h"
#include "support/rows.h"

#include <QTest>

using namespace Qt::StringLiterals;
using RenderPipeline::PixelSize;

// Looks are written with designated initializers, which leave the unnamed fields at their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

Bitmap photo(const char *name, int width, int height)
{
    return Reference::photo(QStringLiteral("photo-%1-2560x1600.jpg").arg(name), width, height);
}

} // namespace

class TestRender : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every style through the pipeline against its double-precision reference, dither off.
    // Large blurs take the shrink-blur-upsample path, small ones resample the source.
    void matchesReference_data()
    {
        using enum WallpaperStyle;
        addColumns<Look, QSizeF, double, bool>({"look", "size", "engine", "deep"});
        const auto row = [](const char *name, Look look, QSizeF size, double engine) {
            look.dither = 0;
            for (const bool deep : {false, true})
                QTest::addRow("%s, %d bit", name, deep ? 16 : 8) << look << size << engine << deep;
        };
        // clang-format off
        const auto blur = [](std::optional<Bitmap> source, double blur, Tone t) {
            return Look{.source = source, .blur = blur, .brightness = t.brightness, .saturation = t.saturation, .contrast = t.contrast};
        };
        // The mirror's reference folds the 16-bit blur render: these tones keep it in [0, 1].
        const auto mirror = [water = photo("bythewater", 400, 250)](double blur, Tone t, MirrorProcessor::Settings m) {
            return Look{.source = water, .style = Mirror, .blur = blur, .brightness = t.brightness, .saturation = t.saturation,
                        .contrast = t.contrast, .mirrorLine = m.line, .mirrorAmplitude = m.amplitude, .mirrorFrequency = m.frequency,
                        .mirrorPhase = m.phase, .mirrorHardness = m.hardness, .mirrorDepth = m.depth, .mirrorSideFade = m.sideFade};
        };
        const Bitmap path = photo("path", 400, 250), cups = photo("colorfulcups", 320, 200);
        const Tone neutral{0, 1, 1}, light{0, 1.15, 1}, dark{-0.15, 1.05, 1.05};
        row("blur, upscaled", blur(path, 55, light), {640, 360}, 0.5);
        row("blur, dark, downscaled", blur(photo("bythewater", 480, 300), 55, dark), {200, 112.5}, 0.5);
        // The controls run on the shrunk copy, so where they clip, the kink is interpolated
        // between its samples rather than sampled at every source pixel.
        row("blur, full, strong tone", blur(photo("fallenleaf", 256, 256), 100, {0.1, 1.5, 1.2}), {400, 225}, 1.5);
        row("blur, small, direct", blur(photo("path", 320, 200), 8, neutral), {480, 270}, 1);
        row("blur, cropped at the sides", blur(path, 55, light), {225, 400}, 0.5);
        // A blur taken straight from the photo scales in the same pass, so the controls follow
        // the scale; where they clip, the few pixels at the kink differ by a few steps.
        row("blur, small, direct, dark tone", blur(photo("path", 320, 200), 8, dark), {480, 270}, 3.5);
        row("blur, a deep darkening eases into black", blur(path, 30, {-0.4, 1.3, 1.1}), {320, 200}, 0.5);
        row("blur, sigma 0.53", blur(cups, 1.2, neutral), {320, 200}, 0.5);
        row("blur, sigma 0.44 is none", blur(cups, 1, neutral), {320, 200}, 0.01);
        row("no blur, dark tone, from the photo's rows", blur(cups, 0, dark), {320, 200}, 0.5);
        row("no blur, bright tone clips towards the luma", blur(photo("fallenleaf", 320, 200), 0, {0.3, 2, 1.3}), {320, 200}, 0.5);
        row("blur without source", blur({}, 55, light), {64, 64}, 0);
        row("flow, three bands", {.style = Flow}, {480, 270}, 0.1);
        row("flow, sharpest, fast waves", {.style = Flow, .flowAmplitude = 0.25, .flowFrequency = 3, .flowSharpness = 1, .flowEdgeSoftness = 0, .flowPhase = 5.5}, {333, 501}, 0.1);
        row("flow, two bands, softest", {.style = Flow, .flowBands = 2, .flowAmplitude = 0.05, .flowFrequency = 0.3, .flowSharpness = 0, .flowEdgeSoftness = 1, .flowPhase = 0}, {640, 100}, 0.1);
        row("flow, source, fractional size", {.source = path, .style = Flow}, {300, 168.75}, 0.1);
        row("mirror", mirror(55, neutral, {}), {480, 270}, 0.2);
        row("mirror, light blur, soft seam", mirror(3, neutral, {0.4, 0.1, 2, 1, 0, 0.8, 1}), {400, 300}, 0.2);
        row("mirror, line at the bottom", mirror(55, neutral, {0, 0, 1, 1, 1, 0.35, 0.5}), {300, 200}, 0.2);
        row("mirror, line at the top", mirror(55, neutral, {1, 0, 1, 1, 1, 0.35, 0.5}), {300, 200}, 0.2);
        row("mirror, toned, fractional", mirror(30, {0.02, 1, 0.9}, {0.52, 0.05, 1, 2, 0.7, 0.5, 0.3}), {300, 168.75}, 0.2);
        row("mirror, odd size, straight sharp seam", mirror(55, neutral, {0.52, 0, 1, 1, 1, 0.35, 0}), {97, 61}, 0.2);
        row("mirror without source", {.style = Mirror}, {64, 64}, 0);
        // clang-format on
    }

    void matchesReference()
    {
        FETCH((Look, look), (QSizeF, size), (double, engine), (bool, deep));
        const std::optional<Bitmap> source = look.source;
        // 16-bit rows take a 16-bit source too, so both decoding paths meet the reference.
        if (deep && source)
            look.source =
                Bitmap::fromImage(source->toImage().convertToFormat(QImage::Format_RGBA64));
        const auto out = RenderPipeline::renderLook(look, size, deep);
        QCOMPARE(bool(out), source || look.style == WallpaperStyle::Flow);
        if (!out)
            return;
        Reference::LinearImage expected;
        if (look.style == WallpaperStyle::Flow)
            expected = Reference::flowWallpaper(size, look.flowSettings());
        else if (look.style == WallpaperStyle::Blur)
            expected = Reference::blurWallpaper(*source, size, look.settings());
        else if (const auto base = BlurProcessor::render(*source, size, look.settings(), true))
            expected = Reference::mirrorWallpaper(Reference::linearize(*base),
                                                  look.mirrorSettings(), size);
        // The engine works in float and encodes with a fast curve: `engine` LSB of its own, plus
        // up to half a step of rounding when the output has 8 bits.
        const auto d = Reference::compare(*out, expected);
        const double rounding = deep ? 0 : 0.5;
        QVERIFY2(d.max <= engine + rounding && d.mean <= 0.05 + rounding / 2,
                 qPrintable(QStringLiteral("max %1, mean %2 LSB").arg(d.max).arg(d.mean)));
        if (deep)
            return;
        // Grain only for a positive dither, the same each time, unbiased off the clipped ends.
        const auto render = [&](double dither, bool deepColor = false) {
            look.dither = dither;
            const Bitmap b = RenderPipeline::renderLook(look, size, deepColor).value_or(Bitmap());
            return QByteArray(reinterpret_cast<const char *>(b.constBits()),
                              qsizetype(b.bytesPerLine() * b.height()));
        };
        const QByteArray plain = render(0), grain = render(0.1), exact = render(0, true);
        QCOMPARE(render(-0.5), plain);
        QCOMPARE(render(0.1), grain);
        const auto *fine = reinterpret_cast<const uint16_t *>(exact.constData());
        double shift = 0, changed = 0, n = 0;
        for (qsizetype i = 0; i < plain.size(); ++i)
            if (const double e = fine[i] / 257.0; i % 4 != 3 && e > 1 && e < 254) {
                shift += uchar(grain[i]) - e;
                changed += grain[i] != plain[i];
                ++n;
            }
        QVERIFY2(std::abs(shift / n) < 0.05 && changed / n > 0.1,
                 qPrintable(u"shift %1, changed %2"_s.arg(shift / n).arg(changed / n)));
    }

    // The dark look a new user gets (the light one in the dark tone) must still show the
    // photo: darker, its shadows still drawn rather than one black, and its colours' hue kept.
    // A gradient from black stands for every photo's shadows: the darkening may not end it in
    // a flat band. Its colours are the reference's (matchesReference).
    void darkLookKeepsThePhoto_data()
    {
        addColumns<QString, WallpaperStyle>({"photo", "style"});
        for (const char *name : {"path", "bythewater", "fallenleaf", "colorfulcups", "gradient"})
            for (const WallpaperStyle style : {WallpaperStyle::Blur, WallpaperStyle::Mirror})
                QTest::addRow("%s, %s", name, style == WallpaperStyle::Blur ? "blur" : "mirror")
                    << QString::fromLatin1(name) << style;
    }

    void darkLookKeepsThePhoto()
    {
        FETCH((QString, photo), (WallpaperStyle, style));
        QImage ramp(1280, 800, QImage::Format_RGBA8888);
        for (int x = 0; x < ramp.width(); ++x) // black to a dim grey-blue, left to right
            for (int y = 0; y < ramp.height(); ++y)
                ramp.setPixel(x, y, qRgb(x * 90 / 1279, x * 100 / 1279, x * 130 / 1279));
        Look look{.source = photo == "gradient"_L1 ? Bitmap::fromImage(ramp)
                                                   : ::photo(qPrintable(photo), 1280, 800),
                  .style = style,
                  .blur = photo == "gradient"_L1 ? 0.0 : 55.0};
        struct Seen
        {
            double grey = 0, black = 0, a = 0, b = 0; // a, b: the mean colour's opponent axes
            std::vector<double> row;                  // the middle row's luma, left to right
        };
        const auto seen = [&](Appearance appearance) {
            look.setTone(Tone::defaultFor(appearance));
            const Bitmap b = RenderPipeline::renderLook(look, {480, 300}, false).value_or(Bitmap());
            Seen s;
            for (int y = 0; y < b.height(); ++y)
                for (int x = 0; x < b.width(); ++x) {
                    const auto v = [&](int c) { return Reference::channel(b, x, y, c); };
                    const double luma = 0.2126 * v(0) + 0.7152 * v(1) + 0.0722 * v(2);
                    s.grey += luma;
                    s.black += std::max({v(0), v(1), v(2)}) < 0.02;
                    s.a += v(0) - (v(1) + v(2)) / 2;
                    s.b += (v(1) - v(2)) * std::sqrt(3.0) / 2;
                    if (y == b.height() / 2)
                        s.row.push_back(luma);
                }
            const double n = double(b.width()) * b.height(); // none: NaN, which fails below
            s.grey /= n, s.black /= n, s.a /= n, s.b /= n;
            return s;
        };
        const Seen light = seen(Appearance::Light), dark = seen(Appearance::Dark);
        const double ratio = dark.grey / light.grey;
        const double turn = std::abs(
            std::remainder(std::atan2(dark.b, dark.a) - std::atan2(light.b, light.a), 2 * M_PI));
        const bool grey = std::hypot(light.a, light.b) < 0.02; // no hue to keep
        // A photo that is dark already may lose its deepest shadows, but stays a picture.
        const bool kept = light.grey >= 0.25 ? ratio >= 0.45 && ratio <= 0.9 && dark.black <= 0.05
                                             : ratio < 1 && ratio >= 0.1 && dark.black <= 0.4;
        QVERIFY2(kept && (grey || turn < 15 * M_PI / 180),
                 qPrintable(QString::asprintf("grey %.3f → %.3f, black %.1f %%, hue turned %.1f°",
                                              light.grey, dark.grey, dark.black * 100,
                                              turn * 180 / M_PI)));
        // Wherever the light picture rises, the dark one rises too: no run of equal blacks.
        const auto firstRise = [](const std::vector<double> &row) {
            const auto it = std::adjacent_find(row.begin(), row.end(), std::less<>());
            return double(it - row.begin()) / double(row.size());
        };
        if (photo == "gradient"_L1)
            QVERIFY2(firstRise(dark.row) <= firstRise(light.row) + 0.02,
                     qPrintable(QString::asprintf("light rises at %.3f, dark at %.3f",
                                                  firstRise(light.row), firstRise(dark.row))));
    }

    // The linear → sRGB encoding of whatever kernel level this build runs, on a dense sweep or
    // on runs of one colour: within a tenth of a step of the exact curve, on top of the rounding.
    // Reusing the encoding of a run gives the bits of encoding every pixel, whatever the run's
    // length, where it starts, and with or without dither.
    void encodes_data()
    {
        // from: NaN for runs of 1 to 12 pixels, some the colour of two runs before (a vector can
        // end on a colour the next one repeats)
        addColumns<double, double, bool, float>({"from", "to", "logarithmic", "dither"});
        QTest::newRow("toe and its edge") << 0.0 << 0.01 << false << 0.f;
        QTest::newRow("shadows, every binade") << std::exp2(-12) << 0.01 << true << 0.f;
        QTest::newRow("clamped") << -0.5 << 1.5 << false << 0.f;
        QTest::newRow("runs") << qQNaN() << 0.0 << false << 0.f;
        QTest::newRow("runs, dithered") << qQNaN() << 0.0 << false << 0.1f * Kernels::kDitherScale;
    }

    void encodes()
    {
        FETCH((double, from, to), (bool, logarithmic), (float, dither));
        const int n = 400'003; // not a multiple of any vector width: the tail is covered too
        std::vector<float> r(n), g(n), b(n);
        uint32_t seed = 7;
        const auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
        std::array<float, 3> now{0.5f, 0.25f, 0.75f}, before{0.1f, 0.2f, 0.3f};
        for (int i = 0; i < n && std::isnan(from);) {
            const bool again = next() % 3 == 0;
            std::array<float, 3> colour = again ? before : now;
            if (!again)
                colour[next() % 3] = float(next() % 1000) / 999;
            before = std::exchange(now, colour);
            for (int k = 1 + int(next() % 12); k > 0 && i < n; --k, ++i)
                std::tie(r[i], g[i], b[i]) = std::tuple(colour[0], colour[1], colour[2]);
        }
        for (int i = 0; i < n && !std::isnan(from); ++i)
            r[i] = g[i] = b[i] = float(logarithmic ? from * std::pow(to / from, double(i) / (n - 1))
                                                   : from + (to - from) * i / (n - 1));
        std::vector<uint16_t> deep(std::size_t(n) * 4), deepRuns(deep.size());
        std::vector<uint8_t> flat(std::size_t(n) * 4), flatRuns(flat.size());
        for (const int x0 : {0, 5}) {
            Kernels::encodeRow16(r.data(), g.data(), b.data(), n, x0, 3, dither, deep.data());
            Kernels::encodeRow16(r.data(), g.data(), b.data(), n, x0, 3, dither, deepRuns.data(),
                                 true);
            Kernels::encodeRow8(r.data(), g.data(), b.data(), n, x0, 3, dither, flat.data());
            Kernels::encodeRow8(r.data(), g.data(), b.data(), n, x0, 3, dither, flatRuns.data(),
                                true);
            QVERIFY(deep == deepRuns);
            QVERIFY(flat == flatRuns);
        }
        double worst = 0, worst8 = 0;
        for (int i = 0; i < n * 3 && dither == 0; ++i) {
            const float x = std::array{r[i / 3], g[i / 3], b[i / 3]}[i % 3];
            const double exact = linearToSrgb(std::clamp(double(x), 0.0, 1.0));
            worst = std::max(worst, std::abs(deep[i / 3 * 4 + i % 3] - exact * 65535));
            worst8 = std::max(worst8, std::abs(flat[i / 3 * 4 + i % 3] - exact * 255));
        }
        QVERIFY2(worst <= 0.6 && worst8 <= 0.51,
                 qPrintable(u"16 bit %1, 8 bit %2 steps"_s.arg(worst).arg(worst8)));
    }

    // Numbers beyond the bounds reach the renderers in a copied or restored look without any
    // parsing: they render like the nearest bound, NaN like the neutral value, and never crash
    // or stall (a blur of 1e12 overflowed the shrink's sizes, 1e9 summed for minutes).
    void wildValues_data()
    {
        using enum WallpaperStyle;
        addColumns<Look, Look>({"wild", "bound"});
        const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
        const Bitmap path = photo("path", 160, 100);
        // clang-format off
        QTest::newRow("blur 1e12") << Look{.source = path, .blur = 1e12} << Look{.source = path, .blur = 1000};
        QTest::newRow("blur NaN") << Look{.source = path, .blur = nan} << Look{.source = path, .blur = 0};
        QTest::newRow("tone") << Look{.source = path, .brightness = -inf, .saturation = nan, .contrast = 1e300, .dither = inf} << Look{.source = path, .brightness = -10, .saturation = 1, .contrast = 10, .dither = 10};
        QTest::newRow("flow") << Look{.style = Flow, .flowAmplitude = 1e30, .flowFrequency = -inf, .flowSharpness = nan, .flowEdgeSoftness = -1e300, .flowPhase = inf} << Look{.style = Flow, .flowAmplitude = 10, .flowFrequency = -100, .flowSharpness = 1, .flowEdgeSoftness = -10, .flowPhase = 1000};
        QTest::newRow("mirror") << Look{.source = path, .style = Mirror, .blur = 1e9, .mirrorLine = nan, .mirrorAmplitude = -1e38, .mirrorFrequency = inf, .mirrorPhase = -inf, .mirrorHardness = -1e300, .mirrorDepth = 1e300, .mirrorSideFade = inf} << Look{.source = path, .style = Mirror, .blur = 1000, .mirrorLine = 0.5, .mirrorAmplitude = -10, .mirrorFrequency = 100, .mirrorPhase = -1000, .mirrorHardness = -10, .mirrorDepth = 10, .mirrorSideFade = 10};
        // clang-format on
    }

    void wildValues()
    {
        FETCH((Look, wild, bound));
        const auto wildOut = RenderPipeline::renderLook(wild, QSizeF(96, 60), false);
        const auto boundOut = RenderPipeline::renderLook(bound, QSizeF(96, 60), false);
        QVERIFY(wildOut && boundOut);
        QCOMPARE(wildOut->toImage(), boundOut->toImage());
    }

    // At every source size the aspect fill leaves the mirror an input that starts exactly at the
    // origin; an ulp off there, the fold was dropped (672 of 81907 sources at 20000 × 10000).
    void mirrorAtEverySize()
    {
        for (const QSize target : {QSize(20000, 10000), QSize(16384, 6103), QSize(7680, 4320)})
            for (int w = 1000; w < 3000; w += 9)
                for (int h = 600; h < 2000; h += 13) {
                    const Bitmap source(PixelBuffer::allocate(w, h, PixelFormat::Rgba8));
                    const auto base = BlurProcessor::processedImage(source, target, {});
                    QVERIFY(base);
                    const Image folded = MirrorProcessor::apply(*base, target, {});
                    QVERIFY2(folded.recipe()->mirror, qPrintable(QString::asprintf("%dx%d", w, h)));
                }
    }

    // Sizes no bitmap can have end as no picture on every path, instead of a crash.
    void sizeGuards_data()
    {
        // expected: empty: no picture
        addColumns<QSizeF, QSize>({"size", "expected"});
        QTest::newRow("half a pixel wide") << QSizeF(0.5, 1000) << QSize();
        QTest::newRow("NaN width") << QSizeF(std::nan(""), 100) << QSize();
        QTest::newRow("infinite") << QSizeF(std::numeric_limits<double>::infinity(), 9) << QSize();
        QTest::newRow("one pixel") << QSizeF(1, 1) << QSize(1, 1);
        QTest::newRow("fraction rounds out") << QSizeF(1800, 1012.5) << QSize(1800, 1013);
        QTest::newRow("widest side") << QSizeF(65535, 2) << QSize(65535, 2);
        QTest::newRow("one past the widest") << QSizeF(65536, 2) << QSize();
        QTest::newRow("sides fit, too many pixels") << QSizeF(20000, 20000) << QSize();
        QTest::newRow("wider than an int") << QSizeF(3e9, 100) << QSize();
    }

    void sizeGuards()
    {
        FETCH((QSizeF, size), (QSize, expected));
        Look look{.source = photo("path", 160, 100)};
        const auto sizeOf = [](const std::optional<Bitmap> &b) { return b ? b->size() : QSize(); };
        for (const WallpaperStyle style : allCases<WallpaperStyle>())
            for (const bool deep : {false, true}) {
                look.style = style;
                QCOMPARE(sizeOf(RenderPipeline::renderLook(look, size, deep)), expected);
            }
    }

    // What the output paths get, with the German text the alert shows when it fails.
    void renderFull_data()
    {
        using enum WallpaperStyle;
        addColumns<Look, PixelSize, QString>({"look", "size", "error"});
        const QString failed = u"Das Wallpaper konnte nicht gerendert werden."_s;
        const PixelSize small{64, 40}, huge{INT64_MAX, INT64_MAX};
        // clang-format off
        QTest::newRow("flow without source") << Look{.style = Flow} << small << QString();
        QTest::newRow("blur, empty picture") << Look{.source = Bitmap()} << small << failed;
        // Without a source the missing picture is the reason, whatever the size.
        QTest::newRow("blur without source, huge") << Look{} << huge << u"Kein Quellbild ausgewählt."_s;
        // clang-format on
    }

    void renderFull()
    {
        FETCH((Look, look), (PixelSize, size), (QString, error));
        const RenderPipeline::FullRender result = RenderPipeline::renderFull(look, size);
        QCOMPARE(std::holds_alternative<ExportError>(result)
                     ? description(std::get<ExportError>(result))
                     : QString(),
                 error);
        if (const Bitmap *bitmap = std::get_if<Bitmap>(&result)) {
            QCOMPARE(bitmap->size(), QSize(int(size.width), int(size.height)));
            QVERIFY2(bitmap->isDeep(), "output is rendered with 16 bits per channel");
        }
    }

    // The pictures between night and day: the ends are the renders themselves, the mix is one in
    // linear light, and a low sun warms it.
    void dayBlend_data()
    {
        // colour: of the one pixel asked for, 8-bit steps; empty: no picture
        addColumns<Bitmap, Bitmap, double, double, bool, QColor>(
            {"night", "day", "daylight", "warmth", "deep", "colour"});
        const Bitmap black = Reference::solid(8, 4, 0, 0, 0),
                     white = Reference::solid(8, 4, 255, 255, 255);
        const Bitmap grey = Reference::solid(8, 4, 128, 128, 128);
        const auto deep = [](const Bitmap &b) {
            return Bitmap::fromImage(b.toImage().convertToFormat(QImage::Format_RGBA64));
        };
        // clang-format off
        // Half of black and white is 0.5 in linear light: 188 in sRGB, not 128.
        QTest::newRow("halfway, 8 bit") << black << white << 0.5 << 0.0 << false << QColor(188, 188, 188);
        QTest::newRow("halfway, 16 bit") << deep(black) << deep(white) << 0.5 << 0.0 << true << QColor(188, 188, 188);
        QTest::newRow("a quarter of the day") << black << white << 0.25 << 0.0 << false << QColor(137, 137, 137);
        // The sun at the horizon over a grey sky: red up, blue down, green nearly as it was.
        QTest::newRow("warm") << grey << grey << 0.5 << 1.0 << false << QColor(136, 129, 113);
        QTest::newRow("warmth beyond 1 is 1") << grey << grey << 0.5 << 7.0 << false << QColor(136, 129, 113);
        QTest::newRow("daylight NaN is night") << black << white << std::nan("") << 1.0 << false << QColor(0, 0, 0);
        QTest::newRow("sizes differ") << black << Reference::solid(4, 8, 0, 0, 0) << 0.5 << 0.0 << false << QColor();
        QTest::newRow("depths differ") << black << deep(white) << 0.5 << 0.0 << false << QColor();
        QTest::newRow("no day") << black << Bitmap() << 0.5 << 0.0 << false << QColor();
        // clang-format on
    }

    void dayBlend()
    {
        FETCH((Bitmap, night, day), (double, daylight, warmth), (bool, deep), (QColor, colour));
        const Bitmap mixed = DayBlend::blend(night, day, daylight, warmth, 0);
        QCOMPARE(mixed.isNull(), !colour.isValid());
        if (mixed.isNull())
            return;
        QCOMPARE(mixed.size(), night.size());
        QCOMPARE(mixed.isDeep(), deep);
        const auto step = [&](int c) { return qRound(Reference::channel(mixed, 5, 3, c) * 255); };
        QCOMPARE(QColor(step(0), step(1), step(2)), colour);
    }

    // From deep night to noon the pictures of a photo's looks only brighten, whatever the style;
    // night and full day are the pair's own renders, bit for bit.
    void dayCycleBrightens_data()
    {
        QTest::addColumn<WallpaperStyle>("style");
        for (const WallpaperStyle style : allCases<WallpaperStyle>())
            QTest::newRow(qPrintable(rawValue(style))) << style;
    }

    void dayCycleBrightens()
    {
        QFETCH(WallpaperStyle, style);
        Look light{.source = photo("bythewater", 320, 200), .style = style};
        Look dark = light;
        dark.setTone(Tone::defaultFor(Appearance::Dark));
        dark.setFlowColors({QColor(20, 40, 70), QColor(10, 20, 40), QColor(40, 30, 60)});
        const auto render = [](const Look &look) {
            return RenderPipeline::renderLook(look, {160, 100}, false).value_or(Bitmap());
        };
        const Bitmap day = render(light), night = render(dark);
        const auto meanGrey = [](const Bitmap &b) {
            double sum = 0;
            for (int y = 0; y < b.height(); ++y)
                for (int x = 0; x < b.width(); ++x)
                    for (int c = 0; c < 3; ++c)
                        sum += srgbToLinear(Reference::channel(b, x, y, c)) *
                               std::array{0.2126, 0.7152, 0.0722}[c];
            return sum / (double(b.width()) * b.height());
        };
        QVERIFY(meanGrey(day) > 1.5 * meanGrey(night));
        double before = -1;
        for (double altitude = -18; altitude <= 60; altitude += 0.5) {
            const Bitmap picture = DayBlend::blend(night, day, DayBlend::daylight(altitude),
                                                   DayBlend::warmth(altitude));
            if (altitude <= -6 || altitude >= 10)
                QCOMPARE(picture.toImage(), (altitude <= -6 ? night : day).toImage());
            const double grey = meanGrey(picture);
            QVERIFY2(grey >= before,
                     qPrintable(u"%1° %2 after %3"_s.arg(altitude).arg(grey).arg(before)));
            before = grey;
        }
    }
};

QTEST_GUILESS_MAIN(TestRender)
#include "tst_render.moc"
