#include "daycyclefile.h"

#include "day/daycycle.h"
#include "render/dayblend.h"

namespace DayCycleFile {

std::optional<WallpaperFailure> write(const Bitmap &day, const Bitmap &night, int count,
                                      const QString &path, double dither, WriteProgress *progress)
{
    const DayCycle::Plan plan = DayCycle::plan(count);
    const auto picture = [&](int i) {
        if (i == plan.pair.light)
            return day;
        if (i == plan.pair.dark)
            return night;
        const double altitude = plan.altitudes.value(i);
        return DayBlend::blend(night, day, DayBlend::daylight(altitude), DayBlend::warmth(altitude),
                               dither);
    };
    return DynamicWallpaper::writePictures(int(plan.altitudes.size()), picture,
                                           DynamicWallpaper::solarXmpPacket(plan.sun, plan.pair),
                                           path, {}, progress);
}

} // namespace DayCycleFile
