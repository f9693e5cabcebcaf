// Hyprland, river, niri, labwc, Wayfire and the other compositors built on wlroots keep no
// wallpaper of their own: a picture shows only while a layer-shell client draws it, and swaybg
// is that client. The swaybg showing our picture is found among the session's processes rather
// than remembered, so whichever program started it — a set in the window, the command line,
// the follower after a change of scheme or at login — any other can replace it, and a swaybg
// left by a run that has ended is still known.

#include "desktopbackends.h"
#include "singlepicture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QThread>

#include <csignal>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include <memory>

namespace {

const QString kSwaybg = QStringLiteral("swaybg");
// Other programs that draw a wallpaper on these compositors: one of them running means the
// person chose another picture with it.
const QStringList kOtherDrawers{QStringLiteral("hyprpaper"), QStringLiteral("swww-daemon"),
                                QStringLiteral("wpaperd"),   QStringLiteral("mpvpaper"),
                                QStringLiteral("wbg"),       QStringLiteral("oguri")};
// How long a new swaybg may take to load a large picture and draw it.
constexpr int kDrawTimeoutMs = 5000;

// A process of this user that draws a wallpaper.
struct Drawer
{
    pid_t pid = 0;
    QString name;
    QString picture; // swaybg's image; empty for the other programs
};

QByteArray procFile(pid_t pid, const char *name)
{
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.read(64 * 1024) : QByteArray();
}

// The image a swaybg command line names (-i or --image; the last one counts).
QString imageOf(const QByteArray &cmdline)
{
    const QList<QByteArray> arguments = cmdline.split('\0');
    QString image;
    for (qsizetype i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments.at(i) == "-i" || arguments.at(i) == "--image")
            image = QFile::decodeName(arguments.at(i + 1));
    }
    return image;
}

// The state letter and CPU ticks of a process; state 0 once it is gone.
std::pair<char, qint64> stateOf(pid_t pid)
{
    const QByteArray stat = procFile(pid, "stat");
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return {0, 0};
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    if (fields.size() < 13 || fields.at(0) == "Z" || fields.at(0) == "X")
        return {0, 0};
    return {fields.at(0).at(0), fields.at(11).toLongLong() + fields.at(12).toLongLong()};
}

// The drawers running now; one that has ended but is not yet reaped is none.
QList<Drawer> drawers()
{
    QList<Drawer> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool number = false;
        const pid_t pid = entry.toInt(&number);
        if (!number || QFileInfo(QStringLiteral("/proc/") + entry).ownerId() != getuid())
            continue;
        const QString name = QString::fromUtf8(procFile(pid, "comm")).trimmed();
        if ((name == kSwaybg || kOtherDrawers.contains(name)) && stateOf(pid).first == 0)
            continue;
        if (name == kSwaybg)
            found.append({pid, name, imageOf(procFile(pid, "cmdline"))});
        else if (kOtherDrawers.contains(name))
            found.append({pid, name, {}});
    }
    return found;
}

// Whether `pid` has drawn: swaybg draws once and then sleeps on the compositor's socket, so it
// has drawn once it sleeps without using the CPU across two looks. False when it ended.
bool waitUntilDrawn(pid_t pid)
{
    QElapsedTimer elapsed;
    elapsed.start();
    std::pair<char, qint64> last{0, -1};
    int still = 0;
    while (elapsed.elapsed() < kDrawTimeoutMs) {
        QThread::msleep(50);
        const std::pair<char, qint64> now = stateOf(pid);
        if (now.first == 0)
            return false;
        still = now.first == 'S' && now.second == last.second ? still + 1 : 0;
        last = now;
        if (still >= 2 && elapsed.elapsed() >= 150)
            return true;
    }
    return stateOf(pid).first != 0; // drawing a very large picture: it still runs
}

class WlrootsBackend : public SinglePictureBackend
{
public:
    using SinglePictureBackend::SinglePictureBackend;
    ~WlrootsBackend() override
    {
        m_notifier.reset();
        if (m_fd >= 0)
            close(m_fd);
    }

    std::optional<QString> currentPicture() override
    {
        std::optional<QString> ours;
        for (const Drawer &drawer : drawers()) {
            if (drawer.name != kSwaybg || !isOurPicture(drawer.picture))
                return drawer.picture.isEmpty() ? QStringLiteral("/proc/%1").arg(drawer.pid)
                                                : drawer.picture;
            ours = drawer.picture;
            watch(drawer.pid);
        }
        return ours;
    }

    void watchPicture(std::function<void()> lost) override { m_lost = std::move(lost); }

    void releasePicture() override
    {
        for (const Drawer &drawer : drawers()) {
            if (drawer.name == kSwaybg && isOurPicture(drawer.picture))
                kill(drawer.pid, SIGTERM);
        }
    }

protected:
    std::optional<QString> setPicture(const QString &path) override
    {
        const QString program = QStandardPaths::findExecutable(kSwaybg);
        if (program.isEmpty())
            return description(DesktopFailure{DesktopError::ToolMissing, kSwaybg, {}}) +
                   QStringLiteral(" Installiere das Paket „swaybg“ (sudo apt install swaybg).");
        const QList<Drawer> before = drawers();
        // What swaybg says on its way out is the detail of the error; it is read only then.
        QTemporaryFile said;
        said.open();
        QProcess swaybg;
        swaybg.setProgram(program);
        swaybg.setArguments({QStringLiteral("-o"), QStringLiteral("*"), QStringLiteral("-i"), path,
                             QStringLiteral("-m"), QStringLiteral("fill")});
        swaybg.setWorkingDirectory(QStringLiteral("/"));
        swaybg.setStandardInputFile(QProcess::nullDevice());
        swaybg.setStandardOutputFile(QProcess::nullDevice());
        swaybg.setStandardErrorFile(said.fileName());
        // Detached, in a session of its own: the picture outlives the window or the command
        // line that set it.
        qint64 pid = 0;
        if (!swaybg.startDetached(&pid))
            return description(DesktopFailure{DesktopError::ToolMissing, kSwaybg, {}});
        // The new one draws over the old, which goes only then: no grey between two pictures.
        if (!waitUntilDrawn(pid_t(pid)))
            return description(DesktopFailure{DesktopError::ToolFailed, kSwaybg,
                                              failureDetail(QString::fromUtf8(said.readAll()))});
        for (const Drawer &drawer : before) {
            if (drawer.name == kSwaybg && isOurPicture(drawer.picture))
                kill(drawer.pid, SIGTERM);
        }
        watch(pid_t(pid));
        return std::nullopt;
    }

private:
    // Tells m_lost when `pid` ends by itself (a crash, a kill): a pidfd turns readable then.
    void watch(pid_t pid)
    {
        if (!m_lost || pid == m_watched)
            return;
        m_notifier.reset();
        if (m_fd >= 0)
            close(m_fd);
        m_fd = int(syscall(SYS_pidfd_open, pid, 0));
        m_watched = pid;
        if (m_fd < 0)
            return;
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] {
            m_notifier->setEnabled(false);
            m_watched = 0;
            m_lost();
        });
    }

    std::function<void()> m_lost;
    std::unique_ptr<QSocketNotifier> m_notifier;
    int m_fd = -1;
    pid_t m_watched = 0;
};

} // namespace

std::unique_ptr<DesktopBackend> makeWlrootsBackend(CommandRunner runner, DarkSchemeQuery dark)
{
    return std::make_unique<WlrootsBackend>(std::move(runner), std::move(dark));
}
