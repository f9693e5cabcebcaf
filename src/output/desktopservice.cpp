#include "desktopservice.h"

DesktopService::DesktopService(std::unique_ptr<DesktopBackend> backend, FollowerHooks follower)
    : m_backend(std::move(backend)), m_follower(std::move(follower))
{
}

std::optional<QString> DesktopService::refusal(const QString &folder) const
{
    if (const auto refused = m_backend->refusedFolder(folder))
        return refused;
    if (!m_backend->switchesWithScheme() && m_follower.start && m_follower.refusal)
        return m_follower.refusal();
    return std::nullopt;
}

std::optional<QString> DesktopService::setDesktopImage(const WallpaperFiles &files)
{
    if (const auto error = m_backend->setWallpaper(files))
        return error;
    m_lastSet = files.heic;
    // Without it, a desktop that cannot be asked would get its shown files overwritten by the
    // next run. Unwritable, it only costs that protection.
    writeWholeFile(recordFile(), files.heic.toUtf8());
    if (m_follower.start)
        m_follower.start(m_backend->switchesWithScheme());
    return std::nullopt;
}

std::optional<QString> DesktopService::shownWallpaper()
{
    if (const auto picture = m_backend->currentPicture())
        return WallpaperFiles::heicForPicture(*picture);
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
