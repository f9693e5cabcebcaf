// How a picture enters the looks: a photo or file placed in one look (and the other seeded
// from it while it has none), a dynamic wallpaper shown as what it is, and its pictures shown
// one by one. The rest of the model is in appmodel.cpp.

#include "appmodel.h"

#include "files/regularfile.h"
#include "heic/dynamicwallpaperfile.h"
#include "model/palette.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

void AppModel::placePicture(Appearance to, const Bitmap &picture,
                            const std::array<QColor, 3> &palette,
                            const std::function<void(Look &)> &credit)
{
    editLook(to, [&](Look &look) {
        look.source = picture;
        credit(look);
        look.setPalette(palette, to);
    });
    seedOtherIfNeeded(to, palette);
    renderPreview();
}

void AppModel::seedOtherIfNeeded(Appearance from, const std::array<QColor, 3> &palette)
{
    const Appearance to = other(from);
    if (lookFor(to).source || !lookFor(from).source)
        return; // a picture is never overwritten
    Look seeded = lookFor(from);
    seeded.setTone(Tone::defaultFor(to));
    seeded.setPalette(palette, to);
    setLook(to, seeded);
}

void AppModel::applySource(const Bitmap &picture, const std::optional<QString> &photoID,
                           const std::optional<QString> &baseName,
                           const std::optional<QString> &attribution,
                           const std::optional<QString> &attributionURL, Appearance to)
{
    placePicture(to, picture, Palette::extractPalette(picture), [&](Look &look) {
        look.photoID = photoID;
        look.baseName = baseName;
        look.attribution = attribution;
        look.attributionURL = attributionURL;
    });
}

void AppModel::openLocalImages(const QStringList &paths)
{
    if (!paths.isEmpty() && sourceKind() != SourceKind::Files)
        setSelectedSource(ImageSource::files());
    m_loader->openLocalImages(paths);
}

void AppModel::reloadPaletteFromPhoto()
{
    if (!currentLook().source)
        return;
    const Bitmap picture = *currentLook().source;
    editLook(m_editing, [&picture, this](Look &look) {
        look.setPalette(Palette::extractPalette(picture), m_editing);
    });
    scheduleRender();
}

void AppModel::applyLoaded(const LoadedPicture &loaded, Appearance to)
{
    // The picture replaced may be the last hold on hundreds of megabytes: giving them back
    // takes long enough to be felt, so that happens on a worker.
    const std::array<QColor, 3> palette =
        loaded.palette ? *loaded.palette : Palette::extractPalette(loaded.picture);
    std::optional<Bitmap> replaced = lookFor(to).source;
    placePicture(to, loaded.picture, palette, [&](Look &look) {
        look.photoID = loaded.photoID;
        look.baseName = loaded.baseName;
        look.attribution = loaded.attribution;
        look.attributionURL = loaded.attributionURL;
    });
    workerPool()->start([replaced = std::move(replaced)] {});
}

void AppModel::setDynamic(std::optional<DynamicWallpaper> dynamic)
{
    m_dynamic = std::move(dynamic);
    Q_EMIT dynamicWallpaperChanged();
}

void AppModel::applyDynamic(const OpenedDynamic &opened, SourceKind from)
{
    // Both looks get their picture as it is; a file that names no pair shows the picture of
    // now in both.
    const QFileInfo info(opened.path);
    const auto show = [&](Appearance to, const Bitmap &picture) {
        Look look = DynamicPicture::asItIs(lookFor(to), picture);
        look.photoID = info.absoluteFilePath();
        look.baseName = info.completeBaseName();
        look.attribution = info.fileName();
        look.attributionURL.reset();
        look.setFlowColors(Palette::extractPalette(picture));
        setLook(to, look);
    };
    setDynamic(std::nullopt);
    m_showingDynamic = true;
    show(Appearance::Light, opened.lightPicture);
    show(Appearance::Dark, opened.darkPicture);
    m_showingDynamic = false;
    const QString summary = ::summary(opened.schedule);
    setDynamic(DynamicWallpaper{info.absoluteFilePath(), opened.schedule, summary,
                                DynamicPicture::pictureLines(opened.schedule), from});
    setStatusMessage(summary);
    renderPreview();
}

void AppModel::showDynamicPicture(int index)
{
    if (!m_dynamic || index < 0 || index >= m_dynamic->schedule.imageCount)
        return;
    const quint64 request = ++m_dynamicRequest;
    const QString path = m_dynamic->path;
    const Appearance to = m_editing;
    auto *watcher = new QFutureWatcher<std::optional<Bitmap>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, request, path, to] {
        const std::optional<Bitmap> picture = watcher->result();
        watcher->deleteLater();
        if (request != m_dynamicRequest || !m_dynamic || m_dynamic->path != path)
            return;
        if (!picture) {
            setErrorMessage(DynamicWallpaperFile::unreadablePictureText());
            return;
        }
        m_showingDynamic = true;
        editLook(to, [&](Look &look) { look.source = *picture; });
        m_showingDynamic = false;
        renderPreview();
    });
    watcher->setFuture(QtConcurrent::run(workerPool(), [path, index]() -> std::optional<Bitmap> {
        try {
            return DynamicWallpaperFile::image(path, index);
        } catch (const std::exception &) {
            return std::nullopt;
        }
    }));
}
