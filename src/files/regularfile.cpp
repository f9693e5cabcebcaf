#include "regularfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QThreadPool>

#include <algorithm>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RegularFile::RegularFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info
    {
    };
    // Looked at before it is opened, so that a device is never opened at all (some act on
    // open); the descriptor's own type below is what counts.
    if (::stat(name.constData(), &info) != 0) {
        m_errno = errno;
        return;
    }
    if (!S_ISREG(info.st_mode))
        return;
    // O_NONBLOCK: a FIFO put here since would otherwise wait for a writer.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        m_errno = errno;
        return;
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return;
    }
    // Back to ordinary reads for the libraries handed the descriptor.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_fd = fd;
    m_size = qint64(info.st_size);
}

RegularFile::~RegularFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

RegularFile::RegularFile(RegularFile &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_size(other.m_size), m_errno(other.m_errno)
{
}

RegularFile &RegularFile::operator=(RegularFile &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_size = other.m_size;
        m_errno = other.m_errno;
    }
    return *this;
}

qint64 RegularFile::readInto(char *into, qint64 offset, qint64 count) const
{
    if (m_fd < 0 || offset < 0 || count < 0)
        return -1;
    qint64 got = 0;
    while (got < count) {
        const ssize_t n = ::pread(m_fd, into + got, std::size_t(count - got), off_t(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0) // shorter now than when it was opened
            break;
        got += qint64(n);
    }
    return got;
}

std::optional<QByteArray> RegularFile::read(qint64 offset, qint64 count) const
{
    QByteArray bytes(qsizetype(std::max<qint64>(0, std::min(count, m_size - offset))),
                     Qt::Uninitialized);
    const qint64 got = readInto(bytes.data(), offset, bytes.size());
    if (got < 0)
        return std::nullopt;
    bytes.truncate(qsizetype(got));
    return bytes;
}

std::optional<QByteArray> RegularFile::readAll(qint64 maxBytes) const
{
    if (m_fd < 0 || m_size > maxBytes)
        return std::nullopt;
    return read(0, m_size);
}

QThreadPool *workerPool()
{
    // Made with the application and waited for when it ends. More threads than cores: a
    // thread waiting on a slow disk uses none.
    static QThreadPool *pool = [] {
        auto *created = new QThreadPool(QCoreApplication::instance());
        created->setMaxThreadCount(std::max(4, QThread::idealThreadCount()));
        return created;
    }();
    return pool;
}
