#include "datafolder.h"

#include "outputfile.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

SetLock::SetLock()
{
    QDir().mkpath(voskanDataFolder());
    m_fd = ::open(QFile::encodeName(voskanDataFolder() + QStringLiteral("/set.lock")).constData(),
                  O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    while (m_fd >= 0 && ::flock(m_fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
}

SetLock::~SetLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::optional<QByteArray> readSmallFile(const QString &path, qint64 maxBytes)
{
    // Opened without waiting (a FIFO would block until someone writes to it), then taken
    // only if it is what it claims to be: a regular file of a size that can be meant.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat info
    {
    };
    std::optional<QByteArray> bytes;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= maxBytes) {
        QByteArray data(qsizetype(info.st_size), Qt::Uninitialized);
        const ssize_t got = ::read(fd, data.data(), std::size_t(data.size()));
        if (got >= 0) {
            data.truncate(qsizetype(got));
            bytes = data;
        }
    }
    ::close(fd);
    return bytes;
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
