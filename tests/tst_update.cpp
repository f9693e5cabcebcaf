// The update check: the appcast, versions in order, the box shown, once a day by itself.

#include "support/rows.h"
#include "support/testhttpserver.h"
#include "ui/updateprompt.h"
#include "update/appcast.h"
#include "update/updaterviewmodel.h"

#include <QtTest>
#include <QtWidgets>

using Response = TestHttpServer::Response;

namespace {

const QString kFailed = QStringLiteral("Die Update-Prüfung ist fehlgeschlagen: ");

QByteArray feedOf(const QByteArray &items, const QByteArray &prefix = "sparkle")
{
    return "<?xml version=\"1.0\"?>\n<rss xmlns:" + prefix + "=\"" + Appcast::kSparkleNamespace +
           "\">\n<channel><title>Voskan</title>\n" + items + "</channel></rss>\n";
}

QByteArray item(const QByteArray &version, const QByteArray &more = {})
{
    return "<item><sparkle:version>" + version + "</sparkle:version>" + more + "</item>\n";
}

// The download of a release, with more attributes. Kept out of the test class: moc would take
// the slashes of a raw string for a comment.
QByteArray enclosure(const QByteArray &attributes)
{
    return R"(<enclosure url="https://v.example/a.deb" )" + attributes + "/>";
}

} // namespace

class TestUpdate : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    // Stands in for the browser.
    void openUrl(const QUrl &url) { m_opened << url; }

private Q_SLOTS:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        QVERIFY(m_api.start());
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
    }

    void init()
    {
        settings().clear();
        m_opened.clear();
        m_api.clearRequests();
    }

    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }

    void versionOrderIsATotalOrder()
    {
        // Known cases, each older than the next; "" is "0.0", a lone "1.2" is "1.2.0".
        const QStringList ascending =
            QStringLiteral(" 0.0.1 1.0beta 1.0beta1 1.0beta9 1.0beta10 "
                           "1.0-final 1.0rc1 1.0-2 1.0.0-beta 1.0 1.2 1.2.0.1 "
                           "1.9 1.10 1.18446744073709551616 1.99999999999999999999")
                .split(u' ');
        // Versions of one to three components, and each respelled in ways the rule ignores:
        // "v", leading zeros, case and separators in tails, a trailing ".0", build metadata.
        QStringList versions = ascending;
        const QStringList parts{"0",     "1",      "2",         "10", "1rc1",
                                "1beta", "1beta2", "1-beta.10", "2a", "1-2"};
        for (const QString &a : parts)
            for (const QString &b : parts) {
                const QString v = a + u'.' + b;
                versions << v << v + ".1"
                         << " V0" + QString(v).replace(u'-', u'_').toUpper() + ".0+build.7 ";
                QCOMPARE(Appcast::compareVersions(v, versions.last()), 0);
            }
        // A total preorder is an order by some rank: rank each by how many are older, then every
        // comparison must agree with the ranks, and the known cases ascend.
        QList<int> rank(versions.size(), 0);
        for (qsizetype i = 0; i < versions.size(); ++i)
            for (const QString &other : versions)
                rank[i] += Appcast::compareVersions(other, versions[i]) < 0;
        for (qsizetype i = 0; i < versions.size(); ++i)
            for (qsizetype j = 0; j < versions.size(); ++j)
                QVERIFY2(Appcast::compareVersions(versions[i], versions[j]) ==
                             (rank[i] > rank[j]) - (rank[i] < rank[j]),
                         qPrintable(versions[i] + " <> " + versions[j]));
        for (qsizetype i = 1; i < ascending.size(); ++i)
            QVERIFY2(rank[i - 1] < rank[i], qPrintable(ascending[i]));
    }

    void check_data()
    {
        // text: of the box the user sees; page: what "Download-Seite öffnen" opens
        addColumns<Response, QString, QUrl>({"response", "text", "page"});
        const QByteArray notes =
            "<sparkle:releaseNotesLink>https://v.n/</sparkle:releaseNotesLink>";
        const QByteArray link = "<link>https://v.example/download</link>";
        const QByteArray one = feedOf(item("1.0"));
        const QByteArray pad = "<!--" + QByteArray(Appcast::kMaxFeedBytes - one.size() - 7, ' ');
        // clang-format off
        QTest::newRow("enclosure attributes") << Response::json(feedOf("<item>" + notes + enclosure(R"(sparkle:version="140" sparkle:shortVersionString="1.4")") + "</item>")) << "Voskan 1.4 ist verfügbar." << QUrl("https://v.n/");
        QTest::newRow("elements, link first") << Response::json(feedOf(item("2.0.0", "<sparkle:shortVersionString>2.0</sparkle:shortVersionString>" + notes + link))) << "Voskan 2.0 ist verfügbar." << QUrl("https://v.example/download");
        QTest::newRow("element wins") << Response::json(feedOf(item("301", enclosure(R"(sparkle:version="300")")))) << "Voskan 301 ist verfügbar." << QUrl("https://v.example/a.deb");
        QTest::newRow("no web address") << Response::json(feedOf(item("1.6", "<link>file:///etc/passwd</link><enclosure url=\"javascript:x\"/>"))) << "Voskan 1.6 ist verfügbar." << QUrl();
        QTest::newRow("namespace, not prefix") << Response::json(feedOf("<item><sp:version>4.2</sp:version></item><item><version>9</version></item>", "sp")) << "Voskan 4.2 ist verfügbar." << QUrl();
        QTest::newRow("newest inside") << Response::json(feedOf(item("1.9") + item("1.10") + item("1.2"))) << "Voskan 1.10 ist verfügbar." << QUrl();
        QTest::newRow("same and older") << Response::json(feedOf(item("0.1", link) + item("0.1.0-beta"))) << "Voskan ist auf dem neuesten Stand." << QUrl();
        QTest::newRow("at the cap") << Response::json(one + pad + "-->") << "Voskan 1.0 ist verfügbar." << QUrl();
        QTest::newRow("a byte over") << Response::json(one + pad + " -->") << kFailed + "Die Update-Liste ist größer als 1 MB und wurde nicht gelesen." << QUrl();
        QTest::newRow("empty") << Response::json({}) << kFailed + "Die Update-Liste ist kein gültiges XML (Zeile 1, Spalte 0)." << QUrl();
        QTest::newRow("broken after the items") << Response::json(QByteArray(one).replace("</channel>", "</chanel>")) << kFailed + "Die Update-Liste ist kein gültiges XML (Zeile 5, Spalte 9)." << QUrl();
        QTest::newRow("web page") << Response::json("<html><body>Wartung</body></html>") << kFailed + "Die Update-Liste ist kein RSS-Feed." << QUrl();
        QTest::newRow("no versions") << Response::json(feedOf("<item><title>2.0</title></item>")) << kFailed + "Die Update-Liste enthält keine Version." << QUrl();
        QTest::newRow("not found") << Response{404, {}, "<html/>"} << kFailed + "Der Server antwortete mit HTTP 404." << QUrl();
        QTest::newRow("silent") << Response{200, {}, {}, Response::Body::Silent, 1, 1, 100} << kFailed + "Der Server „127.0.0.1“ hat nicht rechtzeitig geantwortet." << QUrl();
        // clang-format on
    }

    void check()
    {
        FETCH((Response, response), (QString, text), (QUrl, page));
        m_api.setResponse("/feed", response);
        QWidget window;
        UpdaterViewModel updater(m_api.url("/feed"), "0.1.0");
        if (response.mode == Response::Body::Silent)
            updater.setTimeout(std::chrono::milliseconds(500)); // rather than half a minute
        UpdatePrompt::attach(&updater, &window);
        QSignalSpy finished(&updater, &UpdaterViewModel::checkFinished);
        QSignalSpy changed(&updater, &UpdaterViewModel::canCheckForUpdatesChanged);
        updater.checkForUpdates();
        QVERIFY(finished.isEmpty()); // never inside the call
        // One check at a time, however asked; a manual one is no automatic one.
        updater.checkForUpdates();
        QVERIFY(!updater.canCheckForUpdates() && !updater.startAutomaticChecks());
        QVERIFY(finished.wait(20000));
        QVERIFY(updater.canCheckForUpdates() && changed.size() == 2);
        QVERIFY(!settings().contains(QStringLiteral("Updates/lastCheck")));
        QCOMPARE(m_api.requests().size(), 1);
        auto *box = window.findChild<QMessageBox *>();
        QCOMPARE(box ? box->text() : QString(), text);
        auto *open = box->findChild<QAbstractButton *>(UpdatePrompt::kOpenDownloadButtonName);
        QCOMPARE(open && open->isEnabled(), !page.isEmpty());
        if (!page.isEmpty()) {
            open->click();
            QCOMPARE(m_opened, QList<QUrl>{page});
        }
    }

    void automaticOncePerDay_data()
    {
        // lastCheck: null: never
        addColumns<QString, bool>({"lastCheck", "due"});
        const QDateTime now = QDateTime::currentDateTimeUtc();
        // clang-format off
        QTest::newRow("never") << QString() << true;
        QTest::newRow("an hour ago") << now.addSecs(-3600).toString(Qt::ISODate) << false;
        QTest::newRow("a minute short of a day") << now.addSecs(-24 * 3600 + 60).toString(Qt::ISODateWithMs) << false;
        QTest::newRow("a day ago") << now.addDays(-1).toString(Qt::ISODateWithMs) << true;
        QTest::newRow("clock set back") << now.addSecs(3600).toString(Qt::ISODate) << true;
        // clang-format on
    }

    void automaticOncePerDay()
    {
        FETCH((QString, lastCheck), (bool, due));
        if (!lastCheck.isNull())
            settings().setValue(QStringLiteral("Updates/lastCheck"), lastCheck);
        m_api.setResponse("/feed", {200, {}, feedOf(item("0.1"))});
        QWidget window;
        UpdaterViewModel updater(m_api.url(QStringLiteral("/feed")), QStringLiteral("0.1"));
        UpdatePrompt::attach(&updater, &window);
        QSignalSpy finished(&updater, &UpdaterViewModel::checkFinished);
        const QDateTime before = QDateTime::currentDateTimeUtc();
        QCOMPARE(updater.startAutomaticChecks(), due);
        const QString stored = settings().value(QStringLiteral("Updates/lastCheck")).toString();
        QCOMPARE(stored == lastCheck, !due);
        if (!due)
            return;
        // Kept as the moment the check started, in UTC.
        const QDateTime at = QDateTime::fromString(stored, Qt::ISODateWithMs);
        QVERIFY2(at.timeSpec() == Qt::UTC && at >= before && at <= QDateTime::currentDateTimeUtc(),
                 qPrintable(stored));
        QVERIFY(finished.wait(20000));
        QVERIFY(finished.first().first().value<UpdateCheckResult>().automatic);
        QVERIFY(!window.findChild<QMessageBox *>()); // nothing new: an automatic check keeps quiet
        QCOMPARE(m_api.requests().size(), 1);
    }

private:
    static QSettings settings() { return QSettings("Voskan", "Voskan"); }
    QTemporaryDir m_settingsDir;
    TestHttpServer m_api;
    QList<QUrl> m_opened;
};

QTEST_MAIN(TestUpdate)
#include "tst_update.moc"
