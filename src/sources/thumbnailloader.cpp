#include "thumbnailloader.h"

#include "files/regularfile.h"
#include "sources/download.h"
#include "sources/network.h"
#include "sources/unsplashservice.h"

#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkRequest>
#include <QStandardPaths>
#include <QtConcurrent>

namespace {

void ensureDiskCache()
{
    QNetworkAccessManager *manager = sharedNetworkAccessManager();
    if (manager->cache())
        return;
    const QString base = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (base.isEmpty())
        return; // no cache folder: thumbnails then come from the network every time
    auto *cache = new QNetworkDiskCache(manager);
    cache->setCacheDirectory(QDir(base).filePath(QStringLiteral("thumbnails-remote")));
    cache->setMaximumCacheSize(ThumbnailLoader::kDiskCacheBytes);
    manager->setCache(cache);
}

// A picture from encoded bytes, at most `longSide` on its long side; null when the bytes are
// no picture. Scaled while reading, so a huge image never lands in memory at full size.
QImage decodeThumbnail(const QByteArray &bytes, int longSide)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    QSize size = reader.size();
    if (size.isValid() && (size.width() > longSide || size.height() > longSide)) {
        // Orientation swaps the sides only after reading; the long side stays the long side.
        size.scale(longSide, longSide, Qt::KeepAspectRatio);
        reader.setScaledSize(size.expandedTo(QSize(1, 1)));
    }
    QImage image = reader.read();
    if (!image.isNull() && (image.width() > longSide || image.height() > longSide))
        image = image.scaled(longSide, longSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

} // namespace

ThumbnailLoader::ThumbnailLoader(QObject *parent)
    : QObject(parent), m_deadline(UnsplashService::kDeadline)
{
}

ThumbnailLoader::~ThumbnailLoader()
{
    // The downloads belong to the shared manager's replies and outlive us.
    for (const QPointer<Download> &download : std::as_const(m_downloads))
        if (download)
            download->cancel();
}

std::optional<ThumbnailLoader::RequestId> ThumbnailLoader::load(const QUrl &url)
{
    if (!isWebUrl(url))
        return std::nullopt;
    ensureDiskCache();
    QNetworkRequest request(url);
    request.setTransferTimeout(int(UnsplashService::kTimeout.count()));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferCache);
    // Past the deadline the picture fails: a trickling thumbnail would keep one of the few
    // connections to its host, which the full-size picture needs too.
    Download *download =
        Download::start(sharedNetworkAccessManager(), request, kMaxBytes, m_deadline);
    const RequestId id = m_nextId++;
    m_open.insert(id);
    m_downloads.insert(id, download);
    connect(download, &Download::finished, this, [this, id](const Download::Result &result) {
        m_downloads.remove(id);
        const auto *reply = std::get_if<Download::Reply>(&result);
        // Qt counts any status from 400 on as an error; such a page is no thumbnail.
        if (!reply || reply->status.value_or(0) >= 400) {
            finish(id, QImage());
            return;
        }
        QtConcurrent::run(workerPool(), [bytes = reply->body] {
            return decodeThumbnail(bytes, kDecodedSize);
        }).then(this, [this, id](const QImage &image) { finish(id, image); });
    });
    return id;
}

void ThumbnailLoader::cancel(RequestId id)
{
    m_open.remove(id);
    if (const QPointer<Download> download = m_downloads.take(id))
        download->cancel();
}

void ThumbnailLoader::finish(RequestId id, const QImage &image)
{
    if (m_open.remove(id))
        Q_EMIT loaded(id, image);
}
