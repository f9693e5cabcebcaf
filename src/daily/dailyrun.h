#pragma once

// One run of „Täglich neu“: a hit for the search other than the day before's, in the run's
// looks, set as the desktop of every screen; the photo and its credit kept for the next day.
// The command line parses the stored options into a Run and calls it.

#include "model/photolooks.h"
#include "model/renderpipeline.h"

#include <QString>

#include <functional>
#include <optional>

class DesktopService;
class WriteProgress;

namespace DailyWallpaper {

struct Run
{
    QString query;
    LookChoice looks;
    RenderPipeline::PixelSize size;
    int pick = 1;
    QString key; // empty: the stored one
};

// Runs `run` on `desktop`; `picked` hears the photographer's credit line once the photo is
// there, before it is rendered. The German error, or nothing; the wallpaper on screen and the
// record of the day before stay when anything fails.
std::optional<QString> runOnce(const Run &run, DesktopService &desktop,
                               const std::function<void(const QString &)> &picked = {},
                               WriteProgress *progress = nullptr);

} // namespace DailyWallpaper
