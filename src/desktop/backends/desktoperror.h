#pragma once

// Every desktop fails in the same few ways, whether through a command or over D-Bus; they are
// told apart here once, so the person reads the same German sentence for the same trouble on
// any desktop.

#include <QDBusMessage>
#include <QString>

#include <optional>

// Why the desktop did not take the wallpaper; description() words it in German.
enum class DesktopError {
    Unsupported, // this session offers no way to set one
    FileFailed,  // a file the desktop reads could not be written
    ToolMissing, // the desktop's command is not installed or does not start
    ToolCrashed,
    ToolTimedOut,
    ToolFailed,     // it ran and reported an error
    ServiceMissing, // the desktop's D-Bus service is not running
    ServiceNoReply,
    ServiceDenied,
    ServiceFailed, // it answered with an error
    Refused,       // the person asked said no
};
struct DesktopFailure
{
    DesktopError error = DesktopError::Unsupported;
    QString subject; // the command, service or file concerned
    QString detail;  // what the command or service said; shown in parentheses
};
QString description(const DesktopFailure &failure);
// The D-Bus answer `reply` of `service` as a failure; nothing when it is a reply.
std::optional<DesktopFailure> dbusFailure(const QDBusMessage &reply, const QString &service);
// What a tool or service said, cut to what a message can show: its first line, not too long.
QString failureDetail(const QString &said);

// The two failures a backend words without a tool or service to name.
QString unsupportedText();
QString fileFailedText(const QString &path);
