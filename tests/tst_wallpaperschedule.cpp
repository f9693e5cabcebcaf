#include "output/dynamicwallpaper.h"
#include "output/dynamicwallpaperfile.h"
#include "render/imagedecoder.h"
#include "support/dynamicfiles.h"
#include "support/scratch.h"
#include "support/testdata.h"

#include <QtTest>

namespace {

QString failure(ScheduleError error)
{
    return "Fehler: " + description(error);
}

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

QString showResult(const std::variant<WallpaperSchedule, ScheduleError> &result)
{
    if (const auto *error = std::get_if<ScheduleError>(&result))
        return failure(*error);
    return show(std::optional(std::get<WallpaperSchedule>(result)));
}

QByteArray xmpOf(const char *name, plist_t root)
{
    return scheduleXmp({{name, plistBase64(root)}});
}

// Which of `colours` `c` is, or -1 if none is near.
int nearest(QColor c, const QList<QColor> &colours)
{
    int best = -1, bestDistance = 40;
    for (int i = 0; i < colours.size(); ++i) {
        const QColor o = colours[i];
        const int d =
            qAbs(c.red() - o.red()) + qAbs(c.green() - o.green()) + qAbs(c.blue() - o.blue());
        if (d < bestDistance)
            best = i, bestDistance = d;
    }
    return best;
}

struct Sample
{
    QString path;
    QList<QColor> colours;
    std::optional<WallpaperSchedule> schedule;
};

// The file of a row of opensFiles() (none for "missing"), and what it was written with.
Sample make(const QString &kind, const QTemporaryDir &dir)
{
    Sample s{dir.filePath("w.heic"), {Qt::red, Qt::blue}, {}};
    QList<QColor> hues;
    for (int i = 0, n = kind.startsWith("h24") ? 8 : 16; i < n; ++i)
        hues << QColor::fromHsv(i * 360 / n, 255, 220);
    if (kind == "Voskan's own") {
        const QList<QImage> pictures = solidPictures(s.colours);
        DynamicWallpaper::writeHEIC(Bitmap::fromImage(pictures[0]), Bitmap::fromImage(pictures[1]),
                                    s.path);
        s.schedule = WallpaperSchedule{ScheduleKind::LightDark, 2, LightDarkPair{0, 1}, {}, {}};
    } else if (kind == "solar, 16 pictures") {
        s.colours = hues;
        s.schedule = WallpaperSchedule{ScheduleKind::Solar, 16, LightDarkPair{2, 13}, {}, {}};
        for (int i = 0; i < 16; ++i)
            s.schedule->sun << SolarPicture{15 - i, -60.0 + 8 * i, 22.5 * i};
        writeDynamicHeic(s.path, solidPictures(s.colours), solarXmp(s.schedule->sun, {{2, 13}}));
    } else if (kind == "h24, 8 pictures") {
        s.colours = hues;
        s.schedule = WallpaperSchedule{ScheduleKind::TimeOfDay, 8, {}, {}, {}};
        for (int k = 0; k < 8; ++k) // every picture once, not in file order
            s.schedule->times << TimedPicture{k * 3 % 8, k / 8.0};
        const QList<TimedPicture> reversed(s.schedule->times.rbegin(), s.schedule->times.rend());
        writeDynamicHeic(s.path, solidPictures(s.colours), h24Xmp(reversed));
    } else if (kind == "plain HEIC") {
        writeDynamicHeic(s.path, solidPictures(s.colours), {});
    } else if (kind == "XMP beyond the limit") {
        writeDynamicHeic(s.path, solidPictures(s.colours),
                         aprXmp({0, 1}).replace("</x:xmpmeta>", "<!--" + QByteArray(5 << 20, 'x') +
                                                                    "--></x:xmpmeta>"));
    } else if (kind == "index beyond the pictures") {
        writeDynamicHeic(s.path, solidPictures(s.colours), h24Xmp({{0, 0}, {2, 0.5}}));
    } else if (kind == "cut short") {
        writeDynamicHeic(s.path, solidPictures(s.colours), aprXmp({0, 1}));
        writeFile(s.path, contents(s.path).left(300));
    } else if (kind == "JPEG photo") {
        s.path = TestData::photo("photo-path-2560x1600.jpg");
    } else if (kind == "PNG picture") {
        s.path = dir.filePath("w.png");
        solidPictures(s.colours)[0].save(s.path);
    } else if (kind == "a folder") {
        s.path = dir.path();
    }
    return s;
}

} // namespace

class TestWallpaperSchedule : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parses_data()
    {
        QTest::addColumn<QByteArray>("xmp");
        QTest::addColumn<int>("imageCount");
        QTest::addColumn<QString>("expected");
        const XmpStyle swapped{.swapNumbers = true};
        const QByteArray rdf = "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'";
        // clang-format off
        QTest::newRow("apr") << aprXmp({0, 1}) << 2 << "apr 2: 0/1";
        QTest::newRow("apr, another prefix, reals") << aprXmp({1, 0}, {.prefix = "desk", .swapNumbers = true}) << 2 << "apr 2: 1/0";
        QTest::newRow("Voskan's own packet") << DynamicWallpaper::xmpPacket() << 2 << "apr 2: 0/1";
        QTest::newRow("h24 sorted, an index twice, 1.0 is midnight") << h24Xmp({{0, 0.75}, {1, 0.25}, {0, 1.0}, {2, 0.5}}) << 3 << "h24 3: 0@0 1@0.25 2@0.5 0@0.75";
        QTest::newRow("h24 with a pair, numbers swapped") << h24Xmp({{1, 0.5}, {0, 0}}, LightDarkPair{1, 0}, swapped) << 2 << "h24 2: 0@0 1@0.5 1/0";
        QTest::newRow("h24 as element text over lines") << h24Xmp({{1, 0.5}, {0, 0.25}}, {}, {.element = true}) << 2 << "h24 2: 0@0.25 1@0.5";
        QTest::newRow("solar, azimuths into [0, 360)") << solarXmp({{0, -10, -90}, {1, 45, 720}, {1, 90, 359.5}}, LightDarkPair{0, 1}) << 2 << "solar 2: 0:-10/270 1:45/0 1:90/359.5 0/1";
        QTest::newRow("solar, negative integers") << solarXmp({{0, -10, -90}, {1, 45.5, 180}}, {}, swapped) << 2 << "solar 2: 0:-10/270 1:45.5/180";
        QTest::newRow("solar wins over h24 and apr") << scheduleXmp({{"apr", aprValue({0, 1})}, {"h24", h24Value({{0, 0}})}, {"solar", solarValue({{1, 5, 90}})}}) << 2 << "solar 2: 1:5/90";
        QTest::newRow("1000 entries") << solarXmp(QList<SolarPicture>(1000, {1, 10, 20})) << 2 << "solar 2: 1:10/20 1:10/20 1:10/20 … 1000";
        QTest::newRow("no XMP") << QByteArray() << 2 << failure(ScheduleError::NoSchedule);
        QTest::newRow("XMP of a photo") << QByteArray("<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF " + rdf + "><rdf:Description xmlns:dc='http://purl.org/dc/elements/1.1/' dc:format='image/heic'/></rdf:RDF></x:xmpmeta>") << 2 << failure(ScheduleError::NoSchedule);
        QTest::newRow("apr in another namespace") << aprXmp({0, 1}, {.namespaceUri = "http://example.org/desktop/"}) << 2 << failure(ScheduleError::NoSchedule);
        QTest::newRow("not XML") << QByteArray("\x89PNG <<<") << 2 << failure(ScheduleError::NoSchedule);
        QTest::newRow("XML broken in the namespace") << QByteArray("<x:xmpmeta xmlns:x='adobe:ns:meta/' xmlns:apple_desktop='http://ns.apple.com/namespace/1.0/'><rdf:RDF " + rdf + "><apple_desktop:h24>AAAA</rdf:RDF>") << 2 << failure(ScheduleError::Corrupt);
        QTest::newRow("index beyond the pictures") << h24Xmp({{0, 0}, {3, 0.5}}) << 3 << failure(ScheduleError::MissingImage);
        QTest::newRow("negative index") << h24Xmp({{-1, 0.5}}) << 3 << failure(ScheduleError::MissingImage);
        QTest::newRow("apr of a one-picture file") << aprXmp({0, 1}) << 1 << failure(ScheduleError::MissingImage);
        QTest::newRow("pair beyond the pictures") << solarXmp({{0, 5, 90}}, LightDarkPair{0, 2}) << 2 << failure(ScheduleError::MissingImage);
        QTest::newRow("empty table") << h24Xmp({}) << 2 << failure(ScheduleError::Empty);
        QTest::newRow("1001 entries") << solarXmp(QList<SolarPicture>(1001, {1, 10, 20})) << 2 << failure(ScheduleError::TooManyEntries);
        QTest::newRow("10000 entries") << h24Xmp(QList<TimedPicture>(10000, {0, 0.5})) << 2 << failure(ScheduleError::TooManyEntries);
        QTest::newRow("references that unfold to 216000 nodes") << scheduleXmp({{"solar", unfoldingPlistBase64(3, 60)}}) << 2 << failure(ScheduleError::TooManyEntries);
        QTest::newRow("time NaN") << h24Xmp({{0, qQNaN()}}) << 2 << failure(ScheduleError::InvalidValue);
        QTest::newRow("time above 1") << h24Xmp({{0, 1.5}}) << 2 << failure(ScheduleError::InvalidValue);
        QTest::newRow("time below 0") << h24Xmp({{0, -0.1}}) << 2 << failure(ScheduleError::InvalidValue);
        QTest::newRow("altitude 120") << solarXmp({{0, 120, 90}}) << 2 << failure(ScheduleError::InvalidValue);
        QTest::newRow("altitude NaN") << solarXmp({{0, qQNaN(), 90}}) << 2 << failure(ScheduleError::InvalidValue);
        QTest::newRow("azimuth infinite") << solarXmp({{0, 10, -qInf()}}) << 2 << failure(ScheduleError::InvalidValue);
        QTest::newRow("not Base64") << scheduleXmp({{"h24", "ti=@@@"}}) << 2 << failure(ScheduleError::Corrupt);
        QTest::newRow("not a property list") << scheduleXmp({{"h24", QByteArray("kein plist, nur Text").toBase64()}}) << 2 << failure(ScheduleError::Corrupt);
        QTest::newRow("property list cut short") << scheduleXmp({{"solar", QByteArray::fromBase64(solarValue({{0, 5, 90}})).chopped(12).toBase64()}}) << 2 << failure(ScheduleError::Corrupt);
        QTest::newRow("root a list") << xmpOf("h24", plistArray({})) << 2 << failure(ScheduleError::Corrupt);
        QTest::newRow("table a dictionary") << xmpOf("solar", plistDict({{"si", plistDict({{"i", plist_new_uint(0)}})}})) << 2 << failure(ScheduleError::Corrupt);
        QTest::newRow("index a string") << xmpOf("h24", plistDict({{"ti", plistArray({plistDict({{"i", plist_new_string("0")}, {"t", plist_new_real(0.5)}})})}})) << 2 << failure(ScheduleError::Corrupt);
        QTest::newRow("index fractional") << xmpOf("h24", plistDict({{"ti", plistArray({plistDict({{"i", plist_new_real(0.5)}, {"t", plist_new_real(0.5)}})})}})) << 2 << failure(ScheduleError::Corrupt);
        QTest::newRow("time missing") << xmpOf("h24", plistDict({{"ti", plistArray({plistDict({{"i", plist_new_uint(0)}})})}})) << 2 << failure(ScheduleError::Corrupt);
        QTest::newRow("apr a truth value") << xmpOf("apr", plistDict({{"l", plist_new_bool(1)}, {"d", plist_new_uint(1)}})) << 2 << failure(ScheduleError::Corrupt);
        // clang-format on
    }

    void parses()
    {
        QFETCH(QByteArray, xmp);
        QFETCH(int, imageCount);
        QFETCH(QString, expected);
        QCOMPARE(showResult(parseScheduleXmp(xmp, imageCount)), expected);
    }

    void opensFiles_data()
    {
        QTest::addColumn<QString>("error");   // empty: opens
        QTest::addColumn<QString>("summary"); // empty: no schedule
        const QString notHeic =
            "Die Datei ist kein HEIC-Bild und damit kein dynamisches Wallpaper.";
        // clang-format off
        QTest::newRow("Voskan's own") << "" << "Dynamisches Wallpaper: 2 Bilder, Hell/Dunkel";
        QTest::newRow("solar, 16 pictures") << "" << "Dynamisches Wallpaper: 16 Bilder, Sonnenstand";
        QTest::newRow("h24, 8 pictures") << "" << "Dynamisches Wallpaper: 8 Bilder, Tageszeit";
        QTest::newRow("plain HEIC") << "" << "";
        QTest::newRow("XMP beyond the limit") << "" << "";
        QTest::newRow("index beyond the pictures") << description(ScheduleError::MissingImage) << "";
        QTest::newRow("cut short") << "Die HEIC-Datei ist beschädigt oder unvollständig." << "";
        QTest::newRow("JPEG photo") << notHeic << "";
        QTest::newRow("PNG picture") << notHeic << "";
        QTest::newRow("missing") << description(DecodeError::FileNotFound) << "";
        QTest::newRow("a folder") << description(DecodeError::Unreadable) << "";
        // clang-format on
    }

    void opensFiles()
    {
        QFETCH(QString, error);
        QFETCH(QString, summary);
        QTemporaryDir dir;
        const Sample sample = make(QTest::currentDataTag(), dir);
        const auto opened = DynamicWallpaperFile::open(sample.path);
        const auto *refused = std::get_if<QString>(&opened);
        QCOMPARE(refused ? *refused : QString(), error);
        if (refused)
            return;
        const DynamicWallpaperFile &file = std::get<DynamicWallpaperFile>(opened);
        QCOMPARE(file.schedule() ? ::summary(*file.schedule()) : QString(), summary);
        QVERIFY2(file.schedule() == sample.schedule, qPrintable(show(file.schedule())));
        QCOMPARE(file.imageCount(), sample.colours.size());
        for (int i = 0; i < file.imageCount(); ++i) {
            const std::optional<Bitmap> picture = file.image(i);
            QVERIFY(picture);
            QCOMPARE(picture->size(), QSize(64, 36));
            QCOMPARE(nearest(picture->toImage().pixelColor(32, 18), sample.colours), i);
        }
        // A preview keeps the shape; no picture beyond the file's.
        const std::optional<Bitmap> preview = file.image(file.imageCount() - 1, QSize(16, 16));
        QVERIFY(preview);
        QCOMPARE(preview->size(), QSize(16, 9));
        QCOMPARE(nearest(preview->toImage().pixelColor(8, 4), sample.colours),
                 file.imageCount() - 1);
        QVERIFY(!file.image(file.imageCount()) && !file.image(-1));
    }

    // A header that claims more pixels than the limit is refused before libheif decodes it.
    void refusesPictureBeyondLimit()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("w.heic");
        QVERIFY(writeDynamicHeic(path, solidPictures({Qt::red}), aprXmp({0, 0})));
        QByteArray bytes = contents(path);
        qsizetype patched = 0;
        for (qsizetype at = 0; (at = bytes.indexOf("ispe", at + 1)) > 0; ++patched)
            bytes.replace(at + 8, 8, QByteArray::fromHex("0000753000007530")); // 30000 × 30000
        QVERIFY(patched > 0);
        QVERIFY(!writeFile(path, bytes).isEmpty());
        const auto opened = DynamicWallpaperFile::open(path);
        QVERIFY(std::holds_alternative<DynamicWallpaperFile>(opened));
        QVERIFY(!std::get<DynamicWallpaperFile>(opened).image(0, QSize(16, 16)));
    }
};

QTEST_GUILESS_MAIN(TestWallpaperSchedule)
#include "tst_wallpaperschedule.moc"
