#include "render/blurprocessor.h"
#include "render/mirrorprocessor.h"
#include "render/rendercolor.h"
#include "support/reference.h"

#include <QTest>

#include <cmath>

namespace {

// The mirrored render and, beside it, the same base rendered deep without the mirror.
struct Rendered
{
    Bitmap mirrored;
    Bitmap base;
};

Rendered renderBoth(const Bitmap &source, QSizeF size, const BlurProcessor::Settings &blur,
                    const MirrorProcessor::Settings &mirror, bool deep)
{
    const auto image = BlurProcessor::processedImage(source, size, blur);
    if (!image)
        return {};
    const auto mirrored =
        BlurProcessor::finalize(MirrorProcessor::apply(*image, size, mirror), size, 0, deep);
    const auto base = BlurProcessor::finalize(*image, size, 0, true);
    return {mirrored.value_or(Bitmap()), base.value_or(Bitmap())};
}

} // namespace

class TestMirrorProcessor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matchesPerPixelFormula_data();
    void matchesPerPixelFormula();
    void kernelArguments_data();
    void kernelArguments();
    void evenMixAtTheSeam();
    void depthDarkensTheFold_data();
    void depthDarkensTheFold();
    void extentAndFallback();
};

void TestMirrorProcessor::matchesPerPixelFormula_data()
{
    QTest::addColumn<double>("blur");
    QTest::addColumn<double>("line");
    QTest::addColumn<double>("amplitude");
    QTest::addColumn<double>("frequency");
    QTest::addColumn<double>("hardness");
    QTest::addColumn<double>("depth");
    QTest::addColumn<double>("sideFade");
    QTest::addColumn<QSizeF>("size");
    QTest::newRow("defaults") << 55.0 << 0.52 << 0.05 << 1.0 << 1.0 << 0.35 << 0.5
                              << QSizeF(480, 270);
    QTest::newRow("lightly blurred photo, soft seam")
        << 3.0 << 0.4 << 0.1 << 2.0 << 0.0 << 0.8 << 1.0 << QSizeF(400, 300);
    QTest::newRow("high line, strong waves")
        << 20.0 << 0.85 << 0.15 << 3.0 << 0.5 << 0.5 << 0.0 << QSizeF(320, 400);
    QTest::newRow("line at the bottom")
        << 55.0 << 0.0 << 0.0 << 1.0 << 1.0 << 0.35 << 0.5 << QSizeF(300, 200);
    QTest::newRow("line at the top")
        << 55.0 << 1.0 << 0.0 << 1.0 << 1.0 << 0.35 << 0.5 << QSizeF(300, 200);
}

// The kernel against the formula evaluated in double on the same base picture, borders and
// all: the fold reads the base by linear interpolation, clamped to its extent. The base is
// taken from a 16-bit render, so the rows avoid settings whose base leaves [0, 1] (the
// engine keeps such values until the final encoding; the rendered base cannot).
void TestMirrorProcessor::matchesPerPixelFormula()
{
    QFETCH(double, blur);
    QFETCH(double, line);
    QFETCH(double, amplitude);
    QFETCH(double, frequency);
    QFETCH(double, hardness);
    QFETCH(double, depth);
    QFETCH(double, sideFade);
    QFETCH(QSizeF, size);
    const Bitmap source =
        Reference::photo(QStringLiteral("photo-bythewater-2560x1600.jpg"), 400, 250);
    const MirrorProcessor::Settings mirror{line,     amplitude, frequency, 1.0,
                                           hardness, depth,     sideFade};
    for (const bool deep : {false, true}) {
        const Rendered r = renderBoth(source, size, {blur, 0, 1, 1, 0}, mirror, deep);
        QVERIFY(!r.mirrored.isNull() && !r.base.isNull());
        const auto expected = Reference::mirrorWallpaper(Reference::linearize(r.base), mirror);
        const auto d = Reference::compare(r.mirrored, expected);
        const double rounding = deep ? 0 : 0.5;
        QVERIFY2(d.max <= 0.2 + rounding, qPrintable(QStringLiteral("max %1 LSB").arg(d.max)));
    }
}

void TestMirrorProcessor::kernelArguments_data()
{
    QTest::addColumn<double>("hardness");
    QTest::addColumn<double>("sideFade");
    QTest::addColumn<double>("depth");
    QTest::addColumn<double>("hwMin");
    QTest::addColumn<double>("hwMax");
    QTest::addColumn<double>("dark");
    QTest::newRow("defaults") << 1.0 << 0.5 << 0.35 << 0.5 << 194.4 << 0.79;
    QTest::newRow("softest middle") << 0.0 << 0.5 << 0.0 << 43.2 << 194.4 << 1.0;
    QTest::newRow("no side fade") << 0.0 << 0.0 << 1.0 << 43.2 << 43.2 << 0.4;
    QTest::newRow("floor holds") << 1.0 << 0.0 << 0.8 << 0.5 << 0.5 << 0.52;
}

void TestMirrorProcessor::kernelArguments()
{
    QFETCH(double, hardness);
    QFETCH(double, sideFade);
    QFETCH(double, depth);
    QFETCH(double, hwMin);
    QFETCH(double, hwMax);
    QFETCH(double, dark);
    const MirrorProcessor::Settings s{0.52, 0.05, 1, 1, hardness, depth, sideFade};
    const MirrorKernelArgs a = MirrorProcessor::kernelArgs(QSizeF(3840, 2160), s);
    QVERIFY(std::abs(a.baseLine - 1123.2f) < 1e-3f);
    QVERIFY(std::abs(a.hwMin - hwMin) < 1e-3);
    QVERIFY(std::abs(a.hwMax - hwMax) < 1e-3);
    QVERIFY(std::abs(a.dark - dark) < 1e-6);
    QCOMPARE(a.amp, 0.05f); // unscaled: the kernel multiplies by the height
}

// With a straight seam through a row centre, that row is half the picture, half its fold.
void TestMirrorProcessor::evenMixAtTheSeam()
{
    QImage image(50, 101, QImage::Format_RGBA8888);
    for (int y = 0; y < 101; ++y)
        for (int x = 0; x < 50; ++x)
            image.setPixelColor(x, y, QColor(2 * y, 255 - 2 * y, 128)); // a vertical ramp
    const Bitmap source = Bitmap::fromImage(image);
    const QSizeF size(50, 101);
    // line × 101 = 50.5: the centre of the lower-left row 50.
    const MirrorProcessor::Settings mirror{50.5 / 101, 0, 1, 1, 1, 0.5, 0};
    const Rendered r = renderBoth(source, size, {0, 0, 1, 1, 0}, mirror, true);
    QVERIFY(!r.mirrored.isNull());
    const int seamRow = 100 - 50, bottomRow = 100; // top-down rows of lower-left rows 50 and 0
    const double dark = 1 - 0.6 * 0.5;
    for (int c = 0; c < 3; ++c) {
        // The fold at the seam reads (x, 0): the bottom edge, clamped to the bottom row.
        const double expected =
            0.5 * srgbToLinear(Reference::channel(r.base, 10, seamRow, c)) +
            0.5 * dark * srgbToLinear(Reference::channel(r.base, 10, bottomRow, c));
        QVERIFY(std::abs(srgbToLinear(Reference::channel(r.mirrored, 10, seamRow, c)) - expected) <
                1e-4);
    }
}

void TestMirrorProcessor::depthDarkensTheFold_data()
{
    QTest::addColumn<double>("depth");
    QTest::addColumn<double>("factor");
    QTest::newRow("none") << 0.0 << 1.0;
    QTest::newRow("default") << 0.35 << 0.79;
    QTest::newRow("full") << 1.0 << 0.4;
}

void TestMirrorProcessor::depthDarkensTheFold()
{
    QFETCH(double, depth);
    QFETCH(double, factor);
    const Bitmap source = Reference::solid(64, 64, 180, 120, 60);
    const Rendered r = renderBoth(source, QSizeF(160, 90), {55, 0, 1, 1, 0},
                                  {0.5, 0.05, 1, 1, 1, depth, 0.5}, true);
    QVERIFY(!r.mirrored.isNull());
    const int rgb[3] = {180, 120, 60};
    for (int c = 0; c < 3; ++c) {
        const double base = srgbToLinear(rgb[c] / 255.0);
        // Well below the seam only the fold shows; well above only the picture.
        QVERIFY(std::abs(srgbToLinear(Reference::channel(r.mirrored, 80, 88, c)) - factor * base) <
                2e-4);
        QVERIFY(std::abs(srgbToLinear(Reference::channel(r.mirrored, 80, 2, c)) - base) < 2e-4);
    }
}

void TestMirrorProcessor::extentAndFallback()
{
    const Bitmap source = Reference::photo(QStringLiteral("photo-path-2560x1600.jpg"), 160, 100);
    const auto base = BlurProcessor::processedImage(source, QSizeF(320, 180), {});
    QVERIFY(base);
    const Image mirrored = MirrorProcessor::apply(*base, QSizeF(320, 180), {});
    QVERIFY(!mirrored.isNull());
    QCOMPARE(mirrored.extent(), QRectF(0, 0, 320, 180));
    // A second fold has no kernel result: the input comes back unchanged, not nothing.
    const Image twice = MirrorProcessor::apply(mirrored, QSizeF(320, 180), {});
    QVERIFY(!twice.isNull());
    QCOMPARE(twice.recipe(), mirrored.recipe());
    QVERIFY(MirrorProcessor::apply(Image(), QSizeF(320, 180), {}).isNull());
}

QTEST_GUILESS_MAIN(TestMirrorProcessor)
#include "tst_mirrorprocessor.moc"
