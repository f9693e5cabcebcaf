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

QStringList pictureLabels(const WallpaperSchedule &schedule)
{
    QStringList labels(schedule.imageCount);
    const auto add = [&](int image, const QString &label) {
        QString &line = labels[image];
        line += (line.isEmpty() ? QString() : QStringLiteral(", ")) + label;
    };
    for (const TimedPicture &entry : schedule.times)
        add(entry.image, clockTime(entry.dayFraction) + QStringLiteral(" Uhr"));
    for (const SolarPicture &entry : schedule.sun)
        add(entry.image, QStringLiteral("Sonne %1° %2")
                             .arg(qRound(entry.altitude))
                             .arg(entry.azimuth < 180 ? QStringLiteral("morgens")
                                                      : QStringLiteral("nachmittags")));
    if (schedule.lightDark) {
        add(schedule.lightDark->light, QStringLiteral("Hell"));
        add(schedule.lightDark->dark, QStringLiteral("Dunkel"));
    }
    for (int i = 0; i < labels.size(); ++i)
        labels[i] = QStringLiteral("Bild %1 von %2").arg(i + 1).arg(labels.size()) +
                    (labels[i].isEmpty() ? QString() : QStringLiteral(": ") + labels[i]);
    return labels;
}

QStringList pictureCaptions(const WallpaperSchedule &schedule)
{
    QStringList captions(schedule.imageCount);
    const auto first = [&](int image, const QString &caption) {
        if (image >= 0 && image < captions.size() && captions[image].isEmpty())
            captions[image] = caption;
    };
    for (const TimedPicture &entry : schedule.times)
        first(entry.image, clockTime(entry.dayFraction));
    for (const SolarPicture &entry : schedule.sun)
        first(entry.image, QStringLiteral("%1%2°")
                               .arg(entry.azimuth < 180 ? QStringLiteral("↑") : QStringLiteral("↓"))
                               .arg(qRound(entry.altitude)));
    if (schedule.lightDark) {
        first(schedule.lightDark->light, QStringLiteral("Hell"));
        first(schedule.lightDark->dark, QStringLiteral("Dunkel"));
    }
    return captions;
}

} // namespace DynamicPicture
