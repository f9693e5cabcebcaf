#include "sources/unsplashservice.h"
#include "support/testhttpserver.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

Q_DECLARE_METATYPE(UnsplashError)
Q_DECLARE_METATYPE(UnsplashError::Kind)
Q_DECLARE_METATYPE(UnsplashReply::DecodeFailure::Kind)
Q_DECLARE_METATYPE(TestHttpServer::Response)

using Response = TestHttpServer::Response;
using QueryItems = QList<QPair<QString, QString>>;

namespace {

constexpr int kWaitMs = 15000;

QByteArray hitJson(const QByteArray &id, const QByteArray &extra = {})
{
    return R"({"id":")" + id + R"(","slug":"s-)" + id + R"(","width":640,"height":480,)" +
           R"("urls":{"raw":"r","full":"f","regular":"g","small":"s","thumb":"t"},)" +
           R"("user":{"name":"Ada","username":"ada","links":{"html":"h"}},)" +
           R"("links":{"download_location":"d"})" + extra + "}";
}

QByteArray replyJson(const QList<QByteArray> &hits)
{
    return R"({"total":)" + QByteArray::number(hits.size()) + R"(,"total_pages":1,"results":[)" +
           hits.join(',') + "]}";
}

QByteArray pngBytes(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Runs an operation and waits for its single answer; nullopt if none came in time. The
// answer slot is shared so that a late answer after a failed wait writes nowhere harmful.
template <typename Result, typename Start> std::optional<Result> await(Start start)
{
    auto slot = std::make_shared<std::optional<Result>>();
    auto calls = std::make_shared<int>(0);
    start([slot, calls](Result result) {
        ++*calls;
        *slot = std::move(result);
    });
    if (!QTest::qWaitFor([&] { return slot->has_value(); }, kWaitMs))
        return std::nullopt;
    QTest::qWait(0);
    if (*calls != 1)
        qWarning("answered %d times", *calls);
    return *calls == 1 ? *slot : std::nullopt;
}

std::optional<UnsplashService::SearchResult>
searchWith(const UnsplashService &service, const QString &query, int page = 1, int perPage = 30)
{
    return await<UnsplashService::SearchResult>(
        [&](auto done) { service.search(query, page, perPage, done); });
}

std::optional<UnsplashService::ImageResult> loadWith(const UnsplashService &service,
                                                     const QString &url)
{
    return await<UnsplashService::ImageResult>([&](auto done) { service.loadImage(url, done); });
}

template <typename Result>
std::optional<UnsplashFailure> failureIn(const std::optional<Result> &result)
{
    if (!result)
        return std::nullopt;
    if (const auto *failure = std::get_if<UnsplashFailure>(&*result))
        return *failure;
    return std::nullopt;
}

template <typename Result> QString describe(const std::optional<Result> &result)
{
    if (!result)
        return QStringLiteral("no answer");
    if (const auto failure = failureIn(result))
        return QStringLiteral("failure: ") + description(*failure);
    return QStringLiteral("success");
}


// What a plain Qt request to `url` reports, to compare transport failures with.
QString qtErrorFor(const QUrl &url)
{
    QNetworkAccessManager manager;
    QNetworkReply *reply = manager.get(QNetworkRequest(url));
    if (!QTest::qWaitFor([reply] { return reply->isFinished(); }, kWaitMs))
        return QStringLiteral("no answer from Qt either");
    const QString text = reply->errorString();
    delete reply;
    return text;
}

// Sets the API address for one scope.
class ApiUrl
{
public:
    explicit ApiUrl(const QByteArray &value)
        : m_old(qgetenv(UnsplashService::kApiUrlVariable)),
          m_hadOld(qEnvironmentVariableIsSet(UnsplashService::kApiUrlVariable))
    {
        if (value.isNull())
            qunsetenv(UnsplashService::kApiUrlVariable);
        else
            qputenv(UnsplashService::kApiUrlVariable, value);
    }
    ~ApiUrl()
    {
        if (m_hadOld)
            qputenv(UnsplashService::kApiUrlVariable, m_old);
        else
            qunsetenv(UnsplashService::kApiUrlVariable);
    }

private:
    QByteArray m_old;
    bool m_hadOld;
};

} // namespace

class TestUnsplashService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void queryItems_data();
    void queryItems();
    void headers_data();
    void headers();
    void blankKeySendsNothing_data();
    void blankKeySendsNothing();
    void lineBreakKeyIsNotBlank_data();
    void lineBreakKeyIsNotBlank();
    void statuses_data();
    void statuses();
    void replyBodies_data();
    void replyBodies();
    void oversizedReplies_data();
    void oversizedReplies();
    void redirects_data();
    void redirects();
    void transportFailures_data();
    void transportFailures();
    void answersLater_data();
    void answersLater();
    void eventLoopRunsDuringSlowReply();

    void loadImage_data();
    void loadImage();
    void oversizedImages_data();
    void oversizedImages();
    void loadImageSendsNoKey();
    void loadImageRejectsAddresses_data();
    void loadImageRejectsAddresses();

    void trackDownload();
    void trackDownloadSendsNothing_data();
    void trackDownloadSendsNothing();

    void apiBaseUrl_data();
    void apiBaseUrl();
    void withReferral_data();
    void withReferral();
    void clientFactory();

private:
    TestHttpServer m_api;
    TestHttpServer m_elsewhere;
    std::optional<ApiUrl> m_apiUrl;
};

void TestUnsplashService::initTestCase()
{
    QVERIFY(m_api.start());
    QVERIFY(m_elsewhere.start());
    m_apiUrl.emplace(m_api.url().toEncoded());
}

void TestUnsplashService::init()
{
    m_api.clearRequests();
    m_elsewhere.clearRequests();
    m_api.setResponse("/search/photos", Response::json(replyJson({hitJson("a")})));
}

void TestUnsplashService::queryItems_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("perPage");

    QTest::newRow("word") << QStringLiteral("berge") << 1 << 30;
    QTest::newRow("spaces kept, not trimmed") << QStringLiteral("  Berg und Tal ") << 1 << 30;
    QTest::newRow("delimiters") << QStringLiteral("Salz & Pfeffer = a+b?c#d/e;f") << 2 << 10;
    QTest::newRow("umlauts") << QStringLiteral("Grüße aus Köln, Straße") << 3 << 5;
    QTest::newRow("percent signs") << QStringLiteral("100%25 %zz") << 1 << 30;
    QTest::newRow("beyond latin") << QStringLiteral("富士山 🗻") << 7 << 1;
    QTest::newRow("empty") << QString() << 1 << 30;
}

void TestUnsplashService::queryItems()
{
    QFETCH(QString, query);
    QFETCH(int, page);
    QFETCH(int, perPage);

    const auto result = searchWith(UnsplashService(QStringLiteral("key")), query, page, perPage);
    QVERIFY2(result && !failureIn(result), qPrintable(describe(result)));

    QCOMPARE(m_api.requests().size(), 1);
    const TestHttpServer::Request request = m_api.requests().first();
    QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(request.path, QByteArray("/search/photos"));
    const QueryItems expected{{"query", query},
                              {"page", QString::number(page)},
                              {"per_page", QString::number(perPage)},
                              {"content_filter", "high"}};
    QCOMPARE(request.queryItems, expected);
}

void TestUnsplashService::headers_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("authorization");

    QTest::newRow("plain") << QStringLiteral("AbC-123_xyz") << QByteArray("Client-ID AbC-123_xyz");
    QTest::newRow("spaces around, sent as stored")
        << QStringLiteral("  key  ") << QByteArray("Client-ID   key  ");
    QTest::newRow("tabs around") << QStringLiteral("\tkey\t") << QByteArray("Client-ID \tkey\t");
    QTest::newRow("inner space") << QStringLiteral("two words")
                                 << QByteArray("Client-ID two words");
}

void TestUnsplashService::headers()
{
    QFETCH(QString, key);
    QFETCH(QByteArray, authorization);

    const auto result = searchWith(UnsplashService(key), QStringLiteral("x"));
    QVERIFY2(result && !failureIn(result), qPrintable(describe(result)));
    QCOMPARE(m_api.requests().size(), 1);
    const TestHttpServer::Request request = m_api.requests().first();
    QCOMPARE(request.header("Authorization"), authorization);
    QCOMPARE(request.header("Accept-Version"), QByteArray("v1"));
}

void TestUnsplashService::blankKeySendsNothing_data()
{
    QTest::addColumn<QString>("key");
    QTest::newRow("empty") << QString();
    QTest::newRow("spaces") << QStringLiteral("   ");
    QTest::newRow("tabs and spaces") << QStringLiteral("\t \t");
    QTest::newRow("no-break space") << QStringLiteral("\u00a0");
    QTest::newRow("ideographic space") << QStringLiteral("\u3000 ");
}

void TestUnsplashService::blankKeySendsNothing()
{
    QFETCH(QString, key);
    const auto result = searchWith(UnsplashService(key), QStringLiteral("berge"));
    const auto failure = failureIn(result);
    QVERIFY2(failure, qPrintable(describe(result)));
    QCOMPARE(std::get<UnsplashError>(*failure), UnsplashError{UnsplashError::Kind::MissingKey});
    QVERIFY(m_api.requests().isEmpty());
}

void TestUnsplashService::lineBreakKeyIsNotBlank_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("authorization");
    QTest::newRow("line feed") << QStringLiteral("\n") << QByteArray("Client-ID %0A");
    QTest::newRow("carriage return and line feed")
        << QStringLiteral("\r\n") << QByteArray("Client-ID %0D%0A");
    QTest::newRow("spaces around a line feed")
        << QStringLiteral(" \n ") << QByteArray("Client-ID  %0A ");
    QTest::newRow("line separator")
        << QStringLiteral("\u2028") << QByteArray("Client-ID \xe2\x80\xa8");
    QTest::newRow("forged header after the key")
        << QStringLiteral("key\r\nX-Forged: 1") << QByteArray("Client-ID key%0D%0AX-Forged: 1");
}

void TestUnsplashService::lineBreakKeyIsNotBlank()
{
    QFETCH(QString, key);
    QFETCH(QByteArray, authorization);

    const auto result = searchWith(UnsplashService(key), QStringLiteral("berge"));
    QVERIFY2(result && !failureIn(result), qPrintable(describe(result)));
    QCOMPARE(m_api.requests().size(), 1);
    // A line break must neither end the header nor start a forged one; it goes out encoded.
    const TestHttpServer::Request request = m_api.requests().first();
    QCOMPARE(request.header("Authorization"), authorization);
    QCOMPARE(request.header("Accept-Version"), QByteArray("v1"));
    QVERIFY(!request.hasHeader("X-Forged"));
}

void TestUnsplashService::statuses_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<UnsplashError>("error");
    QTest::addColumn<QString>("text");

    const QByteArray valid = replyJson({hitJson("a")});
    QTest::newRow("201 with a valid body") << Response::json(valid, 201) << UnsplashError::http(201)
                                           << QStringLiteral("Unsplash-Fehler (HTTP 201).");
    QTest::newRow("204") << Response::json({}, 204) << UnsplashError::http(204)
                         << QStringLiteral("Unsplash-Fehler (HTTP 204).");
    QTest::newRow("400") << Response::json(R"({"errors":["bad"]})", 400) << UnsplashError::http(400)
                         << QStringLiteral("Unsplash-Fehler (HTTP 400).");
    QTest::newRow("401") << Response::json(R"({"errors":["OAuth error"]})", 401)
                         << UnsplashError{UnsplashError::Kind::InvalidKey}
                         << QStringLiteral("Unsplash lehnt den Access-Key ab (401). Bitte in den "
                                           "Einstellungen prüfen.");
    QTest::newRow("403") << Response::json("Rate Limit Exceeded", 403)
                         << UnsplashError{UnsplashError::Kind::RateLimited}
                         << QStringLiteral(
                                "Unsplash-Ratenlimit erreicht (403). Bitte etwas warten.");
    QTest::newRow("404") << Response::json({}, 404) << UnsplashError::http(404)
                         << QStringLiteral("Unsplash-Fehler (HTTP 404).");
    QTest::newRow("429") << Response::json({}, 429) << UnsplashError::http(429)
                         << QStringLiteral("Unsplash-Fehler (HTTP 429).");
    QTest::newRow("500 with a valid body") << Response::json(valid, 500) << UnsplashError::http(500)
                                           << QStringLiteral("Unsplash-Fehler (HTTP 500).");
    QTest::newRow("503") << Response::json({}, 503) << UnsplashError::http(503)
                         << QStringLiteral("Unsplash-Fehler (HTTP 503).");
}

void TestUnsplashService::statuses()
{
    QFETCH(Response, response);
    QFETCH(UnsplashError, error);
    QFETCH(QString, text);

    m_api.setResponse("/search/photos", response);
    const auto result = searchWith(UnsplashService(QStringLiteral("key")), QStringLiteral("x"));
    const auto failure = failureIn(result);
    QVERIFY2(failure, qPrintable(describe(result)));
    QVERIFY2(std::holds_alternative<UnsplashError>(*failure), qPrintable(description(*failure)));
    QCOMPARE(std::get<UnsplashError>(*failure), error);
    QCOMPARE(description(*failure), text);
}

void TestUnsplashService::replyBodies_data()
{
    using Kind = UnsplashReply::DecodeFailure::Kind;
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("ids"); // the hits in order, when the reply decodes
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("path");

    QTest::newRow("hits in reply order") << replyJson({hitJson("c"), hitJson("a"), hitJson("b")})
                                         << QStringList{"c", "a", "b"} << Kind::Syntax << QString();
    QTest::newRow("no hits") << replyJson({}) << QStringList() << Kind::Syntax << QString();
    QByteArray bare = hitJson("bare");
    bare.replace(R"("slug":"s-bare",)", "")
        .replace(R"("username":"ada",)", "")
        .replace(R"(,"links":{"html":"h"})", "")
        .replace(R"(,"links":{"download_location":"d"})", "");
    QTest::newRow("hit without links, slug, username")
        << replyJson({bare}) << QStringList{"bare"} << Kind::Syntax << QString();
    QTest::newRow("no total_pages")
        << replyJson({hitJson("a")}).replace(R"("total_pages":1,)", "") << QStringList()
        << Kind::KeyMissing << QStringLiteral("total_pages");
    QTest::newRow("second hit without width")
        << replyJson({hitJson("a"), hitJson("b").replace(R"("width":640,)", "")}) << QStringList()
        << Kind::KeyMissing << QStringLiteral("results[1].width");
    QTest::newRow("width as text")
        << replyJson({hitJson("a").replace(R"("width":640)", R"("width":"640")")}) << QStringList()
        << Kind::TypeMismatch << QStringLiteral("results[0].width");
    QTest::newRow("results not a list")
        << QByteArray(R"({"total":1,"total_pages":1,"results":"none"})") << QStringList()
        << Kind::TypeMismatch << QStringLiteral("results");
    QTest::newRow("malformed json")
        << QByteArray(R"({"total":1,)") << QStringList() << Kind::Syntax << QString();
}

void TestUnsplashService::replyBodies()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, ids);
    QFETCH(UnsplashReply::DecodeFailure::Kind, kind);
    QFETCH(QString, path);

    m_api.setResponse("/search/photos", Response::json(body));
    const auto result = searchWith(UnsplashService(QStringLiteral("key")), QStringLiteral("x"));
    QVERIFY2(result, "no answer");
    const bool shouldDecode = !ids.isEmpty() || body.contains(R"("results":[])");
    if (shouldDecode) {
        QVERIFY2(!failureIn(result), qPrintable(describe(result)));
        QStringList got;
        for (const UnsplashPhoto &photo : std::get<QList<UnsplashPhoto>>(*result))
            got << photo.id;
        QCOMPARE(got, ids);
    } else {
        // Handed on as the decoding failure itself, not turned into BadResponse.
        const auto failure = failureIn(result);
        QVERIFY2(failure && std::holds_alternative<UnsplashReply::DecodeFailure>(*failure),
                 qPrintable(describe(result)));
        const auto decodeFailure = std::get<UnsplashReply::DecodeFailure>(*failure);
        QCOMPARE(decodeFailure.kind, kind);
        QCOMPARE(decodeFailure.path, path);
    }
}

void TestUnsplashService::oversizedReplies_data()
{
    QTest::addColumn<Response>("response");

    Response declared = Response::json({});
    declared.mode = Response::Body::Silent;
    declared.declaredLength = 50LL * 1024 * 1024;
    QTest::newRow("50 MB declared") << declared;

    Response real = Response::json(QByteArray(UnsplashService::kMaxSearchReplyBytes + 1, ' '));
    QTest::newRow("just over the cap, with its length") << real;

    Response endless = Response::json(QByteArray(64 * 1024, ' '));
    endless.mode = Response::Body::Endless;
    QTest::newRow("never ends, no length") << endless;
}

void TestUnsplashService::oversizedReplies()
{
    QFETCH(Response, response);
    m_api.setResponse("/search/photos", response);

    const auto result = searchWith(UnsplashService(QStringLiteral("key")), QStringLiteral("x"));
    const auto failure = failureIn(result);
    QVERIFY2(failure, qPrintable(describe(result)));
    const UnsplashSizeLimitError expected{UnsplashSizeLimitError::Kind::SearchReply,
                                          UnsplashService::kMaxSearchReplyBytes};
    QVERIFY2(std::holds_alternative<UnsplashSizeLimitError>(*failure),
             qPrintable(description(*failure)));
    QCOMPARE(std::get<UnsplashSizeLimitError>(*failure), expected);
    QCOMPARE(
        description(*failure),
        QStringLiteral("Die Antwort von Unsplash ist größer als 10 MB und wurde abgebrochen."));
}

void TestUnsplashService::redirects_data()
{
    QTest::addColumn<QString>("target"); // {api} and {elsewhere} are the two servers' ports
    QTest::addColumn<bool>("followed");

    QTest::newRow("same host and port") << QStringLiteral("http://127.0.0.1:{api}/moved") << true;
    QTest::newRow("relative") << QStringLiteral("/moved?x=1") << true;
    QTest::newRow("other port") << QStringLiteral("http://127.0.0.1:{elsewhere}/moved") << false;
    QTest::newRow("other host name, same port")
        << QStringLiteral("http://localhost:{api}/moved") << false;
    QTest::newRow("other host name, other port")
        << QStringLiteral("http://localhost:{elsewhere}/moved") << false;
}

void TestUnsplashService::redirects()
{
    QFETCH(QString, target);
    QFETCH(bool, followed);
    target.replace(QLatin1String("{api}"), QString::number(m_api.port()))
        .replace(QLatin1String("{elsewhere}"), QString::number(m_elsewhere.port()));

    const Response hits = Response::json(replyJson({hitJson("moved")}));
    m_api.setResponse("/search/photos", Response::redirect(QUrl(target)));
    m_api.setResponse("/moved", hits);
    m_elsewhere.setResponse("/moved", hits);

    const auto result = searchWith(UnsplashService(QStringLiteral("secret")), QStringLiteral("x"));
    QVERIFY2(result, "no answer");

    // The key never reaches the other server, whatever the client decided.
    for (const TestHttpServer::Request &request : m_elsewhere.requests())
        QVERIFY(!request.header("Authorization").contains("secret"));

    if (followed) {
        QVERIFY2(!failureIn(result), qPrintable(describe(result)));
        QCOMPARE(std::get<QList<UnsplashPhoto>>(*result).first().id, QStringLiteral("moved"));
        QCOMPARE(m_api.requests().size(), 2);
        QCOMPARE(m_api.requests().last().header("Authorization"), QByteArray("Client-ID secret"));
    } else {
        const auto failure = failureIn(result);
        QVERIFY2(failure, qPrintable(describe(result)));
        QCOMPARE(std::get<UnsplashError>(*failure),
                 UnsplashError{UnsplashError::Kind::BadResponse});
        QCOMPARE(m_api.requests().size(), 1);
    }
}

void TestUnsplashService::transportFailures_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<QNetworkReply::NetworkError>("code");

    QTest::newRow("connection refused") << Response() << QNetworkReply::ConnectionRefusedError;
    Response cutShort = Response::json(replyJson({hitJson("a")}));
    cutShort.declaredLength = cutShort.body.size() + 1000;
    QTest::newRow("connection closed mid-body, status 200")
        << cutShort << QNetworkReply::RemoteHostClosedError;
    Response cutShort404 = cutShort;
    cutShort404.status = 404;
    QTest::newRow("connection closed mid-body, status 404")
        << cutShort404 << QNetworkReply::RemoteHostClosedError;
}

void TestUnsplashService::transportFailures()
{
    QFETCH(Response, response);
    QFETCH(QNetworkReply::NetworkError, code);

    std::optional<ApiUrl> closed;
    QUrl probe;
    if (code == QNetworkReply::ConnectionRefusedError) {
        probe = QUrl(QStringLiteral("http://127.0.0.1:%1/search/photos").arg(closedPort()));
        closed.emplace(probe.adjusted(QUrl::RemovePath).toEncoded());
    } else {
        m_api.setResponse("/search/photos", response);
        m_api.setResponse("/probe", response);
        probe = m_api.url(QStringLiteral("/probe"));
    }

    const auto result = searchWith(UnsplashService(QStringLiteral("key")), QStringLiteral("x"));
    const auto failure = failureIn(result);
    QVERIFY2(failure, qPrintable(describe(result)));
    QVERIFY2(std::holds_alternative<UnsplashTransportError>(*failure),
             qPrintable(description(*failure)));
    const auto transport = std::get<UnsplashTransportError>(*failure);
    QCOMPARE(transport.code, code);
    // Qt's own words, exactly as a plain request of the same kind reports them.
    QCOMPARE(description(*failure), qtErrorFor(probe));
    QVERIFY(!transport.message.isEmpty());

    // The image download hands on the same failure.
    const auto image = loadWith(UnsplashService(), probe.toString());
    const auto imageFailure = failureIn(image);
    QVERIFY2(imageFailure && std::holds_alternative<UnsplashTransportError>(*imageFailure),
             qPrintable(describe(image)));
    QCOMPARE(std::get<UnsplashTransportError>(*imageFailure).code, code);
}

void TestUnsplashService::answersLater_data()
{
    QTest::addColumn<int>("operation");
    QTest::newRow("search, blank key") << 0;
    QTest::newRow("search, sent") << 1;
    QTest::newRow("image, bad address") << 2;
}

void TestUnsplashService::answersLater()
{
    QFETCH(int, operation);
    auto answered = std::make_shared<bool>(false);
    {
        // The service is gone before the answer comes: nothing of it may be needed then.
        const UnsplashService service(operation == 0 ? QString() : QStringLiteral("key"));
        if (operation == 2)
            service.loadImage(QStringLiteral("::"), [answered](auto) { *answered = true; });
        else
            service.search(QStringLiteral("x"), [answered](auto) { *answered = true; });
    }
    QVERIFY(!*answered);
    QVERIFY(QTest::qWaitFor([&] { return *answered; }, kWaitMs));
}

void TestUnsplashService::eventLoopRunsDuringSlowReply()
{
    Response slow = Response::json(replyJson({hitJson("a"), hitJson("b")}));
    slow.mode = Response::Body::Trickle;
    slow.chunkCount = 20;
    slow.interval = 40;
    m_api.setResponse("/search/photos", slow);

    int ticks = 0;
    QTimer timer;
    timer.setInterval(10);
    connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
    timer.start();

    std::optional<int> ticksAtAnswer;
    auto answer = std::make_shared<std::optional<UnsplashService::SearchResult>>();
    UnsplashService(QStringLiteral("key")).search(QStringLiteral("x"), [&, answer](auto result) {
        *answer = std::move(result);
        ticksAtAnswer = ticks;
    });
    QVERIFY(QTest::qWaitFor([&] { return answer->has_value(); }, kWaitMs));
    QVERIFY2(!failureIn(*answer), qPrintable(describe(*answer)));
    QCOMPARE(std::get<QList<UnsplashPhoto>>(**answer).size(), 2);
    // The body took some 800 ms to arrive; a blocked loop would show hardly any ticks.
    QVERIFY2(*ticksAtAnswer >= 20, qPrintable(QString::number(*ticksAtAnswer)));
}

void TestUnsplashService::loadImage_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<QSize>("size"); // invalid when the load must fail
    QTest::addColumn<UnsplashError>("error");

    Response png;
    png.headers = {{"Content-Type", "image/png"}};
    png.body = pngBytes(37, 23, Qt::darkCyan);
    QTest::newRow("png") << png << QSize(37, 23) << UnsplashError();

    Response pngAt500 = png;
    pngAt500.status = 500;
    QTest::newRow("png with status 500, status ignored")
        << pngAt500 << QSize(37, 23) << UnsplashError();

    Response html;
    html.status = 404;
    html.headers = {{"Content-Type", "text/html"}};
    html.body = "<!DOCTYPE html><html><body><h1>Not Found</h1></body></html>";
    const UnsplashError decode{UnsplashError::Kind::ImageDecode};
    QTest::newRow("404 html page") << html << QSize() << decode;
    Response htmlAt200 = html;
    htmlAt200.status = 200;
    QTest::newRow("200 html page") << htmlAt200 << QSize() << decode;
    QTest::newRow("empty body") << Response::json({}) << QSize() << decode;
    Response truncated = png;
    truncated.body.chop(png.body.size() / 2);
    QTest::newRow("truncated png") << truncated << QSize() << decode;
}

void TestUnsplashService::loadImage()
{
    QFETCH(Response, response);
    QFETCH(QSize, size);
    QFETCH(UnsplashError, error);

    m_api.setResponse("/photo.png", response);
    const auto result =
        loadWith(UnsplashService(QStringLiteral("key")), m_api.url("/photo.png").toString());
    QVERIFY2(result, "no answer");
    if (size.isValid()) {
        QVERIFY2(!failureIn(result), qPrintable(describe(result)));
        const Bitmap bitmap = std::get<Bitmap>(*result);
        QCOMPARE(QSize(bitmap.width(), bitmap.height()), size);
    } else {
        const auto failure = failureIn(result);
        QVERIFY2(failure && std::holds_alternative<UnsplashError>(*failure),
                 qPrintable(describe(result)));
        QCOMPARE(std::get<UnsplashError>(*failure), error);
        QCOMPARE(description(*failure), QStringLiteral("Das Bild konnte nicht geladen werden."));
    }
}

void TestUnsplashService::oversizedImages_data()
{
    QTest::addColumn<Response>("response");

    Response declared;
    declared.mode = Response::Body::Silent;
    declared.declaredLength = 200LL * 1024 * 1024;
    QTest::newRow("200 MB declared") << declared;

    Response endless;
    endless.body = pngBytes(64, 64, Qt::blue).leftJustified(1024 * 1024, '\0');
    endless.mode = Response::Body::Endless;
    QTest::newRow("never ends, no length") << endless;
}

void TestUnsplashService::oversizedImages()
{
    QFETCH(Response, response);
    m_api.setResponse("/huge.png", response);

    const auto result = loadWith(UnsplashService(), m_api.url("/huge.png").toString());
    const auto failure = failureIn(result);
    QVERIFY2(failure && std::holds_alternative<UnsplashSizeLimitError>(*failure),
             qPrintable(describe(result)));
    const UnsplashSizeLimitError expected{UnsplashSizeLimitError::Kind::Image,
                                          UnsplashService::kMaxImageBytes};
    QCOMPARE(std::get<UnsplashSizeLimitError>(*failure), expected);
    QCOMPARE(description(*failure),
             QStringLiteral("Das Bild ist größer als 100 MB und wurde nicht geladen."));
}

void TestUnsplashService::loadImageSendsNoKey()
{
    Response png;
    png.body = pngBytes(4, 4, Qt::red);
    m_elsewhere.setResponse("/image", png);
    // The image lies on another host behind a redirect, as with a CDN.
    m_api.setResponse("/image", Response::redirect(m_elsewhere.url("/image")));

    const auto result =
        loadWith(UnsplashService(QStringLiteral("secret")), m_api.url("/image").toString());
    QVERIFY2(result && !failureIn(result), qPrintable(describe(result)));
    QCOMPARE(m_api.requests().size(), 1);
    QCOMPARE(m_elsewhere.requests().size(), 1);
    for (const TestHttpServer::Request &request : m_api.requests() + m_elsewhere.requests()) {
        QVERIFY(!request.hasHeader("Authorization"));
        QVERIFY(!request.hasHeader("Accept-Version"));
    }
}

void TestUnsplashService::loadImageRejectsAddresses_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("empty") << QString();
    QTest::newRow("not an address") << QStringLiteral("::");
    QTest::newRow("space in host") << QStringLiteral("http://exa mple.com/x.png");
    QTest::newRow("relative") << QStringLiteral("/photo.png");
    QTest::newRow("no host") << QStringLiteral("http://");
    QTest::newRow("local file") << QStringLiteral("file:///etc/hostname");
    QTest::newRow("resource") << QStringLiteral("qrc:/photo.png");
    QTest::newRow("data") << QStringLiteral("data:image/png;base64,AAAA");
}

void TestUnsplashService::loadImageRejectsAddresses()
{
    QFETCH(QString, url);
    const auto result = loadWith(UnsplashService(), url);
    const auto failure = failureIn(result);
    QVERIFY2(failure, qPrintable(describe(result)));
    QCOMPARE(std::get<UnsplashError>(*failure), UnsplashError{UnsplashError::Kind::BadResponse});
}

void TestUnsplashService::trackDownload()
{
    m_api.setResponse("/photos/abc/download", Response::json(R"({"url":"x"})"));
    QSignalSpy received(&m_api, &TestHttpServer::requestReceived);

    // Not tested for blankness: the report goes out with whatever key there is.
    UnsplashService(QStringLiteral(" "))
        .trackDownload(m_api.url("/photos/abc/download").toString() + "?ixid=M3w1");
    QVERIFY(received.wait(kWaitMs));
    const TestHttpServer::Request request = m_api.requests().first();
    QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(request.path, QByteArray("/photos/abc/download"));
    QCOMPARE(request.queryItems, (QueryItems{{"ixid", "M3w1"}}));
    QCOMPARE(request.header("Authorization"), QByteArray("Client-ID  "));
    QVERIFY(!request.hasHeader("Accept-Version"));
}

void TestUnsplashService::trackDownloadSendsNothing_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("empty") << QString();
    QTest::newRow("not an address") << QStringLiteral("::");
    QTest::newRow("no host") << QStringLiteral("http://");
    QTest::newRow("local file") << QStringLiteral("file:///etc/hostname");
    QTest::newRow("other host") << QStringLiteral("http://127.0.0.1:{elsewhere}/photos/a/download");
    QTest::newRow("api host, redirected elsewhere") << QStringLiteral("/away");
}

void TestUnsplashService::trackDownloadSendsNothing()
{
    QFETCH(QString, url);
    url.replace(QLatin1String("{elsewhere}"), QString::number(m_elsewhere.port()));
    if (url.startsWith(u'/'))
        url = m_api.url(url).toString();
    m_api.setResponse("/away", Response::redirect(m_elsewhere.url("/photos/a/download")));
    m_api.setResponse("/marker", Response::json("{}"));

    const UnsplashService service(QStringLiteral("secret"));
    service.trackDownload(url);
    // Reports go out in call order; once the marker is in, the first one had its chance.
    service.trackDownload(m_api.url("/marker").toString());
    QVERIFY(QTest::qWaitFor(
        [&] {
            const auto requests = m_api.requests();
            return std::any_of(requests.begin(), requests.end(),
                               [](const auto &r) { return r.path == "/marker"; });
        },
        kWaitMs));
    QTest::qWait(100);

    for (const TestHttpServer::Request &request : m_elsewhere.requests())
        QVERIFY2(!request.header("Authorization").contains("secret"), request.path.constData());
    for (const TestHttpServer::Request &request : m_api.requests())
        QVERIFY2(request.path == "/marker" || request.path == "/away", request.path.constData());
}

void TestUnsplashService::apiBaseUrl_data()
{
    QTest::addColumn<QByteArray>("variable"); // null: unset
    QTest::addColumn<QUrl>("expected");

    const QUrl official(QStringLiteral("https://api.unsplash.com"));
    QTest::newRow("unset") << QByteArray() << official;
    QTest::newRow("empty") << QByteArray("") << official;
    QTest::newRow("set") << QByteArray("http://127.0.0.1:9/") << QUrl("http://127.0.0.1:9/");
    QTest::newRow("query dropped") << QByteArray("https://proxy.example/unsplash?x=1#f")
                                   << QUrl("https://proxy.example/unsplash");
    QTest::newRow("not http") << QByteArray("ftp://files.example") << official;
    QTest::newRow("no host") << QByteArray("localhost:8080") << official;
}

void TestUnsplashService::apiBaseUrl()
{
    QFETCH(QByteArray, variable);
    QFETCH(QUrl, expected);
    const ApiUrl scope(variable);
    if (expected.host() == QLatin1String("api.unsplash.com") && !variable.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(".*no http\\(s\\) address.*"));
    QCOMPARE(UnsplashService::apiBaseUrl(), expected);
}

void TestUnsplashService::withReferral_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<QUrl>("expected");

    QTest::newRow("bare") << QUrl("https://unsplash.com")
                          << QUrl("https://unsplash.com?utm_source=voskan&utm_medium=referral");
    QTest::newRow("profile") << QUrl("https://unsplash.com/@jordis")
                             << QUrl("https://unsplash.com/@jordis?utm_source=voskan&utm_medium="
                                     "referral");
    QTest::newRow("other items kept")
        << QUrl("https://unsplash.com/photos/x?lang=de")
        << QUrl("https://unsplash.com/photos/x?lang=de&utm_source=voskan&utm_medium=referral");
    QTest::newRow("earlier values replaced")
        << QUrl("https://unsplash.com/?utm_source=other&a=1&utm_medium=mail")
        << QUrl("https://unsplash.com/?a=1&utm_source=voskan&utm_medium=referral");
    QTest::newRow("fragment kept")
        << QUrl("https://unsplash.com/license#terms")
        << QUrl("https://unsplash.com/license?utm_source=voskan&utm_medium=referral#terms");
}

void TestUnsplashService::withReferral()
{
    QFETCH(QUrl, url);
    QFETCH(QUrl, expected);
    QCOMPARE(::withReferral(url), expected);
}

void TestUnsplashService::clientFactory()
{
    // The factory's type is what the model takes.
    const UnsplashClientFactory factory = makeUnsplashClient;

    const auto search = [&](const QString &key) {
        return await<UnsplashClient::SearchResult>(
            [&](auto done) { factory(key)->search(QStringLiteral("berge"), 1, 30, done); });
    };

    const auto found = search(QStringLiteral("key"));
    QVERIFY(found && std::holds_alternative<QList<UnsplashPhoto>>(*found));
    QCOMPARE(std::get<QList<UnsplashPhoto>>(*found).first().id, QStringLiteral("a"));
    QCOMPARE(m_api.requests().last().header("Authorization"), QByteArray("Client-ID key"));

    const auto missing = search(QStringLiteral(" \t"));
    QVERIFY(missing && std::holds_alternative<QString>(*missing));
    QCOMPARE(
        std::get<QString>(*missing),
        QStringLiteral("Kein Unsplash Access-Key hinterlegt. Öffne die Einstellungen (Strg+,)."));

    m_api.setResponse("/search/photos", Response::json({}, 401));
    const auto rejected = search(QStringLiteral("key"));
    QVERIFY(rejected && std::holds_alternative<QString>(*rejected));
    QCOMPARE(std::get<QString>(*rejected),
             QStringLiteral("Unsplash lehnt den Access-Key ab (401). Bitte in den Einstellungen "
                            "prüfen."));

    const auto image = await<UnsplashClient::ImageResult>([&](auto done) {
        factory(QStringLiteral("key"))->loadImage(m_api.url("/missing.jpg").toString(), done);
    });
    QVERIFY(image && std::holds_alternative<QString>(*image));
    QCOMPARE(std::get<QString>(*image), QStringLiteral("Das Bild konnte nicht geladen werden."));

    m_api.setResponse("/photos/a/download", Response::json("{}"));
    QSignalSpy received(&m_api, &TestHttpServer::requestReceived);
    factory(QStringLiteral("key"))->trackDownload(m_api.url("/photos/a/download").toString());
    QVERIFY(received.wait(kWaitMs));
    QCOMPARE(m_api.requests().last().path, QByteArray("/photos/a/download"));
}

QTEST_GUILESS_MAIN(TestUnsplashService)
#include "tst_unsplashservice.moc"
