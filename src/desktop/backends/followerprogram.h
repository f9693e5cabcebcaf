#pragma once

// Where the follower's program lies and how the session names it. Both the autostart entry
// and sway's snippet start the follower, so the sway backend needs this as much as the
// follower does, without depending on the follower itself.

#include <QString>

#include <initializer_list>
#include <optional>
#include <utility>

// voskan-render beside this program, as installed and as built; else whatever PATH finds.
QString followerProgram();
// The follower's command as the session runs it: this installation's voskan-render.
QString followerCommand();
// A path neither a desktop entry's Exec line nor a shell needs to quote.
bool isPlainPath(const QString &path);
// `text` between `quote` characters, each (character, replacement) of `escapes` replaced first:
// the one shape of every quoting a desktop's or a tool's file format asks for.
QString quoted(const QString &text, QChar quote,
               std::initializer_list<std::pair<QChar, const char *>> escapes);
// The first character of `text` that no line of a unit file or a desktop entry can carry, named
// for a German message ("einen Zeilenumbruch", "einen Tabulator", "ein Steuerzeichen (U+001B)"):
// any C0 or C1 control character or DEL. A line break would start a line of its own there — a
// second ExecStart= or Exec= — and the others no reader passes on as they are. Nothing when
// there is none.
std::optional<QString> controlCharacterIn(const QString &text);
// The same for the program a desktop entry's Exec line starts, where a % sign counts as well:
// GLib's launcher looks for a program named with the escaped "%%" and drops the whole entry.
std::optional<QString> desktopEntryProgramFault(const QString &program);
// The file of the user's configuration at `relative` ("autostart/…", "systemd/user/…").
QString userConfigFile(const QString &relative);
// The autostart entry a login runs: `program` (checked with desktopEntryProgramFault) with
// `arguments`, plain words, under `name`; hidden from the menus.
QByteArray autostartEntry(const QString &name, const QString &comment, const QString &program,
                          const QString &arguments);
// One argument of a desktop entry's Exec line: quoted where the entry's rules ask for it, then
// escaped once more as a string value.
QString desktopExecArgument(const QString &argument);
