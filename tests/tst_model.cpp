// The model's values: look fields, output and preview sizes, screens, palette, file names.

#include "files/filenames.h"
#include "model/lookfields.h"
#include "model/palette.h"
#include "model/renderpipeline.h"
#include "sources/unsplashphoto.h"
#include "support/rows.h"

#include <QtTest>

using namespace Qt::StringLiterals;
using RenderPipeline::PixelSize;
// Looks are written with designated initializers; the fields left out keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

class TestModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The entry chosen in the picker and the custom width and height: the label shown, and the
    // preview size, unrounded with the aspect kept and the longer side at most 1800.
    void pixelSizeAndPreview_data()
    {
        // exportable: within the size and pixel limits
        addColumns<QString, qint64, qint64, QString, QSizeF, bool>(
            {"preset", "customWidth", "customHeight", "label", "preview", "exportable"});
        const auto row = [](const QString &preset, qint64 w, qint64 h, const QString &label,
                            QSizeF preview, bool exportable = true) {
            QTest::newRow(qPrintable(label)) << preset << w << h << label << preview << exportable;
        };
        const QString custom = u"Eigene Größe…"_s;
        // clang-format off
        // The custom size counts only for the custom entry.
        row(u"Pro Display XDR — 6016 × 3384"_s, 800, 600, u"6016 × 3384 px · 20.4 MP"_s, {1800, 1012.5});
        row(custom, 100, 1801, u"100 × 1801 px · 0.2 MP"_s, {99.94447529150472, 1800});
        // 1800 / 2122 × 2122 is 1800.0000000000002 in doubles.
        row(custom, 2122, 1000, u"2122 × 1000 px · 2.1 MP"_s, {1800, 848.2563619227145});
        row(custom, 1, 100000, u"1 × 100000 px · 0.1 MP"_s, {0.018, 1800}, false);
        // libvips reads no HEIC back from 16384 a side; 100 MP keep an export within 4 GB.
        row(custom, 16383, 6103, u"16383 × 6103 px · 100.0 MP"_s, {1800, 670.536531770738});
        row(custom, 16384, 6103, u"16384 × 6103 px · 100.0 MP"_s, {1800, 670.49560546875}, false);
        row(custom, 12000, 9000, u"12000 × 9000 px · 108.0 MP"_s, {1800, 1350}, false);
        // Below 1 counts as 1; the upper bounds are the export's, not the size's.
        row(custom, std::numeric_limits<qint64>::min(), 7, u"1 × 7 px · 0.0 MP"_s, {1, 7});
        // clang-format on
    }

    void pixelSizeAndPreview()
    {
        FETCH((QString, preset, label), (qint64, customWidth, customHeight), (QSizeF, preview),
              (bool, exportable));
        // The figures ignore the locale: a German default would show if they did not.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QList<ResolutionPreset> &all = ResolutionPreset::all();
        const auto it = std::find_if(all.begin(), all.end(),
                                     [&](const ResolutionPreset &p) { return p.name == preset; });
        QVERIFY(it != all.end());
        const PixelSize size = RenderPipeline::pixelSize(*it, customWidth, customHeight);
        QCOMPARE(RenderPipeline::pixelSizeLabel(size), label);
        const QSizeF scaled = RenderPipeline::previewSize(size);
        QCOMPARE(scaled, preview);
        QVERIFY(std::max(scaled.width(), scaled.height()) <= 1800); // not even by an ulp
        const std::optional<QString> error = RenderPipeline::sizeError(size);
        QCOMPARE(!error, exportable);
    }

    void lookFields_data()
    {
        // error: the start of the German message; empty: accepted (every field's own value
        // read back: tst_workflows dailyFromTheMenu; NaN refused: tst_voskanrender)
        addColumns<QString, QString, Look, QString>({"field", "value", "expected", "error"});
        // clang-format off
        QTest::newRow("colour") << u"flowColor2"_s << u"#ff8800"_s << Look{.flowColor2 = QColor(255, 136, 0)} << QString();
        QTest::newRow("unknown") << u"blurr"_s << u"3"_s << Look() << u"Unbekanntes Feld „blurr“. Bekannt sind: style, blur, brightness,"_s;
        QTest::newRow("decimal comma") << u"blur"_s << u"3,5"_s << Look() << u"Ungültiger Wert für „blur“: „3,5“"_s;
        QTest::newRow("colour name") << u"flowColor1"_s << u"red"_s << Look() << u"Ungültiger Wert für „flowColor1“: „red“"_s;
        QTest::newRow("at the bound") << u"mirrorPhase"_s << u"-1000"_s << Look{.mirrorPhase = -1000} << QString();
        QTest::newRow("too large") << u"blur"_s << u"1e12"_s << Look() << u"Ungültiger Wert für „blur“: „1e12“ (erlaubt ist eine Zahl von 0 bis 1000)"_s;
        QTest::newRow("style label") << u"style"_s << u"Spiegel"_s << Look() << u"Ungültiger Wert für „style“: „Spiegel“"_s;
        // clang-format on
    }

    void lookFields()
    {
        FETCH((QString, field, value, error), (Look, expected));
        Look look;
        QString message;
        QCOMPARE(LookFields::set(look, field, value, &message), error.isEmpty());
        QCOMPARE(look, expected);
        QVERIFY2(error.isEmpty() ? message.isEmpty() : message.startsWith(error),
                 qPrintable(message));
    }

    // Each band's average made livelier (saturation × 1.35 + 0.06, brightness at least 0.28), the
    // bottom band first as the flow style paints it. Expected values worked out by hand.
    void palette()
    {
        QImage image(30, 90, QImage::Format_RGBA8888);
        image.fill(QColor(100, 100, 100)); // bottom, middle black, top muted green
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 30; ++x)
                image.setPixelColor(x, y, y < 30 ? QColor(60, 120, 60) : QColor(Qt::black));
        const auto palette = Palette::extractPalette(Bitmap::fromImage(image));
        QCOMPARE(palette[0].name(), u"#645e5e"_s); // grey gets a faint tint: s 0.06
        QCOMPARE(palette[1].name(), u"#474343"_s); // black is lifted: v 0.28, s 0.06
        QCOMPARE(palette[2].name(), u"#207820"_s); // muted green: s 0.5 → 0.735
    }

    // A photo from the search is named by the service's slug, else by its description made safe
    // for file names, with the id.
    void unsplashBaseName_data()
    {
        using S = std::optional<QString>;
        addColumns<S, S, QString>({"slug", "altDescription", "name"});
        const QString a59 = u"a"_s.repeated(59);
        // clang-format off
        QTest::newRow("the service's slug as it is") << S(u"Berg-See!"_s) << S(u"Schnee"_s) << u"Berg-See!"_s;
        QTest::newRow("German title") << S() << S(u"Grüne Wiese -- Über den  Morgen!"_s) << u"grüne-wiese-über-den-morgen-a1B2"_s;
        QTest::newRow("punctuation only: still a name") << S() << S(u"?!.,;:—«»()"_s) << u"-a1B2"_s;
        QTest::newRow("neither") << S() << S() << u"unsplash-a1B2"_s;
        QTest::newRow("cut on a separator keeps it") << S() << S(a59 + u" bcd"_s) << a59 + u"--a1B2"_s;
        // Judged and counted by the character a person sees: marks, keycaps and letters beyond the
        // basic plane stay whole; emoji, punctuation and half a surrogate pair are separators.
        QTest::newRow("scripts, marks, emoji") << S() << S(u"¡Cafe\u0301 Ж東 ٢² 1\ufe0f\u20e3 \U0001F305 \U00010400!"_s) << u"cafe\u0301-ж東-٢²-1\ufe0f\u20e3-\U00010428-a1B2"_s;
        QTest::newRow("half a surrogate pair") << S() << S(u"a"_s + QChar(0xd800) + u"b"_s) << u"a-b-a1B2"_s;
        QTest::newRow("cut after 60 characters, not code units") << S() << S(a59 + u"e\u0301e"_s) << a59 + u"e\u0301-a1B2"_s;
        // clang-format on
    }

    void unsplashBaseName()
    {
        FETCH((std::optional<QString>, slug, altDescription), (QString, name));
        const UnsplashPhoto photo{u"a1B2"_s,        slug,          6000, 4000, {},
                                  u"nie benutzt"_s, altDescription};
        QCOMPARE(photo.fileBaseName(), name);
    }

    void heicFileName_data()
    {
        addColumns<QString, QString>({"chosen", "written"});
        // clang-format off
        QTest::newRow("upper case") << "/home/a/BILD.HEIC" << "/home/a/BILD.HEIC";
        QTest::newRow("none") << "/home/a/bild" << "/home/a/bild.heic";
        QTest::newRow("JPG") << "/home/a/bild.JPG" << "/home/a/bild.heic";
        QTest::newRow("not a picture") << "/home/a/notizen.txt" << "/home/a/notizen.txt.heic";
        QTest::newRow("all suffix") << "/home/a/.png" << "/home/a/.png.heic";
        QTest::newRow("a dot in the folder") << "/home/a.b/bild" << "/home/a.b/bild.heic";
        QTest::newRow("ends in a dot") << "/home/a/bild." << "/home/a/bild.heic";
        // clang-format on
    }

    void heicFileName()
    {
        FETCH((QString, chosen, written));
        QCOMPARE(FileNames::heicFileName(chosen), written);
    }
};

QTEST_GUILESS_MAIN(TestModel)
#include "tst_model.moc"
