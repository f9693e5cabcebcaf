#include "render/blurprocessor.h"
#include "render/rendercolor.h"
#include "render/rendercontext.h"
#include "support/reference.h"

#include <QTest>

#include <cmath>
#include <limits>

using Reference::compare;

class TestBlurProcessor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matchesExactGaussian_data();
    void matchesExactGaussian();
    void sizeGuards_data();
    void sizeGuards();
    void aspectFillCropsSymmetrically_data();
    void aspectFillCropsSymmetrically();
    void neutralSettingsAtSourceSizeReproduceTheSource();
    void blurThresholdAtHalfAPixel_data();
    void blurThresholdAtHalfAPixel();
    void ditherOnlyWhenPositive();
    void deepColourFormats();
    void finalizeOfProcessedImageEqualsRender();
    void processedImageExtent();
    void hugeTargetYieldsNothing();
    void preparedDataIsCachedAndBounded();
};

void TestBlurProcessor::matchesExactGaussian_data()
{
    QTest::addColumn<QString>("photo");
    QTest::addColumn<int>("sourceWidth");
    QTest::addColumn<int>("sourceHeight");
    QTest::addColumn<QSizeF>("target");
    QTest::addColumn<double>("blur");
    QTest::addColumn<double>("brightness");
    QTest::addColumn<double>("saturation");
    QTest::addColumn<double>("contrast");
    QTest::addColumn<double>("maxError");

    // Large blurs take the shrink-blur-upsample path, small ones resample the source.
    QTest::newRow("landscape, default look, upscaled")
        << "photo-path-2560x1600.jpg" << 400 << 250 << QSizeF(640, 360) << 55.0 << 0.0 << 1.15
        << 1.0 << 0.5;
    QTest::newRow("landscape, dark look, downscaled")
        << "photo-bythewater-2560x1600.jpg" << 480 << 300 << QSizeF(200, 112.5) << 55.0 << -0.15
        << 1.05 << 1.05 << 0.5;
    QTest::newRow("portrait into 16:9") << "photo-colorfulcups-2560x1600.jpg" << 180 << 320
                                        << QSizeF(480, 270) << 40.0 << 0.0 << 1.15 << 1.0 << 0.75;
    QTest::newRow("square, full blur") << "photo-fallenleaf-2560x1600.jpg" << 256 << 256
                                       << QSizeF(400, 225) << 100.0 << 0.1 << 1.5 << 1.2 << 0.5;
    QTest::newRow("small blur, direct path") << "photo-path-2560x1600.jpg" << 320 << 200
                                             << QSizeF(480, 270) << 8.0 << 0.0 << 1.0 << 1.0 << 1.0;
}

void TestBlurProcessor::matchesExactGaussian()
{
    QFETCH(QString, photo);
    QFETCH(int, sourceWidth);
    QFETCH(int, sourceHeight);
    QFETCH(QSizeF, target);
    QFETCH(double, blur);
    QFETCH(double, brightness);
    QFETCH(double, saturation);
    QFETCH(double, contrast);
    QFETCH(double, maxError);

    const Bitmap source = Reference::photo(photo, sourceWidth, sourceHeight);
    const BlurProcessor::Settings settings{blur, brightness, saturation, contrast, 0};
    for (const bool deep : {false, true}) {
        const auto rendered = BlurProcessor::render(source, target, settings, deep);
        QVERIFY(rendered);
        const auto d = compare(*rendered, Reference::blurWallpaper(source, target, settings));
        // 8-bit output adds up to half a step of rounding, a quarter on average.
        const double rounding = deep ? 0 : 0.5;
        const QString what =
            QStringLiteral("%1 bit: max %2, mean %3 LSB").arg(deep ? 16 : 8).arg(d.max).arg(d.mean);
        QVERIFY2(d.max <= maxError + rounding, qPrintable(what));
        QVERIFY2(d.mean <= 0.05 + rounding / 2, qPrintable(what));
    }
}

void TestBlurProcessor::sizeGuards_data()
{
    QTest::addColumn<QSizeF>("target");
    QTest::addColumn<QSize>("expected"); // empty: no image
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("half a pixel wide") << QSizeF(0.5, 1000) << QSize();
    QTest::newRow("zero high") << QSizeF(1000, 0) << QSize();
    QTest::newRow("negative") << QSizeF(-10, 10) << QSize();
    QTest::newRow("NaN width") << QSizeF(nan, 100) << QSize();
    QTest::newRow("NaN height") << QSizeF(100, nan) << QSize();
    QTest::newRow("one pixel") << QSizeF(1, 1) << QSize(1, 1);
    QTest::newRow("fractional height rounds out") << QSizeF(1800, 1012.5) << QSize(1800, 1013);
}

void TestBlurProcessor::sizeGuards()
{
    QFETCH(QSizeF, target);
    QFETCH(QSize, expected);
    const Bitmap source = Reference::photo(QStringLiteral("photo-path-2560x1600.jpg"), 160, 100);
    const auto bitmap = BlurProcessor::render(source, target, {}, false);
    const auto processed = BlurProcessor::processedImage(source, target, {});
    if (expected.isEmpty()) {
        QVERIFY(!bitmap);
        QVERIFY(!processed);
    } else {
        QVERIFY(bitmap);
        QCOMPARE(bitmap->size(), expected);
        QVERIFY(processed);
    }
}

void TestBlurProcessor::aspectFillCropsSymmetrically_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QSizeF>("target");
    QTest::newRow("square into 16:9") << 240 << 240 << QSizeF(320, 180);
    QTest::newRow("portrait into 16:9") << 150 << 300 << QSizeF(320, 180);
    QTest::newRow("landscape into 16:9") << 400 << 250 << QSizeF(320, 180);
    QTest::newRow("wide into portrait") << 400 << 100 << QSizeF(90, 160);
}

// A source that is symmetric top-to-bottom and left-to-right must render symmetric: the
// crop is centred and the fill covers the whole target.
void TestBlurProcessor::aspectFillCropsSymmetrically()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QSizeF, target);
    QImage image(width, height, QImage::Format_RGBA8888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int dy = std::min(y, height - 1 - y), dx = std::min(x, width - 1 - x);
            image.setPixelColor(x, y,
                                QColor((dy * 7) % 256, (dx * 5) % 256, ((dx + dy) * 3) % 256));
        }
    const Bitmap source = Bitmap::fromImage(image);
    const BlurProcessor::Settings sharp{0, 0, 1, 1, 0};
    const auto out = BlurProcessor::render(source, target, sharp, true);
    QVERIFY(out);
    const int W = out->width(), H = out->height();
    double worst = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            for (int c = 0; c < 3; ++c) {
                const double v = Reference::channel(*out, x, y, c);
                worst = std::max(worst, std::abs(v - Reference::channel(*out, x, H - 1 - y, c)));
                worst = std::max(worst, std::abs(v - Reference::channel(*out, W - 1 - x, y, c)));
            }
    QVERIFY2(worst * 255 <= 0.1, qPrintable(QString::number(worst * 255)));
    // And it is the reference's geometry, not merely some symmetric one.
    const auto d = compare(*out, Reference::blurWallpaper(source, target, sharp));
    QVERIFY2(d.mean < 3, qPrintable(QString::number(d.mean)));
}

void TestBlurProcessor::neutralSettingsAtSourceSizeReproduceTheSource()
{
    const Bitmap source =
        Reference::photo(QStringLiteral("photo-colorfulcups-2560x1600.jpg"), 320, 200);
    const auto out = BlurProcessor::render(source, QSizeF(320, 200), {0, 0, 1, 1, 0}, false);
    QVERIFY(out);
    for (int y = 0; y < 200; ++y)
        QVERIFY2(std::memcmp(out->constScanLine(y), source.constScanLine(y), 320 * 4) == 0,
                 qPrintable(QStringLiteral("row %1").arg(y)));
}

void TestBlurProcessor::blurThresholdAtHalfAPixel_data()
{
    QTest::addColumn<double>("blur");
    QTest::addColumn<bool>("blurred");
    // Shorter side 1000 px: sigma = 2.2 × blur.
    QTest::newRow("0") << 0.0 << false;
    QTest::newRow("0.2 (sigma 0.44)") << 0.2 << false;
    QTest::newRow("1 (sigma 2.2)") << 1.0 << true;
}

void TestBlurProcessor::blurThresholdAtHalfAPixel()
{
    QFETCH(double, blur);
    QFETCH(bool, blurred);
    QCOMPARE(BlurProcessor::sigmaFor(1500, 1000, blur) > 0.5, blurred);
    // A one-pixel checkerboard survives unblurred and averages out when blurred.
    QImage image(1500, 1000, QImage::Format_RGBA8888);
    for (int y = 0; y < 1000; ++y)
        for (int x = 0; x < 1500; ++x)
            image.setPixelColor(x, y, (x + y) % 2 ? Qt::white : Qt::black);
    const auto out = BlurProcessor::render(Bitmap::fromImage(image), QSizeF(1500, 1000),
                                           {blur, 0, 1, 1, 0}, false);
    QVERIFY(out);
    const double a = Reference::channel(*out, 700, 500, 0),
                 b = Reference::channel(*out, 701, 500, 0);
    QCOMPARE(std::abs(a - b) > 0.9, !blurred);
}

void TestBlurProcessor::ditherOnlyWhenPositive()
{
    const Bitmap source = Reference::photo(QStringLiteral("photo-path-2560x1600.jpg"), 320, 200);
    const QSizeF size(480, 270);
    const auto plain = BlurProcessor::render(source, size, {55, 0, 1.15, 1, 0}, false);
    const auto negative = BlurProcessor::render(source, size, {55, 0, 1.15, 1, -0.5}, false);
    const auto grain = BlurProcessor::render(source, size, {55, 0, 1.15, 1, 0.1}, false);
    const auto again = BlurProcessor::render(source, size, {55, 0, 1.15, 1, 0.1}, false);
    QVERIFY(plain && negative && grain && again);
    const auto bytes = [](const Bitmap &b) {
        return QByteArray(reinterpret_cast<const char *>(b.constBits()),
                          int(b.bytesPerLine() * b.height()));
    };
    QCOMPARE(bytes(*negative), bytes(*plain));
    QVERIFY(bytes(*grain) != bytes(*plain));
    QCOMPARE(bytes(*grain), bytes(*again)); // deterministic per pixel
    // Noise, not a shift: the mean stays within a small fraction of a step.
    double sum = 0, changed = 0;
    for (int y = 0; y < plain->height(); ++y)
        for (int x = 0; x < plain->width(); ++x) {
            const double d =
                Reference::channel(*grain, x, y, 1) - Reference::channel(*plain, x, y, 1);
            sum += d;
            changed += d != 0;
        }
    const double n = double(plain->width()) * plain->height();
    QVERIFY(std::abs(sum / n) * 255 < 0.05);
    QVERIFY(changed / n > 0.1);
}

void TestBlurProcessor::deepColourFormats()
{
    const Bitmap source =
        Reference::photo(QStringLiteral("photo-fallenleaf-2560x1600.jpg"), 320, 200);
    const auto deep = BlurProcessor::render(source, QSizeF(300, 200), {}, true);
    const auto shallow = BlurProcessor::render(source, QSizeF(300, 200), {}, false);
    QVERIFY(deep && shallow);
    QCOMPARE(deep->format(), PixelFormat::Rgba16);
    QCOMPARE(shallow->format(), PixelFormat::Rgba8);
    QCOMPARE(deep->toImage().format(), QImage::Format_RGBA64);
    // Same picture at two depths: within the dither and one 8-bit step.
    double worst = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x) {
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(Reference::channel(*deep, x, y, c) -
                                                 Reference::channel(*shallow, x, y, c)));
            QCOMPARE(Reference::channel(*deep, x, y, 3), 1.0);
        }
    QVERIFY(worst * 255 <= 2.0);
    // The 16-bit render carries more than 8 bits.
    int fine = 0;
    for (int x = 0; x < 300; ++x)
        fine += reinterpret_cast<const uint16_t *>(deep->constScanLine(100))[4 * x] % 257 != 0;
    QVERIFY(fine > 100);
}

void TestBlurProcessor::finalizeOfProcessedImageEqualsRender()
{
    const Bitmap source =
        Reference::photo(QStringLiteral("photo-bythewater-2560x1600.jpg"), 400, 250);
    const QSizeF size(360, 203);
    const BlurProcessor::Settings settings{30, -0.1, 1.2, 1.1, 0};
    const auto processed = BlurProcessor::processedImage(source, size, settings);
    QVERIFY(processed);
    for (const bool deep : {false, true}) {
        const auto a = BlurProcessor::finalize(*processed, size, 0, deep);
        const auto b = BlurProcessor::render(source, size, settings, deep);
        QVERIFY(a && b);
        QCOMPARE(a->size(), b->size());
        for (int y = 0; y < a->height(); ++y)
            QVERIFY(std::memcmp(a->constScanLine(y), b->constScanLine(y), a->bytesPerLine()) == 0);
    }
}

void TestBlurProcessor::processedImageExtent()
{
    const Bitmap source = Reference::photo(QStringLiteral("photo-path-2560x1600.jpg"), 300, 400);
    const auto image = BlurProcessor::processedImage(source, QSizeF(1920, 1080), {});
    QVERIFY(image);
    const QRectF e = image->extent();
    QCOMPARE(e.x(), 0.0);
    QCOMPARE(e.y(), 0.0);
    QVERIFY(std::abs(e.width() - 1920) < 1e-6);
    QVERIFY(std::abs(e.height() - 1080) < 1e-6);
}

void TestBlurProcessor::hugeTargetYieldsNothing()
{
    const Bitmap source = Reference::photo(QStringLiteral("photo-path-2560x1600.jpg"), 160, 100);
    QVERIFY(!BlurProcessor::render(source, QSizeF(100000, 100000), {}, true));
    QVERIFY(!BlurProcessor::render(source, QSizeF(70000, 10), {}, true));
    QVERIFY(BlurProcessor::render(source, QSizeF(65535, 2), {}, false));
}

void TestBlurProcessor::preparedDataIsCachedAndBounded()
{
    RenderContext &context = BlurProcessor::context();
    context.clearCache();
    const Bitmap source = Reference::photo(QStringLiteral("photo-path-2560x1600.jpg"), 800, 500);
    QVERIFY(BlurProcessor::render(source, QSizeF(320, 180), {55, 0, 1.15, 1, 0.1}, false));
    const std::size_t afterFirst = context.cacheBytes();
    QVERIFY(afterFirst > 0);
    // A tone change reuses the shrunk, blurred source.
    QVERIFY(BlurProcessor::render(source, QSizeF(320, 180), {55, 0.2, 0.8, 1.2, 0.3}, false));
    QCOMPARE(context.cacheBytes(), afterFirst);
    // Other blurs add entries, but never beyond the limit.
    context.setCacheLimit(afterFirst * 2);
    for (double blur = 20; blur <= 100; blur += 10)
        QVERIFY(BlurProcessor::render(source, QSizeF(320, 180), {blur, 0, 1, 1, 0}, false));
    QVERIFY(context.cacheBytes() <= afterFirst * 2);
    context.setCacheLimit(std::size_t(256) << 20);
}

QTEST_GUILESS_MAIN(TestBlurProcessor)
#include "tst_blurprocessor.moc"
