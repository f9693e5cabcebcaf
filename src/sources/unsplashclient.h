#pragma once

// The seam between the model and Unsplash: the model knows the service only through this
// interface and a factory for it, so the tests can answer in its place and the model never sees
// the network code.

#include "render/bitmap.h"
#include "sources/unsplashphoto.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <variant>

// The requests the model makes of Unsplash. Implementations answer on the main thread, later,
// never synchronously inside the call; failures arrive as German descriptions.
class UnsplashClient
{
public:
    using SearchResult = std::variant<QList<UnsplashPhoto>, QString>;
    using ImageResult = std::variant<Bitmap, QString>;

    virtual ~UnsplashClient() = default;
    virtual void search(const QString &query, int page, int perPage,
                        std::function<void(SearchResult)> done) = 0;
    // The decoded picture at `url`.
    virtual void loadImage(const QString &url, std::function<void(ImageResult)> done) = 0;
    // Reports a download; the outcome is of no interest.
    virtual void trackDownload(const QString &url) = 0;
};

// Makes a client for an access key; the model asks for a fresh one per request, with the key
// current at that moment.
using UnsplashClientFactory =
    std::function<std::shared_ptr<UnsplashClient>(const QString &accessKey)>;
