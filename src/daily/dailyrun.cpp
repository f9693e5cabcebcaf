#include "dailyrun.h"

#include "daily/dailywallpaper.h"
#include "model/outputjobs.h"
#include "model/unsplashpick.h"

namespace DailyWallpaper {

std::optional<QString> runOnce(const Run &run, DesktopService &desktop,
                               const std::function<void(const QString &)> &picked,
                               WriteProgress *progress)
{
    auto fetched = pickFromUnsplash(run.query, run.pick, run.key, lastPhoto());
    if (const QString *error = std::get_if<QString>(&fetched))
        return *error;
    const PickedPhoto &photo = std::get<PickedPhoto>(fetched);
    if (picked)
        picked(photo.attribution);
    const auto [light, dark] = looksOf(run.looks, photo.picture);
    if (const auto error = OutputJobs::setAsDesktop(light, dark, run.size, desktop, {}, progress))
        return error;
    recordPhoto(photo.id, photo.credit);
    return std::nullopt;
}

} // namespace DailyWallpaper
