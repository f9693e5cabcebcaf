#include "dayschedule.h"

#include "sun.h"
#include "timezonelocation.h"

#include <QFileInfo>
#include <QMap>

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 msPerDay = 86'400'000;
constexpr int secondsPerDay = 86'400;

QDateTime utcAt(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

// The first instant the clock in `zone` shows `time` on `date`. Worked out from the zone's own
// offsets rather than left to QDateTime, which in Qt 6.4 makes a skipped time invalid and takes
// the second pass of a repeated hour. A skipped time starts when the clock resumes, so pictures
// in the gap keep their order.
QDateTime wallClock(QDate date, QTime time, const QTimeZone &zone)
{
    const qint64 wall = QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch();
    const QDateTime from = utcAt(wall - 2 * msPerDay);
    const QTimeZone::OffsetDataList transitions =
        zone.transitions(from, utcAt(wall + 2 * msPerDay));
    QList<int> offsets{zone.offsetFromUtc(from)};
    for (const QTimeZone::OffsetData &transition : transitions)
        offsets.append(transition.offsetFromUtc);

    std::optional<qint64> first;
    for (int offset : offsets) {
        const qint64 ms = wall - qint64(offset) * 1000;
        if (zone.offsetFromUtc(utcAt(ms)) == offset && (!first || ms < *first))
            first = ms;
    }
    for (qsizetype i = 0; !first && i < transitions.size(); ++i) {
        const qint64 ms = transitions.at(i).atUtc.toMSecsSinceEpoch();
        if (ms + qint64(offsets.at(i)) * 1000 <= wall &&
            wall < ms + qint64(offsets.at(i + 1)) * 1000)
            first = ms;
    }
    return first ? QDateTime::fromMSecsSinceEpoch(*first, zone) : QDateTime(date, time, zone);
}

GeoLocation placeFor(const QTimeZone &zone, std::optional<GeoLocation> location, QDate date)
{
    if (location)
        return *location;
    if (const auto city = locationOfTimeZone(zone.id()))
        return *city;
    // 240 seconds of offset are one degree of longitude.
    return {0.0, zone.standardTimeOffset(date.startOfDay(zone)) / 240.0};
}

// A zone by a name the C library reads as Qt does: a file of the tz database, or a POSIX rule,
// which always holds an offset. Qt reads any other word in TZ ("garbage") as a rule of its own;
// the C library falls back to UTC, whatever the word was meant to be.
bool isNamed(const QTimeZone &zone)
{
    const QByteArray id = zone.id();
    const QString folder = qEnvironmentVariableIsEmpty("TZDIR")
                               ? QStringLiteral("/usr/share/zoneinfo")
                               : qEnvironmentVariable("TZDIR");
    return std::any_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
           (!id.isEmpty() && QFileInfo(folder + QLatin1Char('/') + QString::fromUtf8(id)).isFile());
}

} // namespace

QTimeZone localTimeZone(bool *known)
{
    const QDateTime now = QDateTime::currentDateTime();
    const int offset = now.offsetFromUtc();
    const auto agrees = [&](const QTimeZone &zone) {
        return zone.isValid() && zone.offsetFromUtc(now) == offset;
    };
    if (known)
        *known = true;
    const QTimeZone system = QTimeZone::systemTimeZone();
    if (agrees(system)) {
        if (known)
            *known = isNamed(system);
        return system;
    }
    QByteArray tz = qgetenv("TZ");
    if (qEnvironmentVariableIsSet("TZ") && tz.isEmpty() && agrees(QTimeZone::utc()))
        return QTimeZone::utc();
    if (tz.startsWith(':'))
        tz.remove(0, 1);
    const qsizetype folder = tz.indexOf("/zoneinfo/");
    if (tz.startsWith('/') && folder >= 0) {
        const QTimeZone named(tz.mid(folder + qsizetype(sizeof "/zoneinfo/") - 1));
        if (agrees(named))
            return named;
    }
    if (known)
        *known = false;
    return QTimeZone(offset);
}

QString unknownTimeZoneText()
{
    const QByteArray tz = qgetenv("TZ");
    const QString zone = tz.isEmpty() ? QStringLiteral("des Systems (/etc/localtime)")
                                      : QStringLiteral("„%1“ (TZ)").arg(QString::fromLocal8Bit(tz));
    const int offset = QDateTime::currentDateTime().offsetFromUtc();
    const QString utc = QStringLiteral("UTC%1%2:%3")
                            .arg(offset < 0 ? QStringLiteral("−") : QStringLiteral("+"))
                            .arg(std::abs(offset) / 3600, 2, 10, QLatin1Char('0'))
                            .arg(std::abs(offset) % 3600 / 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("Die Zeitzone %1 kennt Voskan nicht: Die Bilder des Tages folgen der "
                          "Uhr mit ihrem jetzigen Abstand zur Weltzeit (%2) und liegen nach einer "
                          "Umstellung der Sommerzeit eine Stunde daneben. Stelle eine Zeitzone "
                          "wie „Europe/Berlin“ ein (timedatectl set-timezone oder TZ).")
        .arg(zone, utc);
}

QList<ScheduledPicture> picturesForDay(const WallpaperSchedule &schedule, QDate localDate,
                                       const QTimeZone &localZone,
                                       std::optional<GeoLocation> location)
{
    const QTimeZone zone = localZone.isValid() ? localZone : QTimeZone::utc();
    QList<ScheduledPicture> day;
    switch (schedule.kind) {
    case ScheduleKind::LightDark:
        break;
    case ScheduleKind::TimeOfDay:
        for (const TimedPicture &picture : schedule.times) {
            const double fraction = std::isfinite(picture.dayFraction)
                                        ? std::clamp(picture.dayFraction, 0.0, 1.0)
                                        : 0.0;
            const qint64 ms = std::min(std::llround(fraction * double(msPerDay)), msPerDay - 1);
            const QTime time = QTime::fromMSecsSinceStartOfDay(int(ms));
            day.append({wallClock(localDate, time, zone), picture.image});
        }
        break;
    case ScheduleKind::Solar: {
        const GeoLocation place = placeFor(zone, location, localDate);
        for (const SolarPicture &picture : schedule.sun) {
            const bool morning = picture.azimuth < 180;
            const SunPassage passage = sunPassage(localDate, zone, place.latitude, place.longitude,
                                                  picture.altitude, morning);
            day.append({passage.time, picture.image});
        }
        break;
    }
    }
    std::stable_sort(day.begin(), day.end(),
                     [](const auto &a, const auto &b) { return a.start < b.start; });
    return day;
}

ShownPicture pictureAt(const WallpaperSchedule &schedule, const QDateTime &now,
                       const QTimeZone &localZone, std::optional<GeoLocation> location)
{
    if (!now.isValid())
        return {};
    const QTimeZone zone = localZone.isValid() ? localZone : QTimeZone::utc();
    const QDate today = now.toTimeZone(zone).date();
    if (schedule.kind == ScheduleKind::Solar)
        location = placeFor(zone, location, today);

    // Yesterday's last picture shows until today's first; a solar passage near midnight can fall
    // on a neighbouring calendar day, so the day after tomorrow is looked at too.
    QList<ScheduledPicture> starts;
    for (int offset = -1; offset <= 2; ++offset)
        starts += picturesForDay(schedule, today.addDays(offset), zone, location);
    std::stable_sort(starts.begin(), starts.end(),
                     [](const auto &a, const auto &b) { return a.start < b.start; });

    ShownPicture shown;
    for (const ScheduledPicture &start : starts) {
        if (start.start > now) {
            shown.nextChange = start.start;
            break;
        }
        shown.image = start.image;
    }
    return shown;
}

QByteArray gnomeTimedXml(QDate date, const QList<std::pair<QTime, QString>> &starts,
                         int transitionSeconds)
{
    QMap<int, QString> bySecond;
    for (const auto &[time, path] : starts) {
        if (time.isValid())
            bySecond.insert((time.msecsSinceStartOfDay() + 500) / 1000 % secondsPerDay, path);
    }
    if (bySecond.isEmpty())
        return {};
    const QList<int> seconds = bySecond.keys();
    QList<QByteArray> files;
    for (const QString &path : bySecond)
        files.append(path.toHtmlEscaped().toUtf8());

    // In tenths of a second, so that halved fades stay exact and the day sums to 86400.0.
    const auto decimal = [](qint64 tenths) {
        return QByteArray::number(tenths / 10) + '.' + QByteArray::number(tenths % 10);
    };
    const QTime first = QTime::fromMSecsSinceStartOfDay(seconds.first() * 1000);
    QByteArray xml = "<background>\n  <starttime>\n    <year>" + QByteArray::number(date.year()) +
                     "</year>\n    <month>" + QByteArray::number(date.month()) +
                     "</month>\n    <day>" + QByteArray::number(date.day()) + "</day>\n";
    xml += "    <hour>" + QByteArray::number(first.hour()) + "</hour>\n    <minute>" +
           QByteArray::number(first.minute()) + "</minute>\n    <second>" +
           QByteArray::number(first.second()) + "</second>\n  </starttime>\n";
    const qsizetype count = seconds.size();
    for (qsizetype i = 0; i < count; ++i) {
        const qint64 end = i + 1 < count ? seconds.at(i + 1) : seconds.first() + secondsPerDay;
        const qint64 gap = (end - seconds.at(i)) * 10;
        const qint64 fade =
            count > 1 ? std::min(qint64(std::max(transitionSeconds, 0)) * 10, gap / 2) : 0;
        xml += "  <static>\n    <duration>" + decimal(gap - fade) + "</duration>\n    <file>" +
               files.at(i) + "</file>\n  </static>\n";
        if (fade > 0) {
            xml += "  <transition type=\"overlay\">\n    <duration>" + decimal(fade) +
                   "</duration>\n    <from>" + files.at(i) + "</from>\n    <to>" +
                   files.at((i + 1) % count) + "</to>\n  </transition>\n";
        }
    }
    xml += "</background>\n";
    return xml;
}
