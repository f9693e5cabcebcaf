#pragma once

// When each picture of a dynamic wallpaper made elsewhere shows on a given day, which one shows
// now and when that changes, and the same day written out for GNOME, whose desktop plays a timed
// slideshow on its own. Pure computations on a schedule, a day, a zone and a place, so that the
// follower, the export and the tests all agree on the same instants.

#include "geolocation.h"
#include "heic/wallpaperschedule.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>
#include <QTimeZone>

#include <optional>
#include <utility>

// The zone of the local time every clock on the desktop shows (the C library's), for the
// schedules to follow. Qt works the system's zone out on its own and can disagree: with TZ set but
// empty (UTC to the C library), TZ naming a zone file by its path, a stale /etc/timezone. Then
// the zone file TZ names stands in, or UTC for an empty TZ, or else — `known` false — a zone of
// the C library's offset now, an hour off after the next change of summer time.
QTimeZone localTimeZone(bool *known = nullptr);
// What to do about a zone that is not known (German).
QString unknownTimeZoneText();

// A picture and the moment it starts showing, in the day's zone.
struct ScheduledPicture
{
    QDateTime start;
    int image = 0;
};

// The starts of a schedule's pictures on `localDate` in `zone`, sorted by time; pictures that
// start at the same instant keep the file's order, so the later one in the file wins.
// TimeOfDay: the fraction is wall-clock time, so 0.5 is 12:00 on a 23- or 25-hour day too; a time
// the clock skips in spring starts when the clock resumes, an hour the clock repeats in autumn
// counts at its first pass. Solar: when the sun passes the picture's altitude on its side of noon
// (an azimuth below 180° is the morning); on a day the sun never gets there the picture starts at
// the nearest the sun comes (see sunPassage), so every picture still shows and mornings stay
// before afternoons. Without a location the zone's city stands in, or failing that a place on
// the equator at the zone's standard meridian, where the sun keeps a plain 6-to-18 day.
// LightDark schedules follow the desktop's appearance, not the clock: the list is empty. An
// invalid zone counts as UTC.
QList<ScheduledPicture> picturesForDay(const WallpaperSchedule &schedule, QDate localDate,
                                       const QTimeZone &zone, std::optional<GeoLocation> location);

// The picture showing at `now` and the next instant the schedule switches, strictly after `now`.
// Before a day's first start the previous day's last picture still shows. The image is -1 and
// the instant invalid for a schedule without times.
struct ShownPicture
{
    int image = -1;
    QDateTime nextChange;
};
ShownPicture pictureAt(const WallpaperSchedule &schedule, const QDateTime &now,
                       const QTimeZone &zone, std::optional<GeoLocation> location);

// GNOME's timed background for one day that repeats, starting on `date`: each picture shows from
// its start, fading over from the one before for `transitionSeconds` that end at its start.
// Starts are rounded to the second; equal starts keep the last picture given for them. A fade
// never takes more than half its gap, so each picture still shows unblended for a while.
// Durations add up to exactly one day. Empty for no pictures.
// GNOME counts the seconds elapsed since the start and repeats the day: a start long past would
// put every picture an hour off after each change of summer time, so it is written anew each day.
QByteArray gnomeTimedXml(QDate date, const QList<std::pair<QTime, QString>> &starts,
                         int transitionSeconds);
