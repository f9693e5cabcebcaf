#include "sources/download.h"
#include "sources/network.h"
#include "sources/thumbnailloader.h"
#include "sources/unsplashcolor.h"
#include "sources/unsplashservice.h"
#include "support/rows.h"
#include "support/scratch.h"
#include "support/testdata.h"
#include "support/testhttpserver.h"
#include "ui/updateprompt.h"
#include "update/appcast.h"
#include "update/updaterviewmodel.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

using Response = TestHttpServer::Response;

namespace {

const QString kUnreadable = QStringLiteral("Die Antwort von Unsplash ist nicht lesbar: ");
const QString kUnexpected = QStringLiteral("Unerwartete Antwort von Unsplash.");
const QString kTooSlow =
    QStringLiteral("Die Übertragung von „127.0.0.1“ dauerte zu lange und wurde abgebrochen.");
const QString kNoKey =
    QStringLiteral("Kein Unsplash Access-Key hinterlegt. Öffne die Einstellungen (Strg+,).");

// Every value differs, so a field read from the wrong key shows.
QByteArray hit(const QByteArray &id)
{
    return R"({"id":")" + id + R"(","slug":"s-)" + id +
           R"(","width":6000,"height":4000,"color":"#a0b0c0","description":"Abend",)"
           R"("alt_description":"Himmel","urls":{"raw":"r","full":"f","regular":"g","small":"s",)"
           R"("thumb":"t"},"user":{"name":"Jördis Ås","username":"jordis","links":{"html":"h"}},)"
           R"("links":{"download_location":"d"}})";
}

QByteArray replyOf(const QByteArrayList &hits)
{
    return R"({"total":)" + QByteArray::number(hits.size()) + R"(,"total_pages":1,"results":[)" +
           hits.join(',') + "]}";
}

// A reply of hits a and b with `from` made `to` where it last occurs, which is in hit b.
QByteArray edited(const QByteArray &from, const QByteArray &to)
{
    QByteArray body = replyOf({hit("a"), hit("b")});
    const qsizetype at = body.lastIndexOf(from);
    return at < 0 ? QByteArray("no such text") : body.replace(at, from.size(), to);
}

// A failure's German text, else the hits' ids or the picture's size.
template <typename Result> QString outcome(const Result &result)
{
    QStringList ids;
    if (const auto *failure = std::get_if<UnsplashFailure>(&result)) {
        return description(*failure);
    } else if constexpr (std::is_same_v<Result, UnsplashService::ImageResult>) {
        const Bitmap &image = std::get<0>(result);
        return QStringLiteral("%1x%2").arg(image.width()).arg(image.height());
    } else {
        for (const UnsplashPhoto &photo : std::get<0>(result))
            ids << photo.id;
    }
    return ids.join(u',');
}

// Starts a request and waits for its answer, which must not come inside the call.
template <typename Result>
QString await(const std::function<void(std::function<void(Result)>)> &start)
{
    auto answer = std::make_shared<std::optional<Result>>();
    start([answer](Result result) { *answer = std::move(result); });
    if (answer->has_value())
        return QStringLiteral("answered inside the call");
    if (!QTest::qWaitFor([&] { return answer->has_value(); }, 20000))
        return QStringLiteral("no answer");
    return outcome(**answer);
}

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

// The Unsplash service, the update check, the thumbnails and the download they share, each
// against servers on the loopback interface.
class TestNetwork : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    // Stands in for the browser.
    void openUrl(const QUrl &url) { m_opened << url; }

private Q_SLOTS:
    void initTestCase()
    {
        TestData::useScratchHome(m_settingsDir.path()); // the thumbnails' disk cache goes there
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        QVERIFY(m_api.start());
        QVERIFY(m_elsewhere.start());
        qputenv(UnsplashService::kApiUrlVariable, m_api.url().toEncoded());
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
    }

    void init()
    {
        settings().clear();
        m_opened.clear();
        m_api.clearRequests();
        m_elsewhere.clearRequests();
        m_api.setResponse("/search/photos", Response::json(replyOf({hit("a")})));
        // A connection the row before cut off (a reply over its cap) is not handed to this one.
        sharedNetworkAccessManager()->clearConnectionCache();
    }

    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }

    void decodesEveryField()
    {
        const QByteArray body =
            replyOf({hit("a")})
                .replace(R"("total":1,"total_pages":1)", R"("total":7,"total_pages":3)");
        const UnsplashReply::DecodeResult decoded = UnsplashReply::decodeSearchResponse(body);
        const auto &[total, pages, hits] = std::get<0>(decoded);
        const UnsplashPhoto p = hits.value(0);
        const auto o = [](const std::optional<QString> &text) { return text.value_or("-"); };
        QStringList fields{p.id, o(p.slug), o(p.color), o(p.description), o(p.altDescription)};
        fields << p.urls.raw << p.urls.full << p.urls.regular << p.urls.small << p.urls.thumb;
        fields << p.user.name << o(p.user.username) << o(p.user.links.value().html)
               << o(p.links.value().downloadLocation);
        fields << QStringLiteral("%1 %2 %3 %4").arg(total).arg(pages).arg(p.width).arg(p.height);
        QCOMPARE(fields.join(u' '),
                 QStringLiteral(
                     "a s-a #a0b0c0 Abend Himmel r f g s t Jördis Ås jordis h d 7 3 6000 4000"));
    }

    void color_data()
    {
        // text: null: the reply had none; expected: invalid: no colour
        addColumns<QString, QColor>({"text", "expected"});
        // clang-format off
        QTest::newRow("absent") << QString() << QColor();
        QTest::newRow("no hash, mixed case") << QStringLiteral("a6D9f2") << QColor(166, 217, 242);
        QTest::newRow("hashes at both ends") << QStringLiteral("##102030##") << QColor(16, 32, 48);
        QTest::newRow("short form") << QStringLiteral("#fff") << QColor();
        QTest::newRow("not hex") << QStringLiteral("#10203g") << QColor();
        QTest::newRow("full-width digits") << QStringLiteral("１２３４５６") << QColor();
        // clang-format on
    }

    void color()
    {
        QFETCH(QString, text);
        QFETCH(QColor, expected);
        QCOMPARE(
            colorFromHex(text.isNull() ? std::nullopt : std::optional(text)).value_or(QColor()),
            expected);
    }

    void request_data()
    {
        // page: 0: the defaults, page 1 of 30; authorization: empty: nothing may go out
        addColumns<QString, QString, int, int, QByteArray>(
            {"key", "query", "page", "perPage", "authorization"});
        // clang-format off
        QTest::newRow("defaults") << "AbC-123_xyz" << "berge" << 0 << 0 << QByteArray("Client-ID AbC-123_xyz");
        QTest::newRow("delimiters, beyond latin") << "k" << "Salz & Pfeffer = a+b?c#d/e;f 100%25 Köln 富士山" << 2 << 10 << QByteArray("Client-ID k");
        QTest::newRow("spaces kept") << "  key\t" << "  Berg und Tal " << 1 << 30 << QByteArray("Client-ID   key\t");
        QTest::newRow("forged header") << "key\r\nX-Forged: 1" << "x" << 1 << 30 << QByteArray("Client-ID key%0D%0AX-Forged: 1");
        QTest::newRow("blanks of all kinds") << " \t\u00a0\u3000" << "x" << 1 << 30 << QByteArray();
        // clang-format on
    }

    void request()
    {
        FETCH(QString, key, query);
        FETCH(int, page, perPage);
        QFETCH(QByteArray, authorization);
        QCOMPARE(await<UnsplashService::SearchResult>([&](auto done) {
                     page ? UnsplashService(key).search(query, page, perPage, done)
                          : UnsplashService(key).search(query, done);
                 }),
                 authorization.isEmpty() ? kNoKey : QStringLiteral("a"));
        QCOMPARE(m_api.requests().size(), authorization.isEmpty() ? 0 : 1);
        if (authorization.isEmpty())
            return;
        const TestHttpServer::Request sent = m_api.requests().first();
        QCOMPARE(sent.header("Authorization"), authorization);
        QStringList items;
        for (const auto &[name, value] :
             QUrlQuery(QString::fromLatin1(sent.rawQuery)).queryItems(QUrl::FullyDecoded))
            items << name + u'=' + value;
        QCOMPARE(items,
                 QStringList({"query=" + query, QStringLiteral("page=%1").arg(page ? page : 1),
                              QStringLiteral("per_page=%1").arg(page ? perPage : 30),
                              "content_filter=high"}));
    }

    void reply_data()
    {
        // url: a picture's, here or anywhere; empty: a search; outcome: the hits' ids, the
        // picture's size or the text
        addColumns<QString, Response, QString>({"url", "response", "outcome"});
        const QByteArray hits = replyOf({hit("c"), hit("a"), hit("b")});
        const QByteArray full =
            replyOf({hit("a")}).leftJustified(UnsplashService::kMaxSearchReplyBytes, ' ');
        const Response image{200,
                             {{"Content-Type", "image/jpeg"}},
                             contents(TestData::photo(QStringLiteral("photo-path-2560x1600.jpg")))};
        // clang-format off
        QTest::newRow("total missing") << "" << Response::json(edited(R"("total":2,)", "")) << kUnreadable + "„total“ fehlt.";
        QTest::newRow("results no list") << "" << Response::json(R"({"total":0,"total_pages":0,"results":{}})") << kUnreadable + "„results“ sollte eine Liste sein.";
        QTest::newRow("hit no object") << "" << Response::json(R"({"total":1,"total_pages":1,"results":[1]})") << kUnreadable + "„results[0]“ sollte ein Objekt sein.";
        QTest::newRow("width as text") << "" << Response::json(edited("6000", R"("6000")")) << kUnreadable + "„results[1].width“ sollte eine ganze Zahl sein.";
        QTest::newRow("height a fraction") << "" << Response::json(edited("4000", "4000.5")) << kUnreadable + "„results[1].height“ sollte eine ganze Zahl sein.";
        QTest::newRow("height largest 64-bit") << "" << Response::json(edited("4000", "9223372036854775807")) << "a,b";
        QTest::newRow("urls text") << "" << Response::json(edited(R"({"raw":"r","full":"f","regular":"g","small":"s","thumb":"t"})", R"("g")")) << kUnreadable + "„results[1].urls“ sollte ein Objekt sein.";
        QTest::newRow("descriptions null") << "" << Response::json(edited(R"("Abend","alt_description":"Himmel")", R"(null,"alt_description":null)")) << "a,b";
        QTest::newRow("user links missing") << "" << Response::json(edited(R"(,"links":{"html":"h"})", "")) << "a,b";
        QTest::newRow("unknown keys") << "" << Response::json(edited(R"("name":)", R"("id":99,"tags":[{}],"name":)")) << "a,b";
        QTest::newRow("color a number") << "" << Response::json(edited("\"#a0b0c0\"", "160")) << kUnreadable + "„results[1].color“ sollte ein Text sein.";
        QTest::newRow("no colon") << "" << Response::json(R"({"total" 1})") << kUnreadable + "kein gültiges JSON (nach einem Schlüssel fehlt der Doppelpunkt, bei Byte 10).";
        QTest::newRow("slowly") << "" << Response{200, {}, hits, Response::Body::Trickle, 8, 30} << "c,a,b";
        QTest::newRow("201 with hits") << "" << Response::json(hits, 201) << "Unsplash-Fehler (HTTP 201).";
        QTest::newRow("401") << "" << Response::json("{}", 401) << "Unsplash lehnt den Access-Key ab (401). Bitte in den Einstellungen prüfen.";
        QTest::newRow("403") << "" << Response::json("Rate Limit Exceeded", 403) << "Unsplash-Ratenlimit erreicht (403). Bitte etwas warten.";
        QTest::newRow("just at the cap") << "" << Response::json(full) << "a";
        QTest::newRow("a byte over the cap") << "" << Response::json(full + ' ') << "Die Antwort von Unsplash ist größer als 10 MB und wurde abgebrochen.";
        QTest::newRow("trickling past the deadline") << "" << Response{200, {}, hits, Response::Body::Trickle, 100, 50} << kTooSlow;
        QTest::newRow("cut off") << "" << Response{200, {}, hits, Response::Body::Whole, 1, 1, hits.size() + 1000} << "Der Server „127.0.0.1“ hat die Verbindung vorzeitig getrennt.";
        QTest::newRow("redirect loop") << "" << Response::redirect(m_api.url(QStringLiteral("/search/photos"))) << "Der Server „127.0.0.1“ leitet zu oft weiter.";
        QTest::newRow("moved on the same origin") << "" << Response::redirect(m_api.url(QStringLiteral("/moved"))) << "moved";
        QTest::newRow("moved to another port") << "" << Response::redirect(m_elsewhere.url(QStringLiteral("/moved"))) << kUnexpected;
        QTest::newRow("picture: photo, status ignored") << "/img" << Response{500, {}, image.body} << "2560x1600";
        QTest::newRow("picture: on another host") << "/cdn" << image << "2560x1600";
        QTest::newRow("picture: error page") << "/img" << Response{404, {}, "<html><body>Not Found</body></html>"} << "Das Bild konnte nicht geladen werden.";
        QTest::newRow("picture: 200 MB declared") << "/img" << Response{200, {}, {}, Response::Body::Silent, 1, 1, 200LL << 20} << "Das Bild ist größer als 100 MB und wurde nicht geladen.";
        QTest::newRow("picture: trickling past the deadline") << "/img" << Response{200, {}, image.body, Response::Body::Trickle, 100, 50} << kTooSlow;
        QTest::newRow("picture: moved off the web") << "/img" << Response::redirect(QUrl("gopher://127.0.0.1/img")) << "Der Server „127.0.0.1“ verweist auf eine Adresse, die weder http noch https ist.";
        QTest::newRow("picture: refused") << QStringLiteral("http://127.0.0.1:%1/img").arg(closedPort()) << Response() << "Der Server „127.0.0.1“ ist nicht erreichbar.";
        QTest::newRow("picture: local file") << "file:///etc/hostname" << Response() << kUnexpected;
        // clang-format on
    }

    void reply()
    {
        FETCH(QString, url, outcome);
        QFETCH(Response, response);
        m_api.setResponse(url.isEmpty() ? "/search/photos" : "/img", response);
        m_elsewhere.setResponse("/img", response);
        m_api.setResponse("/cdn", Response::redirect(m_elsewhere.url(QStringLiteral("/img"))));
        m_api.setResponse("/moved", Response::json(replyOf({hit("moved")})));
        m_elsewhere.setResponse("/moved", Response::json(replyOf({hit("moved")})));
        UnsplashService service(QStringLiteral("secret"));
        if (!url.isEmpty() || response.mode == Response::Body::Trickle)
            service.setDeadline(std::chrono::seconds(1)); // rather than a minute
        const QString address = url.startsWith(u'/') ? m_api.url(url).toString() : url;
        QCOMPARE(url.isEmpty() ? await<UnsplashService::SearchResult>(
                                     [&](auto done) { service.search("x", done); })
                               : await<UnsplashService::ImageResult>(
                                     [&](auto done) { service.loadImage(address, done); }),
                 outcome);
        // The key goes to the API only, never with a picture; a search that is sent away is not
        // even followed.
        for (const TestHttpServer::Request &sent : m_api.requests())
            QCOMPARE(sent.hasHeader("Authorization") ? sent.header("Authorization") : "none",
                     url.isEmpty() ? "Client-ID secret" : "none");
        for (const TestHttpServer::Request &sent : m_elsewhere.requests())
            QVERIFY(!url.isEmpty() && !sent.hasHeader("Authorization"));
    }

    void trackDownload_data()
    {
        addColumns<QString, bool>({"url", "sent"});
        // clang-format off
        QTest::newRow("on the API host") << m_api.url(QStringLiteral("/photos/a/download?ixid=M3w1")).toString() << true;
        QTest::newRow("moved away") << m_api.url(QStringLiteral("/away")).toString() << true;
        QTest::newRow("another host") << m_elsewhere.url(QStringLiteral("/photos/a/download")).toString() << false;
        // clang-format on
    }

    void trackDownload()
    {
        QFETCH(QString, url);
        QFETCH(bool, sent);
        m_api.setResponse("/away", Response::redirect(m_elsewhere.url("/photos/a/download")));
        QNetworkAccessManager *manager = sharedNetworkAccessManager();
        QTRY_VERIFY(manager->findChildren<QNetworkReply *>().isEmpty());
        bool settled = false; // what a program waiting for its reports before it quits hears
        // Every reply the manager makes finishes before the report settles.
        QList<QUrl> replies;
        const auto watch =
            connect(manager, &QNetworkAccessManager::finished, this,
                    [&](QNetworkReply *reply) { replies << reply->request().url(); });
        UnsplashService(QStringLiteral("secret")).trackDownload(url, [&] { settled = true; });
        QTRY_VERIFY_WITH_TIMEOUT(settled, 20000);
        disconnect(watch);
        QCOMPARE(replies, sent ? QList<QUrl>{QUrl(url)} : QList<QUrl>{});
        QVERIFY(m_elsewhere.requests().isEmpty());
        if (sent)
            QCOMPARE(m_api.requests().value(0).header("Authorization"), "Client-ID secret");
    }

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
        QFETCH(Response, response);
        QFETCH(QString, text);
        QFETCH(QUrl, page);
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
        QFETCH(QString, lastCheck);
        QFETCH(bool, due);
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

    // The size cap counts the bytes that arrive, on an error page too. Neither the Unsplash
    // client's rows (reply) nor the update check's (check) reach these: without its guard a row
    // waits for the 20 s deadline, longer than the test waits.
    void download_data()
    {
        QTest::addColumn<Response>("response");
        QTest::newRow("cap by bytes received") << Response{200, {}, {}, Response::Body::Endless};
        QTest::newRow("cap on an error page") << Response{500, {}, QByteArray(101, 'h')};
    }

    void download()
    {
        QFETCH(Response, response);
        m_api.setResponse("/file", response);
        const QPointer<Download> download =
            Download::start(sharedNetworkAccessManager(), QNetworkRequest(m_api.url("/file")), 100,
                            std::chrono::seconds(20));
        QSignalSpy finished(download.data(), &Download::finished);
        QVERIFY(finished.isEmpty()); // never inside the call
        QVERIFY(finished.wait(10000));
        const auto result = finished.first().first().value<Download::Result>();
        const auto *tooLarge = std::get_if<DownloadTooLarge>(&result);
        QVERIFY(tooLarge && tooLarge->limit == 100);
        // Gone with its reply, without a second answer.
        QTRY_VERIFY(download.isNull());
        QCOMPARE(finished.size(), 1);
    }

    void thumbnail_data()
    {
        // url: a path on the API server; outcome: the picture's size or "none"
        addColumns<QString, Response, QString>({"url", "response", "outcome"});
        const QByteArray jpeg =
            contents(TestData::photo(QStringLiteral("photo-path-2560x1600.jpg")));
        // Each row its own path: the disk cache must not answer for another row. An address off
        // the web and the request's id are tst_widgets' (unsplashTile).
        // clang-format off
        QTest::newRow("photo, made small") << "/photo" << Response{200, {{"Cache-Control", "max-age=3600"}}, jpeg} << "240x150";
        QTest::newRow("error page with a picture") << "/error" << Response{404, {}, jpeg} << "none";
        QTest::newRow("no picture") << "/text" << Response::json("hallo") << "none";
        // clang-format on
    }

    void thumbnail()
    {
        FETCH(QString, url, outcome);
        QFETCH(Response, response);
        m_api.setResponse(url.toUtf8(), response);
        const QUrl address = m_api.url(url);
        ThumbnailLoader loader;
        QSignalSpy loaded(&loader, &ThumbnailLoader::loaded);
        const std::optional<ThumbnailLoader::RequestId> id = loader.load(address);
        QVERIFY(id && loaded.wait(10000));
        const auto image = loaded.first().last().value<QImage>();
        QCOMPARE(image.isNull() ? QStringLiteral("none")
                                : QStringLiteral("%1x%2").arg(image.width()).arg(image.height()),
                 outcome);
        // A cancelled request is not answered, though it would have been the same, and its
        // transfer stops.
        const std::optional<ThumbnailLoader::RequestId> again = loader.load(address);
        QVERIFY(again && *again != *id);
        loader.cancel(*again);
        QTest::qWait(300);
        QCOMPARE(loaded.size(), 1);
        QVERIFY(sharedNetworkAccessManager()->findChildren<QNetworkReply *>().isEmpty());
        if (image.isNull())
            return;
        // A new strip, or the next session, has the picture from the disk cache, which lies in
        // the user's cache folder, where a cleaner finds it.
        ThumbnailLoader next;
        QSignalSpy loadedNext(&next, &ThumbnailLoader::loaded);
        QVERIFY(next.load(address));
        QVERIFY(loadedNext.wait(10000));
        QCOMPARE(loadedNext.first().last().value<QImage>(), image);
        QCOMPARE(m_api.requests().size(), 1);
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
        QVERIFY(!QDir(folder + QStringLiteral("/thumbnails-remote"))
                     .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                     .isEmpty());
    }

private:
    static QSettings settings() { return QSettings("Voskan", "Voskan"); }
    QTemporaryDir m_settingsDir;
    TestHttpServer m_api; // also serves the update feed
    TestHttpServer m_elsewhere;
    QList<QUrl> m_opened;
};

QTEST_MAIN(TestNetwork)
#include "tst_network.moc"
