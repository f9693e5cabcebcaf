#pragma once

// The thumbnail strips of the section "Bild" — Unsplash hits, recent files, an album's pictures —
// share one view and differ in their list models, all kept here. Pictures are asked for only as
// tiles come on screen, so scrolling through a long list fetches what is looked at.

#include "sources/photolibraryaccess.h"
#include "sources/photothumbnails.h"
#include "sources/thumbnailloader.h"
#include "sources/unsplashphoto.h"

#include <QAbstractListModel>
#include <QImage>
#include <QList>
#include <QListView>
#include <QTimer>

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
    };

    using QAbstractListModel::QAbstractListModel;

    // Rows first..last are on screen; first < 0 means none is. Called by the strip whenever
    // that changes.
    virtual void setVisibleRows(int first, int last) = 0;
    int firstVisibleRow() const { return m_first; }
    int lastVisibleRow() const { return m_last; }

    // The fill of a tile without picture: grey at opacity 0.2.
    static QColor neutralPlaceholder();

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
        friend bool operator==(const Entry &, const Entry &) = default;
    };
    enum class Asking {
        EveryShow,      // again whenever the tile comes on screen: the file may have changed
        UntilAnswered,  // once; until then (for ever, when unreadable) the tile shows a spinner
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
    void setPictures(const QString &path, const QStringList &labels);
    // Reads picture "<path>#<index>" of a dynamic wallpaper shrunk for a tile.
    static ThumbnailSource source();
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

// One row of rounded square tiles without a scroll bar: the wheel (either direction) and a
// drag with the left button scroll it sideways, a click picks a tile. Only the tiles on
// screen load; the one whose identity matches the selection wears a ring in the accent colour.
// From the keyboard the strip is one stop in the Tab chain: Left/Right/Home/End walk the tiles,
// which wear a ring in the text colour around them, and Return, Enter or Space pick one. An
// edge with more tiles beyond it fades out, so a strip that scrolls says so.
class ThumbStrip : public QListView
{
    Q_OBJECT

public:
    static constexpr int kTileSize = 52;
    static constexpr int kTileMargin = 3; // above and below each tile
    static constexpr int kSpacing = 8;
    static constexpr int kStripHeight = 60;
    static constexpr qreal kCornerRadius = 8;
    static constexpr qreal kRingWidth = 2.5;
    // The keyboard's ring lies around the tile, a gap away, within the margins and the
    // spacing (half of it left and right of each tile).
    static constexpr qreal kFocusRingWidth = 2;
    static constexpr qreal kFocusRingGap = 1;
    static constexpr int kFadeWidth = 24;
    static constexpr int kSpinnerFrameMs = 80;

    // Takes ownership of `model`.
    explicit ThumbStrip(ThumbListModel *model, QWidget *parent = nullptr);

    ThumbListModel *thumbModel() const { return m_model; }
    // Asked at painting time for the identity of the chosen picture.
    void setSelectionProvider(std::function<std::optional<QString>()> provider);
    bool isSelected(int row) const;
    // Repaints the tiles, e.g. after the selection changed.
    void refresh();
    // Whether painted spinners are turning now.
    bool isAnimating() const { return m_spinnerTimer.isActive(); }
    // Where a tile is drawn in its cell: centred across, so the spacing either side holds the
    // keyboard's ring.
    static QRectF tileRect(const QRect &cell);

    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void tileClicked(int row);

protected:
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void updateGeometries() override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // The chosen picture's row, else the first; invalid for an empty strip.
    QModelIndex homeIndex() const;
    // Makes the chosen tile (else the first) the current one, in view.
    void goToChosen();
    void scheduleVisibleUpdate();
    void updateVisibleRows();
    void updateAnimation();

    ThumbListModel *m_model;
    std::function<std::optional<QString>()> m_selection;
    QTimer m_visibleTimer;
    QTimer m_spinnerTimer;
    // A left-button press: where, and the scroll position then. It picks the tile under it
    // on release unless it moved far enough to become a drag that scrolls the strip.
    std::optional<QPoint> m_pressPos;
    int m_pressScroll = 0;
    bool m_dragging = false;
};
