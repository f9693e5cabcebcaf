#include "outputjobs.h"

#include "desktop/wallpaperset.h"
#include "files/regularfile.h"
#include "follower/sessiondesktop.h"
#include "heic/dynamicwallpaper.h"
#include "model/daycyclefile.h"
#include "model/usersettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// Both looks at full size for a file or the desktop, or the German text of why not.
std::variant<RenderPipeline::FullPair, QString> renderedPair(const Look &light, const Look &dark,
                                                             RenderPipeline::PixelSize size,
                                                             WriteProgress *progress)
{
    auto rendered = RenderPipeline::renderBoth(light, dark, size, progress);
    if (const auto *error = std::get_if<ExportError>(&rendered))
        return description(*error);
    return std::get<RenderPipeline::FullPair>(std::move(rendered));
}

} // namespace

OutputJobs::OutputJobs(RequestSource current, std::shared_ptr<PhotoLibraryAccess> photos,
                       QObject *parent)
    : QObject(parent), m_current(std::move(current)), m_photos(std::move(photos))
{
    connect(&m_watcher, &QFutureWatcherBase::resultReadyAt, this, [this](int index) {
        const Step step = m_watcher.resultAt(index);
        if (step.began)
            setProgress(step.done, label(*step.began));
        if (step.told) {
            Q_EMIT succeeded(QStringLiteral("Als dynamisches Wallpaper gesetzt."));
            Q_EMIT progressChanged(); // no longer cancellable
        }
    });
    connect(&m_watcher, &QFutureWatcherBase::finished, this, [this] {
        const QList<Step> steps = m_watcher.future().results();
        const auto done = std::exchange(m_done, {});
        const std::optional<QString> error =
            steps.isEmpty() ? std::nullopt : steps.constLast().error;
        // A job that failed after a cancel stopped because of it: what it began is gone.
        const bool stopped = error && m_progress && m_progress->isCancelled();
        const QString status = m_cancelledStatus;
        m_progress.reset();
        m_cancelling = false;
        setBusy(false);
        setProgress(0, QString()); // after: the share shown last stays until the panel goes
        if (!stopped) {
            done(error);
            return;
        }
        Q_EMIT cancelled(status);
        Q_EMIT finished();
    });
}

void OutputJobs::setBusy(bool busy)
{
    m_busy = busy;
    Q_EMIT busyChanged();
}

void OutputJobs::setProgress(double done, const QString &label)
{
    m_progressDone = done;
    m_progressLabel = label;
    Q_EMIT progressChanged();
}

bool OutputJobs::isCancellable() const
{
    return m_progress && m_progress->isCancellable() && !m_cancelling;
}

void OutputJobs::cancel()
{
    if (!isCancellable())
        return;
    m_progress->cancel();
    m_cancelling = true;
    setProgress(m_progressDone, QStringLiteral("Wird abgebrochen …"));
}

void OutputJobs::run(QList<WriteProgress::Planned> plan, QString cancelledStatus, Work work,
                     std::function<void(const std::optional<QString> &)> done)
{
    m_done = std::move(done);
    m_cancelledStatus = std::move(cancelledStatus);
    m_cancelling = false;
    m_progress = std::make_shared<WriteProgress>(std::move(plan));
    setProgress(0, QString());
    setBusy(true);
    // The worker has only its copies, the progress and the promise: a model closed meanwhile
    // is never touched, and the watcher, going with this object, drops the outcome. Its steps
    // travel through the promise too.
    m_watcher.setFuture(QtConcurrent::run(
        workerPool(), [work = std::move(work), progress = m_progress](QPromise<Step> &promise) {
            progress->setListener([&promise](WriteStep step, double share) {
                promise.addResult(Step::begun(step, share));
            });
            // Memory that runs out is a failed job: rethrown by the future, it would reach the
            // event loop.
            try {
                work(promise, *progress);
            } catch (const std::exception &) {
                promise.addResult(Step::outcome(description(ExportError::RenderFailed)));
            }
            progress->setListener({});
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

void OutputJobs::writeInBackground(const Request &request, const QString &path, bool chosen,
                                   const QString &cancelledStatus,
                                   std::function<void(const std::optional<QString> &)> done)
{
    run(
        writePlan(request.dayCycle), cancelledStatus,
        [request, path, chosen](QPromise<Step> &promise, WriteProgress &progress) {
            promise.addResult(
                Step::outcome(writeOutput(request.light, request.dark, request.size, path,
                                          &progress, request.dayCycle, chosen)));
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
    writeInBackground(*request, path, true, QStringLiteral("Export abgebrochen."),
                      [this, path](const std::optional<QString> &error) {
                          if (error)
                              Q_EMIT failed(*error);
                          else
                              Q_EMIT succeeded(QStringLiteral("Exportiert: ") +
                                               QFileInfo(path).fileName());
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
    writeInBackground(*request, path, false, QStringLiteral("Sichern abgebrochen."),
                      [this, path](const std::optional<QString> &error) {
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
                          m_photos->addToAlbum(
                              path, QStringLiteral("Voskan"),
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
        request->day ? WriteProgress::setPlan() : setPlan(request->dayCycle),
        QStringLiteral("Setzen abgebrochen."),
        [request = *request, desktop = m_desktop](QPromise<Step> &promise,
                                                  WriteProgress &progress) {
            const auto error = setAsDesktop(
                request, *desktop, [&promise] { promise.addResult(Step::desktopTold()); },
                &progress);
            promise.addResult(Step::outcome(error));
        },
        [this](const std::optional<QString> &error) {
            if (error) {
                Q_EMIT successWithdrawn(); // the alert tells what became of the set
                Q_EMIT failed(*error);
            }
            Q_EMIT finished();
        });
}

std::optional<OutputJobs::Request::Day>
OutputJobs::Request::Day::of(const QString &file, const WallpaperSchedule &schedule)
{
    if (schedule.kind == ScheduleKind::LightDark)
        return std::nullopt;
    return Day{file, schedule, userLocation()};
}

std::optional<QString> OutputJobs::setAsDesktop(const Request &request, DesktopService &desktop,
                                                const std::function<void()> &told,
                                                WriteProgress *progress)
{
    if (request.day) {
        // A day's pictures are copied as they are, in one step.
        if (WriteProgress::stopsBefore(progress, WriteStep::DesktopImages))
            return description(WallpaperError::Cancelled);
        return WallpaperSet::setDay(request.day->file, request.day->schedule, request.day->location,
                                    desktop, told);
    }
    if (request.dayCycle > 0)
        return setDayCycle(request.light, request.dark, request.size, request.dayCycle, desktop,
                           told, progress);
    return setAsDesktop(request.light, request.dark, request.size, desktop, told, progress);
}

QList<WriteProgress::Planned> OutputJobs::writePlan(int dayCycle)
{
    if (dayCycle <= 0)
        return WriteProgress::exportPlan();
    return WriteProgress::dayCyclePlan(int(DayCycle::plan(dayCycle).altitudes.size()));
}

QList<WriteProgress::Planned> OutputJobs::setPlan(int dayCycle)
{
    if (dayCycle <= 0)
        return WriteProgress::setPlan();
    // Each of the desktop's pictures a mix and a JPEG: together about half a render.
    const auto pictures = double(DayCycle::plan(dayCycle).altitudes.size());
    return {{WriteStep::RenderLight, 1},
            {WriteStep::RenderDark, 1},
            {WriteStep::DesktopImages, 0.5 * pictures}};
}

std::optional<QString> OutputJobs::setDayCycle(const Look &light, const Look &dark,
                                               RenderPipeline::PixelSize size, int count,
                                               DesktopService &desktop,
                                               const std::function<void()> &told,
                                               WriteProgress *progress)
{
    if (const auto error = RenderPipeline::sizeError(size))
        return error;
    if (const auto refused = WallpaperSet::refusal(desktop, true))
        return refused;
    const auto rendered = renderedPair(light, dark, size, progress);
    if (const auto *error = std::get_if<QString>(&rendered))
        return *error;
    const auto &pair = std::get<RenderPipeline::FullPair>(rendered);
    if (WriteProgress::stopsBefore(progress, WriteStep::DesktopImages))
        return description(WallpaperError::Cancelled);
    const DayCycle::Plan plan = DayCycle::plan(count);
    return WallpaperSet::setDayPictures(
        [&](int image) -> std::optional<Bitmap> {
            return DayCycleFile::picture(plan, pair.light, pair.dark, image, light.dither);
        },
        plan.schedule(), userLocation(), desktop, told);
}

std::optional<QString> OutputJobs::writeOutput(const Look &light, const Look &dark,
                                               RenderPipeline::PixelSize size, const QString &path,
                                               WriteProgress *progress, int dayCycle, bool chosen)
{
    if (const auto error = RenderPipeline::sizeError(size))
        return error;
    const auto rendered = renderedPair(light, dark, size, progress);
    if (const auto *error = std::get_if<QString>(&rendered))
        return *error;
    const auto &[lightPicture, darkPicture] = std::get<RenderPipeline::FullPair>(rendered);
    const auto error =
        dayCycle > 0
            ? DayCycleFile::write(lightPicture, darkPicture, dayCycle, path, light.dither, progress)
            : DynamicWallpaper::writeHEIC(lightPicture, darkPicture, path, {}, progress);
    if (const auto *fileError = error ? std::get_if<FileError>(&*error) : nullptr;
        chosen && fileError)
        return descriptionAt(*fileError, path);
    if (error)
        return description(*error);
    return std::nullopt;
}

std::optional<QString> OutputJobs::setAsDesktop(const Look &light, const Look &dark,
                                                RenderPipeline::PixelSize size,
                                                DesktopService &desktop,
                                                const std::function<void()> &told,
                                                WriteProgress *progress)
{
    if (const auto error = RenderPipeline::sizeError(size))
        return error;
    // Refused before seconds of rendering, not only before anything is written.
    if (const auto refused = WallpaperSet::refusal(desktop))
        return refused;
    if (!createDataFolder())
        return QStringLiteral("Der Ordner für das Wallpaper konnte nicht angelegt werden.");
    const auto rendered = renderedPair(light, dark, size, progress);
    if (const auto *error = std::get_if<QString>(&rendered))
        return *error;
    const auto &[lightPicture, darkPicture] = std::get<RenderPipeline::FullPair>(rendered);
    return WallpaperSet::setPictures(lightPicture, darkPicture, desktop, told, progress);
}
