// One running instance: files handed over, bad messages dropped, a crash left behind.

#include "app/singleinstance.h"
#include "support/rows.h"
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

    void opensItsFileOrHandsItOver_data()
    {
        // argument: given in the folder "woanders"; running: a Voskan runs already, and gets the
        // file
        addColumns<QString, bool, QString>({"argument", "running", "opened"});
        // clang-format off
        QTest::newRow("file URL") << "file://$D/Bilder/Gr%C3%BCn%20Tal.jpg" << true << "Bilder/Grün Tal.jpg";
        QTest::newRow("relative, the first start") << "../Bilder/./Weg.jpg" << false << "Bilder/Weg.jpg";
        // clang-format on
    }

    // Opening a picture lists it among the recent files, which the settings keep.
    void opensItsFileOrHandsItOver()
    {
        FETCH((QString, argument, opened), (bool, running));
        QVERIFY(QDir().mkpath(at("Bilder")) && QDir().mkpath(at("woanders")));
        const QString photo = TestData::photo("photo-path-2560x1600.jpg");
        QVERIFY(QFile::copy(photo, at("Bilder/Weg.jpg")) &&
                QFile::copy(photo, at("Bilder/Grün Tal.jpg")));
        QProcess *first = running ? startApp({}) : nullptr;
        if (running)
            QTRY_COMPARE_WITH_TIMEOUT(ping(), SingleInstance::SendResult::Delivered, kTimeoutMs);

        QProcess *second = startApp({argument.replace("$D", m_dir->path())}, "woanders");
        if (running) {
            QVERIFY(second->waitForFinished(kTimeoutMs));
            QCOMPARE(second->exitStatus(), QProcess::NormalExit);
            QCOMPARE(second->exitCode(), 0);
        }
        QTRY_COMPARE_WITH_TIMEOUT(recentFiles(), QStringList{at(opened)}, kTimeoutMs);
        QCOMPARE((running ? first : second)->state(), QProcess::Running);
    }

    void keepsAnsweringWhenHandedWhatIsNoFile_data()
    {
        QTest::addColumn<QString>("kind"); // as nonRegularFile() makes it
        for (const char *kind : {"FIFO", "socket", "folder", "device"})
            QTest::newRow(kind) << kind;
    }

    // Two FIFOs (or the like) handed to the running window by two more starts: it answers on
    // its socket as before, at once, and opens the photo handed over after them.
    void keepsAnsweringWhenHandedWhatIsNoFile()
    {
        QFETCH(QString, kind);
        QVERIFY(QDir().mkpath(at("Bilder")));
        QVERIFY(QFile::copy(TestData::photo("photo-path-2560x1600.jpg"), at("Bilder/Weg.jpg")));
        QProcess *app = startApp({at("Bilder/Weg.jpg")});
        QTRY_COMPARE_WITH_TIMEOUT(ping(), SingleInstance::SendResult::Delivered, kTimeoutMs);
        for (const char *name : {"x.jpg", "Tag.heic"}) {
            QProcess *handing = startApp({nonRegularFile(kind, at("Bilder"), name)});
            QVERIFY(handing->waitForFinished(kTimeoutMs));
            QCOMPARE(handing->exitCode(), 0);
        }
        for (int i = 0; i < 5; ++i, QTest::qWait(100))
            QCOMPARE(ping({}, 2000), SingleInstance::SendResult::Delivered);
        QVERIFY(QFile::copy(at("Bilder/Weg.jpg"), at("Bilder/Danach.jpg")));
        QCOMPARE(ping({at("Bilder/Danach.jpg")}, 2000), SingleInstance::SendResult::Delivered);
        QTRY_COMPARE_WITH_TIMEOUT(recentFiles().value(0), at("Bilder/Danach.jpg"), kTimeoutMs);
        QCOMPARE(app->state(), QProcess::Running);
    }

    // A crashed app leaves its socket behind; two apps started together over it end up as one
    // that serves, the other having handed over and ended.
    void crashLeftoverAndStartingTogether()
    {
        QProcess *crashed = startApp({});
        QTRY_COMPARE_WITH_TIMEOUT(ping(), SingleInstance::SendResult::Delivered, kTimeoutMs);
        crashed->kill();
        QVERIFY(crashed->waitForFinished(kTimeoutMs));
        QVERIFY(QFileInfo::exists(at("XDG_RUNTIME_DIR/voskan.socket")));
        QCOMPARE(ping(), SingleInstance::SendResult::NoPrimary);

        QProcess *a = startApp({}), *b = startApp({});
        QTRY_VERIFY_WITH_TIMEOUT(
            a->state() == QProcess::NotRunning || b->state() == QProcess::NotRunning, kTimeoutMs);
        QProcess *ended = a->state() == QProcess::NotRunning ? a : b;
        QCOMPARE(ended->exitStatus(), QProcess::NormalExit);
        QCOMPARE(ended->exitCode(), 0);
        QCOMPARE(ping(), SingleInstance::SendResult::Delivered);
        QCOMPARE((ended == a ? b : a)->state(), QProcess::Running);
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
