#pragma once

// Where the follower's program lies and how the session names it. Both the autostart entry
// and sway's snippet start the follower, so the sway backend needs this as much as the
// follower does, without depending on the follower itself.

#include <QString>

#include <initializer_list>
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
// One argument of a desktop entry's Exec line: quoted where the entry's rules ask for it, then
// escaped once more as a string value.
QString desktopExecArgument(const QString &argument);
