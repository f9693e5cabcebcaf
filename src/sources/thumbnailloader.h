#pragma once

// The small pictures of Unsplash hits, fetched over the network and kept in a disk cache, so a
// search repeated later, also in the next session, shows its tiles without asking the server
// again. The thumbnail strip only shows what arrives here; how a picture is fetched, capped,
// cached and decoded is no business of a widget.

#include <QHash>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUrl>

#include <chrono>
#include <optional>

class Download;

// Confined to the main thread; decoding runs on the thread pool. Requests go through
// sharedNetworkAccessManager(), whose disk cache this sets up on first use.
class ThumbnailLoader : public QObject
{
    Q_OBJECT

public:
    using RequestId = quint64;

    // More than any preview picture needs; a larger reply is dropped as failed.
    static constexpr qint64 kMaxBytes = 10 * 1024 * 1024;
    // Long side of the decoded picture.
    static constexpr int kDecodedSize = 240;
    // The disk cache's size; it lives in the user's cache folder.
    static constexpr qint64 kDiskCacheBytes = 64 * 1024 * 1024;

    explicit ThumbnailLoader(QObject *parent = nullptr);
    ~ThumbnailLoader() override;

    // For tests that cannot wait a minute for a slow server; also caps the silence allowed.
    void setDeadline(std::chrono::milliseconds deadline) { m_deadline = deadline; }
    std::chrono::milliseconds deadline() const { return m_deadline; }

    // Starts fetching the picture at `url`; loaded() tells of it, later. Nothing is asked, and
    // nullopt returned, when `url` is no http or https address.
    std::optional<RequestId> load(const QUrl &url);
    // loaded() does not come for `id` after this; unknown or finished ids are ignored.
    void cancel(RequestId id);

Q_SIGNALS:
    // Once for every request not cancelled. The picture is at most kDecodedSize on its long
    // side; null when it could not be had: an HTTP error, too large, too slow, no picture.
    void loaded(ThumbnailLoader::RequestId id, const QImage &image);

private:
    void finish(RequestId id, const QImage &image);

    std::chrono::milliseconds m_deadline;
    RequestId m_nextId = 1;
    // Every request still to be answered; those still downloading also have their download.
    QSet<RequestId> m_open;
    QHash<RequestId, QPointer<Download>> m_downloads;
};
