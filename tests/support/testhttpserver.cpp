#include "testhttpserver.h"

#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace {

TestHttpServer::Request parseHead(const QByteArray &head)
{
    TestHttpServer::Request request;
    QList<QByteArray> lines = head.split('\n');
    const QByteArray target = lines.takeFirst().split(' ').value(1);
    const qsizetype question = target.indexOf('?');
    request.path = question < 0 ? target : target.left(question);
    request.rawQuery = question < 0 ? QByteArray() : target.mid(question + 1);
    for (const QByteArray &line : lines) {
        const qsizetype colon = line.indexOf(':');
        const qsizetype end = line.endsWith('\r') ? line.size() - 1 : line.size();
        qsizetype value = colon + 1;
        // Only the blanks after the colon go: tests see exactly what a client put in a value.
        while (value < end && (line[value] == ' ' || line[value] == '\t'))
            ++value;
        request.headers.insert(line.left(colon).toLower(), line.mid(value, end - value));
    }
    return request;
}

} // namespace

TestHttpServer::TestHttpServer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(
                socket, &QTcpSocket::readyRead, this,
                [this, socket, head = std::make_shared<QByteArray>()] { readFrom(socket, *head); });
        }
    });
}

void TestHttpServer::readFrom(QTcpSocket *socket, QByteArray &head)
{
    const bool answered = head.contains("\r\n\r\n");
    head += socket->readAll();
    const qsizetype end = head.indexOf("\r\n\r\n");
    if (answered || end < 0)
        return; // a body or a second request is not served
    m_requests.append(parseHead(head.left(end)));
    respond(socket, m_responses.value(m_requests.last().path, {404, {}, "<html>Not Found</html>"}));
}

void TestHttpServer::respond(QTcpSocket *socket, const Response &response)
{
    using Body = Response::Body;
    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(response.status) + " X\r\nConnection: close\r\n";
    for (const auto &[name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    if (response.declaredLength >= 0 || response.mode != Body::Endless) {
        const qint64 length =
            response.declaredLength >= 0 ? response.declaredLength : response.body.size();
        head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    }
    socket->write(head + "\r\n");
    if (response.mode == Body::Endless) {
        // Topped up whenever little waits, so the client reads as fast as it can.
        const auto topUp = [socket, piece = QByteArray(64 * 1024, 'x')] {
            while (socket->state() == QAbstractSocket::ConnectedState &&
                   socket->bytesToWrite() < 256 * 1024)
                socket->write(piece);
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, topUp);
        topUp();
    } else if (response.mode != Body::Silent) {
        // A whole body is a trickle of one piece.
        const bool whole = response.mode == Body::Whole;
        const qsizetype size = whole ? response.body.size() + 1
                                     : response.body.size() / qMax(1, response.chunkCount) + 1;
        auto rest = std::make_shared<QByteArray>(response.body);
        auto *timer = new QTimer(socket);
        connect(timer, &QTimer::timeout, socket, [socket, timer, rest, size] {
            socket->write(rest->left(size));
            rest->remove(0, size);
            if (rest->isEmpty()) {
                timer->stop();
                socket->disconnectFromHost();
            }
        });
        timer->start(whole ? 0 : response.interval);
    }
}

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort(); // let go when probe goes
}
