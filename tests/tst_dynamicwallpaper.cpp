// The dynamic HEIC written: its pictures, XMP and appearance tags, gradients and grain.

#include "day/daycycle.h"
#include "heic/dynamicwallpaper.h"
#include "heic/dynamicwallpaperfile.h"
#include "heic/wallpaperschedule.h"
#include "model/daycyclefile.h"
#include "render/dayblend.h"
#include "support/heicreader.h"
#include "support/rows.h"
#include "support/scratch.h"
#include "support/testdata.h"

#include <QtTest>

#include <algorithm>
#include <cmath>

#include <plist/plist.h>

namespace {

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

// A vertical gradient with the render's grain (±0.8 steps); channels differ, so chroma shows.
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
    for (int y = 1, x = image.width() / 2; y < image.height(); ++y)
        longest = std::max(longest, run = qGreen(image.pixel(x, y)) == qGreen(image.pixel(x, y - 1))
                                              ? run + 1
                                              : 1);
    return longest;
}

} // namespace

class TestDynamicWallpaper : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writesHeic_data()
    {
        // top, bottom: light red levels, dark a quarter; target: beside "earlier.heic"
        addColumns<QSize, QSize, bool, double, double, QString, QString>(
            {"light", "dark", "deep", "top", "bottom", "target", "error"});
        const QString pipe = "Am Ziel liegt keine gewöhnliche Datei (Gerät, Pipe oder Socket); sie "
                             "bleibt, wie sie ist.";
        // clang-format off
        QTest::newRow("one pixel") << QSize(1, 1) << QSize(1, 1) << false << 40.0 << 200.0 << "new.heic" << "";
        QTest::newRow("sizes differ, over an earlier file") << QSize(640, 360) << QSize(320, 480) << false << 40.0 << 200.0 << "earlier.heic" << "";
        QTest::newRow("odd sizes, 16 bit") << QSize(67, 35) << QSize(301, 199) << true << 40.0 << 200.0 << "new.heic" << "";
        QTest::newRow("odd full size") << QSize(6017, 3385) << QSize(64, 64) << false << 40.0 << 200.0 << "new.heic" << "";
        QTest::newRow("through a link to an earlier file") << QSize(64, 64) << QSize(64, 64) << false << 40.0 << 200.0 << "link.heic" << "";
        // x265 refuses some settings only as it encodes; dark and smooth, grain is easily lost.
        QTest::newRow("64×64, the full coding tree") << QSize(64, 64) << QSize(64, 64) << true << 20.0 << 230.0 << "new.heic" << "";
        QTest::newRow("31 wide, smaller coding trees") << QSize(31, 160) << QSize(31, 160) << true << 230.0 << 20.0 << "new.heic" << "";
        QTest::newRow("odd sizes, 8 bit") << QSize(257, 131) << QSize(257, 131) << false << 40.0 << 200.0 << "new.heic" << "";
        QTest::newRow("dark, 16 bit") << QSize(512, 384) << QSize(512, 384) << true << 4.0 << 14.0 << "new.heic" << "";
        QTest::newRow("dark and smooth") << QSize(512, 768) << QSize(512, 768) << true << 20.0 << 32.0 << "new.heic" << "";
        QTest::newRow("folder missing") << QSize(64, 64) << QSize(64, 64) << false << 40.0 << 200.0 << "nirgends/x.heic" << "Der Zielordner existiert nicht.";
        QTest::newRow("a pipe, never replaced") << QSize(64, 64) << QSize(64, 64) << false << 40.0 << 200.0 << "pipe.heic" << pipe;
        QTest::newRow("no dark picture, over an earlier file") << QSize(64, 64) << QSize() << false << 40.0 << 200.0 << "earlier.heic" << "HEIC konnte nicht geschrieben werden.";
        // clang-format on
    }

    void writesHeic()
    {
        FETCH((QSize, light, dark), (bool, deep), (double, top, bottom), (QString, target, error));
        QTemporaryDir dir;
        QFile earlier(writeFile(dir.filePath("earlier.heic"), "ein altes Wallpaper"));
        QVERIFY(QFile::link("earlier.heic", dir.filePath("link.heic")));
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("pipe.heic")).constData(), 0600) == 0);
        const QString path = dir.filePath(target);
        const Bitmap originals[2] = {
            grainyGradient(light, top, bottom, deep),
            dark.isEmpty() ? Bitmap() : grainyGradient(dark, top / 4, bottom / 4, deep)};
        const auto result = DynamicWallpaper::writeHEIC(originals[0], originals[1], path);
        QCOMPARE(result ? description(*result) : QString(), error);
        // Nothing half-written; an earlier file replaced whole or not at all; links, pipes kept.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList({"earlier.heic", "link.heic"}) +
                     QStringList(target == "new.heic", target) + QStringList{"pipe.heic"});
        const bool replacesEarlier =
            error.isEmpty() && (target == "earlier.heic" || target == "link.heic");
        QVERIFY(earlier.open(QIODevice::ReadOnly) &&
                QFileInfo(dir.filePath("link.heic")).isSymLink());
        QCOMPARE(earlier.readAll() == "ein altes Wallpaper", !replacesEarlier);
        QVERIFY(!QFileInfo(dir.filePath("pipe.heic")).isFile());
        if (!error.isEmpty())
            return;

        // libheif: light first and primary with the XMP, dark second without; real sizes kept.
        const HeicFile file = readHeic(path);
        QCOMPARE(file.pictures.size(), 2);
        QVERIFY(file.pictures[0].primary && !file.pictures[1].primary);
        QCOMPARE(file.pictures[0].xmp.size(), 1);
        QCOMPARE(file.pictures[1].xmp.size(), 0);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(file.pictures[i].pixels.size(), i == 0 ? light : dark);
            // x265 keeps 50 dB; a wrong weight, chroma plane, row, crop or padding costs more.
            const double db = psnr(originals[i], file.pictures[i].pixels);
            QVERIFY2(db > 45, qPrintable(QString::number(db)));
        }
        const int rendered =
            longestRun(originals[1].toImage().convertToFormat(QImage::Format_RGB888));
        const int decoded = longestRun(file.pictures[1].pixels);
        QVERIFY2(decoded <= 2 * rendered,
                 qPrintable(QStringLiteral("%1 rows, rendered %2").arg(decoded).arg(rendered)));

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

    // A day that follows the sun, as its XMP: Voskan's reader gives back the table written, and
    // exiftool and Python's plistlib, readers nobody here wrote, find each picture's side.
    void solarXmp_data()
    {
        // sides: each entry's o, as plistlib reads it; empty: nothing may be written
        addColumns<QList<SolarPicture>, LightDarkPair, QString>({"sun", "pair", "sides"});
        const QList<SolarPicture> day{{1, -18, 20},    {2, -3.5, 80}, {3, 4, 95},
                                      {0, 60.25, 180}, {3, 4, 265},   {2, -3.5, 280}};
        // clang-format off
        QTest::newRow("a day, dawn and dusk sharing pictures") << day << LightDarkPair{0, 1} << "0 0 1 1 1 0";
        QTest::newRow("the pair's sides wherever the sun stands") << QList<SolarPicture>{{0, -10, 10}, {1, 40, 170}} << LightDarkPair{0, 1} << "1 0";
        QTest::newRow("no entries") << QList<SolarPicture>() << LightDarkPair{0, 1} << "";
        QTest::newRow("an index below 0") << QList<SolarPicture>{{-1, 0, 0}} << LightDarkPair{0, 1} << "";
        QTest::newRow("a pair below 0") << day << LightDarkPair{-1, 1} << "";
        // clang-format on
    }

    void solarXmp()
    {
        FETCH((QList<SolarPicture>, sun), (LightDarkPair, pair), (QString, sides));
        const QByteArray xmp = DynamicWallpaper::solarXmpPacket(sun, pair);
        QCOMPARE(xmp.isEmpty(), sides.isEmpty());
        if (sides.isEmpty())
            return;
        const auto read = parseScheduleXmp(xmp, 4);
        QVERIFY(std::holds_alternative<WallpaperSchedule>(read));
        QCOMPARE(std::get<WallpaperSchedule>(read),
                 (WallpaperSchedule{ScheduleKind::Solar, 4, pair, {}, sun}));
        QTemporaryDir dir;
        const QString file = writeFile(dir.filePath("day.xmp"), xmp);
        const char *python = "import base64, plistlib, sys\n"
                             "p = plistlib.loads(base64.b64decode(sys.stdin.read()))\n"
                             "print(*('%d %g %g %d' % (e['i'], e['a'], e['z'], e['o']) "
                             "for e in p['si']), 'ap %d %d' % (p['ap']['l'], p['ap']['d']), "
                             "sep=', ')";
        QStringList expected;
        const QStringList side = sides.split(u' ');
        for (qsizetype k = 0; k < sun.size(); ++k)
            expected << QStringLiteral("%1 %2 %3 %4")
                            .arg(sun[k].image)
                            .arg(sun[k].altitude)
                            .arg(sun[k].azimuth)
                            .arg(side.value(k));
        expected << QStringLiteral("ap %1 %2").arg(pair.light).arg(pair.dark);
        QCOMPARE(QString::fromUtf8(programOutput(
                     "sh", {"-c", "exiftool -b -XMP-apple_desktop:Solar \"$1\" | python3 -c \"$2\"",
                            "sh", file, python})),
                 expected.join(u", "_qs) + u'\n');
    }

    // A day cycle written one picture at a time: the pair first, the dawn's mixes after, each as
    // made; its schedule the plan's; stopped or failed, nothing of it left and an earlier file
    // kept.
    void writesADayCycle_data()
    {
        // stopAt: the dawn picture at whose start Abbrechen is pressed, -1 none
        addColumns<int, bool, QSize, int, QString>(
            {"count", "deep", "nightSize", "stopAt", "error"});
        // clang-format off
        QTest::newRow("8 pictures") << 8 << false << QSize(96, 60) << -1 << "";
        QTest::newRow("16 pictures, 16 bit") << 16 << true << QSize(96, 60) << -1 << "";
        QTest::newRow("Abbrechen at the second dawn") << 4 << false << QSize(96, 60) << 1 << "Das Schreiben wurde abgebrochen.";
        QTest::newRow("night and day of two sizes") << 4 << false << QSize(60, 96) << -1 << "HEIC konnte nicht geschrieben werden.";
        // clang-format on
    }

    void writesADayCycle()
    {
        FETCH((int, count, stopAt), (bool, deep), (QSize, nightSize), (QString, error));
        QTemporaryDir dir;
        const QString path = writeFile(dir.filePath("Tag.heic"), "ein altes Wallpaper");
        const Bitmap day = grainyGradient({96, 60}, 40, 200, deep);
        const Bitmap night = grainyGradient(nightSize, 10, 50, deep);
        QStringList steps;
        QList<double> done;
        WriteProgress *progress = nullptr;
        WriteProgress watch(WriteProgress::dayCyclePlan(count), [&](WriteStep step, double share) {
            steps << label(step);
            done << share;
            if (step == WriteStep::EncodeDawn && steps.count(label(step)) == stopAt + 1)
                progress->cancel();
        });
        progress = &watch;
        const auto failure = DayCycleFile::write(day, night, count, path, 0.1, progress);
        QCOMPARE(failure ? description(*failure) : QString(), error);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Tag.heic"});
        QCOMPARE(contents(path) == "ein altes Wallpaper", !error.isEmpty());
        if (!error.isEmpty())
            return;
        QCOMPARE(steps, QStringList({label(WriteStep::EncodeLight), label(WriteStep::EncodeDark)}) +
                            QList<QString>(count - 2, label(WriteStep::EncodeDawn)));
        // The renders came before; each encode moves the share on, the last ends short of all.
        QVERIFY2(std::is_sorted(done.cbegin(), done.cend()) && done.first() > 0 &&
                     done.last() < 1 &&
                     std::adjacent_find(done.cbegin(), done.cend()) == done.cend(),
                 qPrintable(QDebug::toString(done)));
        const HeicFile file = readHeic(path);
        QCOMPARE(file.pictures.size(), count);
        const DayCycle::Plan plan = DayCycle::plan(count);
        for (int i = 0; i < count; ++i) {
            QCOMPARE(file.pictures[i].primary, i == 0);
            QCOMPARE(file.pictures[i].xmp.size(), i == 0 ? 1 : 0);
            const double a = plan.altitudes[i];
            const Bitmap made = i == 0   ? day
                                : i == 1 ? night
                                         : DayBlend::blend(night, day, DayBlend::daylight(a),
                                                           DayBlend::warmth(a), 0.1);
            const double db = psnr(made, file.pictures[i].pixels);
            QVERIFY2(db > 40, qPrintable(QStringLiteral("picture %1: %2 dB").arg(i).arg(db)));
        }
        const auto opened = DynamicWallpaperFile::open(path);
        QVERIFY(std::holds_alternative<DynamicWallpaperFile>(opened));
        QCOMPARE(
            std::get<DynamicWallpaperFile>(opened).schedule(),
            std::optional(WallpaperSchedule{ScheduleKind::Solar, count, plan.pair, {}, plan.sun}));
    }
};

QTEST_GUILESS_MAIN(TestDynamicWallpaper)
#include "tst_dynamicwallpaper.moc"
