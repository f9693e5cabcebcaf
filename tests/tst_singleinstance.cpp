// One running instance: files handed over, bad messages dropped, a crash left behind.

#include "app/singleinstance.h"
#include "support/scratch.h"
#include "support/testdata.h"

#include <QtConcurrent>
#include <QtNetwork>

// The app under a sanitizer starts slowly; nothing here measures time.
constexpr int kTimeoutMs = 30'000;

class TestSingleInstance : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::vector<std::unique_ptr<QProcess>> m_apps;
    QString at(const QString &relative) const { return m_dir->filePath(relative); }

    // The real app in a scratch session of its own.
    QProcess *startApp(const QStringList &args, const QString &workingDirectory = "")
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name :
             {"XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "HOME"}) {
            QDir().mkdir(at(name), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            env.insert(name, at(name));
        }
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("VOSKAN_APPCAST_URL");
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        QProcess *app = m_apps.emplace_back(std::make_unique<QProcess>()).get();
        app->setProcessEnvironment(env);
        app->setWorkingDirectory(at(workingDirectory));
        app->setStandardOutputFile(QProcess::nullDevice());
        app->start(VOSKAN_APP_BINARY, args);
        return app;
    }
    // Asks the app on the socket to be shown, handing it `files`.
    SingleInstance::SendResult ping(const QStringList &files = {}, int ms = kTimeoutMs) const
    {
        return SingleInstance(at("XDG_RUNTIME_DIR/voskan.socket")).sendToPrimary(files, ms);
    }
    // The recent files as the app keeps them.
    QStringList recentFiles() const
    {
        return QSettings(at("XDG_CONFIG_HOME/Voskan/Voskan.conf"), QSettings::IniFormat)
            .value("recentLocalFiles")
            .toStringList();
    }

private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void cleanup()
    {
        // Never leave an app behind, whatever failed.
        for (auto &app : m_apps) {
            app->kill();
            app->waitForFinished(kTimeoutMs);
        }
        m_apps.clear();
    }

    // The first start opens its file, named from its own folder, and keeps it as recent. Over
    // its socket, left by a crash, of two started together one serves; a third hands a file.
    void crashLeftoverStartingTogetherAndHandingOver()
    {
        QVERIFY(QDir().mkpath(at("Bilder")) && QDir().mkpath(at("woanders/tief")));
        QVERIFY(QFile::copy(TestData::photo("photo-path-2560x1600.jpg"), at("Bilder/Weg.jpg")));
        QProcess *crashed = startApp({"../../Bilder/./Weg.jpg"}, "woanders/tief");
        QTRY_COMPARE_WITH_TIMEOUT(recentFiles(), QStringList{at("Bilder/Weg.jpg")}, kTimeoutMs);
        QCOMPARE(ping(), SingleInstance::SendResult::Delivered);
        crashed->kill();
        QVERIFY(crashed->waitForFinished(kTimeoutMs));
        QVERIFY(QFileInfo::exists(at("XDG_RUNTIME_DIR/voskan.socket")));
        QCOMPARE(ping(), SingleInstance::SendResult::NoPrimary);

        QProcess *a = startApp({}), *b = startApp({});
        QTRY_VERIFY_WITH_TIMEOUT(
            a->state() == QProcess::NotRunning || b->state() == QProcess::NotRunning, kTimeoutMs);
        QProcess *ended = a->state() == QProcess::NotRunning ? a : b, *serving = ended == a ? b : a;
        QCOMPARE(ping(), SingleInstance::SendResult::Delivered);
        QVERIFY(QFile::copy(TestData::photo("photo-path-2560x1600.jpg"), at("Grün Tal.jpg")));
        QProcess *handing = startApp({"file://" + m_dir->path() + "/Gr%C3%BCn%20Tal.jpg"});
        QVERIFY(handing->waitForFinished(kTimeoutMs));
        for (QProcess *done : {ended, handing}) {
            QCOMPARE(done->exitStatus(), QProcess::NormalExit);
            QCOMPARE(done->exitCode(), 0);
        }
        QTRY_COMPARE_WITH_TIMEOUT(
            recentFiles(), (QStringList{at("Grün Tal.jpg"), at("Bilder/Weg.jpg")}), kTimeoutMs);
        QCOMPARE(serving->state(), QProcess::Running);
    }

    void dropsBadMessagesAndKeepsServing_data()
    {
        QTest::addColumn<QByteArray>("message");
        const QByteArray long_ = QByteArray(SingleInstance::kMaxMessageBytes, 'a');
        QTest::newRow("no line end, over the cap") << "[\"/" + long_;
        QTest::newRow("valid JSON over the cap") << "[\"/" + long_ + "\"]\n";
        QTest::newRow("not JSON") << QByteArray("Weg.jpg\n");
        QTest::newRow("object") << QByteArray("{\"files\":[\"/a.jpg\"]}\n");
        QTest::newRow("relative path") << QByteArray("[\"a.jpg\"]\n");
    }

    void dropsBadMessagesAndKeepsServing()
    {
        QFETCH(QByteArray, message);
        SingleInstance primary(at("voskan.socket"));
        QVERIFY(primary.tryBecomePrimary());
        QSignalSpy spy(&primary, &SingleInstance::activationRequested);
        QLocalSocket client;
        client.connectToServer(at("voskan.socket"));
        QVERIFY(client.waitForConnected(kTimeoutMs));
        client.write(message);
        // The primary hangs up without a word.
        QTRY_COMPARE_WITH_TIMEOUT(client.state(), QLocalSocket::UnconnectedState, kTimeoutMs);
        QCOMPARE(client.readAll(), QByteArray());

        // The sender blocks until the primary answers from this thread's event loop.
        const auto sent = QtConcurrent::run([path = at("voskan.socket")] {
            return SingleInstance(path).sendToPrimary({"/danach.jpg"}, kTimeoutMs);
        });
        QTRY_VERIFY_WITH_TIMEOUT(sent.isFinished(), kTimeoutMs);
        QCOMPARE(sent.result(), SingleInstance::SendResult::Delivered);
        QTRY_COMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toStringList(), QStringList{"/danach.jpg"});
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
