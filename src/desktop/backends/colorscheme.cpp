#include "colorscheme.h"

#include "commandrunner.h"
#include "gsettings.h"
#include "portalrequest.h"

#include "files/datafolder.h"

#include <QColor>
#include <QDBusConnection>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <csignal>

#include <sys/prctl.h>

namespace {

const QString kInterfaceSchema = QStringLiteral("org.gnome.desktop.interface");
const QString kSchemeKey = QStringLiteral("color-scheme");
constexpr qint64 kKdeglobalsMaxBytes = 1 << 20;

QString kdeglobalsFile()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("kdeglobals"));
}

// The value of `key` in the `[group]` of an INI text as KDE writes it; empty when absent.
QString iniValue(const QString &text, QStringView group, QStringView key)
{
    bool inGroup = false;
    for (QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inGroup = line == QStringLiteral("[%1]").arg(group);
        else if (inGroup && line.startsWith(key) &&
                 line.mid(key.size()).trimmed().startsWith(QLatin1Char('=')))
            return line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed().toString();
    }
    return {};
}

} // namespace

bool kdeglobalsPrefersDark(const QByteArray &kdeglobals)
{
    const QString text = QString::fromUtf8(kdeglobals);
    const QStringList rgb =
        iniValue(text, u"Colors:Window", u"BackgroundNormal").split(QLatin1Char(','));
    if (rgb.size() >= 3) {
        const QColor window(rgb[0].trimmed().toInt(), rgb[1].trimmed().toInt(),
                            rgb[2].trimmed().toInt());
        return window.lightnessF() < 0.5;
    }
    return iniValue(text, u"General", u"ColorScheme").contains(QLatin1String("Dark"));
}

ColorSchemeWatcher::ColorSchemeWatcher(const QProcessEnvironment &environment, QObject *parent)
    : QObject(parent), m_desktop(detectDesktop(environment))
{
    connect(&m_portal, &QDBusServiceWatcher::serviceOwnerChanged, this, &ColorSchemeWatcher::read);
    connect(&m_gsettings, &QProcess::readyReadStandardOutput, this,
            &ColorSchemeWatcher::gsettingsSaid);
    // Plasma writes a new file and renames it over the old one: its folder changes then.
    const auto kdeglobalsChanged = [this] {
        if (!m_kdeglobals.files().contains(kdeglobalsFile()) && QFileInfo::exists(kdeglobalsFile()))
            m_kdeglobals.addPath(kdeglobalsFile());
        setDark(readOwnSetting());
    };
    connect(&m_kdeglobals, &QFileSystemWatcher::fileChanged, this, kdeglobalsChanged);
    connect(&m_kdeglobals, &QFileSystemWatcher::directoryChanged, this, kdeglobalsChanged);
}

ColorSchemeWatcher::~ColorSchemeWatcher()
{
    watchOwnSetting(false);
}

void ColorSchemeWatcher::start()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    m_portal.setConnection(bus);
    m_portal.addWatchedService(kPortalService);
    bus.connect(kPortalService, kPortalPath, QStringLiteral("org.freedesktop.portal.Settings"),
                QStringLiteral("SettingChanged"), this, SLOT(settingChanged(QDBusMessage)));
    read();
}

void ColorSchemeWatcher::settingChanged(const QDBusMessage &change)
{
    const QList<QVariant> arguments = change.arguments();
    if (arguments.size() != 3 ||
        arguments[0].toString() != QLatin1String("org.freedesktop.appearance") ||
        arguments[1].toString() != kSchemeKey)
        return;
    setDark(isDarkScheme(arguments[2]));
}

void ColorSchemeWatcher::read()
{
    // A portal started after us, or again after it ended, may tell another scheme than the one
    // read last, and a change while it was gone sent no signal.
    const std::optional<bool> portal = portalDarkScheme();
    watchOwnSetting(!portal);
    setDark(portal ? *portal : readOwnSetting());
}

bool ColorSchemeWatcher::readOwnSetting()
{
    if (m_desktop == DesktopKind::Kde)
        return kdeglobalsPrefersDark(
            readSmallFile(kdeglobalsFile(), kKdeglobalsMaxBytes).value_or(QByteArray()));
    const CommandResult said = runCommand(QStringLiteral("gsettings"),
                                          {QStringLiteral("get"), kInterfaceSchema, kSchemeKey});
    return said.ok && parseGVariantString(said.output) == QLatin1String("prefer-dark");
}

void ColorSchemeWatcher::watchOwnSetting(bool watch)
{
    if (m_desktop == DesktopKind::Kde) {
        const QStringList watched = m_kdeglobals.files() + m_kdeglobals.directories();
        if (!watch && !watched.isEmpty())
            m_kdeglobals.removePaths(watched);
        // The folder, for a file that comes or is renamed over the old one.
        for (const QString &path : {QFileInfo(kdeglobalsFile()).path(), kdeglobalsFile()})
            if (watch && !watched.contains(path) && QFileInfo::exists(path))
                m_kdeglobals.addPath(path);
        return;
    }
    if (!watch) {
        m_gsettings.kill();
        m_gsettings.waitForFinished();
    } else if (m_gsettings.state() == QProcess::NotRunning) {
        // It lives no longer than we do, even when we are killed.
        m_gsettings.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_gsettings.setStandardErrorFile(QProcess::nullDevice());
        m_gsettings.start(QStringLiteral("gsettings"),
                          {QStringLiteral("monitor"), kInterfaceSchema, kSchemeKey});
    }
}

void ColorSchemeWatcher::gsettingsSaid()
{
    // One line per change: "color-scheme: 'prefer-dark'".
    while (m_gsettings.canReadLine()) {
        const QByteArray line = m_gsettings.readLine();
        setDark(parseGVariantString(line.mid(line.indexOf(':') + 1)) ==
                QLatin1String("prefer-dark"));
    }
}

void ColorSchemeWatcher::setDark(bool dark)
{
    if (dark == m_dark)
        return;
    m_dark = dark;
    Q_EMIT darkChanged(dark);
}
