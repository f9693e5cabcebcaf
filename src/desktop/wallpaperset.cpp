#include "wallpaperset.h"

#include "companionpicture.h"
#include "day/dayschedule.h"
#include "dayfile.h"
#include "files/datafolder.h"
#include "files/outputfile.h"
#include "heic/dynamicwallpaper.h"
#include "heic/dynamicwallpaperfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <future>
#include <memory>

namespace {

// A set up to the desktop: the files of the slot written to (the HEIC not yet) and the slot
// the desktop showed, when it was the other one.
struct Prepared
{
    WallpaperFiles files;
    std::optional<WallpaperFiles> previous;
    std::unique_ptr<SetLock> lock; // held until the desktop has been told
};

// Holding the set lock, writes the two pictures under the name the desktop does not show now.
std::variant<Prepared, QString> writePictures(const Bitmap &light, const Bitmap &dark,
                                              const QString &folder, DesktopService &desktop,
                                              WriteProgress *progress)
{
    // From here until the desktop is told, no other set may choose: both would take the slot
    // not shown, and the second would write over the first on screen.
    auto lock = std::make_unique<SetLock>();
    if (!lock->isHeld())
        return lock->refusal();
    const std::optional<QString> current = desktop.shownWallpaper();
    // The desktop gets a name other than the one it shows, or it may keep its cached picture.
    const QDir dir(folder);
    const QString a = QStringLiteral("wallpaper-a.heic"), b = QStringLiteral("wallpaper-b.heic");
    const QString shown = current ? QFileInfo(*current).fileName() : QString();
    Prepared set{WallpaperFiles::forHeic(dir.filePath(shown == a ? b : a), light.size()),
                 {},
                 std::move(lock)};
    if (shown == a || shown == b)
        set.previous = WallpaperFiles::forHeic(dir.filePath(shown));

    const QString tmp = QStringLiteral(".tmp");
    const QStringList finals{set.files.light, set.files.dark};
    const auto removeTemps = [&] {
        for (const QString &path : finals + QStringList{set.files.heic})
            QFile::remove(path + tmp); // left over by an earlier failure, or by this one
    };
    removeTemps();
    // The slot's HEIC stays until the new one replaces it: a set that fails later must not
    // lose it. What the desktop shows is told by the record, not by which files a slot has.
    // One picture per core.
    auto lightWritten = std::async(
        std::launch::async, [&] { return writeCompanionPicture(light, set.files.light + tmp); });
    const std::optional<QString> darkError = writeCompanionPicture(dark, set.files.dark + tmp);
    const std::optional<QString> error = lightWritten.get();
    if (error || darkError) {
        removeTemps();
        return error ? *error : *darkError;
    }
    // The last moment the slot is still as it was.
    if (progress && progress->isCancelled()) {
        removeTemps();
        return description(WallpaperError::Cancelled);
    }
    for (const QString &path : finals) {
        if (OutputFile::moveOver(path + tmp, path)) {
            removeTemps();
            return QStringLiteral("Das Wallpaper konnte nicht gesichert werden: ") +
                   QFileInfo(path).fileName();
        }
    }
    return set;
}

} // namespace

namespace WallpaperSet {

QString picturesLeftText(const WallpaperFiles &files)
{
    // The pair the desktop did not take stays: chosen by hand in the desktop's settings it is
    // still the wallpaper that was asked for. The message says where it lies.
    const QFileInfo light(files.light);
    return QStringLiteral("Die beiden Bilder liegen in „%1“: „%2“ für Hell, „%3“ für Dunkel. "
                          "Wähle eines davon in den Einstellungen des Schreibtischs oder "
                          "exportiere das Wallpaper als HEIC-Datei.")
        .arg(QDir::toNativeSeparators(light.absolutePath()), light.fileName(),
             QFileInfo(files.dark).fileName());
}

std::optional<QString> setDay(const QString &file, const WallpaperSchedule &schedule,
                              std::optional<GeoLocation> location, DesktopService &desktop,
                              const std::function<void()> &told)
{
    if (const auto refused = refusal(desktop, true))
        return refused;
    auto opened = DynamicWallpaperFile::open(file);
    if (const QString *error = std::get_if<QString>(&opened))
        return *error;
    const DynamicWallpaperFile &source = std::get<DynamicWallpaperFile>(opened);
    return setDayPictures([&source](int image) { return source.image(image); }, schedule, location,
                          desktop, told);
}

std::optional<QString> setDayPictures(const DayPictures &pictures,
                                      const WallpaperSchedule &schedule,
                                      std::optional<GeoLocation> location, DesktopService &desktop,
                                      const std::function<void()> &told)
{
    const std::optional<QString> folder = createDataFolder();
    if (!folder)
        return QStringLiteral("Der Ordner für das Wallpaper konnte nicht angelegt werden.");
    const SetLock lock;
    if (!lock.isHeld())
        return lock.refusal();
    // Two names in turn: the desktop keeps a slideshow or picture it has read under its name,
    // and the day on screen keeps its pictures until the new one shows.
    const QDir dir(*folder);
    const QString shown =
        QFileInfo(desktop.shownWallpaper().value_or(QString())).completeBaseName();
    const QString name =
        shown == QStringLiteral("day-a") ? QStringLiteral("day-b") : QStringLiteral("day-a");
    const QString dayFile = dir.filePath(name + QStringLiteral(".day"));
    QDir pictureDir(dir.filePath(name));
    if (!pictureDir.removeRecursively() || !dir.mkpath(name))
        return fileFailedText(pictureDir.path());
    QList<int> images;
    for (const TimedPicture &entry : schedule.times)
        images.append(entry.image);
    for (const SolarPicture &entry : schedule.sun)
        images.append(entry.image);
    QHash<int, WallpaperFiles> written;
    for (int image : images) {
        if (written.contains(image))
            continue;
        const std::optional<Bitmap> picture = pictures(image);
        if (!picture)
            return DynamicWallpaperFile::unreadablePictureText();
        const WallpaperFiles files = WallpaperFiles::forDayPicture(dayFile, image, picture->size());
        if (const auto error = writeCompanionPicture(*picture, files.light))
            return error;
        written.insert(image, files);
    }

    // The follower shows each next picture, or on GNOME writes each next day's slideshow, from
    // what is left here.
    const DayFile day{schedule, location};
    if (!writeWholeFile(dayFile, day.toJson()))
        return fileFailedText(dayFile);
    const QDateTime now = QDateTime::currentDateTime();
    std::optional<QString> error;
    if (desktop.playsSlideshow()) {
        const std::optional<QString> xml = writeDaySlideshow(dayFile, day, now.date());
        if (!xml)
            return fileFailedText(dayFile);
        error = desktop.setSlideshow(dayFile, *xml);
    } else {
        const int due = pictureAt(schedule, now, localTimeZone(), location).image;
        error = desktop.setDayPicture(dayFile, written.value(due));
    }
    if (error)
        return error;
    if (told)
        told();
    return std::nullopt;
}

std::optional<QString> refusal(const DesktopService &desktop, bool day)
{
    if (const auto refused = dataFolderRefusal())
        return refused;
    return desktop.refusal(voskanDataFolder(), day);
}
std::optional<QString> setPictures(const Bitmap &light, const Bitmap &dark, DesktopService &desktop,
                                   const std::function<void()> &told, WriteProgress *progress)
{
    if (const auto refused = refusal(desktop))
        return refused;
    if (WriteProgress::stopsBefore(progress, WriteStep::DesktopImages))
        return description(WallpaperError::Cancelled);
    const std::optional<QString> folder = createDataFolder();
    if (!folder)
        return QStringLiteral("Der Ordner für das Wallpaper konnte nicht angelegt werden.");
    std::variant<Prepared, QString> prepared =
        writePictures(light, dark, *folder, desktop, progress);
    if (const auto *error = std::get_if<QString>(&prepared))
        return *error;
    Prepared &set = std::get<Prepared>(prepared);
    // No desktop reads the HEIC, so it need not hold up the picture the user waits for.
    if (const auto error = desktop.setDesktopImage(set.files))
        return *error + QLatin1Char(' ') + picturesLeftText(set.files);
    set.lock.reset(); // the desktop and the record name this set now: the next may choose
    // Stopping now would take back the picture the person already sees.
    if (progress)
        progress->setUncancellable();
    if (told)
        told();
    const auto failure = DynamicWallpaper::writeHEIC(light, dark, set.files.heic, {}, progress);
    if (!failure)
        return std::nullopt;
    // Back to the wallpaper shown before, so the desktop never keeps half a set. Without one
    // (the first set, or its pictures gone) the complete pair stays: what the desktop had
    // before is not known, and the pair is what was asked for.
    // Only while this set is still the one shown: a set that came since keeps its picture.
    // A set that holds it beyond the wait is replacing this one anyway.
    const SetLock again;
    const std::optional<WallpaperFiles> &previous = set.previous;
    if (again.isHeld() &&
        DesktopService::recordedWallpaper().value_or(set.files.heic) == set.files.heic &&
        previous && QFileInfo::exists(previous->light) && QFileInfo::exists(previous->dark) &&
        !desktop.setDesktopImage(*previous)) {
        QFile::remove(set.files.light);
        QFile::remove(set.files.dark);
    }
    return description(*failure); // as an export says it: the same file, the same reasons
}

} // namespace WallpaperSet
