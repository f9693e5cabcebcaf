#pragma once

// A dynamic wallpaper made elsewhere, opened as what it is rather than as a photo: the looks get
// its pictures as they are (its light and dark one, or the one the clock or the sun shows now),
// and the window says what the file holds. Moving a slider or choosing a style makes it a photo
// like any other.

#include "heic/wallpaperschedule.h"
#include "model/look.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <variant>

// What the looks get of an opened dynamic wallpaper.
struct OpenedDynamic
{
    QString path;
    WallpaperSchedule schedule;
    int light = 0; // the picture each look shows
    int dark = 0;
    Bitmap lightPicture;
    Bitmap darkPicture;
};

// A line per picture for the strip of a dynamic wallpaper's pictures, and the short caption
// under its tile.
struct PictureLines
{
    QStringList labels;
    QStringList captions;
};

namespace DynamicPicture {

// The pictures for the two looks: the pair the file names, else the one showing at `now`.
std::pair<int, int> picturesForLooks(const WallpaperSchedule &schedule, const QDateTime &now);

// Whether the file starts like a HEIF container; only those can hold a schedule.
bool isHeif(const QString &path);

// `path` as a dynamic wallpaper: nothing when it holds no schedule (a photo, or a HEIC photo),
// a German error when its schedule is broken — the caller then opens it as a photo.
std::variant<std::monostate, OpenedDynamic, QString> open(const QString &path,
                                                          const QDateTime &now);

// `look` showing `picture` as it is: no blur, no change of tone, no grain.
Look asItIs(Look look, const Bitmap &picture);

// The file's pictures: each labelled with its start times, where the sun stands, or which
// appearance it is for; captioned with the first of them (the sun's altitude ↑ before noon,
// ↓ after).
PictureLines pictureLines(const WallpaperSchedule &schedule);

} // namespace DynamicPicture
