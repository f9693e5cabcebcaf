#pragma once

// What a dynamic wallpaper made elsewhere says about when each of its pictures shows: a light and
// a dark one, pictures for times of the day, or pictures for positions of the sun. Voskan's own
// files are the first kind; the others come from other systems in the same HEIC container.

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <variant>

// Which pictures of the file stand for the light and for the dark appearance (indexes into
// the file's top-level pictures, in file order).
struct LightDarkPair
{
    int light = 0;
    int dark = 0;
    friend bool operator==(const LightDarkPair &, const LightDarkPair &) = default;
};

// A picture that starts at a time of day: dayFraction 0 is midnight, 0.5 noon, below 1.
struct TimedPicture
{
    int image = 0;
    double dayFraction = 0;
    friend bool operator==(const TimedPicture &, const TimedPicture &) = default;
};

// A picture for a position of the sun: altitude above the horizon and azimuth from north,
// both in degrees. An azimuth below 180° is the morning side of noon.
struct SolarPicture
{
    int image = 0;
    double altitude = 0;
    double azimuth = 0;
    friend bool operator==(const SolarPicture &, const SolarPicture &) = default;
};

enum class ScheduleKind {
    LightDark, // two pictures that follow the desktop's light and dark appearance
    TimeOfDay, // pictures keyed to the hour
    Solar,     // pictures keyed to the sun's position
};

// A validated schedule: every index is below the file's picture count, times lie in [0, 1),
// altitudes in [-90, 90], azimuths in [0, 360); the lists are not empty for their kind.
struct WallpaperSchedule
{
    ScheduleKind kind = ScheduleKind::LightDark;
    int imageCount = 0;
    // For LightDark always set; for the others when the file names a light/dark pair too.
    std::optional<LightDarkPair> lightDark;
    QList<TimedPicture> times; // TimeOfDay, sorted by dayFraction
    QList<SolarPicture> sun;   // Solar, in the file's order
    friend bool operator==(const WallpaperSchedule &, const WallpaperSchedule &) = default;
};

// Why a file's XMP yields no schedule. NoSchedule is no fault: the picture is a plain photo.
enum class ScheduleError {
    NoSchedule,     // no schedule in the XMP: not a dynamic wallpaper
    Corrupt,        // not Base64, not a binary property list, or not shaped like a schedule
    MissingImage,   // an index outside the file's pictures
    InvalidValue,   // a time outside the day, an impossible sun altitude, or a number that is none
    Empty,          // a list of pictures without an entry
    TooManyEntries, // more than kMaxScheduleEntries, or a property list that unfolds beyond them
};

QString description(ScheduleError error);

// More entries than any real schedule has (a solar one holds a few dozen); the limit keeps a
// hostile table from costing time and memory.
inline constexpr int kMaxScheduleEntries = 1000;

// The schedule in an XMP packet, for a file with `imageCount` top-level pictures. The value
// may be an attribute or the text of an element in Apple's desktop namespace, whatever its
// prefix; when a packet holds several kinds, solar wins over h24 over apr.
std::variant<WallpaperSchedule, ScheduleError> parseScheduleXmp(const QByteArray &xmp,
                                                                int imageCount);

// One line for the user: „Dynamisches Wallpaper: 16 Bilder, Sonnenstand“.
QString summary(const WallpaperSchedule &schedule);
