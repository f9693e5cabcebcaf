// The choice of a backend, in one table rather than a switch per caller: adding a desktop is
// one row here, and the tests reach every row through the same function the program uses.

#include "desktopbackends.h"

#include <array>

namespace {

using BackendFactory = std::unique_ptr<DesktopBackend> (*)(CommandRunner runner,
                                                           DarkSchemeQuery dark);
struct BackendEntry
{
    DesktopKind kind;
    BackendFactory make;
};

// Each kind once; Other, the portal, also serves any kind without a row.
const std::array<BackendEntry, 8> kBackends{{
    {DesktopKind::Gnome,
     [](CommandRunner runner, DarkSchemeQuery) { return makeGnomeBackend(std::move(runner)); }},
    {DesktopKind::Kde, [](CommandRunner, DarkSchemeQuery) { return makeKdeBackend(); }},
    {DesktopKind::Cinnamon, makeCinnamonBackend},
    {DesktopKind::Mate, makeMateBackend},
    {DesktopKind::Xfce, makeXfceBackend},
    {DesktopKind::Sway, makeSwayBackend},
    {DesktopKind::Wlroots, makeWlrootsBackend},
    {DesktopKind::Other,
     [](CommandRunner, DarkSchemeQuery dark) { return makePortalBackend(std::move(dark)); }},
}};

} // namespace

DesktopKind detectDesktop(const QProcessEnvironment &environment)
{
    const QStringList desktops = environment.value(QStringLiteral("XDG_CURRENT_DESKTOP"))
                                     .split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &entry : desktops) {
        const QString name = entry.trimmed().toLower();
        if (name == QLatin1String("gnome") || name == QLatin1String("ubuntu") ||
            name == QLatin1String("budgie") || name == QLatin1String("pantheon") ||
            name == QLatin1String("gnome-classic") || name == QLatin1String("gnome-flashback"))
            return DesktopKind::Gnome;
        if (name == QLatin1String("kde"))
            return DesktopKind::Kde;
        if (name == QLatin1String("x-cinnamon") || name == QLatin1String("cinnamon"))
            return DesktopKind::Cinnamon;
        if (name == QLatin1String("mate"))
            return DesktopKind::Mate;
        if (name == QLatin1String("xfce"))
            return DesktopKind::Xfce;
        if (name == QLatin1String("sway"))
            return DesktopKind::Sway;
        for (const char *wlroots : {"hyprland", "river", "niri", "labwc", "wayfire"}) {
            if (name == QLatin1String(wlroots))
                return DesktopKind::Wlroots;
        }
    }
    if (environment.value(QStringLiteral("KDE_FULL_SESSION")) == QLatin1String("true"))
        return DesktopKind::Kde;
    if (!environment.value(QStringLiteral("SWAYSOCK")).isEmpty())
        return DesktopKind::Sway;
    return DesktopKind::Other;
}

std::unique_ptr<DesktopBackend> makeDesktopBackend(DesktopKind kind, CommandRunner runner,
                                                   DarkSchemeQuery dark)
{
    for (const BackendEntry &entry : kBackends) {
        if (entry.kind == kind)
            return entry.make(std::move(runner), std::move(dark));
    }
    return makePortalBackend(std::move(dark));
}

std::unique_ptr<DesktopBackend> makeDesktopBackend(const QProcessEnvironment &environment,
                                                   DarkSchemeQuery dark)
{
    const CommandRunner system = [](const QString &program, const QStringList &arguments) {
        return runCommand(program, arguments);
    };
    return makeDesktopBackend(detectDesktop(environment), system, std::move(dark));
}
