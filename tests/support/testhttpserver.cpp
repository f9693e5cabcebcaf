#include "testhttpserver.h"

#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace {

// A request head longer than this is refused, so a broken client cannot fill the memory.
constexpr qsizetype kMaxHeadBytes = 64 * 1024;
// Endless bodies are topped up whenever less than this waits in the socket.
constexpr qint64 kEndlessLowWater = 256 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

QString decodeFormComponent(QByteArray text)
{
    text.replace('+', ' ');
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text));
}

} // namespace

bool TestHttpServer::Request::hasHeader(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QByteArray TestHttpServer::Request::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

TestHttpServer::Response TestHttpServer::Response::json(const QByteArray &body, int status)
{
    Response response;
    response.status = status;
    response.headers = {{"Content-Type", "application/json"}};
    response.body = body;
    return response;
}

TestHttpServer::Response TestHttpServer::Response::redirect(const QUrl &target, int status)
{
    Response response;
    response.status = status;
    response.headers = {{"Location", target.toEncoded()}};
    return response;
}

TestHttpServer::TestHttpServer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TestHttpServer::accept);
}

TestHttpServer::~TestHttpServer() = default;

bool TestHttpServer::start()
{
    return m_server.listen(QHostAddress::LocalHost);
}

quint16 TestHttpServer::port() const
{
    return m_server.serverPort();
}

QUrl TestHttpServer::url(const QString &path) const
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(port());
    url.setPath(path);
    return url;
}

void TestHttpServer::setResponse(const QByteArray &path, const Response &response)
{
    m_responses.insert(path, response);
}

void TestHttpServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
        m_pending.insert(socket, {});
    }
}

void TestHttpServer::readFrom(QTcpSocket *socket)
{
    const auto pending = m_pending.find(socket);
    if (pending == m_pending.end()) {
        socket->readAll(); // already answered; a body or a second request is not served
        return;
    }
    pending->append(socket->readAll());
    const qsizetype end = pending->indexOf("\r\n\r\n");
    if (end < 0) {
        if (pending->size() > kMaxHeadBytes) {
            m_pending.erase(pending);
            socket->write("HTTP/1.1 431 Request Header Fields Too Large\r\nConnection: close\r\n"
                          "Content-Length: 0\r\n\r\n");
            socket->disconnectFromHost();
        }
        return;
    }
    const QByteArray head = pending->left(end);
    m_pending.erase(pending);

    Request request;
    if (!parseHead(head, request)) {
        socket->write("HTTP/1.1 400 Bad Request\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
        socket->disconnectFromHost();
        return;
    }
    m_requests.append(request);
    respond(socket, request);
    Q_EMIT requestReceived();
}

bool TestHttpServer::parseHead(const QByteArray &head, Request &request)
{
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine[2].startsWith("HTTP/1."))
        return false;
    request.method = requestLine[0];
    const QByteArray &target = requestLine[1];
    const qsizetype question = target.indexOf('?');
    request.path = question < 0 ? target : target.left(question);
    if (question >= 0) {
        request.rawQuery = target.mid(question + 1);
        for (const QByteArray &item : request.rawQuery.split('&')) {
            if (item.isEmpty())
                continue;
            const qsizetype equals = item.indexOf('=');
            const QByteArray name = equals < 0 ? item : item.left(equals);
            const QByteArray value = equals < 0 ? QByteArray() : item.mid(equals + 1);
            request.queryItems.append({decodeFormComponent(name), decodeFormComponent(value)});
        }
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return false;
        // Only the whitespace after the colon goes; trailing whitespace is kept, so tests
        // see exactly the bytes a client put into a value.
        QByteArray value = line.mid(colon + 1);
        while (value.startsWith(' ') || value.startsWith('\t'))
            value.remove(0, 1);
        request.headers.append({line.left(colon), value});
    }
    return true;
}

void TestHttpServer::respond(QTcpSocket *socket, const Request &request)
{
    Response response;
    const auto it = m_responses.constFind(request.path);
    if (it != m_responses.constEnd()) {
        response = *it;
    } else {
        response.status = 404;
        response.headers = {{"Content-Type", "text/html; charset=utf-8"}};
        response.body = "<!DOCTYPE html><html><head><title>404</title></head>"
                        "<body><h1>Not Found</h1></body></html>";
    }

    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                      reasonPhrase(response.status) + "\r\nConnection: close\r\n";
    for (const auto &[name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    if (response.declaredLength >= 0)
        head += "Content-Length: " + QByteArray::number(response.declaredLength) + "\r\n";
    else if (response.mode != Response::Body::Endless)
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    head += "\r\n";
    socket->write(head);

    switch (response.mode) {
    case Response::Body::Whole:
        socket->write(response.body);
        socket->disconnectFromHost();
        break;
    case Response::Body::Silent:
        break;
    case Response::Body::Endless: {
        const QByteArray piece =
            response.body.isEmpty() ? QByteArray(64 * 1024, 'x') : response.body;
        const auto topUp = [socket, piece] {
            while (socket->state() == QAbstractSocket::ConnectedState &&
                   socket->bytesToWrite() < kEndlessLowWater)
                socket->write(piece);
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, topUp);
        topUp();
        break;
    }
    case Response::Body::Trickle: {
        const int count = qMax(1, response.chunkCount);
        const qsizetype size = (response.body.size() + count - 1) / count;
        auto rest = std::make_shared<QByteArray>(response.body);
        auto *timer = new QTimer(socket);
        timer->setInterval(response.interval);
        connect(timer, &QTimer::timeout, socket, [socket, timer, rest, size] {
            socket->write(rest->left(qMax<qsizetype>(1, size)));
            rest->remove(0, qMax<qsizetype>(1, size));
            if (rest->isEmpty()) {
                timer->stop();
                socket->disconnectFromHost();
            }
        });
        timer->start();
        break;
    }
    }
}

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}
