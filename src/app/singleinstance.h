#pragma once

// Keeps one Voskan per user: a second start hands its files to the running one and ends. main()
// asks here before it makes the model and the window, which a start that forwards never builds.

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

// The first instance listens on a local socket (tryBecomePrimary()); later ones connect,
// send their files and wait for the answer (sendToPrimary()). The protocol is one line of
// UTF-8 JSON, an array of absolute paths, answered by the line "ok". The primary answers
// before it emits activationRequested(), so a slow handler never holds up the sender.
//
// Whatever arrives on the socket is untrusted: more than kMaxMessageBytes without a line
// end, a line that is not an array of absolute paths, or a client that stays silent for
// kClientTimeoutMs drops that connection without a signal; the primary keeps serving.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 kMaxMessageBytes = 64 * 1024;
    // How long the primary waits for a connected client to finish its line.
    static constexpr int kClientTimeoutMs = 10'000;

    enum class SendResult {
        Delivered, // the primary answered "ok"
        NoPrimary, // nobody listens (no socket, or a stale one left by a crash)
        NoAnswer,  // a primary took the connection but did not answer in time
        Refused,   // the connection closed without an answer (primary quitting or busy)
    };

    enum class Outcome {
        Primary,      // this process listens now and should start normally
        Forwarded,    // the running instance took the files; this process should end
        Unresponsive, // an instance runs but does not answer; starting a second is unsafe
        Standalone,   // nobody answers and listening failed: start, but without forwarding
    };
    Q_ENUM(SendResult)
    Q_ENUM(Outcome)

    // Listens on defaultSocketPath().
    explicit SingleInstance(QObject *parent = nullptr);
    // Listens on socketPath instead; for tests.
    explicit SingleInstance(const QString &socketPath, QObject *parent = nullptr);
    ~SingleInstance() override;

    // $XDG_RUNTIME_DIR/voskan.socket, or voskan.socket in the folder voskan-<uid> of the
    // temporary folder when there is no runtime directory. That folder is made private
    // (0700); when it exists but is not ours alone the path is empty and the process runs on
    // its own, without forwarding.
    static QString defaultSocketPath();
    // Absolute, clean paths: relative ones are taken against workingDirectory, file: URLs
    // become local paths. Empty entries are dropped.
    static QStringList absolutePaths(const QStringList &files, const QString &workingDirectory);

    QString socketPath() const { return m_socketPath; }
    bool isPrimary() const;

    // Starts listening unless a live instance already does. A socket file nobody answers on
    // is taken over. False when another instance listens (send to it instead) or the socket
    // cannot be created.
    bool tryBecomePrimary();
    // Hands files (absolute paths, see absolutePaths()) to the primary and waits at most
    // timeoutMs in all for its answer. Blocks; meant for the start of the process.
    SendResult sendToPrimary(const QStringList &files, int timeoutMs);
    // The whole start-up decision: forward to a running instance, else become the primary.
    // Settles the race of instances starting together by trying again.
    Outcome claimOrForward(const QStringList &files, int timeoutMs);

Q_SIGNALS:
    // In the primary: another start asked to open files (possibly none) and to be shown.
    void activationRequested(const QStringList &files);

private:
    static QString privateTempFolder();
    void acceptConnections();
    void readFrom(QLocalSocket *client);
    static bool isLiveServer(const QString &path);

    QString m_socketPath;
    QLocalServer *m_server = nullptr;
};
