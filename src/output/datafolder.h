#pragma once

// The program's data folder and the small files in it that the desktops, the session and the
// other running programs share: written whole, read only when they are what they claim, and
// the lock sets take.

#include <QByteArray>
#include <QString>

#include <optional>

// The program's own data folder (".../share/Voskan"): the wallpapers, the record of the one
// shown and sway's snippet live there. Not created here.
QString voskanDataFolder();
// The same, created if needed; nothing when it cannot be.
std::optional<QString> createDataFolder();

// Why the data folder cannot be used, in German: its name, as the session gives it, is not
// one Qt can pass on byte for byte (not UTF-8), so every file would land in a folder of
// another name. Nothing when it can.
std::optional<QString> dataFolderRefusal();
// Whether `text` holds a line break or another control character.
bool hasControlCharacter(const QString &text);

// A small file the desktop or the session reads, written beside its place and renamed over
// it, its folder created first; false when that failed.
bool writeWholeFile(const QString &path, const QByteArray &bytes);
// The contents of `path` if it is a regular file (a link to one counts) of at most `maxBytes`;
// nothing for anything else, without blocking on a FIFO or reading a device.
std::optional<QByteArray> readSmallFile(const QString &path, qint64 maxBytes);

// Held by a set from choosing its slot until the desktop has been told, by every program
// that sets (the window, the command line, a second window), so two sets never take the same
// slot. A lock on a file in the data folder: the system drops it when its holder ends, also
// when it is killed. Without the folder it holds nothing, and the set goes on unguarded.
class SetLock
{
public:
    SetLock(); // waits until no other set holds it
    ~SetLock();
    SetLock(const SetLock &) = delete;
    SetLock &operator=(const SetLock &) = delete;

private:
    int m_fd = -1;
};
