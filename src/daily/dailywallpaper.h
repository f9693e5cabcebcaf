#pragma once

// „Täglich neu“: every day at a chosen time a new Unsplash photo for a search, rendered in a
// chosen look and set as the desktop. The run itself is `voskan-render --daily-run`; this is
// what it needs to know, and how the session is told to start it: a systemd user timer that
// also catches up at the next login after a day the machine was off, or, where no systemd
// user instance runs, an autostart entry that runs it at each login, at most once a day.

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTime>

#include <optional>

namespace DailyWallpaper {

struct Settings
{
    QString query;
    QTime at = QTime(8, 0);
    QStringList options;  // voskan-render's style and size options for the look
    bool atLogin = false; // the autostart route instead of the timer
    friend bool operator==(const Settings &, const Settings &) = default;
};

std::optional<Settings> settings();
void saveSettings(const Settings &settings);

// The photo set last, so the next day's is another.
QString lastPhoto();
// Records the photo of a run that set the desktop and its credit, kept in creditFile() for as
// long as the photo is the wallpaper.
void recordPhoto(const QString &id, const QString &credit);
QString creditFile();
// Whether a run already set a photo today (the autostart route runs at each login).
bool ranToday();

QString serviceFile();
QString timerFile();
QString autostartFile();
// The units for the program at `program`, as enable has checked it: no control character, quote
// or backslash in its path. The service starts the run with the session's desktop named as it
// is now: a user manager does not always know it.
QByteArray serviceUnit(const QString &program, const QProcessEnvironment &session);
QByteArray timerUnit(QTime at);

// Why `query` cannot be searched for each day (German): blank, or holding a control character.
// Nothing when it can.
std::optional<QString> queryRefusal(const QString &query);
// Saves the settings and schedules the runs; the German error, or nothing. Without a systemd
// user instance the timer route says so and names the autostart route. A text the unit, the
// entry or the run could not carry as it is — a control character in the search, an option,
// the session's variables or this program's path; a quote or backslash in the path on the
// timer route, a % sign on the login route — is refused before anything is written.
// Where the refusal is read decides how its way out is named: a checkbox in the window, an
// option on the command line.
enum class Reader { Window, CommandLine };
std::optional<QString> enable(const Settings &settings, Reader reader);
// The same for the program at `program` in `session`: this installation's voskan-render and
// this process's environment above.
std::optional<QString> enable(const Settings &settings, const QString &program,
                              const QProcessEnvironment &session, Reader reader);
// Ends the schedule, whichever route it took, and forgets the settings.
void disable();

} // namespace DailyWallpaper
