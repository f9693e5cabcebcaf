#include "model/look.h"
#include "model/palette.h"
#include "model/renderpipeline.h"
#include "output/dynamicwallpaper.h"
#include "render/flowprocessor.h"
#include "render/imagedecoder.h"
#include "support/heicreader.h"
#include "support/testdata.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <plist/plist.h>

namespace {

Bitmap flat(int width, int height, double r, double g, double b)
{
    FlowProcessor::Settings s;
    s.colors = {{r, g, b, 1}};
    s.dither = 0;
    return *FlowProcessor::render(QSizeF(width, height), s, true);
}

// The rdf:Description attributes in the apple_desktop namespace, by local name.
QMap<QString, QString> desktopAttributes(const QByteArray &xmp)
{
    QMap<QString, QString> out;
    QXmlStreamReader xml(xmp);
    while (!xml.atEnd() && !xml.hasError()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("Description"))
            for (const QXmlStreamAttribute &a : xml.attributes())
                if (a.namespaceUri() == DynamicWallpaper::namespaceUri())
                    out.insert(a.name().toString(), a.value().toString());
    }
    return out;
}

// A parsed dictionary {l, d} as integers; -1 where a key is missing or not an integer.
QPair<qint64, qint64> lightDark(plist_t dict)
{
    const auto value = [dict](const char *key) -> qint64 {
        plist_t node = dict ? plist_dict_get_item(dict, key) : nullptr;
        if (!node || plist_get_node_type(node) != PLIST_UINT)
            return -1;
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        return qint64(v);
    };
    return {value("l"), value("d")};
}

plist_t parseBinary(const QByteArray &base64)
{
    const QByteArray bin = QByteArray::fromBase64(base64, QByteArray::AbortOnBase64DecodingErrors);
    if (!bin.startsWith("bplist00"))
        return nullptr;
    plist_t root = nullptr;
    plist_from_bin(bin.constData(), uint32_t(bin.size()), &root);
    return root;
}

} // namespace

class TestDynamicWallpaper : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void layoutAndMetadata();
    void sizesRoundTrip_data();
    void sizesRoundTrip();
    void stylesRoundTripCleanly_data();
    void stylesRoundTripCleanly();
    void failuresLeaveDestinationAlone_data();
    void failuresLeaveDestinationAlone();
    void foreignReadersAgree();

private:
    QTemporaryDir m_dir;
};

void TestDynamicWallpaper::layoutAndMetadata()
{
    const QString path = m_dir.filePath(QStringLiteral("layout.heic"));
    // Light is red, dark is blue, so each picture is recognisable after decoding.
    QVERIFY(!DynamicWallpaper::writeHEIC(flat(128, 72, 0.9, 0.1, 0.1), flat(128, 72, 0.1, 0.1, 0.9),
                                         path));
    const HeicFile file = readHeic(path);
    QVERIFY(file.readable);
    QCOMPARE(file.pictures.size(), 2);
    const HeicPicture &light = file.pictures[0], &dark = file.pictures[1];
    QVERIFY(light.primary);
    QVERIFY(!dark.primary);
    QVERIFY(light.pixels.pixelColor(64, 36).red() > 200);
    QVERIFY(dark.pixels.pixelColor(64, 36).blue() > 200);
    QCOMPARE(light.xmp.size(), 1);
    QCOMPARE(dark.xmp.size(), 0);

    const auto attributes = desktopAttributes(light.xmp.first());
    QCOMPARE(attributes.keys(),
             (QStringList{QStringLiteral("apple_desktop"), QStringLiteral("apr")}));
    plist_t apr = parseBinary(attributes.value(QStringLiteral("apr")).toLatin1());
    QVERIFY(apr);
    QCOMPARE(plist_get_node_type(apr), PLIST_DICT);
    QCOMPARE(plist_dict_get_size(apr), 2u);
    QCOMPARE(lightDark(apr), (QPair<qint64, qint64>{0, 1}));
    plist_free(apr);
    plist_t wrapper = parseBinary(attributes.value(QStringLiteral("apple_desktop")).toLatin1());
    QVERIFY(wrapper);
    QCOMPARE(plist_dict_get_size(wrapper), 1u);
    QCOMPARE(lightDark(plist_dict_get_item(wrapper, "ap")), (QPair<qint64, qint64>{0, 1}));
    plist_free(wrapper);
}

void TestDynamicWallpaper::sizesRoundTrip_data()
{
    QTest::addColumn<QSize>("light");
    QTest::addColumn<QSize>("dark");
    QTest::newRow("one pixel") << QSize(1, 1) << QSize(1, 1);
    QTest::newRow("odd sizes") << QSize(67, 35) << QSize(301, 199);
    QTest::newRow("light and dark differ") << QSize(640, 360) << QSize(320, 480);
    QTest::newRow("odd full size") << QSize(6017, 3385) << QSize(64, 64);
}

// Odd and tiny sizes are padded for the encoder; the file must still say the real size.
void TestDynamicWallpaper::sizesRoundTrip()
{
    QFETCH(QSize, light);
    QFETCH(QSize, dark);
    const QString path = m_dir.filePath(QStringLiteral("sizes.heic"));
    QVERIFY(!DynamicWallpaper::writeHEIC(flat(light.width(), light.height(), 0.2, 0.6, 0.4),
                                         flat(dark.width(), dark.height(), 0.7, 0.3, 0.1), path));
    const HeicFile file = readHeic(path);
    QCOMPARE(file.pictures.size(), 2);
    QCOMPARE(file.pictures[0].pixels.size(), light);
    QCOMPARE(file.pictures[1].pixels.size(), dark);
    const QColor corner = file.pictures[0].pixels.pixelColor(light.width() - 1, light.height() - 1);
    QVERIFY(std::abs(corner.green() - int(std::round(0.6 * 255))) <= 3);
}

void TestDynamicWallpaper::stylesRoundTripCleanly_data()
{
    QTest::addColumn<QString>("photo");
    for (const QString &path : TestData::photos())
        QTest::newRow(qPrintable(QFileInfo(path).fileName())) << path;
}

// Each style of each test photo comes back within 42 dB of its render.
void TestDynamicWallpaper::stylesRoundTripCleanly()
{
    QFETCH(QString, photo);
    const Bitmap source = ImageDecoder::decodeFile(photo).bitmap();
    QVERIFY(!source.isNull());
    Look light;
    light.source = source;
    const auto palette = Palette::extractPalette(source);
    light.flowColor0 = palette[0];
    light.flowColor1 = palette[1];
    light.flowColor2 = palette[2];
    Look dark = light;
    dark.setTone(Tone::defaultFor(Appearance::Dark));
    const QSizeF size(960, 540);
    for (const WallpaperStyle style : allCases<WallpaperStyle>()) {
        light.style = dark.style = style;
        const auto a = RenderPipeline::renderCG(light, size, true);
        const auto b = RenderPipeline::renderCG(dark, size, true);
        QVERIFY(a && b);
        const QString path = m_dir.filePath(QStringLiteral("style.heic"));
        QVERIFY(!DynamicWallpaper::writeHEIC(*a, *b, path));
        const HeicFile file = readHeic(path);
        QCOMPARE(file.pictures.size(), 2);
        const double pl = psnr(*a, file.pictures[0].pixels), pd = psnr(*b, file.pictures[1].pixels);
        QVERIFY2(pl >= 42 && pd >= 42,
                 qPrintable(QStringLiteral("%1: %2 / %3 dB").arg(rawValue(style)).arg(pl).arg(pd)));
    }
}

void TestDynamicWallpaper::failuresLeaveDestinationAlone_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<bool>("darkMissing");
    QTest::addColumn<int>("error");
    QTest::newRow("folder missing")
        << "missing/out.heic" << false << int(WallpaperError::Destination);
    QTest::newRow("parent is a file")
        << "plain.txt/out.heic" << false << int(WallpaperError::Destination);
    QTest::newRow("encoding fails over an earlier file")
        << "earlier.heic" << true << int(WallpaperError::Finalize);
}

void TestDynamicWallpaper::failuresLeaveDestinationAlone()
{
    QFETCH(QString, relativePath);
    QFETCH(bool, darkMissing);
    QFETCH(int, error);
    QTemporaryDir dir;
    QFile plain(dir.filePath(QStringLiteral("plain.txt")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString path = dir.filePath(relativePath);
    const QByteArray earlier("an earlier wallpaper");
    if (relativePath == QLatin1String("earlier.heic")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(earlier);
    }
    const QStringList before =
        QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    const auto result = DynamicWallpaper::writeHEIC(
        flat(64, 64, 1, 0, 0), darkMissing ? Bitmap() : flat(64, 64, 0, 0, 1), path);
    QVERIFY(result);
    QCOMPARE(int(*result), error);
    QVERIFY(!description(*result).isEmpty());
    // Nothing new beside it, and an earlier file unchanged byte for byte.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             before);
    if (relativePath == QLatin1String("earlier.heic")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), earlier);
    }
}

void TestDynamicWallpaper::foreignReadersAgree()
{
    const QString path = m_dir.filePath(QStringLiteral("foreign.heic"));
    QVERIFY(!DynamicWallpaper::writeHEIC(flat(200, 100, 0.5, 0.5, 0.5),
                                         flat(200, 100, 0.1, 0.1, 0.1), path));
    const QString exiftool = QStandardPaths::findExecutable(QStringLiteral("exiftool"));
    const QString heifInfo = QStandardPaths::findExecutable(QStringLiteral("heif-info"));
    if (exiftool.isEmpty() || heifInfo.isEmpty())
        QSKIP("exiftool or heif-info missing (scripts/deps.sh installs them)");
    QProcess p;
    p.start(exiftool, {QStringLiteral("-G1"), QStringLiteral("-s"),
                       QStringLiteral("-XMP-apple_desktop:all"), path});
    QVERIFY(p.waitForFinished(60000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY2(out.contains(QStringLiteral("[XMP-apple_desktop] Apr")), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("[XMP-apple_desktop] Apple_desktop")), qPrintable(out));
    p.start(heifInfo, {path});
    QVERIFY(p.waitForFinished(60000));
    const QString info = QString::fromUtf8(p.readAllStandardOutput());
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(info.count(QStringLiteral("image: 200x100")), 2);
    QVERIFY2(info.contains(QStringLiteral("(id=1), primary")), qPrintable(info));
}

QTEST_GUILESS_MAIN(TestDynamicWallpaper)
#include "tst_dynamicwallpaper.moc"
