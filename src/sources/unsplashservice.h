#pragma once

// The real Unsplash behind the model's UnsplashClient: the web API's search, picture download and
// download report, and every way each can fail, named for the user. The access key, the size caps
// and the deadlines are dealt with here, so neither the model nor voskan-render has to.

#include "render/bitmap.h"
#include "sources/networkerror.h"
#include "sources/unsplashclient.h"
#include "sources/unsplashphoto.h"
#include "sources/unsplashreply.h"

#include <QList>
#include <QNetworkReply>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <variant>

class QNetworkAccessManager;

// The failures the service itself names; each has the text the user sees.
struct UnsplashError
{
    enum class Kind {
        Http,        // any status but 200, 401 and 403; `status` holds it
        MissingKey,  // the key is blank, nothing was sent
        InvalidKey,  // 401
        RateLimited, // 403
        BadResponse, // no HTTP reply, an unusable address, or a redirect away from the API
        ImageDecode, // the bytes are no picture we can read
    };

    Kind kind = Kind::BadResponse;
    int status = 0;

    static UnsplashError http(int status) { return {Kind::Http, status}; }

    QString description() const;

    friend bool operator==(const UnsplashError &, const UnsplashError &) = default;
};

// The reply grew beyond what the service is willing to hold in memory and was cut off.
struct UnsplashSizeLimitError
{
    enum class Kind { SearchReply, Image };
    Kind kind = Kind::SearchReply;
    qint64 limit = 0;

    QString description() const;

    friend bool operator==(const UnsplashSizeLimitError &,
                           const UnsplashSizeLimitError &) = default;
};

// NetworkError: the request never got a complete reply (refused, time-out, TLS, dropped).
using UnsplashFailure =
    std::variant<UnsplashError, NetworkError, UnsplashReply::DecodeFailure, UnsplashSizeLimitError>;

// The German text of any failure, as the model shows it.
QString description(const UnsplashFailure &failure);

// Talks to the Unsplash web API: search, image download, download report. A value holding one
// access key and a deadline; it keeps nothing between calls, so copies may be made and dropped
// freely, also while their requests run.
//
// Every operation answers on the main thread on a later turn of its event loop, never inside
// the call, and never blocks that loop (picture decoding runs on the thread pool). Requests
// go through sharedNetworkAccessManager(). The key is sent only to the API host: a keyed
// request that is redirected elsewhere is dropped, and download reports to other hosts are
// not sent at all.
class UnsplashService
{
public:
    using SearchResult = std::variant<QList<UnsplashPhoto>, UnsplashFailure>;
    using ImageResult = std::variant<Bitmap, UnsplashFailure>;

    static constexpr int kDefaultPage = 1;
    static constexpr int kDefaultPerPage = 30;
    // Qt's transfer time-out: a request fails after this long without any data arriving.
    static constexpr std::chrono::milliseconds kTimeout{60'000};
    // A search or a picture download fails after this long in all, however steadily a slow
    // server keeps sending.
    static constexpr std::chrono::milliseconds kDeadline{60'000};
    // Nobody waits on a download report for long; a program that must wait before it quits
    // waits at most this.
    static constexpr std::chrono::milliseconds kReportDeadline{5'000};
    // A reply longer than this is aborted as soon as it says or shows so. A search page of 30
    // hits is some 50 kB; a full-size picture rarely passes 30 MB.
    static constexpr qint64 kMaxSearchReplyBytes = 10 * 1024 * 1024;
    static constexpr qint64 kMaxImageBytes = 100 * 1024 * 1024;
    // Overrides the API host, e.g. "http://127.0.0.1:8080" for a local stand-in.
    static constexpr const char *kApiUrlVariable = "VOSKAN_UNSPLASH_API_URL";

    explicit UnsplashService(QString accessKey = {}) : m_accessKey(std::move(accessKey)) {}

    // Exactly as handed in, spaces and all.
    const QString &accessKey() const { return m_accessKey; }

    // For tests that cannot wait a minute for a slow server; also caps the silence allowed.
    void setDeadline(std::chrono::milliseconds deadline) { m_deadline = deadline; }
    std::chrono::milliseconds deadline() const { return m_deadline; }

    // One page of hits for `query`, in reply order. A key that is blank after trimming spaces
    // and tabs (not line breaks) fails with MissingKey without a request.
    void search(const QString &query, int page, int perPage,
                std::function<void(SearchResult)> done) const;
    void search(const QString &query, std::function<void(SearchResult)> done) const
    {
        search(query, kDefaultPage, kDefaultPerPage, std::move(done));
    }

    // The decoded picture at `url`, an http or https address. Sends no key and ignores the
    // status: whatever body arrives is decoded, so an error page fails as ImageDecode.
    void loadImage(const QString &url, std::function<void(ImageResult)> done) const;

    // Tells the service a photo was used. Nothing is reported back, and an unusable address
    // or one off the API host sends nothing; `settled`, if given, is called once either way,
    // at the latest kReportDeadline after the report went out.
    void trackDownload(const QString &url, std::function<void()> settled = {}) const;

    // https://api.unsplash.com, or the value of kApiUrlVariable when that is set.
    static QUrl apiBaseUrl();

private:
    QString m_accessKey;
    std::chrono::milliseconds m_deadline = kDeadline;
};

// `url` with utm_source=voskan and utm_medium=referral, as the service's guidelines ask of
// links to unsplash.com; earlier values of the two are replaced, other query items kept.
QUrl withReferral(QUrl url);

// The UnsplashClientFactory of the real service: failures arrive as their descriptions.
std::shared_ptr<UnsplashClient> makeUnsplashClient(const QString &accessKey);
// The same, for a program that waits for download reports before it quits: `reportSettled`
// is handed to every trackDownload().
std::shared_ptr<UnsplashClient> makeReportingUnsplashClient(const QString &accessKey,
                                                            std::function<void()> reportSettled);
