#pragma once

// The list models behind the thumbnail strips: Unsplash hits, recent files, an album's pictures,
// a dynamic wallpaper's pictures. Each holds its items and their small pictures and asks for a
// picture only once the strip reports the row on screen.

#include "model/dynamicpicture.h"
#include "sources/photolibraryaccess.h"
#include "sources/photothumbnails.h"
#include "sources/thumbnailloader.h"
#include "sources/unsplashphoto.h"

#include <QAbstractListModel>
#include <QImage>
#include <QList>

#include <functional>
#include <optional>

// The tiles of one thumbnail strip. A model holds the items it was given and their small
// pictures; it loads a picture only once the strip reports the row on screen.
class ThumbListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        // What the model's selection is compared with: photo id, asset id or file path.
        IdentityRole = Qt::UserRole + 1,
        // The tile's picture, a QImage; null while there is none.
        ImageRole,
        // What fills the tile while it has no picture.
        PlaceholderRole,
        // Whether the tile shows a spinner.
        LoadingRole,
        // Whether the picture could not be had; the tile shows a photo symbol.
        FailedRole,
        // A short line under the tile, for models with hasCaptions().
        CaptionRole,
    };

    using QAbstractListModel::QAbstractListModel;

    // Rows first..last are on screen; first < 0 means none is. Called by the strip whenever
    // that changes.
    virtual void setVisibleRows(int first, int last) = 0;
    int firstVisibleRow() const { return m_first; }
    int lastVisibleRow() const { return m_last; }

    // The fill of a tile without picture: grey at opacity 0.2.
    static QColor neutralPlaceholder();
    // Whether the tiles carry a line under them, which makes the strip taller.
    virtual bool hasCaptions() const { return false; }

protected:
    // What a screen reader says for a tile: its tooltip, or its place in the strip when it
    // has none (an album's pictures have no names worth reading).
    QVariant accessibleText(const QModelIndex &index) const;
    bool isVisibleRow(int row) const { return m_first >= 0 && row >= m_first && row <= m_last; }
    // Stores the new range; the rows that left it and the ones that entered it.
    void moveVisibleRange(int first, int last, QList<int> *left, QList<int> *entered);
    // Puts a new list in place with `swap`: the strip starts over, nothing counts as on screen,
    // and answers that were asked for the old list are told apart by the generation.
    template <typename Swap> void resetRows(Swap swap)
    {
        beginResetModel();
        swap();
        ++m_generation;
        m_first = m_last = -1;
        endResetModel();
    }
    quint64 generation() const { return m_generation; }

private:
    int m_first = -1;
    int m_last = -1;
    quint64 m_generation = 0;
};

// Where library and local-file thumbnails come from; sharedPhotoImageManager() unless a test
// puts something else in between.
struct ThumbnailSource
{
    using RequestId = PhotoImageManager::RequestId;
    std::function<RequestId(const QString &path, std::function<void(QImage)> deliver)> request;
    std::function<void(RequestId)> cancel;

    static ThumbnailSource shared();
};

// Unsplash search hits: each tile asks a ThumbnailLoader for the hit's "small" picture, shows
// the hit's colour and a spinner meanwhile, and a photo symbol when that failed. Loads that
// started keep running when the tile scrolls away.
class UnsplashThumbModel : public ThumbListModel
{
    Q_OBJECT

public:
    explicit UnsplashThumbModel(QObject *parent = nullptr);
    ~UnsplashThumbModel() override;

    // Keeps the pictures already loaded when the list is the same as before.
    void setPhotos(const QList<UnsplashPhoto> &photos);
    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    void setVisibleRows(int first, int last) override;

private:
    enum class State { Idle, Loading, Loaded, Failed };
    struct Tile
    {
        State state = State::Idle;
        QImage image;
        std::optional<ThumbnailLoader::RequestId> request;
    };
    void start(int row);
    void finish(int row, const QImage &image);
    void abortAll();

    ThumbnailLoader *m_loader;
    QList<UnsplashPhoto> m_photos;
    QList<Tile> m_tiles;
};

// Pictures on disk, each tile's thumbnail asked of a ThumbnailSource when the tile comes on
// screen and withdrawn when it leaves before the answer. A null answer leaves the tile as it is.
class FileThumbModel : public ThumbListModel
{
    Q_OBJECT

public:
    struct Entry
    {
        QString identity;
        QString path;
        QString toolTip;
        QString caption;
        friend bool operator==(const Entry &, const Entry &) = default;
    };
    enum class Asking {
        EveryShow,     // again whenever the tile comes on screen: the file may have changed
        UntilAnswered, // once; until then (for ever, when unreadable) the tile shows a spinner
    };

    FileThumbModel(ThumbnailSource source, Asking asking, QObject *parent = nullptr);
    ~FileThumbModel() override;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    void setVisibleRows(int first, int last) override;

protected:
    // Keeps the pictures already there when the list is the same as before.
    void setEntries(const QList<Entry> &entries);

private:
    struct Tile
    {
        QImage image;
        std::optional<ThumbnailSource::RequestId> request;
        bool answered = false;
    };
    void request(int row);
    void withdraw(Tile &tile);

    ThumbnailSource m_source;
    Asking m_asking;
    QList<Entry> m_entries;
    QList<Tile> m_tiles;
};

// The pictures of a dynamic wallpaper, read from the file on a worker, each with its time.
class DynamicThumbModel : public FileThumbModel
{
    Q_OBJECT

public:
    explicit DynamicThumbModel(QObject *parent = nullptr);
    // Tiles for the pictures of `path`, with `labels` (one per picture) as their tooltips.
    void setPictures(const QString &path, const PictureLines &lines);
    bool hasCaptions() const override { return true; }
    // Reads picture "<path>#<index>" of a dynamic wallpaper shrunk for a tile.
    static ThumbnailSource source();
    // Twice a tile's side, for screens at scale 2.
    static constexpr int kThumbnailSide = 104;
};

// The pictures of the day cycle being made, as the model has them: all at hand, so nothing is
// asked for; the tooltip says when each shows today.
class DayCycleThumbModel : public ThumbListModel
{
    Q_OBJECT

public:
    using ThumbListModel::ThumbListModel;
    // A new set of pictures and lines: the strip starts over when their number changed,
    // otherwise the tiles are repainted where they stand.
    void setPictures(const QList<QImage> &pictures, const PictureLines &lines);
    bool hasCaptions() const override { return true; }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    void setVisibleRows(int first, int last) override;

private:
    QList<QImage> m_pictures;
    PictureLines m_lines;
};

// Pictures of one photo-library album; a picture once shown stays while it scrolls away.
class AssetThumbModel : public FileThumbModel
{
    Q_OBJECT

public:
    explicit AssetThumbModel(ThumbnailSource source = ThumbnailSource::shared(),
                             QObject *parent = nullptr);
    void setAssets(const QList<PhotoAsset> &assets);
};

// Recently opened files, by path, the file name as tooltip.
class RecentFileThumbModel : public FileThumbModel
{
    Q_OBJECT

public:
    explicit RecentFileThumbModel(ThumbnailSource source = ThumbnailSource::shared(),
                                  QObject *parent = nullptr);
    void setPaths(const QStringList &paths);
};
