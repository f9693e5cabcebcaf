#pragma once

// One GET whose whole body is wanted in memory: a search page, a photo, a thumbnail, the update
// feed. Each of them needs the same two guards, or a hostile or broken server could make the
// program hold gigabytes or wait for ever: a size cap that stops the reply as soon as it says or
// shows that it is too long, and a deadline for the whole transfer, since Qt's own time-out only
// sees silence and a server that sends a byte now and then would never meet it. What comes back
// is the body or a failure the caller can name in German; what a status means stays the caller's
// business.

#include "sources/networkerror.h"

#include <QByteArray>
#include <QNetworkRequest>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <optional>
#include <variant>

class QNetworkAccessManager;

// The reply grew beyond the cap it was allowed and was cut off.
struct DownloadTooLarge
{
    qint64 limit = 0;

    friend bool operator==(const DownloadTooLarge &, const DownloadTooLarge &) = default;
};

// A running GET. It belongs to its reply and goes with it: after finished() or cancel(), on a
// later turn of the event loop. Hold it in a QPointer.
class Download : public QObject
{
    Q_OBJECT

public:
    // An HTTP reply, whatever its status: a 404 page is as much an answer as a 200 one.
    struct Reply
    {
        std::optional<int> status; // none when the reply was no HTTP reply
        QByteArray body;

        friend bool operator==(const Reply &, const Reply &) = default;
    };
    // NetworkError: no complete reply came, or it took longer than the deadline (TooSlow).
    using Result = std::variant<Reply, NetworkError, DownloadTooLarge>;

    // Sends `request` through `manager`. A body longer than `maxBytes` fails as soon as its
    // Content-Length or the bytes received pass that; the whole transfer, redirects included,
    // fails after `deadline`. The request's transfer time-out is kept when it is shorter,
    // else (also when unset) the deadline is the longest silence allowed.
    static Download *start(QNetworkAccessManager *manager, QNetworkRequest request, qint64 maxBytes,
                           std::chrono::milliseconds deadline);

    // Stops the transfer; finished() is not emitted after this.
    void cancel();

Q_SIGNALS:
    // Exactly once, never inside start(), unless cancel() came first.
    void finished(const Download::Result &result);

private:
    Download(QNetworkReply *reply, qint64 maxBytes, std::chrono::milliseconds deadline);
    // Keeps the first reason the transfer is cut short and aborts it; Qt then emits finished().
    void stop(Result failure);
    void take();
    void finish();

    QNetworkReply *m_reply;
    const qint64 m_maxBytes;
    QTimer m_deadline;
    QByteArray m_body;
    std::optional<Result> m_failure;
    bool m_answered = false;
};
