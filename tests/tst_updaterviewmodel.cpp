#include "support/testhttpserver.h"
#include "ui/updateprompt.h"
#include "update/appcast.h"
#include "update/updaterviewmodel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

Q_DECLARE_METATYPE(UpdateCheckResult::Outcome)
Q_DECLARE_METATYPE(TestHttpServer::Response)

using Outcome = UpdateCheckResult::Outcome;
using Response = TestHttpServer::Response;

namespace {

constexpr int kWaitMs = 15000;
const QString kVersion = QStringLiteral("0.1.0");

QByteArray feedOf(const QByteArray &items)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<rss version=\"2.0\" xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/"
           "sparkle\">\n<channel><title>Voskan</title>\n" +
           items + "</channel></rss>\n";
}

// An item in the element form, with only the parts given.
QByteArray item(const QByteArray &version, const QByteArray &shortVersion = {},
                const QByteArray &link = {}, const QByteArray &notes = {},
                const QByteArray &enclosure = {})
{
    QByteArray text = "<item><sparkle:version>" + version + "</sparkle:version>";
    if (!shortVersion.isEmpty())
        text += "<sparkle:shortVersionString>" + shortVersion + "</sparkle:shortVersionString>";
    if (!link.isEmpty())
        text += "<link>" + link + "</link>";
    if (!notes.isEmpty())
        text += "<sparkle:releaseNotesLink>" + notes + "</sparkle:releaseNotesLink>";
    if (!enclosure.isEmpty())
        text += "<enclosure url=\"" + enclosure + "\" length=\"1\"/>";
    return text + "</item>\n";
}

Response xml(const QByteArray &body, int status = 200)
{
    Response response;
    response.status = status;
    response.headers = {{"Content-Type", "application/rss+xml; charset=utf-8"}};
    response.body = body;
    return response;
}

QSettings settings()
{
    return QSettings(QStringLiteral("Voskan"), QStringLiteral("Voskan"));
}

QVariant storedLastCheck()
{
    return settings().value(QStringLiteral("Updates/lastCheck"));
}

// Starts a user check and waits for its one result. The result must not arrive inside the
// call, and by the time it arrives the model must take new checks again.
std::optional<UpdateCheckResult> check(UpdaterViewModel &updater)
{
    QSignalSpy finished(&updater, &UpdaterViewModel::checkFinished);
    bool readyWhenFinished = false;
    const QMetaObject::Connection probe =
        QObject::connect(&updater, &UpdaterViewModel::checkFinished, &updater,
                         [&] { readyWhenFinished = updater.canCheckForUpdates(); });
    updater.checkForUpdates();
    const bool answeredInside = !finished.isEmpty();
    const bool arrived = finished.wait(kWaitMs) || !finished.isEmpty();
    QTest::qWait(0);
    QObject::disconnect(probe);
    if (answeredInside || !arrived || finished.size() != 1 || !readyWhenFinished) {
        qWarning("inside: %d, arrived: %d, results: %d, ready: %d", answeredInside, arrived,
                 int(finished.size()), readyWhenFinished);
        return std::nullopt;
    }
    return finished.front().front().value<UpdateCheckResult>();
}

QMessageBox *openBox()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
            return box;
    }
    return nullptr;
}

QStringList buttonTexts(const QMessageBox *box)
{
    QStringList texts;
    for (const QAbstractButton *button : box->buttons())
        texts.append(button->text());
    texts.sort();
    return texts;
}

} // namespace

// Stands in for the browser: QDesktopServices hands it every web address.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public Q_SLOTS:
    void openUrl(const QUrl &url) { urls.append(url); }
};

// The slots are defined below the class, apart from the fixtures moc has to read.
class TestUpdaterViewModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void outcome_data();
    void outcome();
    void tooLarge_data();
    void tooLarge();
    void transportFailures_data();
    void transportFailures();
    void oneCheckAtATime();
    void noFeed_data();
    void noFeed();
    void feedFromEnvironment();
    void destroyedWhileChecking();

    void automaticOncePerDay();
    void automaticWhenDue_data();
    void automaticWhenDue();

    void prompt_data();
    void prompt();
    void promptOpensDownloadPage();

private:
    QTemporaryDir m_settingsDir;
    TestHttpServer m_server;
    UrlRecorder m_browser;
};

void TestUpdaterViewModel::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
    QVERIFY(m_server.start());
    qunsetenv(UpdaterViewModel::kFeedUrlVariable);
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_browser, "openUrl");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_browser, "openUrl");
}

void TestUpdaterViewModel::init()
{
    settings().clear();
    m_server.clearRequests();
    m_browser.urls.clear();
}

void TestUpdaterViewModel::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
}

void TestUpdaterViewModel::outcome_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<QString>("current");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QUrl>("page");
    QTest::addColumn<QString>("error");

    const QByteArray link = "https://voskan.example/download";
    const QByteArray notes = "https://voskan.example/notes.html";
    const QByteArray archive = "https://voskan.example/voskan-0.2.0.tar.gz";
    const QString failed = QStringLiteral("Die Update-Prüfung ist fehlgeschlagen: ");

    QTest::newRow("newer, link") << xml(feedOf(item("0.2.0", "0.2", link, notes, archive)))
                                 << kVersion << Outcome::UpdateAvailable << "0.2" << QUrl(link)
                                 << QString();
    QTest::newRow("newer, release notes")
        << xml(feedOf(item("0.2.0", {}, {}, notes, archive))) << kVersion
        << Outcome::UpdateAvailable << "0.2.0" << QUrl(notes) << QString();
    QTest::newRow("newer, download only")
        << xml(feedOf(item("0.2.0", "0.2", {}, {}, archive))) << kVersion
        << Outcome::UpdateAvailable << "0.2" << QUrl(archive) << QString();
    QTest::newRow("newest among older")
        << xml(feedOf(item("0.1.0") + item("0.10.0", "0.10", link) + item("0.9.0"))) << kVersion
        << Outcome::UpdateAvailable << "0.10" << QUrl(link) << QString();
    QTest::newRow("newer, redirected")
        << Response::redirect(m_server.url(QStringLiteral("/moved.xml"))) << kVersion
        << Outcome::UpdateAvailable << "9.0" << QUrl(link) << QString();
    QTest::newRow("equal") << xml(feedOf(item("0.1.0", "0.1", link))) << kVersion
                           << Outcome::UpToDate << QString() << QUrl() << QString();
    QTest::newRow("equal, fewer components")
        << xml(feedOf(item("0.1", {}, link))) << kVersion << Outcome::UpToDate << QString()
        << QUrl() << QString();
    QTest::newRow("older") << xml(feedOf(item("0.0.9") + item("0.1.0-beta"))) << kVersion
                           << Outcome::UpToDate << QString() << QUrl() << QString();
    QTest::newRow("ours is newer") << xml(feedOf(item("1.0", "1.0", link))) << "1.2"
                                   << Outcome::UpToDate << QString() << QUrl() << QString();
    QTest::newRow("not found") << xml("<html><body>Not found</body></html>", 404) << kVersion
                               << Outcome::Failed << QString() << QUrl()
                               << failed + "Der Server antwortete mit HTTP 404.";
    QTest::newRow("server error") << xml(feedOf(item("0.2.0")), 503) << kVersion << Outcome::Failed
                                  << QString() << QUrl()
                                  << failed + "Der Server antwortete mit HTTP 503.";
    QTest::newRow("garbage") << xml("\x89PNG\r\n\x1a\n not a feed") << kVersion << Outcome::Failed
                             << QString() << QUrl()
                             << failed + "Die Update-Liste ist kein gültiges XML (Zeile 1, "
                                         "Spalte 1).";
    QTest::newRow("web page") << xml("<html><body>Wartung</body></html>") << kVersion
                              << Outcome::Failed << QString() << QUrl()
                              << failed + "Die Update-Liste ist kein RSS-Feed.";
    QTest::newRow("no versions") << xml(feedOf("<item><title>0.2</title></item>")) << kVersion
                                 << Outcome::Failed << QString() << QUrl()
                                 << failed + "Die Update-Liste enthält keine Version.";
    QTest::newRow("empty body") << xml({}) << kVersion << Outcome::Failed << QString() << QUrl()
                                << failed +
                                       "Die Update-Liste ist kein gültiges XML (Zeile 1, Spalte "
                                       "0).";
}

void TestUpdaterViewModel::outcome()
{
    QFETCH(Response, response);
    QFETCH(QString, current);
    QFETCH(Outcome, outcome);
    QFETCH(QString, version);
    QFETCH(QUrl, page);
    QFETCH(QString, error);

    m_server.setResponse("/feed.xml", response);
    m_server.setResponse("/moved.xml",
                         xml(feedOf(item("9.0", {}, "https://voskan.example/download"))));
    UpdaterViewModel updater(m_server.url(QStringLiteral("/feed.xml")), current);
    QVERIFY(updater.canCheckForUpdates());

    const std::optional<UpdateCheckResult> result = check(updater);
    QVERIFY(result);
    QCOMPARE(result->outcome, outcome);
    QCOMPARE(result->automatic, false);
    QCOMPARE(result->version, version);
    QCOMPARE(result->downloadPage, page);
    QCOMPARE(result->errorMessage, error);
    QVERIFY(result->shouldNotify());
    QVERIFY(!m_server.requests().isEmpty());
    QCOMPARE(m_server.requests().front().method, QByteArray("GET"));
    QCOMPARE(m_server.requests().front().path, QByteArray("/feed.xml"));
}

void TestUpdaterViewModel::tooLarge_data()
{
    QTest::addColumn<Response>("response");

    // A real feed padded past the cap: refused for its size, not for its content.
    QByteArray padded = feedOf(item("0.2.0"));
    padded += "<!--" + QByteArray(Appcast::kMaxFeedBytes, 'x') + "-->";
    QTest::newRow("declared") << xml(padded);

    Response lying = xml(feedOf(item("0.2.0")));
    lying.declaredLength = 64 * Appcast::kMaxFeedBytes;
    QTest::newRow("declared, body short") << lying;

    Response endless = xml(" ");
    endless.mode = Response::Body::Endless;
    QTest::newRow("no length, endless") << endless;
}

void TestUpdaterViewModel::tooLarge()
{
    QFETCH(Response, response);
    m_server.setResponse("/big.xml", response);
    UpdaterViewModel updater(m_server.url(QStringLiteral("/big.xml")), kVersion);
    const std::optional<UpdateCheckResult> result = check(updater);
    QVERIFY(result);
    QCOMPARE(result->outcome, Outcome::Failed);
    QCOMPARE(result->errorMessage, QStringLiteral("Die Update-Prüfung ist fehlgeschlagen: Die "
                                                  "Update-Liste ist größer als 1 MB und wurde "
                                                  "nicht gelesen."));
}

void TestUpdaterViewModel::transportFailures_data()
{
    QTest::addColumn<QUrl>("feed");
    QTest::addColumn<QString>("reason");

    QTest::newRow("refused")
        << QUrl(QStringLiteral("http://127.0.0.1:%1/feed.xml").arg(closedPort()))
        << "Der Server ist nicht erreichbar.";
    QTest::newRow("silent") << m_server.url(QStringLiteral("/silent.xml"))
                            << "Der Server hat nicht rechtzeitig geantwortet.";
}

void TestUpdaterViewModel::transportFailures()
{
    QFETCH(QUrl, feed);
    QFETCH(QString, reason);
    Response silent = xml(feedOf(item("0.2.0")));
    silent.mode = Response::Body::Silent;
    m_server.setResponse("/silent.xml", silent);

    UpdaterViewModel updater(feed, kVersion);
    QCOMPARE(updater.timeout(), std::chrono::milliseconds(30'000));
    updater.setTimeout(std::chrono::milliseconds(300));
    const std::optional<UpdateCheckResult> result = check(updater);
    QVERIFY(result);
    QCOMPARE(result->outcome, Outcome::Failed);
    QCOMPARE(result->errorMessage,
             QStringLiteral("Die Update-Prüfung ist fehlgeschlagen: ") + reason);
}

void TestUpdaterViewModel::oneCheckAtATime()
{
    Response slow = xml(feedOf(item("0.2.0", "0.2")));
    slow.mode = Response::Body::Trickle;
    slow.chunkCount = 4;
    slow.interval = 100;
    m_server.setResponse("/slow.xml", slow);
    UpdaterViewModel updater(m_server.url(QStringLiteral("/slow.xml")), kVersion);
    QSignalSpy changed(&updater, &UpdaterViewModel::canCheckForUpdatesChanged);
    QSignalSpy finished(&updater, &UpdaterViewModel::checkFinished);

    QVERIFY(updater.canCheckForUpdates());
    updater.checkForUpdates();
    QCOMPARE(changed.size(), 1);
    QVERIFY(!updater.canCheckForUpdates());
    QVERIFY(updater.isChecking());

    // Neither a second user check nor an automatic one starts while the first runs.
    updater.checkForUpdates();
    QVERIFY(!updater.startAutomaticChecks());
    QVERIFY(!storedLastCheck().isValid());
    QCOMPARE(changed.size(), 1);

    QVERIFY(finished.wait(kWaitMs));
    QCOMPARE(changed.size(), 2);
    QVERIFY(updater.canCheckForUpdates());
    QVERIFY(!updater.isChecking());
    QTest::qWait(300);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(m_server.requests().size(), 1);
    QCOMPARE(finished.front().front().value<UpdateCheckResult>().outcome, Outcome::UpdateAvailable);

    // And it can run again.
    const std::optional<UpdateCheckResult> again = check(updater);
    QVERIFY(again);
    QCOMPARE(m_server.requests().size(), 2);
}

void TestUpdaterViewModel::noFeed_data()
{
    QTest::addColumn<QUrl>("feed");

    QTest::newRow("none") << QUrl();
    QTest::newRow("file") << QUrl::fromLocalFile(QStringLiteral("/tmp/appcast.xml"));
    QTest::newRow("ftp") << QUrl(QStringLiteral("ftp://voskan.example/appcast.xml"));
    QTest::newRow("no host") << QUrl(QStringLiteral("https:///appcast.xml"));
    QTest::newRow("relative") << QUrl(QStringLiteral("appcast.xml"));
}

void TestUpdaterViewModel::noFeed()
{
    QFETCH(QUrl, feed);
    UpdaterViewModel updater(feed, kVersion);
    QSignalSpy changed(&updater, &UpdaterViewModel::canCheckForUpdatesChanged);
    QSignalSpy finished(&updater, &UpdaterViewModel::checkFinished);

    QVERIFY(!updater.canCheckForUpdates());
    QVERIFY(updater.feedUrl().isEmpty());
    updater.checkForUpdates();
    QVERIFY(!updater.startAutomaticChecks());
    QTest::qWait(100);
    QVERIFY(!updater.canCheckForUpdates());
    QCOMPARE(changed.size(), 0);
    QCOMPARE(finished.size(), 0);
    QVERIFY(!storedLastCheck().isValid());
}

void TestUpdaterViewModel::feedFromEnvironment()
{
    const QUrl feed = m_server.url(QStringLiteral("/env.xml"));
    m_server.setResponse("/env.xml", xml(feedOf(item("0.0.1"))));
    qputenv(UpdaterViewModel::kFeedUrlVariable, feed.toEncoded());
    {
        UpdaterViewModel updater;
        QCOMPARE(updater.feedUrl(), feed);
        QCOMPARE(updater.currentVersion(), UpdaterViewModel::buildVersion());
        QVERIFY(updater.canCheckForUpdates());
        const std::optional<UpdateCheckResult> result = check(updater);
        QVERIFY(result);
        QCOMPARE(result->outcome, Outcome::UpToDate);
        QCOMPARE(m_server.requests().size(), 1);
    }
    // Set but unusable: no checks, rather than checks against something else.
    qputenv(UpdaterViewModel::kFeedUrlVariable, "file:///etc/hosts");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("file:///etc/hosts")));
    UpdaterViewModel unusable;
    QVERIFY(!unusable.canCheckForUpdates());
    qunsetenv(UpdaterViewModel::kFeedUrlVariable);
    // The project version, as the build set it.
    QVERIFY(Appcast::compareVersions(UpdaterViewModel::buildVersion(), QStringLiteral("0.0.1")) >
            0);
}

void TestUpdaterViewModel::destroyedWhileChecking()
{
    Response silent = xml({});
    silent.mode = Response::Body::Silent;
    m_server.setResponse("/silent.xml", silent);
    auto updater =
        std::make_unique<UpdaterViewModel>(m_server.url(QStringLiteral("/silent.xml")), kVersion);
    updater->checkForUpdates();
    QVERIFY(QTest::qWaitFor([&] { return !m_server.requests().isEmpty(); }, kWaitMs));
    updater.reset();
    // The aborted reply must not reach the dead model (the sanitizer build sees if it does).
    QTest::qWait(100);
}

void TestUpdaterViewModel::automaticOncePerDay()
{
    m_server.setResponse("/daily.xml", xml(feedOf(item("0.1.0"))));
    const QUrl feed = m_server.url(QStringLiteral("/daily.xml"));
    const QDateTime before = QDateTime::currentDateTimeUtc();
    {
        UpdaterViewModel first(feed, kVersion);
        QSignalSpy finished(&first, &UpdaterViewModel::checkFinished);
        QVERIFY(first.startAutomaticChecks());
        QVERIFY(finished.wait(kWaitMs));
        const auto result = finished.front().front().value<UpdateCheckResult>();
        QCOMPARE(result.outcome, Outcome::UpToDate);
        QVERIFY(result.automatic);
        QVERIFY(!result.shouldNotify());
    }
    QCOMPARE(m_server.requests().size(), 1);
    const QDateTime stored = QDateTime::fromString(storedLastCheck().toString(), Qt::ISODateWithMs);
    QVERIFY(stored.isValid());
    QCOMPARE(stored.timeSpec(), Qt::UTC);
    QVERIFY(stored >= before.addMSecs(-1) && stored <= QDateTime::currentDateTimeUtc());

    // The next start of the day asks nobody.
    UpdaterViewModel second(feed, kVersion);
    QSignalSpy finished(&second, &UpdaterViewModel::checkFinished);
    QVERIFY(!second.startAutomaticChecks());
    QTest::qWait(200);
    QCOMPARE(m_server.requests().size(), 1);
    QCOMPARE(finished.size(), 0);
    QVERIFY(second.canCheckForUpdates());

    // The user still may.
    QVERIFY(check(second));
    QCOMPARE(m_server.requests().size(), 2);
    QCOMPARE(storedLastCheck().toString(), stored.toString(Qt::ISODateWithMs));
}

void TestUpdaterViewModel::automaticWhenDue_data()
{
    QTest::addColumn<QVariant>("lastCheck");
    QTest::addColumn<bool>("due");

    const QDateTime now = QDateTime::currentDateTimeUtc();
    const auto iso = [](const QDateTime &time) { return QVariant(time.toString(Qt::ISODate)); };
    QTest::newRow("never") << QVariant() << true;
    QTest::newRow("an hour ago") << iso(now.addSecs(-3600)) << false;
    QTest::newRow("a minute short of a day") << iso(now.addSecs(-24 * 3600 + 60)) << false;
    QTest::newRow("a day ago") << iso(now.addSecs(-24 * 3600)) << true;
    QTest::newRow("a week ago") << iso(now.addDays(-7)) << true;
    QTest::newRow("local time with offset, an hour ago")
        << QVariant(now.addSecs(-3600).toOffsetFromUtc(2 * 3600).toString(Qt::ISODate)) << false;
    QTest::newRow("in the future") << iso(now.addSecs(2 * 3600)) << true;
    QTest::newRow("unreadable") << QVariant(QStringLiteral("gestern")) << true;
}

void TestUpdaterViewModel::automaticWhenDue()
{
    QFETCH(QVariant, lastCheck);
    QFETCH(bool, due);
    m_server.setResponse("/daily.xml", xml(feedOf(item("0.2.0", "0.2"))));
    if (lastCheck.isValid())
        settings().setValue(QStringLiteral("Updates/lastCheck"), lastCheck);

    UpdaterViewModel updater(m_server.url(QStringLiteral("/daily.xml")), kVersion);
    QSignalSpy finished(&updater, &UpdaterViewModel::checkFinished);
    const QDateTime before = QDateTime::currentDateTimeUtc();
    QCOMPARE(updater.startAutomaticChecks(), due);
    if (due) {
        QVERIFY(finished.wait(kWaitMs));
        const auto result = finished.front().front().value<UpdateCheckResult>();
        QCOMPARE(result.outcome, Outcome::UpdateAvailable);
        QVERIFY(result.automatic);
        QVERIFY(result.shouldNotify());
        const QDateTime stored =
            QDateTime::fromString(storedLastCheck().toString(), Qt::ISODateWithMs);
        QVERIFY(stored >= before.addMSecs(-1) && stored <= QDateTime::currentDateTimeUtc());
    } else {
        QTest::qWait(100);
        QCOMPARE(storedLastCheck(), lastCheck);
    }
    QCOMPARE(m_server.requests().size(), due ? 1 : 0);
    QCOMPARE(finished.size(), due ? 1 : 0);
}

void TestUpdaterViewModel::prompt_data()
{
    QTest::addColumn<UpdateCheckResult>("result");
    QTest::addColumn<QString>("boxName");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("buttons");

    UpdateCheckResult available;
    available.outcome = Outcome::UpdateAvailable;
    available.version = QStringLiteral("0.2");
    available.downloadPage = QUrl(QStringLiteral("https://voskan.example/download"));
    UpdateCheckResult upToDate;
    upToDate.outcome = Outcome::UpToDate;
    UpdateCheckResult failed;
    failed.outcome = Outcome::Failed;
    failed.errorMessage =
        QStringLiteral("Die Update-Prüfung ist fehlgeschlagen: Der Server ist nicht erreichbar.");

    const QStringList offer = {QStringLiteral("Download-Seite öffnen"), QStringLiteral("Später")};
    const QStringList ok = {QStringLiteral("OK")};
    QTest::newRow("available") << available << "updateAvailableBox"
                               << "Voskan 0.2 ist verfügbar." << offer;
    QTest::newRow("up to date") << upToDate << "updateUpToDateBox"
                                << "Voskan ist auf dem neuesten Stand." << ok;
    QTest::newRow("failed") << failed << "updateFailedBox" << failed.errorMessage << ok;

    // Automatic checks speak only of news.
    available.automatic = upToDate.automatic = failed.automatic = true;
    QTest::newRow("automatic, available") << available << "updateAvailableBox"
                                          << "Voskan 0.2 ist verfügbar." << offer;
    QTest::newRow("automatic, up to date") << upToDate << QString() << QString() << QStringList();
    QTest::newRow("automatic, failed") << failed << QString() << QString() << QStringList();
}

void TestUpdaterViewModel::prompt()
{
    QFETCH(UpdateCheckResult, result);
    QFETCH(QString, boxName);
    QFETCH(QString, text);
    QFETCH(QStringList, buttons);

    QWidget window;
    window.show();
    QMessageBox *shown = UpdatePrompt::showResult(result, &window);
    QCOMPARE(openBox(), shown);
    if (boxName.isEmpty()) {
        QVERIFY(!shown);
        return;
    }
    QVERIFY(shown);
    QCOMPARE(shown->objectName(), boxName);
    QCOMPARE(shown->windowTitle(), QStringLiteral("Nach Updates suchen"));
    QCOMPARE(shown->text(), text);
    QCOMPARE(buttonTexts(shown), buttons);
    QPointer<QMessageBox> box = shown;
    box->reject();
    QVERIFY(QTest::qWaitFor([&] { return box.isNull(); }, kWaitMs));
    QVERIFY(m_browser.urls.isEmpty());
}

void TestUpdaterViewModel::promptOpensDownloadPage()
{
    const QByteArray page = "https://voskan.example/voskan-0.3";
    m_server.setResponse("/feed.xml", xml(feedOf(item("0.3.0", "0.3", page))));
    QWidget window;
    window.show();
    UpdaterViewModel updater(m_server.url(QStringLiteral("/feed.xml")), kVersion);
    UpdatePrompt::attach(&updater, &window);

    updater.checkForUpdates();
    QVERIFY(QTest::qWaitFor([] { return openBox() != nullptr; }, kWaitMs));
    QPointer<QMessageBox> box = openBox();
    QCOMPARE(box->text(), QStringLiteral("Voskan 0.3 ist verfügbar."));
    auto *open = box->findChild<QAbstractButton *>(QStringLiteral("openDownloadPageButton"));
    QVERIFY(open);
    QCOMPARE(open->text(), QStringLiteral("Download-Seite öffnen"));
    open->click();
    QCOMPARE(m_browser.urls, QList<QUrl>{QUrl(page)});
    QVERIFY(QTest::qWaitFor([&] { return box.isNull(); }, kWaitMs));

    // "Später" opens nothing.
    m_browser.urls.clear();
    updater.checkForUpdates();
    QVERIFY(QTest::qWaitFor([] { return openBox() != nullptr; }, kWaitMs));
    box = openBox();
    auto *later = box->findChild<QAbstractButton *>(QStringLiteral("laterButton"));
    QVERIFY(later);
    QCOMPARE(later->text(), QStringLiteral("Später"));
    later->click();
    QVERIFY(QTest::qWaitFor([&] { return box.isNull(); }, kWaitMs));
    QVERIFY(m_browser.urls.isEmpty());
}

QTEST_MAIN(TestUpdaterViewModel)
#include "tst_updaterviewmodel.moc"
