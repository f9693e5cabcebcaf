#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

// Measures how long the event loop went without serving a 5 ms timer while it runs, to show
// that work meant for other threads stays off the main one.
class LoopGapWatch
{
public:
    LoopGapWatch()
    {
        m_ticker.callOnTimeout([this] { m_longest = std::max(m_longest, m_gap.restart()); });
        m_gap.start();
        m_ticker.start(5);
    }
    void stop() { m_ticker.stop(); }
    // The longest gap so far, in milliseconds.
    qint64 longest() const { return m_longest; }

private:
    QElapsedTimer m_gap;
    QTimer m_ticker;
    qint64 m_longest = 0;
};
