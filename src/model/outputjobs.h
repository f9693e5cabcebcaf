#pragma once

// The three ways a finished wallpaper leaves the program — an exported file, a photo in the
// album „Voskan“, the desktop picture — as jobs that take seconds. They render and encode on
// a worker with copies of the looks, one at a time (one busy state for all three), and report
// back on the main thread through signals: how far they are, and their outcome, which the
// model shows in its status and error lines. A job can be cancelled between its steps.

#include "day/geolocation.h"
#include "desktop/desktopservice.h"
#include "files/writeprogress.h"
#include "heic/wallpaperschedule.h"
#include "model/look.h"
#include "model/renderpipeline.h"
#include "sources/photolibraryaccess.h"

#include <QFutureWatcher>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>

class OutputJobs : public QObject
{
    Q_OBJECT

public:
    // What a job writes: the two looks and the size, as they are when it starts. `generation`
    // names the state of the looks, handed back with outputWritten().
    struct Request
    {
        Look light;
        Look dark;
        RenderPipeline::PixelSize size;
        quint64 generation = 0;
        // A dynamic wallpaper made elsewhere whose pictures follow the day: a set plays it as
        // what it is (export and drag write the two looks).
        struct Day
        {
            QString file;
            WallpaperSchedule schedule;
            std::optional<GeoLocation> location; // the sun's place, else the zone's city

            // For a file that follows the day, the sun reckoned for the user's place; none
            // for a light/dark pair, which is set as the two looks.
            static std::optional<Day> of(const QString &file, const WallpaperSchedule &schedule);
        };
        std::optional<Day> day;
        // The pictures of a day cycle made from the two looks (DayCycle::plan) to write and set
        // instead of the pair; 0 for the pair.
        int dayCycle = 0;
    };
    using RequestSource = std::function<Request()>;

    OutputJobs(RequestSource current, std::shared_ptr<PhotoLibraryAccess> photos,
               QObject *parent = nullptr);

    // A job runs (from its start until its file is written; a set until its HEIC is written):
    // another would take the same slot, or a second encode the memory.
    bool isBusy() const { return m_busy; }

    // Each does nothing while busy. The outcome arrives as succeeded(), failed() or
    // cancelled(), then finished().
    void exportTo(const QString &path);
    void saveToPhotosLibrary();
    void setAsDesktop();
    // Where setAsDesktop() sets the picture; unset, the desktop of the running session.
    void setDesktopService(std::shared_ptr<DesktopService> desktop);

    // While busy: the share of the job done (0 to 1), the step it is in (German), and whether
    // cancel() can still stop it — a set no longer can once the desktop shows its picture.
    double progress() const { return m_progressDone; }
    QString progressLabel() const { return m_progressLabel; }
    bool isCancellable() const;
    // Whether a cancel was asked for and the job has not stopped yet.
    bool isCancelling() const { return m_cancelling; }
    // Stops the job at its next step: nothing it began to write is left, the desktop keeps
    // what it showed, and the outcome is cancelled(), not an error.
    void cancel();

    // One step a writing worker reports (here and for the drag file): a step of the write
    // begun, a set's desktop told (neither last), or the outcome (last).
    struct Step
    {
        bool told = false;
        std::optional<QString> error;
        std::optional<WriteStep> began;
        double done = 0;

        static Step outcome(std::optional<QString> error)
        {
            return {false, std::move(error), {}, 0};
        }
        static Step desktopTold() { return {true, {}, {}, 0}; }
        static Step begun(WriteStep step, double done) { return {false, {}, step, done}; }
    };
    // Renders both looks at full size (light first; the first failure stops) and writes the
    // dynamic wallpaper: the pair, or the day cycle of `dayCycle` pictures. The error's German
    // text, or nothing; with `chosen` (a path the person picked) a file error names the place
    // and the way out. Runs on the caller's thread. Steps: exportPlan(), dayCyclePlan().
    static std::optional<QString> writeOutput(const Look &light, const Look &dark,
                                              RenderPipeline::PixelSize size, const QString &path,
                                              WriteProgress *progress = nullptr, int dayCycle = 0,
                                              bool chosen = false);
    // The steps of a job's write or set, as the window shows them.
    static QList<WriteProgress::Planned> writePlan(int dayCycle);
    static QList<WriteProgress::Planned> setPlan(int dayCycle);
    // Renders both looks and sets them as the wallpaper of every screen (desktop/wallpaperset.h);
    // the error text, or nothing. Runs on the caller's thread.
    static std::optional<QString> setAsDesktop(const Look &light, const Look &dark,
                                               RenderPipeline::PixelSize size,
                                               DesktopService &desktop,
                                               const std::function<void()> &told = {},
                                               WriteProgress *progress = nullptr);
    // Renders both looks and sets the day cycle of `count` pictures made from them, played as a
    // day on every desktop (WallpaperSet::setDayPictures); the error text, or nothing.
    static std::optional<QString> setDayCycle(const Look &light, const Look &dark,
                                              RenderPipeline::PixelSize size, int count,
                                              DesktopService &desktop,
                                              const std::function<void()> &told = {},
                                              WriteProgress *progress = nullptr);
    // The set a request asks for: a dynamic wallpaper that follows the day played as what it
    // is, where the desktop can (else its light/dark pair, where it names one); otherwise the
    // day cycle or the two looks. Runs on the caller's thread.
    static std::optional<QString> setAsDesktop(const Request &request, DesktopService &desktop,
                                               const std::function<void()> &told = {},
                                               WriteProgress *progress = nullptr);

Q_SIGNALS:
    void busyChanged();
    // progress(), progressLabel(), isCancellable() or isCancelling() changed.
    void progressChanged();
    // The job was stopped by cancel() and left nothing behind; a short German status.
    void cancelled(const QString &status);
    // A German text for the status line: the job (or, for a set, the desktop) is done.
    void succeeded(const QString &status);
    // A set whose desktop was told and whose HEIC then failed: its success no longer holds.
    void successWithdrawn();
    // A wallpaper went into the photo library's album „Voskan“, which may be new.
    void savedToLibrary();
    void failed(const QString &error);
    // Every job started ends with this, either way, also one refused at once.
    void finished();
    // A file of the looks of `generation` is complete at `path`.
    void outputWritten(const QString &path, quint64 generation);

private:
    using Work = std::function<void(QPromise<Step> &, WriteProgress &)>;
    // The one way work goes to a thread and back: busy until the last step, `done` gets the
    // outcome on this thread — unless the job was cancelled, which cancelled() reports with
    // `cancelledStatus`.
    void run(QList<WriteProgress::Planned> plan, QString cancelledStatus, Work work,
             std::function<void(const std::optional<QString> &)> done);
    void setProgress(double done, const QString &label);
    void setBusy(bool busy);
    // The request of now, or nothing (failed() and finished() emitted) when its size is refused.
    std::optional<Request> acceptedRequest();
    // Writes the wallpaper of `request` to `path`; on success outputWritten() precedes `done`.
    void writeInBackground(const Request &request, const QString &path, bool chosen,
                           const QString &cancelledStatus,
                           std::function<void(const std::optional<QString> &)> done);

    RequestSource m_current;
    std::shared_ptr<PhotoLibraryAccess> m_photos;
    std::shared_ptr<DesktopService> m_desktop;
    QFutureWatcher<Step> m_watcher;
    std::function<void(const std::optional<QString> &)> m_done;
    bool m_busy = false;
    // Shared with the worker of the job running now.
    std::shared_ptr<WriteProgress> m_progress;
    QString m_cancelledStatus;
    double m_progressDone = 0;
    QString m_progressLabel;
    bool m_cancelling = false;
};
