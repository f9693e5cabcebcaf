#include "timezonelocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The real tables are a few hundred lines of well under 200 bytes; anything much larger is not
// one of them and is not read to the end.
constexpr qint64 maximumLineLength = 1024;
constexpr int maximumLines = 10'000;

// One ISO 6709 component: sign, `degreeDigits` digits of degrees, two of minutes, optionally
// two of seconds.
std::optional<double> coordinate(QByteArrayView text, int degreeDigits, double limit)
{
    const qsizetype digits = text.size() - 1;
    if ((digits != degreeDigits + 2 && digits != degreeDigits + 4) ||
        (text.front() != '+' && text.front() != '-'))
        return std::nullopt;
    for (char c : text.sliced(1)) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    const auto number = [&](qsizetype from, qsizetype count) {
        return text.sliced(from, count).toInt();
    };
    const int minutes = number(1 + degreeDigits, 2);
    const int seconds = digits == degreeDigits + 4 ? number(3 + degreeDigits, 2) : 0;
    if (minutes > 59 || seconds > 59)
        return std::nullopt;
    const double value = number(1, degreeDigits) + minutes / 60.0 + seconds / 3600.0;
    if (value > limit)
        return std::nullopt;
    return text.front() == '-' ? -value : value;
}

// "+4030-07400" or "+404251-0740023": latitude then longitude, each with its own sign.
std::optional<GeoLocation> iso6709(QByteArrayView text)
{
    qsizetype at = 1;
    while (at < text.size() && text.at(at) != '+' && text.at(at) != '-')
        ++at;
    if (text.isEmpty() || at >= text.size())
        return std::nullopt;
    const auto latitude = coordinate(text.first(at), 2, 90);
    const auto longitude = coordinate(text.sliced(at), 3, 180);
    if (!latitude || !longitude)
        return std::nullopt;
    return GeoLocation{*latitude, *longitude};
}

// Both tables put the coordinates in the second column and the zone in the third.
std::optional<GeoLocation> lookUp(const QString &tablePath, const QByteArray &ianaId)
{
    QFile table(tablePath);
    if (!table.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool lineTooLong = false;
    for (int lines = 0; lines < maximumLines && !table.atEnd(); ++lines) {
        const QByteArray line = table.readLine(maximumLineLength);
        const bool complete = line.endsWith('\n') || table.atEnd();
        // The tail of an overlong line is skipped with it, never read as a line of its own.
        const bool skip = lineTooLong || !complete;
        lineTooLong = !complete;
        if (skip || line.startsWith('#'))
            continue;
        const QList<QByteArray> columns = line.trimmed().split('\t');
        if (columns.size() < 3 || columns.at(2) != ianaId)
            continue;
        if (const auto location = iso6709(columns.at(1)))
            return location;
    }
    return std::nullopt;
}

// The zone a link such as US/Eastern stands for, as a name relative to `zoneInfoDir`.
QByteArray linkTarget(const QByteArray &ianaId, const QString &zoneInfoDir)
{
    const QString dir = QDir(zoneInfoDir).canonicalPath();
    const QString target =
        QFileInfo(zoneInfoDir + u'/' + QString::fromUtf8(ianaId)).canonicalFilePath();
    if (dir.isEmpty() || !target.startsWith(dir + u'/'))
        return {};
    return target.sliced(dir.size() + 1).toUtf8();
}

} // namespace

std::optional<GeoLocation> locationOfTimeZone(const QByteArray &ianaId, const QString &zoneInfoDir)
{
    // A zone name is a relative path of letters, digits and a few signs; anything else (an
    // empty name, "..") could only reach outside the folder.
    if (ianaId.isEmpty() || ianaId.size() > 100 || ianaId.contains("..") || ianaId.startsWith('/'))
        return std::nullopt;
    for (char c : ianaId) {
        const bool alphanumeric =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alphanumeric && c != '/' && c != '_' && c != '-' && c != '+')
            return std::nullopt;
    }

    QList<QByteArray> names{ianaId};
    const QByteArray target = linkTarget(ianaId, zoneInfoDir);
    if (!target.isEmpty() && target != ianaId)
        names.append(target);
    for (const QByteArray &name : names) {
        for (const char *table : {"zone1970.tab", "zone.tab"}) {
            if (auto location = lookUp(zoneInfoDir + u'/' + QLatin1String(table), name))
                return location;
        }
    }
    return std::nullopt;
}
