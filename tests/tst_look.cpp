#include "model/look.h"

#include <QTest>

#include <cstring>
#include <limits>

namespace {

Bitmap solidBitmap(int width, int height, uint8_t value)
{
    PixelBuffer pixels = PixelBuffer::allocate(width, height, PixelFormat::Rgba8);
    for (int y = 0; y < height; ++y)
        std::memset(pixels.scanLine(y), value, pixels.bytesPerLine());
    return Bitmap(std::move(pixels));
}

// The names of the fields in which two looks differ, in field order.
QStringList differingFields(const Look &a, const Look &b)
{
    QStringList names;
#define VOSKAN_FIELD(field)                                                                        \
    if (!(a.field == b.field))                                                                     \
        names << QStringLiteral(#field);
    VOSKAN_FIELD(source)
    VOSKAN_FIELD(photoID)
    VOSKAN_FIELD(baseName)
    VOSKAN_FIELD(attribution)
    VOSKAN_FIELD(attributionURL)
    VOSKAN_FIELD(style)
    VOSKAN_FIELD(blur)
    VOSKAN_FIELD(brightness)
    VOSKAN_FIELD(saturation)
    VOSKAN_FIELD(contrast)
    VOSKAN_FIELD(dither)
    VOSKAN_FIELD(flowColor0)
    VOSKAN_FIELD(flowColor1)
    VOSKAN_FIELD(flowColor2)
    VOSKAN_FIELD(flowBands)
    VOSKAN_FIELD(flowAmplitude)
    VOSKAN_FIELD(flowFrequency)
    VOSKAN_FIELD(flowSharpness)
    VOSKAN_FIELD(flowEdgeSoftness)
    VOSKAN_FIELD(flowPhase)
    VOSKAN_FIELD(mirrorLine)
    VOSKAN_FIELD(mirrorAmplitude)
    VOSKAN_FIELD(mirrorFrequency)
    VOSKAN_FIELD(mirrorPhase)
    VOSKAN_FIELD(mirrorHardness)
    VOSKAN_FIELD(mirrorDepth)
    VOSKAN_FIELD(mirrorSideFade)
#undef VOSKAN_FIELD
    return names;
}

bool sameColor(const RenderColor &a, const RenderColor &b, double tolerance)
{
    return std::abs(a.red - b.red) <= tolerance && std::abs(a.green - b.green) <= tolerance &&
           std::abs(a.blue - b.blue) <= tolerance && a.alpha == b.alpha;
}

QByteArray describe(const RenderColor &c)
{
    return QByteArray("(") + QByteArray::number(c.red) + ", " + QByteArray::number(c.green) + ", " +
           QByteArray::number(c.blue) + ", " + QByteArray::number(c.alpha) + ")";
}

} // namespace

class TestLook : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void defaults_data();
    void defaults();
    void defaultColorsAndTexts();
    void defaultsMatchRenderers();
    void initialDarkDiffersOnlyInTone();
    void memberwiseConstruction();
    void tone_data();
    void tone();
    void setToneKeepsEverythingElse();

    void settingsPassValuesAsStored_data();
    void settingsPassValuesAsStored();
    void flowSettingsHaveThreeColorsInOrder();
    void flowSettingsPassValuesAsStored_data();
    void flowSettingsPassValuesAsStored();
    void mirrorSettingsPassValuesAsStored_data();
    void mirrorSettingsPassValuesAsStored();

    void colorConversion_data();
    void colorConversion();
};

void TestLook::defaults_data()
{
    QTest::addColumn<double>("actual");
    QTest::addColumn<double>("expected");
    const Look light;
    const Look dark = Look::initialDark();
    const auto row = [&](const char *name, double Look::*field, double lightValue,
                         double darkValue) {
        QTest::addRow("%s, light", name) << light.*field << lightValue;
        QTest::addRow("%s, initial dark", name) << dark.*field << darkValue;
    };
    row("blur", &Look::blur, 55, 55);
    row("brightness", &Look::brightness, 0, -0.15);
    row("saturation", &Look::saturation, 1.15, 1.05);
    row("contrast", &Look::contrast, 1.0, 1.05);
    row("dither", &Look::dither, 0.1, 0.1);
    row("flowAmplitude", &Look::flowAmplitude, 0.11, 0.11);
    row("flowFrequency", &Look::flowFrequency, 1.0, 1.0);
    row("flowSharpness", &Look::flowSharpness, 0.8, 0.8);
    row("flowEdgeSoftness", &Look::flowEdgeSoftness, 0.7, 0.7);
    row("flowPhase", &Look::flowPhase, 1.0, 1.0);
    row("mirrorLine", &Look::mirrorLine, 0.52, 0.52);
    row("mirrorAmplitude", &Look::mirrorAmplitude, 0.05, 0.05);
    row("mirrorFrequency", &Look::mirrorFrequency, 1.0, 1.0);
    row("mirrorPhase", &Look::mirrorPhase, 1.0, 1.0);
    row("mirrorHardness", &Look::mirrorHardness, 1.0, 1.0);
    row("mirrorDepth", &Look::mirrorDepth, 0.35, 0.35);
    row("mirrorSideFade", &Look::mirrorSideFade, 0.5, 0.5);
}

void TestLook::defaults()
{
    QFETCH(double, actual);
    QFETCH(double, expected);
    QCOMPARE(actual, expected);
}

void TestLook::defaultColorsAndTexts()
{
    const Look look;
    QVERIFY(!look.source);
    QVERIFY(!look.photoID);
    QVERIFY(!look.baseName);
    QVERIFY(!look.attribution);
    QVERIFY(!look.attributionURL);
    QCOMPARE(look.style, WallpaperStyle::Blur);
    QCOMPARE(look.flowBands, qint64(3));
    const QList<std::pair<QColor, RenderColor>> colors{
        {look.flowColor0, {0.98, 0.55, 0.10, 1}},
        {look.flowColor1, {1.0, 0.13, 0.55, 1}},
        {look.flowColor2, {0.55, 0.12, 0.92, 1}},
    };
    for (const auto &[color, expected] : colors) {
        QVERIFY(color.isValid());
        QCOMPARE(color.alphaF(), 1.0f);
        QVERIFY2(sameColor(asCIColor(color), expected, 1e-4), describe(asCIColor(color)));
    }
}

// The renderers' own defaults and the look's defaults describe the same initial wallpaper;
// a renderer called with default settings must draw what a fresh look draws.
void TestLook::defaultsMatchRenderers()
{
    const Look look;
    const BlurProcessor::Settings blur = look.settings();
    const BlurProcessor::Settings blurDefaults;
    QCOMPARE(blur.blur, blurDefaults.blur);
    QCOMPARE(blur.brightness, blurDefaults.brightness);
    QCOMPARE(blur.saturation, blurDefaults.saturation);
    QCOMPARE(blur.contrast, blurDefaults.contrast);
    QCOMPARE(blur.dither, blurDefaults.dither);

    const FlowProcessor::Settings flow = look.flowSettings();
    const FlowProcessor::Settings flowDefaults;
    QCOMPARE(flow.bands, flowDefaults.bands);
    QCOMPARE(flow.amplitude, flowDefaults.amplitude);
    QCOMPARE(flow.frequency, flowDefaults.frequency);
    QCOMPARE(flow.sharpness, flowDefaults.sharpness);
    QCOMPARE(flow.edgeSoftness, flowDefaults.edgeSoftness);
    QCOMPARE(flow.phase, flowDefaults.phase);
    QCOMPARE(flow.dither, flowDefaults.dither);

    const MirrorProcessor::Settings mirror = look.mirrorSettings();
    const MirrorProcessor::Settings mirrorDefaults;
    QCOMPARE(mirror.line, mirrorDefaults.line);
    QCOMPARE(mirror.amplitude, mirrorDefaults.amplitude);
    QCOMPARE(mirror.frequency, mirrorDefaults.frequency);
    QCOMPARE(mirror.phase, mirrorDefaults.phase);
    QCOMPARE(mirror.hardness, mirrorDefaults.hardness);
    QCOMPARE(mirror.depth, mirrorDefaults.depth);
    QCOMPARE(mirror.sideFade, mirrorDefaults.sideFade);
}

void TestLook::initialDarkDiffersOnlyInTone()
{
    const Look dark = Look::initialDark();
    QCOMPARE(differingFields(Look(), dark), (QStringList{"brightness", "saturation", "contrast"}));
    QCOMPARE(dark.tone(), Tone::defaultFor(Appearance::Dark));
}

// Every value is distinct, so a field declared out of order lands in the wrong place.
void TestLook::memberwiseConstruction()
{
    const Bitmap bitmap = solidBitmap(4, 3, 0x80);
    const Look look{bitmap,
                    QStringLiteral("photo-1"),
                    QStringLiteral("base"),
                    QStringLiteral("Foto: A · Unsplash"),
                    QStringLiteral("https://example.invalid/a"),
                    WallpaperStyle::Mirror,
                    80,
                    -0.3,
                    0.5,
                    1.4,
                    0.25,
                    QColor(Qt::red),
                    QColor(Qt::green),
                    QColor(Qt::blue),
                    2,
                    0.2,
                    2.5,
                    0.3,
                    0.4,
                    2.0,
                    0.6,
                    0.15,
                    3.0,
                    0.45,
                    0.35,
                    0.9,
                    0.85};
    QCOMPARE(look.source, std::optional<Bitmap>(bitmap));
    QCOMPARE(look.photoID, std::optional<QString>("photo-1"));
    QCOMPARE(look.baseName, std::optional<QString>("base"));
    QCOMPARE(look.attribution, std::optional<QString>("Foto: A · Unsplash"));
    QCOMPARE(look.attributionURL, std::optional<QString>("https://example.invalid/a"));
    QCOMPARE(look.style, WallpaperStyle::Mirror);
    QCOMPARE(look.blur, 80.0);
    QCOMPARE(look.brightness, -0.3);
    QCOMPARE(look.saturation, 0.5);
    QCOMPARE(look.contrast, 1.4);
    QCOMPARE(look.dither, 0.25);
    QCOMPARE(look.flowColor0, QColor(Qt::red));
    QCOMPARE(look.flowColor1, QColor(Qt::green));
    QCOMPARE(look.flowColor2, QColor(Qt::blue));
    QCOMPARE(look.flowBands, qint64(2));
    QCOMPARE(look.flowAmplitude, 0.2);
    QCOMPARE(look.flowFrequency, 2.5);
    QCOMPARE(look.flowSharpness, 0.3);
    QCOMPARE(look.flowEdgeSoftness, 0.4);
    QCOMPARE(look.flowPhase, 2.0);
    QCOMPARE(look.mirrorLine, 0.6);
    QCOMPARE(look.mirrorAmplitude, 0.15);
    QCOMPARE(look.mirrorFrequency, 3.0);
    QCOMPARE(look.mirrorPhase, 0.45);
    QCOMPARE(look.mirrorHardness, 0.35);
    QCOMPARE(look.mirrorDepth, 0.9);
    QCOMPARE(look.mirrorSideFade, 0.85);
    // All 27 fields differ from the defaults, which also checks that differingFields sees them.
    QCOMPARE(differingFields(Look(), look).size(), 27);
}

void TestLook::tone_data()
{
    QTest::addColumn<Appearance>("appearance");
    QTest::addColumn<double>("brightness");
    QTest::addColumn<double>("saturation");
    QTest::addColumn<double>("contrast");
    QTest::newRow("light") << Appearance::Light << 0.0 << 1.15 << 1.0;
    QTest::newRow("dark") << Appearance::Dark << -0.15 << 1.05 << 1.05;
}

void TestLook::tone()
{
    QFETCH(Appearance, appearance);
    QFETCH(double, brightness);
    QFETCH(double, saturation);
    QFETCH(double, contrast);
    const Tone tone = Tone::defaultFor(appearance);
    QCOMPARE(tone.brightness, brightness);
    QCOMPARE(tone.saturation, saturation);
    QCOMPARE(tone.contrast, contrast);
    // The appearance's initial look carries its own tone.
    const Look initial = appearance == Appearance::Light ? Look() : Look::initialDark();
    QCOMPARE(initial.tone(), tone);
}

// Seeding the other appearance copies a look and swaps in that appearance's tone; nothing else
// may change with it.
void TestLook::setToneKeepsEverythingElse()
{
    Look look;
    look.source = solidBitmap(2, 2, 0x40);
    look.photoID = QStringLiteral("/home/a/Bilder/see.jpg");
    look.style = WallpaperStyle::Flow;
    look.blur = 70;
    look.brightness = 0.3;
    look.saturation = 0.2;
    look.contrast = 1.8;
    look.flowColor1 = QColor(10, 20, 30);
    Look seeded = look;
    seeded.setTone(Tone::defaultFor(Appearance::Dark));
    QCOMPARE(differingFields(look, seeded), (QStringList{"brightness", "saturation", "contrast"}));
    QCOMPARE(seeded.brightness, -0.15);
    QCOMPARE(seeded.saturation, 1.05);
    QCOMPARE(seeded.contrast, 1.05);
    QCOMPARE(seeded.source, look.source);
}

void TestLook::settingsPassValuesAsStored_data()
{
    QTest::addColumn<double>("blur");
    QTest::addColumn<double>("brightness");
    QTest::addColumn<double>("saturation");
    QTest::addColumn<double>("contrast");
    QTest::addColumn<double>("dither");
    QTest::newRow("typical") << 42.5 << -0.07 << 1.3 << 0.9 << 0.05;
    QTest::newRow("zeros") << 0.0 << 0.0 << 0.0 << 0.0 << 0.0;
    // No clamping: values outside the sliders' ranges reach the renderer as they are.
    QTest::newRow("out of range") << 250.0 << -3.5 << 7.0 << -1.0 << 12.0;
    QTest::newRow("tiny") << 1e-9 << -1e-12 << 1e-7 << 3e-8 << 2e-10;
}

void TestLook::settingsPassValuesAsStored()
{
    QFETCH(double, blur);
    QFETCH(double, brightness);
    QFETCH(double, saturation);
    QFETCH(double, contrast);
    QFETCH(double, dither);
    Look look;
    look.blur = blur;
    look.brightness = brightness;
    look.saturation = saturation;
    look.contrast = contrast;
    look.dither = dither;
    const BlurProcessor::Settings settings = look.settings();
    QCOMPARE(settings.blur, blur);
    QCOMPARE(settings.brightness, brightness);
    QCOMPARE(settings.saturation, saturation);
    QCOMPARE(settings.contrast, contrast);
    QCOMPARE(settings.dither, dither);
}

void TestLook::flowSettingsHaveThreeColorsInOrder()
{
    Look look;
    look.flowColor0 = QColor::fromRgbF(0.1f, 0.2f, 0.3f);
    look.flowColor1 = QColor::fromRgbF(0.4f, 0.5f, 0.6f, 0.5f);
    look.flowColor2 = QColor::fromRgbF(0.7f, 0.8f, 0.9f, 0.0f);
    // Two bands still hand over all three colours; the renderer picks what it needs.
    look.flowBands = 2;
    const FlowProcessor::Settings flow = look.flowSettings();
    QCOMPARE(flow.colors.size(), size_t(3));
    const RenderColor expected[3] = {{0.1, 0.2, 0.3, 1}, {0.4, 0.5, 0.6, 1}, {0.7, 0.8, 0.9, 1}};
    for (int i = 0; i < 3; ++i)
        QVERIFY2(sameColor(flow.colors.at(i), expected[i], 1e-4), describe(flow.colors.at(i)));
}

void TestLook::flowSettingsPassValuesAsStored_data()
{
    QTest::addColumn<qint64>("bands");
    QTest::addColumn<double>("amplitude");
    QTest::addColumn<double>("frequency");
    QTest::addColumn<double>("sharpness");
    QTest::addColumn<double>("edgeSoftness");
    QTest::addColumn<double>("phase");
    QTest::addColumn<double>("dither");
    QTest::newRow("two bands") << qint64(2) << 0.2 << 1.5 << 0.6 << 0.3 << 2.5 << 0.04;
    QTest::newRow("three bands") << qint64(3) << 0.05 << 0.5 << 1.0 << 1.0 << 0.0 << 0.2;
    QTest::newRow("many bands") << qint64(9) << 0.11 << 1.0 << 0.8 << 0.7 << 1.0 << 0.1;
    QTest::newRow("out of range") << qint64(-4) << -2.0 << 40.0 << -0.5 << 3.0 << -7.25 << -1.0;
    QTest::newRow("huge band count")
        << std::numeric_limits<qint64>::max() << 0.1 << 1.0 << 0.8 << 0.7 << 1.0 << 0.1;
}

void TestLook::flowSettingsPassValuesAsStored()
{
    QFETCH(qint64, bands);
    QFETCH(double, amplitude);
    QFETCH(double, frequency);
    QFETCH(double, sharpness);
    QFETCH(double, edgeSoftness);
    QFETCH(double, phase);
    QFETCH(double, dither);
    Look look;
    look.flowBands = bands;
    look.flowAmplitude = amplitude;
    look.flowFrequency = frequency;
    look.flowSharpness = sharpness;
    look.flowEdgeSoftness = edgeSoftness;
    look.flowPhase = phase;
    look.dither = dither;
    const FlowProcessor::Settings flow = look.flowSettings();
    QCOMPARE(flow.bands, bands);
    QCOMPARE(flow.amplitude, amplitude);
    QCOMPARE(flow.frequency, frequency);
    QCOMPARE(flow.sharpness, sharpness);
    QCOMPARE(flow.edgeSoftness, edgeSoftness);
    QCOMPARE(flow.phase, phase);
    QCOMPARE(flow.dither, dither);
    QCOMPARE(flow.colors.size(), size_t(3));
}

void TestLook::mirrorSettingsPassValuesAsStored_data()
{
    QTest::addColumn<double>("line");
    QTest::addColumn<double>("amplitude");
    QTest::addColumn<double>("frequency");
    QTest::addColumn<double>("phase");
    QTest::addColumn<double>("hardness");
    QTest::addColumn<double>("depth");
    QTest::addColumn<double>("sideFade");
    QTest::newRow("typical") << 0.4 << 0.08 << 2.0 << 0.5 << 0.6 << 0.2 << 0.75;
    QTest::newRow("zeros") << 0.0 << 0.0 << 0.0 << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("out of range") << 1.5 << -0.3 << 25.0 << -9.0 << 4.0 << -0.5 << 2.0;
}

void TestLook::mirrorSettingsPassValuesAsStored()
{
    QFETCH(double, line);
    QFETCH(double, amplitude);
    QFETCH(double, frequency);
    QFETCH(double, phase);
    QFETCH(double, hardness);
    QFETCH(double, depth);
    QFETCH(double, sideFade);
    Look look;
    look.mirrorLine = line;
    look.mirrorAmplitude = amplitude;
    look.mirrorFrequency = frequency;
    look.mirrorPhase = phase;
    look.mirrorHardness = hardness;
    look.mirrorDepth = depth;
    look.mirrorSideFade = sideFade;
    const MirrorProcessor::Settings mirror = look.mirrorSettings();
    QCOMPARE(mirror.line, line);
    QCOMPARE(mirror.amplitude, amplitude);
    QCOMPARE(mirror.frequency, frequency);
    QCOMPARE(mirror.phase, phase);
    QCOMPARE(mirror.hardness, hardness);
    QCOMPARE(mirror.depth, depth);
    QCOMPARE(mirror.sideFade, sideFade);
}

void TestLook::colorConversion_data()
{
    QTest::addColumn<QColor>("color");
    QTest::addColumn<double>("red");
    QTest::addColumn<double>("green");
    QTest::addColumn<double>("blue");
    QTest::addColumn<double>("tolerance");
    QTest::newRow("opaque sRGB") << QColor::fromRgbF(0.25f, 0.5f, 0.75f) << 0.25 << 0.5 << 0.75
                                 << 1e-4;
    QTest::newRow("8-bit sRGB") << QColor(51, 102, 255) << 0.2 << 0.4 << 1.0 << 1e-6;
    QTest::newRow("translucent") << QColor::fromRgbF(0.9f, 0.1f, 0.3f, 0.4f) << 0.9 << 0.1 << 0.3
                                 << 1e-4;
    QTest::newRow("fully transparent")
        << QColor::fromRgbF(0.6f, 0.6f, 0.2f, 0.0f) << 0.6 << 0.6 << 0.2 << 1e-4;
    QTest::newRow("black") << QColor(Qt::black) << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("white") << QColor(Qt::white) << 1.0 << 1.0 << 1.0 << 0.0;
    QTest::newRow("invalid") << QColor() << 0.5 << 0.5 << 0.5 << 0.0;
    QTest::newRow("HSV red") << QColor::fromHsvF(0.0f, 1.0f, 1.0f) << 1.0 << 0.0 << 0.0 << 1e-4;
    QTest::newRow("HSL cyan, half alpha")
        << QColor::fromHslF(0.5f, 1.0f, 0.5f, 0.5f) << 0.0 << 1.0 << 1.0 << 1e-4;
    QTest::newRow("CMYK magenta") << QColor::fromCmykF(0.0f, 1.0f, 0.0f, 0.0f) << 1.0 << 0.0 << 1.0
                                  << 1e-4;
    // Extended sRGB keeps components outside [0, 1]; it is stored in half floats.
    QTest::newRow("extended sRGB")
        << QColor::fromRgbF(1.25f, -0.125f, 0.5f) << 1.25 << -0.125 << 0.5 << 1e-3;
}

void TestLook::colorConversion()
{
    QFETCH(QColor, color);
    QFETCH(double, red);
    QFETCH(double, green);
    QFETCH(double, blue);
    QFETCH(double, tolerance);
    const RenderColor converted = asCIColor(color);
    QVERIFY2(sameColor(converted, {red, green, blue, 1}, tolerance), describe(converted));
    QCOMPARE(converted.alpha, 1.0);
}

QTEST_GUILESS_MAIN(TestLook)
#include "tst_look.moc"
