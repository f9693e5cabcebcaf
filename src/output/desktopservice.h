#pragma once

#include "datafolder.h"

#include "render/bitmap.h"

#include <QByteArray>
#include <QDBusMessage>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

// One wallpaper as the desktop gets it. No Linux desktop reads the light/dark metadata inside
// the HEIC, so every backend is handed the two pictures beside it as well.
struct WallpaperFiles
{
    QString heic;  // ".../wallpaper-a.heic"
    QString light; // ".../wallpaper-a-light.jpg"
    QString dark;  // ".../wallpaper-a-dark.jpg"
    QSize size;    // of both pictures

    // The files that belong to the HEIC at `heicPath`, all in its folder.
    static WallpaperFiles forHeic(const QString &heicPath, QSize size = {});
    // The folder of the KDE wallpaper package built from the two pictures.
    QString kdePackage() const;
    // The HEIC a picture handed to the desktop belongs to: the same folder, the base name
    // without "-light.jpg", "-dark.jpg" or "-kde". Any other name is returned as it is.
    static QString heicForPicture(const QString &picturePath);
};

// Writes one picture of the wallpaper as JPEG, the format every desktop reads; written beside
// `path` and renamed over it only when complete. The error text, or nothing.
std::optional<QString> writeCompanionPicture(const Bitmap &picture, const QString &path);

// Why the desktop did not take the wallpaper; description() words it in German.
enum class DesktopError {
    Unsupported, // this session offers no way to set one
    FileFailed,  // a file the desktop reads could not be written
    ToolMissing, // the desktop's command is not installed or does not start
    ToolCrashed,
    ToolTimedOut,
    ToolFailed,     // it ran and reported an error
    ServiceMissing, // the desktop's D-Bus service is not running
    ServiceNoReply,
    ServiceDenied,
    ServiceFailed, // it answered with an error
    Refused,       // the person asked said no
};
struct DesktopFailure
{
    DesktopError error = DesktopError::Unsupported;
    QString subject; // the command, service or file concerned
    QString detail;  // what the command or service said; shown in parentheses
};
QString description(const DesktopFailure &failure);
// The D-Bus answer `reply` of `service` as a failure; nothing when it is a reply.
std::optional<DesktopFailure> dbusFailure(const QDBusMessage &reply, const QString &service);

// Runs an external tool and waits for it.
struct CommandResult
{
    bool ok = false; // started and exited with code 0
    QByteArray output;
    std::optional<DesktopFailure> failure; // set when not ok
};
using CommandRunner =
    std::function<CommandResult(const QString &program, const QStringList &arguments)>;
// A tool that hangs is killed after `timeoutMs`.
CommandResult runCommand(const QString &program, const QStringList &arguments,
                         int timeoutMs = 15000);

enum class DesktopKind { Gnome, Kde, Cinnamon, Mate, Xfce, Sway, Other };
// From XDG_CURRENT_DESKTOP (a colon-separated list, first known entry wins), then
// KDE_FULL_SESSION, then SWAYSOCK.
DesktopKind detectDesktop(const QProcessEnvironment &environment);

// One desktop's way to show a picture on every screen.
class DesktopBackend
{
public:
    virtual ~DesktopBackend() = default;
    // The error text, or nothing once every screen shows the wallpaper.
    virtual std::optional<QString> setWallpaper(const WallpaperFiles &files) = 0;
    // The picture (file or package folder) the desktop shows now, as a local path; nothing when
    // unknown.
    virtual std::optional<QString> currentPicture() = 0;
    // Whether the desktop itself swaps the light and dark picture with its colour scheme;
    // where it does not, a follower process does it (schemefollower.h).
    virtual bool switchesWithScheme() const { return false; }
    // Why this desktop could not be handed pictures from `folder` (German), asked before
    // anything is written there; nothing when it can.
    virtual std::optional<QString> refusedFolder(const QString &folder) const
    {
        Q_UNUSED(folder);
        return std::nullopt;
    }
};

// Answers whether the desktop uses a dark colour scheme now.
using DarkSchemeQuery = std::function<bool()>;
// The freedesktop portal's "color-scheme" setting: 1 is dark, anything else (or no portal)
// light.
bool portalPrefersDark();
// Whether a value of the portal's "color-scheme" asks for dark: 1 does; 0 (no preference), 2
// (light), values a later portal may add and values of another type do not. The variants each
// method and signal wraps it in are taken off.
bool isDarkScheme(QVariant value);

std::unique_ptr<DesktopBackend> makeGnomeBackend(CommandRunner runner);
std::unique_ptr<DesktopBackend> makeKdeBackend(); // on the session bus
std::unique_ptr<DesktopBackend> makeCinnamonBackend(CommandRunner runner, DarkSchemeQuery dark);
std::unique_ptr<DesktopBackend> makeMateBackend(CommandRunner runner, DarkSchemeQuery dark);
std::unique_ptr<DesktopBackend> makeXfceBackend(CommandRunner runner, DarkSchemeQuery dark);
std::unique_ptr<DesktopBackend> makeSwayBackend(CommandRunner runner, DarkSchemeQuery dark);
// The portal takes one picture, the one of `dark`'s scheme. It may ask the person first, so the
// set waits for the answer, running an event loop meanwhile.
std::unique_ptr<DesktopBackend> makePortalBackend(DarkSchemeQuery dark = portalPrefersDark);

// The backend for the session described by `environment`; single-picture desktops show the
// picture `dark` chooses.
std::unique_ptr<DesktopBackend> makeDesktopBackend(const QProcessEnvironment &environment,
                                                   DarkSchemeQuery dark = portalPrefersDark);

// Runs after every successful set, told whether the desktop switches the pictures by itself.
using SchemeFollowUp = std::function<void(bool desktopSwitches)>;

// The desktop picture of the session, in terms of the program's HEIC files.
class DesktopService
{
public:
    explicit DesktopService(std::unique_ptr<DesktopBackend> backend, SchemeFollowUp followUp = {});
    // The backend for the session this process runs in.
    static std::shared_ptr<DesktopService> forEnvironment(
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

    // Why a wallpaper in `folder` could not be set here, before anything is written: a folder
    // whose name cannot be handed on as it is, or a follower that could not be started from
    // where this program lies. Nothing when it can.
    std::optional<QString> refusal(const QString &folder) const;
    // Sets the wallpaper on every screen; the error text, or nothing.
    std::optional<QString> setDesktopImage(const WallpaperFiles &files);
    // The HEIC whose picture the desktop shows; when the desktop cannot tell, the one set last
    // by any run (kept in a small file in the program's data folder), or by this one when that
    // file cannot be read.
    std::optional<QString> desktopImagePath();
    // The HEIC set last by any run, from the small file in the program's data folder.
    static std::optional<QString> recordedWallpaper();

private:
    static QString recordFile();

    std::unique_ptr<DesktopBackend> m_backend;
    SchemeFollowUp m_followUp;
    std::optional<QString> m_lastSet;
};
