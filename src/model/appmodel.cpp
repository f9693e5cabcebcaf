#include "appmodel.h"

#include "model/palette.h"
#include "model/secrets.h"
#include "output/dynamicwallpaper.h"
#include "output/fileerror.h"
#include "output/filenames.h"
#include "output/sessiondesktop.h"
#include "render/imagedecoder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QMimeData>
#include <QMutex>
#include <QPointer>
#include <QScopeGuard>
#include <QSettings>
#include <QThreadPool>
#include <QUrl>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

#include <filesystem>
#include <future>

namespace {

// The drag file is written ahead of a drag that may never come: in a thread the scheduler
// serves only when nothing else wants the cores (SCHED_IDLE, inherited by the encoder's own
// threads), so a set or an export clicked meanwhile runs at full speed.
QThreadPool *dragPool()
{
    // Owned by the application, whose end waits for a file being written.
    static QThreadPool *pool = [] {
        auto *created = new QThreadPool(QCoreApplication::instance());
        created->setMaxThreadCount(1);
        created->setThreadPriority(QThread::IdlePriority);
        return created;
    }();
    return pool;
}

} // namespace

namespace {

QSettings userSettings()
{
    return QSettings(QStringLiteral("Voskan"), QStringLiteral("Voskan"));
}

void setPalette(Look &look, const Bitmap &picture)
{
    const auto palette = Palette::extractPalette(picture);
    look.flowColor0 = palette[0];
    look.flowColor1 = palette[1];
    look.flowColor2 = palette[2];
}

} // namespace

AppModel::AppModel(Services services, QObject *parent)
    : QObject(parent), m_services(std::move(services))
{
    m_renderTimer.setSingleShot(true);
    m_renderTimer.setTimerType(Qt::PreciseTimer);
    m_renderTimer.setInterval(kRenderDelayMs);
    connect(&m_renderTimer, &QTimer::timeout, this, &AppModel::renderPreview);
    m_statusTimer.setSingleShot(true);
    m_statusTimer.setTimerType(Qt::PreciseTimer);
    m_statusTimer.setInterval(kStatusDismissMs);
    connect(&m_statusTimer, &QTimer::timeout, this, [this] { setStatusMessage(std::nullopt); });
    m_dragTimer.setSingleShot(true);
    m_dragTimer.setInterval(kDragPrepareDelayMs);
    connect(&m_dragTimer, &QTimer::timeout, this, &AppModel::prepareDrag);
    for (auto signal :
         {&AppModel::lightLookChanged, &AppModel::darkLookChanged, &AppModel::presetChanged,
          &AppModel::customWidthChanged, &AppModel::customHeightChanged})
        connect(this, signal, this, &AppModel::dragLooksChanged);
    // A drag file is not written beside an export: both at once would double the memory peak.
    connect(this, &AppModel::isExportingChanged, this, [this] {
        if (!m_isExporting && (m_dragWanted || (m_dragFile.isEmpty() && !m_dragTimer.isActive())))
            prepareDrag();
    });

    // Start-up order: initial values (above), the stored key without storing it again, the
    // recent files as an ordinary change, then the photo library's state.
    m_accessKey = userSettings().value(QLatin1String(kAccessKeyKey)).toString();
    setRecentFiles(loadRecentFiles());
    refreshPhotosAuthStatus();
}

// What the model and the worker writing a drag file share: the model may be gone before the
// worker is done, and then the worker removes what it wrote.
struct AppModel::DragJob
{
    QMutex mutex;
    bool abandoned = false;
    QString written; // complete, not yet taken over by the model
};

AppModel::~AppModel()
{
    if (m_dragJob) {
        const QMutexLocker lock(&m_dragJob->mutex);
        m_dragJob->abandoned = true;
        if (!m_dragJob->written.isEmpty())
            QFile::remove(m_dragJob->written);
    }
    // A drop has long been read when the window closes.
    m_droppedFiles << m_dragFile;
    for (const QString &path : std::as_const(m_droppedFiles))
        if (!path.isEmpty())
            QFile::remove(path);
}

// --- published state --------------------------------------------------------------------

void AppModel::setAccessKey(const QString &key)
{
    m_accessKey = key;
    userSettings().setValue(QLatin1String(kAccessKeyKey), key); // as typed, not trimmed
    Q_EMIT accessKeyChanged();
}

void AppModel::setQuery(const QString &query)
{
    m_query = query;
    Q_EMIT queryChanged();
}

void AppModel::setErrorMessage(const std::optional<QString> &message)
{
    m_errorMessage = message;
    Q_EMIT errorMessageChanged();
}

void AppModel::setStatusMessage(const std::optional<QString> &message)
{
    m_statusMessage = message;
    Q_EMIT statusMessageChanged();
    scheduleStatusDismiss();
}

void AppModel::setSelectedSource(const std::optional<ImageSource> &source)
{
    m_selectedSource = source;
    if (source && source->isAlbum() && !source->albumId().isEmpty())
        m_lastAlbumID = source->albumId();
    Q_EMIT selectedSourceChanged();
}

void AppModel::setPhotoAlbums(const QList<PhotoAlbum> &albums)
{
    m_photoAlbums = albums;
    Q_EMIT photoAlbumsChanged();
}

void AppModel::setEditing(Appearance appearance)
{
    m_editing = appearance;
    Q_EMIT editingChanged();
    renderPreview();
}

void AppModel::setPreset(const ResolutionPreset &preset)
{
    m_preset = preset;
    Q_EMIT presetChanged();
    renderPreview();
}

void AppModel::setCustomWidth(qint64 width)
{
    m_customWidth = width;
    Q_EMIT customWidthChanged();
    renderPreview();
}

void AppModel::setCustomHeight(qint64 height)
{
    m_customHeight = height;
    Q_EMIT customHeightChanged();
    renderPreview();
}

void AppModel::setIsLoadingSource(bool loading)
{
    m_isLoadingSource = loading;
    Q_EMIT isLoadingSourceChanged();
}

void AppModel::setRecentFiles(const QStringList &files)
{
    m_recentFiles = files;
    Q_EMIT recentFilesChanged();
}

void AppModel::setResults(const QList<UnsplashPhoto> &results)
{
    m_results = results;
    Q_EMIT resultsChanged();
}

void AppModel::setIsSearching(bool searching)
{
    m_isSearching = searching;
    Q_EMIT isSearchingChanged();
}

void AppModel::setPhotosAuthStatus(PhotosAuthStatus status)
{
    m_photosAuthStatus = status;
    Q_EMIT photosAuthStatusChanged();
}

// --- derived ------------------------------------------------------------------------------

const Look &AppModel::currentLook() const
{
    return m_editing == Appearance::Dark ? m_darkLook : m_lightLook;
}

bool AppModel::lookHasContent(const Look &look)
{
    return look.style == WallpaperStyle::Flow || look.source.has_value();
}

bool AppModel::canExport() const
{
    return lookHasContent(m_lightLook) && lookHasContent(m_darkLook);
}

SourceKind AppModel::sourceKind() const
{
    return ::sourceKind(m_selectedSource);
}

void AppModel::setSourceKind(SourceKind kind)
{
    switch (kind) {
    case SourceKind::Unsplash:
        setSelectedSource(ImageSource::unsplash());
        return;
    case SourceKind::Files:
        setSelectedSource(ImageSource::files());
        return;
    case SourceKind::Photos:
        break;
    }
    if (m_selectedSource && m_selectedSource->isAlbum())
        return;
    // The album chosen last, else the first, else the library before its albums are known.
    for (const PhotoAlbum &album : std::as_const(m_photoAlbums)) {
        if (m_lastAlbumID && album.id == *m_lastAlbumID) {
            setSelectedSource(ImageSource::album(album.id, album.title));
            return;
        }
    }
    if (!m_photoAlbums.isEmpty())
        setSelectedSource(
            ImageSource::album(m_photoAlbums.first().id, m_photoAlbums.first().title));
    else
        setSelectedSource(ImageSource::album(QString(), QString()));
}

QString AppModel::selectedAlbumID() const
{
    return m_selectedSource && m_selectedSource->isAlbum() ? m_selectedSource->albumId()
                                                           : QString();
}

void AppModel::setSelectedAlbumID(const QString &id)
{
    for (const PhotoAlbum &album : std::as_const(m_photoAlbums)) {
        if (album.id == id) {
            setSelectedSource(ImageSource::album(album.id, album.title));
            return;
        }
    }
}

QString AppModel::effectiveKey() const
{
    return effectiveKey(m_accessKey);
}

QString AppModel::effectiveKey(const QString &userKey)
{
    // Only spaces and tabs: a key never contains them, while a pasted line break is kept so
    // the service rejects it visibly.
    qsizetype begin = 0, end = userKey.size();
    const auto blank = [](QChar c) {
        return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space;
    };
    while (begin < end && blank(userKey.at(begin)))
        ++begin;
    while (end > begin && blank(userKey.at(end - 1)))
        --end;
    const QString key = userKey.mid(begin, end - begin);
    return key.isEmpty() ? Secrets::unsplashKey() : key;
}

void AppModel::runSearch()
{
    const QString text = m_query.trimmed();
    if (text.isEmpty()) {
        setResults({});
        setErrorMessage(std::nullopt);
        return;
    }
    setIsSearching(true);
    setErrorMessage(std::nullopt);
    const std::shared_ptr<UnsplashClient> client =
        m_services.unsplash ? m_services.unsplash(effectiveKey()) : nullptr;
    if (!client) {
        setErrorMessage(QStringLiteral("Unsplash ist nicht verfügbar."));
        setIsSearching(false);
        return;
    }
    // Overlapping searches are not tracked: each writes its outcome when it finishes.
    QPointer<AppModel> self(this);
    client->search(
        text, 1, kHitsPerPage, [self, client, text](UnsplashClient::SearchResult result) {
            if (!self)
                return;
            if (const auto *hits = std::get_if<QList<UnsplashPhoto>>(&result)) {
                self->setResults(*hits);
                if (hits->isEmpty())
                    self->setErrorMessage(QStringLiteral("Keine Treffer für „%1“.").arg(text));
            } else {
                self->setErrorMessage(std::get<QString>(result));
            }
            self->setIsSearching(false);
        });
}

// --- editing ------------------------------------------------------------------------------

Look &AppModel::lookFor(Appearance appearance)
{
    return appearance == Appearance::Dark ? m_darkLook : m_lightLook;
}

void AppModel::editLook(Appearance appearance, const std::function<void(Look &)> &change)
{
    change(lookFor(appearance));
    if (appearance == Appearance::Dark)
        Q_EMIT darkLookChanged();
    else
        Q_EMIT lightLookChanged();
}

void AppModel::setLook(Appearance appearance, const Look &look)
{
    editLook(appearance, [&look](Look &target) { target = look; });
}

Binding<SourceKind> AppModel::sourceKindBinding()
{
    return Binding<SourceKind>([this] { return sourceKind(); },
                               [this](const SourceKind &kind) { setSourceKind(kind); });
}

Binding<QString> AppModel::albumBinding()
{
    return Binding<QString>(
        [this] {
            const QString id = selectedAlbumID();
            for (const PhotoAlbum &album : std::as_const(m_photoAlbums))
                if (album.id == id)
                    return id;
            return m_photoAlbums.isEmpty() ? id : m_photoAlbums.first().id;
        },
        [this](const QString &id) { setSelectedAlbumID(id); });
}

void AppModel::copyCurrentLookToOther()
{
    setLook(other(m_editing), currentLook());
    renderPreview();
}

void AppModel::resetCurrentLook()
{
    const Look defaults;
    editLook(m_editing, [&defaults](Look &look) {
        const bool tone = look.style != WallpaperStyle::Flow;
        if (tone) {
            look.blur = defaults.blur;
            look.setTone(defaults.tone());
        }
        look.dither = defaults.dither;
        if (look.style == WallpaperStyle::Flow) {
            look.flowBands = defaults.flowBands;
            look.flowAmplitude = defaults.flowAmplitude;
            look.flowFrequency = defaults.flowFrequency;
            look.flowSharpness = defaults.flowSharpness;
            look.flowEdgeSoftness = defaults.flowEdgeSoftness;
            look.flowPhase = defaults.flowPhase;
        }
        if (look.style == WallpaperStyle::Mirror) {
            look.mirrorLine = defaults.mirrorLine;
            look.mirrorAmplitude = defaults.mirrorAmplitude;
            look.mirrorFrequency = defaults.mirrorFrequency;
            look.mirrorPhase = defaults.mirrorPhase;
            look.mirrorHardness = defaults.mirrorHardness;
            look.mirrorDepth = defaults.mirrorDepth;
            look.mirrorSideFade = defaults.mirrorSideFade;
        }
    });
    scheduleRender();
}

void AppModel::seedOtherIfNeeded(Appearance from)
{
    const Appearance to = other(from);
    if (lookFor(to).source || !lookFor(from).source)
        return; // a picture is never overwritten
    Look seeded = lookFor(from);
    seeded.setTone(Tone::defaultFor(to));
    setLook(to, seeded);
}

// --- rendering ----------------------------------------------------------------------------

void AppModel::scheduleRender()
{
    m_renderTimer.start(); // a pending render is cancelled by the restart
}

void AppModel::scheduleStatusDismiss()
{
    m_statusTimer.stop();
    if (m_statusMessage)
        m_statusTimer.start();
}

void AppModel::renderPreview()
{
    m_renderTimer.stop(); // whatever was pending is covered by this render
    const auto bitmap =
        RenderPipeline::renderCG(currentLook(), RenderPipeline::previewSize(pixelSize()), false);
    m_preview = bitmap ? bitmap->toImage() : QImage();
    Q_EMIT previewChanged();
}

RenderPipeline::FullRender AppModel::renderFull(const Look &look) const
{
    return RenderPipeline::renderFull(look, pixelSize());
}

RenderPipeline::PixelSize AppModel::pixelSize() const
{
    return RenderPipeline::pixelSize(m_preset, m_customWidth, m_customHeight);
}

QString AppModel::pixelSizeLabel() const
{
    return RenderPipeline::pixelSizeLabel(pixelSize());
}

// --- pictures -----------------------------------------------------------------------------

void AppModel::applySource(const Bitmap &picture, const std::optional<QString> &photoID,
                           const std::optional<QString> &baseName,
                           const std::optional<QString> &attribution,
                           const std::optional<QString> &attributionURL, Appearance to)
{
    editLook(to, [&](Look &look) {
        look.source = picture;
        look.photoID = photoID;
        look.baseName = baseName;
        look.attribution = attribution;
        look.attributionURL = attributionURL;
        setPalette(look, picture);
    });
    seedOtherIfNeeded(to);
    renderPreview();
}

void AppModel::select(const UnsplashPhoto &photo)
{
    const Appearance target = m_editing;
    ++m_openRequest; // a file still opening would overwrite this choice
    setIsLoadingSource(true);
    setErrorMessage(std::nullopt);
    const std::shared_ptr<UnsplashClient> loader =
        m_services.unsplash ? m_services.unsplash(effectiveKey()) : nullptr;
    if (!loader) {
        setErrorMessage(QStringLiteral("Unsplash ist nicht verfügbar."));
        setIsLoadingSource(false);
        return;
    }
    QPointer<AppModel> self(this);
    loader->loadImage(
        photo.urls.regular, [self, loader, photo, target](UnsplashClient::ImageResult result) {
            if (!self)
                return;
            if (const QString *error = std::get_if<QString>(&result)) {
                self->setErrorMessage(*error);
                self->setIsLoadingSource(false);
                return;
            }
            const std::optional<QString> profile =
                photo.user.links ? photo.user.links->html : std::nullopt;
            self->applySource(std::get<Bitmap>(result), photo.id, FileNames::baseName(photo),
                              QStringLiteral("Foto: %1 · Unsplash").arg(photo.user.name), profile,
                              target);
            if (photo.links && photo.links->downloadLocation)
                self->trackDownload(*photo.links->downloadLocation);
            self->setIsLoadingSource(false);
        });
}

void AppModel::trackDownload(const QString &url)
{
    // Asked with the key current when the report goes out; nobody waits for the outcome.
    QPointer<AppModel> self(this);
    QTimer::singleShot(0, this, [self, url] {
        if (!self || !self->m_services.unsplash)
            return;
        if (const auto loader = self->m_services.unsplash(self->effectiveKey()))
            loader->trackDownload(url);
    });
}

void AppModel::reloadPaletteFromPhoto()
{
    if (!currentLook().source)
        return;
    const Bitmap picture = *currentLook().source;
    editLook(m_editing, [&picture](Look &look) { setPalette(look, picture); });
    scheduleRender();
}

void AppModel::openLocalImage(const QString &path)
{
    openLocalImages({path});
}

void AppModel::openLocalImages(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    m_queuedOpens = paths.mid(1);
    startOpen(paths.constFirst(), true);
}

void AppModel::startOpen(const QString &path, bool clearError)
{
    if (clearError)
        setErrorMessage(std::nullopt);
    setIsLoadingSource(true);
    const QFileInfo info(path);
    const Appearance target = m_editing;
    // Decoding a camera photo takes a tenth of a second, a hostile PNG seconds: it and the
    // palette run on a worker. Opens are not cancelled; only the one asked for last applies.
    const quint64 request = ++m_openRequest;
    struct Opened
    {
        std::optional<Bitmap> picture;
        std::array<QColor, 3> palette;
        QString reason; // the decoder's, when there is no picture
    };
    auto *watcher = new QFutureWatcher<Opened>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, info, target, request] {
        const Opened opened = watcher->result();
        watcher->deleteLater();
        if (request != m_openRequest)
            return;
        // The next file of a batch begins once this one is applied, so they land in order.
        const auto next = qScopeGuard([this] {
            if (m_queuedOpens.isEmpty())
                setIsLoadingSource(false);
            else
                startOpen(m_queuedOpens.takeFirst(), false);
        });
        if (!opened.picture) {
            // Of a batch, the first failure is the one to tell; the reason on a line of its
            // own, in the words the command line uses too.
            if (!m_errorMessage)
                setErrorMessage(QStringLiteral("Bild konnte nicht geladen werden: ") +
                                info.fileName() + QLatin1Char('\n') + opened.reason);
            return;
        }
        // The picture replaced may be the last hold on hundreds of megabytes: giving them back
        // takes long enough to be felt, so that happens on a worker too.
        std::optional<Bitmap> replaced = lookFor(target).source;
        editLook(target, [&](Look &look) {
            look.source = *opened.picture;
            look.photoID = info.absoluteFilePath();
            // Only the last extension goes: "Bild.final.png" is "Bild.final".
            const QString name = info.fileName();
            const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
            look.baseName = dot > 0 ? name.left(dot) : name;
            look.attribution = name;
            look.attributionURL.reset();
            look.flowColor0 = opened.palette[0];
            look.flowColor1 = opened.palette[1];
            look.flowColor2 = opened.palette[2];
        });
        seedOtherIfNeeded(target);
        renderPreview();
        recordRecent(info.absoluteFilePath());
        QThreadPool::globalInstance()->start([replaced = std::move(replaced)] {});
    });
    watcher->setFuture(
        QtConcurrent::run([path, look = lookFor(target),
                           preview = RenderPipeline::previewSize(pixelSize())]() mutable -> Opened {
            // Rethrown by the watcher, an exception would land in the event loop: memory that
            // runs out counts as a picture that cannot be read.
            try {
                const DecodeResult decoded = ImageDecoder::decodeFile(path);
                if (!decoded.isOk())
                    return {std::nullopt, {}, decoded.errorString()};
                // The first render of a picture shrinks it once and keeps that: a tenth of a
                // second for a 100 MP one, spent here rather than in the window's preview.
                look.source = decoded.bitmap();
                RenderPipeline::renderCG(look, preview, false);
                return {decoded.bitmap(), Palette::extractPalette(decoded.bitmap()), {}};
            } catch (const std::exception &) {
                return {std::nullopt, {}, description(DecodeError::OutOfMemory)};
            }
        }));
}

void AppModel::recordRecent(const QString &path)
{
    QStringList files = m_recentFiles;
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > kMaxRecentFiles)
        files.removeLast();
    setRecentFiles(files);
    saveRecentFiles();
}

void AppModel::saveRecentFiles()
{
    userSettings().setValue(QLatin1String(kRecentFilesKey), m_recentFiles);
}

QStringList AppModel::loadRecentFiles()
{
    const QVariant stored = userSettings().value(QLatin1String(kRecentFilesKey));
    QStringList files;
    if (stored.typeId() != QMetaType::QStringList && stored.typeId() != QMetaType::QVariantList &&
        stored.typeId() != QMetaType::QString)
        return files;
    for (const QString &path : stored.toStringList()) {
        const QFileInfo info(path);
        if (info.isFile() && info.isReadable())
            files << path;
    }
    return files;
}

// --- output -------------------------------------------------------------------------------

QString AppModel::exportFileName(const QString &ext) const
{
    const RenderPipeline::PixelSize size = pixelSize();
    return m_lightLook.baseName.value_or(QStringLiteral("voskan-wallpaper")) +
           QStringLiteral("-dynamic-") + QString::number(size.width) + QLatin1Char('x') +
           QString::number(size.height) + QLatin1Char('.') + ext;
}

std::optional<QString> AppModel::writeOutput(const Look &light, const Look &dark,
                                             RenderPipeline::PixelSize size, const QString &path,
                                             const PicturesWriter &alsoWrite)
{
    if (const auto error = RenderPipeline::sizeError(size))
        return error;
    // One picture after the other, so a failing light render costs no dark render.
    const RenderPipeline::FullRender lightRender = RenderPipeline::renderFull(light, size);
    if (const auto *error = std::get_if<ExportError>(&lightRender))
        return description(*error);
    const RenderPipeline::FullRender darkRender = RenderPipeline::renderFull(dark, size);
    if (const auto *error = std::get_if<ExportError>(&darkRender))
        return description(*error);
    if (const auto error = DynamicWallpaper::writeHEIC(std::get<Bitmap>(lightRender),
                                                       std::get<Bitmap>(darkRender), path))
        return description(*error);
    if (alsoWrite)
        return alsoWrite(std::get<Bitmap>(lightRender), std::get<Bitmap>(darkRender));
    return std::nullopt;
}

std::optional<QString> AppModel::writeOutput(const QString &path) const
{
    return writeOutput(m_lightLook, m_darkLook, pixelSize(), path);
}

void AppModel::writeOutputInBackground(const QString &path,
                                       std::function<void(std::optional<QString>)> done)
{
    m_isExporting = true;
    Q_EMIT isExportingChanged();
    // Rendering and encoding take seconds; they run on copies of the looks on a worker, and
    // every model change happens back here on the main thread.
    auto *watcher = new QFutureWatcher<std::optional<QString>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this,
            [this, watcher, path, generation = m_dragGeneration, done = std::move(done)] {
                const std::optional<QString> error = watcher->result();
                watcher->deleteLater();
                // The drag file of these looks is then a copy away; the end of the busy
                // state below starts it.
                if (!error && generation == m_dragGeneration)
                    m_lastOutput = path;
                m_isExporting = false;
                Q_EMIT isExportingChanged();
                done(error);
            });
    watcher->setFuture(
        QtConcurrent::run([light = m_lightLook, dark = m_darkLook, size = pixelSize(), path] {
            return writeOutput(light, dark, size, path);
        }));
}

bool AppModel::refuseOversize()
{
    const std::optional<QString> error = RenderPipeline::sizeError(pixelSize());
    if (error) {
        setErrorMessage(*error);
        Q_EMIT exportFinished();
    }
    return error.has_value();
}

void AppModel::exportTo(const QString &path)
{
    if (m_isExporting || refuseOversize())
        return;
    writeOutputInBackground(path, [this, path](const std::optional<QString> &error) {
        if (error)
            setErrorMessage(*error);
        else
            setStatusMessage(QStringLiteral("Exportiert: ") + QFileInfo(path).fileName());
        Q_EMIT exportFinished();
    });
}

void AppModel::saveToPhotosLibrary()
{
    if (m_isExporting)
        return;
    setErrorMessage(std::nullopt);
    if (refuseOversize())
        return;
    const QString path =
        QDir(QDir::tempPath())
            .filePath(QStringLiteral("photos-export-%1.heic")
                          .arg(QUuid::createUuid().toString(QUuid::Id128).left(8).toUpper()));
    writeOutputInBackground(path, [this, path](const std::optional<QString> &error) {
        if (error) { // a failed write never reaches the library
            setErrorMessage(*error);
            Q_EMIT exportFinished();
            return;
        }
        if (!m_services.photos) {
            QFile::remove(path);
            setErrorMessage(description(PhotosExportError::AddFailed));
            Q_EMIT exportFinished();
            return;
        }
        QPointer<AppModel> self(this);
        m_services.photos->addToAlbum(
            path, QStringLiteral("Voskan"), [self, path](std::optional<PhotosExportError> failure) {
                QFile::remove(path);
                if (!self)
                    return;
                if (failure)
                    self->setErrorMessage(description(*failure));
                else
                    self->setStatusMessage(QStringLiteral("In Fotos gesichert (Album „Voskan“)."));
                Q_EMIT self->exportFinished();
            });
    });
}

std::optional<QString> AppModel::appSupportDir()
{
    const QString folder = voskanDataFolder();
    if (!QDir().mkpath(folder))
        return std::nullopt;
    return folder;
}

namespace {

// What the worker of a set reports: first that the desktop was told, then the outcome.
struct SetStep
{
    bool told = false;
    std::optional<QString> error;
};

} // namespace

void AppModel::setAsDesktop()
{
    if (m_isExporting)
        return;
    setErrorMessage(std::nullopt);
    if (refuseOversize())
        return;
    if (!m_desktop)
        m_desktop = sessionDesktopService();
    m_isExporting = true;
    Q_EMIT isExportingChanged();
    // Renders, pictures and encoding take seconds, and a desktop may take its time to answer
    // (the portal waits for a person): all of it runs on a worker with copies of the looks and
    // its own reference to the service, which talks back only through the future, so a model
    // closed meanwhile is never touched. The busy flag lasts until the HEIC is written: the
    // next set or export must not take the slot, or a second encode the memory, before then.
    auto *watcher = new QFutureWatcher<SetStep>(this);
    connect(watcher, &QFutureWatcherBase::resultReadyAt, this, [this, watcher](int index) {
        if (watcher->resultAt(index).told)
            setStatusMessage(QStringLiteral("Als dynamisches Wallpaper gesetzt."));
    });
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        const QList<SetStep> steps = watcher->future().results();
        watcher->deleteLater();
        m_isExporting = false;
        Q_EMIT isExportingChanged();
        if (!steps.isEmpty() && steps.constLast().error) {
            setStatusMessage(std::nullopt); // the alert tells what became of the set
            setErrorMessage(steps.constLast().error);
        }
        Q_EMIT exportFinished();
    });
    watcher->setFuture(
        QtConcurrent::run([light = m_lightLook, dark = m_darkLook, size = pixelSize(),
                           desktop = m_desktop](QPromise<SetStep> &promise) {
            promise.addResult(SetStep{false, setAsDesktop(light, dark, size, *desktop, [&] {
                                          promise.addResult(SetStep{true, std::nullopt});
                                      })});
        }));
}

void AppModel::setDesktopService(std::shared_ptr<DesktopService> desktop)
{
    m_desktop = std::move(desktop);
}

std::optional<QString> AppModel::setAsDesktop(const Look &light, const Look &dark,
                                              RenderPipeline::PixelSize size,
                                              DesktopService &desktop,
                                              const std::function<void()> &told)
{
    std::variant<DesktopFiles, QString> prepared = prepareDesktopFiles(light, dark, size, desktop);
    if (const auto *error = std::get_if<QString>(&prepared))
        return *error;
    DesktopFiles &set = std::get<DesktopFiles>(prepared);
    // No desktop reads the HEIC, so it need not hold up the picture the user waits for.
    if (const auto error = desktop.setDesktopImage(set.files))
        return error;
    set.lock.reset(); // the desktop and the record name this set now: the next may choose
    if (told)
        told();
    const auto failure = DynamicWallpaper::writeHEIC(set.light, set.dark, set.files.heic);
    if (!failure)
        return std::nullopt;
    // Back to the wallpaper shown before, so the desktop never keeps half a set. Without one
    // (the first set, or its pictures gone) the complete pair stays: what the desktop had
    // before is not known, and the pair is what was asked for.
    // Only while this set is still the one shown: a set that came since keeps its picture.
    const SetLock again;
    const std::optional<WallpaperFiles> &previous = set.previous;
    if (DesktopService::recordedWallpaper().value_or(set.files.heic) == set.files.heic &&
        previous && QFileInfo::exists(previous->light) && QFileInfo::exists(previous->dark) &&
        !desktop.setDesktopImage(*previous)) {
        QFile::remove(set.files.light);
        QFile::remove(set.files.dark);
    }
    return description(*failure); // as an export says it: the same file, the same reasons
}

std::variant<AppModel::DesktopFiles, QString>
AppModel::prepareDesktopFiles(const Look &light, const Look &dark, RenderPipeline::PixelSize size,
                              DesktopService &desktop)
{
    if (const auto error = RenderPipeline::sizeError(size))
        return *error;
    if (const auto refused = dataFolderRefusal())
        return *refused;
    if (const auto refused = desktop.refusal(voskanDataFolder()))
        return *refused;
    const std::optional<QString> folder = appSupportDir();
    if (!folder)
        return QStringLiteral("Der Ordner für das Wallpaper konnte nicht angelegt werden.");
    // One picture after the other, so a failing light render costs no dark render.
    RenderPipeline::FullRender lightRender = RenderPipeline::renderFull(light, size);
    if (const auto *error = std::get_if<ExportError>(&lightRender))
        return description(*error);
    RenderPipeline::FullRender darkRender = RenderPipeline::renderFull(dark, size);
    if (const auto *error = std::get_if<ExportError>(&darkRender))
        return description(*error);

    // From here until the desktop is told, no other set may choose: both would take the slot
    // not shown, and the second would write over the first on screen.
    auto lock = std::make_unique<SetLock>();
    const std::optional<QString> current = desktop.shownWallpaper();
    // The desktop gets a name other than the one it shows, or it may keep its cached picture.
    const QDir dir(*folder);
    const QString a = QStringLiteral("wallpaper-a.heic"), b = QStringLiteral("wallpaper-b.heic");
    const QString shown = current ? QFileInfo(*current).fileName() : QString();
    DesktopFiles set{WallpaperFiles::forHeic(dir.filePath(shown == a ? b : a),
                                             QSize(int(size.width), int(size.height))),
                     std::get<Bitmap>(std::move(lightRender)),
                     std::get<Bitmap>(std::move(darkRender)),
                     {},
                     std::move(lock)};
    if (shown == a || shown == b)
        set.previous = WallpaperFiles::forHeic(dir.filePath(shown));

    const QString tmp = QStringLiteral(".tmp");
    const QStringList finals{set.files.light, set.files.dark};
    const auto removeTemps = [&] {
        for (const QString &path : finals + QStringList{set.files.heic})
            QFile::remove(path + tmp); // left over by an earlier failure, or by this one
    };
    removeTemps();
    // The slot's HEIC stays until the new one replaces it: a set that fails later must not
    // lose it. What the desktop shows is told by the record, not by which files a slot has.
    // One picture per core; the pictures come from the renders in memory.
    auto lightWritten = std::async(std::launch::async, [&] {
        return writeCompanionPicture(set.light, set.files.light + tmp);
    });
    const std::optional<QString> darkError = writeCompanionPicture(set.dark, set.files.dark + tmp);
    const std::optional<QString> error = lightWritten.get();
    if (error || darkError) {
        removeTemps();
        return error ? *error : *darkError;
    }
    for (const QString &path : finals) {
        // rename() replaces an existing file in one step.
        std::error_code failed;
        std::filesystem::rename(QFile::encodeName(path + tmp).toStdString(),
                                QFile::encodeName(path).toStdString(), failed);
        if (failed) {
            removeTemps();
            return QStringLiteral("Das Wallpaper konnte nicht gesichert werden: ") +
                   QFileInfo(path).fileName();
        }
    }
    return set;
}

std::optional<QString> AppModel::dragRefusal() const
{
    if (auto error = RenderPipeline::sizeError(pixelSize()))
        return error;
    if (!canExport())
        return description(ExportError::NoSource);
    return std::nullopt;
}

void AppModel::setDragWanted(bool wanted)
{
    m_dragWanted = wanted;
    Q_EMIT isPreparingDragChanged();
}

void AppModel::cancelDrag()
{
    if (m_dragWanted)
        setDragWanted(false);
}

void AppModel::discardDragFile()
{
    if (m_dragFile.isEmpty())
        return;
    if (m_dragHandedOut)
        m_droppedFiles << m_dragFile;
    else
        QFile::remove(m_dragFile);
    m_dragFile.clear();
    m_dragHandedOut = false;
    Q_EMIT preparedDragFileChanged();
}

void AppModel::dragLooksChanged()
{
    ++m_dragGeneration;
    m_lastOutput.clear();
    m_dragError.reset();
    discardDragFile();
    if (m_dragWanted)
        prepareDrag();
    else
        m_dragTimer.start();
}

void AppModel::prepareDrag()
{
    m_dragTimer.stop();
    // One file at a time: a worker still writing older looks hands over to the next when done.
    if (m_dragJob || m_isExporting || !m_dragFile.isEmpty() || m_dragError)
        return;
    if (const auto refusal = dragRefusal()) {
        if (m_dragWanted) {
            setDragWanted(false);
            setErrorMessage(*refusal);
        }
        return;
    }
    const quint64 generation = m_dragGeneration;
    const QString path = QDir(QDir::tempPath()).filePath(exportFileName(QStringLiteral("heic")));
    const QString unfinished =
        path +
        QStringLiteral(".%1.tmp").arg(QUuid::createUuid().toString(QUuid::Id128).left(8).toUpper());
    const QString copyFrom = std::exchange(m_lastOutput, QString());
    m_dragJob = std::make_shared<DragJob>();
    auto *watcher = new QFutureWatcher<std::optional<QString>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation, path] {
        const std::optional<QString> error = watcher->result();
        watcher->deleteLater();
        QString written;
        {
            const QMutexLocker lock(&m_dragJob->mutex);
            written = std::exchange(m_dragJob->written, QString());
        }
        m_dragJob.reset();
        if (generation != m_dragGeneration) {
            QFile::remove(written);
            if (m_dragWanted || !m_dragTimer.isActive())
                prepareDrag(); // the looks have been still since the timer ran out
            return;
        }
        std::optional<QString> failure = error;
        if (!failure) {
            // An earlier drag file of this name is replaced in one step.
            std::error_code renamed;
            std::filesystem::rename(QFile::encodeName(written).toStdString(),
                                    QFile::encodeName(path).toStdString(), renamed);
            if (renamed) {
                QFile::remove(written);
                failure = description(fileErrorFromErrno(renamed.value()));
            }
        }
        if (failure) {
            if (m_dragWanted) {
                setDragWanted(false);
                setErrorMessage(*failure);
            } else {
                m_dragError = failure; // told when a drag asks for it
            }
            return;
        }
        m_dragFile = path;
        m_droppedFiles.removeAll(path); // replaced, so no longer a leftover
        Q_EMIT preparedDragFileChanged();
        if (m_dragWanted) {
            setDragWanted(false);
            Q_EMIT dragReady();
        }
    });
    watcher->setFuture(QtConcurrent::run(
        dragPool(),
        [light = m_lightLook, dark = m_darkLook, size = pixelSize(), unfinished, copyFrom,
         job = m_dragJob]() -> std::optional<QString> {
            std::optional<QString> error;
            try {
                // A file of these looks just exported spares the renders and the encode.
                if (copyFrom.isEmpty() || !QFile::copy(copyFrom, unfinished))
                    error = writeOutput(light, dark, size, unfinished);
            } catch (const std::exception &) { // memory ran out: rethrown, it would reach the loop
                error = description(ExportError::RenderFailed);
            }
            const QMutexLocker lock(&job->mutex);
            if (error || job->abandoned)
                QFile::remove(unfinished);
            else
                job->written = unfinished;
            return error;
        }));
}

QMimeData *AppModel::makeDragData()
{
    if (const auto refusal = dragRefusal()) {
        setErrorMessage(*refusal);
        return new QMimeData;
    }
    if (m_dragError) {
        setErrorMessage(*std::exchange(m_dragError, std::nullopt)); // the next drag tries again
        return new QMimeData;
    }
    if (!m_dragFile.isEmpty() && !QFileInfo::exists(m_dragFile)) { // a cleaner took it
        m_dragFile.clear();
        Q_EMIT preparedDragFileChanged();
    }
    if (m_dragFile.isEmpty()) {
        if (!m_dragWanted)
            setDragWanted(true);
        prepareDrag();
        return nullptr;
    }
    m_dragHandedOut = true;
    auto *data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(m_dragFile)});
    // File managers that create the dropped file themselves take its name from here.
    data->setData(QStringLiteral("application/x-kde-suggestedfilename"),
                  QFileInfo(m_dragFile).fileName().toUtf8());
    return data;
}

// --- photo library ------------------------------------------------------------------------

void AppModel::setAlbumAssets(const QList<PhotoAsset> &assets)
{
    m_albumAssets = assets;
    Q_EMIT albumAssetsChanged();
}

void AppModel::refreshPhotosAuthStatus()
{
    if (!m_services.photos)
        return;
    setPhotosAuthStatus(m_services.photos->authorizationStatus());
    if (m_photosAuthStatus == PhotosAuthStatus::Authorized)
        loadPhotoAlbums();
}

void AppModel::requestPhotosAccess()
{
    if (!m_services.photos)
        return;
    QPointer<AppModel> self(this);
    m_services.photos->requestAuthorization([self](PhotosAuthStatus status) {
        if (!self)
            return;
        self->setPhotosAuthStatus(status);
        if (status == PhotosAuthStatus::Authorized)
            self->loadPhotoAlbums();
    });
}

void AppModel::loadPhotoAlbums()
{
    if (!m_services.photos)
        return;
    QPointer<AppModel> self(this);
    m_services.photos->loadAlbums([self](QList<PhotoAlbum> albums) {
        if (self)
            self->setPhotoAlbums(albums);
    });
}

void AppModel::loadAlbumAssets(const QString &albumID)
{
    setAlbumAssets({});
    m_albumAssetsID = albumID;
    if (!m_services.photos)
        return;
    // Loads are not cancelled, and a large album can answer after a small one chosen later:
    // only the album asked for last may fill the list, or it would show another album's pictures.
    QPointer<AppModel> self(this);
    m_services.photos->loadAssets(albumID, [self, albumID](QList<PhotoAsset> assets) {
        if (self && self->m_albumAssetsID == albumID)
            self->setAlbumAssets(assets);
    });
}

void AppModel::selectAlbumAsset(const PhotoAsset &asset)
{
    const Appearance target = effectiveAppearance();
    ++m_openRequest; // a file still opening would overwrite this choice
    setIsLoadingSource(true);
    setErrorMessage(std::nullopt);
    const QString id = asset.id;
    const auto failed = [this] {
        setErrorMessage(QStringLiteral("Bild konnte nicht aus Fotos geladen werden."));
        setIsLoadingSource(false);
    };
    if (!m_services.photos) {
        failed();
        return;
    }
    QPointer<AppModel> self(this);
    m_services.photos->loadImage(id, [self, id, target, failed](std::optional<Bitmap> picture) {
        if (!self)
            return;
        if (!picture || picture->isNull()) {
            failed();
            return;
        }
        self->applySource(*picture, id, QStringLiteral("photos-") + id.left(8),
                          QStringLiteral("Aus Fotos-Mediathek"), std::nullopt, target);
        self->setIsLoadingSource(false);
    });
}
