#include "model/palette.h"
#include "render/rendercolor.h"

#include <QImage>
#include <QTest>

class TestPalette : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void vivid_data();
    void vivid();
    void bandsBottomFirst();
    void bandsSplitUnevenHeights();
};

void TestPalette::vivid_data()
{
    QTest::addColumn<RenderColor>("input");
    QTest::addColumn<double>("hue");
    QTest::addColumn<double>("saturation");
    QTest::addColumn<double>("value");
    QTest::newRow("grey gets a faint tint") << RenderColor{0.5, 0.5, 0.5, 1} << 0.0 << 0.06 << 0.5;
    QTest::newRow("black is lifted") << RenderColor{0, 0, 0, 1} << 0.0 << 0.06 << 0.28;
    QTest::newRow("saturated stays capped") << RenderColor{1, 0, 0, 1} << 0.0 << 1.0 << 1.0;
    QTest::newRow("out of range is clamped first")
        << RenderColor{1.4, -0.2, 0, 1} << 0.0 << 1.0 << 1.0;
    // Hue 120°, s 0.5, v 0.6 → s 0.735.
    QTest::newRow("muted green") << RenderColor{0.3, 0.6, 0.3, 1} << 1.0 / 3 << 0.735 << 0.6;
}

void TestPalette::vivid()
{
    QFETCH(RenderColor, input);
    QFETCH(double, hue);
    QFETCH(double, saturation);
    QFETCH(double, value);
    const QColor c = Palette::vivid(input);
    QCOMPARE(c.toRgb(), c); // stored as plain sRGB
    QCOMPARE(c.alphaF(), 1.0f);
    float h, s, v;
    c.getHsvF(&h, &s, &v);
    if (saturation > 0.1) // a grey's hue is undefined once stored in 16-bit RGB
        QVERIFY(std::abs(std::max(h, 0.f) - hue) < 2e-3);
    QVERIFY2(std::abs(s - saturation) < 2e-3, qPrintable(QString::number(s)));
    QVERIFY2(std::abs(v - value) < 2e-3, qPrintable(QString::number(v)));
}

// Three stacked colours come back bottom first, each made vivid.
void TestPalette::bandsBottomFirst()
{
    QImage image(30, 90, QImage::Format_RGBA8888);
    const QColor top(200, 30, 30), middle(30, 200, 30), bottom(30, 30, 200);
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 30; ++x)
            image.setPixelColor(x, y, y < 30 ? top : (y < 60 ? middle : bottom));
    const auto palette = Palette::extractPalette(Bitmap::fromImage(image));
    const QColor expected[3] = {bottom, middle, top};
    for (int i = 0; i < 3; ++i) {
        const QColor want =
            Palette::vivid({expected[i].redF(), expected[i].greenF(), expected[i].blueF(), 1});
        QCOMPARE(palette[i].rgb(), want.rgb());
    }
}

// A height not divisible by three splits at fractional rows; the bands average exactly.
void TestPalette::bandsSplitUnevenHeights()
{
    QImage image(10, 4, QImage::Format_RGBA8888);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 10; ++x)
            image.setPixelColor(x, y, y < 2 ? QColor(255, 255, 255) : QColor(0, 0, 0));
    // Bottom band: rows 0 … 1.33 from the bottom, all black. Middle: 1.33 … 2.67, half
    // white by area. Top: all white.
    const auto palette = Palette::extractPalette(Bitmap::fromImage(image));
    float h, s, v;
    palette[0].getHsvF(&h, &s, &v);
    QVERIFY(std::abs(v - 0.28f) < 2e-3);
    palette[1].getHsvF(&h, &s, &v);
    QVERIFY(std::abs(v - float(std::round(linearToSrgb(0.5) * 255) / 255)) < 2e-3);
    palette[2].getHsvF(&h, &s, &v);
    QVERIFY(std::abs(v - 1.0f) < 2e-3);
}

QTEST_GUILESS_MAIN(TestPalette)
#include "tst_palette.moc"
