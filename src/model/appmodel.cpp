#include "appmodel.h"

#include "model/lookfields.h"
#include "model/secrets.h"

#include <utility>

AppModel::AppModel(Services services, QObject *parent)
    : AppModel(std::move(services), Secrets::unsplashKey(), parent)
{
}

AppModel::AppModel(Services services, const QString &builtInKey, QObject *parent)
    : QObject(parent), m_search(new UnsplashSearch(std::move(services.unsplash), builtInKey, this)),
      m_library(new LibraryBrowser(services.photos, this)),
      m_loader(new PictureLoader(
          [this] {
              return PictureLoader::Context{m_editing, currentLook(),
                                            RenderPipeline::previewSize(pixelSize()),
                                            m_errorMessage.has_value()};
          },
          [this] { return m_search->client(); }, services.photos, this)),
      m_jobs(new OutputJobs([this] { return outputRequest(); }, services.photos, this)),
      m_drag(new DragFile(
          [this] {
              DragFile::Request request{outputRequest(), exportFileName(QStringLiteral("heic")),
                                        RenderPipeline::sizeError(pixelSize())};
              if (!request.refusal && !canExport())
                  request.refusal = description(ExportError::NoSource);
              return request;
          },
          *m_jobs, this)),
      m_dayCycle(new DayCyclePreview(
          [this] {
              return DayCyclePreview::Frame{m_lightLook, m_darkLook,
                                            RenderPipeline::previewSize(pixelSize())};
          },
          this))
{
    m_renderTimer.setSingleShot(true);
    m_renderTimer.setTimerType(Qt::PreciseTimer);
    m_renderTimer.setInterval(kRenderDelayMs);
    connect(&m_renderTimer, &QTimer::timeout, this, &AppModel::renderPreview);
    m_throttleTimer.setSingleShot(true);
    m_throttleTimer.setTimerType(Qt::PreciseTimer);
    m_throttleTimer.setInterval(kRenderDelayMs);
    connect(&m_throttleTimer, &QTimer::timeout, this, [this] {
        QElapsedTimer began;
        began.start();
        renderPreview();
        m_throttledRender = began;
    });
    m_statusTimer.setSingleShot(true);
    m_statusTimer.setTimerType(Qt::PreciseTimer);
    m_statusTimer.setInterval(kStatusDismissMs);
    connect(&m_statusTimer, &QTimer::timeout, this, [this] { setStatusMessage(std::nullopt); });

    // The parts speak through the model's status and error lines.
    connect(m_search, &UnsplashSearch::errorReported, this, &AppModel::setErrorMessage);
    connect(m_loader, &PictureLoader::errorReported, this, &AppModel::setErrorMessage);
    connect(m_loader, &PictureLoader::loaded, this, &AppModel::applyLoaded);
    connect(m_loader, &PictureLoader::loadedDynamic, this,
            [this](const OpenedDynamic &opened, Appearance, SourceKind from) {
                applyDynamic(opened, from);
            });
    connect(m_jobs, &OutputJobs::succeeded, this,
            [this](const QString &status) { setStatusMessage(status); });
    // The album list and the album shown learn of the new picture at once, not at the next start.
    connect(m_jobs, &OutputJobs::savedToLibrary, this, [this] {
        m_library->loadAlbums();
        if (!selectedAlbumID().isEmpty())
            loadAlbumAssets(selectedAlbumID());
    });
    connect(m_jobs, &OutputJobs::successWithdrawn, this,
            [this] { setStatusMessage(std::nullopt); });
    connect(m_jobs, &OutputJobs::cancelled, this,
            [this](const QString &status) { setStatusMessage(status); });
    connect(m_jobs, &OutputJobs::busyChanged, this, &AppModel::outputProgressChanged);
    connect(m_jobs, &OutputJobs::progressChanged, this, &AppModel::outputProgressChanged);
    connect(m_drag, &DragFile::isPreparingChanged, this, &AppModel::outputProgressChanged);
    connect(m_drag, &DragFile::progressChanged, this, &AppModel::outputProgressChanged);
    connect(m_jobs, &OutputJobs::failed, this,
            [this](const QString &error) { setErrorMessage(error); });
    connect(m_drag, &DragFile::failed, this,
            [this](const QString &error) { setErrorMessage(error); });
    for (auto signal :
         {&AppModel::lightLookChanged, &AppModel::darkLookChanged, &AppModel::presetChanged,
          &AppModel::customWidthChanged, &AppModel::customHeightChanged})
        connect(this, signal, m_drag, &DragFile::looksChanged);
    // A picture of the cycle stays in the preview only while it is what the preview would show.
    for (auto signal :
         {&AppModel::lightLookChanged, &AppModel::darkLookChanged, &AppModel::editingChanged})
        connect(this, signal, m_dayCycle, &DayCyclePreview::hide);
    // A file prepared for the drag is of the other kind.
    connect(m_dayCycle, &DayCyclePreview::countChanged, m_drag, &DragFile::looksChanged);
    connect(m_dayCycle, &DayCyclePreview::countChanged, this, &AppModel::renderPreview);
    connect(m_dayCycle, &DayCyclePreview::previewWanted, this, &AppModel::renderPreview);

    m_library->refreshAuthStatus();
    // A first start without a key would open on a search that can only fail. A key added
    // later leaves the source alone: the person is busy with whatever they chose.
    if (m_search->needsAccessKey())
        m_selectedSource = ImageSource::files();
}

AppModel::~AppModel()
{
    // The drag file goes before the jobs it watches.
    delete m_drag;
    m_drag = nullptr;
}

// --- published state --------------------------------------------------------------------

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
        m_library->setLastAlbumID(source->albumId());
    Q_EMIT selectedSourceChanged();
}

void AppModel::setEditing(Appearance appearance)
{
    m_editing = appearance;
    Q_EMIT editingChanged();
    renderPreview();
}

void AppModel::setPreset(const ResolutionPreset &preset)
{
    m_size.preset = preset;
    m_size.chosen = true;
    Q_EMIT presetChanged();
    renderPreview();
}

void AppModel::setScreenPreset(const std::optional<ResolutionPreset> &screen)
{
    const std::optional<ResolutionPreset> before = std::exchange(m_screenPreset, screen);
    // Chosen, „Dieser Bildschirm“ stays this screen's size: the output follows a new one. A
    // screen that goes leaves the size as it was, there being nothing to follow.
    const bool follows = !m_size.chosen || (before && m_size.preset == *before);
    if (!screen || !follows || m_size.preset == *screen)
        return;
    m_size.preset = *screen;
    Q_EMIT presetChanged();
    renderPreview();
}

void AppModel::setCustomWidth(qint64 width)
{
    m_size.customWidth = width;
    Q_EMIT customWidthChanged();
    renderPreview();
}

void AppModel::setCustomHeight(qint64 height)
{
    m_size.customHeight = height;
    Q_EMIT customHeightChanged();
    renderPreview();
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

std::optional<QString> AppModel::exportBlocker() const
{
    const bool light = lookHasContent(m_lightLook), dark = lookHasContent(m_darkLook);
    if (!light && !dark)
        return QStringLiteral("Für „%1“ und „%2“ fehlt noch ein Bild.")
            .arg(label(Appearance::Light), label(Appearance::Dark));
    if (!light || !dark)
        return QStringLiteral("Für „%1“ fehlt noch ein Bild.")
            .arg(label(light ? Appearance::Dark : Appearance::Light));
    // Refused before a file is chosen, not after: the size is known now.
    if (const std::optional<QString> error = RenderPipeline::sizeError(pixelSize()))
        return error;
    if (m_jobs->isBusy())
        return QStringLiteral("Das Wallpaper wird gerade geschrieben.");
    return std::nullopt;
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
    // The folder may have come, gone or changed its rights since it was last looked at.
    m_library->refreshAuthStatus();
    if (m_selectedSource && m_selectedSource->isAlbum())
        return;
    // The album chosen last, else the first, else the library before its albums are known.
    const QList<PhotoAlbum> albums = m_library->albums();
    for (const PhotoAlbum &album : albums) {
        if (m_library->lastAlbumID() && album.id == *m_library->lastAlbumID()) {
            setSelectedSource(ImageSource::album(album.id, album.title));
            return;
        }
    }
    if (!albums.isEmpty())
        setSelectedSource(ImageSource::album(albums.first().id, albums.first().title));
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
    const QList<PhotoAlbum> albums = m_library->albums();
    for (const PhotoAlbum &album : albums) {
        if (album.id == id) {
            setSelectedSource(ImageSource::album(album.id, album.title));
            return;
        }
    }
}

// --- editing ------------------------------------------------------------------------------

Look &AppModel::lookFor(Appearance appearance)
{
    return appearance == Appearance::Dark ? m_darkLook : m_lightLook;
}

void AppModel::editLook(Appearance appearance, const std::function<void(Look &)> &change)
{
    // Any other change makes the dynamic wallpaper's picture a photo like any other.
    if (m_dynamic && !m_showingDynamic)
        setDynamic(std::nullopt);
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
            const QList<PhotoAlbum> albums = m_library->albums();
            for (const PhotoAlbum &album : albums)
                if (album.id == id)
                    return id;
            return albums.isEmpty() ? id : albums.first().id;
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

// --- rendering ----------------------------------------------------------------------------

void AppModel::scheduleRender()
{
    m_renderTimer.start(); // a pending render is cancelled by the restart
    // A hand still dragging restarts the wait at every step: without a second clock the
    // preview would stand still until it stops. This one is not restarted, so a drag
    // renders every kRenderDelayMs — counted from the render before, once the drag is under
    // way, so the time a render takes is not added to each gap — and the render after the
    // last change stays as it was.
    if (!m_throttleTimer.isActive()) {
        const qint64 sinceRender = m_throttledRender.isValid() ? m_throttledRender.elapsed() : 0;
        m_throttleTimer.start(int(kRenderDelayMs - std::min<qint64>(sinceRender, kRenderDelayMs)));
    }
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
    m_throttleTimer.stop();
    m_throttledRender.invalidate(); // set again when the throttle made this render
    const QSizeF size = RenderPipeline::previewSize(pixelSize());
    const auto bitmap = m_dayCycle->shownPicture() >= 0
                            ? m_dayCycle->shownPictureAt(size)
                            : RenderPipeline::renderLook(currentLook(), size, false);
    m_preview = bitmap ? bitmap->toImage() : QImage();
    Q_EMIT previewChanged();
    m_dayCycle->previewRendered();
}

QStringList AppModel::dailyOptions() const
{
    const RenderPipeline::PixelSize size = pixelSize();
    QStringList options{QStringLiteral("--size"),
                        QStringLiteral("%1x%2").arg(size.width).arg(size.height)};
    for (const QString &field : LookFields::assignments(lightLook(), false))
        options << QStringLiteral("--set") << field;
    for (const QString &field : LookFields::assignments(darkLook(), false))
        options << QStringLiteral("--dark-set") << field;
    return options;
}

RenderPipeline::PixelSize AppModel::pixelSize() const
{
    return RenderPipeline::pixelSize(m_size.preset, m_size.customWidth, m_size.customHeight);
}

QString AppModel::pixelSizeLabel() const
{
    return RenderPipeline::pixelSizeLabel(pixelSize());
}

// --- output -------------------------------------------------------------------------------

OutputJobs::Request AppModel::outputRequest() const
{
    OutputJobs::Request request{m_lightLook,  m_darkLook,
                                pixelSize(),  m_drag ? m_drag->generation() : 0,
                                std::nullopt, m_dayCycle->count()};
    if (m_dynamic)
        request.day = OutputJobs::Request::Day::of(m_dynamic->path, m_dynamic->schedule);
    return request;
}

QString AppModel::exportFileName(const QString &ext) const
{
    const RenderPipeline::PixelSize size = pixelSize();
    return m_lightLook.baseName.value_or(QStringLiteral("voskan-wallpaper")) +
           (m_dayCycle->count() > 0 ? QStringLiteral("-day-cycle-") : QStringLiteral("-dynamic-")) +
           QString::number(size.width) + QLatin1Char('x') + QString::number(size.height) +
           QLatin1Char('.') + ext;
}

std::optional<QString> AppModel::writeOutput(const QString &path) const
{
    return OutputJobs::writeOutput(m_lightLook, m_darkLook, pixelSize(), path, nullptr,
                                   m_dayCycle->count());
}

AppModel::OutputProgress AppModel::outputProgress() const
{
    if (m_jobs->isBusy())
        return {true, m_jobs->progress(), m_jobs->progressLabel(), m_jobs->isCancellable()};
    if (m_drag && m_drag->isPreparing())
        return {true, m_drag->progress(), m_drag->progressLabel(), true};
    return {};
}

void AppModel::cancelOutput()
{
    if (m_jobs->isBusy()) {
        m_jobs->cancel();
    } else if (m_drag && m_drag->isPreparing()) {
        m_drag->abandon();
        setStatusMessage(QStringLiteral("Ziehen abgebrochen."));
    }
}

void AppModel::saveToPhotosLibrary()
{
    if (m_jobs->isBusy())
        return;
    setErrorMessage(std::nullopt);
    m_jobs->saveToPhotosLibrary();
}

void AppModel::setAsDesktop()
{
    if (m_jobs->isBusy())
        return;
    setErrorMessage(std::nullopt);
    m_jobs->setAsDesktop();
}
