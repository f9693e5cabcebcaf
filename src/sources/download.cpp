#include "download.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <algorithm>
#include <utility>

Download *Download::start(QNetworkAccessManager *manager, QNetworkRequest request, qint64 maxBytes,
                          std::chrono::milliseconds deadline)
{
    const int timeout = request.transferTimeout();
    request.setTransferTimeout(timeout > 0 ? std::min(timeout, int(deadline.count()))
                                           : int(deadline.count()));
    return new Download(manager->get(request), maxBytes, deadline);
}

Download::Download(QNetworkReply *reply, qint64 maxBytes, std::chrono::milliseconds deadline)
    : QObject(reply), m_reply(reply), m_maxBytes(maxBytes)
{
    const QUrl origin = reply->url();
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this, origin] {
        stop(NetworkError{NetworkError::Kind::TooSlow, origin, {}});
    });
    m_deadline.start(deadline);

    // A declared length over the cap stops the reply before its body, a body that grows over it
    // (no length given, or a server that lies) stops as soon as it does. The body is moved out
    // of Qt's buffer on every chunk, so that buffer stays small too.
    connect(reply, &QNetworkReply::metaDataChanged, this, [this] {
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > m_maxBytes)
            stop(DownloadTooLarge{m_maxBytes});
    });
    connect(reply, &QNetworkReply::readyRead, this, &Download::take);
    connect(reply, &QNetworkReply::finished, this, &Download::finish);
}

void Download::cancel()
{
    if (m_answered)
        return;
    m_answered = true;
    m_deadline.stop();
    m_reply->disconnect(this);
    m_reply->abort();
    m_reply->deleteLater();
}

void Download::stop(Result failure)
{
    if (m_failure)
        return;
    m_failure = std::move(failure);
    m_body.clear();
    m_reply->abort();
}

void Download::take()
{
    if (m_failure)
        return;
    if (m_reply->bytesAvailable() > m_maxBytes - m_body.size()) {
        stop(DownloadTooLarge{m_maxBytes});
        return;
    }
    m_body += m_reply->readAll();
}

void Download::finish()
{
    m_deadline.stop();
    m_reply->deleteLater();
    // Answered once, however often Qt signals the end of a reply aborted on the way.
    if (m_answered)
        return;
    m_answered = true;
    // Transport first: after a redirect loop the status is the last redirect's.
    if (!m_failure && NetworkError::isTransportFailure(*m_reply))
        m_failure = NetworkError::fromReply(*m_reply);
    if (!m_failure)
        take();
    if (m_failure) {
        Q_EMIT finished(*m_failure);
        return;
    }
    Reply reply;
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid())
        reply.status = status.toInt();
    reply.body = std::exchange(m_body, {});
    Q_EMIT finished(reply);
}
