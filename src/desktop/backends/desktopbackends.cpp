// The choice of a backend, in one table rather than a switch per caller: adding a desktop is
// one row here, and the tests reach every row through the same function the program uses.

#include "desktopbackends.h"

#include <string_view>

namespace {

using BackendFactory = std::unique_ptr<DesktopBackend> (*)(CommandRunner runner,
                                                           DarkSchemeQuery dark);

// A variable whose value tells a session of a desktop when XDG_CURRENT_DESKTOP does not.
struct SessionHint
{
    std::string_view variable;
    std::string_view value; // empty: any value but none
};

// Where a desktop of one picture keeps it in gsettings, for a row without code of its own.
struct GsettingsKey
{
    std::string_view schema;
    std::string_view key;
    bool uri = false; // a file URI, else a plain path
};

struct DesktopRow
{
    DesktopKind kind;
    // The names XDG_CURRENT_DESKTOP gives it, in lower case, separated by spaces.
    std::string_view names;
    SessionHint hint;
    // Its backend: `make`, or where none is given, the gsettings backend of one picture.
    BackendFactory make;
    GsettingsKey picture = {};
};

// Each desktop one row. A desktop that keeps its picture in a gsettings key needs no code of its
// own, only a row; one that does has its factory in a file of its own.
constexpr DesktopRow kDesktops[] = {
    {DesktopKind::Gnome,
     "gnome ubuntu pantheon gnome-classic gnome-flashback",
     {},
     [](CommandRunner runner, DarkSchemeQuery) { return makeGnomeBackend(std::move(runner)); }},
    {DesktopKind::Kde,
     "kde",
     {"KDE_FULL_SESSION", "true"},
     [](CommandRunner, DarkSchemeQuery) { return makeKdeBackend(); }},
    {DesktopKind::Cinnamon,
     "x-cinnamon cinnamon",
     {},
     nullptr,
     {"org.cinnamon.desktop.background", "picture-uri", true}},
    {DesktopKind::Mate, "mate", {}, nullptr, {"org.mate.background", "picture-filename", false}},
    // GNOME's key for the light picture; Budgie reads none for the dark.
    {DesktopKind::Budgie,
     "budgie",
     {},
     nullptr,
     {"org.gnome.desktop.background", "picture-uri", true}},
    {DesktopKind::Xfce, "xfce", {}, makeXfceBackend},
    {DesktopKind::Sway, "sway", {"SWAYSOCK", ""}, makeSwayBackend},
    {DesktopKind::Wlroots, "hyprland river niri labwc wayfire", {}, makeWlrootsBackend},
    {DesktopKind::Other,
     "",
     {},
     [](CommandRunner, DarkSchemeQuery dark) { return makePortalBackend(std::move(dark)); }},
};

constexpr bool everyKindOnceInOrder()
{
    int i = 0;
    for (const DesktopRow &row : kDesktops)
        if (int(row.kind) != i++)
            return false;
    return i == int(DesktopKind::Other) + 1;
}
static_assert(everyKindOnceInOrder(), "kDesktops has a row for each DesktopKind, in its order");

const DesktopRow &rowOf(DesktopKind kind)
{
    return kDesktops[int(kind)];
}

bool named(const DesktopRow &row, const QString &name)
{
    for (const QString &known : QString::fromLatin1(row.names.data(), qsizetype(row.names.size()))
                                    .split(QLatin1Char(' '), Qt::SkipEmptyParts))
        if (known == name)
            return true;
    return false;
}

QString latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

} // namespace

DesktopKind detectDesktop(const QProcessEnvironment &environment)
{
    const QStringList desktops = environment.value(QStringLiteral("XDG_CURRENT_DESKTOP"))
                                     .split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &entry : desktops) {
        const QString name = entry.trimmed().toLower();
        for (const DesktopRow &row : kDesktops)
            if (named(row, name))
                return row.kind;
    }
    for (const DesktopRow &row : kDesktops) {
        if (row.hint.variable.empty())
            continue;
        const QString value = environment.value(latin1(row.hint.variable));
        if (row.hint.value.empty() ? !value.isEmpty() : value == latin1(row.hint.value))
            return row.kind;
    }
    return DesktopKind::Other;
}

std::unique_ptr<DesktopBackend> makeDesktopBackend(DesktopKind kind, CommandRunner runner,
                                                   DarkSchemeQuery dark)
{
    const DesktopRow &row = rowOf(kind);
    if (row.make)
        return row.make(std::move(runner), std::move(dark));
    return makeGsettingsPictureBackend(
        {latin1(row.picture.schema), latin1(row.picture.key), row.picture.uri}, std::move(runner),
        std::move(dark));
}

std::unique_ptr<DesktopBackend> makeDesktopBackend(const QProcessEnvironment &environment,
                                                   DarkSchemeQuery dark)
{
    const CommandRunner system = [](const QString &program, const QStringList &arguments) {
        return runCommand(program, arguments);
    };
    return makeDesktopBackend(detectDesktop(environment), system, std::move(dark));
}
