// The dynamic HEIC written: its pictures, XMP and appearance tags, gradients and grain.

#include "heic/dynamicwallpaper.h"
#include "support/heicreader.h"
#include "support/rows.h"
#include "support/scratch.h"

#include <QtTest>

#include <algorithm>
#include <cmath>

#include <plist/plist.h>

#include <sys/stat.h>

namespace {

// Left half `left`, the rest `right`: a picture cropped or padded on the wrong side shows it.
Bitmap halves(QSize size, QColor left, QColor right, bool deep)
{
    QImage image(size, deep ? QImage::Format_RGBA64 : QImage::Format_RGB32);
    image.fill(right);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width() / 2; ++x)
            image.setPixelColor(x, y, left);
    return Bitmap::fromImage(image);
}

bool near(QColor a, QColor b)
{
    return qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue()) < 30;
}

// Whether a Base64 binary property list is {l: 0, d: 1}, or {wrapper: {l: 0, d: 1}}.
bool mapsLightAndDark(const QString &base64, const char *wrapper = nullptr)
{
    const QByteArray bin = QByteArray::fromBase64(base64.toLatin1());
    plist_t root = nullptr;
    plist_from_bin(bin.constData(), uint32_t(bin.size()), &root);
    plist_t dict = !wrapper                         ? root
                   : plist_dict_get_size(root) == 1 ? plist_dict_get_item(root, wrapper)
                                                    : nullptr;
    uint64_t l = 9, d = 9;
    plist_get_uint_val(plist_dict_get_item(dict, "l"), &l);
    plist_get_uint_val(plist_dict_get_item(dict, "d"), &d);
    const bool ok = plist_dict_get_size(dict) == 2 && l == 0 && d == 1;
    plist_free(root);
    return ok;
}

// A vertical gradient from `top` to `bottom` (8-bit levels, fractional) with the render's grain:
// triangular noise of ±0.8 steps, the same in the three channels, rounded to 16 bits. Colour
// differs between the channels, so swapped or misweighted chroma shows.
Bitmap grainyGradient(QSize size, double top, double bottom, bool deep)
{
    QImage image(size, deep ? QImage::Format_RGBA64 : QImage::Format_RGBA8888);
    QRandomGenerator noise(7);
    for (int y = 0; y < size.height(); ++y) {
        const double level = top + (bottom - top) * y / std::max(1, size.height() - 1);
        for (int x = 0; x < size.width(); ++x) {
            const double grain = 0.8 * (noise.generateDouble() + noise.generateDouble() - 1);
            const auto channel = [&](double factor) {
                return std::clamp((level * factor + grain) / 255, 0.0, 1.0);
            };
            image.setPixelColor(
                x, y,
                QColor::fromRgbF(float(channel(1.0)), float(channel(0.8)), float(channel(0.6))));
        }
    }
    return Bitmap::fromImage(image);
}

double psnr(const Bitmap &bitmap, const QImage &decoded)
{
    const QImage original = bitmap.toImage().convertToFormat(QImage::Format_RGB888);
    double se = 0;
    for (int y = 0; y < original.height(); ++y)
        for (int x = 0; x < original.width() * 3; ++x) {
            const double e = original.constScanLine(y)[x] - decoded.constScanLine(y)[x];
            se += e * e;
        }
    return 10 * std::log10(255.0 * 255.0 * original.width() * original.height() * 3 / se);
}

// The longest run of one green level down the middle column: steps where the grain is lost.
int longestRun(const QImage &image)
{
    int run = 1, longest = 1;
    for (int y = 1; y < image.height(); ++y) {
        const int x = image.width() / 2;
        run = qGreen(image.pixel(x, y)) == qGreen(image.pixel(x, y - 1)) ? run + 1 : 1;
        longest = std::max(longest, run);
    }
    return longest;
}

} // namespace

class TestDynamicWallpaper : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writesHeic_data()
    {
        // dark: empty: no dark picture; target: in a folder that holds "earlier.heic"; error:
        // empty: written
        addColumns<QSize, QSize, bool, QString, QString>(
            {"light", "dark", "deep", "target", "error"});
        // clang-format off
    QTest::newRow("one pixel") << QSize(1, 1) << QSize(1, 1) << false << "new.heic" << "";
    QTest::newRow("odd sizes, 16 bit") << QSize(67, 35) << QSize(301, 199) << true << "new.heic" << "";
    QTest::newRow("sizes differ, over an earlier file") << QSize(640, 360) << QSize(320, 480) << false << "earlier.heic" << "";
    QTest::newRow("odd full size") << QSize(6017, 3385) << QSize(64, 64) << false << "new.heic" << "";
    QTest::newRow("through a link to an earlier file") << QSize(64, 64) << QSize(64, 64) << false << "link.heic" << "";
    QTest::newRow("folder missing") << QSize(64, 64) << QSize(64, 64) << false << "nirgends/x.heic" << "Der Zielordner existiert nicht.";
    QTest::newRow("a pipe, never replaced") << QSize(64, 64) << QSize(64, 64) << false << "pipe.heic" << "Am Ziel liegt keine gewöhnliche Datei (Gerät, Pipe oder Socket); sie bleibt, wie sie ist.";
    QTest::newRow("no dark picture, over an earlier file") << QSize(64, 64) << QSize() << false << "earlier.heic" << "HEIC konnte nicht geschrieben werden.";
        // clang-format on
    }

    void writesHeic()
    {
        FETCH((QSize, light, dark), (bool, deep), (QString, target, error));
        QTemporaryDir dir;
        QFile earlier(writeFile(dir.filePath("earlier.heic"), "ein altes Wallpaper"));
        QVERIFY(QFile::link("earlier.heic", dir.filePath("link.heic")));
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("pipe.heic")).constData(), 0600) == 0);
        const QString path = dir.filePath(target);

        const auto result = DynamicWallpaper::writeHEIC(
            halves(light, Qt::red, Qt::green, deep),
            dark.isEmpty() ? Bitmap() : halves(dark, Qt::blue, Qt::yellow, deep), path);
        QCOMPARE(result ? description(*result) : QString(), error);
        // Nothing half-written beside it; an earlier file is replaced whole or not at all.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList({"earlier.heic", "link.heic"}) +
                     QStringList(target == "new.heic", target) + QStringList{"pipe.heic"});
        // A link is written through and stays a link; a pipe stays a pipe.
        const bool replacesEarlier =
            error.isEmpty() && (target == "earlier.heic" || target == "link.heic");
        QVERIFY(earlier.open(QIODevice::ReadOnly) &&
                QFileInfo(dir.filePath("link.heic")).isSymLink());
        QCOMPARE(earlier.readAll() == "ein altes Wallpaper", !replacesEarlier);
        struct stat pipe;
        QVERIFY(::lstat(QFile::encodeName(dir.filePath("pipe.heic")).constData(), &pipe) == 0 &&
                S_ISFIFO(pipe.st_mode));
        if (!error.isEmpty())
            return;

        // libheif: light first and primary with the XMP, dark second without; real sizes kept.
        const HeicFile file = readHeic(path);
        QCOMPARE(file.pictures.size(), 2);
        QVERIFY(file.pictures[0].primary && !file.pictures[1].primary);
        QCOMPARE(file.pictures[0].xmp.size(), 1);
        QCOMPARE(file.pictures[1].xmp.size(), 0);
        QVERIFY(file.pictures[0].xmp[0].contains(
            "xmlns:apple_desktop=\"http://ns.apple.com/namespace/1.0/\""));
        const QList<QColor> colours{Qt::red, Qt::green, Qt::blue, Qt::yellow};
        for (int i = 0; i < 2; ++i) {
            const QImage &pixels = file.pictures[i].pixels;
            QCOMPARE(pixels.size(), i == 0 ? light : dark);
            const QColor first = pixels.pixelColor(0, 0);
            const QColor last = pixels.pixelColor(pixels.width() - 1, pixels.height() - 1);
            QVERIFY2(near(last, colours[2 * i + 1]), qPrintable(last.name()));
            QVERIFY2(pixels.width() < 2 || near(first, colours[2 * i]), qPrintable(first.name()));
        }

        // A foreign reader finds the appearance tags where macOS looks for them.
        const QJsonObject tags =
            QJsonDocument::fromJson(programOutput("exiftool",
                                                  {"-j", "-G1", "-XMP-apple_desktop:all", path},
                                                  QProcess::SeparateChannels))
                .array()
                .first()
                .toObject();
        QVERIFY(mapsLightAndDark(tags.value("XMP-apple_desktop:Apr").toString()));
        QVERIFY(mapsLightAndDark(tags.value("XMP-apple_desktop:Apple_desktop").toString(), "ap"));
    }

    // The default settings through x265 itself: x265 refuses some settings only when it
    // encodes, and the planes handed to it are made here, not by libheif.
    void keepsGradients_data()
    {
        // top: 8-bit level of the red channel at the top
        addColumns<QSize, double, double, bool>({"size", "top", "bottom", "deep"});
        // clang-format off
        QTest::newRow("64×64, the full coding tree") << QSize(64, 64) << 20.0 << 230.0 << true;
        QTest::newRow("31 wide, smaller coding trees") << QSize(31, 160) << 230.0 << 20.0 << true;
        QTest::newRow("odd sizes, 8 bit") << QSize(257, 131) << 40.0 << 200.0 << false;
        QTest::newRow("dark, 16 bit") << QSize(512, 384) << 4.0 << 14.0 << true;
        // clang-format on
    }

    void keepsGradients()
    {
        FETCH((QSize, size), (double, top, bottom), (bool, deep));
        QTemporaryDir dir;
        const QString path = dir.filePath("gradient.heic");
        const Bitmap light = grainyGradient(size, top, bottom, deep);
        const Bitmap dark = grainyGradient(size, top / 4, bottom / 4, deep);

        const auto result = DynamicWallpaper::writeHEIC(light, dark, path);
        QCOMPARE(result ? description(*result) : QString(), QString());
        const HeicFile file = readHeic(path);
        QCOMPARE(file.pictures.size(), 2);
        const Bitmap originals[2] = {light, dark};
        for (int i = 0; i < 2; ++i) {
            const QImage &pixels = file.pictures[i].pixels;
            QCOMPARE(pixels.size(), size);
            // x265 at quality 80 keeps 50 dB on these; a wrong weight, a swapped chroma plane
            // or a misplaced row costs far more.
            const double db = psnr(originals[i], pixels);
            QVERIFY2(db > 45, qPrintable(QString::number(db)));
        }
    }

    // A dark smooth picture keeps its grain: at the light pictures' quality x265 smooths its
    // dither away and leaves steps of one level a hundred rows long.
    void darkKeepsGrain()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("grain.heic");
        const Bitmap dark = grainyGradient(QSize(512, 768), 5, 8, true);
        QVERIFY(!DynamicWallpaper::writeHEIC(dark, dark, path));
        const HeicFile file = readHeic(path);
        QCOMPARE(file.pictures.size(), 2);
        const int rendered = longestRun(dark.toImage().convertToFormat(QImage::Format_RGB888));
        const int decoded = longestRun(file.pictures[1].pixels);
        QVERIFY2(decoded <= 2 * rendered,
                 qPrintable(QStringLiteral("%1 rows, rendered %2").arg(decoded).arg(rendered)));
    }
};

QTEST_GUILESS_MAIN(TestDynamicWallpaper)
#include "tst_dynamicwallpaper.moc"
