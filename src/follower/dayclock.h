#pragma once

// The follower's alarm for a day that follows the clock or the sun. It sleeps in the kernel until
// the next picture is due and wakes early when the wall clock no longer means what it meant when
// the alarm was set — the clock set by hand or by the network, the machine back from suspend,
// another time zone chosen — so the picture is never a suspend or a journey behind. Nothing is
// polled: between changes the follower costs no CPU at all.

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <memory>

class QSocketNotifier;

class DayClock : public QObject
{
    Q_OBJECT

public:
    // `zoneFiles`: the files whose change means another time zone (the system's by default).
    explicit DayClock(QStringList zoneFiles = systemZoneFiles(), QObject *parent = nullptr);
    ~DayClock() override;

    // Wakes once at `when` (an instant, whatever its zone); an invalid instant only stops the
    // alarm. Either way a change of clock or zone still wakes it while it is in use.
    void wakeAt(const QDateTime &when);
    void stop();

    static QStringList systemZoneFiles();

Q_SIGNALS:
    // The instant was reached, or the clock or the zone changed: time to look at the clock.
    void due();

private:
    void fired();
    void watchZone();

    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QFileSystemWatcher m_zone;
    QTimer m_zoneSettled;
    QStringList m_zoneFiles;
    bool m_running = false;
};
