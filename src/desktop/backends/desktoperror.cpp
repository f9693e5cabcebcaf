// The German wording of a failed set, and the reading of a D-Bus error as one of the few
// failures the person is told about: kept apart from the desktops so each of them words the
// same trouble the same way.

#include "desktoperror.h"

#include <QDBusError>

namespace {

constexpr int kDetailLength = 160;

} // namespace

QString description(const DesktopFailure &failure)
{
    if (failure.error == DesktopError::Unsupported)
        return QStringLiteral(
            "Der Schreibtischhintergrund kann in dieser Arbeitsumgebung nicht gesetzt werden.");
    if (failure.error == DesktopError::Refused)
        return QStringLiteral("Das Setzen des Schreibtischhintergrunds wurde abgelehnt.");
    QString reason;
    switch (failure.error) {
    case DesktopError::Unsupported:
    case DesktopError::Refused:
    case DesktopError::FileFailed:
        reason = QStringLiteral("Die Datei „%1“ ließ sich nicht schreiben.");
        break;
    case DesktopError::ToolMissing:
        reason = QStringLiteral("Das Programm „%1“ fehlt oder startet nicht.");
        break;
    case DesktopError::ToolCrashed:
        reason = QStringLiteral("Das Programm „%1“ ist abgestürzt.");
        break;
    case DesktopError::ToolTimedOut:
        reason = QStringLiteral("Das Programm „%1“ hat nicht rechtzeitig geantwortet.");
        break;
    case DesktopError::ToolFailed:
        reason = QStringLiteral("Das Programm „%1“ meldet einen Fehler.");
        break;
    case DesktopError::ServiceMissing:
        reason = QStringLiteral("Der Dienst „%1“ läuft nicht.");
        break;
    case DesktopError::ServiceNoReply:
        reason = QStringLiteral("Der Dienst „%1“ antwortet nicht.");
        break;
    case DesktopError::ServiceDenied:
        reason = QStringLiteral("Der Dienst „%1“ verweigert den Zugriff.");
        break;
    case DesktopError::ServiceFailed:
        reason = QStringLiteral("Der Dienst „%1“ meldet einen Fehler.");
        break;
    }
    reason = reason.arg(failure.subject);
    // What a tool or service says is English and technical: after the sentence, in brackets.
    if (!failure.detail.isEmpty())
        reason.insert(reason.size() - 1, QStringLiteral(" (%1)").arg(failure.detail));
    return QStringLiteral("Der Schreibtischhintergrund konnte nicht gesetzt werden: ") + reason;
}

std::optional<DesktopFailure> dbusFailure(const QDBusMessage &reply, const QString &service)
{
    if (reply.type() == QDBusMessage::ReplyMessage)
        return std::nullopt;
    switch (QDBusError(reply).type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::NoServer:
    case QDBusError::Disconnected:
    case QDBusError::UnknownObject:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownMethod:
        return DesktopFailure{DesktopError::ServiceMissing, service, {}};
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        return DesktopFailure{DesktopError::ServiceNoReply, service, {}};
    case QDBusError::AccessDenied:
        return DesktopFailure{DesktopError::ServiceDenied, service, {}};
    default:
        break;
    }
    const QString said = reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
    return DesktopFailure{DesktopError::ServiceFailed, service, failureDetail(said)};
}

QString failureDetail(const QString &said)
{
    return said.section(QLatin1Char('\n'), 0, 0).left(kDetailLength);
}

QString unsupportedText()
{
    return description({DesktopError::Unsupported, {}, {}});
}

QString fileFailedText(const QString &path)
{
    return description({DesktopError::FileFailed, path, {}});
}
