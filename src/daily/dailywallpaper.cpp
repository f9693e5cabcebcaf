#include "dailywallpaper.h"

#include "desktop/backends/followerprogram.h"
#include "files/datafolder.h"
#include "model/usersettings.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDate>
#include <QFile>

namespace {

const QString kTimer = QStringLiteral("voskan-daily.timer");
const QString kSystemd = QStringLiteral("org.freedesktop.systemd1");

// A word of a unit's ExecStart= or Environment= line, quoted. Specifiers are expanded in the
// whole line, so % is doubled; $ is not: systemd expands no variables in the program it
// executes (a $$ would stay in its path), and $ has no meaning in an assignment.
QString unitQuoted(const QString &word)
{
    return quoted(word, u'"', {{u'\\', "\\\\"}, {u'"', "\\\""}, {u'%', "%%"}});
}

// What systemd refuses in the name of a program it executes, however it is quoted ("contains
// special characters"), named for a German message; nothing when there is none.
std::optional<QString> unitProgramFault(const QString &program)
{
    if (program.contains(QLatin1Char('"')))
        return QStringLiteral("ein Anführungszeichen");
    if (program.contains(QLatin1Char('\'')))
        return QStringLiteral("einen Apostroph");
    if (program.contains(QLatin1Char('\\')))
        return QStringLiteral("einen Backslash");
    return std::nullopt;
}

// What of the session the service is started with: a user manager does not always know it.
const char *const kSessionVariables[] = {
    "XDG_CURRENT_DESKTOP", "WAYLAND_DISPLAY", "DISPLAY", "SWAYSOCK",
    "XDG_DATA_HOME",       "XDG_CONFIG_HOME"};

// Why `settings` cannot be scheduled for `program` in `session` (German), before anything is
// written: a text that would end a line of the unit or the entry, or that the run would be
// handed in another shape than it was given. Nothing when they can.
std::optional<QString> refusal(const DailyWallpaper::Settings &settings, const QString &program,
                               const QProcessEnvironment &session)
{
    if (const auto query = DailyWallpaper::queryRefusal(settings.query))
        return query;
    for (const QString &option : settings.options)
        if (const auto control = controlCharacterIn(option))
            return QStringLiteral("Eine Option für „Täglich neu“ enthält %1; gib sie bitte ohne "
                                  "Steuerzeichen an.")
                .arg(*control);
    if (const auto control = controlCharacterIn(program))
        return QStringLiteral("Voskan liegt in einem Ordner, dessen Name %1 enthält; von dort "
                              "lässt sich „Täglich neu“ nicht einrichten. Installiere Voskan "
                              "bitte in einen anderen Ordner.")
            .arg(*control);
    if (settings.atLogin && program.contains(QLatin1Char('%')))
        return QStringLiteral("Voskan liegt in einem Ordner, dessen Name ein %-Zeichen enthält; "
                              "von dort kann die Anmeldung Voskan nicht starten. Wähle eine "
                              "Uhrzeit statt „Bei der Anmeldung“, oder installiere Voskan bitte "
                              "in einen anderen Ordner.");
    if (settings.atLogin)
        return std::nullopt; // the entry runs in the session itself
    if (const auto fault = unitProgramFault(program))
        return QStringLiteral("Voskan liegt in einem Ordner, dessen Name %1 enthält; aus einem "
                              "solchen Ordner startet systemd kein Programm. Wähle „Bei der "
                              "Anmeldung“ statt einer Uhrzeit, oder installiere Voskan bitte in "
                              "einen anderen Ordner.")
            .arg(*fault);
    for (const char *name : kSessionVariables)
        if (const auto control = controlCharacterIn(session.value(QLatin1String(name))))
            return QStringLiteral("Die Variable %1 dieser Sitzung enthält %2; so lässt sie sich "
                                  "dem täglichen Lauf nicht mitgeben. Wähle „Bei der Anmeldung“ "
                                  "oder richte „Täglich neu“ in einer Sitzung ohne solche Zeichen "
                                  "ein.")
                .arg(QLatin1String(name), *control);
    return std::nullopt;
}

// One call to the user manager; the German error, or nothing.
std::optional<QString> callSystemd(const QString &method, const QList<QVariant> &arguments)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(kSystemd, QStringLiteral("/org/freedesktop/systemd1"),
                                       QStringLiteral("org.freedesktop.systemd1.Manager"), method);
    call.setArguments(arguments);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 15000);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return std::nullopt;
    return QStringLiteral("systemd konnte „Täglich neu“ nicht einrichten (%1).")
        .arg(reply.errorMessage());
}

// Whether the user's service manager is on the session bus to be asked.
bool userManagerRuns()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface()->isServiceRegistered(kSystemd);
}

// Writes `bytes` to `path`; the German error, or nothing.
std::optional<QString> write(const QString &path, const QByteArray &bytes)
{
    if (writeWholeFile(path, bytes))
        return std::nullopt;
    return QStringLiteral("Die Datei „%1“ ließ sich nicht schreiben.").arg(path);
}

QString settingsKey(const char *name)
{
    return QStringLiteral("daily/") + QLatin1String(name);
}

} // namespace

namespace DailyWallpaper {

std::optional<Settings> settings()
{
    QSettings stored = userSettings();
    const QString query = stored.value(settingsKey("query")).toString();
    if (query.trimmed().isEmpty())
        return std::nullopt;
    Settings settings{
        query,
        QTime::fromString(stored.value(settingsKey("at")).toString(), QStringLiteral("HH:mm")),
        stored.value(settingsKey("options")).toStringList(),
        stored.value(settingsKey("atLogin")).toBool()};
    if (!settings.at.isValid())
        settings.at = QTime(8, 0);
    return settings;
}

void saveSettings(const Settings &settings)
{
    QSettings stored = userSettings();
    stored.setValue(settingsKey("query"), settings.query);
    stored.setValue(settingsKey("at"), settings.at.toString(QStringLiteral("HH:mm")));
    stored.setValue(settingsKey("options"), settings.options);
    stored.setValue(settingsKey("atLogin"), settings.atLogin);
}

QString lastPhoto()
{
    return userSettings().value(settingsKey("lastPhoto")).toString();
}

void recordPhoto(const QString &id, const QString &credit)
{
    QSettings stored = userSettings();
    stored.setValue(settingsKey("lastPhoto"), id);
    stored.setValue(settingsKey("lastRun"), QDate::currentDate().toString(Qt::ISODate));
    writeWholeFile(creditFile(), credit.toUtf8() + '\n');
}

QString creditFile()
{
    return voskanDataFolder() + QStringLiteral("/daily-credit.txt");
}

bool ranToday()
{
    return userSettings().value(settingsKey("lastRun")).toString() ==
           QDate::currentDate().toString(Qt::ISODate);
}

QString serviceFile()
{
    return userConfigFile(QStringLiteral("systemd/user/voskan-daily.service"));
}

QString timerFile()
{
    return userConfigFile(QStringLiteral("systemd/user/") + kTimer);
}

QString autostartFile()
{
    return userConfigFile(QStringLiteral("autostart/de.voskan.Voskan-daily.desktop"));
}

QByteArray serviceUnit(const QString &program, const QProcessEnvironment &session)
{
    QString unit = QStringLiteral("[Unit]\n"
                                  "Description=Voskan: ein neues Wallpaper von Unsplash\n"
                                  "Wants=network-online.target\n"
                                  "After=network-online.target graphical-session.target\n\n"
                                  "[Service]\n"
                                  "Type=oneshot\n"
                                  "ExecStart=%1 --daily-run\n")
                       .arg(unitQuoted(program));
    for (const char *name : kSessionVariables) {
        const QString value = session.value(QLatin1String(name));
        if (!value.isEmpty() && !controlCharacterIn(value))
            unit += QStringLiteral("Environment=%1\n")
                        .arg(unitQuoted(QLatin1String(name) + QLatin1Char('=') + value));
    }
    return unit.toUtf8();
}

QByteArray timerUnit(QTime at)
{
    return QStringLiteral("[Unit]\n"
                          "Description=Voskan: täglich ein neues Wallpaper\n\n"
                          "[Timer]\n"
                          "OnCalendar=*-*-* %1:00\n"
                          // A day the machine was off is caught up at the next start.
                          "Persistent=true\n\n"
                          "[Install]\n"
                          "WantedBy=timers.target\n")
        .arg(at.toString(QStringLiteral("HH:mm")))
        .toUtf8();
}

std::optional<QString> queryRefusal(const QString &query)
{
    if (query.trimmed().isEmpty())
        return QStringLiteral("Gib einen Suchbegriff für das tägliche Foto ein.");
    if (const auto control = controlCharacterIn(query))
        return QStringLiteral("Der Suchbegriff enthält %1; gib ihn bitte ohne Steuerzeichen ein.")
            .arg(*control);
    return std::nullopt;
}

std::optional<QString> enable(const Settings &settings, Reader reader)
{
    return enable(settings, followerProgram(), QProcessEnvironment::systemEnvironment(), reader);
}

std::optional<QString> enable(const Settings &settings, const QString &program,
                              const QProcessEnvironment &session, Reader reader)
{
    if (const auto refused = refusal(settings, program, session))
        return refused;
    if (settings.atLogin) {
        const QByteArray entry =
            autostartEntry(QStringLiteral("Voskan Täglich neu"),
                           QStringLiteral("Holt jeden Tag ein neues Wallpaper von Unsplash"),
                           program, QStringLiteral("--daily-run --once-a-day"));
        if (const auto error = write(autostartFile(), entry))
            return error;
        saveSettings(settings);
        return std::nullopt;
    }
    if (!userManagerRuns())
        return reader == Reader::Window
                   ? QStringLiteral("Es läuft keine systemd-Benutzerinstanz, die Voskan täglich "
                                    "starten könnte. Wähle stattdessen „Bei der Anmeldung statt "
                                    "zu einer Uhrzeit“: Dann holt Voskan das neue Bild bei jeder "
                                    "Anmeldung, höchstens einmal am Tag.")
                   : QStringLiteral("Es läuft keine systemd-Benutzerinstanz, die Voskan täglich "
                                    "starten könnte. Stattdessen kann Voskan das neue Bild bei "
                                    "jeder Anmeldung holen, höchstens einmal am Tag "
                                    "(--at-login).");
    if (const auto error = write(serviceFile(), serviceUnit(program, session)))
        return error;
    if (const auto error = write(timerFile(), timerUnit(settings.at)))
        return error;
    if (const auto error = callSystemd(QStringLiteral("Reload"), {}))
        return error;
    if (const auto error =
            callSystemd(QStringLiteral("EnableUnitFiles"), {QStringList{kTimer}, false, true}))
        return error;
    // Restarted, so a changed time counts from now.
    if (const auto error =
            callSystemd(QStringLiteral("RestartUnit"), {kTimer, QStringLiteral("replace")}))
        return error;
    QFile::remove(autostartFile());
    saveSettings(settings);
    return std::nullopt;
}

void disable()
{
    const bool manager = userManagerRuns();
    if (manager && QFile::exists(timerFile())) {
        callSystemd(QStringLiteral("StopUnit"), {kTimer, QStringLiteral("replace")});
        callSystemd(QStringLiteral("DisableUnitFiles"), {QStringList{kTimer}, false});
    }
    QFile::remove(timerFile());
    QFile::remove(serviceFile());
    QFile::remove(autostartFile());
    if (manager)
        callSystemd(QStringLiteral("Reload"), {});
    QSettings stored = userSettings();
    stored.remove(QStringLiteral("daily"));
}

} // namespace DailyWallpaper
