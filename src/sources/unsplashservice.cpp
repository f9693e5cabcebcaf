#include "unsplashservice.h"

#include "files/regularfile.h"
#include "render/imagedecoder.h"
#include "sources/download.h"
#include "sources/network.h"

#include <QCoreApplication>
#include <QFuture>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QUrlQuery>
#include <QtConcurrent>

#include <optional>

namespace {

using namespace Qt::StringLiterals;

constexpr auto kDefaultApiUrl = "https://api.unsplash.com"_L1;
// Nobody reads a download report's body; this only keeps a runaway one from piling up.
constexpr qint64 kMaxReportReplyBytes = 64 * 1024;

// Spaces and tabs in the key's sense: the Unicode space separators and the tab. Line breaks
// do not count, so a key of only line breaks is not blank.
bool isBlank(const QString &key)
{
    for (const QChar c : key) {
        if (c != u'\t' && c.category() != QChar::Separator_Space)
            return false;
    }
    return true;
}

// Scheme, host and port: what decides whether a request still goes to the API.
bool sameOrigin(const QUrl &a, const QUrl &b)
{
    const auto port = [](const QUrl &url) {
        return url.port(url.scheme() == "https"_L1 ? 443 : 80);
    };
    return a.scheme() == b.scheme() && a.host() == b.host() && port(a) == port(b);
}

// Runs `work` on the main thread on a later turn of its event loop, whichever thread asks.
// Without an application object there is no loop to answer on, and nothing happens.
void later(std::function<void()> work)
{
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

// What came back for one GET: a failure that ends it, or the status (nullopt when the reply
// is no HTTP reply) and the whole body.
struct Fetched
{
    std::optional<UnsplashFailure> failure;
    std::optional<int> status;
    QByteArray body;
};

struct FetchOptions
{
    qint64 maxBytes = 0;
    UnsplashSizeLimitError::Kind limitKind = UnsplashSizeLimitError::Kind::SearchReply;
    // For requests that carry the key: follow redirects only within the request's origin.
    bool stayOnOrigin = false;
    // For the whole request, redirects included; it also caps the silence allowed.
    std::chrono::milliseconds deadline = UnsplashService::kDeadline;
};

// Sends `request` through the shared manager and calls `done` exactly once with the
// outcome. Main thread only.
void fetch(QNetworkRequest request, FetchOptions options, std::function<void(Fetched)> done)
{
    // Qt refuses the redirect before anything goes to the other origin. (Vouching for each
    // redirect ourselves would do as well, but Qt 6.4 breaks such a chain after four hops, with
    // a made-up status 100.)
    if (options.stayOnOrigin) {
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::SameOriginRedirectPolicy);
    }
    request.setTransferTimeout(int(UnsplashService::kTimeout.count()));
    Download *download =
        Download::start(sharedNetworkAccessManager(), request, options.maxBytes, options.deadline);
    QObject::connect(
        download, &Download::finished, download,
        [options, done = std::move(done)](const Download::Result &result) {
            Fetched fetched;
            if (const auto *reply = std::get_if<Download::Reply>(&result)) {
                fetched.status = reply->status;
                fetched.body = reply->body;
            } else if (const auto *tooLarge = std::get_if<DownloadTooLarge>(&result)) {
                fetched.failure = UnsplashSizeLimitError{options.limitKind, tooLarge->limit};
            } else if (const auto &error = std::get<NetworkError>(result);
                       options.stayOnOrigin && error.kind == NetworkError::Kind::InsecureRedirect) {
                // The redirect left the API's origin, which is no network trouble.
                fetched.failure = UnsplashError{UnsplashError::Kind::BadResponse};
            } else {
                fetched.failure = error;
            }
            done(std::move(fetched));
        });
}

// The key as header text. Qt writes header values verbatim, so a line break in the key would
// end the header and let the rest of the key forge others. Control characters, which no
// header value may hold, go out percent-encoded; everything else is sent as stored.
QByteArray authorization(const QString &accessKey)
{
    QByteArray value = "Client-ID ";
    for (const char c : accessKey.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\t') || byte == 0x7f)
            value += '%' + QByteArray::number(byte, 16).rightJustified(2, '0').toUpper();
        else
            value += c;
    }
    return value;
}

QNetworkRequest keyedRequest(const QUrl &url, const QString &accessKey)
{
    QNetworkRequest request(url);
    request.setRawHeader("Authorization", authorization(accessKey));
    // The shared manager keeps a disk cache for thumbnails; keyed calls (searches, download
    // reports) must always reach the service and never be written there.
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    return request;
}

QUrl searchUrl(const QString &query, int page, int perPage)
{
    QUrl url = UnsplashService::apiBaseUrl();
    QString path = url.path();
    while (path.endsWith(u'/'))
        path.chop(1);
    url.setPath(path + "/search/photos"_L1);
    // Built by hand: QUrlQuery leaves "+" as it is, which servers read as a space, and "&"
    // or "=" in the text must not split the item.
    const QByteArray items = "query=" + QUrl::toPercentEncoding(query) +
                             "&page=" + QByteArray::number(page) +
                             "&per_page=" + QByteArray::number(perPage) + "&content_filter=high";
    url.setQuery(QString::fromLatin1(items), QUrl::StrictMode);
    return url;
}

class ServiceClient final : public UnsplashClient
{
public:
    ServiceClient(const QString &accessKey, std::function<void()> reportSettled)
        : m_service(accessKey), m_reportSettled(std::move(reportSettled))
    {
    }

    void search(const QString &query, int page, int perPage,
                std::function<void(SearchResult)> done) override
    {
        m_service.search(query, page, perPage,
                         [done = std::move(done)](UnsplashService::SearchResult result) {
                             if (auto *photos = std::get_if<QList<UnsplashPhoto>>(&result))
                                 done(std::move(*photos));
                             else
                                 done(description(std::get<UnsplashFailure>(result)));
                         });
    }

    void loadImage(const QString &url, std::function<void(ImageResult)> done) override
    {
        m_service.loadImage(url, [done = std::move(done)](UnsplashService::ImageResult result) {
            if (auto *bitmap = std::get_if<Bitmap>(&result))
                done(std::move(*bitmap));
            else
                done(description(std::get<UnsplashFailure>(result)));
        });
    }

    void trackDownload(const QString &url) override
    {
        m_service.trackDownload(url, m_reportSettled);
    }

private:
    const UnsplashService m_service;
    const std::function<void()> m_reportSettled;
};

} // namespace

QString UnsplashError::description() const
{
    switch (kind) {
    case Kind::Http:
        return QStringLiteral("Unsplash-Fehler (HTTP %1).").arg(status);
    case Kind::MissingKey:
        return QStringLiteral(
            "Kein Unsplash Access-Key hinterlegt. Öffne die Einstellungen (Strg+,).");
    case Kind::InvalidKey:
        return QStringLiteral(
            "Unsplash lehnt den Access-Key ab (401). Bitte in den Einstellungen prüfen.");
    case Kind::RateLimited:
        return QStringLiteral("Unsplash-Ratenlimit erreicht (403). Bitte etwas warten.");
    case Kind::BadResponse:
        return QStringLiteral("Unerwartete Antwort von Unsplash.");
    case Kind::ImageDecode:
        return QStringLiteral("Das Bild konnte nicht geladen werden.");
    }
    return QStringLiteral("Unerwartete Antwort von Unsplash.");
}

QString UnsplashSizeLimitError::description() const
{
    const qint64 megabytes = limit / (1024 * 1024);
    if (kind == Kind::Image)
        return QStringLiteral("Das Bild ist größer als %1 MB und wurde nicht geladen.")
            .arg(megabytes);
    return QStringLiteral("Die Antwort von Unsplash ist größer als %1 MB und wurde abgebrochen.")
        .arg(megabytes);
}

QString description(const UnsplashFailure &failure)
{
    return std::visit([](const auto &f) -> QString { return f.description(); }, failure);
}

QUrl UnsplashService::apiBaseUrl()
{
    const QString configured = qEnvironmentVariable(kApiUrlVariable);
    if (!configured.isEmpty()) {
        const QUrl url(configured, QUrl::StrictMode);
        if (isWebUrl(url))
            return url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment);
        qWarning("%s is no http(s) address, using %s", kApiUrlVariable, kDefaultApiUrl.data());
    }
    return QUrl(kDefaultApiUrl);
}

void UnsplashService::search(const QString &query, int page, int perPage,
                             std::function<void(SearchResult)> done) const
{
    later([key = m_accessKey, deadline = m_deadline, query, page, perPage,
           done = std::move(done)]() mutable {
        if (isBlank(key)) {
            done(UnsplashError{UnsplashError::Kind::MissingKey});
            return;
        }
        QNetworkRequest request = keyedRequest(searchUrl(query, page, perPage), key);
        request.setRawHeader("Accept-Version", "v1");
        const FetchOptions options{kMaxSearchReplyBytes, UnsplashSizeLimitError::Kind::SearchReply,
                                   true, deadline};
        fetch(request, options, [done = std::move(done)](Fetched fetched) {
            if (fetched.failure)
                return done(std::move(*fetched.failure));
            if (!fetched.status)
                return done(UnsplashError{UnsplashError::Kind::BadResponse});
            switch (*fetched.status) {
            case 200:
                break;
            case 401:
                return done(UnsplashError{UnsplashError::Kind::InvalidKey});
            case 403:
                return done(UnsplashError{UnsplashError::Kind::RateLimited});
            default:
                return done(UnsplashError::http(*fetched.status));
            }
            UnsplashReply::DecodeResult decoded = UnsplashReply::decodeSearchResponse(fetched.body);
            if (auto *failure = std::get_if<UnsplashReply::DecodeFailure>(&decoded))
                return done(std::move(*failure));
            done(std::move(std::get<UnsplashReply::SearchResponse>(decoded).results));
        });
    });
}

void UnsplashService::loadImage(const QString &url, std::function<void(ImageResult)> done) const
{
    later([url, deadline = m_deadline, done = std::move(done)]() mutable {
        const QUrl address(url, QUrl::StrictMode);
        // Only the web: the manager would also read file: and qrc: addresses.
        if (!isWebUrl(address)) {
            done(UnsplashError{UnsplashError::Kind::BadResponse});
            return;
        }
        QNetworkRequest request(address);
        // A full-size photo is decoded once; keeping it would only push thumbnails out of the
        // shared disk cache.
        request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
        const FetchOptions options{kMaxImageBytes, UnsplashSizeLimitError::Kind::Image, false,
                                   deadline};
        fetch(request, options, [done = std::move(done)](Fetched fetched) {
            if (fetched.failure)
                return done(std::move(*fetched.failure));
            // Decoding a full-size photo takes long enough to stall the user interface.
            // A failed decode yields a null bitmap; its reason is not shown to the user.
            QtConcurrent::run(workerPool(), [body = std::move(fetched.body)] {
                return ImageDecoder::decodeData(body).bitmap();
            }).then(sharedNetworkAccessManager(), [done](const Bitmap &bitmap) {
                if (bitmap.isNull())
                    done(UnsplashError{UnsplashError::Kind::ImageDecode});
                else
                    done(bitmap);
            });
        });
    });
}

void UnsplashService::trackDownload(const QString &url, std::function<void()> settled) const
{
    if (!settled)
        settled = [] {};
    later([key = m_accessKey, url, settled = std::move(settled)] {
        const QUrl address(url, QUrl::StrictMode);
        if (!isWebUrl(address) || !sameOrigin(address, apiBaseUrl()))
            return settled();
        const FetchOptions options{kMaxReportReplyBytes, UnsplashSizeLimitError::Kind::SearchReply,
                                   true, kReportDeadline};
        fetch(keyedRequest(address, key), options, [settled](const Fetched &) { settled(); });
    });
}

QUrl withReferral(QUrl url)
{
    QUrlQuery query(url);
    query.removeAllQueryItems(QStringLiteral("utm_source"));
    query.removeAllQueryItems(QStringLiteral("utm_medium"));
    query.addQueryItem(QStringLiteral("utm_source"), QStringLiteral("voskan"));
    query.addQueryItem(QStringLiteral("utm_medium"), QStringLiteral("referral"));
    url.setQuery(query);
    return url;
}

std::shared_ptr<UnsplashClient> makeUnsplashClient(const QString &accessKey)
{
    return std::make_shared<ServiceClient>(accessKey, nullptr);
}

std::shared_ptr<UnsplashClient> makeReportingUnsplashClient(const QString &accessKey,
                                                            std::function<void()> reportSettled)
{
    return std::make_shared<ServiceClient>(accessKey, std::move(reportSettled));
}
