#include "dayclock.h"

#include <QFileInfo>
#include <QSocketNotifier>

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

DayClock::DayClock(QStringList zoneFiles, QObject *parent)
    : QObject(parent), m_zoneFiles(std::move(zoneFiles))
{
    // The real-time clock with cancel-on-set: the kernel ends the wait whenever the clock is
    // set, and an instant passed while suspended is due as soon as the machine resumes.
    m_fd = timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, &DayClock::fired);
    }
    // A zone file is replaced rather than written (timedatectl links /etc/localtime anew), which
    // ends a watch on the file itself; its folder sees the new one arrive.
    // One replacement is several events (the folder, the file): they make one wake-up.
    m_zoneSettled.setSingleShot(true);
    m_zoneSettled.setInterval(200);
    connect(&m_zoneSettled, &QTimer::timeout, this, [this] {
        // The C library reads the zone once and keeps it; local times go through it.
        tzset();
        if (m_running)
            Q_EMIT due();
    });
    const auto zoneChanged = [this] {
        watchZone();
        if (m_running)
            m_zoneSettled.start();
    };
    connect(&m_zone, &QFileSystemWatcher::fileChanged, this, zoneChanged);
    connect(&m_zone, &QFileSystemWatcher::directoryChanged, this, zoneChanged);
}

DayClock::~DayClock()
{
    m_notifier.reset();
    if (m_fd >= 0)
        close(m_fd);
}

QStringList DayClock::systemZoneFiles()
{
    return {QStringLiteral("/etc/localtime"), QStringLiteral("/etc/timezone")};
}

void DayClock::wakeAt(const QDateTime &when)
{
    m_running = true;
    watchZone();
    itimerspec alarm{};
    if (when.isValid()) {
        const qint64 ms = when.toMSecsSinceEpoch();
        // Zero would disarm the timer: an instant at or before the epoch is simply due.
        alarm.it_value.tv_sec = ms > 0 ? time_t(ms / 1000) : 0;
        alarm.it_value.tv_nsec = ms > 0 ? long(ms % 1000) * 1'000'000 : 1;
    }
    if (m_fd >= 0)
        timerfd_settime(m_fd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &alarm, nullptr);
}

void DayClock::stop()
{
    m_running = false;
    m_zoneSettled.stop();
    const itimerspec none{};
    if (m_fd >= 0)
        timerfd_settime(m_fd, 0, &none, nullptr);
    if (!m_zone.files().isEmpty())
        m_zone.removePaths(m_zone.files());
    if (!m_zone.directories().isEmpty())
        m_zone.removePaths(m_zone.directories());
}

void DayClock::fired()
{
    std::uint64_t expirations = 0;
    // ECANCELED: the clock was set. EAGAIN: nothing after all (a re-arm raced the wake-up).
    if (read(m_fd, &expirations, sizeof expirations) < 0 && errno == EAGAIN)
        return;
    if (m_running)
        Q_EMIT due();
}

void DayClock::watchZone()
{
    for (const QString &file : m_zoneFiles) {
        const QFileInfo info(file);
        if (info.exists() && !m_zone.files().contains(file))
            m_zone.addPath(file);
        if (QFileInfo::exists(info.absolutePath()) &&
            !m_zone.directories().contains(info.absolutePath()))
            m_zone.addPath(info.absolutePath());
    }
}
