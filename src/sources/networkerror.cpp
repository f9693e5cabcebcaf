#include "networkerror.h"

#include <QNetworkRequest>

NetworkError NetworkError::fromReply(const QNetworkReply &reply)
{
    NetworkError error{Kind::Other, reply.url(), {}};
    switch (reply.error()) {
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::BackgroundRequestNotAllowedError:
        error.kind = Kind::NoConnection;
        break;
    case QNetworkReply::HostNotFoundError:
        error.kind = Kind::HostNotFound;
        break;
    case QNetworkReply::ConnectionRefusedError:
        error.kind = Kind::Refused;
        break;
    case QNetworkReply::TimeoutError:
    // What Qt's transfer time-out reports; our own aborts have their reason kept beforehand.
    case QNetworkReply::OperationCanceledError:
        error.kind = Kind::TimedOut;
        break;
    case QNetworkReply::SslHandshakeFailedError:
        // Which certificate check failed is worth knowing to whoever runs the server.
        error.kind = Kind::Tls;
        error.detail = reply.errorString();
        break;
    case QNetworkReply::TooManyRedirectsError:
        error.kind = Kind::TooManyRedirects;
        break;
    case QNetworkReply::InsecureRedirectError:
        error.kind = Kind::InsecureRedirect;
        break;
    case QNetworkReply::ProtocolUnknownError:
        error.kind = Kind::UnsupportedScheme;
        break;
    case QNetworkReply::RemoteHostClosedError:
        error.kind = Kind::RemoteClosed;
        break;
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::ProxyAuthenticationRequiredError:
    case QNetworkReply::UnknownProxyError:
        error.kind = Kind::Proxy;
        error.detail = reply.errorString();
        break;
    default:
        error.detail = reply.errorString();
        break;
    }
    return error;
}

bool NetworkError::isTransportFailure(const QNetworkReply &reply)
{
    const QNetworkReply::NetworkError code = reply.error();
    if (code == QNetworkReply::NoError)
        return false;
    const bool hasStatus = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    const bool fromStatus =
        (code >= QNetworkReply::ContentAccessDenied && code <= QNetworkReply::UnknownContentError &&
         code != QNetworkReply::ContentReSendError) ||
        code == QNetworkReply::ProtocolInvalidOperationError ||
        code == QNetworkReply::ProxyAuthenticationRequiredError ||
        (code >= QNetworkReply::InternalServerError && code <= QNetworkReply::UnknownServerError);
    return !(hasStatus && fromStatus);
}

QString NetworkError::description() const
{
    const QString host = url.host().isEmpty() ? url.toDisplayString() : url.host();
    const QString more = detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(detail);
    switch (kind) {
    case Kind::NoConnection:
        return QStringLiteral("Keine Netzwerkverbindung.");
    case Kind::HostNotFound:
        return QStringLiteral("Der Server „%1“ wurde nicht gefunden.").arg(host);
    case Kind::Refused:
        return QStringLiteral("Der Server „%1“ ist nicht erreichbar.").arg(host);
    case Kind::TimedOut:
        return QStringLiteral("Der Server „%1“ hat nicht rechtzeitig geantwortet.").arg(host);
    case Kind::TooSlow:
        return QStringLiteral("Die Übertragung von „%1“ dauerte zu lange und wurde abgebrochen.")
            .arg(host);
    case Kind::Tls:
        return QStringLiteral("Die sichere Verbindung zu „%1“ ist fehlgeschlagen%2.")
            .arg(host, more);
    case Kind::TooManyRedirects:
        return QStringLiteral("Der Server „%1“ leitet zu oft weiter.").arg(host);
    case Kind::InsecureRedirect:
        return QStringLiteral("Der Server „%1“ leitet auf eine unverschlüsselte Adresse weiter.")
            .arg(host);
    case Kind::UnsupportedScheme:
        return QStringLiteral("Der Server „%1“ verweist auf eine Adresse, die weder http noch "
                              "https ist.")
            .arg(host);
    case Kind::RemoteClosed:
        return QStringLiteral("Der Server „%1“ hat die Verbindung vorzeitig getrennt.").arg(host);
    case Kind::Proxy:
        return QStringLiteral("Der Proxy-Server ist nicht erreichbar oder lehnt ab%1.").arg(more);
    case Kind::Other:
        break;
    }
    return QStringLiteral("Netzwerkfehler bei „%1“%2.").arg(host, more);
}
