#include "pictureloader.h"

#include "files/filenames.h"
#include "files/regularfile.h"
#include "model/dynamicpicture.h"
#include "model/palette.h"
#include "model/renderpipeline.h"
#include "model/usersettings.h"
#include "render/imagedecoder.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

PictureLoader::PictureLoader(ContextSource context, UnsplashSource unsplash,
                             std::shared_ptr<PhotoLibraryAccess> photos, QObject *parent)
    : QObject(parent), m_context(std::move(context)), m_unsplash(std::move(unsplash)),
      m_photos(std::move(photos)), m_recentFiles(loadRecentFiles())
{
}

void PictureLoader::setLoading(bool loading)
{
    m_isLoading = loading;
    Q_EMIT isLoadingChanged();
}

void PictureLoader::openLocalImages(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    m_queued = paths.mid(1);
    startOpen(paths.constFirst(), true);
}

void PictureLoader::startOpen(const QString &path, bool clearError)
{
    if (clearError)
        Q_EMIT errorReported(std::nullopt);
    setLoading(true);
    const QFileInfo info(path);
    const Context context = m_context();
    // Decoding a camera photo takes a tenth of a second, a hostile PNG seconds: it and the
    // palette run on a worker. Opens are not cancelled; only the one asked for last applies.
    const quint64 request = ++m_request;
    struct Opened
    {
        std::optional<Bitmap> picture;
        std::array<QColor, 3> palette;
        QString reason; // the decoder's, when there is no picture
        std::optional<OpenedDynamic> dynamic;
        QString brokenSchedule; // a dynamic wallpaper's, opened as a photo instead
    };
    auto *watcher = new QFutureWatcher<Opened>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, info, context, request] {
        const Opened opened = watcher->result();
        watcher->deleteLater();
        if (request != m_request)
            return;
        // The next file of a batch begins once this one is applied, so they land in order.
        const auto next = qScopeGuard([this] {
            if (m_queued.isEmpty())
                setLoading(false);
            else
                startOpen(m_queued.takeFirst(), false);
        });
        if (opened.dynamic) {
            Q_EMIT loadedDynamic(*opened.dynamic, context.target, SourceKind::Files);
            recordRecent(info.absoluteFilePath());
            return;
        }
        if (!opened.picture) {
            // Of a batch, the first failure is the one to tell; the reason on a line of its
            // own, in the words the command line uses too.
            if (!m_context().showsError)
                Q_EMIT errorReported(QStringLiteral("Bild konnte nicht geladen werden: ") +
                                     info.fileName() + QLatin1Char('\n') + opened.reason);
            return;
        }
        // Only the last extension goes: "Bild.final.png" is "Bild.final".
        const QString name = info.fileName();
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        Q_EMIT loaded(LoadedPicture{*opened.picture, opened.palette, info.absoluteFilePath(),
                                    dot > 0 ? name.left(dot) : name, name, std::nullopt},
                      context.target);
        recordRecent(info.absoluteFilePath());
        if (!opened.brokenSchedule.isEmpty() && !m_context().showsError)
            Q_EMIT errorReported(opened.brokenSchedule +
                                 QStringLiteral(" Voskan öffnet das erste Bild als Foto."));
    });
    watcher->setFuture(QtConcurrent::run(
        workerPool(),
        [path, look = context.look, preview = context.previewSize]() mutable -> Opened {
            // Rethrown by the watcher, an exception would land in the event loop: memory that
            // runs out counts as a picture that cannot be read.
            try {
                // A dynamic wallpaper opens as what it is; one with a broken schedule as a photo.
                auto dynamic = DynamicPicture::open(path, QDateTime::currentDateTime());
                if (auto *opened = std::get_if<OpenedDynamic>(&dynamic))
                    return {std::nullopt, {}, {}, std::move(*opened), {}};
                const QString *broken = std::get_if<QString>(&dynamic);
                const DecodeResult decoded = ImageDecoder::decodeFile(path);
                if (!decoded.isOk())
                    return {std::nullopt, {}, decoded.errorString(), std::nullopt, {}};
                // The first render of a picture shrinks it once and keeps that: a tenth of a
                // second for a 100 MP one, spent here rather than in the window's preview.
                look.source = decoded.bitmap();
                RenderPipeline::renderLook(look, preview, false);
                return {decoded.bitmap(),
                        Palette::extractPalette(decoded.bitmap()),
                        {},
                        std::nullopt,
                        broken ? *broken : QString()};
            } catch (const std::exception &) {
                return {std::nullopt, {}, description(DecodeError::OutOfMemory), std::nullopt, {}};
            }
        }));
}

Appearance PictureLoader::beginChoice()
{
    ++m_request; // a file still opening would overwrite this choice
    m_queued.clear();
    setLoading(true);
    Q_EMIT errorReported(std::nullopt);
    return m_context().target;
}

void PictureLoader::select(const UnsplashPhoto &photo)
{
    const Appearance target = beginChoice();
    const std::shared_ptr<UnsplashClient> loader = m_unsplash ? m_unsplash() : nullptr;
    if (!loader) {
        Q_EMIT errorReported(QStringLiteral("Unsplash ist nicht verfügbar."));
        setLoading(false);
        return;
    }
    QPointer<PictureLoader> self(this);
    loader->loadImage(photo.urls.regular, [self, loader, photo,
                                           target](UnsplashClient::ImageResult result) {
        if (!self)
            return;
        if (const QString *error = std::get_if<QString>(&result)) {
            Q_EMIT self->errorReported(*error);
            self->setLoading(false);
            return;
        }
        Q_EMIT self->loaded(
            LoadedPicture{std::get<Bitmap>(result), std::nullopt, photo.id, photo.fileBaseName(),
                          QStringLiteral("Foto: %1 · Unsplash").arg(photo.user.name),
                          photo.user.links ? photo.user.links->html : std::nullopt},
            target);
        if (photo.links && photo.links->downloadLocation)
            self->trackDownload(*photo.links->downloadLocation);
        self->setLoading(false);
    });
}

void PictureLoader::trackDownload(const QString &url)
{
    // Asked with the key current when the report goes out; nobody waits for the outcome.
    QTimer::singleShot(0, this, [this, url] {
        if (const auto loader = m_unsplash ? m_unsplash() : nullptr)
            loader->trackDownload(url);
    });
}

void PictureLoader::selectAlbumAsset(const PhotoAsset &asset)
{
    const Appearance target = beginChoice();
    const QString id = asset.id;
    const auto failed = [this] {
        Q_EMIT errorReported(QStringLiteral("Bild konnte nicht aus Fotos geladen werden."));
        setLoading(false);
    };
    if (!m_photos) {
        failed();
        return;
    }
    QPointer<PictureLoader> self(this);
    const auto asPhoto = [self, id, target, failed, photos = m_photos] {
        photos->loadImage(id, [self, id, target, failed](std::optional<Bitmap> picture) {
            if (!self)
                return;
            if (!picture || picture->isNull()) {
                failed();
                return;
            }
            Q_EMIT self->loaded(LoadedPicture{*picture, std::nullopt, id,
                                              QStringLiteral("photos-") + id.left(8),
                                              QStringLiteral("Aus Fotos-Mediathek"), std::nullopt},
                                target);
            self->setLoading(false);
        });
    };
    // A dynamic wallpaper in the library opens as what it is, like one from the files; even
    // telling one from a photo reads the file, which is never done on this thread.
    const quint64 request = m_request;
    using Result = std::variant<std::monostate, OpenedDynamic, QString>;
    auto *watcher = new QFutureWatcher<Result>(this);
    connect(watcher, &QFutureWatcherBase::finished, this,
            [this, watcher, request, target, asPhoto] {
                Result result = watcher->result();
                watcher->deleteLater();
                if (request != m_request)
                    return;
                if (auto *opened = std::get_if<OpenedDynamic>(&result)) {
                    Q_EMIT loadedDynamic(*opened, target, SourceKind::Photos);
                    setLoading(false);
                    return;
                }
                asPhoto();
            });
    watcher->setFuture(QtConcurrent::run(workerPool(), [path = asset.path]() -> Result {
        try {
            return DynamicPicture::open(path, QDateTime::currentDateTime());
        } catch (const std::exception &) {
            return std::monostate{};
        }
    }));
}

void PictureLoader::recordRecent(const QString &path)
{
    m_recentFiles.removeAll(path);
    m_recentFiles.prepend(path);
    while (m_recentFiles.size() > kMaxRecentFiles)
        m_recentFiles.removeLast();
    Q_EMIT recentFilesChanged();
    userSettings().setValue(QLatin1String(kRecentFilesKey), m_recentFiles);
}

QStringList PictureLoader::loadRecentFiles()
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
