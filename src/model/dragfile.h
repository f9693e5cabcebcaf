#pragma once

// The wallpaper dragged out of the preview. A drag needs its file the moment it starts, and
// writing one takes seconds: so once the looks and the size have been still for a second, a
// worker writes it ahead, into the temporary folder, at the lowest priority. Each change of
// the looks starts a new generation; a file of an older one is thrown away.

#include "model/outputjobs.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <optional>

class QMimeData;

class DragFile : public QObject
{
    Q_OBJECT

public:
    // What the file would hold now, its name, and why there can be none (judged without
    // rendering).
    struct Request
    {
        OutputJobs::Request output;
        QString fileName;
        std::optional<QString> refusal;
    };
    using RequestSource = std::function<Request()>;
    static constexpr int kPrepareDelayMs = 1000;

    // `jobs` is the program's one busy state: no file is written beside a running job, which
    // would double the memory peak, and a file a job just wrote of the same looks is copied.
    DragFile(RequestSource current, OutputJobs &jobs, QObject *parent = nullptr);
    ~DragFile() override;

    // The drag's data when the file is ready; empty data with failed() when nothing can be
    // exported; nothing while the file is still being written: isPreparing() is then set until
    // ready() or failed().
    QMimeData *makeDragData();
    bool isPreparing() const { return m_wanted; }
    // While a drag waits: the share of the file written (0 to 1) and the step (German).
    double progress() const { return m_progressDone; }
    QString progressLabel() const { return m_progressLabel; }
    // The button was released before the file was ready: nothing is dragged.
    void cancel();
    // The person stopped the wait: nothing is dragged, and the file being written is given up
    // (a new one is written once the looks change or a drag asks again).
    void abandon();
    // The file a drag would carry now; empty while none is ready.
    QString preparedFile() const { return m_file; }
    quint64 generation() const { return m_generation; }
    // The looks or the size changed: the file goes, a new one follows once they are still.
    void looksChanged();

Q_SIGNALS:
    void isPreparingChanged();
    void progressChanged();
    void preparedFileChanged();
    // The file a waiting drag asked for is ready; makeDragData() now returns it.
    void ready();
    void failed(const QString &error);

private:
    struct Job;
    void prepare();
    void setWanted(bool wanted);
    void discard();
    void fail(const QString &error);

    RequestSource m_current;
    OutputJobs &m_jobs;
    QTimer m_timer;
    quint64 m_generation = 0;
    std::shared_ptr<Job> m_job; // shared with the one worker writing a file
    QString m_file;
    std::optional<QString> m_error; // the preparation of this generation failed
    bool m_handedOut = false;       // a drop target may still be reading m_file
    QStringList m_dropped;          // handed out earlier, removed with this object
    bool m_wanted = false;
    QString m_lastOutput; // written by a job of the current looks, or empty
    double m_progressDone = 0;
    QString m_progressLabel;
};
