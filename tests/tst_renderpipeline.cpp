#include "model/renderpipeline.h"
#include "support/testdata.h"

#include <QImage>
#include <QTest>

#include <cmath>
#include <limits>

using RenderPipeline::PixelSize;

namespace {

constexpr qint64 int64Max = std::numeric_limits<qint64>::max();
constexpr qint64 int64Min = std::numeric_limits<qint64>::min();

Bitmap solidBitmap(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_RGBA8888);
    image.fill(color);
    return Bitmap::fromImage(image);
}

Bitmap photo()
{
    static const Bitmap bitmap =
        Bitmap::fromImage(QImage(TestData::photo(QStringLiteral("photo-path-2560x1600.jpg"))));
    return bitmap;
}

// Dither off, neutral tone: what comes out is the source's colour or the flow colours.
Look plainLook(WallpaperStyle style, std::optional<Bitmap> source)
{
    Look look;
    look.style = style;
    look.source = std::move(source);
    look.dither = 0;
    look.setTone({0, 1, 1});
    return look;
}

QImage rgba8(const Bitmap &bitmap)
{
    return bitmap.toImage().convertToFormat(QImage::Format_RGBA8888);
}

// Mean absolute difference of the colour channels over a band of rows, in 8-bit levels.
double meanDifference(const QImage &a, const QImage &b, int firstRow, int rowCount)
{
    double sum = 0;
    for (int y = firstRow; y < firstRow + rowCount; ++y) {
        const uchar *pa = a.constScanLine(y);
        const uchar *pb = b.constScanLine(y);
        for (int x = 0; x < a.width(); ++x) {
            for (int c = 0; c < 3; ++c)
                sum += std::abs(int(pa[4 * x + c]) - int(pb[4 * x + c]));
        }
    }
    return sum / (double(rowCount) * a.width() * 3);
}

double meanLevel(const QImage &image, int row)
{
    double sum = 0;
    const uchar *p = image.constScanLine(row);
    for (int x = 0; x < image.width(); ++x)
        sum += p[4 * x] + p[4 * x + 1] + p[4 * x + 2];
    return sum / (image.width() * 3.0);
}

} // namespace

namespace QTest {
template <> char *toString(const PixelSize &size)
{
    return qstrdup(QByteArray::number(size.width) + " x " + QByteArray::number(size.height));
}
} // namespace QTest

class TestRenderPipeline : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void renderCGDispatch_data();
    void renderCGDispatch();
    void flowUsesLookColors_data();
    void flowUsesLookColors();
    void blurUsesLookTone_data();
    void blurUsesLookTone();
    void mirrorFoldsBelowSeam_data();
    void mirrorFoldsBelowSeam();
    void mirrorMatchesBlurAboveSeam();
    void ditherReachesRenderer_data();
    void ditherReachesRenderer();
    void unrenderableSizes_data();
    void unrenderableSizes();

    void renderFull_data();
    void renderFull();

    void pixelSize_data();
    void pixelSize();
    void pixelSizeLabel_data();
    void pixelSizeLabel();
    void hugePixelSizeLabel_data();
    void hugePixelSizeLabel();
    void previewSize_data();
    void previewSize();
    void presetPreviewRenders_data();
    void presetPreviewRenders();
};

void TestRenderPipeline::initTestCase()
{
    QVERIFY2(!photo().isNull(), qPrintable(TestData::dir()));
}

void TestRenderPipeline::renderCGDispatch_data()
{
    QTest::addColumn<WallpaperStyle>("style");
    QTest::addColumn<bool>("withSource");
    QTest::addColumn<bool>("deep");
    QTest::addColumn<bool>("renders");
    for (const bool deep : {false, true}) {
        const char *depth = deep ? "deep" : "8 bit";
        QTest::addRow("blur, no source, %s", depth)
            << WallpaperStyle::Blur << false << deep << false;
        QTest::addRow("mirror, no source, %s", depth)
            << WallpaperStyle::Mirror << false << deep << false;
        QTest::addRow("flow, no source, %s", depth)
            << WallpaperStyle::Flow << false << deep << true;
        QTest::addRow("blur, source, %s", depth) << WallpaperStyle::Blur << true << deep << true;
        QTest::addRow("mirror, source, %s", depth)
            << WallpaperStyle::Mirror << true << deep << true;
        QTest::addRow("flow, source, %s", depth) << WallpaperStyle::Flow << true << deep << true;
    }
}

void TestRenderPipeline::renderCGDispatch()
{
    QFETCH(WallpaperStyle, style);
    QFETCH(bool, withSource);
    QFETCH(bool, deep);
    QFETCH(bool, renders);
    Look look;
    look.style = style;
    if (withSource)
        look.source = solidBitmap(120, 80, QColor(90, 140, 200));
    const std::optional<Bitmap> bitmap = RenderPipeline::renderCG(look, QSizeF(96, 64), deep);
    QCOMPARE(bitmap.has_value(), renders);
    if (!bitmap)
        return;
    QVERIFY(!bitmap->isNull());
    QCOMPARE(bitmap->size(), QSize(96, 64));
    QCOMPARE(bitmap->isDeep(), deep);
}

// The colours go through asCIColor: a translucent colour paints opaque, with its own components.
void TestRenderPipeline::flowUsesLookColors_data()
{
    QTest::addColumn<QColor>("color");
    QTest::addColumn<qint64>("bands");
    QTest::newRow("three bands") << QColor(40, 160, 90) << qint64(3);
    QTest::newRow("two bands") << QColor(200, 30, 120) << qint64(2);
    QTest::newRow("translucent") << QColor(30, 90, 220, 60) << qint64(3);
}

void TestRenderPipeline::flowUsesLookColors()
{
    QFETCH(QColor, color);
    QFETCH(qint64, bands);
    Look look = plainLook(WallpaperStyle::Flow, std::nullopt);
    look.flowColor0 = look.flowColor1 = look.flowColor2 = color;
    look.flowBands = bands;
    const std::optional<Bitmap> bitmap = RenderPipeline::renderCG(look, QSizeF(64, 48), false);
    QVERIFY(bitmap);
    const QImage image = bitmap->toImage();
    for (const QPoint point : {QPoint(0, 0), QPoint(31, 24), QPoint(63, 47), QPoint(10, 40)}) {
        const QColor pixel = image.pixelColor(point);
        QVERIFY2(std::abs(pixel.red() - color.red()) <= 1 &&
                     std::abs(pixel.green() - color.green()) <= 1 &&
                     std::abs(pixel.blue() - color.blue()) <= 1,
                 qPrintable(pixel.name()));
        QCOMPARE(pixel.alpha(), 255);
    }
}

void TestRenderPipeline::blurUsesLookTone_data()
{
    QTest::addColumn<double>("brightness");
    QTest::addColumn<int>("minLevel");
    QTest::addColumn<int>("maxLevel");
    QTest::newRow("neutral") << 0.0 << 126 << 130;
    QTest::newRow("brighter") << 0.2 << 140 << 255;
    QTest::newRow("darker") << -0.2 << 0 << 115;
}

void TestRenderPipeline::blurUsesLookTone()
{
    QFETCH(double, brightness);
    QFETCH(int, minLevel);
    QFETCH(int, maxLevel);
    Look look = plainLook(WallpaperStyle::Blur, solidBitmap(80, 60, QColor(128, 128, 128)));
    look.brightness = brightness;
    const std::optional<Bitmap> bitmap = RenderPipeline::renderCG(look, QSizeF(40, 30), false);
    QVERIFY(bitmap);
    const QImage image = rgba8(*bitmap);
    for (const int row : {0, 15, 29}) {
        const double level = meanLevel(image, row);
        QVERIFY2(level >= minLevel && level <= maxLevel, QByteArray::number(level));
    }
}

// A uniform source shows the fold as a darker band at the bottom; the blur style and a mirror
// without depth keep the picture uniform.
void TestRenderPipeline::mirrorFoldsBelowSeam_data()
{
    QTest::addColumn<WallpaperStyle>("style");
    QTest::addColumn<double>("depth");
    QTest::addColumn<bool>("darkerBottom");
    QTest::newRow("mirror") << WallpaperStyle::Mirror << 0.35 << true;
    QTest::newRow("mirror, deepest") << WallpaperStyle::Mirror << 1.0 << true;
    QTest::newRow("mirror, no depth") << WallpaperStyle::Mirror << 0.0 << false;
    QTest::newRow("blur") << WallpaperStyle::Blur << 0.35 << false;
}

void TestRenderPipeline::mirrorFoldsBelowSeam()
{
    QFETCH(WallpaperStyle, style);
    QFETCH(double, depth);
    QFETCH(bool, darkerBottom);
    Look look = plainLook(style, solidBitmap(90, 60, QColor(150, 150, 150)));
    look.mirrorDepth = depth;
    const std::optional<Bitmap> bitmap = RenderPipeline::renderCG(look, QSizeF(90, 60), false);
    QVERIFY(bitmap);
    const QImage image = rgba8(*bitmap);
    const double top = meanLevel(image, 0);
    const double bottom = meanLevel(image, image.height() - 1);
    QVERIFY2(std::abs(top - 150) <= 2, QByteArray::number(top));
    if (darkerBottom)
        QVERIFY2(bottom < top - 8, QByteArray::number(bottom));
    else
        QVERIFY2(std::abs(bottom - top) <= 2, QByteArray::number(bottom));
}

// Mirror and blur share the base picture: above the seam they are the same photo, below it the
// mirror shows the folded copy.
void TestRenderPipeline::mirrorMatchesBlurAboveSeam()
{
    Look blur = plainLook(WallpaperStyle::Blur, photo());
    blur.blur = 10;
    Look mirror = blur;
    mirror.style = WallpaperStyle::Mirror;
    mirror.mirrorDepth = 1.0;
    const QSizeF size(320, 200);
    const std::optional<Bitmap> blurred = RenderPipeline::renderCG(blur, size, false);
    const std::optional<Bitmap> mirrored = RenderPipeline::renderCG(mirror, size, false);
    QVERIFY(blurred);
    QVERIFY(mirrored);
    const QImage a = rgba8(*blurred);
    const QImage b = rgba8(*mirrored);
    // The seam lies at 0.52 ± 0.05 of the height from the bottom, softened by the side fade.
    const double above = meanDifference(a, b, 0, 50);
    const double below = meanDifference(a, b, 170, 30);
    QVERIFY2(above <= 1.0, QByteArray::number(above));
    QVERIFY2(below >= 6.0, QByteArray::number(below));
}

// The same look renders the same picture without grain; the dither of the look, also the one
// the mirror style hands over separately, changes it.
void TestRenderPipeline::ditherReachesRenderer_data()
{
    QTest::addColumn<WallpaperStyle>("style");
    QTest::newRow("blur") << WallpaperStyle::Blur;
    QTest::newRow("flow") << WallpaperStyle::Flow;
    QTest::newRow("mirror") << WallpaperStyle::Mirror;
}

void TestRenderPipeline::ditherReachesRenderer()
{
    QFETCH(WallpaperStyle, style);
    const Look smooth = plainLook(style, solidBitmap(64, 64, QColor(120, 100, 80)));
    Look grainy = smooth;
    grainy.dither = 1.0;
    const QSizeF size(64, 64);
    const std::optional<Bitmap> first = RenderPipeline::renderCG(smooth, size, false);
    const std::optional<Bitmap> second = RenderPipeline::renderCG(smooth, size, false);
    const std::optional<Bitmap> dithered = RenderPipeline::renderCG(grainy, size, false);
    QVERIFY(first && second && dithered);
    QCOMPARE(meanDifference(rgba8(*first), rgba8(*second), 0, 64), 0.0);
    QVERIFY(meanDifference(rgba8(*first), rgba8(*dithered), 0, 64) > 0.0);
}

// Sizes no bitmap can have end as no picture, for every style, instead of a crash.
void TestRenderPipeline::unrenderableSizes_data()
{
    QTest::addColumn<QSizeF>("size");
    const double huge = double(int64Max);
    QTest::newRow("largest 64-bit sides") << QSizeF(huge, huge);
    QTest::newRow("wider than an int") << QSizeF(3e9, 100);
    QTest::newRow("taller than an int") << QSizeF(100, 3e9);
    QTest::newRow("sides fit, pixel count does not") << QSizeF(2e9, 2e9);
    QTest::newRow("infinite") << QSizeF(std::numeric_limits<double>::infinity(), 100);
    QTest::newRow("not a number") << QSizeF(std::nan(""), 100);
    QTest::newRow("zero") << QSizeF(0, 0);
    QTest::newRow("negative") << QSizeF(-64, 64);
}

void TestRenderPipeline::unrenderableSizes()
{
    QFETCH(QSizeF, size);
    for (const WallpaperStyle style : allCases<WallpaperStyle>()) {
        Look look;
        look.style = style;
        look.source = solidBitmap(32, 32, Qt::gray);
        QVERIFY2(!RenderPipeline::renderCG(look, size, false), qPrintable(rawValue(style)));
        QVERIFY2(!RenderPipeline::renderCG(look, size, true), qPrintable(rawValue(style)));
    }
}

void TestRenderPipeline::renderFull_data()
{
    QTest::addColumn<Look>("look");
    QTest::addColumn<PixelSize>("size");
    QTest::addColumn<std::optional<ExportError>>("error");
    using Error = std::optional<ExportError>;
    const Bitmap source = solidBitmap(100, 80, QColor(200, 120, 40));
    const auto look = [](WallpaperStyle style, std::optional<Bitmap> bitmap) {
        Look result;
        result.style = style;
        result.source = std::move(bitmap);
        return result;
    };
    QTest::newRow("flow without source")
        << look(WallpaperStyle::Flow, std::nullopt) << PixelSize{64, 40} << Error();
    QTest::newRow("blur without source") << look(WallpaperStyle::Blur, std::nullopt)
                                         << PixelSize{64, 40} << Error(ExportError::NoSource);
    QTest::newRow("mirror without source") << look(WallpaperStyle::Mirror, std::nullopt)
                                           << PixelSize{64, 40} << Error(ExportError::NoSource);
    QTest::newRow("blur") << look(WallpaperStyle::Blur, source) << PixelSize{64, 40} << Error();
    QTest::newRow("mirror") << look(WallpaperStyle::Mirror, source) << PixelSize{40, 64} << Error();
    QTest::newRow("blur, photo, Full HD")
        << look(WallpaperStyle::Blur, photo()) << PixelSize{1920, 1080} << Error();
    // A picture without pixels: the blur base fails, so there is a source but no render.
    QTest::newRow("blur, empty picture") << look(WallpaperStyle::Blur, Bitmap())
                                         << PixelSize{64, 40} << Error(ExportError::RenderFailed);
    QTest::newRow("mirror, empty picture") << look(WallpaperStyle::Mirror, Bitmap())
                                           << PixelSize{64, 40} << Error(ExportError::RenderFailed);
    QTest::newRow("flow, largest custom size")
        << look(WallpaperStyle::Flow, std::nullopt) << PixelSize{int64Max, int64Max}
        << Error(ExportError::RenderFailed);
    QTest::newRow("flow, 2e9 x 2e9")
        << look(WallpaperStyle::Flow, std::nullopt) << PixelSize{2'000'000'000, 2'000'000'000}
        << Error(ExportError::RenderFailed);
    QTest::newRow("mirror, 3e9 x 1")
        << look(WallpaperStyle::Mirror, source) << PixelSize{3'000'000'000, 1}
        << Error(ExportError::RenderFailed);
    // Without a source the missing picture is the reason, whatever the size.
    QTest::newRow("blur without source, huge")
        << look(WallpaperStyle::Blur, std::nullopt) << PixelSize{int64Max, int64Max}
        << Error(ExportError::NoSource);
}

void TestRenderPipeline::renderFull()
{
    QFETCH(Look, look);
    QFETCH(PixelSize, size);
    QFETCH(std::optional<ExportError>, error);
    const RenderPipeline::FullRender result = RenderPipeline::renderFull(look, size);
    if (error) {
        QVERIFY(std::holds_alternative<ExportError>(result));
        QCOMPARE(std::get<ExportError>(result), *error);
        return;
    }
    QVERIFY(std::holds_alternative<Bitmap>(result));
    const Bitmap &bitmap = std::get<Bitmap>(result);
    QCOMPARE(qint64(bitmap.width()), size.width);
    QCOMPARE(qint64(bitmap.height()), size.height);
    QVERIFY2(bitmap.isDeep(), "full-size output is rendered with 16 bits per channel");
}

void TestRenderPipeline::pixelSize_data()
{
    QTest::addColumn<ResolutionPreset>("preset");
    QTest::addColumn<qint64>("customWidth");
    QTest::addColumn<qint64>("customHeight");
    QTest::addColumn<PixelSize>("expected");
    // The custom size is ignored unless the custom entry is chosen.
    for (const ResolutionPreset &preset : ResolutionPreset::all()) {
        if (!preset.isCustom())
            QTest::newRow(qPrintable(preset.name))
                << preset << qint64(800) << qint64(600) << PixelSize{preset.width, preset.height};
    }
    const ResolutionPreset custom = ResolutionPreset::all().constLast();
    QTest::newRow("custom") << custom << qint64(1800) << qint64(900) << PixelSize{1800, 900};
    QTest::newRow("custom 0 x -5") << custom << qint64(0) << qint64(-5) << PixelSize{1, 1};
    QTest::newRow("custom 1 x 1") << custom << qint64(1) << qint64(1) << PixelSize{1, 1};
    QTest::newRow("custom negative width")
        << custom << qint64(-1920) << qint64(1080) << PixelSize{1, 1080};
    QTest::newRow("custom smallest") << custom << int64Min << int64Min << PixelSize{1, 1};
    QTest::newRow("custom, no upper bound")
        << custom << int64Max << int64Max << PixelSize{int64Max, int64Max};
    // Only 0 × 0 is custom: a preset with one zero side is taken as it is.
    QTest::newRow("zero height, not custom") << ResolutionPreset{QStringLiteral("x"), 640, 0}
                                             << qint64(800) << qint64(600) << PixelSize{640, 0};
}

void TestRenderPipeline::pixelSize()
{
    QFETCH(ResolutionPreset, preset);
    QFETCH(qint64, customWidth);
    QFETCH(qint64, customHeight);
    QFETCH(PixelSize, expected);
    QCOMPARE(RenderPipeline::pixelSize(preset, customWidth, customHeight), expected);
}

void TestRenderPipeline::pixelSizeLabel_data()
{
    QTest::addColumn<PixelSize>("size");
    QTest::addColumn<QString>("label");
    const auto label = [](const char16_t *text) { return QString::fromUtf16(text); };
    QTest::newRow("Pro Display XDR")
        << PixelSize{6016, 3384} << label(u"6016 \u00d7 3384 px \u00b7 20.4 MP");
    QTest::newRow("Studio Display")
        << PixelSize{5120, 2880} << label(u"5120 \u00d7 2880 px \u00b7 14.7 MP");
    QTest::newRow("MacBook Pro 16")
        << PixelSize{3456, 2234} << label(u"3456 \u00d7 2234 px \u00b7 7.7 MP");
    QTest::newRow("Full HD") << PixelSize{1920, 1080}
                             << label(u"1920 \u00d7 1080 px \u00b7 2.1 MP");
    QTest::newRow("1 x 1") << PixelSize{1, 1} << label(u"1 \u00d7 1 px \u00b7 0.0 MP");
    // No digit grouping, however large.
    QTest::newRow("grouping") << PixelSize{100000, 20000}
                              << label(u"100000 \u00d7 20000 px \u00b7 2000.0 MP");
    // "%.1f" rounds the exact binary value, ties to even: 0.25 and 2.25 MP are exact ties,
    // 0.05 lies a little above its decimal, 0.15 a little below.
    QTest::newRow("tie 0.25") << PixelSize{500, 500} << label(u"500 \u00d7 500 px \u00b7 0.2 MP");
    QTest::newRow("tie 2.25") << PixelSize{1500, 1500}
                              << label(u"1500 \u00d7 1500 px \u00b7 2.2 MP");
    QTest::newRow("tie 0.75") << PixelSize{750, 1000} << label(u"750 \u00d7 1000 px \u00b7 0.8 MP");
    QTest::newRow("0.05") << PixelSize{50, 1000} << label(u"50 \u00d7 1000 px \u00b7 0.1 MP");
    QTest::newRow("0.15") << PixelSize{150, 1000} << label(u"150 \u00d7 1000 px \u00b7 0.1 MP");
    // The largest square whose pixel count still fits 64 bits is computed exactly.
    QTest::newRow("largest exact square")
        << PixelSize{3037000499, 3037000499}
        << label(u"3037000499 \u00d7 3037000499 px \u00b7 9223372030926.2 MP");
    // Within 64 bits the product is an exact integer: 2^53 + 1 pixels is not a double.
    QTest::newRow("beyond double precision")
        << PixelSize{9007199254740993, 1}
        << label(u"9007199254740993 \u00d7 1 px \u00b7 9007199254.7 MP");
}

void TestRenderPipeline::pixelSizeLabel()
{
    QFETCH(PixelSize, size);
    QFETCH(QString, label);
    QCOMPARE(RenderPipeline::pixelSizeLabel(size), label);
}

// Products beyond 64 bits are outside the data model; the label still shows both sides and a
// megapixel figure of the right magnitude.
void TestRenderPipeline::hugePixelSizeLabel_data()
{
    QTest::addColumn<PixelSize>("size");
    QTest::addColumn<double>("megapixels");
    QTest::newRow("just over 64 bits") << PixelSize{3037000500, 3037000500} << 9.22337203700025e12;
    QTest::newRow("largest x 2") << PixelSize{int64Max, 2} << 1.8446744073709552e13;
    QTest::newRow("largest squared") << PixelSize{int64Max, int64Max} << 8.507059173023462e31;
}

void TestRenderPipeline::hugePixelSizeLabel()
{
    QFETCH(PixelSize, size);
    QFETCH(double, megapixels);
    const QString label = RenderPipeline::pixelSizeLabel(size);
    const QString prefix = QString::number(size.width) + QString::fromUtf16(u" \u00d7 ") +
                           QString::number(size.height) + QString::fromUtf16(u" px \u00b7 ");
    QVERIFY2(label.startsWith(prefix), qPrintable(label));
    QVERIFY2(label.endsWith(QStringLiteral(" MP")), qPrintable(label));
    const QString figure = label.mid(prefix.size()).chopped(3);
    QVERIFY2(figure.contains(QLatin1Char('.')) && !figure.contains(QLatin1Char('-')),
             qPrintable(figure));
    bool ok = false;
    const double shown = figure.toDouble(&ok);
    QVERIFY(ok);
    QVERIFY2(std::abs(shown - megapixels) <= megapixels * 1e-9, qPrintable(figure));
}

void TestRenderPipeline::previewSize_data()
{
    QTest::addColumn<PixelSize>("size");
    QTest::addColumn<QSizeF>("expected");
    QTest::newRow("Pro Display XDR") << PixelSize{6016, 3384} << QSizeF(1800, 1012.5);
    QTest::newRow("4K UHD") << PixelSize{3840, 2160} << QSizeF(1800, 1012.5);
    QTest::newRow("Full HD") << PixelSize{1920, 1080} << QSizeF(1800, 1012.5);
    QTest::newRow("MacBook Air 13") << PixelSize{2560, 1664} << QSizeF(1800, 1170);
    QTest::newRow("1800 x 900 stays") << PixelSize{1800, 900} << QSizeF(1800, 900);
    QTest::newRow("1800 x 1800 stays") << PixelSize{1800, 1800} << QSizeF(1800, 1800);
    QTest::newRow("1801 x 100") << PixelSize{1801, 100} << QSizeF(1800, 99.94447529150472);
    QTest::newRow("portrait") << PixelSize{100, 1801} << QSizeF(99.94447529150472, 1800);
    QTest::newRow("1 x 1") << PixelSize{1, 1} << QSizeF(1, 1);
    // 1800 / 2122 × 2122 is 1800.0000000000002 in doubles.
    QTest::newRow("2122 x 1000") << PixelSize{2122, 1000} << QSizeF(1800, 848.2563619227144);
    QTest::newRow("1000 x 2122") << PixelSize{1000, 2122} << QSizeF(848.2563619227144, 1800);
    QTest::newRow("sliver") << PixelSize{1, 100000} << QSizeF(0.018, 1800);
    QTest::newRow("largest") << PixelSize{int64Max, int64Max} << QSizeF(1800, 1800);
}

void TestRenderPipeline::previewSize()
{
    QFETCH(PixelSize, size);
    QFETCH(QSizeF, expected);
    const QSizeF preview = RenderPipeline::previewSize(size);
    QVERIFY2(std::abs(preview.width() - expected.width()) <= 1e-9 * expected.width() &&
                 std::abs(preview.height() - expected.height()) <= 1e-9 * expected.height(),
             qPrintable(QStringLiteral("%1 x %2")
                            .arg(preview.width(), 0, 'g', 17)
                            .arg(preview.height(), 0, 'g', 17)));
    // Never larger than the bound, whatever the rounding.
    QVERIFY(std::max(preview.width(), preview.height()) <= 1800.0);
}

// What the preview path does for each preset: a bitmap covering the unrounded preview size.
void TestRenderPipeline::presetPreviewRenders_data()
{
    QTest::addColumn<ResolutionPreset>("preset");
    for (const ResolutionPreset &preset : ResolutionPreset::all()) {
        if (!preset.isCustom())
            QTest::newRow(qPrintable(preset.name)) << preset;
    }
}

void TestRenderPipeline::presetPreviewRenders()
{
    QFETCH(ResolutionPreset, preset);
    const QSizeF size = RenderPipeline::previewSize(RenderPipeline::pixelSize(preset, 0, 0));
    const std::optional<Bitmap> bitmap =
        RenderPipeline::renderCG(plainLook(WallpaperStyle::Mirror, photo()), size, false);
    QVERIFY(bitmap);
    QVERIFY(!bitmap->isDeep());
    // The renderers round a size out to whole pixels; the longer side must not grow past 1800.
    QCOMPARE(std::max(bitmap->width(), bitmap->height()), 1800);
    const double shorter = std::min(size.width(), size.height());
    QVERIFY2(std::abs(std::min(bitmap->width(), bitmap->height()) - shorter) < 1,
             qPrintable(QStringLiteral("%1 x %2").arg(bitmap->width()).arg(bitmap->height())));
}

QTEST_GUILESS_MAIN(TestRenderPipeline)
#include "tst_renderpipeline.moc"
