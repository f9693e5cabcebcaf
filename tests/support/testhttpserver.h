#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTcpServer>
#include <QUrl>

class QTcpSocket;

// A small HTTP/1.1 server on the loopback interface for tests of network clients. It records
// every request and answers from a table of canned responses keyed by path; each connection
// serves one request and is closed. Lives on the thread that created it and needs that
// thread's event loop to run.
class TestHttpServer : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        QByteArray method;
        QByteArray path; // as sent, without the query
        QByteArray rawQuery;
        // Decoded as a form would be: "+" is a space, then percent-decoding, then UTF-8.
        QList<QPair<QString, QString>> queryItems;
        // In the order received; names as sent, values without the whitespace after the
        // colon but with any trailing whitespace.
        QList<QPair<QByteArray, QByteArray>> headers;

        bool hasHeader(const QByteArray &name) const;
        // The first value of a header (names compared without case); empty if absent.
        QByteArray header(const QByteArray &name) const;
    };

    struct Response
    {
        enum class Body {
            Whole,   // the body at once, with its Content-Length
            Trickle, // the body in `chunkCount` pieces `interval` ms apart, then close
            Endless, // `body` repeated for ever, as fast as the client reads; no length
            Silent,  // the head, then nothing until the client gives up
        };

        int status = 200;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        Body mode = Body::Whole;
        int chunkCount = 10;
        int interval = 50;
        // Sent instead of the real length when set, to test clients that trust it.
        qint64 declaredLength = -1;

        static Response json(const QByteArray &body, int status = 200);
        static Response redirect(const QUrl &target, int status = 302);
    };

    explicit TestHttpServer(QObject *parent = nullptr);
    ~TestHttpServer() override;

    // Listens on 127.0.0.1 on a free port; false if that failed.
    bool start();
    quint16 port() const;
    // http://127.0.0.1:<port>, the same with `path` appended when given.
    QUrl url(const QString &path = {}) const;

    // Paths without a response get 404 with a small HTML page.
    void setResponse(const QByteArray &path, const Response &response);

    QList<Request> requests() const { return m_requests; }
    void clearRequests() { m_requests.clear(); }

Q_SIGNALS:
    void requestReceived();

private:
    void accept();
    void readFrom(QTcpSocket *socket);
    void respond(QTcpSocket *socket, const Request &request);
    static bool parseHead(const QByteArray &head, Request &request);

    QTcpServer m_server;
    QHash<QByteArray, Response> m_responses;
    QHash<QTcpSocket *, QByteArray> m_pending; // bytes of a request head still coming in
    QList<Request> m_requests;
};

// A port on which nobody listens: taken from the system, then let go.
quint16 closedPort();
