#pragma once

// Most desktops are driven through their own command-line tools. The backends get the runner
// handed in rather than starting processes themselves, so a test can stand in for a desktop
// whose tools this machine lacks.

#include "desktoperror.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Runs an external tool and waits for it.
struct CommandResult
{
    bool ok = false; // started and exited with code 0
    QByteArray output;
    std::optional<DesktopFailure> failure; // set when not ok
};
using CommandRunner =
    std::function<CommandResult(const QString &program, const QStringList &arguments)>;

// Tools that hang must not freeze the program for good.
constexpr int kCommandTimeoutMs = 15000;
// A tool that hangs is killed after `timeoutMs`.
CommandResult runCommand(const QString &program, const QStringList &arguments,
                         int timeoutMs = kCommandTimeoutMs);
// Runs `program` once for each list of arguments in `calls`, stopping at the first that fails;
// its error text, or nothing.
std::optional<QString> runAll(const CommandRunner &runner, const QString &program,
                              const QList<QStringList> &calls);
