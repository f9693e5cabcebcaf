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
const QString kManual = QStringLiteral("by hand"); // as lastCheck: the check is asked for

QByteArray feedOf(const QByteArray &items, const QByteArray &prefix = "sparkle")
{
    return "<?xml version=\"1.0\"?>\n<rss xmlns:" + prefix + "=\"" + Appcast::kSparkleNamespace +
           "\">\n<channel><title>Voskan</title>\n" + items + "</channel></rss>\n";
}

QByteArray item(const QByteArray &version, const QByteArray &more = {})
{
    return "<item><sparkle:version>" + version + "</sparkle:version>" + more + "</item>\n";
}

// A release's download; out of the class, whose raw strings' slashes moc takes for comments.
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

    // Known cases in order, among respellings the rule ignores; all agree with one rank.
    void versionOrderIsATotalOrder()
    {
        const QStringList ascending =
            QStringLiteral(" 0.0.1 1.0beta 1.0beta1 1.0beta9 1.0beta10 1.0-final 1.0rc1 1.0-2 "
                           "1.0.0-beta 1.0 1.2 1.2.0.1 1.9 1.10 1.18446744073709551616 "
                           "1.99999999999999999999")
                .split(u' ');
        for (qsizetype i = 0; i < ascending.size(); ++i) {
            // The same version with a prefix, a leading zero, upper case, an underscore for a
            // hyphen, a trailing zero and a build tag.
            const QString &v = ascending[i];
            QCOMPARE(Appcast::compareVersions(v, " V0" + QString(v).replace(u'-', u'_').toUpper() +
                                                     ".0+build.7 "),
                     0);
            for (qsizetype j = 0; j < ascending.size(); ++j)
                QVERIFY2(Appcast::compareVersions(v, ascending[j]) == (i > j) - (i < j),
                         qPrintable(v + " <> " + ascending[j]));
        }
    }

    void check_data()
    {
        // text: the box's; page: "Download-Seite öffnen"'s; lastCheck: null: never checked
        addColumns<Response, QString, QUrl, QString, bool>(
            {"response", "text", "page", "lastCheck", "due"});
        const QByteArray notes =
            "<sparkle:releaseNotesLink>https://v.n/</sparkle:releaseNotesLink>";
        const QByteArray link = "<link>https://v.example/download</link>";
        const QByteArray one = feedOf(item("1.0"));
        const QByteArray pad = "<!--" + QByteArray(Appcast::kMaxFeedBytes - one.size() - 7, ' ');
        // clang-format off
        QTest::newRow("enclosure attributes") << Response::json(feedOf("<item>" + notes + enclosure(R"(sparkle:version="140" sparkle:shortVersionString="1.4")") + "</item>")) << "Voskan 1.4 ist verfügbar." << QUrl("https://v.n/") << kManual << true;
        QTest::newRow("elements, link first") << Response::json(feedOf(item("2.0.0", "<sparkle:shortVersionString>2.0</sparkle:shortVersionString>" + notes + link))) << "Voskan 2.0 ist verfügbar." << QUrl("https://v.example/download") << kManual << true;
        QTest::newRow("element wins") << Response::json(feedOf(item("301", enclosure(R"(sparkle:version="300")")))) << "Voskan 301 ist verfügbar." << QUrl("https://v.example/a.deb") << kManual << true;
        QTest::newRow("no web address") << Response::json(feedOf(item("1.6", "<link>file:///etc/passwd</link><enclosure url=\"javascript:x\"/>"))) << "Voskan 1.6 ist verfügbar." << QUrl() << kManual << true;
        QTest::newRow("namespace, not prefix") << Response::json(feedOf("<item><sp:version>4.2</sp:version></item><item><version>9</version></item>", "sp")) << "Voskan 4.2 ist verfügbar." << QUrl() << kManual << true;
        QTest::newRow("newest inside") << Response::json(feedOf(item("1.9") + item("1.10") + item("1.2"))) << "Voskan 1.10 ist verfügbar." << QUrl() << kManual << true;
        QTest::newRow("same and older") << Response::json(feedOf(item("0.1", link) + item("0.1.0-beta"))) << "Voskan ist auf dem neuesten Stand." << QUrl() << kManual << true;
        QTest::newRow("at the cap") << Response::json(one + pad + "-->") << "Voskan 1.0 ist verfügbar." << QUrl() << kManual << true;
        QTest::newRow("a byte over") << Response::json(one + pad + " -->") << kFailed + "Die Update-Liste ist größer als 1 MB und wurde nicht gelesen." << QUrl() << kManual << true;
        QTest::newRow("empty") << Response::json({}) << kFailed + "Die Update-Liste ist kein gültiges XML (Zeile 1, Spalte 0)." << QUrl() << kManual << true;
        QTest::newRow("broken after the items") << Response::json(QByteArray(one).replace("</channel>", "</chanel>")) << kFailed + "Die Update-Liste ist kein gültiges XML (Zeile 5, Spalte 9)." << QUrl() << kManual << true;
        QTest::newRow("web page") << Response::json("<html><body>Wartung</body></html>") << kFailed + "Die Update-Liste ist kein RSS-Feed." << QUrl() << kManual << true;
        QTest::newRow("no versions") << Response::json(feedOf("<item><title>2.0</title></item>")) << kFailed + "Die Update-Liste enthält keine Version." << QUrl() << kManual << true;
        QTest::newRow("not found") << Response{404, {}, "<html/>"} << kFailed + "Der Server antwortete mit HTTP 404." << QUrl() << kManual << true;
        QTest::newRow("silent") << Response{200, {}, {}, Response::Body::Silent, 1, 1, 100} << kFailed + "Der Server „127.0.0.1“ hat nicht rechtzeitig geantwortet." << QUrl() << kManual << true;
        // By itself, at most once a day: nothing new, so it keeps quiet.
        const Response same{200, {}, feedOf(item("0.1"))};
        const QDateTime now = QDateTime::currentDateTimeUtc();
        QTest::newRow("by itself, never before") << same << "" << QUrl() << QString() << true;
        QTest::newRow("by itself, an hour ago") << same << "" << QUrl() << now.addSecs(-3600).toString(Qt::ISODate) << false;
        QTest::newRow("by itself, a minute short of a day") << same << "" << QUrl() << now.addSecs(-24 * 3600 + 60).toString(Qt::ISODateWithMs) << false;
        QTest::newRow("by itself, a day ago") << same << "" << QUrl() << now.addDays(-1).toString(Qt::ISODateWithMs) << true;
        QTest::newRow("by itself, clock set back") << same << "" << QUrl() << now.addSecs(3600).toString(Qt::ISODate) << true;
        // clang-format on
    }

    void check()
    {
        FETCH((Response, response), (QString, text, lastCheck), (QUrl, page), (bool, due));
        const bool manual = lastCheck == kManual;
        if (!manual && !lastCheck.isNull())
            settings().setValue(QStringLiteral("Updates/lastCheck"), lastCheck);
        m_api.setResponse("/feed", response);
        QWidget window;
        UpdaterViewModel updater(m_api.url("/feed"), "0.1.0");
        if (response.mode == Response::Body::Silent)
            updater.setTimeout(std::chrono::milliseconds(500)); // rather than half a minute
        UpdatePrompt::attach(&updater, &window);
        QSignalSpy finished(&updater, &UpdaterViewModel::checkFinished);
        QSignalSpy changed(&updater, &UpdaterViewModel::canCheckForUpdatesChanged);
        const QDateTime before = QDateTime::currentDateTimeUtc();
        if (manual) {
            updater.checkForUpdates();
            QVERIFY(finished.isEmpty()); // never inside the call
            // One check at a time, however asked.
            updater.checkForUpdates();
            QVERIFY(!updater.canCheckForUpdates() && !updater.startAutomaticChecks());
        } else {
            QCOMPARE(updater.startAutomaticChecks(), due);
        }
        // An automatic check keeps the moment it started, in UTC; a manual one nothing.
        const QString stored = settings().value(QStringLiteral("Updates/lastCheck")).toString();
        const QDateTime at = QDateTime::fromString(stored, Qt::ISODateWithMs);
        if (manual || !due)
            QCOMPARE(stored, manual ? QString() : lastCheck);
        else
            QVERIFY2(at.timeSpec() == Qt::UTC && at >= before &&
                         at <= QDateTime::currentDateTimeUtc(),
                     qPrintable(stored));
        QCOMPARE(finished.wait(due ? 20000 : 300), due);
        QCOMPARE(m_api.requests().size(), int(due));
        if (!due)
            return;
        QCOMPARE(finished.first().first().value<UpdateCheckResult>().automatic, !manual);
        QVERIFY(updater.canCheckForUpdates() && changed.size() == 2);
        auto *box = window.findChild<QMessageBox *>();
        QCOMPARE(box ? box->text() : QString(), text);
        if (!box)
            return;
        auto *open = box->findChild<QAbstractButton *>(UpdatePrompt::kOpenDownloadButtonName);
        QCOMPARE(open && open->isEnabled(), !page.isEmpty());
        if (!page.isEmpty()) {
            open->click();
            QCOMPARE(m_opened, QList<QUrl>{page});
        }
    }

private:
    static QSettings settings() { return QSettings("Voskan", "Voskan"); }
    QTemporaryDir m_settingsDir;
    TestHttpServer m_api;
    QList<QUrl> m_opened;
};

QTEST_MAIN(TestUpdate)
#include "tst_update.moc"
