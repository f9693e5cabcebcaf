#include "singleinstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QtDebug>

#include <exception>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kAnswer[] = "ok";
// Attempts of claimOrForward(): enough to ride out a primary that quits while we connect,
// few enough that a primary refusing every message cannot keep us looping.
constexpr int kClaimAttempts = 3;
// Waiting for the lock only matters while another instance is between probe and listen.
constexpr int kLockTimeoutMs = 5'000;
constexpr int kProbeTimeoutMs = 1'000;

QByteArray encode(const QStringList &files)
{
    return QJsonDocument(QJsonArray::fromStringList(files)).toJson(QJsonDocument::Compact) + '\n';
}

// Only an array of absolute paths is a request; anything else is not from a Voskan.
std::optional<QStringList> decode(const QByteArray &line)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QStringList files;
    const QJsonArray array = document.array();
    for (const QJsonValue &value : array) {
        const QString path = value.toString();
        if (!value.isString() || path.isEmpty() || !QDir::isAbsolutePath(path))
            return std::nullopt;
        files << path;
    }
    return files;
}

} // namespace

SingleInstance::SingleInstance(QObject *parent) : SingleInstance(defaultSocketPath(), parent) {}

SingleInstance::SingleInstance(const QString &socketPath, QObject *parent)
    : QObject(parent), m_socketPath(socketPath)
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultSocketPath()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return QDir(runtime).filePath(QStringLiteral("voskan.socket"));
    // The temporary folder is shared by every user: the socket goes into a folder of our own
    // that nobody else can enter, or there is none (another user could otherwise take the
    // name first, or listen there and receive our paths).
    const QString folder = privateTempFolder();
    if (folder.isEmpty())
        return {};
    return QDir(folder).filePath(QStringLiteral("voskan.socket"));
}

QString SingleInstance::privateTempFolder()
{
    const uid_t uid = ::getuid();
    const QByteArray path = QFile::encodeName(
        QDir(QDir::tempPath()).filePath(QStringLiteral("voskan-%1").arg(qulonglong(uid))));
    ::mkdir(path.constData(), 0700);
    struct stat info
    {
    };
    // lstat: a link planted there must not lead elsewhere.
    if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != uid ||
        (info.st_mode & 077) != 0)
        return {};
    return QFile::decodeName(path);
}

QStringList SingleInstance::absolutePaths(const QStringList &files, const QString &workingDirectory)
{
    const QDir base(workingDirectory);
    QStringList paths;
    for (const QString &file : files) {
        if (file.isEmpty())
            continue;
        QString path = file;
        if (file.startsWith(QLatin1String("file:"))) {
            const QUrl url(file);
            if (url.isLocalFile())
                path = url.toLocalFile();
        }
        paths << QDir::cleanPath(base.absoluteFilePath(path));
    }
    return paths;
}

bool SingleInstance::isPrimary() const
{
    return m_server && m_server->isListening();
}

bool SingleInstance::isLiveServer(const QString &path)
{
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(kProbeTimeoutMs)) {
        probe.abort();
        return true;
    }
    // A full backlog times out: someone is there, just busy.
    return probe.error() == QLocalSocket::SocketTimeoutError;
}

bool SingleInstance::tryBecomePrimary()
{
    if (isPrimary())
        return true;
    // Probe, removal of a stale file and listen must be one step: two instances that both
    // found the same stale file would otherwise each remove the other's fresh socket. Qt
    // binds a socket with access options under a temporary name and renames it into place,
    // which replaces whatever is there, so the probe is our only guard against taking the
    // path from a live primary.
    QLockFile lock(m_socketPath + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockTimeoutMs)) {
        qWarning("SingleInstance: lock for %s not available", qPrintable(m_socketPath));
        return false;
    }
    if (isLiveServer(m_socketPath))
        return false;
    QLocalServer::removeServer(m_socketPath);

    auto *server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(m_socketPath)) {
        // AddressInUse: an instance that does not take the lock got there first.
        qWarning("SingleInstance: cannot listen on %s: %s", qPrintable(m_socketPath),
                 qPrintable(server->errorString()));
        delete server;
        return false;
    }
    m_server = server;
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    return true;
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket *client = m_server->nextPendingConnection()) {
        // The buffer limit keeps a flood from growing memory; readFrom() drops it when full.
        client->setReadBufferSize(kMaxMessageBytes + 1);
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QLocalSocket::readyRead, this, [this, client] { readFrom(client); });
        QTimer::singleShot(kClientTimeoutMs, client, [client] {
            client->abort();
            client->deleteLater();
        });
    }
}

void SingleInstance::readFrom(QLocalSocket *client)
{
    std::optional<QStringList> files;
    try {
        if (!client->canReadLine()) {
            if (client->bytesAvailable() > kMaxMessageBytes) {
                qWarning("SingleInstance: dropped a message over %lld bytes", kMaxMessageBytes);
                client->abort();
                client->deleteLater();
            }
            return;
        }
        const QByteArray line = client->readLine(kMaxMessageBytes + 1);
        if (line.endsWith('\n'))
            files = decode(line);
        // One request per connection: whatever follows the first line is ignored.
        client->disconnect(this);
        if (!files) {
            qWarning("SingleInstance: dropped a malformed message");
            client->abort();
            client->deleteLater();
            return;
        }
        client->write(QByteArray(kAnswer) + '\n');
        // Out now, not at the next turn of the event loop: the handler below may take a while
        // (opening a large picture), and the sender is waiting.
        client->flush();
        client->disconnectFromServer();
    } catch (const std::exception &error) {
        qWarning("SingleInstance: reading a request failed: %s", error.what());
        client->abort();
        client->deleteLater();
        return;
    } catch (...) {
        qWarning("SingleInstance: reading a request failed");
        client->abort();
        client->deleteLater();
        return;
    }
    // Answered already: whatever the handler does, the sender is free to go.
    try {
        Q_EMIT activationRequested(*files);
    } catch (const std::exception &error) {
        qWarning("SingleInstance: handling a request failed: %s", error.what());
    } catch (...) {
        qWarning("SingleInstance: handling a request failed");
    }
}

SingleInstance::SendResult SingleInstance::sendToPrimary(const QStringList &files, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(deadline.remainingTime())) {
        return socket.error() == QLocalSocket::SocketTimeoutError ? SendResult::NoAnswer
                                                                  : SendResult::NoPrimary;
    }
    socket.write(encode(files));
    while (!socket.canReadLine()) {
        if (socket.state() != QLocalSocket::ConnectedState && socket.bytesAvailable() == 0)
            return SendResult::Refused;
        if (deadline.hasExpired())
            return SendResult::NoAnswer;
        if (!socket.waitForReadyRead(deadline.remainingTime())) {
            if (socket.canReadLine())
                break;
            if (socket.error() == QLocalSocket::SocketTimeoutError || deadline.hasExpired())
                return SendResult::NoAnswer;
            return SendResult::Refused;
        }
    }
    return socket.readLine().trimmed() == kAnswer ? SendResult::Delivered : SendResult::Refused;
}

SingleInstance::Outcome SingleInstance::claimOrForward(const QStringList &files, int timeoutMs)
{
    if (m_socketPath.isEmpty())
        return Outcome::Standalone;
    SendResult last = SendResult::NoPrimary;
    for (int attempt = 0; attempt < kClaimAttempts; ++attempt) {
        if (attempt > 0)
            QThread::msleep(100);
        last = sendToPrimary(files, timeoutMs);
        switch (last) {
        case SendResult::Delivered:
            return Outcome::Forwarded;
        case SendResult::NoAnswer:
            return Outcome::Unresponsive;
        case SendResult::Refused:
            // Perhaps quitting: the next attempt finds its socket gone or stale.
            continue;
        case SendResult::NoPrimary:
            break;
        }
        // False here mostly means another instance won the race to listen: send to it.
        if (tryBecomePrimary())
            return Outcome::Primary;
    }
    // Nobody answers and we cannot listen (e.g. the socket folder is not writable): a
    // Voskan of its own is better than none. A primary that keeps refusing is treated like
    // one that does not answer.
    return last == SendResult::Refused ? Outcome::Unresponsive : Outcome::Standalone;
}
