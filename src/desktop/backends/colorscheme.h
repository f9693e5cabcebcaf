#pragma once

// The desktop's light or dark colour scheme, for the follower, which swaps the wallpaper's
// picture, and for the window, which switches its own colours. Both follow the same source:
// the portal's "color-scheme" where a portal answers, else the desktop's own setting — GNOME's
// gsettings key, or on Plasma the colours of its scheme.

#include "desktopbackends.h"

#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QFileSystemWatcher>
#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>

// Whether `kdeglobals` (Plasma's colour settings) asks for dark: its window's background is
// darker than middle grey, or, without one, its scheme is named dark. Light without the file.
bool kdeglobalsPrefersDark(const QByteArray &kdeglobals);

class ColorSchemeWatcher : public QObject
{
    Q_OBJECT

public:
    explicit ColorSchemeWatcher(const QProcessEnvironment &environment, QObject *parent = nullptr);
    ~ColorSchemeWatcher() override;

    // Listens on the session bus, then reads the scheme: a change in between is not lost.
    void start();
    bool isDark() const { return m_dark; }

Q_SIGNALS:
    void darkChanged(bool dark);

private Q_SLOTS:
    void settingChanged(const QDBusMessage &change);

private:
    // The portal's answer, else the desktop's own setting, which is then watched too.
    void read();
    bool readOwnSetting();
    void watchOwnSetting(bool watch);
    void gsettingsSaid();
    void setDark(bool dark);

    DesktopKind m_desktop;
    QDBusServiceWatcher m_portal; // the portal coming or going: the scheme is read again
    QProcess m_gsettings;         // `gsettings monitor` while no portal answers
    QFileSystemWatcher m_kdeglobals;
    bool m_dark = false;
};
