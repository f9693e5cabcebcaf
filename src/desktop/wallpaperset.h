#pragma once

// What „Als Schreibtisch setzen“ does once the two pictures are rendered, in one place and in
// the order it happens: the slot the desktop does not show, the two JPEGs every desktop reads,
// the desktop told, then the HEIC beside them — and, should the HEIC fail, the wallpaper from
// before back on screen. The window and the command line both come through here.

#include "desktopservice.h"

#include "day/geolocation.h"
#include "files/writeprogress.h"
#include "heic/wallpaperschedule.h"
#include "render/bitmap.h"

#include <QString>

#include <functional>
#include <optional>

namespace WallpaperSet {

// What a failed set adds to its message: where the pictures it wrote lie, and what to do.
QString picturesLeftText(const WallpaperFiles &files);

// Why no wallpaper can be set from this session's data folder (its name, or a follower that
// could not be started from where this program lies), asked before anything is rendered or
// written; nothing when one can. A `day` needs the follower wherever the desktop does not
// play it by itself.
std::optional<QString> refusal(const DesktopService &desktop, bool day = false);

// Sets `light` and `dark` (of one size) as the wallpaper of every screen. `told` runs once the
// desktop shows them, before the HEIC is encoded. The German error text, or nothing.
// `progress` hears the desktop's pictures and each encode begin; a cancel before the desktop
// is told leaves the slot and the desktop as they were (the error is then the writer's
// "cancelled" text); from the desktop told on, the set goes to its end.
std::optional<QString> setPictures(const Bitmap &light, const Bitmap &dark, DesktopService &desktop,
                                   const std::function<void()> &told = {},
                                   WriteProgress *progress = nullptr);

// Sets the dynamic wallpaper `file`, whose pictures follow the time of day or the sun, as
// what it is: its pictures as they are, and either a slideshow of today's times that the
// desktop plays by itself (GNOME) or the picture due now, the follower showing each next one
// when its time comes. The German error text, or nothing. The sun is reckoned for `location`,
// or the time zone's city.
std::optional<QString> setDay(const QString &file, const WallpaperSchedule &schedule,
                              std::optional<GeoLocation> location, DesktopService &desktop,
                              const std::function<void()> &told = {});

// A day's pictures by their index in its schedule, each asked for once, one at a time (sixteen
// at full size would not fit in memory together); nothing for one that cannot be had.
using DayPictures = std::function<std::optional<Bitmap>(int image)>;
// Sets a day whose pictures come from `pictures` rather than a file, as setDay does; the
// caller has asked refusal(desktop, true) before making them.
std::optional<QString> setDayPictures(const DayPictures &pictures,
                                      const WallpaperSchedule &schedule,
                                      std::optional<GeoLocation> location, DesktopService &desktop,
                                      const std::function<void()> &told = {});

} // namespace WallpaperSet
