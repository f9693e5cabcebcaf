#pragma once

// Which desktop the session runs, and the one table that says which backend serves it. The
// program and the tests both go through the table, so a test that hands in its own command
// runner drives exactly the backend a session of that kind gets.

#include "desktopbackend.h"

#include <QProcessEnvironment>
#include <QVariant>

#include <memory>
#include <optional>

// Wlroots: the compositors built on wlroots other than sway (Hyprland, river, niri, labwc,
// Wayfire), served by swaybg.
// One per row of the table in desktopbackends.cpp, in its order (the compiler holds the two
// together); Other, the portal, last.
enum class DesktopKind { Gnome, Kde, Cinnamon, Mate, Budgie, Xfce, Sway, Wlroots, Other };
// From XDG_CURRENT_DESKTOP (a colon-separated list, first known entry wins), then the
// variables a session of some desktops sets (KDE_FULL_SESSION, SWAYSOCK).
DesktopKind detectDesktop(const QProcessEnvironment &environment);

// The freedesktop portal's "color-scheme" setting: 1 is dark, anything else (or no portal)
// light.
bool portalPrefersDark();
// The same, but nothing when no portal answers: the desktop's own setting is asked then
// (colorscheme.h).
std::optional<bool> portalDarkScheme();
// Whether a value of the portal's "color-scheme" asks for dark: 1 does; 0 (no preference), 2
// (light), values a later portal may add and values of another type do not. The variants each
// method and signal wraps it in are taken off.
bool isDarkScheme(QVariant value);

std::unique_ptr<DesktopBackend> makeGnomeBackend(CommandRunner runner);
std::unique_ptr<DesktopBackend> makeKdeBackend(); // on the session bus
// Where a desktop of one picture keeps it in gsettings.
struct PictureKey
{
    QString schema;
    QString key;
    bool uri = false; // a file URI, else a plain path
};
std::unique_ptr<DesktopBackend> makeGsettingsPictureBackend(PictureKey where, CommandRunner runner,
                                                            DarkSchemeQuery dark);
std::unique_ptr<DesktopBackend> makeXfceBackend(CommandRunner runner, DarkSchemeQuery dark);
std::unique_ptr<DesktopBackend> makeSwayBackend(CommandRunner runner, DarkSchemeQuery dark);
// A swaybg of ours draws the picture; started detached, so it outlives the program that set it.
std::unique_ptr<DesktopBackend> makeWlrootsBackend(CommandRunner runner, DarkSchemeQuery dark);
// The portal takes one picture, the one of `dark`'s scheme. It may ask the person first, so the
// set waits for the answer, running an event loop meanwhile.
std::unique_ptr<DesktopBackend> makePortalBackend(DarkSchemeQuery dark = portalPrefersDark);

// The backend for a session of `kind`, running the desktop's tools through `runner`;
// single-picture desktops show the picture `dark` chooses. A desktop with no backend of its
// own gets the portal.
std::unique_ptr<DesktopBackend> makeDesktopBackend(DesktopKind kind, CommandRunner runner,
                                                   DarkSchemeQuery dark);
// The backend for the session described by `environment`, running the real tools.
std::unique_ptr<DesktopBackend> makeDesktopBackend(const QProcessEnvironment &environment,
                                                   DarkSchemeQuery dark = portalPrefersDark);
