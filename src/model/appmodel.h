#pragma once

// The program's state while a person edits a wallpaper — the two looks, which one is edited,
// the output size, the picture source chosen, the preview, the status and error lines — and
// the operations on it. The search, the photo library, loading a picture, the output jobs, the
// drag file and the day cycle being made are parts of their own, owned here and reachable for the
// views that follow their signals. One per application, confined to the main thread; every
// assignment notifies, also one that stores the value already there.

#include "model/daycyclepreview.h"
#include "model/dragfile.h"
#include "model/exporterror.h"
#include "model/librarybrowser.h"
#include "model/look.h"
#include "model/outputjobs.h"
#include "model/pictureloader.h"
#include "model/renderpipeline.h"
#include "model/unsplashsearch.h"
#include "model/valuetypes.h"
#include "sources/photolibraryaccess.h"
#include "sources/unsplashclient.h"
#include "sources/unsplashphoto.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

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

    static constexpr int kRenderDelayMs = 60;
    static constexpr int kStatusDismissMs = 4000;

    explicit AppModel(Services services = {}, QObject *parent = nullptr);
    // With `builtInKey` for users without their own key instead of the binary's.
    AppModel(Services services, const QString &builtInKey, QObject *parent = nullptr);
    ~AppModel() override;

    // --- the parts ----------------------------------------------------------------------
    UnsplashSearch *search() const { return m_search; }
    LibraryBrowser *library() const { return m_library; }
    PictureLoader *loader() const { return m_loader; }
    OutputJobs *jobs() const { return m_jobs; }
    DragFile *dragFile() const { return m_drag; }
    // What export, drag, „In Fotos sichern“ and the set write: the pair, or a day cycle.
    DayCyclePreview *dayCycle() const { return m_dayCycle; }

    // --- published state --------------------------------------------------------------
    QString accessKey() const { return m_search->accessKey(); }
    void setAccessKey(const QString &key) { m_search->setAccessKey(key); }
    QString query() const { return m_search->query(); }
    void setQuery(const QString &query) { m_search->setQuery(query); }
    QList<UnsplashPhoto> results() const { return m_search->results(); }
    bool isSearching() const { return m_search->isSearching(); }
    bool isLoadingSource() const { return m_loader->isLoading(); }
    std::optional<QString> errorMessage() const { return m_errorMessage; }
    void setErrorMessage(const std::optional<QString> &message);
    std::optional<QString> statusMessage() const { return m_statusMessage; }
    void setStatusMessage(const std::optional<QString> &message);
    std::optional<ImageSource> selectedSource() const { return m_selectedSource; }
    void setSelectedSource(const std::optional<ImageSource> &source);
    std::optional<QString> lastAlbumID() const { return m_library->lastAlbumID(); }
    // Plain paths, newest first.
    QStringList recentFiles() const { return m_loader->recentFiles(); }
    QList<PhotoAlbum> photoAlbums() const { return m_library->albums(); }
    PhotosAuthStatus photosAuthStatus() const { return m_library->authStatus(); }
    QList<PhotoAsset> albumAssets() const { return m_library->assets(); }
    Appearance editing() const { return m_editing; }
    void setEditing(Appearance appearance);
    const Look &lightLook() const { return m_lightLook; }
    const Look &darkLook() const { return m_darkLook; }
    ResolutionPreset preset() const { return m_size.preset; }
    // A person's choice: from now on a new screen changes the size only while the choice is
    // „Dieser Bildschirm“.
    void setPreset(const ResolutionPreset &preset);
    // „Dieser Bildschirm“ as the window finds the screens (ResolutionPreset::forScreens); none
    // without a screen. Until a size is chosen the output is this screen's size, and before any
    // screen is known the first preset: voskan-render, which has no screen, keeps 6016 × 3384.
    std::optional<ResolutionPreset> screenPreset() const { return m_screenPreset; }
    void setScreenPreset(const std::optional<ResolutionPreset> &screen);
    qint64 customWidth() const { return m_size.customWidth; }
    void setCustomWidth(qint64 width);
    qint64 customHeight() const { return m_size.customHeight; }
    void setCustomHeight(qint64 height);
    // The last rendered preview; null when nothing could be rendered.
    QImage preview() const { return m_preview; }

    // --- derived ----------------------------------------------------------------------
    Appearance effectiveAppearance() const { return m_editing; }
    const Look &currentLook() const;
    static bool lookHasContent(const Look &look);
    bool canExport() const;
    // Why export and set cannot run now, in words for a disabled button; none when they can.
    std::optional<QString> exportBlocker() const;
    SourceKind sourceKind() const;
    void setSourceKind(SourceKind kind);
    QString selectedAlbumID() const;
    void setSelectedAlbumID(const QString &id);
    QString effectiveKey() const { return m_search->effectiveKey(); }
    // Searches Unsplash for the trimmed query; the outcome arrives in results, errorMessage
    // and isSearching.
    void runSearch() { m_search->runSearch(); }

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
    // `palette`: the photo's, which the other look takes in its own way (Look::setPalette).
    void seedOtherIfNeeded(Appearance from, const std::array<QColor, 3> &palette);

    // --- rendering --------------------------------------------------------------------
    void scheduleRender();
    void renderPreview();
    RenderPipeline::PixelSize pixelSize() const;
    // The looks as „Täglich neu“ renders each day's photo, in voskan-render's options: every
    // field of both looks (not the flow colours, which each photo gives) and the size.
    QStringList dailyOptions() const;
    QString pixelSizeLabel() const;

    // --- pictures ---------------------------------------------------------------------
    void applySource(const Bitmap &picture, const std::optional<QString> &photoID,
                     const std::optional<QString> &baseName,
                     const std::optional<QString> &attribution,
                     const std::optional<QString> &attributionURL, Appearance to);
    // Each loads for the appearance edited now (pictureloader.h); isLoadingSource is set
    // meanwhile, and only the choice made last is applied.
    void select(const UnsplashPhoto &photo) { m_loader->select(photo); }
    // A file opened from anywhere (the dialog, a drop, the command line, a second start) shows
    // with „Dateien“: the source becomes the one whose recent files it joins.
    void openLocalImage(const QString &path) { openLocalImages({path}); }
    void openLocalImages(const QStringList &paths);
    void selectAlbumAsset(const PhotoAsset &asset) { m_loader->selectAlbumAsset(asset); }
    void reloadPaletteFromPhoto();

    // --- a dynamic wallpaper made elsewhere (dynamicpicture.h) ----------------------------
    struct DynamicWallpaper
    {
        QString path;
        WallpaperSchedule schedule;
        QString summary;       // „Dynamisches Wallpaper: 16 Bilder, Sonnenstand“
        PictureLines pictures; // a line and a caption per picture
        SourceKind openedFrom = SourceKind::Files;
    };
    // While the looks show an opened dynamic wallpaper as it is; none once either is edited.
    const std::optional<DynamicWallpaper> &dynamicWallpaper() const { return m_dynamic; }
    // Its pictures are listed with the source it was opened from, not under another one's
    // browser. Follows dynamicWallpaperChanged and selectedSourceChanged.
    bool listsDynamicWallpaper() const
    {
        return m_dynamic && m_dynamic->openedFrom == sourceKind();
    }
    // Puts picture `index` of the open dynamic wallpaper into the look edited now, as it is:
    // a look through its day. Read on a worker; isLoadingSource is set meanwhile.
    void showDynamicPicture(int index);

    // --- output (outputjobs.h, dragfile.h) ---------------------------------------------
    // "<base>-dynamic-<w>x<h>.<ext>" ("-day-cycle-" for a day cycle), the base from the light
    // look or "voskan-wallpaper".
    QString exportFileName(const QString &ext) const;
    // Renders both looks at full size and writes the dynamic wallpaper to `path`, on the
    // calling thread; the error's German text, or nothing.
    std::optional<QString> writeOutput(const QString &path) const;
    // On a worker, jobs()->isBusy() meanwhile: the outcome lands in statusMessage
    // ("Exportiert: <name>") or errorMessage.
    void exportTo(const QString &path) { m_jobs->exportTo(path); }
    // Writes the wallpaper to a temporary file and adds it to the library's album "Voskan".
    void saveToPhotosLibrary();
    // Writes the wallpaper to whichever of "wallpaper-a.heic" / "wallpaper-b.heic" the desktop
    // does not show and sets it on every screen. statusMessage says so once the desktop has
    // been told; jobs() stays busy until the HEIC is written too.
    void setAsDesktop();
    // How far the output the person waits for is: a running job, or the file a drag waits for.
    struct OutputProgress
    {
        bool active = false;
        double done = 0; // 0 to 1
        QString label;   // the step, German
        bool cancellable = false;
    };
    OutputProgress outputProgress() const;
    // Stops that output at its next step; it leaves nothing behind and the status says so.
    void cancelOutput();
    QMimeData *makeDragData() { return m_drag->makeDragData(); }

    // --- photo library ----------------------------------------------------------------
    void refreshPhotosAuthStatus() { m_library->refreshAuthStatus(); }
    void requestPhotosAccess() { m_library->requestAccess(); }
    void loadPhotoAlbums() { m_library->loadAlbums(); }
    void loadAlbumAssets(const QString &albumID) { m_library->loadAssets(albumID); }

Q_SIGNALS:
    void errorMessageChanged();
    void statusMessageChanged();
    void selectedSourceChanged();
    void editingChanged();
    void lightLookChanged();
    void darkLookChanged();
    void presetChanged();
    void customWidthChanged();
    void customHeightChanged();
    void previewChanged();
    void dynamicWallpaperChanged();
    void outputProgressChanged();

private:
    // The size chosen for the output: a preset, or the custom width and height.
    struct SizeChoice
    {
        ResolutionPreset preset = ResolutionPreset::proDisplayXDR();
        qint64 customWidth = 6016;
        qint64 customHeight = 3384;
        bool chosen = false; // by setPreset, not by the screen
    };

    Look &lookFor(Appearance appearance);
    void editLook(Appearance appearance, const std::function<void(Look &)> &change);
    void setLook(Appearance appearance, const Look &look);
    // The picture into `to`, with `credit` naming where it came from, its palette through
    // that look's tone; the other look seeded while it has no picture.
    void placePicture(Appearance to, const Bitmap &picture, const std::array<QColor, 3> &palette,
                      const std::function<void(Look &)> &credit);
    void applyLoaded(const LoadedPicture &loaded, Appearance to);
    void applyDynamic(const OpenedDynamic &opened, SourceKind from);
    void setDynamic(std::optional<DynamicWallpaper> dynamic);
    OutputJobs::Request outputRequest() const;
    void scheduleStatusDismiss();

    std::optional<QString> m_errorMessage;
    std::optional<QString> m_statusMessage;
    std::optional<ImageSource> m_selectedSource = ImageSource::unsplash();
    Appearance m_editing = Appearance::Light;
    Look m_lightLook;
    Look m_darkLook = Look::initialDark();
    SizeChoice m_size;
    std::optional<ResolutionPreset> m_screenPreset;
    QImage m_preview;
    QTimer m_renderTimer;            // kRenderDelayMs after the last change
    QTimer m_throttleTimer;          // kRenderDelayMs after the first change not yet rendered
    QElapsedTimer m_throttledRender; // since the last render the throttle made, in a drag
    QTimer m_statusTimer;
    UnsplashSearch *m_search;
    LibraryBrowser *m_library;
    PictureLoader *m_loader;
    OutputJobs *m_jobs;
    DragFile *m_drag;
    DayCyclePreview *m_dayCycle;
    std::optional<DynamicWallpaper> m_dynamic;
    bool m_showingDynamic = false; // the looks are being set to the dynamic wallpaper's pictures
    quint64 m_dynamicRequest = 0;  // the picture of showDynamicPicture awaited
};
