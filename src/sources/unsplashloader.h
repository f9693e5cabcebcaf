#pragma once

#include "render/bitmap.h"

#include <QString>

#include <functional>
#include <memory>
#include <variant>

// The two requests a chosen Unsplash photo needs: its picture and the download report.
// Implementations answer on the main thread, never synchronously inside the call.
class UnsplashLoader
{
public:
    virtual ~UnsplashLoader() = default;
    // `done` receives the decoded picture or the failure's German description.
    virtual void loadImage(const QString &url,
                           std::function<void(std::variant<Bitmap, QString>)> done) = 0;
    // Reports a download; the outcome is of no interest.
    virtual void trackDownload(const QString &url) = 0;
};

// Makes a loader for an access key; the model asks for a fresh one per request, with the key
// current at that moment.
using UnsplashLoaderFactory =
    std::function<std::shared_ptr<UnsplashLoader>(const QString &accessKey)>;
