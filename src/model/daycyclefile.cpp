#include "daycyclefile.h"

#include "day/dayschedule.h"
#include "render/dayblend.h"

namespace DayCycleFile {

Bitmap picture(const DayCycle::Plan &plan, const Bitmap &day, const Bitmap &night, int index,
               double dither)
{
    if (index == plan.pair.light)
        return day;
    if (index == plan.pair.dark)
        return night;
    const double altitude = plan.altitudes.value(index);
    return DayBlend::blend(night, day, DayBlend::daylight(altitude), DayBlend::warmth(altitude),
                           dither);
}

PictureLines pictureLines(const DayCycle::Plan &plan, QDate date, const QTimeZone &zone,
                          std::optional<GeoLocation> location)
{
    QList<ScheduledPicture> starts;
    // Of pictures that start at the same instant the last wins (a day the sun never reaches
    // their altitude): the others never show.
    for (const ScheduledPicture &start : picturesForDay(plan.schedule(), date, zone, location)) {
        if (!starts.isEmpty() && starts.constLast().start == start.start)
            starts.removeLast();
        starts << start;
    }
    const int count = int(plan.altitudes.size());
    QList<QStringList> times(count);
    for (qsizetype k = 0; k < starts.size(); ++k) {
        // Before the day's first start the last one of the day still shows.
        const int before = starts.at(k > 0 ? k - 1 : starts.size() - 1).image;
        const ScheduledPicture &start = starts.at(k);
        if (start.image != before && start.image >= 0 && start.image < count)
            times[start.image] << start.start.time().toString(QStringLiteral("HH:mm"));
    }
    PictureLines lines;
    const QList<int> order = plan.dayOrder();
    for (int k = 0; k < count; ++k) {
        const int i = order.at(k);
        const QString part = i == plan.pair.light  ? QStringLiteral("Tag")
                             : i == plan.pair.dark ? QStringLiteral("Nacht")
                                                   : QStringLiteral("Dämmerung");
        QString label = QStringLiteral("Bild %1 von %2, %3").arg(k + 1).arg(count).arg(part);
        if (!times[i].isEmpty())
            label += QStringLiteral(": ") + times[i].join(QStringLiteral(" und ")) +
                     QStringLiteral(" Uhr");
        lines.labels << label;
        lines.captions << (times[i].isEmpty() ? part : times[i].constFirst());
    }
    return lines;
}

std::optional<WallpaperFailure> write(const Bitmap &day, const Bitmap &night, int count,
                                      const QString &path, double dither, WriteProgress *progress)
{
    const DayCycle::Plan plan = DayCycle::plan(count);
    return DynamicWallpaper::writePictures(
        int(plan.altitudes.size()), [&](int i) { return picture(plan, day, night, i, dither); },
        DynamicWallpaper::solarXmpPacket(plan.sun, plan.pair), path, {}, progress);
}

} // namespace DayCycleFile
