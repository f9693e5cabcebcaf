#include "dynamicpicture.h"

#include "day/dayschedule.h"
#include "files/regularfile.h"
#include "heic/dynamicwallpaperfile.h"
#include "model/usersettings.h"

#include <QTimeZone>

namespace DynamicPicture {

std::pair<int, int> picturesForLooks(const WallpaperSchedule &schedule, const QDateTime &now)
{
    if (schedule.lightDark)
        return {schedule.lightDark->light, schedule.lightDark->dark};
    const int shown = std::max(0, pictureAt(schedule, now, localTimeZone(), userLocation()).image);
    return {shown, shown};
}

bool isHeif(const QString &path)
{
    const std::optional<QByteArray> head = RegularFile(path).read(0, 12);
    return head && head->mid(4, 4) == "ftyp";
}

std::variant<std::monostate, OpenedDynamic, QString> open(const QString &path, const QDateTime &now)
{
    if (!isHeif(path))
        return std::monostate{};
    auto opened = DynamicWallpaperFile::open(path);
    if (const QString *error = std::get_if<QString>(&opened))
        return *error;
    const DynamicWallpaperFile &file = std::get<DynamicWallpaperFile>(opened);
    if (!file.schedule())
        return std::monostate{};
    const auto [light, dark] = picturesForLooks(*file.schedule(), now);
    const std::optional<Bitmap> lightPicture = file.image(light);
    const std::optional<Bitmap> darkPicture = dark == light ? lightPicture : file.image(dark);
    if (!lightPicture || !darkPicture)
        return DynamicWallpaperFile::unreadablePictureText();
    return OpenedDynamic{path, *file.schedule(), light, dark, *lightPicture, *darkPicture};
}

Look asItIs(Look look, const Bitmap &picture)
{
    look.source = picture;
    look.style = WallpaperStyle::Blur;
    look.blur = 0;
    look.setTone({0, 1, 1});
    look.dither = 0;
    return look;
}

namespace {

// A fraction of the day as the clock shows it, „07:30“.
QString clockTime(double dayFraction)
{
    const int minutes = int(std::lround(dayFraction * 24 * 60)) % (24 * 60);
    return QStringLiteral("%1:%2")
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

PictureLines pictureLines(const WallpaperSchedule &schedule)
{
    PictureLines lines{QStringList(schedule.imageCount), QStringList(schedule.imageCount)};
    // A picture's label names every time it shows; its caption only the first.
    const auto note = [&](int image, const QString &label, const QString &caption) {
        if (image < 0 || image >= schedule.imageCount)
            return;
        QString &line = lines.labels[image];
        line += (line.isEmpty() ? QString() : QStringLiteral(", ")) + label;
        if (lines.captions[image].isEmpty())
            lines.captions[image] = caption;
    };
    for (const TimedPicture &entry : schedule.times) {
        const QString time = clockTime(entry.dayFraction);
        note(entry.image, time + QStringLiteral(" Uhr"), time);
    }
    for (const SolarPicture &entry : schedule.sun) {
        const bool morning = entry.azimuth < 180;
        note(entry.image,
             QStringLiteral("Sonne %1° %2")
                 .arg(qRound(entry.altitude))
                 .arg(morning ? QStringLiteral("morgens") : QStringLiteral("nachmittags")),
             QStringLiteral("%1%2°")
                 .arg(morning ? QStringLiteral("↑") : QStringLiteral("↓"))
                 .arg(qRound(entry.altitude)));
    }
    if (schedule.lightDark) {
        note(schedule.lightDark->light, QStringLiteral("Hell"), QStringLiteral("Hell"));
        note(schedule.lightDark->dark, QStringLiteral("Dunkel"), QStringLiteral("Dunkel"));
    }
    for (int i = 0; i < lines.labels.size(); ++i)
        lines.labels[i] =
            QStringLiteral("Bild %1 von %2").arg(i + 1).arg(lines.labels.size()) +
            (lines.labels[i].isEmpty() ? QString() : QStringLiteral(": ") + lines.labels[i]);
    return lines;
}

} // namespace DynamicPicture
