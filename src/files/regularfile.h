#pragma once

// Every file a person names (a photo, a dynamic wallpaper, a picture of the library, a drop, a
// path handed over by a second start) is opened here and nowhere else. A FIFO, a socket, a
// device or a folder under a photo's name would block a thread for good or read without end;
// they are told apart by the descriptor itself, so a name swapped between a check and the
// open cannot slip one in, and the bytes are then read from that same descriptor.

#include <QByteArray>
#include <QString>

#include <optional>

class QThreadPool;

class RegularFile
{
public:
    // Opens `path` for reading without ever waiting: refused when it is missing, not readable,
    // or anything but a regular file; a link to one counts.
    explicit RegularFile(const QString &path);
    ~RegularFile();
    RegularFile(RegularFile &&other) noexcept;
    RegularFile &operator=(RegularFile &&other) noexcept;
    RegularFile(const RegularFile &) = delete;
    RegularFile &operator=(const RegularFile &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // Why it is not open, as the errno of its stat or open; 0 when something else than a
    // regular file stands there. Meaningful only when !isOpen().
    int errorNumber() const { return m_errno; }
    // The open descriptor, still owned here; -1 when not open.
    int descriptor() const { return m_fd; }
    // The size when it was opened.
    qint64 size() const { return m_size; }

    // Up to `count` bytes from `offset`, fewer at the end of the file; nothing on a read error.
    std::optional<QByteArray> read(qint64 offset, qint64 count) const;
    // Up to `count` bytes from `offset` into `into`: how many were read, -1 on a read error.
    qint64 readInto(char *into, qint64 offset, qint64 count) const;
    // The whole file when it holds at most `maxBytes`, else nothing.
    std::optional<QByteArray> readAll(qint64 maxBytes) const;

private:
    int m_fd = -1;
    qint64 m_size = 0;
    int m_errno = 0;
};

// The threads every job of ours runs on: opening, reading and decoding files and downloads,
// listing the library, writing the outputs. Qt's global pool is left to Qt: in Qt 6.4 the
// window's own image scaling and conversion wait for that pool's threads, so a read that takes
// long there (a slow network share) would stop the window from painting.
QThreadPool *workerPool();
