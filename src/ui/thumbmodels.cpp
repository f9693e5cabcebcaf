#include "thumbmodels.h"

#include "files/regularfile.h"
#include "heic/dynamicwallpaperfile.h"
#include "sources/unsplashcolor.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QPointer>
#include <QSet>
#include <QtConcurrent/QtConcurrentRun>

// --- ThumbListModel -----------------------------------------------------------------------

QColor ThumbListModel::neutralPlaceholder()
{
    QColor grey(Qt::gray);
    grey.setAlphaF(0.2f);
    return grey;
}

QVariant ThumbListModel::accessibleText(const QModelIndex &index) const
{
    const QString toolTip = data(index, Qt::ToolTipRole).toString();
    if (!toolTip.isEmpty())
        return toolTip;
    return QStringLiteral("Foto %1 von %2").arg(index.row() + 1).arg(rowCount());
}

void ThumbListModel::moveVisibleRange(int first, int last, QList<int> *left, QList<int> *entered)
{
    if (first < 0 || last < first)
        first = last = -1;
    const int oldFirst = m_first, oldLast = m_last;
    const auto inside = [](int row, int a, int b) { return a >= 0 && row >= a && row <= b; };
    if (oldFirst >= 0) {
        for (int row = oldFirst; row <= oldLast; ++row)
            if (!inside(row, first, last))
                left->append(row);
    }
    if (first >= 0) {
        for (int row = first; row <= last; ++row)
            if (!inside(row, oldFirst, oldLast))
                entered->append(row);
    }
    m_first = first;
    m_last = last;
}

ThumbnailSource ThumbnailSource::shared()
{
    return {[](const QString &path, std::function<void(QImage)> deliver) {
                return sharedPhotoImageManager().requestThumbnail(path, std::move(deliver));
            },
            [](RequestId id) { sharedPhotoImageManager().cancel(id); }};
}

// --- UnsplashThumbModel -------------------------------------------------------------------

UnsplashThumbModel::UnsplashThumbModel(QObject *parent)
    : ThumbListModel(parent), m_loader(new ThumbnailLoader(this))
{
    connect(m_loader, &ThumbnailLoader::loaded, this,
            [this](ThumbnailLoader::RequestId id, const QImage &image) {
                for (int row = 0; row < m_tiles.size(); ++row)
                    if (m_tiles.at(row).request == id)
                        return finish(row, image);
            });
}

UnsplashThumbModel::~UnsplashThumbModel()
{
    abortAll();
}

void UnsplashThumbModel::abortAll()
{
    for (Tile &tile : m_tiles) {
        if (tile.request)
            m_loader->cancel(*tile.request);
        tile.request.reset();
    }
}

void UnsplashThumbModel::setPhotos(const QList<UnsplashPhoto> &photos)
{
    if (photos == m_photos)
        return;
    resetRows([&] {
        abortAll();
        m_photos = photos;
        m_tiles = QList<Tile>(photos.size());
    });
}

int UnsplashThumbModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_photos.size());
}

QVariant UnsplashThumbModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_photos.size())
        return {};
    const UnsplashPhoto &photo = m_photos.at(index.row());
    const Tile &tile = m_tiles.at(index.row());
    switch (role) {
    case Qt::ToolTipRole:
        return photo.displayTitle();
    case Qt::AccessibleTextRole:
        return accessibleText(index);
    case IdentityRole:
        return photo.id;
    case ImageRole:
        return tile.image;
    case PlaceholderRole:
        if (tile.state == State::Failed)
            return neutralPlaceholder();
        return colorFromHex(photo.color).value_or(neutralPlaceholder());
    case LoadingRole:
        return tile.state == State::Idle || tile.state == State::Loading;
    case FailedRole:
        return tile.state == State::Failed;
    default:
        return {};
    }
}

void UnsplashThumbModel::setVisibleRows(int first, int last)
{
    QList<int> left, entered;
    moveVisibleRange(first, last, &left, &entered);
    for (const int row : std::as_const(entered))
        if (m_tiles.at(row).state == State::Idle)
            start(row);
}

void UnsplashThumbModel::start(int row)
{
    Tile &tile = m_tiles[row];
    tile.request = m_loader->load(QUrl(m_photos.at(row).urls.small, QUrl::StrictMode));
    tile.state = tile.request ? State::Loading : State::Failed;
    if (!tile.request) {
        const QModelIndex changed = index(row);
        Q_EMIT dataChanged(changed, changed);
    }
}

void UnsplashThumbModel::finish(int row, const QImage &image)
{
    Tile &tile = m_tiles[row];
    tile.request.reset();
    tile.image = image;
    tile.state = image.isNull() ? State::Failed : State::Loaded;
    const QModelIndex changed = index(row);
    Q_EMIT dataChanged(changed, changed);
}

// --- FileThumbModel -----------------------------------------------------------------------

FileThumbModel::FileThumbModel(ThumbnailSource source, Asking asking, QObject *parent)
    : ThumbListModel(parent), m_source(std::move(source)), m_asking(asking)
{
}

FileThumbModel::~FileThumbModel()
{
    for (Tile &tile : m_tiles)
        withdraw(tile);
}

void FileThumbModel::withdraw(Tile &tile)
{
    if (tile.request)
        m_source.cancel(*tile.request);
    tile.request.reset();
}

void FileThumbModel::setEntries(const QList<Entry> &entries)
{
    if (entries == m_entries)
        return;
    resetRows([&] {
        for (Tile &tile : m_tiles)
            withdraw(tile);
        m_entries = entries;
        m_tiles = QList<Tile>(entries.size());
    });
}

int FileThumbModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

QVariant FileThumbModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_entries.size())
        return {};
    const Entry &entry = m_entries.at(index.row());
    const Tile &tile = m_tiles.at(index.row());
    switch (role) {
    case Qt::ToolTipRole:
        return entry.toolTip.isEmpty() ? QVariant() : QVariant(entry.toolTip);
    case CaptionRole:
        return entry.caption;
    case Qt::AccessibleTextRole:
        return accessibleText(index);
    case IdentityRole:
        return entry.identity;
    case ImageRole:
        return tile.image;
    case PlaceholderRole:
        return neutralPlaceholder();
    case LoadingRole:
        return m_asking == Asking::UntilAnswered && tile.image.isNull();
    case FailedRole:
        return false;
    default:
        return {};
    }
}

void FileThumbModel::setVisibleRows(int first, int last)
{
    QList<int> left, entered;
    moveVisibleRange(first, last, &left, &entered);
    for (const int row : std::as_const(left))
        withdraw(m_tiles[row]);
    for (const int row : std::as_const(entered)) {
        const Tile &tile = m_tiles.at(row);
        if (m_asking == Asking::UntilAnswered &&
            (!tile.image.isNull() || tile.answered || tile.request))
            continue;
        request(row);
    }
}

void FileThumbModel::request(int row)
{
    const quint64 generation = this->generation();
    const QPointer<FileThumbModel> self(this);
    m_tiles[row].request =
        m_source.request(m_entries.at(row).path, [self, generation, row](const QImage &image) {
            if (!self || generation != self->generation() || row >= self->m_tiles.size())
                return;
            Tile &tile = self->m_tiles[row];
            tile.request.reset();
            tile.answered = true;
            if (image.isNull())
                return; // keep what the tile shows
            tile.image = image;
            const QModelIndex changed = self->index(row);
            Q_EMIT self->dataChanged(changed, changed);
        });
}

DynamicThumbModel::DynamicThumbModel(QObject *parent)
    : FileThumbModel(source(), Asking::UntilAnswered, parent)
{
}

void DynamicThumbModel::setPictures(const QString &path, const PictureLines &lines)
{
    QList<Entry> entries;
    for (int i = 0; i < lines.labels.size(); ++i) {
        const QString key = path + QLatin1Char('#') + QString::number(i);
        entries.append({key, key, lines.labels.at(i), lines.captions.value(i)});
    }
    setEntries(entries);
}

ThumbnailSource DynamicThumbModel::source()
{
    // Answers that were withdrawn are dropped; the model may be gone by then.
    auto next = std::make_shared<ThumbnailSource::RequestId>(0);
    auto withdrawn = std::make_shared<QSet<ThumbnailSource::RequestId>>();
    return {[next, withdrawn](const QString &key, std::function<void(QImage)> deliver) {
                const ThumbnailSource::RequestId id = ++*next;
                const qsizetype hash = key.lastIndexOf(QLatin1Char('#'));
                const QString path = key.left(hash);
                const int index = key.mid(hash + 1).toInt();
                auto *watcher = new QFutureWatcher<QImage>;
                QObject::connect(watcher, &QFutureWatcherBase::finished, watcher,
                                 [watcher, withdrawn, id, deliver = std::move(deliver)] {
                                     if (!withdrawn->remove(id))
                                         deliver(watcher->result());
                                     watcher->deleteLater();
                                 });
                watcher->setFuture(QtConcurrent::run(workerPool(), [path, index] {
                    const std::optional<Bitmap> picture = DynamicWallpaperFile::image(
                        path, index, QSize(kThumbnailSide, kThumbnailSide));
                    return picture ? picture->toImage() : QImage();
                }));
                return id;
            },
            [withdrawn](ThumbnailSource::RequestId id) { withdrawn->insert(id); }};
}

void DayCycleThumbModel::setPictures(const QList<QImage> &pictures, const PictureLines &lines)
{
    if (lines.labels.size() != m_lines.labels.size()) {
        resetRows([&] {
            m_pictures = pictures;
            m_lines = lines;
        });
        return;
    }
    m_pictures = pictures;
    m_lines = lines;
    if (!m_lines.labels.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_lines.labels.size()) - 1));
}

void DayCycleThumbModel::setVisibleRows(int first, int last)
{
    QList<int> left, entered; // nothing to load or let go: the pictures are all here
    moveVisibleRange(first, last, &left, &entered);
}

int DayCycleThumbModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_lines.labels.size());
}

QVariant DayCycleThumbModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_lines.labels.size())
        return {};
    switch (role) {
    case Qt::ToolTipRole:
        return m_lines.labels.at(index.row());
    case CaptionRole:
        return m_lines.captions.value(index.row());
    case Qt::AccessibleTextRole:
        return accessibleText(index);
    case IdentityRole:
        return QString::number(index.row());
    case ImageRole:
        return m_pictures.value(index.row());
    case PlaceholderRole:
        return neutralPlaceholder();
    case LoadingRole:
        return m_pictures.value(index.row()).isNull();
    case FailedRole:
        return false;
    default:
        return {};
    }
}

AssetThumbModel::AssetThumbModel(ThumbnailSource source, QObject *parent)
    : FileThumbModel(std::move(source), Asking::EveryShow, parent)
{
}

void AssetThumbModel::setAssets(const QList<PhotoAsset> &assets)
{
    QList<Entry> entries;
    entries.reserve(assets.size());
    for (const PhotoAsset &asset : assets)
        entries.append({asset.id, asset.path, {}, {}});
    setEntries(entries);
}

RecentFileThumbModel::RecentFileThumbModel(ThumbnailSource source, QObject *parent)
    : FileThumbModel(std::move(source), Asking::UntilAnswered, parent)
{
}

void RecentFileThumbModel::setPaths(const QStringList &paths)
{
    QList<Entry> entries;
    entries.reserve(paths.size());
    for (const QString &path : paths)
        entries.append({path, path, QFileInfo(path).fileName(), {}});
    setEntries(entries);
}
