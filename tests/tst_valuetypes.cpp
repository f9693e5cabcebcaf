#include "model/exporterror.h"
#include "model/valuetypes.h"

#include <QSet>
#include <QTest>

using OptionalStyle = std::optional<WallpaperStyle>;
using OptionalAppearance = std::optional<Appearance>;
using OptionalKind = std::optional<SourceKind>;
using OptionalSource = std::optional<ImageSource>;

class TestValueTypes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void styleTexts_data();
    void styleTexts();
    void appearanceTexts_data();
    void appearanceTexts();
    void sourceKindTexts_data();
    void sourceKindTexts();
    void caseOrder();
    void rawValuesRejected_data();
    void rawValuesRejected();
    void otherAppearance();

    void imageSourceEquality_data();
    void imageSourceEquality();
    void imageSourceInSet();
    void imageSourceKind_data();
    void imageSourceKind();

    void presetTable_data();
    void presetTable();
    void presetIsCustom_data();
    void presetIsCustom();
    void proDisplayXDRIsFirstRow();
    void presetEquality_data();
    void presetEquality();
    void presetsAreDistinctKeys();

    void exportErrorDescriptions_data();
    void exportErrorDescriptions();
};

// Each case must round-trip through its raw value, so a typo in either direction shows up.
void TestValueTypes::styleTexts_data()
{
    QTest::addColumn<WallpaperStyle>("style");
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("label");
    QTest::newRow("blur") << WallpaperStyle::Blur << "blur"
                          << "Blur";
    QTest::newRow("flow") << WallpaperStyle::Flow << "flow"
                          << "Flow";
    QTest::newRow("mirror") << WallpaperStyle::Mirror << "mirror"
                            << "Spiegel";
}

void TestValueTypes::styleTexts()
{
    QFETCH(WallpaperStyle, style);
    QFETCH(QString, raw);
    QFETCH(QString, label);
    QCOMPARE(rawValue(style), raw);
    QCOMPARE(id(style), raw);
    QCOMPARE(::label(style), label);
    QCOMPARE(fromRawValue<WallpaperStyle>(raw), OptionalStyle(style));
}

void TestValueTypes::appearanceTexts_data()
{
    QTest::addColumn<Appearance>("appearance");
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("label");
    QTest::newRow("light") << Appearance::Light << "light"
                           << "Hell";
    QTest::newRow("dark") << Appearance::Dark << "dark"
                          << "Dunkel";
}

void TestValueTypes::appearanceTexts()
{
    QFETCH(Appearance, appearance);
    QFETCH(QString, raw);
    QFETCH(QString, label);
    QCOMPARE(rawValue(appearance), raw);
    QCOMPARE(id(appearance), raw);
    QCOMPARE(::label(appearance), label);
    QCOMPARE(fromRawValue<Appearance>(raw), OptionalAppearance(appearance));
}

void TestValueTypes::sourceKindTexts_data()
{
    QTest::addColumn<SourceKind>("kind");
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("label");
    QTest::newRow("unsplash") << SourceKind::Unsplash << "unsplash"
                              << "Unsplash";
    QTest::newRow("files") << SourceKind::Files << "files"
                           << "Dateien";
    QTest::newRow("photos") << SourceKind::Photos << "photos"
                            << "Fotos";
}

void TestValueTypes::sourceKindTexts()
{
    QFETCH(SourceKind, kind);
    QFETCH(QString, raw);
    QFETCH(QString, label);
    QCOMPARE(rawValue(kind), raw);
    QCOMPARE(id(kind), raw);
    QCOMPARE(::label(kind), label);
    QCOMPARE(fromRawValue<SourceKind>(raw), OptionalKind(kind));
}

// The pickers offer the cases in this order.
void TestValueTypes::caseOrder()
{
    QCOMPARE(allCases<WallpaperStyle>(),
             (QList<WallpaperStyle>{WallpaperStyle::Blur, WallpaperStyle::Flow,
                                    WallpaperStyle::Mirror}));
    QCOMPARE(allCases<Appearance>(), (QList<Appearance>{Appearance::Light, Appearance::Dark}));
    QCOMPARE(allCases<SourceKind>(),
             (QList<SourceKind>{SourceKind::Unsplash, SourceKind::Files, SourceKind::Photos}));
}

// Raw values come from stored settings; only exact matches may be accepted.
void TestValueTypes::rawValuesRejected_data()
{
    QTest::addColumn<QString>("raw");
    QTest::newRow("empty") << QString();
    QTest::newRow("capitalised light") << "Light";
    QTest::newRow("upper-case dark") << "DARK";
    QTest::newRow("capitalised blur") << "Blur";
    QTest::newRow("label instead of raw value") << "Spiegel";
    QTest::newRow("leading space") << " flow";
    QTest::newRow("trailing space") << "files ";
    QTest::newRow("prefix") << "mirr";
    QTest::newRow("case name of ImageSource") << "album";
    QTest::newRow("label Fotos") << "Fotos";
}

void TestValueTypes::rawValuesRejected()
{
    QFETCH(QString, raw);
    QCOMPARE(fromRawValue<WallpaperStyle>(raw), OptionalStyle());
    QCOMPARE(fromRawValue<Appearance>(raw), OptionalAppearance());
    QCOMPARE(fromRawValue<SourceKind>(raw), OptionalKind());
}

void TestValueTypes::otherAppearance()
{
    QCOMPARE(other(Appearance::Light), Appearance::Dark);
    QCOMPARE(other(Appearance::Dark), Appearance::Light);
}

void TestValueTypes::imageSourceEquality_data()
{
    QTest::addColumn<ImageSource>("a");
    QTest::addColumn<ImageSource>("b");
    QTest::addColumn<bool>("equal");
    const auto album = &ImageSource::album;
    QTest::newRow("unsplash, unsplash")
        << ImageSource::unsplash() << ImageSource::unsplash() << true;
    QTest::newRow("files, files") << ImageSource::files() << ImageSource::files() << true;
    QTest::newRow("unsplash, files") << ImageSource::unsplash() << ImageSource::files() << false;
    QTest::newRow("same album") << album("A1", "Urlaub") << album("A1", "Urlaub") << true;
    QTest::newRow("same id, other title")
        << album("A1", "Urlaub") << album("A1", "Urlaub 2023") << false;
    QTest::newRow("same title, other id")
        << album("A1", "Urlaub") << album("A2", "Urlaub") << false;
    QTest::newRow("id and title swapped") << album("x", "y") << album("y", "x") << false;
    QTest::newRow("placeholder album") << album({}, {}) << album({}, {}) << true;
    QTest::newRow("placeholder album, unsplash")
        << album({}, {}) << ImageSource::unsplash() << false;
    QTest::newRow("placeholder album, files") << album({}, {}) << ImageSource::files() << false;
}

void TestValueTypes::imageSourceEquality()
{
    QFETCH(ImageSource, a);
    QFETCH(ImageSource, b);
    QFETCH(bool, equal);
    QCOMPARE(a == b, equal);
    QCOMPARE(b == a, equal);
    QCOMPARE(a != b, !equal);
    if (equal)
        QCOMPARE(qHash(a, 7), qHash(b, 7));
}

// Hash and equality have to agree for the sources to work as keys.
void TestValueTypes::imageSourceInSet()
{
    QSet<ImageSource> sources{ImageSource::unsplash(),
                              ImageSource::files(),
                              ImageSource::album({}, {}),
                              ImageSource::album("A1", "Urlaub"),
                              ImageSource::album("A1", "Familie"),
                              ImageSource::album("A2", "Urlaub")};
    QCOMPARE(sources.size(), 6);
    sources << ImageSource::files() << ImageSource::album("A1", "Familie");
    QCOMPARE(sources.size(), 6);
    QVERIFY(sources.contains(ImageSource::album("A2", "Urlaub")));
    QVERIFY(!sources.contains(ImageSource::album("A2", "Familie")));
}

void TestValueTypes::imageSourceKind_data()
{
    QTest::addColumn<OptionalSource>("source");
    QTest::addColumn<SourceKind>("kind");
    QTest::newRow("no selection") << OptionalSource() << SourceKind::Unsplash;
    QTest::newRow("unsplash") << OptionalSource(ImageSource::unsplash()) << SourceKind::Unsplash;
    QTest::newRow("files") << OptionalSource(ImageSource::files()) << SourceKind::Files;
    QTest::newRow("album") << OptionalSource(ImageSource::album("A1", "Urlaub"))
                           << SourceKind::Photos;
    QTest::newRow("placeholder album")
        << OptionalSource(ImageSource::album({}, {})) << SourceKind::Photos;
}

void TestValueTypes::imageSourceKind()
{
    QFETCH(OptionalSource, source);
    QFETCH(SourceKind, kind);
    QCOMPARE(sourceKind(source), kind);
    if (source)
        QCOMPARE(source->sourceKind(), kind);
}

// The names are written out with their code points, so a look-alike character (x for ×,
// a hyphen for the dash, three dots for the ellipsis, a typographic inch mark) fails here.
void TestValueTypes::presetTable_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("width");
    QTest::addColumn<qint64>("height");
    const QList<std::tuple<const char16_t *, qint64, qint64>> rows{
        {u"Pro Display XDR \u2014 6016 \u00d7 3384", 6016, 3384},
        {u"Studio Display 5K \u2014 5120 \u00d7 2880", 5120, 2880},
        {u"iMac 24\u0022 4.5K \u2014 4480 \u00d7 2520", 4480, 2520},
        {u"MacBook Pro 16\u0022 \u2014 3456 \u00d7 2234", 3456, 2234},
        {u"MacBook Pro 14\u0022 \u2014 3024 \u00d7 1964", 3024, 1964},
        {u"MacBook Air 13\u0022 \u2014 2560 \u00d7 1664", 2560, 1664},
        {u"4K UHD \u2014 3840 \u00d7 2160", 3840, 2160},
        {u"Full HD \u2014 1920 \u00d7 1080", 1920, 1080},
        {u"Eigene Gr\u00f6\u00dfe\u2026", 0, 0},
    };
    for (int i = 0; i < rows.size(); ++i) {
        const auto &[name, width, height] = rows.at(i);
        QTest::addRow("row %d", i + 1) << i << QString::fromUtf16(name) << width << height;
    }
}

void TestValueTypes::presetTable()
{
    QFETCH(int, row);
    QFETCH(QString, name);
    QFETCH(qint64, width);
    QFETCH(qint64, height);
    const QList<ResolutionPreset> &all = ResolutionPreset::all();
    QCOMPARE(all.size(), 9);
    const ResolutionPreset &preset = all.at(row);
    QCOMPARE(preset.name, name);
    QCOMPARE(preset.id(), name);
    QCOMPARE(preset.width, width);
    QCOMPARE(preset.height, height);
    // Only the last row is the custom entry.
    QCOMPARE(preset.isCustom(), row == all.size() - 1);
}

void TestValueTypes::presetIsCustom_data()
{
    QTest::addColumn<qint64>("width");
    QTest::addColumn<qint64>("height");
    QTest::addColumn<bool>("custom");
    QTest::newRow("0 x 0") << qint64(0) << qint64(0) << true;
    QTest::newRow("width only") << qint64(1920) << qint64(0) << false;
    QTest::newRow("height only") << qint64(0) << qint64(1080) << false;
    QTest::newRow("negative width") << qint64(-1) << qint64(0) << false;
    QTest::newRow("both set") << qint64(1920) << qint64(1080) << false;
}

void TestValueTypes::presetIsCustom()
{
    QFETCH(qint64, width);
    QFETCH(qint64, height);
    QFETCH(bool, custom);
    QCOMPARE((ResolutionPreset{QStringLiteral("x"), width, height}.isCustom()), custom);
}

void TestValueTypes::proDisplayXDRIsFirstRow()
{
    const ResolutionPreset first = ResolutionPreset::all().constFirst();
    const ResolutionPreset xdr = ResolutionPreset::proDisplayXDR();
    QCOMPARE(xdr.name, first.name);
    QCOMPARE(xdr.width, first.width);
    QCOMPARE(xdr.height, first.height);
    QVERIFY(xdr == first);
}

void TestValueTypes::presetEquality_data()
{
    QTest::addColumn<ResolutionPreset>("a");
    QTest::addColumn<ResolutionPreset>("b");
    QTest::addColumn<bool>("equal");
    const ResolutionPreset hd{QStringLiteral("Full HD"), 1920, 1080};
    QTest::newRow("same") << hd << hd << true;
    QTest::newRow("other name") << hd << ResolutionPreset{QStringLiteral("HD"), 1920, 1080}
                                << false;
    QTest::newRow("other width") << hd << ResolutionPreset{hd.name, 1921, 1080} << false;
    QTest::newRow("other height") << hd << ResolutionPreset{hd.name, 1920, 1081} << false;
    QTest::newRow("width and height swapped")
        << hd << ResolutionPreset{hd.name, 1080, 1920} << false;
}

void TestValueTypes::presetEquality()
{
    QFETCH(ResolutionPreset, a);
    QFETCH(ResolutionPreset, b);
    QFETCH(bool, equal);
    QCOMPARE(a == b, equal);
    QCOMPARE(b == a, equal);
    if (equal)
        QCOMPARE(qHash(a, 3), qHash(b, 3));
}

// The picker keys its rows by preset.
void TestValueTypes::presetsAreDistinctKeys()
{
    const QList<ResolutionPreset> &all = ResolutionPreset::all();
    QSet<ResolutionPreset> keys(all.cbegin(), all.cend());
    QCOMPARE(keys.size(), all.size());
    for (const ResolutionPreset &preset : all)
        QVERIFY(keys.contains(ResolutionPreset{preset.name, preset.width, preset.height}));
}

void TestValueTypes::exportErrorDescriptions_data()
{
    QTest::addColumn<ExportError>("error");
    QTest::addColumn<QString>("text");
    QTest::newRow("noSource") << ExportError::NoSource
                              << QString::fromUtf16(u"Kein Quellbild ausgew\u00e4hlt.");
    QTest::newRow("renderFailed") << ExportError::RenderFailed
                                  << "Das Wallpaper konnte nicht gerendert werden.";
    QTest::newRow("encodeFailed") << ExportError::EncodeFailed
                                  << "Das Bild konnte nicht kodiert werden.";
}

void TestValueTypes::exportErrorDescriptions()
{
    QFETCH(ExportError, error);
    QFETCH(QString, text);
    QCOMPARE(description(error), text);
}

QTEST_GUILESS_MAIN(TestValueTypes)
#include "tst_valuetypes.moc"
