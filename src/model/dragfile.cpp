#include "dragfile.h"

#include "files/outputfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QMimeData>
#include <QMutex>
#include <QThreadPool>
#include <QUrl>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// The file is written ahead of a drag that may never come: in a thread the scheduler serves
// only when nothing else wants the cores (SCHED_IDLE, inherited by the encoder's own threads),
// so a set or an export clicked meanwhile runs at full speed.
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

// What this object and the worker writing a file share: this may be gone before the worker is
// done, and then the worker removes what it wrote.
struct DragFile::Job
{
    QMutex mutex;
    bool abandoned = false;
    QString written; // complete, not yet taken over
    WriteProgress progress;

    explicit Job(int dayCycle) : progress(OutputJobs::writePlan(dayCycle)) {}
};

DragFile::DragFile(RequestSource current, OutputJobs &jobs, QObject *parent)
    : QObject(parent), m_current(std::move(current)), m_jobs(jobs)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(kPrepareDelayMs);
    connect(&m_timer, &QTimer::timeout, this, &DragFile::prepare);
    connect(&jobs, &OutputJobs::busyChanged, this, [this] {
        if (!m_jobs.isBusy() && (m_wanted || (m_file.isEmpty() && !m_timer.isActive())))
            prepare();
    });
    // A file of these looks just exported spares the renders and the encode.
    connect(&jobs, &OutputJobs::outputWritten, this,
            [this](const QString &path, quint64 generation) {
                if (generation == m_generation)
                    m_lastOutput = path;
            });
}

DragFile::~DragFile()
{
    if (m_job) {
        m_job->progress.cancel(); // nobody will drag it: the worker stops at its next step
        const QMutexLocker lock(&m_job->mutex);
        m_job->abandoned = true;
        if (!m_job->written.isEmpty())
            QFile::remove(m_job->written);
    }
    // A drop has long been read when the window closes.
    m_dropped << m_file;
    for (const QString &path : std::as_const(m_dropped))
        if (!path.isEmpty())
            QFile::remove(path);
}

void DragFile::setWanted(bool wanted)
{
    m_wanted = wanted;
    Q_EMIT isPreparingChanged();
}

void DragFile::cancel()
{
    if (m_wanted)
        setWanted(false);
}

void DragFile::abandon()
{
    cancel();
    if (m_job)
        m_job->progress.cancel();
}

void DragFile::fail(const QString &error)
{
    setWanted(false);
    Q_EMIT failed(error);
}

void DragFile::discard()
{
    if (m_file.isEmpty())
        return;
    if (m_handedOut)
        m_dropped << m_file;
    else
        QFile::remove(m_file);
    m_file.clear();
    m_handedOut = false;
    Q_EMIT preparedFileChanged();
}

void DragFile::looksChanged()
{
    ++m_generation;
    m_lastOutput.clear();
    m_error.reset();
    discard();
    if (m_wanted)
        prepare();
    else
        m_timer.start();
}

void DragFile::prepare()
{
    m_timer.stop();
    // One file at a time: a worker still writing older looks hands over to the next when done.
    if (m_job || m_jobs.isBusy() || !m_file.isEmpty() || m_error)
        return;
    const Request request = m_current();
    if (request.refusal) {
        if (m_wanted)
            fail(*request.refusal);
        return;
    }
    const quint64 generation = m_generation;
    const QString path = QDir(QDir::tempPath()).filePath(request.fileName);
    const QString unfinished =
        path +
        QStringLiteral(".%1.tmp").arg(QUuid::createUuid().toString(QUuid::Id128).left(8).toUpper());
    const QString copyFrom = std::exchange(m_lastOutput, QString());
    m_job = std::make_shared<Job>(request.output.dayCycle);
    m_progressDone = 0;
    m_progressLabel.clear();
    Q_EMIT progressChanged();
    using Step = OutputJobs::Step;
    auto *watcher = new QFutureWatcher<Step>(this);
    connect(watcher, &QFutureWatcherBase::resultReadyAt, this, [this, watcher](int index) {
        const Step step = watcher->resultAt(index);
        if (!step.began)
            return;
        m_progressDone = step.done;
        m_progressLabel = label(*step.began);
        Q_EMIT progressChanged();
    });
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation, path] {
        const QList<Step> steps = watcher->future().results();
        const std::optional<QString> error =
            steps.isEmpty() ? std::nullopt : steps.constLast().error;
        watcher->deleteLater();
        QString written;
        bool abandoned = false;
        {
            const QMutexLocker lock(&m_job->mutex);
            written = std::exchange(m_job->written, QString());
            abandoned = m_job->progress.isCancelled();
        }
        m_job.reset();
        if (abandoned) { // stopped by the person: nothing to tell, nothing kept
            QFile::remove(written);
            if (m_wanted) // a drag that asked again since
                prepare();
            return;
        }
        if (generation != m_generation) {
            QFile::remove(written);
            if (m_wanted || !m_timer.isActive())
                prepare(); // the looks have been still since the timer ran out
            return;
        }
        std::optional<QString> failure = error;
        if (!failure) {
            // An earlier drag file of this name is replaced in one step.
            if (const auto moved = OutputFile::moveOver(written, path))
                failure = description(*moved);
        }
        if (failure) {
            if (m_wanted)
                fail(*failure);
            else
                m_error = failure; // told when a drag asks for it
            return;
        }
        m_file = path;
        m_dropped.removeAll(path); // replaced, so no longer a leftover
        Q_EMIT preparedFileChanged();
        if (m_wanted) {
            setWanted(false);
            Q_EMIT ready();
        }
    });
    watcher->setFuture(QtConcurrent::run(dragPool(), [output = request.output, unfinished, copyFrom,
                                                      job = m_job](QPromise<Step> &promise) {
        job->progress.setListener([&promise](WriteStep step, double done) {
            promise.addResult(Step::begun(step, done));
        });
        std::optional<QString> error;
        try {
            if (copyFrom.isEmpty() || !QFile::copy(copyFrom, unfinished))
                error = OutputJobs::writeOutput(output.light, output.dark, output.size, unfinished,
                                                &job->progress, output.dayCycle);
        } catch (const std::exception &) { // memory ran out: rethrown, it would reach the loop
            error = description(ExportError::RenderFailed);
        }
        job->progress.setListener({});
        {
            const QMutexLocker lock(&job->mutex);
            if (error || job->abandoned)
                QFile::remove(unfinished);
            else
                job->written = unfinished;
        }
        promise.addResult(Step::outcome(error));
    }));
}

QMimeData *DragFile::makeDragData()
{
    if (const auto refusal = m_current().refusal) {
        Q_EMIT failed(*refusal);
        return new QMimeData;
    }
    if (m_error) {
        Q_EMIT failed(*std::exchange(m_error, std::nullopt)); // the next drag tries again
        return new QMimeData;
    }
    if (!m_file.isEmpty() && !QFileInfo::exists(m_file)) { // a cleaner took it
        m_file.clear();
        Q_EMIT preparedFileChanged();
    }
    if (m_file.isEmpty()) {
        if (!m_wanted)
            setWanted(true);
        prepare();
        return nullptr;
    }
    m_handedOut = true;
    auto *data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(m_file)});
    // File managers that create the dropped file themselves take its name from here.
    data->setData(QStringLiteral("application/x-kde-suggestedfilename"),
                  QFileInfo(m_file).fileName().toUtf8());
    return data;
}
