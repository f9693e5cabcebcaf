#include "dayfile.h"

#include "day/dayschedule.h"
#include "desktop/backends/wallpaperfiles.h"
#include "files/datafolder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

// Far above what kMaxScheduleEntries entries take, far below what would cost memory to read.
constexpr qint64 kMaxDayFileBytes = 256 * 1024;

const QString kTimeOfDay = QStringLiteral("h24");
const QString kSolar = QStringLiteral("solar");

// A whole number in [0, count), as an index must be.
std::optional<int> indexIn(const QJsonValue &value, int count)
{
    const double number = value.toDouble(-1);
    if (!(number >= 0 && number < count) || number != std::floor(number))
        return std::nullopt;
    return int(number);
}

bool inRange(const QJsonValue &value, double low, double high)
{
    const double number = value.toDouble(std::nan(""));
    return value.isDouble() && number >= low && number <= high;
}

} // namespace

QByteArray DayFile::toJson() const
{
    QJsonObject day;
    day[QStringLiteral("images")] = schedule.imageCount;
    QJsonArray entries;
    if (schedule.kind == ScheduleKind::Solar) {
        day[QStringLiteral("kind")] = kSolar;
        for (const SolarPicture &picture : schedule.sun)
            entries.append(QJsonArray{picture.image, picture.altitude, picture.azimuth});
    } else {
        day[QStringLiteral("kind")] = kTimeOfDay;
        for (const TimedPicture &picture : schedule.times)
            entries.append(QJsonArray{picture.image, picture.dayFraction});
    }
    day[QStringLiteral("entries")] = entries;
    if (location)
        day[QStringLiteral("place")] = QJsonArray{location->latitude, location->longitude};
    return QJsonDocument(day).toJson(QJsonDocument::Compact);
}

std::optional<DayFile> DayFile::read(const QString &path)
{
    if (const auto bytes = readSmallFile(path, kMaxDayFileBytes))
        return fromJson(*bytes);
    return std::nullopt;
}

std::optional<DayFile> DayFile::fromJson(const QByteArray &json)
{
    const QJsonObject day = QJsonDocument::fromJson(json).object();
    DayFile file;
    const QString kind = day.value(QStringLiteral("kind")).toString();
    if (kind != kTimeOfDay && kind != kSolar)
        return std::nullopt;
    file.schedule.kind = kind == kSolar ? ScheduleKind::Solar : ScheduleKind::TimeOfDay;
    const QJsonValue images = day.value(QStringLiteral("images"));
    if (!inRange(images, 1, kMaxScheduleEntries) ||
        images.toDouble() != std::floor(images.toDouble()))
        return std::nullopt;
    file.schedule.imageCount = images.toInt();
    const QJsonArray entries = day.value(QStringLiteral("entries")).toArray();
    if (entries.isEmpty() || entries.size() > kMaxScheduleEntries)
        return std::nullopt;
    for (const QJsonValue &value : entries) {
        const QJsonArray entry = value.toArray();
        const std::optional<int> image = indexIn(entry.at(0), file.schedule.imageCount);
        if (!image)
            return std::nullopt;
        if (file.schedule.kind == ScheduleKind::Solar) {
            if (entry.size() != 3 || !inRange(entry.at(1), -90, 90) ||
                !inRange(entry.at(2), 0, 360) || entry.at(2).toDouble() == 360)
                return std::nullopt;
            file.schedule.sun.append({*image, entry.at(1).toDouble(), entry.at(2).toDouble()});
        } else {
            if (entry.size() != 2 || !inRange(entry.at(1), 0, 1) || entry.at(1).toDouble() == 1)
                return std::nullopt;
            file.schedule.times.append({*image, entry.at(1).toDouble()});
        }
    }
    // Written sorted; a file that is not keeps the order it was read in for equal times.
    std::stable_sort(
        file.schedule.times.begin(), file.schedule.times.end(),
        [](const TimedPicture &a, const TimedPicture &b) { return a.dayFraction < b.dayFraction; });
    if (day.contains(QStringLiteral("place"))) {
        const QJsonArray place = day.value(QStringLiteral("place")).toArray();
        if (place.size() != 2 || !inRange(place.at(0), -90, 90) || !inRange(place.at(1), -180, 180))
            return std::nullopt;
        file.location = GeoLocation{place.at(0).toDouble(), place.at(1).toDouble()};
    }
    return file;
}

std::optional<QString> writeDaySlideshow(const QString &dayFile, const DayFile &day, QDate date)
{
    QList<std::pair<QTime, QString>> starts;
    for (const ScheduledPicture &entry :
         picturesForDay(day.schedule, date, localTimeZone(), day.location))
        starts.append(
            {entry.start.time(), WallpaperFiles::forDayPicture(dayFile, entry.image).light});
    const QString xml = daySlideshowPath(dayFile, date);
    constexpr int kFadeSeconds = 600;
    if (!writeWholeFile(xml, gnomeTimedXml(date, starts, kFadeSeconds)))
        return std::nullopt;
    return xml;
}

QString daySlideshowPath(const QString &dayFile, QDate date)
{
    return WallpaperFiles::dayFolder(dayFile) + QLatin1Char('/') + date.toString(Qt::ISODate) +
           QStringLiteral(".xml");
}
