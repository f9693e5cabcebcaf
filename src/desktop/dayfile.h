#pragma once

// A day that follows the clock or the sun, set on a desktop that shows one picture, is played by
// the follower for as long as it stays set: weeks after the file it came from was moved or
// deleted. So the set leaves what the follower needs beside the day's pictures — the schedule
// and the place the sun is reckoned for — in a small file the follower reads back with the same
// suspicion as anything else in the data folder.

#include "day/geolocation.h"
#include "heic/wallpaperschedule.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <optional>

struct DayFile
{
    WallpaperSchedule schedule; // TimeOfDay or Solar
    std::optional<GeoLocation> location;

    QByteArray toJson() const;
    // The day in the file at `path`; nothing when it is not one this program wrote, or when its
    // schedule is not one a file could have held (an index outside its pictures, a value out of
    // range, more entries than any file may have).
    static std::optional<DayFile> read(const QString &path);
    static std::optional<DayFile> fromJson(const QByteArray &json);
};

// GNOME's slideshow of the day in `dayFile` for `date` in the system's zone, written into the
// day's folder under the date's name (the desktop keeps a slideshow it has read under its
// name); its path, or nothing when it could not be written.
std::optional<QString> writeDaySlideshow(const QString &dayFile, const DayFile &day, QDate date);
// Where that slideshow lies.
QString daySlideshowPath(const QString &dayFile, QDate date);
