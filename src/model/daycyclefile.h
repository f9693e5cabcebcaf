#pragma once

// A day cycle's file from the pair's two renders: the plan's pictures made one at a time, the
// dawn's each mixed just before it is encoded, and its sun table in the XMP. The renders are the
// only full-size pictures held throughout; with them, one mix and its encode.

#include "day/daycycle.h"
#include "day/geolocation.h"
#include "heic/dynamicwallpaper.h"
#include "model/dynamicpicture.h"

#include <QDate>
#include <QStringList>
#include <QTimeZone>

namespace DayCycleFile {

// The side a strip's tile of the pictures is made for: twice a tile, for screens at scale 2.
inline constexpr int kThumbnailSide = 104;

// Picture `index` of `plan` made from `day` and `night`: one of the two as it is, or the mix of
// both for its altitude of the sun, encoded with `dither`.
Bitmap picture(const DayCycle::Plan &plan, const Bitmap &day, const Bitmap &night, int index,
               double dither = 0.1);

// A line per picture of `plan` for the strip of its pictures, in the day's order
// (Plan::dayOrder): which it is and when it begins to show on `date` in `zone` with the sun of
// `location` (else the zone's city), as „Bild 3 von 8, Dämmerung: 06:41 und 17:52 Uhr“. A
// position that shows the picture already showing (the day's at noon, the night's at midnight)
// begins nothing. The caption under each tile is its first time, else which it is („Tag“).
PictureLines pictureLines(const DayCycle::Plan &plan, QDate date, const QTimeZone &zone,
                          std::optional<GeoLocation> location);

// Writes the cycle of `count` pictures (see DayCycle::plan) of `day` and `night`, which are the
// same size and depth, to `path` as DynamicWallpaper::writePictures does; `dither` as the
// looks'. Steps: WriteProgress::dayCyclePlan(count) from EncodeLight on.
std::optional<WallpaperFailure> write(const Bitmap &day, const Bitmap &night, int count,
                                      const QString &path, double dither = 0.1,
                                      WriteProgress *progress = nullptr);

} // namespace DayCycleFile
