#pragma once

// The one way the program writes a file: the HEIC and PNG writers, the desktop's pictures, the
// small files in the data folder, the follower's autostart entry and the library's thumbnails all
// go through it, so none of them can leave a half-written file at the destination or replace
// anything but a regular file.

#include "fileerror.h"

#include <QIODevice>
#include <QString>

#include <optional>

// A file written beside its destination and moved over it only when complete, like
// QSaveFile, but one that never replaces anything but a regular file and that keeps the
// errno of whatever failed. A symbolic link to a regular file is written through: the file
// it points to is replaced, the link stays.
class OutputFile final : public QIODevice
{
public:
    explicit OutputFile(const QString &path);
    ~OutputFile() override; // removes the unfinished file unless committed

    // Makes SIGINT, SIGTERM and SIGHUP remove the unfinished files of this process before it
    // ends as they would end it. Called once at start by each program.
    static void removeUnfinishedOnSignals();

    // Why nothing can be written to `path`, judged by what is there now; nothing when a new
    // file may be created or a regular file replaced. `target` receives the file to replace.
    static std::optional<FileError> checkDestination(const QString &path,
                                                     QString *target = nullptr);

    // `bytes` as the whole of `path`, its folder created first; the error, or nothing.
    static std::optional<FileError> writeWhole(const QString &path, const QByteArray &bytes);
    // Moves the complete file `from` over `to` in one step (both in one file system); `from`
    // is removed when that fails.
    static std::optional<FileError> moveOver(const QString &from, const QString &to);

    // Checks the destination and creates the unfinished file; false with error() set.
    bool open();
    // Flushes to disk and moves the file over the destination; false with error() set, also
    // for a write that failed before (writes never fail themselves).
    bool commit();
    std::optional<FileError> error() const { return m_error; }

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    bool fail(int errnum);
    void discard();

    QString m_path;
    QString m_target;
    QByteArray m_partial;
    int m_fd = -1;
    std::optional<FileError> m_error;
};
