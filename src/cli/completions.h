#pragma once

// The shells' completions of voskan-render, made from its table of options (options.h): the
// packages install what `voskan-render --completion SHELL` prints, so no option, style, preset
// or field can be missing from one of them.

#include <QString>
#include <QStringList>

#include <optional>

// "bash", "zsh", "fish".
QStringList completionShells();
// The script for `shell`; nothing for a shell not among completionShells().
std::optional<QString> completionScript(const QString &shell);
