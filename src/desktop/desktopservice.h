#pragma once

// What setting the desktop picture means on every desktop alike, on top of the backend that
// knows one desktop: refusing a folder before anything is written, recording in the data folder
// which HEIC was set last — so that no later run overwrites the files on screen — and starting
// the follower after a set where the desktop does not switch by itself.

#include "desktop/backends/desktopbackend.h"
#include "files/datafolder.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

// What a set asks of the follower on desktops that do not switch the pictures themselves.
// Handed in from outside (sessiondesktop.h) so the service does not depend on the follower;
// left empty, no follower is involved at all.
struct FollowerHooks
{
    // Runs after every successful set, told whether the desktop switches the pictures by
    // itself: starts the follower, or retires it.
    std::function<void(bool desktopSwitches)> start;
    // Why the follower could not be started from where this program lies (German); nothing
    // when it can.
    std::function<std::optional<QString>()> refusal;
};

// The desktop picture of the session, in terms of the program's HEIC files.
class DesktopService
{
public:
    explicit DesktopService(std::unique_ptr<DesktopBackend> backend, FollowerHooks follower = {});

    // Why a wallpaper in `folder` could not be set here, before anything is rendered or
    // written: a session with nothing that takes a wallpaper, a folder whose name cannot be
    // handed on as it is, or a follower that could not be started from where this program
    // lies. Nothing when it can. A `day` needs the follower on every
    // desktop that does not play it by itself.
    std::optional<QString> refusal(const QString &folder, bool day = false) const;
    // Sets the wallpaper on every screen; the error text, or nothing.
    std::optional<QString> setDesktopImage(const WallpaperFiles &files);
    // Whether the desktop plays a timed slideshow by itself, and sets one.
    bool playsSlideshow() const { return m_backend->playsSlideshow(); }
    // Plays the slideshow `xml` of the day in `dayFile`; the follower writes each next day's.
    std::optional<QString> setSlideshow(const QString &dayFile, const QString &xml);
    // Shows `picture`, the one of the day in `dayFile` due now, and leaves the day to the
    // follower, which shows each of its pictures in turn.
    std::optional<QString> setDayPicture(const QString &dayFile, const WallpaperFiles &picture);
    // The HEIC (or day) whose picture the desktop shows; when the desktop cannot tell, the one set
    // last by any run (kept in a small file in the program's data folder), or by this one when that
    // file cannot be read.
    std::optional<QString> shownWallpaper();
    // The HEIC set last by any run, from the small file in the program's data folder.
    static std::optional<QString> recordedWallpaper();

private:
    static QString recordFile();
    void record(const QString &wallpaper);

    std::unique_ptr<DesktopBackend> m_backend;
    FollowerHooks m_follower;
    std::optional<QString> m_lastSet;
};
