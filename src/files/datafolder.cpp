#include "datafolder.h"

#include "outputfile.h"
#include "regularfile.h"

#include <algorithm>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace {

constexpr char kLockName[] = "set.lock";

// Takes `fd`'s lock, waiting at most `waitMs` (kUntilFree: as long as it takes); false when
// it stayed taken or cannot be taken at all.
bool lockWithin(int fd, int waitMs)
{
    if (waitMs == SetLock::kUntilFree) {
        while (::flock(fd, LOCK_EX) != 0) {
            if (errno != EINTR)
                return false;
        }
        return true;
    }
    QElapsedTimer waited;
    waited.start();
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (waited.elapsed() >= waitMs)
            return false;
        // Another set holds it for seconds: looking twenty times a second costs nothing and
        // answers soon after it is free.
        QThread::msleep(SetLock::kRetryMs);
    }
    return true;
}

// The lock file of the data folder `dir` opened as a regular file, never through a link and
// never waiting on a FIFO; -1 when the name is something else (or cannot be made).
int openLockFile(int dir)
{
    const int fd = ::openat(
        dir, kLockName, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Whether `fd` is still the file under the lock's name: a lock on a file that was removed
// meanwhile guards nothing.
bool isStillNamed(int dir, int fd)
{
    struct stat named
    {
    }, held{};
    return ::fstatat(dir, kLockName, &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &held) == 0 &&
           named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

} // namespace

SetLock::SetLock(int waitMs)
{
    const QString folder = voskanDataFolder();
    const QString lockPath =
        QDir::toNativeSeparators(folder + QLatin1Char('/') + QLatin1String(kLockName));
    QDir().mkpath(folder);
    const int dir =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        m_refusal = QStringLiteral("Der Ordner für das Wallpaper konnte nicht angelegt werden.");
        return;
    }
    QElapsedTimer waited;
    waited.start();
    const auto left = [&] {
        return waitMs == kUntilFree ? kUntilFree
                                    : int(std::max<qint64>(0, waitMs - waited.elapsed()));
    };
    // A handful of rounds: each either takes the lock, replaces a name that is no lock file, or
    // finds the file it locked removed under it.
    for (int round = 0; round < 8 && m_fd < 0 && m_refusal.isEmpty(); ++round) {
        int fd = openLockFile(dir);
        if (fd >= 0) {
            if (!lockWithin(fd, left()))
                m_refusal = busyText();
            else if (isStillNamed(dir, fd))
                m_fd = std::exchange(fd, -1);
            if (fd >= 0)
                ::close(fd);
            continue;
        }
        // Something else has the name (a folder, a FIFO, a link of any kind, a socket): like
        // the folder's other names it is no file of ours, and makes room for the lock. The
        // folder's own lock keeps two sets from replacing it at once, so the second finds
        // the first one's file and waits for it.
        if (!lockWithin(dir, left())) {
            m_refusal = busyText();
            break;
        }
        struct stat info
        {
        };
        if (::fstatat(dir, kLockName, &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(info.st_mode) &&
            ::unlinkat(dir, kLockName, S_ISDIR(info.st_mode) ? AT_REMOVEDIR : 0) != 0)
            m_refusal = S_ISDIR(info.st_mode)
                            ? QStringLiteral("„%1“ ist ein Ordner, Voskan braucht den Namen "
                                             "für die Sperre beim Setzen. Entferne den Ordner "
                                             "und versuche es erneut.")
                                  .arg(lockPath)
                            : QString();
        ::flock(dir, LOCK_UN);
    }
    ::close(dir);
    if (m_fd < 0 && m_refusal.isEmpty())
        m_refusal = QStringLiteral("Die Sperre für das Setzen („%1“) ließ sich nicht anlegen.")
                        .arg(lockPath);
}

SetLock::~SetLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString SetLock::busyText()
{
    return QStringLiteral("Ein anderes Setzen des Wallpapers läuft noch. Warte, bis es fertig "
                          "ist, und versuche es dann erneut.");
}

std::optional<QByteArray> readSmallFile(const QString &path, qint64 maxBytes)
{
    return RegularFile(path).readAll(maxBytes);
}

bool writeWholeFile(const QString &path, const QByteArray &bytes)
{
    // These names are the program's own: what sits there and is no regular file (a FIFO, a
    // link to one or to nothing) is no file of ours, and goes rather than block the writes.
    const QByteArray name = QFile::encodeName(path);
    struct stat link
    {
    }, target{};
    if (::lstat(name.constData(), &link) == 0 && !S_ISDIR(link.st_mode) &&
        (::stat(name.constData(), &target) != 0 || !S_ISREG(target.st_mode)))
        ::unlink(name.constData());
    return !OutputFile::writeWhole(path, bytes);
}

std::optional<QString> createDataFolder()
{
    const QString folder = voskanDataFolder();
    if (!QDir().mkpath(folder))
        return std::nullopt;
    return folder;
}

std::optional<QString> dataFolderRefusal()
{
    // The folder comes from XDG_DATA_HOME when it is an absolute path, else from HOME.
    QByteArray raw = qgetenv("XDG_DATA_HOME");
    if (!raw.startsWith('/'))
        raw = qgetenv("HOME");
    if (QFile::encodeName(QFile::decodeName(raw)) == raw)
        return std::nullopt;
    return QStringLiteral("Der Name des Datenordners (XDG_DATA_HOME oder HOME) ist kein gültiges "
                          "UTF-8; Voskan schreibt nicht in einen Ordner anderen Namens.");
}

bool hasControlCharacter(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.category() == QChar::Other_Control; });
}

QString voskanDataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Voskan");
}
