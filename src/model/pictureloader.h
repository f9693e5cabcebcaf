#pragma once

// Brings a picture to a look from wherever the person chose it: a file (decoded on a worker,
// several in turn, each recorded among the recent files), a search hit from Unsplash, or a
// picture of the photo library. Only the choice made last is applied; `loaded` hands it to the
// model, which puts it into the look.

#include "model/dynamicpicture.h"
#include "model/look.h"
#include "model/valuetypes.h"
#include "sources/photolibraryaccess.h"
#include "sources/unsplashclient.h"

#include <QColor>
#include <QObject>
#include <QSizeF>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <optional>

// A picture that arrived for a look, with what the look records of where it came from.
struct LoadedPicture
{
    Bitmap picture;
    std::optional<std::array<QColor, 3>> palette; // when already found off the main thread
    QString photoID;
    QString baseName;
    QString attribution;
    std::optional<QString> attributionURL;
};

class PictureLoader : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *kRecentFilesKey = "recentLocalFiles"; // settings key
    static constexpr int kMaxRecentFiles = 24;

    // What a load needs of the model when it starts: the look it goes to (and that look now,
    // to prepare its first preview), the preview's size, and whether an error is shown.
    struct Context
    {
        Appearance target = Appearance::Light;
        Look look;
        QSizeF previewSize;
        bool showsError = false;
    };
    using ContextSource = std::function<Context()>;
    using UnsplashSource = std::function<std::shared_ptr<UnsplashClient>()>;

    PictureLoader(ContextSource context, UnsplashSource unsplash,
                  std::shared_ptr<PhotoLibraryAccess> photos, QObject *parent = nullptr);

    bool isLoading() const { return m_isLoading; }
    // Plain paths, newest first.
    QStringList recentFiles() const { return m_recentFiles; }
    // The stored list, without the files that are gone.
    static QStringList loadRecentFiles();

    // Opens the files one after the other, as if each were opened in turn: every one that
    // opens is applied and recorded among the recent files (the last first), and the first
    // failure is the one reported. A later load cancels the files not yet begun.
    void openLocalImages(const QStringList &paths);
    // Downloads a search hit and reports the download as Unsplash asks.
    void select(const UnsplashPhoto &photo);
    void selectAlbumAsset(const PhotoAsset &asset);

Q_SIGNALS:
    void isLoadingChanged();
    void recentFilesChanged();
    void loaded(const LoadedPicture &picture, Appearance target);
    // A dynamic wallpaper made elsewhere, opened as what it is; `target` is the look asked for,
    // `from` the source it came from (a file, or a picture of the photo library).
    void loadedDynamic(const OpenedDynamic &opened, Appearance target, SourceKind from);
    // What the error line says now: nothing (a new load began), or why a load failed.
    void errorReported(const std::optional<QString> &error);

private:
    void setLoading(bool loading);
    // A search hit or a library picture chosen: the earlier loads are off; the look it goes to.
    Appearance beginChoice();
    void startOpen(const QString &path, bool clearError);
    void recordRecent(const QString &path);
    void trackDownload(const QString &url);

    ContextSource m_context;
    UnsplashSource m_unsplash;
    std::shared_ptr<PhotoLibraryAccess> m_photos;
    bool m_isLoading = false;
    quint64 m_request = 0; // the load whose outcome is awaited
    QStringList m_queued;  // files of openLocalImages not yet begun
    QStringList m_recentFiles;
};
