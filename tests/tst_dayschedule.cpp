// A schedule's day: the sun, a zone's place, the picture due, the local zone, GNOME's XML.

#include "day/daycycle.h"
#include "day/dayschedule.h"
#include "day/sun.h"
#include "day/timezonelocation.h"
#include "desktop/dayfile.h"
#include "follower/dayclock.h"
#include "model/daycyclefile.h"
#include "support/rows.h"
#include "support/scratch.h"

#include <QtTest>

#include <ctime>

// Sun times are checked against the Astronomical Almanac's low-precision sun and cos H = (sin a -
// sin φ sin δ) / (cos φ cos δ), not NOAA's series: two algorithms that agree within two minutes
// share no wrong sign or dropped term. (Spencer's series is off by minutes: it ignores leap years.)
namespace {
constexpr double rad = M_PI / 180;

struct Place
{
    double lat = 0, lon = 0;
    QByteArray zone;
};
const Place berlin{52.52, 13.405, "Europe/Berlin"}, quito{-0.18, -78.47, "America/Guayaquil"},
    sydney{-33.87, 151.21, "Australia/Sydney"}, tromso{69.65, 18.96, "Europe/Oslo"},
    longyearbyen{78.22, 15.65, "Arctic/Longyearbyen"}, north89{89, 0, "UTC"},
    south89{-89, 166.7, "Antarctica/McMurdo"};

// The passage (invalid if the sun never gets there), with the day's noon.
QDateTime almanac(QDate date, const Place &place, double alt, bool morning, QDateTime *noon)
{
    const auto equationOfTime = [](const QDateTime &utc, double *delta) { // minutes; radians
        const double n = utc.toMSecsSinceEpoch() / 86400000.0 - 10957.5;  // days since J2000.0
        const double l = 280.460 + 0.9856474 * n, g = (357.528 + 0.9856003 * n) * rad;
        const double lambda = (l + 1.915 * sin(g) + 0.020 * sin(2 * g)) * rad,
                     epsilon = (23.439 - 4e-7 * n) * rad;
        *delta = asin(sin(epsilon) * sin(lambda));
        return 4 * std::remainder(l - atan2(cos(epsilon) * sin(lambda), cos(lambda)) / rad, 360);
    };
    const QDateTime midday = QDateTime(date, QTime(12, 0), QTimeZone(place.zone)).toUTC();
    double d = 0, minutes = 0; // minutes: of the passage from noon
    *noon = QDateTime(midday.date(), QTime(0, 0), Qt::UTC)
                .addSecs(qint64((720 - 4 * place.lon - equationOfTime(midday, &d)) * 60));
    *noon = noon->addDays(noon->secsTo(midday) > 43200    ? 1
                          : noon->secsTo(midday) < -43200 ? -1
                                                          : 0);
    equationOfTime(*noon, &d);
    for (int i = 0; i < 2; ++i) { // again with the declination at the passage
        const double cosH =
            (sin(alt * rad) - sin(place.lat * rad) * sin(d)) / (cos(place.lat * rad) * cos(d));
        if (std::abs(cosH) > 1)
            return {};
        minutes = acos(cosH) / rad * 4 * (morning ? -1 : 1);
        equationOfTime(noon->addSecs(qint64(minutes * 60)), &d);
    }
    return noon->addSecs(qint64(minutes * 60));
}

QDateTime utc(const char *iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODateWithMs);
}

} // namespace

class TestDaySchedule : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private Q_SLOTS:
    // Days the sun passes the altitude; where it never does, solarYear keeps the pictures in
    // order at its nearest.
    void solarTimes_data()
    {
        addColumns<Place, QDate, double, bool>({"place", "date", "altitude", "morning"});
        QTest::newRow("Berlin DST day") << berlin << QDate(2024, 3, 31) << 30.0 << false;
        QTest::newRow("Quito December dusk") << quito << QDate(2024, 12, 21) << -12.0 << false;
        QTest::newRow("Sydney summer sunrise") << sydney << QDate(2024, 12, 21) << 0.0 << true;
        QTest::newRow("Tromso polar twilight") << tromso << QDate(2024, 12, 15) << -6.0 << true;
    }
    void solarTimes()
    {
        FETCH((Place, place), (QDate, date), (double, altitude), (bool, morning));
        const QTimeZone tz(place.zone);
        QDateTime noon;
        const QDateTime expected = almanac(date, place, altitude, morning, &noon);
        QVERIFY(std::abs(solarNoon(date, tz, place.lon).secsTo(noon)) <= 120);
        const QDateTime passage =
            sunPassage(date, tz, place.lat, place.lon, altitude, morning).time;
        QVERIFY2(expected.isValid() && std::abs(passage.secsTo(expected)) <= 120,
                 qPrintable(passage.toString(Qt::ISODate)));
        // The sun is at that altitude then.
        QVERIFY(std::abs(sunPosition(passage, place.lat, place.lon).altitude - altitude) < 0.01);
    }

    // Every day of a year the pictures keep the file's order, polar days and nights included, and
    // each shows from its start until the next one's, into the next day too.
    void solarYear_data()
    {
        QTest::addColumn<Place>("place");
        for (const Place &place : {tromso, sydney, quito, longyearbyen})
            QTest::newRow(place.zone.constData()) << place;
        QTest::newRow("89° north") << north89;
        QTest::newRow("89° south") << south89;
    }
    void solarYear()
    {
        QFETCH(Place, place);
        const QTimeZone tz(place.zone);
        const GeoLocation location{place.lat, place.lon};
        WallpaperSchedule schedule{ScheduleKind::Solar, 6, {}, {}, {}};
        for (const double altitude : {-6, 0, 20, 20, 0, -6})
            schedule.sun.append(
                {int(schedule.sun.size()), altitude, schedule.sun.size() < 3 ? 90.0 : 270.0});
        for (QDate date(2024, 1, 1); date.year() == 2024; date = date.addDays(3)) {
            const auto days = picturesForDay(schedule, date, tz, location) +
                              picturesForDay(schedule, date.addDays(1), tz, location);
            for (int i = 0; i < 6; ++i) { // of pictures starting together the last one shows
                QCOMPARE(days.at(i).image, i);
                const ShownPicture shown = pictureAt(schedule, days.at(i).start, tz, location);
                QVERIFY(days.at(i + 1).start == days.at(i).start ||
                        (shown.image == i && shown.nextChange == days.at(i + 1).start));
            }
            // Months without a sunrise or a sunset: a picture is always shown, and the follower
            // sleeps until a change after now, never for long, rather than spinning or stalling.
            for (int hour = 0; hour < 24; hour += 5) {
                const QDateTime now(date, QTime(hour, 17), tz);
                const ShownPicture shown = pictureAt(schedule, now, tz, location);
                QVERIFY2(shown.image >= 0 && shown.nextChange > now &&
                             shown.nextChange <= now.addSecs(26 * 3600),
                         qPrintable(now.toString(Qt::ISODate) + " → " +
                                    shown.nextChange.toString(Qt::ISODate)));
            }
        }
    }

    // A day cycle made from one photo plays as a day anywhere the sun rises and sets: the night
    // through midnight, the dawn's pictures in the morning from dark to light, the day over noon,
    // the same pictures back at dusk; fewer than three pictures count as three.
    void dayCycle_data()
    {
        addColumns<Place, QDate, int>({"place", "date", "count"});
        QTest::newRow("Berlin, equinox, 8") << berlin << QDate(2026, 3, 20) << 8;
        QTest::newRow("Berlin, midsummer, 16") << berlin << QDate(2026, 6, 21) << 16;
        QTest::newRow("Berlin, midwinter, 4") << berlin << QDate(2026, 12, 21) << 4;
        QTest::newRow("Sydney, winter, 12") << sydney << QDate(2026, 6, 21) << 12;
        QTest::newRow("Tromsø, equinox, 8") << tromso << QDate(2026, 3, 20) << 8;
        QTest::newRow("Quito, 1 counts as 3") << quito << QDate(2026, 9, 23) << 1;
    }

    void dayCycle()
    {
        FETCH((Place, place), (QDate, date), (int, count));
        const DayCycle::Plan plan = DayCycle::plan(count);
        const int pictures = std::max(count, 3);
        QList<int> expected{1};
        for (int i = 2; i < pictures; ++i)
            expected << i;
        expected << 0;
        for (int i = pictures - 1; i >= 2; --i)
            expected << i;
        expected << 1;
        const QTimeZone tz(place.zone);
        const GeoLocation location{place.lat, place.lon};
        const WallpaperSchedule schedule = plan.schedule();
        QList<int> shown; // what is on screen from each start: of two at once, one shows
        for (const ScheduledPicture &start : picturesForDay(schedule, date, tz, location))
            if (const int image = pictureAt(schedule, start.start, tz, location).image;
                shown.value(shown.size() - 1, -1) != image)
                shown << image;
        QCOMPARE(shown, expected);
        // The strip's lines, from the night to the day: each time a line says is one at which
        // its picture comes; the dawn's come twice, the night and the day once.
        const QList<int> order = plan.dayOrder();
        const auto [labels, captions] = DayCycleFile::pictureLines(plan, date, tz, location);
        QCOMPARE(labels.size(), pictures);
        static const QRegularExpression time("\\d\\d:\\d\\d");
        for (int k = 0; k < pictures; ++k) {
            QVERIFY2(labels[k].startsWith(QString("Bild %1 von %2, ").arg(k + 1).arg(pictures)),
                     qPrintable(labels[k]));
            int times = 0;
            for (auto found = time.globalMatch(labels[k]); found.hasNext(); ++times) {
                const QDateTime at(date, QTime::fromString(found.next().captured(), "HH:mm"), tz);
                QCOMPARE(pictureAt(schedule, at.addSecs(60), tz, location).image, order[k]);
            }
            QCOMPARE(times, expected.mid(1).count(order[k]));
            // Under its tile: its first time, or which picture it is when it begins nothing.
            const QRegularExpressionMatch first = time.match(labels[k]);
            QCOMPARE(captions.value(k), first.hasMatch()
                                            ? first.captured()
                                            : labels[k].section(", ", 1).section(':', 0, 0));
        }
        QCOMPARE(pictureAt(schedule, QDateTime(date, QTime(0, 30), tz), tz, location).image, 1);
        QCOMPARE(pictureAt(schedule, QDateTime(date, QTime(12, 30), tz), tz, location).image, 0);
    }

    // The installed tables first, then the test's own, with malformed lines; NaN: no location.
    void location_data()
    {
        // expected: latitude, longitude
        addColumns<QByteArray, QPointF>({"id", "expected"});
        const QPointF none(qQNaN(), 0), newYork(40 + 42 / 60.0 + 51 / 3600.0, -(74 + 23 / 3600.0));
        // clang-format off
        QTest::newRow("New York") << QByteArray("America/New_York") << newYork;
        QTest::newRow("Sydney") << QByteArray("Australia/Sydney") << QPointF(-(33 + 52 / 60.0), 151 + 13 / 60.0);
        QTest::newRow("only in zone.tab") << QByteArray("Atlantic/Reykjavik") << QPointF(64 + 9 / 60.0, -(21 + 51 / 60.0));
        QTest::newRow("link") << QByteArray("US/Eastern") << newYork;
        QTest::newRow("unknown") << QByteArray("Mars/Olympus_Mons") << none;
        QTest::newRow("letters") << QByteArray("Bad/Digits") << none;
        QTest::newRow("minutes 60") << QByteArray("Bad/Minutes") << none;
        QTest::newRow("after long line") << QByteArray("Too/Long") << QPointF(10, 20);
        QTest::newRow("no final newline") << QByteArray("Last/Line") << QPointF(5, -6);
        // clang-format on
    }
    void location()
    {
        FETCH((QByteArray, id), (QPointF, expected));
        // A valid row with an overlong comment is not one of the tables' lines: skipped whole.
        QVERIFY(!writeFile(m_dir.filePath("zone1970.tab"),
                           "# c\nXX\t+1o00+02000\tBad/Digits\nXX\t+1060+02000\tBad/Minutes\n"
                           "XX\t+0100+00100\tToo/Long\t" +
                               QByteArray(5000, 'x') +
                               "\nXX\t+1000+02000\tToo/Long\nXX\t+0500-00600\tLast/Line")
                     .isEmpty());
        const auto location =
            locationOfTimeZone(id) ? locationOfTimeZone(id) : locationOfTimeZone(id, m_dir.path());
        QCOMPARE(location.has_value(), !qIsNaN(expected.x()));
        QVERIFY(!location ||
                QLineF(expected, QPointF(location->latitude, location->longitude)).length() < 1e-9);
    }

    // Starts are wall-clock times, on days of 23 and 25 hours too; the next change is after now.
    void shownPicture_data()
    {
        // hours: picture i starts at hours[i]
        addColumns<QByteArray, QList<double>, QDateTime, int, QDateTime>(
            {"zone", "hours", "now", "image", "next"});
        const QByteArray b = "Europe/Berlin", ny = "America/New_York";
        // clang-format off
        QTest::newRow("evening to next morning") << b << QList<double>{6, 18} << utc("2024-06-01T18:00:00Z") << 1 << utc("2024-06-02T04:00:00Z");
        QTest::newRow("before the first") << b << QList<double>{6, 18} << utc("2024-06-01T01:00:00Z") << 1 << utc("2024-06-01T04:00:00Z");
        QTest::newRow("at a start") << b << QList<double>{6, 18} << utc("2024-06-01T04:00:00Z") << 0 << utc("2024-06-01T16:00:00Z");
        QTest::newRow("into the gap") << b << QList<double>{2.4, 21.6} << utc("2024-03-30T22:00:00Z") << 1 << utc("2024-03-31T01:00:00Z");
        QTest::newRow("25-hour day") << b << QList<double>{12} << utc("2024-10-26T10:00:00.001Z") << 0 << utc("2024-10-27T11:00:00Z");
        QTest::newRow("first 01:30") << ny << QList<double>{1.5, 13} << utc("2024-11-03T05:30:00Z") << 0 << utc("2024-11-03T18:00:00Z");
        // clang-format on
    }
    void shownPicture()
    {
        FETCH((QByteArray, zone), (QList<double>, hours), (QDateTime, now, next), (int, image));
        WallpaperSchedule schedule{ScheduleKind::TimeOfDay, int(hours.size()), {}, {}, {}};
        for (int i = 0; i < hours.size(); ++i)
            schedule.times.append({i, hours.at(i) / 24});
        const ShownPicture shown = pictureAt(schedule, now, QTimeZone(zone), std::nullopt);
        QCOMPARE(shown.image, image);
        QCOMPARE(shown.nextChange.toUTC(), next);
        QCOMPARE(shown.nextChange.timeZone(), QTimeZone(zone));
    }

    // The day follows the zone of the clock the desktop shows, the C library's, also where Qt
    // names the system's zone otherwise; a zone neither can name is said to be unknown.
    void localZone_data()
    {
        // id: of the zone followed; empty: the offset now
        addColumns<QByteArray, QByteArray, bool>({"tz", "id", "known"});
        const QByteArray tokyo = m_dir.filePath("Tokyo").toUtf8(); // a zone file elsewhere
        QFile::copy("/usr/share/zoneinfo/Asia/Tokyo", QString::fromUtf8(tokyo));
        // clang-format off
        QTest::newRow("a name") << QByteArray("Europe/Berlin") << QByteArray("Europe/Berlin") << true;
        QTest::newRow("a link's name") << QByteArray("UTC") << QByteArray("UTC") << true; // to Etc/UTC
        QTest::newRow("a rule") << QByteArray("CET-1CEST,M3.5.0,M10.5.0/3") << QByteArray("CET-1CEST,M3.5.0,M10.5.0/3") << true;
        QTest::newRow("a path") << QByteArray("/usr/share/zoneinfo/Europe/Berlin") << QByteArray("Europe/Berlin") << true;
        QTest::newRow("a path with a colon") << QByteArray(":/usr/share/zoneinfo/America/New_York") << QByteArray("America/New_York") << true;
        QTest::newRow("a file elsewhere") << tokyo << QByteArray() << false;
        QTest::newRow("an unknown name") << QByteArray("Europe/Nowhere") << QByteArray() << false;
        QTest::newRow("garbage") << QByteArray("garbage") << QByteArray("garbage") << false;
        // clang-format on
    }
    void localZone()
    {
        FETCH((QByteArray, tz, id), (bool, known));
        const auto reread = qScopeGuard([] { tzset(); }); // once TZ is back
        const auto zoneSet = withEnv("TZ", tz);
        tzset();
        bool isKnown = !known;
        const QTimeZone zone = localTimeZone(&isKnown);
        QCOMPARE(isKnown, known);
        QCOMPARE(zone.id(), id.isEmpty()
                                ? QTimeZone(zone.offsetFromUtc(QDateTime::currentDateTime())).id()
                                : id);
        // Summer and winter alike (the zones not known here keep one offset all year).
        for (const QDateTime &at : {utc("2026-01-15T12:00:00Z"), utc("2026-07-15T12:00:00Z")}) {
            const time_t seconds = at.toSecsSinceEpoch();
            tm local{};
            localtime_r(&seconds, &local);
            QCOMPARE(zone.offsetFromUtc(at), int(local.tm_gmtoff));
        }
        const QString hours = QDateTime::currentDateTime().offsetFromUtc() < 0 ? "UTC−" : "UTC+";
        QVERIFY(known ||
                unknownTimeZoneText().startsWith("Die Zeitzone „" + QString::fromUtf8(tz) +
                                                 "“ (TZ) kennt Voskan nicht: Die Bilder des Tages "
                                                 "folgen der Uhr mit ihrem jetzigen Abstand "
                                                 "zur Weltzeit (" +
                                                 hours));
    }

    void gnomeXml_data()
    {
        // starts: "hh:mm:ss=path", in the order given; expected: sorted and merged
        addColumns<QStringList, int, QStringList>({"starts", "transition", "expected"});
        const QStringList close{"06:00:00=/a", "06:01:00=/b", "06:01:01=/c", "23:59:59=/d"};
        // clang-format off
        QTest::newRow("unsorted, same start") << QStringList{"12:00:00=/b", "06:00:00=/a", "12:00:00=/d"} << 300 << QStringList{"06:00:00=/a", "12:00:00=/d"};
        QTest::newRow("escaping") << QStringList{"19:30:00=/x/\"q\".png", "07:30:15=/a&b <c>.png"} << 60 << QStringList{"07:30:15=/a&b <c>.png", "19:30:00=/x/\"q\".png"};
        QTest::newRow("short gaps") << close << 300 << close;
        QTest::newRow("one picture") << QStringList{"09:15:30=/a"} << 600 << QStringList{"09:15:30=/a"};
        // clang-format on
    }
    void gnomeXml()
    {
        FETCH((QStringList, starts, expected), (int, transition));
        QList<std::pair<QTime, QString>> input;
        for (const QString &start : starts)
            input.append({QTime::fromString(start.section(u'=', 0, 0)), start.section(u'=', 1)});
        QStringList names, texts; // of every element without children
        QXmlStreamReader xml(gnomeTimedXml({2026, 3, 29}, input, transition));
        const QStringList parents{"background", "starttime", "static", "transition"};
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement && !parents.contains(xml.name())) {
                names << xml.name().toString();
                texts << xml.readElementText();
            }
        }
        QVERIFY2(!xml.hasError() && texts.size() > 6, qPrintable(xml.errorString()));
        QCOMPARE(QDate(texts[0].toInt(), texts[1].toInt(), texts[2].toInt()), QDate(2026, 3, 29));
        const QTime begin(texts[3].toInt(), texts[4].toInt(), texts[5].toInt());
        QStringList statics, fades, want; // "begin=file" from the durations; "from>to"
        int clock = 0;                    // tenths of a second since the start time
        for (qsizetype i = 6; i + 1 < texts.size(); i += 2) {
            QVERIFY2(QRegularExpression("^[0-9]+\\.[0-9]$").match(texts[i]).hasMatch(),
                     qPrintable(texts[i]));
            const int tenths = QString(texts[i]).remove(u'.').toInt();
            const bool still = names[i + 1] == "file";
            QVERIFY(tenths > 0 &&
                    (still ? clock % 10 == 0 : tenths <= transition * 10 && i + 2 < texts.size()));
            if (still)
                statics << begin.addSecs(clock / 10).toString() + '=' + texts[i + 1];
            else
                fades << texts[i + 1] + '>' + texts[i + 2];
            i += still ? 0 : 1; // a fade has a third element
            clock += tenths;
        }
        QCOMPARE(statics, expected);
        QCOMPARE(clock, 864000);
        for (qsizetype i = 1; expected.size() > 1 && i <= expected.size(); ++i) // last to first
            want << expected[i - 1].section(u'=', 1) + '>' +
                        expected.value(i, expected[0]).section(u'=', 1);
        QCOMPARE(fades, want);
    }

    // What the follower keeps of a day survives the trip through its file; anything else in that
    // file is no day, however it got there.
    void dayFile_data()
    {
        addColumns<QByteArray, bool>({"json", "valid"});
        const QByteArray h = R"({"kind":"h24","images":3,"entries":[[2,0.75],[0,0],[1,0.5])";
        // clang-format off
        QTest::newRow("hours") << h + "]}" << true;
        QTest::newRow("sun and place") << QByteArray(R"({"kind":"solar","images":2,"entries":[[1,-6.5,271.25],[0,30,90]],"place":[-33.87,151.21]})") << true;
        QTest::newRow("index past the pictures") << QByteArray(R"({"kind":"h24","images":2,"entries":[[2,0.5]]})") << false;
        QTest::newRow("index not whole") << QByteArray(R"({"kind":"h24","images":2,"entries":[[0.5,0.5]]})") << false;
        QTest::newRow("the end of the day") << QByteArray(R"({"kind":"h24","images":2,"entries":[[0,1]]})") << false;
        QTest::newRow("a time that is no number") << QByteArray(R"({"kind":"h24","images":2,"entries":[[0,"0.5"]]})") << false;
        QTest::newRow("sun below the nadir") << QByteArray(R"({"kind":"solar","images":2,"entries":[[0,-91,90]]})") << false;
        QTest::newRow("azimuth 360") << QByteArray(R"({"kind":"solar","images":2,"entries":[[0,10,360]]})") << false;
        QTest::newRow("no entries") << QByteArray(R"({"kind":"h24","images":2,"entries":[]})") << false;
        QTest::newRow("a place off the Earth") << h + R"(],"place":[91,0]})" << false;
        QTest::newRow("a pair only") << QByteArray(R"({"kind":"apr","images":2,"entries":[[0,0.5]]})") << false;
        QTest::newRow("not JSON") << QByteArray("\\x00day") << false;
        // clang-format on
        QByteArray many = R"({"kind":"h24","images":1,"entries":[)";
        for (int i = 0; i <= kMaxScheduleEntries; ++i)
            many += QByteArray(i ? "," : "") + "[0,0.5]";
        QTest::newRow("too many entries") << many + "]}" << false;
    }
    void dayFile()
    {
        FETCH((QByteArray, json), (bool, valid));
        const std::optional<DayFile> day = DayFile::fromJson(json);
        QCOMPARE(day.has_value(), valid);
        if (!valid)
            return;
        const std::optional<DayFile> again = DayFile::fromJson(day->toJson());
        QVERIFY(again);
        QCOMPARE(again->schedule, day->schedule);
        QCOMPARE(again->location, day->location);
        QVERIFY(day->schedule.times.isEmpty() || // sorted by time, as pictureAt() expects
                std::is_sorted(day->schedule.times.begin(), day->schedule.times.end(),
                               [](auto a, auto b) { return a.dayFraction < b.dayFraction; }));
    }

    // The follower's alarm wakes at its instant and not before, and early when the time zone
    // is replaced or rewritten or the clock is set; stopped, it stays quiet.
    void clockWakes_data()
    {
        QTest::addColumn<QString>("event");
        QTest::newRow("the instant") << "instant";
        QTest::newRow("a zone linked anew") << "relink"; // as timedatectl does
        QTest::newRow("a zone rewritten") << "rewrite";
        QTest::newRow("the clock set") << "clock";
        QTest::newRow("stopped") << "stop";
    }
    void clockWakes()
    {
        QFETCH(QString, event);
        const QString zone = m_dir.filePath("localtime");
        QFile::remove(zone);
        const bool link = event == "relink", soon = event == "instant" || event == "stop";
        QVERIFY(link ? QFile::link(writeFile(m_dir.filePath("Berlin"), "Europe/Berlin"), zone)
                     : !writeFile(zone, "Europe/Berlin").isEmpty());
        DayClock clock({zone});
        QSignalSpy due(&clock, &DayClock::due);
        clock.wakeAt(QDateTime::currentDateTime().addMSecs(soon ? 400 : 3'600'000));
        QTest::qWait(100);
        QCOMPARE(due.size(), 0);
        if (event == "stop") // before it is due
            clock.stop();
        if (link) {
            QVERIFY(QFile::link(writeFile(m_dir.filePath("New_York"), "America/New_York"),
                                zone + ".new"));
            QVERIFY(std::rename(QFile::encodeName(zone + ".new"), QFile::encodeName(zone)) == 0);
        } else if (event == "rewrite" || event == "stop") { // in place: the same file
            QVERIFY(!writeFile(zone, "Asia/Tokyo").isEmpty());
        } else if (event == "clock" && !setClockAnew()) {
            QSKIP("Setting the clock needs CAP_SYS_TIME");
        }
        if (event == "stop") {
            QTest::qWait(1000);
            QCOMPARE(due.size(), 0);
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(due.size() >= 1, 3000);
        QTest::qWait(300);
        QCOMPARE(due.size(), 1);
        clock.wakeAt(QDateTime::currentDateTime().addMSecs(100));
        QTRY_COMPARE_WITH_TIMEOUT(due.size(), 2, 3000);
    }
};

QTEST_GUILESS_MAIN(TestDaySchedule)
#include "tst_dayschedule.moc"
