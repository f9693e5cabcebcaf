#include "app/singleinstance.h"
#include "support/testdata.h"

#include <QFile>
#include <QFileInfo>
#include <QFuture>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtConcurrent>

#include <atomic>
#include <latch>
#include <memory>
#include <stdexcept>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int kSendTimeoutMs = 10'000;
// The app under a sanitizer starts slowly; nothing here measures time.
constexpr int kProcessTimeoutMs = 20'000;

// The secondary blocks until the primary answers from its event loop, so in one process
// it has to run on another thread while the test thread spins the loop.
QFuture<SingleInstance::SendResult> sendFromThread(const QString &path, const QStringList &files)
{
    return QtConcurrent::run([path, files] {
        SingleInstance secondary(path);
        return secondary.sendToPrimary(files, kSendTimeoutMs);
    });
}

QFuture<SingleInstance::Outcome> claimFromThread(const QString &path, const QStringList &files)
{
    return QtConcurrent::run([path, files] {
        SingleInstance secondary(path);
        return secondary.claimOrForward(files, kSendTimeoutMs);
    });
}

// What a crashed instance leaves behind: a socket file nobody listens on.
bool makeStaleSocket(const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (encoded.size() >= qsizetype(sizeof(address.sun_path)))
        return false;
    std::copy(encoded.begin(), encoded.end(), address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0;
    ::close(fd);
    return bound && QFileInfo::exists(path);
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void deliversFilesInOrder_data();
    void deliversFilesInOrder();
    void absolutePaths_data();
    void absolutePaths();
    void defaultSocketPath_data();
    void defaultSocketPath();
    void fallbackFolderMustBePrivate_data();
    void fallbackFolderMustBePrivate();
    void takesOverLeftovers_data();
    void takesOverLeftovers();
    void secondPrimaryFailsAndForwards();
    void onlyOnePrimaryWhenStartingTogether();
    void dropsBadMessagesAndKeepsServing_data();
    void dropsBadMessagesAndKeepsServing();
    void throwingHandlerKeepsServing();
    void silentPrimaryIsUnresponsive();
    void otherPathReachesNobody();

    // The real app as processes.
    void appForwardsFileToRunningOne_data();
    void appForwardsFileToRunningOne();
    void appSecondStartWithoutFileOnlyRaises();
    void appStartedTwiceAtOnceRunsOnce();
    void appRestartsAfterCrash();
    void cleanup();

private:
    QProcess *startApp(const QStringList &args, const QString &workingDirectory = {});
    QString appSocket() const { return m_dir.filePath(QStringLiteral("run/voskan.socket")); }
    QStringList recentFiles() const;

    std::unique_ptr<QTemporaryDir> m_tmp;
    QDir m_dir;
    QString m_socket;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

void TestSingleInstance::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    m_dir = QDir(m_tmp->path());
    m_socket = m_dir.filePath(QStringLiteral("voskan.socket"));
}

void TestSingleInstance::cleanup()
{
    // Never leave an app behind, whatever failed.
    for (auto &process : m_processes) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(kProcessTimeoutMs);
        }
    }
    m_processes.clear();
    m_tmp.reset();
}

void TestSingleInstance::deliversFilesInOrder_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::newRow("one picture") << QStringList{QStringLiteral("/home/ada/Bilder/Weg.jpg")};
    QTest::newRow("several, in order") << QStringList{
        QStringLiteral("/b/2.jpg"), QStringLiteral("/a/1.jpg"), QStringLiteral("/c/3.heic")};
    QTest::newRow("none: just raise") << QStringList{};
    QTest::newRow("spaces, umlauts, quotes")
        << QStringList{QStringLiteral("/home/ada/Übersicht „Sommer“ 2024/Blüte [1].jpg")};
}

void TestSingleInstance::deliversFilesInOrder()
{
    QFETCH(QStringList, files);
    SingleInstance primary(m_socket);
    QVERIFY(primary.tryBecomePrimary());
    QVERIFY(primary.isPrimary());
    QSignalSpy spy(&primary, &SingleInstance::activationRequested);

    const auto sent = sendFromThread(m_socket, files);
    QTRY_VERIFY_WITH_TIMEOUT(sent.isFinished(), kProcessTimeoutMs);
    QCOMPARE(sent.result(), SingleInstance::SendResult::Delivered);
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toStringList(), files);
}

void TestSingleInstance::absolutePaths_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("workingDirectory");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("relative") << QStringList{QStringLiteral("Weg.jpg")}
                              << QStringLiteral("/home/ada/Bilder")
                              << QStringList{QStringLiteral("/home/ada/Bilder/Weg.jpg")};
    QTest::newRow("relative with dots")
        << QStringList{QStringLiteral("../Urlaub/./Weg.jpg")} << QStringLiteral("/home/ada/Bilder")
        << QStringList{QStringLiteral("/home/ada/Urlaub/Weg.jpg")};
    QTest::newRow("absolute stays")
        << QStringList{QStringLiteral("/srv/Weg.jpg")} << QStringLiteral("/home/ada")
        << QStringList{QStringLiteral("/srv/Weg.jpg")};
    QTest::newRow("file URL") << QStringList{QStringLiteral("file:///srv/Gr%C3%BCn%20Tal.jpg")}
                              << QStringLiteral("/home/ada")
                              << QStringList{QStringLiteral("/srv/Grün Tal.jpg")};
    QTest::newRow("empty dropped, order kept")
        << QStringList{QStringLiteral("b.jpg"), QString(), QStringLiteral("a.jpg")}
        << QStringLiteral("/w")
        << QStringList{QStringLiteral("/w/b.jpg"), QStringLiteral("/w/a.jpg")};
}

void TestSingleInstance::absolutePaths()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, workingDirectory);
    QFETCH(QStringList, expected);
    QCOMPARE(SingleInstance::absolutePaths(arguments, workingDirectory), expected);
}

void TestSingleInstance::defaultSocketPath_data()
{
    QTest::addColumn<QString>("runtimeDir"); // relative to the scratch folder; "-" unset
    QTest::addColumn<bool>("usesRuntimeDir");
    QTest::newRow("runtime folder") << QStringLiteral("run") << true;
    QTest::newRow("unset") << QStringLiteral("-") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("missing folder") << QStringLiteral("gone") << false;
    QTest::newRow("a file, not a folder") << QStringLiteral("plain") << false;
}

void TestSingleInstance::defaultSocketPath()
{
    QFETCH(QString, runtimeDir);
    QFETCH(bool, usesRuntimeDir);
    QVERIFY(m_dir.mkdir(QStringLiteral("run")));
    QFile plain(m_dir.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();

    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    const bool wasSet = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    const auto restore = qScopeGuard([&] {
        if (wasSet)
            qputenv("XDG_RUNTIME_DIR", saved);
        else
            qunsetenv("XDG_RUNTIME_DIR");
    });
    if (runtimeDir == QLatin1String("-"))
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR",
                QFile::encodeName(runtimeDir.isEmpty() ? QString() : m_dir.filePath(runtimeDir)));

    const QString expected =
        usesRuntimeDir
            ? m_dir.filePath(QStringLiteral("run/voskan.socket"))
            : QDir(QDir::tempPath())
                  .filePath(QStringLiteral("voskan-%1/voskan.socket").arg(::getuid()));
    QCOMPARE(SingleInstance::defaultSocketPath(), expected);
    QCOMPARE(SingleInstance().socketPath(), expected);
}

void TestSingleInstance::fallbackFolderMustBePrivate_data()
{
    QTest::addColumn<QString>("found"); // what is at <tmp>/voskan-<uid> beforehand
    QTest::addColumn<bool>("usable");
    QTest::newRow("nothing: made private") << QStringLiteral("nothing") << true;
    QTest::newRow("our private folder") << QStringLiteral("private") << true;
    QTest::newRow("a folder others may enter") << QStringLiteral("open") << false;
    QTest::newRow("a link to a private folder") << QStringLiteral("link") << false;
    QTest::newRow("a plain file") << QStringLiteral("file") << false;
}

void TestSingleInstance::fallbackFolderMustBePrivate()
{
    QFETCH(QString, found);
    QFETCH(bool, usable);
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("voskan-%1").arg(::getuid()));
    const QString elsewhere = tmp.filePath(QStringLiteral("elsewhere"));
    if (found == QLatin1String("private") || found == QLatin1String("open"))
        QVERIFY(QDir().mkdir(folder));
    if (found == QLatin1String("open"))
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner |
                                                  QFile::ExeOwner | QFile::ReadOther |
                                                  QFile::ExeOther));
    if (found == QLatin1String("private"))
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner |
                                                  QFile::ExeOwner));
    if (found == QLatin1String("link")) {
        QVERIFY(QDir().mkdir(elsewhere));
        QVERIFY(QFile::link(elsewhere, folder));
    }
    if (found == QLatin1String("file")) {
        QFile plain(folder);
        QVERIFY(plain.open(QIODevice::WriteOnly));
    }

    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const bool runtimeWasSet = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    const QByteArray savedTmp = qgetenv("TMPDIR");
    const bool tmpWasSet = qEnvironmentVariableIsSet("TMPDIR");
    const auto restore = qScopeGuard([&] {
        runtimeWasSet ? qputenv("XDG_RUNTIME_DIR", savedRuntime) : qunsetenv("XDG_RUNTIME_DIR");
        tmpWasSet ? qputenv("TMPDIR", savedTmp) : qunsetenv("TMPDIR");
    });
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(tmp.path()));

    const QString path = SingleInstance::defaultSocketPath();
    if (!usable) {
        QVERIFY2(path.isEmpty(), qPrintable(path));
        // Without a safe place there is no forwarding: the process runs on its own.
        QCOMPARE(SingleInstance(path).claimOrForward({}, 1000), SingleInstance::Outcome::Standalone);
        return;
    }
    QCOMPARE(path, QDir(folder).filePath(QStringLiteral("voskan.socket")));
    QCOMPARE(QFileInfo(folder).permissions() & (QFile::ReadGroup | QFile::WriteGroup |
                                                 QFile::ExeGroup | QFile::ReadOther |
                                                 QFile::WriteOther | QFile::ExeOther),
             QFile::Permissions());
}

void TestSingleInstance::takesOverLeftovers_data()
{
    QTest::addColumn<bool>("socketFile");
    QTest::newRow("socket of a crashed instance") << true;
    QTest::newRow("plain file") << false;
}

void TestSingleInstance::takesOverLeftovers()
{
    QFETCH(bool, socketFile);
    if (socketFile) {
        QVERIFY(makeStaleSocket(m_socket));
    } else {
        QFile file(m_socket);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("alt");
    }
    QCOMPARE(SingleInstance(m_socket).sendToPrimary({QStringLiteral("/a.jpg")}, kSendTimeoutMs),
             SingleInstance::SendResult::NoPrimary);

    SingleInstance primary(m_socket);
    QVERIFY(primary.tryBecomePrimary());
    QSignalSpy spy(&primary, &SingleInstance::activationRequested);
    const auto sent = sendFromThread(m_socket, {QStringLiteral("/a.jpg")});
    QTRY_VERIFY_WITH_TIMEOUT(sent.isFinished(), kProcessTimeoutMs);
    QCOMPARE(sent.result(), SingleInstance::SendResult::Delivered);
    QTRY_COMPARE(spy.count(), 1);
}

void TestSingleInstance::secondPrimaryFailsAndForwards()
{
    SingleInstance primary(m_socket);
    QVERIFY(primary.tryBecomePrimary());
    QSignalSpy spy(&primary, &SingleInstance::activationRequested);

    SingleInstance second(m_socket);
    QVERIFY(!second.tryBecomePrimary());
    QVERIFY(!second.isPrimary());
    QVERIFY(primary.isPrimary());

    const QStringList files{QStringLiteral("/x/Weg.jpg")};
    const auto claimed = claimFromThread(m_socket, files);
    QTRY_VERIFY_WITH_TIMEOUT(claimed.isFinished(), kProcessTimeoutMs);
    QCOMPARE(claimed.result(), SingleInstance::Outcome::Forwarded);
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toStringList(), files);
}

void TestSingleInstance::onlyOnePrimaryWhenStartingTogether()
{
    // Several start at once over a stale socket: each would find it dead and take it.
    QVERIFY(makeStaleSocket(m_socket));
    constexpr int kInstances = 6;
    std::latch ready(kInstances);
    std::latch decided(kInstances);
    std::atomic<int> primaries = 0;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < kInstances; ++i) {
        threads.emplace_back(QThread::create([&] {
            SingleInstance instance(m_socket);
            ready.arrive_and_wait();
            if (instance.tryBecomePrimary())
                ++primaries;
            // The winner keeps listening until everyone has looked.
            decided.arrive_and_wait();
        }));
        threads.back()->start();
    }
    for (auto &thread : threads)
        QVERIFY(thread->wait(kProcessTimeoutMs));
    QCOMPARE(primaries.load(), 1);
}

void TestSingleInstance::dropsBadMessagesAndKeepsServing_data()
{
    QTest::addColumn<QByteArray>("message");
    const QByteArray hugePath = '/' + QByteArray(SingleInstance::kMaxMessageBytes, 'a');
    QTest::newRow("no line end, over the cap")
        << QByteArray(SingleInstance::kMaxMessageBytes + 100, '[');
    QTest::newRow("valid JSON over the cap") << "[\"" + hugePath + "\"]\n";
    QTest::newRow("not JSON") << QByteArray("Weg.jpg\n");
    QTest::newRow("empty line") << QByteArray("\n");
    QTest::newRow("object") << QByteArray("{\"files\":[\"/a.jpg\"]}\n");
    QTest::newRow("relative path") << QByteArray("[\"a.jpg\"]\n");
    QTest::newRow("number") << QByteArray("[\"/a.jpg\",3]\n");
    QTest::newRow("binary") << QByteArray("\x00\xff\xfe[\n", 5);
    QTest::newRow("broken UTF-8") << QByteArray("[\"/\xc3\x28.jpg\"]\n");
}

void TestSingleInstance::dropsBadMessagesAndKeepsServing()
{
    QFETCH(QByteArray, message);
    SingleInstance primary(m_socket);
    QVERIFY(primary.tryBecomePrimary());
    QSignalSpy spy(&primary, &SingleInstance::activationRequested);

    QLocalSocket client;
    client.connectToServer(m_socket);
    QVERIFY(client.waitForConnected(kSendTimeoutMs));
    QByteArray answer;
    connect(&client, &QLocalSocket::readyRead, this, [&] { answer += client.readAll(); });
    client.write(message);
    QTRY_COMPARE_WITH_TIMEOUT(client.state(), QLocalSocket::UnconnectedState, kProcessTimeoutMs);
    QVERIFY2(answer.isEmpty(), answer.constData());
    QCOMPARE(spy.count(), 0);

    const auto sent = sendFromThread(m_socket, {QStringLiteral("/danach.jpg")});
    QTRY_VERIFY_WITH_TIMEOUT(sent.isFinished(), kProcessTimeoutMs);
    QCOMPARE(sent.result(), SingleInstance::SendResult::Delivered);
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toStringList(), QStringList{QStringLiteral("/danach.jpg")});
}

void TestSingleInstance::throwingHandlerKeepsServing()
{
    SingleInstance primary(m_socket);
    QVERIFY(primary.tryBecomePrimary());
    int calls = 0;
    connect(&primary, &SingleInstance::activationRequested, this, [&calls] {
        if (++calls == 1)
            throw std::runtime_error("Handler kaputt");
    });
    for (int i = 1; i <= 2; ++i) {
        const auto sent = sendFromThread(m_socket, {QStringLiteral("/a.jpg")});
        QTRY_VERIFY_WITH_TIMEOUT(sent.isFinished(), kProcessTimeoutMs);
        QCOMPARE(sent.result(), SingleInstance::SendResult::Delivered);
        QTRY_COMPARE(calls, i);
    }
}

void TestSingleInstance::silentPrimaryIsUnresponsive()
{
    // Accepts (the kernel does that for it) but never answers, like a hung instance.
    QLocalServer silent;
    QVERIFY(silent.listen(m_socket));
    SingleInstance secondary(m_socket);
    QCOMPARE(secondary.sendToPrimary({QStringLiteral("/a.jpg")}, 300),
             SingleInstance::SendResult::NoAnswer);
    // Starting a second model beside it is not an option, nor is taking its socket.
    QCOMPARE(secondary.claimOrForward({QStringLiteral("/a.jpg")}, 300),
             SingleInstance::Outcome::Unresponsive);
    QVERIFY(!secondary.isPrimary());
    QVERIFY(silent.isListening());
    QVERIFY(!secondary.tryBecomePrimary());
}

void TestSingleInstance::otherPathReachesNobody()
{
    SingleInstance primary(m_socket);
    QVERIFY(primary.tryBecomePrimary());
    QSignalSpy spy(&primary, &SingleInstance::activationRequested);
    // Only the owner may connect.
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteOther | QFileDevice::ExeOther;
    QCOMPARE(QFileInfo(m_socket).permissions() & others, QFileDevice::Permissions());

    const QString other = m_dir.filePath(QStringLiteral("andere.socket"));
    const auto sent = sendFromThread(other, {QStringLiteral("/a.jpg")});
    QTRY_VERIFY_WITH_TIMEOUT(sent.isFinished(), kProcessTimeoutMs);
    QCOMPARE(sent.result(), SingleInstance::SendResult::NoPrimary);
    QCOMPARE(spy.count(), 0);
}

// ---- the app as processes ----

QProcess *TestSingleInstance::startApp(const QStringList &args, const QString &workingDirectory)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *folder : {"run", "config", "data", "cache", "home"}) {
        const QString path = m_dir.filePath(QLatin1String(folder));
        m_dir.mkpath(path);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                        QFileDevice::ExeOwner);
    }
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("run")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), m_dir.filePath(QStringLiteral("cache")));
    env.insert(QStringLiteral("HOME"), m_dir.filePath(QStringLiteral("home")));
    env.remove(QStringLiteral("VOSKAN_APPCAST_URL"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));

    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(env);
    process->setWorkingDirectory(workingDirectory.isEmpty() ? m_dir.path() : workingDirectory);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->start(QStringLiteral(VOSKAN_APP_BINARY), args);
    m_processes.push_back(std::move(process));
    return m_processes.back().get();
}

QStringList TestSingleInstance::recentFiles() const
{
    const QSettings settings(m_dir.filePath(QStringLiteral("config/Voskan/Voskan.conf")),
                             QSettings::IniFormat);
    return settings.value(QStringLiteral("recentLocalFiles")).toStringList();
}

void TestSingleInstance::appForwardsFileToRunningOne_data()
{
    QTest::addColumn<bool>("relative");
    QTest::newRow("absolute path") << false;
    QTest::newRow("relative to the second's working directory") << true;
}

void TestSingleInstance::appForwardsFileToRunningOne()
{
    QFETCH(bool, relative);
    const QString source = TestData::photo(QStringLiteral("photo-path-2560x1600.jpg"));
    QVERIFY2(QFileInfo::exists(source), qPrintable(source));

    QProcess *first = startApp({});
    QVERIFY(first->waitForStarted(kProcessTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(appSocket()), kProcessTimeoutMs);

    QString argument = source;
    QString workingDirectory;
    QString expected = QDir::cleanPath(QFileInfo(source).absoluteFilePath());
    if (relative) {
        QVERIFY(m_dir.mkpath(QStringLiteral("Bilder")));
        workingDirectory = m_dir.filePath(QStringLiteral("Bilder"));
        expected = QDir(workingDirectory).filePath(QStringLiteral("Weg.jpg"));
        QVERIFY(QFile::copy(source, expected));
        argument = QStringLiteral("Weg.jpg");
    }
    QProcess *second = startApp({argument}, workingDirectory);
    QVERIFY(second->waitForFinished(kProcessTimeoutMs));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);

    QTRY_VERIFY_WITH_TIMEOUT(recentFiles().contains(expected), kProcessTimeoutMs);
    QCOMPARE(first->state(), QProcess::Running);
    first->terminate();
    QVERIFY(first->waitForFinished(kProcessTimeoutMs));
}

void TestSingleInstance::appSecondStartWithoutFileOnlyRaises()
{
    QProcess *first = startApp({});
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(appSocket()), kProcessTimeoutMs);
    QProcess *second = startApp({});
    QVERIFY(second->waitForFinished(kProcessTimeoutMs));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(first->state(), QProcess::Running);
    QVERIFY(recentFiles().isEmpty());
    first->terminate();
    QVERIFY(first->waitForFinished(kProcessTimeoutMs));
}

void TestSingleInstance::appStartedTwiceAtOnceRunsOnce()
{
    QProcess *a = startApp({});
    QProcess *b = startApp({});
    QTRY_VERIFY_WITH_TIMEOUT(a->state() == QProcess::NotRunning ||
                                 b->state() == QProcess::NotRunning,
                             kProcessTimeoutMs);
    QProcess *ended = a->state() == QProcess::NotRunning ? a : b;
    QProcess *running = ended == a ? b : a;
    QCOMPARE(ended->exitStatus(), QProcess::NormalExit);
    QCOMPARE(ended->exitCode(), 0);
    // The one left is the primary: it answers on the socket.
    QCOMPARE(SingleInstance(appSocket()).sendToPrimary({}, kProcessTimeoutMs),
             SingleInstance::SendResult::Delivered);
    QCOMPARE(running->state(), QProcess::Running);
    running->terminate();
    QVERIFY(running->waitForFinished(kProcessTimeoutMs));
}

void TestSingleInstance::appRestartsAfterCrash()
{
    QProcess *crashed = startApp({});
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(appSocket()), kProcessTimeoutMs);
    crashed->kill();
    QVERIFY(crashed->waitForFinished(kProcessTimeoutMs));
    QVERIFY(QFileInfo::exists(appSocket()));

    // The new one takes over the dead socket and serves on it.
    QProcess *restarted = startApp({});
    QTRY_VERIFY_WITH_TIMEOUT(SingleInstance(appSocket()).sendToPrimary({}, kSendTimeoutMs) ==
                                 SingleInstance::SendResult::Delivered,
                             kProcessTimeoutMs);
    QCOMPARE(restarted->state(), QProcess::Running);
    restarted->terminate();
    QVERIFY(restarted->waitForFinished(kProcessTimeoutMs));
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
