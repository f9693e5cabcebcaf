#include "desktopservice.h"

DesktopService::DesktopService(std::unique_ptr<DesktopBackend> backend, FollowerHooks follower)
    : m_backend(std::move(backend)), m_follower(std::move(follower))
{
}

std::optional<QString> DesktopService::refusal(const QString &folder, bool day) const
{
    if (const auto missing = m_backend->unavailable())
        return missing;
    if (const auto refused = m_backend->refusedFolder(folder))
        return refused;
    // Every day is followed: where the desktop plays it, the follower writes it out anew.
    if ((day || !m_backend->switchesWithScheme()) && m_follower.start && m_follower.refusal)
        return m_follower.refusal();
    return std::nullopt;
}

std::optional<QString> DesktopService::setDesktopImage(const WallpaperFiles &files)
{
    if (const auto error = m_backend->setWallpaper(files))
        return error;
    record(files.heic);
    if (m_follower.start)
        m_follower.start(m_backend->switchesWithScheme());
    return std::nullopt;
}

std::optional<QString> DesktopService::setSlideshow(const QString &dayFile, const QString &xml)
{
    if (const auto error = m_backend->setSlideshow(xml))
        return error;
    record(dayFile);
    if (m_follower.start)
        m_follower.start(false); // tomorrow's slideshow is the follower's to write
    return std::nullopt;
}

std::optional<QString> DesktopService::setDayPicture(const QString &dayFile,
                                                     const WallpaperFiles &picture)
{
    if (const auto error = m_backend->setWallpaper(picture))
        return error;
    record(dayFile);
    if (m_follower.start)
        m_follower.start(false); // the next picture is the follower's to show
    return std::nullopt;
}

void DesktopService::record(const QString &wallpaper)
{
    m_lastSet = wallpaper;
    // Without it, a desktop that cannot be asked would get its shown files overwritten by the
    // next run. Unwritable, it only costs that protection.
    writeWholeFile(recordFile(), wallpaper.toUtf8());
}

std::optional<QString> DesktopService::shownWallpaper()
{
    if (const auto picture = m_backend->currentPicture())
        return WallpaperFiles::wallpaperForPicture(*picture);
    // The record before this run's own memory: another run (the command line, a second
    // window) may have set a wallpaper since, and its files are the ones on screen.
    if (const auto recorded = recordedWallpaper())
        return recorded;
    return m_lastSet;
}

QString DesktopService::recordFile()
{
    return voskanDataFolder() + QStringLiteral("/desktop-shown");
}

std::optional<QString> DesktopService::recordedWallpaper()
{
    if (const auto bytes = readSmallFile(recordFile(), 4096)) {
        // Only what a set writes: one absolute path (a line break may be part of its folder's
        // name). A NUL never is, and must not reach the file functions, which complain of it
        // in English.
        const QString heic = QString::fromUtf8(*bytes).trimmed();
        if (heic.startsWith(QLatin1Char('/')) && !heic.contains(QChar(0)))
            return heic;
    }
    return std::nullopt;
}
