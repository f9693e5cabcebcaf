// The one place a desktop tool is started as a process: how long it may take, and how a tool
// that is missing, crashes, hangs or complains becomes a failure the person can read.

#include "commandrunner.h"

#include <QProcess>

CommandResult runCommand(const QString &program, const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    process.start(program, arguments);
    CommandResult result;
    if (!process.waitForStarted(timeoutMs)) {
        result.failure = DesktopFailure{DesktopError::ToolMissing, program, {}};
        return result;
    }
    // Told apart before the kill: a killed tool reads as crashed afterwards.
    if (!process.waitForFinished(timeoutMs)) {
        const bool crashed = process.state() == QProcess::NotRunning;
        process.kill();
        process.waitForFinished();
        result.failure = DesktopFailure{
            crashed ? DesktopError::ToolCrashed : DesktopError::ToolTimedOut, program, {}};
        return result;
    }
    result.output = process.readAllStandardOutput();
    if (process.exitStatus() == QProcess::CrashExit) {
        result.failure = DesktopFailure{DesktopError::ToolCrashed, program, {}};
        return result;
    }
    result.ok = process.exitCode() == 0;
    if (!result.ok) {
        const QString said = QString::fromUtf8(process.readAllStandardError()).trimmed();
        result.failure =
            DesktopFailure{DesktopError::ToolFailed, program,
                           said.isEmpty() ? QStringLiteral("Exit-Status %1").arg(process.exitCode())
                                          : failureDetail(said)};
    }
    return result;
}

std::optional<QString> runAll(const CommandRunner &runner, const QString &program,
                              const QList<QStringList> &calls)
{
    for (const QStringList &arguments : calls) {
        const CommandResult result = runner(program, arguments);
        if (!result.ok)
            return description(
                result.failure.value_or(DesktopFailure{DesktopError::ToolFailed, program, {}}));
    }
    return std::nullopt;
}
