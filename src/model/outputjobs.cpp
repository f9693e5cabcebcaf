#include "outputjobs.h"

#include "output/dynamicwallpaper.h"
#include "output/sessiondesktop.h"
#include "model/usersettings.h"
#include "output/wallpaperset.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

OutputJobs::OutputJobs(RequestSource current, std::shared_ptr<PhotoLibraryAccess> photos,
                       QObject *parent)
    : QObject(parent), m_current(std::move(current)), m_photos(std::move(photos))
{
    connect(&m_watcher, &QFutureWatcherBase::resultReadyAt, this, [this](int index) {
        if (m_watcher.resultAt(index).told)
            Q_EMIT succeeded(QStringLiteral("Als dynamisches Wallpaper gesetzt."));
    });
    connect(&m_watcher, &QFutureWatcherBase::finished, this, [this] {
        const QList<Step> steps = m_watcher.future().results();
        const auto done = std::exchange(m_done, {});
        setBusy(false);
        done(steps.isEmpty() ? std::nullopt : steps.constLast().error);
    });
}

void OutputJobs::setBusy(bool busy)
{
    m_busy = busy;
    Q_EMIT busyChanged();
}

void OutputJobs::run(Work work, std::function<void(const std::optional<QString> &)> done)
{
    m_done = std::move(done);
    setBusy(true);
    // The worker has only its copies and the promise: a model closed meanwhile is never
    // touched, and the watcher, going with this object, drops the outcome.
    m_watcher.setFuture(QtConcurrent::run([work = std::move(work)](QPromise<Step> &promise) {
        // Memory that runs out is a failed job: rethrown by the future, it would reach the
        // event loop.
        try {
            work(promise);
        } catch (const std::exception &) {
            promise.addResult(Step{false, description(ExportError::RenderFailed)});
        }
    }));
}

std::optional<OutputJobs::Request> OutputJobs::acceptedRequest()
{
    Request request = m_current();
    if (const auto error = RenderPipeline::sizeError(request.size)) {
        Q_EMIT failed(*error);
        Q_EMIT finished();
        return std::nullopt;
    }
    return request;
}

void OutputJobs::writeInBackground(const Request &request, const QString &path,
                                   std::function<void(const std::optional<QString> &)> done)
{
    run(
        [request, path](QPromise<Step> &promise) {
            promise.addResult(
                Step{false, writeOutput(request.light, request.dark, request.size, path)});
        },
        [this, path, generation = request.generation,
         done = std::move(done)](const std::optional<QString> &error) {
            if (!error)
                Q_EMIT outputWritten(path, generation);
            done(error);
        });
}

void OutputJobs::exportTo(const QString &path)
{
    if (m_busy)
        return;
    const std::optional<Request> request = acceptedRequest();
    if (!request)
        return;
    writeInBackground(*request, path, [this, path](const std::optional<QString> &error) {
        if (error)
            Q_EMIT failed(*error);
        else
            Q_EMIT succeeded(QStringLiteral("Exportiert: ") + QFileInfo(path).fileName());
        Q_EMIT finished();
    });
}

void OutputJobs::saveToPhotosLibrary()
{
    if (m_busy)
        return;
    const std::optional<Request> request = acceptedRequest();
    if (!request)
        return;
    const QString path =
        QDir(QDir::tempPath())
            .filePath(QStringLiteral("photos-export-%1.heic")
                          .arg(QUuid::createUuid().toString(QUuid::Id128).left(8).toUpper()));
    writeInBackground(*request, path, [this, path](const std::optional<QString> &error) {
        if (error) { // a failed write never reaches the library
            Q_EMIT failed(*error);
            Q_EMIT finished();
            return;
        }
        if (!m_photos) {
            QFile::remove(path);
            Q_EMIT failed(description(PhotosExportError::AddFailed));
            Q_EMIT finished();
            return;
        }
        QPointer<OutputJobs> self(this);
        m_photos->addToAlbum(path, QStringLiteral("Voskan"),
                             [self, path](std::optional<PhotosExportError> failure) {
                                 QFile::remove(path);
                                 if (!self)
                                     return;
                                 if (failure)
                                     Q_EMIT self->failed(description(*failure));
                                 else {
                                     Q_EMIT self->savedToLibrary();
                                     Q_EMIT self->succeeded(
                                         QStringLiteral("In Fotos gesichert (Album „Voskan“)."));
                                 }
                                 Q_EMIT self->finished();
                             });
    });
}

void OutputJobs::setDesktopService(std::shared_ptr<DesktopService> desktop)
{
    m_desktop = std::move(desktop);
}

void OutputJobs::setAsDesktop()
{
    if (m_busy)
        return;
    const std::optional<Request> request = acceptedRequest();
    if (!request)
        return;
    if (!m_desktop)
        m_desktop = sessionDesktopService();
    // A desktop may take its time to answer (the portal waits for a person); the worker holds
    // its own reference to the service. Busy until the HEIC is written.
    run(
        [request = *request, desktop = m_desktop](QPromise<Step> &promise) {
            const auto error = setAsDesktop(
                request, *desktop, [&promise] { promise.addResult(Step{true, std::nullopt}); });
            promise.addResult(Step{false, error});
        },
        [this](const std::optional<QString> &error) {
            if (error) {
                Q_EMIT successWithdrawn(); // the alert tells what became of the set
                Q_EMIT failed(*error);
            }
            Q_EMIT finished();
        });
}

std::optional<OutputJobs::Request::Day> OutputJobs::Request::Day::of(
    const QString &file, const WallpaperSchedule &schedule)
{
    if (schedule.kind == ScheduleKind::LightDark)
        return std::nullopt;
    return Day{file, schedule, userLocation()};
}

std::optional<QString> OutputJobs::setAsDesktop(const Request &request, DesktopService &desktop,
                                                const std::function<void()> &told)
{
    if (request.day)
        return WallpaperSet::setDay(request.day->file, request.day->schedule,
                                    request.day->location, desktop, told);
    return setAsDesktop(request.light, request.dark, request.size, desktop, told);
}

std::optional<QString> OutputJobs::writeOutput(const Look &light, const Look &dark,
                                               RenderPipeline::PixelSize size, const QString &path,
                                               const PicturesWriter &alsoWrite)
{
    if (const auto error = RenderPipeline::sizeError(size))
        return error;
    const auto rendered = RenderPipeline::renderBoth(light, dark, size);
    if (const auto *error = std::get_if<ExportError>(&rendered))
        return description(*error);
    const auto &[lightPicture, darkPicture] = std::get<RenderPipeline::FullPair>(rendered);
    if (const auto error = DynamicWallpaper::writeHEIC(lightPicture, darkPicture, path))
        return description(*error);
    if (alsoWrite)
        return alsoWrite(lightPicture, darkPicture);
    return std::nullopt;
}

std::optional<QString> OutputJobs::setAsDesktop(const Look &light, const Look &dark,
                                                RenderPipeline::PixelSize size,
                                                DesktopService &desktop,
                                                const std::function<void()> &told)
{
    if (const auto error = RenderPipeline::sizeError(size))
        return error;
    // Refused before seconds of rendering, not only before anything is written.
    if (const auto refused = WallpaperSet::refusal(desktop))
        return refused;
    if (!createDataFolder())
        return QStringLiteral("Der Ordner für das Wallpaper konnte nicht angelegt werden.");
    const auto rendered = RenderPipeline::renderBoth(light, dark, size);
    if (const auto *error = std::get_if<ExportError>(&rendered))
        return description(*error);
    const auto &[lightPicture, darkPicture] = std::get<RenderPipeline::FullPair>(rendered);
    return WallpaperSet::setPictures(lightPicture, darkPicture, desktop, told);
}
