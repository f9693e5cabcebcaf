#include "render/flowprocessor.h"
#include "render/rendercolor.h"
#include "support/reference.h"

#include <QTest>

#include <cmath>
#include <limits>

namespace {

const std::vector<RenderColor> kPalette = {
    {0.98, 0.55, 0.10, 1}, {1.0, 0.13, 0.55, 1}, {0.55, 0.12, 0.92, 1}};

FlowProcessor::Settings settingsWith(std::vector<RenderColor> colors, int64_t bands,
                                     double amplitude)
{
    FlowProcessor::Settings s;
    s.colors = std::move(colors);
    s.bands = bands;
    s.amplitude = amplitude;
    s.dither = 0;
    return s;
}

} // namespace

class TestFlowProcessor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matchesPerPixelFormulas_data();
    void matchesPerPixelFormulas();
    void sizeAndColourGuards_data();
    void sizeAndColourGuards();
    void straightSeamsAtRestHeights_data();
    void straightSeamsAtRestHeights();
    void seamWidths();
    void kernelChoiceFollowsBandsAndColours();
    void ditherAndDepth();
    void averageColor_data();
    void averageColor();
};

void TestFlowProcessor::matchesPerPixelFormulas_data()
{
    QTest::addColumn<int>("bands");
    QTest::addColumn<int>("colourCount");
    QTest::addColumn<double>("amplitude");
    QTest::addColumn<double>("frequency");
    QTest::addColumn<double>("sharpness");
    QTest::addColumn<double>("edgeSoftness");
    QTest::addColumn<double>("phase");
    QTest::addColumn<QSizeF>("size");
    QTest::newRow("three bands, defaults")
        << 3 << 3 << 0.11 << 1.0 << 0.8 << 0.7 << 1.0 << QSizeF(480, 270);
    QTest::newRow("two bands, defaults")
        << 2 << 3 << 0.11 << 1.0 << 0.8 << 0.7 << 1.0 << QSizeF(480, 270);
    QTest::newRow("three bands, sharpest, fast waves")
        << 3 << 3 << 0.25 << 3.0 << 1.0 << 0.0 << 5.5 << QSizeF(333, 501);
    QTest::newRow("two bands, softest")
        << 2 << 2 << 0.05 << 0.3 << 0.0 << 1.0 << 0.0 << QSizeF(640, 100);
    QTest::newRow("one colour is flat")
        << 3 << 1 << 0.11 << 1.0 << 0.8 << 0.7 << 1.0 << QSizeF(64, 64);
    QTest::newRow("fractional size")
        << 3 << 3 << 0.11 << 1.0 << 0.8 << 0.7 << 1.0 << QSizeF(300, 168.75);
}

void TestFlowProcessor::matchesPerPixelFormulas()
{
    QFETCH(int, bands);
    QFETCH(int, colourCount);
    QFETCH(double, amplitude);
    QFETCH(double, frequency);
    QFETCH(double, sharpness);
    QFETCH(double, edgeSoftness);
    QFETCH(double, phase);
    QFETCH(QSizeF, size);
    FlowProcessor::Settings s =
        settingsWith(std::vector<RenderColor>(kPalette.begin(), kPalette.begin() + colourCount),
                     bands, amplitude);
    s.frequency = frequency;
    s.sharpness = sharpness;
    s.edgeSoftness = edgeSoftness;
    s.phase = phase;
    const auto reference = Reference::flowWallpaper(size, s);
    for (const bool deep : {false, true}) {
        const auto out = FlowProcessor::render(size, s, deep);
        QVERIFY(out);
        const auto d = Reference::compare(*out, reference);
        const double rounding = deep ? 0 : 0.5;
        QVERIFY2(d.max <= 0.1 + rounding, qPrintable(QStringLiteral("max %1 LSB").arg(d.max)));
    }
}

void TestFlowProcessor::sizeAndColourGuards_data()
{
    QTest::addColumn<QSizeF>("size");
    QTest::addColumn<int>("colourCount");
    QTest::addColumn<bool>("renders");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("no colours") << QSizeF(100, 100) << 0 << false;
    QTest::newRow("half a pixel") << QSizeF(0.5, 1000) << 3 << false;
    QTest::newRow("zero height") << QSizeF(1000, 0) << 3 << false;
    QTest::newRow("NaN") << QSizeF(nan, 10) << 3 << false;
    QTest::newRow("too large") << QSizeF(100000, 100000) << 3 << false;
    QTest::newRow("1×1") << QSizeF(1, 1) << 3 << true;
}

void TestFlowProcessor::sizeAndColourGuards()
{
    QFETCH(QSizeF, size);
    QFETCH(int, colourCount);
    QFETCH(bool, renders);
    const auto out = FlowProcessor::render(
        size,
        settingsWith(std::vector<RenderColor>(kPalette.begin(), kPalette.begin() + colourCount), 3,
                     0.11),
        false);
    QCOMPARE(bool(out), renders);
}

void TestFlowProcessor::straightSeamsAtRestHeights_data()
{
    QTest::addColumn<int>("bands");
    QTest::addColumn<QList<double>>("seams");
    QTest::newRow("two bands") << 2 << QList<double>{0.5};
    QTest::newRow("three bands") << 3 << QList<double>{0.36, 0.68};
}

// With amplitude 0 every column crosses each seam's midpoint exactly at its rest height.
void TestFlowProcessor::straightSeamsAtRestHeights()
{
    QFETCH(int, bands);
    QFETCH(QList<double>, seams);
    // Black, white, black: each seam is a rise or a fall of the green channel.
    const std::vector<RenderColor> colours = {{0, 0, 0, 1}, {1, 1, 1, 1}, {0, 0, 0, 1}};
    const int H = 1000;
    // Narrow seams, so the two of the three-band picture do not overlap at the edges.
    FlowProcessor::Settings s = settingsWith(colours, bands, 0);
    s.sharpness = 1;
    s.edgeSoftness = 0;
    const auto out = FlowProcessor::render(QSizeF(40, H), s, true);
    QVERIFY(out);
    const double half = linearToSrgb(0.5);
    for (const int x : {0, 19, 39}) {
        QList<double> crossings;
        for (int yl = 0; yl + 1 < H; ++yl) {
            const double a = Reference::channel(*out, x, H - 1 - yl, 1);
            const double b = Reference::channel(*out, x, H - 2 - yl, 1);
            if ((a - half) * (b - half) < 0 || a == half)
                crossings << (yl + 0.5) + (half - a) / (b - a); // centre height, interpolated
        }
        QCOMPARE(crossings.size(), seams.size());
        for (int i = 0; i < seams.size(); ++i)
            QVERIFY2(std::abs(crossings[i] / H - seams[i]) < 0.0005,
                     qPrintable(QStringLiteral("%1 vs %2").arg(crossings[i] / H).arg(seams[i])));
    }
}

void TestFlowProcessor::seamWidths()
{
    FlowProcessor::Settings s = settingsWith(kPalette, 3, 0.11);
    s.sharpness = 1;
    s.edgeSoftness = 0;
    auto args = FlowProcessor::kernelArgs(QSizeF(100, 100), s);
    QVERIFY(std::abs(args.hwMin - 0.0015f) < 1e-7f);
    QVERIFY(std::abs(args.hwMax - 0.08f) < 1e-7f);
    s.sharpness = 0.8;
    s.edgeSoftness = 0.7;
    args = FlowProcessor::kernelArgs(QSizeF(100, 100), s);
    QVERIFY(std::abs(args.hwMin - 0.0072f) < 1e-6f);
    QVERIFY(std::abs(args.hwMax - 0.409f) < 1e-6f);

    // The transition is widest at the edges and narrowest in the middle: count the rows that
    // are neither band colour in the first, middle and last column.
    const std::vector<RenderColor> colours = {{0, 0, 0, 1}, {1, 1, 1, 1}};
    const auto out = FlowProcessor::render(QSizeF(201, 1000), settingsWith(colours, 2, 0), false);
    QVERIFY(out);
    const auto blend = [&](int x) {
        int rows = 0;
        for (int y = 0; y < 1000; ++y) {
            const double v = Reference::channel(*out, x, y, 0);
            rows += v > 0 && v < 1;
        }
        return rows;
    };
    // hwMax 0.409 ≈ ±409 rows at the edges, hwMin 0.0072 ≈ ±7 rows in the middle.
    QVERIFY2(blend(100) <= 16, qPrintable(QString::number(blend(100))));
    QVERIFY2(blend(0) > 700, qPrintable(QString::number(blend(0))));
    QVERIFY(blend(200) > 700);
}

void TestFlowProcessor::kernelChoiceFollowsBandsAndColours()
{
    // Three bands with only two colours falls back to two; two bands ignore the third colour.
    const QSizeF size(120, 90);
    const auto twoColours =
        FlowProcessor::render(size, settingsWith({kPalette[0], kPalette[1]}, 3, 0.11), true);
    const auto twoBands = FlowProcessor::render(size, settingsWith(kPalette, 2, 0.11), true);
    QVERIFY(twoColours && twoBands);
    QVERIFY(std::memcmp(twoColours->constBits(), twoBands->constBits(),
                        twoBands->bytesPerLine() * 90) == 0);
    FlowProcessor::Settings two = settingsWith({kPalette[0], kPalette[1]}, 2, 0.11);
    QVERIFY(Reference::compare(*twoBands, Reference::flowWallpaper(size, two)).max < 0.1);
    QVERIFY(FlowProcessor::kernelArgs(size, settingsWith(kPalette, 3, 0)).threeBands);
    QVERIFY(!FlowProcessor::kernelArgs(size, settingsWith(kPalette, 2, 0)).threeBands);
}

void TestFlowProcessor::ditherAndDepth()
{
    FlowProcessor::Settings s = settingsWith(kPalette, 3, 0.11);
    const auto plain = FlowProcessor::render(QSizeF(200, 100), s, false);
    s.dither = -1;
    const auto negative = FlowProcessor::render(QSizeF(200, 100), s, false);
    s.dither = 0.5;
    const auto grain = FlowProcessor::render(QSizeF(200, 100), s, false);
    const auto deep = FlowProcessor::render(QSizeF(200, 100), s, true);
    QVERIFY(plain && negative && grain && deep);
    QVERIFY(std::memcmp(plain->constBits(), negative->constBits(), plain->bytesPerLine() * 100) ==
            0);
    QVERIFY(std::memcmp(plain->constBits(), grain->constBits(), plain->bytesPerLine() * 100) != 0);
    QCOMPARE(plain->format(), PixelFormat::Rgba8);
    QCOMPARE(deep->format(), PixelFormat::Rgba16);
}

void TestFlowProcessor::averageColor_data()
{
    QTest::addColumn<QRectF>("rect");
    QTest::addColumn<bool>("inside");
    QTest::newRow("whole picture") << QRectF(0, 0, 64, 48) << true;
    QTest::newRow("left half, fractional edges") << QRectF(0.25, 3.5, 31.75, 20.25) << true;
    QTest::newRow("straddling the colour edge") << QRectF(20, 0, 30.5, 48) << true;
    QTest::newRow("partly outside") << QRectF(-10, -10, 40, 40) << true;
    QTest::newRow("outside") << QRectF(100, 100, 10, 10) << false;
    QTest::newRow("empty") << QRectF(10, 10, 0, 5) << false;
}

void TestFlowProcessor::averageColor()
{
    QFETCH(QRectF, rect);
    QFETCH(bool, inside);
    // Left 32 columns red, right 32 blue.
    QImage image(64, 48, QImage::Format_RGBA8888);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            image.setPixelColor(x, y, x < 32 ? QColor(200, 40, 10) : QColor(20, 60, 240));
    const Image source = Image::fromBitmap(Bitmap::fromImage(image));
    const RenderColor c = FlowProcessor::averageColor(source, rect);
    QCOMPARE(c.alpha, 1.0);
    if (!inside) {
        QCOMPARE(c, (RenderColor{0.5, 0.5, 0.5, 1}));
        return;
    }
    // The exact area average in linear light, weighting each column by its covered width.
    const QRectF area = rect.intersected(QRectF(0, 0, 64, 48));
    const double redShare = std::clamp(32 - area.left(), 0.0, area.width()) / area.width();
    const int left[3] = {200, 40, 10}, right[3] = {20, 60, 240};
    const double got[3] = {c.red, c.green, c.blue};
    for (int i = 0; i < 3; ++i) {
        const double lin = redShare * srgbToLinear(left[i] / 255.0) +
                           (1 - redShare) * srgbToLinear(right[i] / 255.0);
        QCOMPARE(got[i], std::round(linearToSrgb(lin) * 255) / 255);
    }
}

QTEST_GUILESS_MAIN(TestFlowProcessor)
#include "tst_flowprocessor.moc"
