#pragma once

#include <QHash>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

class QTcpSocket;

// HTTP/1.1 on 127.0.0.1 for tests of network clients: records every request and answers from
// canned responses keyed by path, one request per connection. Needs its thread's event loop.
class TestHttpServer : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        QByteArray path; // without the query
        QByteArray rawQuery;
        QHash<QByteArray, QByteArray> headers; // by lower-case name, values as sent
        bool hasHeader(const QByteArray &name) const { return headers.contains(name.toLower()); }
        QByteArray header(const QByteArray &name) const { return headers.value(name.toLower()); }
    };
    struct Response
    {
        enum class Body {
            Whole,   // at once, with its Content-Length
            Trickle, // in `chunkCount` pieces `interval` ms apart
            Endless, // kilobytes of "x" over and over, no length
            Silent,  // the head, then nothing until the client gives up
        };
        int status = 200;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        Body mode = Body::Whole;
        int chunkCount = 10;
        int interval = 50;
        qint64 declaredLength = -1; // sent instead of the real length when set

        static Response json(const QByteArray &body, int status = 200)
        {
            return {status, {}, body};
        }
        static Response redirect(const QUrl &to)
        {
            return {302, {{"Location", to.toEncoded()}}, {}};
        }
    };

    explicit TestHttpServer(QObject *parent = nullptr);
    bool start() { return m_server.listen(QHostAddress::LocalHost); }
    QUrl url(const QString &path = {}) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }
    // Paths without a response get a 404 page.
    void setResponse(const QByteArray &path, const Response &r) { m_responses[path] = r; }
    QList<Request> requests() const { return m_requests; }
    void clearRequests() { m_requests.clear(); }

private:
    void readFrom(QTcpSocket *socket, QByteArray &head);
    void respond(QTcpSocket *socket, const Response &response);

    QTcpServer m_server;
    QHash<QByteArray, Response> m_responses;
    QList<Request> m_requests;
};

Q_DECLARE_METATYPE(TestHttpServer::Response)

// A port on which nobody listens.
quint16 closedPort();
