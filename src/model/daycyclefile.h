#pragma once

// A day cycle's file from the pair's two renders: the plan's pictures made one at a time, the
// dawn's each mixed just before it is encoded, and its sun table in the XMP. The renders are the
// only full-size pictures held throughout; with them, one mix and its encode.

#include "heic/dynamicwallpaper.h"

namespace DayCycleFile {

// Writes the cycle of `count` pictures (see DayCycle::plan) of `day` and `night`, which are the
// same size and depth, to `path` as DynamicWallpaper::writePictures does; `dither` as the
// looks'. Steps: WriteProgress::dayCyclePlan(count) from EncodeLight on.
std::optional<WallpaperFailure> write(const Bitmap &day, const Bitmap &night, int count,
                                      const QString &path, double dither = 0.1,
                                      WriteProgress *progress = nullptr);

} // namespace DayCycleFile
