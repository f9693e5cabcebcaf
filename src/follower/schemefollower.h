#pragma once

// Most desktops besides GNOME and Plasma show one picture whatever their colour scheme. For
// them a small process, `voskan-render --follow`, started at login, hands the desktop the light
// or dark picture of the wallpaper set last whenever the portal reports a new scheme. A day that
// follows the clock or the sun it plays on every desktop that does not play one by itself,
// Plasma included: each picture when its time comes. It waits on D-Bus, inotify and one kernel
// timer only, so it costs nothing while the scheme and the picture stay put.

#include "dayclock.h"
#include "desktop/backends/colorscheme.h"
#include "desktop/desktopservice.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QProcessEnvironment>

#include <memory>
#include <optional>
#include <variant>

// The autostart entry that starts the follower at login.
QString followerAutostartFile();
// After a set: on a desktop that switches by itself the entry goes; on any other it is written
// and the follower started now, so the picture follows from this evening on, not from the next
// login. A follower already running stays the only one.
void updateSchemeFollower(bool desktopSwitches);
// Why the follower could not be started at login from where this program lies (German, naming
// what in its folder's name stands in the way): an autostart entry cannot name its path.
// Nothing when it can.
std::optional<QString> followerRefusal();
// The entry's text for the program at `program`; nothing for a program no entry can name.
std::optional<QByteArray> followerAutostartEntry(const QString &program);

class SchemeFollower : public QObject
{
    Q_OBJECT

public:
    explicit SchemeFollower(const QProcessEnvironment &environment, QObject *parent = nullptr);
    ~SchemeFollower() override;

    // Claims the follower's bus name, shows the picture of the scheme now and starts listening.
    // An error text when this process should end instead: another follower runs, the session
    // has no bus or no wallpaper to follow, or the desktop switches by itself. `quietly` is
    // set when ending is no failure.
    std::optional<QString> start(bool *quietly);

Q_SIGNALS:
    // The wallpaper's files are gone or the desktop shows another picture: nothing to follow.
    void finished();

private Q_SLOTS:
    void filesChanged();
    void apply();

private:
    // The day set last, when the record names one.
    static std::optional<QString> recordedDay();
    std::optional<WallpaperFiles> followed() const;
    // The picture of the day in `dayFile` due now, and when the next is due; or why the day
    // cannot go on (German): its file or the picture is gone or is none.
    static std::variant<WallpaperFiles, QString> dayPictureDue(const QString &dayFile,
                                                               QDateTime *next = nullptr);
    void showDay(const QString &dayFile);
    // Once while the zone is one the day cannot follow through summer time.
    void tellUnknownZone();
    // On a desktop that plays a day by itself: today's slideshow, written anew each day, so
    // the sun's times and summer time stay right.
    void playDay(const QString &dayFile);
    // Hands `files` to the desktop unless it shows `wanted` already, or a picture that is not
    // of `wallpaper` (then the follower ends).
    void show(const WallpaperFiles &files, const QString &wanted, const QString &wallpaper);
    // Nothing left to follow: the entry goes, the process ends.
    void leave();
    // A day that cannot go on: the same, saying `why`, but the picture on screen stays ours to
    // show, even where a process of ours draws it.
    void giveUp(const QString &why);
    void end();

    std::unique_ptr<DesktopBackend> m_backend;
    QFileSystemWatcher m_watcher;
    ColorSchemeWatcher m_scheme;
    DayClock m_clock;             // the next picture of a day
    QString m_shown;              // the picture handed to the desktop last
    std::optional<QString> m_day; // the day followed
    bool m_ended = false;
    bool m_zoneTold = false;
};
