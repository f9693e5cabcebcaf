#include "dailywallpaper.h"

#include "output/datafolder.h"
#include "output/followerprogram.h"
#include "usersettings.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDate>
#include <QFile>
#include <QStandardPaths>

namespace {

const QString kTimer = QStringLiteral("voskan-daily.timer");
const QString kSystemd = QStringLiteral("org.freedesktop.systemd1");

// A word of a unit file: systemd expands % and $ in both command lines and Environment=.
QString unitQuoted(const QString &text)
{
    return quoted(text, u'"', {{u'\\', "\\\\"}, {u'"', "\\\""}, {u'%', "%%"}, {u'$', "$$"}});
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
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/systemd/user/voskan-daily.service");
}

QString timerFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/systemd/user/") + kTimer;
}

QString autostartFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/de.voskan.Voskan-daily.desktop");
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
    for (const char *name : {"XDG_CURRENT_DESKTOP", "WAYLAND_DISPLAY", "DISPLAY", "SWAYSOCK",
                             "XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
        const QString value = session.value(QLatin1String(name));
        if (!value.isEmpty() && !hasControlCharacter(value))
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

std::optional<QString> enable(const Settings &settings)
{
    const QString program = followerProgram();
    if (settings.atLogin) {
        const QByteArray entry =
            QStringLiteral("[Desktop Entry]\nType=Application\nName=Voskan Täglich neu\n"
                           "Exec=%1 --daily-run --once-a-day\nNoDisplay=true\nTerminal=false\n")
                .arg(desktopExecArgument(program))
                .toUtf8();
        if (const auto error = write(autostartFile(), entry))
            return error;
        saveSettings(settings);
        return std::nullopt;
    }
    if (!userManagerRuns())
        return QStringLiteral("Es läuft keine systemd-Benutzerinstanz, die Voskan täglich "
                              "starten könnte. Stattdessen kann Voskan das neue Bild bei jeder "
                              "Anmeldung holen, höchstens einmal am Tag („Bei der Anmeldung“, "
                              "voskan-render --daily TEXT --at-login).");
    if (const auto error =
            write(serviceFile(), serviceUnit(program, QProcessEnvironment::systemEnvironment())))
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
