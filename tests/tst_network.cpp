// The Unsplash service, thumbnails and downloads, against servers on the loopback interface.

#include "sources/network.h"
#include "sources/thumbnailloader.h"
#include "sources/unsplashservice.h"
#include "support/rows.h"
#include "support/scratch.h"
#include "support/testdata.h"
#include "support/testhttpserver.h"

#include <QtNetwork>

using Response = TestHttpServer::Response;

namespace {

const QString kUnreadable = QStringLiteral("Die Antwort von Unsplash ist nicht lesbar: ");
const QString kUnexpected = QStringLiteral("Unerwartete Antwort von Unsplash.");
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

// The answer, never inside the call: a failure's German text, the hits' ids or the size.
template <typename Result>
QString await(const std::function<void(std::function<void(Result)>)> &start)
{
    auto answer = std::make_shared<std::optional<Result>>();
    start([answer](Result result) { *answer = std::move(result); });
    if (answer->has_value())
        return QStringLiteral("answered inside the call");
    if (!QTest::qWaitFor([&] { return answer->has_value(); }, 20000))
        return QStringLiteral("no answer");
    QStringList ids;
    if (const auto *failure = std::get_if<UnsplashFailure>(&**answer)) {
        return description(*failure);
    } else if constexpr (std::is_same_v<Result, UnsplashService::ImageResult>) {
        const Bitmap &image = std::get<0>(**answer);
        return QStringLiteral("%1x%2").arg(image.width()).arg(image.height());
    } else {
        for (const UnsplashPhoto &photo : std::get<0>(**answer))
            ids << photo.id;
    }
    return ids.join(u',');
}

} // namespace

class TestNetwork : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        TestData::useScratchHome(m_home.path()); // the thumbnails' disk cache goes there
        QVERIFY(m_api.start());
        QVERIFY(m_elsewhere.start());
        qputenv(UnsplashService::kApiUrlVariable, m_api.url().toEncoded());
    }

    void init()
    {
        m_api.clearRequests();
        m_elsewhere.clearRequests();
        m_api.setResponse("/search/photos", Response::json(replyOf({hit("a")})));
        // A connection the row before cut off (a reply over its cap) is not handed to this one.
        sharedNetworkAccessManager()->clearConnectionCache();
    }

    void decodesEveryField()
    {
        const auto [total, pages, hits] = std::get<0>(UnsplashReply::decodeSearchResponse(
            edited(R"("total":2,"total_pages":1)", R"("total":7,"total_pages":3)")));
        const UnsplashPhoto p = hits.value(0);
        const auto o = [](const std::optional<QString> &text) { return text.value_or("-"); };
        QStringList fields{p.id, o(p.slug), o(p.color), o(p.description), o(p.altDescription)};
        fields << p.urls.raw << p.urls.full << p.urls.regular << p.urls.small << p.urls.thumb
               << p.user.name << o(p.user.username) << o(p.user.links.value().html)
               << o(p.links.value().downloadLocation)
               << QStringLiteral("%1 %2 %3 %4").arg(total).arg(pages).arg(p.width).arg(p.height);
        QCOMPARE(fields.join(u' '),
                 QStringLiteral(
                     "a s-a #a0b0c0 Abend Himmel r f g s t Jördis Ås jordis h d 7 3 6000 4000"));
    }

    void request_data()
    {
        // page: 0: the defaults, page 1 of 30; authorization: empty: nothing may go out
        addColumns<QString, QString, int, int, QByteArray>(
            {"key", "query", "page", "perPage", "authorization"});
        // clang-format off
        QTest::newRow("defaults") << "AbC-123_xyz" << "berge" << 0 << 0 << QByteArray("Client-ID AbC-123_xyz");
        QTest::newRow("delimiters, beyond latin") << "k" << "Salz & Pfeffer = a+b?c#d/e;f 100%25 Köln 富士山" << 2 << 10 << QByteArray("Client-ID k");
        QTest::newRow("forged header") << "key\r\nX-Forged: 1" << "x" << 1 << 30 << QByteArray("Client-ID key%0D%0AX-Forged: 1");
        QTest::newRow("blanks of all kinds") << " \t\u00a0\u3000" << "x" << 1 << 30 << QByteArray();
        // clang-format on
    }

    void request()
    {
        FETCH((QString, key, query), (int, page, perPage), (QByteArray, authorization));
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
        // url: empty: a search, else a picture's; outcome: as await() tells it
        addColumns<QString, Response, QString>({"url", "response", "outcome"});
        const QByteArray hits = replyOf({hit("c"), hit("a"), hit("b")});
        const QByteArray full =
            replyOf({hit("a")}).leftJustified(UnsplashService::kMaxSearchReplyBytes, ' ');
        const QByteArray jpeg = contents(TestData::photo("photo-path-2560x1600.jpg"));
        // clang-format off
        QTest::newRow("total missing") << "" << Response::json(edited(R"("total":2,)", "")) << kUnreadable + "„total“ fehlt.";
        QTest::newRow("results no list") << "" << Response::json(R"({"total":0,"total_pages":0,"results":{}})") << kUnreadable + "„results“ sollte eine Liste sein.";
        QTest::newRow("hit no object") << "" << Response::json(R"({"total":1,"total_pages":1,"results":[1]})") << kUnreadable + "„results[0]“ sollte ein Objekt sein.";
        QTest::newRow("width as text") << "" << Response::json(edited("6000", R"("6000")")) << kUnreadable + "„results[1].width“ sollte eine ganze Zahl sein.";
        QTest::newRow("height a fraction") << "" << Response::json(edited("4000", "4000.5")) << kUnreadable + "„results[1].height“ sollte eine ganze Zahl sein.";
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
        QTest::newRow("trickling past the deadline") << "" << Response{200, {}, hits, Response::Body::Trickle, 100, 50} << "Die Übertragung von „127.0.0.1“ dauerte zu lange und wurde abgebrochen.";
        QTest::newRow("cut off") << "" << Response{200, {}, hits, Response::Body::Whole, 1, 1, hits.size() + 1000} << "Der Server „127.0.0.1“ hat die Verbindung vorzeitig getrennt.";
        QTest::newRow("redirect loop") << "" << Response::redirect(m_api.url(QStringLiteral("/search/photos"))) << "Der Server „127.0.0.1“ leitet zu oft weiter.";
        QTest::newRow("moved on the same origin") << "" << Response::redirect(m_api.url(QStringLiteral("/moved"))) << "moved";
        QTest::newRow("moved to another port") << "" << Response::redirect(m_elsewhere.url(QStringLiteral("/moved"))) << kUnexpected;
        QTest::newRow("picture: photo, status ignored") << "/img" << Response{500, {}, jpeg} << "2560x1600";
        QTest::newRow("picture: on another host") << "/cdn" << Response{200, {{"Content-Type", "image/jpeg"}}, jpeg} << "2560x1600";
        QTest::newRow("picture: error page") << "/img" << Response{404, {}, "<html><body>Not Found</body></html>"} << "Das Bild konnte nicht geladen werden.";
        QTest::newRow("picture: 200 MB declared") << "/img" << Response{200, {}, {}, Response::Body::Silent, 1, 1, 200LL << 20} << "Das Bild ist größer als 100 MB und wurde nicht geladen.";
        QTest::newRow("picture: moved off the web") << "/img" << Response::redirect(QUrl("gopher://127.0.0.1/img")) << "Der Server „127.0.0.1“ verweist auf eine Adresse, die weder http noch https ist.";
        QTest::newRow("picture: refused") << QStringLiteral("http://127.0.0.1:%1/img").arg(closedPort()) << Response() << "Der Server „127.0.0.1“ ist nicht erreichbar.";
        QTest::newRow("picture: local file") << "file:///etc/hostname" << Response() << kUnexpected;
        // clang-format on
    }

    void reply()
    {
        FETCH((QString, url, outcome), (Response, response));
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
        // The key goes to the API only; a search sent away is not even followed.
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
        FETCH((QString, url), (bool, sent));
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

    void thumbnail_data()
    {
        // url: a path on the API server; outcome: the picture's size or "none"
        addColumns<QString, Response, QString>({"url", "response", "outcome"});
        const QByteArray jpeg =
            contents(TestData::photo(QStringLiteral("photo-path-2560x1600.jpg")));
        // Each row its own path, or the disk cache answers; the rest is tst_widgets' unsplashTile.
        // clang-format off
        QTest::newRow("photo, made small") << "/photo" << Response{200, {{"Cache-Control", "max-age=3600"}}, jpeg} << "240x150";
        QTest::newRow("error page with a picture") << "/error" << Response{404, {}, jpeg} << "none";
        QTest::newRow("no picture") << "/text" << Response::json("hallo") << "none";
        // The cap counts bytes received, on error pages too, or these wait for the deadline.
        QTest::newRow("endless") << "/endless" << Response{200, {}, {}, Response::Body::Endless} << "none";
        QTest::newRow("endless error page") << "/endless-error" << Response{500, {}, {}, Response::Body::Endless} << "none";
        // clang-format on
    }

    void thumbnail()
    {
        FETCH((QString, url, outcome), (Response, response));
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
        // A cancelled request is not answered, though it would have been the same; it stops.
        const std::optional<ThumbnailLoader::RequestId> again = loader.load(address);
        QVERIFY(again && *again != *id);
        loader.cancel(*again);
        QTest::qWait(300);
        QCOMPARE(loaded.size(), 1);
        QVERIFY(sharedNetworkAccessManager()->findChildren<QNetworkReply *>().isEmpty());
        if (image.isNull())
            return;
        // The next session has it from the disk cache, in the user's cache folder.
        ThumbnailLoader next;
        QSignalSpy loadedNext(&next, &ThumbnailLoader::loaded);
        QVERIFY(next.load(address));
        QVERIFY(loadedNext.wait(10000));
        QCOMPARE(loadedNext.first().last().value<QImage>(), image);
        QCOMPARE(m_api.requests().size(), 1);
        QVERIFY(!QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                      QStringLiteral("/thumbnails-remote"))
                     .isEmpty(QDir::Dirs | QDir::NoDotAndDotDot));
    }

private:
    QTemporaryDir m_home;
    TestHttpServer m_api;
    TestHttpServer m_elsewhere;
};

QTEST_MAIN(TestNetwork)
#include "tst_network.moc"
