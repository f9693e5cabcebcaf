#pragma once

// A wallpaper takes seconds to leave the program — two renders, two encodes, for a set the
// desktop's pictures — and a person waiting wants to see how far it is and to be able to stop
// it. The worker that writes and the window that shows it share one of these: the worker says
// which step it begins and asks between steps whether to stop; the window listens and cancels.
// No step is interrupted inside (an encoder cannot be), so a cancel takes effect at the next
// step, and whatever the stopped work had begun to write is removed by its own writer.

#include <QList>
#include <QString>

#include <functional>
#include <mutex>

// The steps a wallpaper is written in, in the order they happen.
enum class WriteStep {
    RenderLight,   // the light look at full size
    RenderDark,    // the dark look at full size
    DesktopImages, // the two pictures the desktop reads
    EncodeLight,   // the light picture into the HEIC
    EncodeDark,    // the dark picture into the HEIC
    EncodeDawn,    // a day cycle's picture between night and day, made and put into the HEIC
};

// What the window shows during a step (German).
QString label(WriteStep step);

class WriteProgress
{
public:
    // Told at the beginning of each step, on the worker's thread: the step and the share of
    // the whole job done before it (0 to 1).
    using Listener = std::function<void(WriteStep step, double done)>;

    // `plan` names the job's steps in order; each counts by its weight, the time it takes
    // compared with the others, so the share done moves at an even pace.
    struct Planned
    {
        WriteStep step;
        double weight = 1;
        int repeats = 1; // a step taken that many times over, each with its weight
    };
    explicit WriteProgress(QList<Planned> plan, Listener listener = {});
    // Set by the thread that begins the steps, before the first.
    void setListener(Listener listener) { m_listener = std::move(listener); }

    // The steps of an export (renders, encodes) and of a set (renders, the desktop's
    // pictures, encodes), weighted by what they cost at any size.
    static QList<Planned> exportPlan();
    static QList<Planned> setPlan();

    // The steps of writing a day cycle of `pictures`: an export's, the dawn's pictures after
    // the pair's.
    static QList<Planned> dayCyclePlan(int pictures);
    // The worker begins `step`, for a repeated one its `repeat`-th time (from 0); a step not
    // in the plan counts as weightless.
    void begin(WriteStep step, int repeat = 0);
    // The share done, 0 to 1.
    double done() const;
    // For the worker, before each step: true when it is to stop instead (nothing begun);
    // otherwise `step` begins. Without a progress nothing stops.
    static bool stopsBefore(WriteProgress *progress, WriteStep step, int repeat = 0);

    // Asks the work to stop at its next step; callable from any thread. Ignored once the work
    // can no longer be stopped.
    void cancel();
    bool isCancelled() const;
    // From here the work goes to its end (a set whose desktop shows the new picture): a cancel
    // asked for before is dropped, later ones are ignored.
    void setUncancellable();
    bool isCancellable() const;

private:
    QList<Planned> m_plan;
    Listener m_listener;
    mutable std::mutex m_mutex;
    double m_done = 0;
    bool m_cancelled = false;
    bool m_cancellable = true;
};
