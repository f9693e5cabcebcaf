#include "outputfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUuid>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

std::optional<FileError> folderProblem(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &st) != 0)
        return fileErrorFromErrno(errno);
    if (!S_ISDIR(st.st_mode))
        return FileError::NotAFolder;
    return std::nullopt;
}

// The unfinished files of this process, for the signal handler: plain pointers, swapped
// without locks, since a handler may do nothing that is not async-signal-safe.
constexpr int kTracked = 16;
std::atomic<const char *> g_unfinished[kTracked];

void track(const char *path)
{
    for (auto &slot : g_unfinished) {
        const char *empty = nullptr;
        if (slot.compare_exchange_strong(empty, path))
            return;
    }
}

void untrack(const char *path)
{
    for (auto &slot : g_unfinished) {
        const char *expected = path;
        if (slot.compare_exchange_strong(expected, nullptr))
            return;
    }
}

extern "C" void removeUnfinished(int signal)
{
    for (auto &slot : g_unfinished)
        if (const char *path = slot.load())
            ::unlink(path);
    // Then the signal does what it would have done: end the process.
    struct sigaction plain
    {
    };
    plain.sa_handler = SIG_DFL;
    ::sigaction(signal, &plain, nullptr);
    ::raise(signal);
}

// Part files of ours left by a process that could not clean up (killed outright, or the
// machine went down) are removed at the next write into their folder, once a day old: a
// younger one may still be being written.
void removeStaleParts(const QDir &folder)
{
    static const QRegularExpression ours(QStringLiteral("^\\.voskan-[0-9a-f]{12}\\.part$"));
    const QDateTime dayAgo = QDateTime::currentDateTimeUtc().addDays(-1);
    for (const QFileInfo &part :
         folder.entryInfoList({QStringLiteral(".voskan-*.part")}, QDir::Files | QDir::Hidden)) {
        if (ours.match(part.fileName()).hasMatch() && part.lastModified() < dayAgo)
            QFile::remove(part.filePath());
    }
}

} // namespace

void OutputFile::removeUnfinishedOnSignals()
{
    struct sigaction handler
    {
    };
    handler.sa_handler = removeUnfinished;
    sigemptyset(&handler.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &handler, nullptr);
}

OutputFile::OutputFile(const QString &path) : m_path(path) {}

std::optional<FileError> OutputFile::writeWhole(const QString &path, const QByteArray &bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return FileError::FolderMissing;
    OutputFile file(path);
    if (!file.open())
        return file.error();
    file.write(bytes);
    file.commit();
    return file.error();
}

std::optional<FileError> OutputFile::moveOver(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from);
    if (::rename(source.constData(), QFile::encodeName(to).constData()) == 0)
        return std::nullopt;
    const FileError error = fileErrorFromErrno(errno);
    ::unlink(source.constData());
    return error;
}

OutputFile::~OutputFile()
{
    discard();
}

std::optional<FileError> OutputFile::checkDestination(const QString &path, QString *target)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (::lstat(name.constData(), &st) != 0) {
        if (errno != ENOENT)
            return fileErrorFromErrno(errno);
        if (const auto problem = folderProblem(path))
            return problem;
        if (target)
            *target = path;
        return std::nullopt;
    }
    QString resolved = path;
    if (S_ISLNK(st.st_mode)) {
        if (::stat(name.constData(), &st) != 0)
            return errno == ENOENT ? FileError::DanglingLink : fileErrorFromErrno(errno);
        resolved = QFileInfo(path).canonicalFilePath();
    }
    // Replacing a device node, a pipe or a socket by a file would break whatever uses it.
    if (S_ISDIR(st.st_mode))
        return FileError::IsFolder;
    if (!S_ISREG(st.st_mode))
        return FileError::NotRegular;
    // A rename needs only the folder's permission, but a file its user may not change (another
    // user's, or one made read-only) is refused, as cp and the shell refuse it.
    if (::faccessat(AT_FDCWD, QFile::encodeName(resolved).constData(), W_OK, AT_EACCESS) != 0 &&
        errno == EACCES)
        return FileError::WriteProtected;
    if (target)
        *target = resolved;
    return std::nullopt;
}

bool OutputFile::open()
{
    discard();
    m_error.reset();
    if ((m_error = checkDestination(m_path, &m_target)))
        return false;
    const QFileInfo target(m_target);
    removeStaleParts(target.absoluteDir());
    m_partial = QFile::encodeName(target.absoluteDir().filePath(
        QStringLiteral(".voskan-%1.part")
            .arg(QUuid::createUuid().toString(QUuid::Id128).left(12))));
    // Known to the signal handler before it exists: a signal between the file's creation and
    // its tracking (a thread put aside right after open() makes that moment long) would leave
    // it behind. Removing a name not yet made does no harm.
    track(m_partial.constData());
    m_fd = ::open(m_partial.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        const int openError = errno;
        untrack(m_partial.constData());
        m_partial.clear();
        return fail(openError);
    }
    // A replaced file keeps who may read it.
    struct stat st;
    if (::stat(QFile::encodeName(m_target).constData(), &st) == 0)
        ::fchmod(m_fd, st.st_mode & 07777);
    return QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 OutputFile::writeData(const char *data, qint64 size)
{
    // After a failure the rest is taken and dropped: an encoder told of it would only print
    // its own English complaint, and commit() reports the failure anyway.
    for (qint64 done = 0; done < size && !m_error;) {
        const ssize_t n = ::write(m_fd, data + done, std::size_t(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail(n < 0 ? errno : ENOSPC);
        else
            done += n;
    }
    return size;
}

bool OutputFile::commit()
{
    if (m_fd < 0 || m_error) {
        discard();
        return false;
    }
    // Written through before the move, so a crash leaves the old file or the whole new one;
    // network and quota file systems may also report a full disk only here.
    const int fd = std::exchange(m_fd, -1);
    const bool flushed = ::fsync(fd) == 0;
    const int flushError = errno;
    if (::close(fd) != 0 || !flushed)
        fail(flushed ? errno : flushError);
    // Checked again: something may have taken the name while the file was written.
    if (!m_error)
        m_error = checkDestination(m_target);
    if (!m_error && ::rename(m_partial.constData(), QFile::encodeName(m_target).constData()) != 0)
        fail(errno);
    if (m_error) {
        discard();
        return false;
    }
    untrack(m_partial.constData());
    m_partial.clear();
    QIODevice::close();
    return true;
}

bool OutputFile::fail(int errnum)
{
    if (!m_error)
        m_error = fileErrorFromErrno(errnum);
    setErrorString(description(*m_error));
    return false;
}

void OutputFile::discard()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_partial.isEmpty()) {
        ::unlink(m_partial.constData());
        untrack(m_partial.constData());
    }
    m_partial.clear();
    if (isOpen())
        QIODevice::close();
}
