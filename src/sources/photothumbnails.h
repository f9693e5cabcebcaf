#pragma once

// The library's thumbnails, kept apart from the library itself: the library lists and loads whole
// pictures for the model, while the thumbnail strip needs many small ones quickly, cached and
// withdrawn once they are no longer wanted. One manager serves the whole process.

#include <QCache>
#include <QHash>
#include <QImage>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QThreadPool;

// Small pictures of library files for the thumbnail strip. Each is made once with libvips'
// shrink-on-load, kept in memory for the session and in the freedesktop thumbnail cache
// ($XDG_CACHE_HOME/thumbnails/large) for the next one and for other programs, which also
// means a thumbnail a file manager made earlier is used instead of decoding the photo.
// Confined to the main thread; the work runs on its own threads.
class PhotoImageManager
{
public:
    using RequestId = quint64;
    static constexpr int kThumbnailSize = 240; // long side of what is delivered
    static constexpr int kStoredSize = 256;    // long side in the shared cache ("large")
    static constexpr int kMemoryEntries = 300;

    PhotoImageManager();
    ~PhotoImageManager();
    PhotoImageManager(const PhotoImageManager &) = delete;
    PhotoImageManager &operator=(const PhotoImageManager &) = delete;

    // Calls `deliver` once, later and on the main thread, with a picture at most
    // kThumbnailSize on its long side (never enlarged), or with a null image when the file
    // is no picture that can be read. Not called at all once the request is cancelled.
    RequestId requestThumbnail(const QString &path, std::function<void(QImage)> deliver);
    // Unknown or finished requests are ignored.
    void cancel(RequestId id);

    // Where the shared cache keeps the thumbnail of `path`, whether or not it exists.
    static QString cachedThumbnailPath(const QString &path);
    // The URI the shared cache identifies `path` by.
    static QByteArray fileUri(const QString &path);

private:
    struct Pending
    {
        std::function<void(QImage)> deliver;
        std::shared_ptr<std::atomic<bool>> cancelled;
    };
    void finish(RequestId id, const QString &key, const QImage &image);

    RequestId m_nextId = 1;
    QHash<RequestId, Pending> m_pending;
    QCache<QString, QImage> m_memory{kMemoryEntries};
    std::unique_ptr<QThreadPool> m_pool;
    std::shared_ptr<std::atomic<bool>> m_alive;
};

// The one manager of the process, made on first use and kept until exit.
PhotoImageManager &sharedPhotoImageManager();
