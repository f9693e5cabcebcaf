// Schedules of dynamic wallpapers made elsewhere, parsed, and their files opened.

#include "heic/dynamicwallpaper.h"
#include "heic/dynamicwallpaperfile.h"
#include "render/imagedecoder.h"
#include "support/dynamicfiles.h"
#include "support/rows.h"
#include "support/scratch.h"
#include "support/testdata.h"

#include <QtTest>

namespace {

// A schedule as one line, so that a row's expectation reads like the table it wrote.
QString show(const std::optional<WallpaperSchedule> &schedule)
{
    if (!schedule)
        return QStringLiteral("kein Zeitplan");
    const char *kinds[] = {"apr", "h24", "solar"};
    QStringList entries;
    for (const TimedPicture &time : schedule->times)
        entries << QStringLiteral("%1@%2").arg(time.image).arg(time.dayFraction);
    for (const SolarPicture &sun : schedule->sun)
        entries << QStringLiteral("%1:%2/%3").arg(sun.image).arg(sun.altitude).arg(sun.azimuth);
    if (entries.size() > 6)
        entries = entries.mid(0, 3) << QStringLiteral("… %1").arg(entries.size());
    if (const auto pair = schedule->lightDark)
        entries << QStringLiteral("%1/%2").arg(pair->light).arg(pair->dark);
    return QStringLiteral("%1 %2: ").arg(kinds[int(schedule->kind)]).arg(schedule->imageCount) +
           entries.join(' ');
}

} // namespace

class TestWallpaperSchedule : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void parses_data()
    {
        addColumns<QByteArray, int, QString>({"xmp", "imageCount", "expected"});
        const auto h24 = [](const QList<TimedPicture> &times,
                            std::optional<LightDarkPair> pair = {}) {
            return scheduleXmp({{"h24", h24Table(times, pair)}});
        };
        const auto solar = [](const QList<SolarPicture> &sun,
                              std::optional<LightDarkPair> pair = {}) {
            return scheduleXmp({{"solar", solarTable(sun, pair)}});
        };
        const auto entry = [](const QVariant &index, const QVariant &time) {
            return QVariantMap{{"ti", QVariantList{QVariantMap{{"i", index}, {"t", time}}}}};
        };
        // clang-format off
        QTest::newRow("Voskan's own packet") << DynamicWallpaper::xmpPacket() << 2 << "apr 2: 0/1";
        QTest::newRow("apr, another prefix") << scheduleXmp({{"apr", aprTable({1, 0})}}).replace("apple_desktop", "desk") << 2 << "apr 2: 1/0";
        QTest::newRow("h24 sorted, an index twice, 1.0 is midnight") << h24({{0, 0.75}, {1, 0.25}, {0, 1.0}, {2, 0.5}}) << 3 << "h24 3: 0@0 1@0.25 2@0.5 0@0.75";
        QTest::newRow("h24, indexes as reals, a whole time as integer") << scheduleXmp({{"h24", QVariantMap{{"ti", QVariantList{QVariantMap{{"i", 1.0}, {"t", 0.5}}, QVariantMap{{"i", 0.0}, {"t", 0}}}}, {"ap", QVariantMap{{"l", 1.0}, {"d", 0.0}}}}}}) << 2 << "h24 2: 0@0 1@0.5 1/0";
        QTest::newRow("h24 as element text over lines") << scheduleXmp({{"h24", h24Table({{1, 0.5}, {0, 0.25}})}}, true) << 2 << "h24 2: 0@0.25 1@0.5";
        QTest::newRow("solar, azimuths into [0, 360)") << solar({{0, -10, -90}, {1, 45, 720}, {1, 90, 359.5}}, LightDarkPair{0, 1}) << 2 << "solar 2: 0:-10/270 1:45/0 1:90/359.5 0/1";
        QTest::newRow("solar, negative integers") << scheduleXmp({{"solar", QVariantMap{{"si", QVariantList{QVariantMap{{"i", 0}, {"a", -10}, {"z", -90}}}}}}}) << 2 << "solar 2: 0:-10/270";
        QTest::newRow("solar wins over h24 and apr") << scheduleXmp({{"apr", aprTable({0, 1})}, {"h24", h24Table({{0, 0}})}, {"solar", solarTable({{1, 5, 90}})}}) << 2 << "solar 2: 1:5/90";
        QTest::newRow("1000 entries") << solar(QList<SolarPicture>(1000, {1, 10, 20})) << 2 << "solar 2: 1:10/20 1:10/20 1:10/20 … 1000";
        QTest::newRow("apr in another namespace") << scheduleXmp({{"apr", aprTable({0, 1})}}).replace("ns.apple.com", "example.org") << 2 << description(ScheduleError::NoSchedule);
        QTest::newRow("not XML") << QByteArray("\x89PNG <<<") << 2 << description(ScheduleError::NoSchedule);
        QTest::newRow("apr given twice in its tag") << scheduleXmp({{"apr", aprTable({0, 1})}, {"apr", aprTable({1, 0})}}) << 2 << description(ScheduleError::Corrupt);
        QTest::newRow("XML broken in the namespace") << QByteArray("<x:xmpmeta xmlns:x='adobe:ns:meta/' xmlns:apple_desktop='http://ns.apple.com/namespace/1.0/'><apple_desktop:h24>AAAA</x:xmpmeta>") << 2 << description(ScheduleError::Corrupt);
        QTest::newRow("index beyond the pictures") << h24({{0, 0}, {3, 0.5}}) << 3 << description(ScheduleError::MissingImage);
        QTest::newRow("negative index") << h24({{-1, 0.5}}) << 3 << description(ScheduleError::MissingImage);
        QTest::newRow("pair beyond the pictures") << solar({{0, 5, 90}}, LightDarkPair{0, 2}) << 2 << description(ScheduleError::MissingImage);
        QTest::newRow("empty table") << h24({}) << 2 << description(ScheduleError::Empty);
        QTest::newRow("1001 entries") << solar(QList<SolarPicture>(1001, {1, 10, 20})) << 2 << description(ScheduleError::TooManyEntries);
        QTest::newRow("references that unfold to 216000 nodes") << scheduleXmp({{"solar", unfoldingPlistBase64()}}) << 2 << description(ScheduleError::TooManyEntries);
        QTest::newRow("time NaN") << h24({{0, qQNaN()}}) << 2 << description(ScheduleError::InvalidValue);
        QTest::newRow("time above 1") << h24({{0, 1.5}}) << 2 << description(ScheduleError::InvalidValue);
        QTest::newRow("time below 0") << h24({{0, -0.1}}) << 2 << description(ScheduleError::InvalidValue);
        QTest::newRow("altitude 120") << solar({{0, 120, 90}}) << 2 << description(ScheduleError::InvalidValue);
        QTest::newRow("altitude NaN") << solar({{0, qQNaN(), 90}}) << 2 << description(ScheduleError::InvalidValue);
        QTest::newRow("azimuth infinite") << solar({{0, 10, -qInf()}}) << 2 << description(ScheduleError::InvalidValue);
        QTest::newRow("not Base64") << scheduleXmp({{"h24", QByteArray("ti=@@@")}}) << 2 << description(ScheduleError::Corrupt);
        QTest::newRow("property list cut short") << scheduleXmp({{"solar", QByteArray::fromBase64(plistBase64(solarTable({{0, 5, 90}}))).chopped(12).toBase64()}}) << 2 << description(ScheduleError::Corrupt);
        QTest::newRow("root a list") << scheduleXmp({{"h24", QVariantList{}}}) << 2 << description(ScheduleError::Corrupt);
        QTest::newRow("table a dictionary") << scheduleXmp({{"solar", QVariantMap{{"si", QVariantMap{{"i", 0}}}}}}) << 2 << description(ScheduleError::Corrupt);
        QTest::newRow("index a string") << scheduleXmp({{"h24", entry("0", 0.5)}}) << 2 << description(ScheduleError::Corrupt);
        QTest::newRow("index fractional") << scheduleXmp({{"h24", entry(0.5, 0.5)}}) << 2 << description(ScheduleError::Corrupt);
        QTest::newRow("time missing") << scheduleXmp({{"h24", QVariantMap{{"ti", QVariantList{QVariantMap{{"i", 0}}}}}}}) << 2 << description(ScheduleError::Corrupt);
        QTest::newRow("apr a truth value") << scheduleXmp({{"apr", QVariantMap{{"l", true}, {"d", 1}}}}) << 2 << description(ScheduleError::Corrupt);
        // clang-format on
    }

    void parses()
    {
        FETCH((QByteArray, xmp), (int, imageCount), (QString, expected));
        const auto parsed = parseScheduleXmp(xmp, imageCount);
        const auto *error = std::get_if<ScheduleError>(&parsed);
        QCOMPARE(error ? description(*error) : show(std::get<WallpaperSchedule>(parsed)), expected);
    }

    void opensFiles_data()
    {
        // HEICs of a red and a blue picture; decodes: not when a header claims too many pixels
        addColumns<QString, QString, QString, bool>({"file", "error", "schedule", "decodes"});
        const QList<QImage> pictures = solidPictures({Qt::red, Qt::blue});
        QVERIFY(!DynamicWallpaper::writeHEIC(Bitmap::fromImage(pictures[0]),
                                             Bitmap::fromImage(pictures[1]), path("own.heic")));
        QVERIFY(writeDynamicHeic(path("plain.heic"), pictures, {}));
        QVERIFY(writeDynamicHeic(path("large.heic"), pictures,
                                 DynamicWallpaper::xmpPacket() + QByteArray(5 << 20, ' ')));
        QVERIFY(pictures[0].save(path("w.png")));
        QByteArray huge = contents(path("plain.heic"));
        for (qsizetype at = 0; (at = huge.indexOf("ispe", at + 1)) > 0;)
            huge.replace(at + 8, 8, QByteArray::fromHex("0000753000007530")); // 30000 × 30000
        // clang-format off
        QTest::newRow("Voskan's own") << path("own.heic") << "" << "apr 2: 0/1" << true;
        QTest::newRow("plain HEIC") << path("plain.heic") << "" << show(std::nullopt) << true;
        QTest::newRow("XMP beyond the limit") << path("large.heic") << "" << show(std::nullopt) << true;
        QTest::newRow("pictures beyond the limit") << writeFile(path("huge.heic"), huge) << "" << show(std::nullopt) << false;
        QTest::newRow("cut short") << writeFile(path("cut.heic"), contents(path("plain.heic")).left(300)) << "Die HEIC-Datei ist beschädigt oder unvollständig." << "" << false;
        QTest::newRow("PNG picture") << path("w.png") << "Die Datei ist kein HEIC-Bild und damit kein dynamisches Wallpaper." << "" << false;
        QTest::newRow("missing") << path("nirgends.heic") << description(DecodeError::FileNotFound) << "" << false;
        QTest::newRow("a FIFO") << nonRegularFile("FIFO", m_dir.path(), "fifo.heic") << description(DecodeError::Unreadable) << "" << false;
        // clang-format on
    }

    void opensFiles()
    {
        FETCH((QString, file, error, schedule), (bool, decodes));
        const auto opened = DynamicWallpaperFile::open(file);
        const auto *refused = std::get_if<QString>(&opened);
        QCOMPARE(refused ? *refused : QString(), error);
        if (refused)
            return;
        const DynamicWallpaperFile &wallpaper = std::get<DynamicWallpaperFile>(opened);
        QCOMPARE(show(wallpaper.schedule()), schedule);
        // The pictures in the file's order; a preview keeps the shape; none beyond the file's.
        QCOMPARE(wallpaper.imageCount(), 2);
        for (const auto &[i, colour] :
             {std::pair{0, QColor(Qt::red)}, std::pair{1, QColor(Qt::blue)}}) {
            const std::optional<Bitmap> picture = wallpaper.image(i);
            const std::optional<Bitmap> preview = wallpaper.image(i, QSize(16, 16));
            QCOMPARE(bool(picture), decodes);
            QCOMPARE(bool(preview), decodes);
            if (!decodes)
                continue;
            QCOMPARE(picture->size(), QSize(64, 36));
            QCOMPARE(preview->size(), QSize(16, 9));
            for (const Bitmap &shown : {*picture, *preview})
                QVERIFY(colourDistance(
                            shown.toImage().pixelColor(shown.width() / 2, shown.height() / 2),
                            colour) < 40);
        }
        QVERIFY(!wallpaper.image(2) && !wallpaper.image(-1));
    }
};

QTEST_GUILESS_MAIN(TestWallpaperSchedule)
#include "tst_wallpaperschedule.moc"
