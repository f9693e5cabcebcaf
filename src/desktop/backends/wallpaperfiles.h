#pragma once

// The files one wallpaper consists of on disk, and how their names relate: a desktop reports
// the picture it shows, and only these names lead from that picture back to the HEIC it
// belongs to.

#include <QSize>
#include <QString>

#include <optional>

// One wallpaper as the desktop gets it. No Linux desktop reads the light/dark metadata inside
// the HEIC, so every backend is handed the two pictures beside it as well.
struct WallpaperFiles
{
    QString heic;  // ".../wallpaper-a.heic"
    QString light; // ".../wallpaper-a-light.jpg"
    QString dark;  // ".../wallpaper-a-dark.jpg"
    QSize size;    // of both pictures

    // The files that belong to the HEIC at `heicPath`, all in its folder.
    static WallpaperFiles forHeic(const QString &heicPath, QSize size = {});
    // The folder of the KDE wallpaper package built from the two pictures.
    QString kdePackage() const;
    // The HEIC a picture handed to the desktop belongs to: the same folder, the base name
    // without "-light.jpg", "-dark.jpg" or "-kde". Any other name is returned as it is.
    static QString heicForPicture(const QString &picturePath);

    // A day that follows the clock or the sun is a file ".../day-a.day" with the day's pictures
    // (and GNOME's slideshows) in ".../day-a/": picture 3 is handed over as the pair of
    // ".../day-a/3.heic", both sides the one file "3-light.jpg" (no HEIC is written).
    static WallpaperFiles forDayPicture(const QString &dayFile, int image, QSize size = {});
    // The folder of the day in `dayFile`.
    static QString dayFolder(const QString &dayFile);
    // The wallpaper a picture handed to the desktop belongs to: the day file for anything in a
    // day's folder, else its HEIC as heicForPicture() says.
    static QString wallpaperForPicture(const QString &picturePath);
};

// Whether `path` is a picture of one of our wallpapers (a pair's or a day's) in our data folder.
bool isOurPicture(const QString &path);
