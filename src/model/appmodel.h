#pragma once

#include "model/exporterror.h"
#include "model/look.h"
#include "model/renderpipeline.h"
#include "model/valuetypes.h"
#include "output/desktopservice.h"
#include "sources/photolibraryaccess.h"
#include "sources/unsplashclient.h"
#include "sources/unsplashphoto.h"

#include <QImage>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <variant>

// A two-way connection between one control and one value of the model.
template <typename T> class Binding
{
public:
    Binding(std::function<T()> get, std::function<void(const T &)> set)
        : m_get(std::move(get)), m_set(std::move(set))
    {
    }
    T value() const { return m_get(); }
    void setValue(const T &value) const { m_set(value); }

private:
    std::function<T()> m_get;
    std::function<void(const T &)> m_set;
};

// The program's whole mutable state and its operations. One per application, confined to the
// main thread; views read it, call its operations and follow its change signals. Every
// assignment notifies, also one that stores the value already there.
class QMimeData;

class AppModel : public QObject
{
    Q_OBJECT

public:
    // What the model talks to; missing parts leave their operations without effect.
    struct Services
    {
        UnsplashClientFactory unsplash;
        std::shared_ptr<PhotoLibraryAccess> photos;
    };

    // Settings keys, the only state kept across launches.
    static constexpr const char *kAccessKeyKey = "unsplashAccessKey";
    static constexpr const char *kRecentFilesKey = "recentLocalFiles";
    static constexpr int kMaxRecentFiles = 24;
    static constexpr int kRenderDelayMs = 60;
    static constexpr int kStatusDismissMs = 4000;

    explicit AppModel(Services services = {}, QObject *parent = nullptr);
    ~AppModel() override;

    // --- published state --------------------------------------------------------------
    QString accessKey() const { return m_accessKey; }
    void setAccessKey(const QString &key);
    QString query() const { return m_query; }
    void setQuery(const QString &query);
    QList<UnsplashPhoto> results() const { return m_results; }
    bool isSearching() const { return m_isSearching; }
    bool isLoadingSource() const { return m_isLoadingSource; }
    std::optional<QString> errorMessage() const { return m_errorMessage; }
    void setErrorMessage(const std::optional<QString> &message);
    std::optional<QString> statusMessage() const { return m_statusMessage; }
    void setStatusMessage(const std::optional<QString> &message);
    std::optional<ImageSource> selectedSource() const { return m_selectedSource; }
    void setSelectedSource(const std::optional<ImageSource> &source);
    std::optional<QString> lastAlbumID() const { return m_lastAlbumID; }
    // Plain paths, newest first.
    QStringList recentFiles() const { return m_recentFiles; }
    QList<PhotoAlbum> photoAlbums() const { return m_photoAlbums; }
    void setPhotoAlbums(const QList<PhotoAlbum> &albums);
    PhotosAuthStatus photosAuthStatus() const { return m_photosAuthStatus; }
    QList<PhotoAsset> albumAssets() const { return m_albumAssets; }
    Appearance editing() const { return m_editing; }
    void setEditing(Appearance appearance);
    const Look &lightLook() const { return m_lightLook; }
    const Look &darkLook() const { return m_darkLook; }
    ResolutionPreset preset() const { return m_preset; }
    void setPreset(const ResolutionPreset &preset);
    qint64 customWidth() const { return m_customWidth; }
    void setCustomWidth(qint64 width);
    qint64 customHeight() const { return m_customHeight; }
    void setCustomHeight(qint64 height);
    // The last rendered preview; null when nothing could be rendered.
    QImage preview() const { return m_preview; }

    // --- derived ----------------------------------------------------------------------
    Appearance effectiveAppearance() const { return m_editing; }
    const Look &currentLook() const;
    static bool lookHasContent(const Look &look);
    bool canExport() const;
    SourceKind sourceKind() const;
    void setSourceKind(SourceKind kind);
    QString selectedAlbumID() const;
    void setSelectedAlbumID(const QString &id);
    // The access key to use: the user's, trimmed of spaces and tabs, else the built-in one.
    QString effectiveKey() const;
    static QString effectiveKey(const QString &userKey);
    // Searches Unsplash for the trimmed query (first 30 hits); the outcome arrives in
    // results, errorMessage and isSearching.
    void runSearch();
    static constexpr int kHitsPerPage = 30;

    // --- editing ----------------------------------------------------------------------
    // Reads the field of the look shown at reading time; writes the look edited at writing
    // time, then schedules a render.
    template <typename T> Binding<T> bind(T Look::*field)
    {
        return Binding<T>([this, field] { return currentLook().*field; },
                          [this, field](const T &value) {
                              editLook(m_editing, [&](Look &look) { look.*field = value; });
                              scheduleRender();
                          });
    }
    Binding<SourceKind> sourceKindBinding();
    Binding<QString> albumBinding();
    void copyCurrentLookToOther();
    void resetCurrentLook();
    void seedOtherIfNeeded(Appearance from);

    // --- rendering --------------------------------------------------------------------
    void scheduleRender();
    void renderPreview();
    RenderPipeline::FullRender renderFull(const Look &look) const;
    RenderPipeline::PixelSize pixelSize() const;
    QString pixelSizeLabel() const;

    // --- pictures ---------------------------------------------------------------------
    void applySource(const Bitmap &picture, const std::optional<QString> &photoID,
                     const std::optional<QString> &baseName,
                     const std::optional<QString> &attribution,
                     const std::optional<QString> &attributionURL, Appearance to);
    // Downloads a search hit for the appearance edited now and applies it when it arrives.
    void select(const UnsplashPhoto &photo);
    void reloadPaletteFromPhoto();
    // Decodes the file on a worker for the appearance edited now; isLoadingSource is set
    // meanwhile. When opens overlap, only the one asked for last is applied.
    void openLocalImage(const QString &path);
    // Opens the files one after the other, as if each were opened in turn: every one that
    // opens is applied and recorded among the recent files (the last first), and the first
    // failure stays in errorMessage. A later open cancels the files not yet begun.
    void openLocalImages(const QStringList &paths);
    static QStringList loadRecentFiles();

    // --- output -------------------------------------------------------------------------
    // "<base>-dynamic-<w>x<h>.<ext>", the base from the light look or "voskan-wallpaper".
    QString exportFileName(const QString &ext) const;
    // Renders both looks at full size (light first; the first failure stops) and writes the
    // dynamic wallpaper. The error's German text, or nothing on success. Runs on the caller's
    // thread with the looks and size given, so it can run off the main thread.
    // `alsoWrite`, when given, gets both pictures once the HEIC is written; its error fails the
    // whole write.
    using PicturesWriter =
        std::function<std::optional<QString>(const Bitmap &light, const Bitmap &dark)>;
    static std::optional<QString> writeOutput(const Look &light, const Look &dark,
                                              RenderPipeline::PixelSize size, const QString &path,
                                              const PicturesWriter &alsoWrite = {});
    std::optional<QString> writeOutput(const QString &path) const;
    // Exports to `path` on a worker thread; isExporting is set meanwhile, the outcome lands in
    // statusMessage ("Exportiert: <name>") or errorMessage.
    void exportTo(const QString &path);
    bool isExporting() const { return m_isExporting; }
    // Writes the wallpaper to a temporary file on a worker and adds it to the library's
    // album "Voskan"; the temporary file is removed afterwards.
    void saveToPhotosLibrary();
    // A drag needs its file at once, and writing it takes seconds: once the looks and the size
    // have been still for kDragPrepareDelayMs, a worker writes the wallpaper into the temporary
    // folder under exportFileName("heic"). The drag's data when that file is ready; empty data
    // with errorMessage set when nothing can be exported; nothing while the file is still being
    // written: isPreparingDrag is then set until dragReady() or the error.
    QMimeData *makeDragData();
    bool isPreparingDrag() const { return m_dragWanted; }
    // The button was released before the file was ready: nothing is dragged.
    void cancelDrag();
    // The file a drag would carry now; empty while none is ready.
    QString preparedDragFile() const { return m_dragFile; }
    static constexpr int kDragPrepareDelayMs = 1000;
    // The program's own data folder (".../share/Voskan"), created if needed; nothing when it
    // cannot be.
    static std::optional<QString> appSupportDir();
    // Writes the wallpaper (its two pictures, then the HEIC) to whichever of "wallpaper-a.heic" /
    // "wallpaper-b.heic" the desktop does not show, and sets it on every screen, on a worker.
    // statusMessage says so once the desktop has been told; isExporting stays set until the HEIC
    // is written too, and an error then lands in errorMessage.
    void setAsDesktop();
    // Where setAsDesktop() sets the picture; unset, the desktop of the running session.
    void setDesktopService(std::shared_ptr<DesktopService> desktop);
    // The same with the looks and size given; the error text, or nothing on success. The
    // desktop is told as soon as the two pictures are in place (then `told` runs) and the HEIC
    // is encoded afterwards; when that fails, the desktop is put back on the wallpaper it showed
    // before, if its pictures are still there.
    static std::optional<QString> setAsDesktop(const Look &light, const Look &dark,
                                               RenderPipeline::PixelSize size,
                                               DesktopService &desktop,
                                               const std::function<void()> &told = {});
    // A set up to the desktop: the files of the slot written to (the HEIC not yet), the renders
    // the HEIC is made from, and the slot the desktop showed, when it was the other one.
    struct DesktopFiles
    {
        WallpaperFiles files;
        Bitmap light;
        Bitmap dark;
        std::optional<WallpaperFiles> previous;
        std::unique_ptr<SetLock> lock; // held until the desktop has been told
    };
    // Renders both looks, then, holding the set lock, writes the two pictures under the name
    // the desktop does not show now; callable off the main thread.
    static std::variant<DesktopFiles, QString> prepareDesktopFiles(const Look &light,
                                                                   const Look &dark,
                                                                   RenderPipeline::PixelSize size,
                                                                   DesktopService &desktop);

    // --- photo library ----------------------------------------------------------------
    // Reads the library's state without asking; loads the albums when access was granted.
    void refreshPhotosAuthStatus();
    // Asks the user for access, then as refreshPhotosAuthStatus().
    void requestPhotosAccess();
    void loadPhotoAlbums();
    // Empties albumAssets at once and fills it when the album is listed.
    void loadAlbumAssets(const QString &albumID);
    // Loads a library picture for the appearance edited now.
    void selectAlbumAsset(const PhotoAsset &asset);

Q_SIGNALS:
    void accessKeyChanged();
    void queryChanged();
    void resultsChanged();
    void isSearchingChanged();
    void isLoadingSourceChanged();
    void errorMessageChanged();
    void statusMessageChanged();
    void selectedSourceChanged();
    void recentFilesChanged();
    void photoAlbumsChanged();
    void photosAuthStatusChanged();
    void albumAssetsChanged();
    void editingChanged();
    void lightLookChanged();
    void darkLookChanged();
    void presetChanged();
    void customWidthChanged();
    void customHeightChanged();
    void previewChanged();
    void isExportingChanged();
    // An export started with exportTo() has finished, either way.
    void exportFinished();
    void isPreparingDragChanged();
    void preparedDragFileChanged();
    // The file a waiting drag asked for is ready; makeDragData() now returns it.
    void dragReady();

private:
    Look &lookFor(Appearance appearance);
    void editLook(Appearance appearance, const std::function<void(Look &)> &change);
    void setLook(Appearance appearance, const Look &look);
    void setIsLoadingSource(bool loading);
    void setRecentFiles(const QStringList &files);
    void setPhotosAuthStatus(PhotosAuthStatus status);
    void setAlbumAssets(const QList<PhotoAsset> &assets);
    void setResults(const QList<UnsplashPhoto> &results);
    void setIsSearching(bool searching);
    void scheduleStatusDismiss();
    // Refuses an output size beyond the limits before anything is rendered: the message in
    // errorMessage, exportFinished emitted; true when refused.
    bool refuseOversize();
    void recordRecent(const QString &path);
    void startOpen(const QString &path, bool clearError);
    void saveRecentFiles();
    void trackDownload(const QString &url);
    // Runs writeOutput on a worker with isExporting set; `done` gets its outcome on the
    // main thread.
    void writeOutputInBackground(const QString &path,
                                 std::function<void(std::optional<QString>)> done);
    // Why nothing can be dragged out now, judged without rendering.
    std::optional<QString> dragRefusal() const;
    void dragLooksChanged();
    void prepareDrag();
    void setDragWanted(bool wanted);
    void discardDragFile();

    Services m_services;
    std::shared_ptr<DesktopService> m_desktop;
    QString m_accessKey;
    QString m_query;
    QList<UnsplashPhoto> m_results;
    bool m_isSearching = false;
    bool m_isLoadingSource = false;
    quint64 m_openRequest = 0; // the local open whose outcome is awaited
    QStringList m_queuedOpens; // files of openLocalImages not yet begun
    std::optional<QString> m_errorMessage;
    std::optional<QString> m_statusMessage;
    std::optional<ImageSource> m_selectedSource = ImageSource::unsplash();
    std::optional<QString> m_lastAlbumID;
    QStringList m_recentFiles;
    QList<PhotoAlbum> m_photoAlbums;
    PhotosAuthStatus m_photosAuthStatus = PhotosAuthStatus::NotDetermined;
    QList<PhotoAsset> m_albumAssets;
    QString m_albumAssetsID; // the album whose pictures the list is waiting for
    Appearance m_editing = Appearance::Light;
    Look m_lightLook;
    Look m_darkLook = Look::initialDark();
    ResolutionPreset m_preset = ResolutionPreset::proDisplayXDR();
    qint64 m_customWidth = 6016;
    qint64 m_customHeight = 3384;
    QImage m_preview;
    bool m_isExporting = false;
    QTimer m_renderTimer;
    QTimer m_statusTimer;
    // The drag file: written for one generation of the looks; a result for an older one is
    // thrown away. One worker at a time; `m_dragJob` is shared with it.
    struct DragJob;
    QTimer m_dragTimer;
    quint64 m_dragGeneration = 0;
    std::shared_ptr<DragJob> m_dragJob;
    QString m_dragFile;
    std::optional<QString> m_dragError; // the preparation of this generation failed
    bool m_dragHandedOut = false;       // a drop target may still be reading m_dragFile
    QStringList m_droppedFiles;         // handed out earlier, removed with the model
    bool m_dragWanted = false;
    QString m_lastOutput; // written by an export of the current looks, or empty
};
