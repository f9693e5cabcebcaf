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
// when it is killed. A set waits a while for another to finish, then gives up with a message:
// one that is not taken is never set without it.
class SetLock
{
public:
    // How long a set waits for another one (which may be waiting on a person answering the
    // portal's dialog), and how often it looks meanwhile.
    static constexpr int kWaitMs = 10'000;
    static constexpr int kRetryMs = 50;
    // Waits without limit: for a follower, which has nobody to tell and must not act on the
    // wallpaper a set is replacing.
    static constexpr int kUntilFree = -1;

    explicit SetLock(int waitMs = kWaitMs);
    ~SetLock();
    SetLock(const SetLock &) = delete;
    SetLock &operator=(const SetLock &) = delete;

    bool isHeld() const { return m_fd >= 0; }
    // Why it is not held, in German; empty while held.
    QString refusal() const { return m_refusal; }

    // The refusal when another set holds it beyond kWaitMs.
    static QString busyText();

private:
    int m_fd = -1;
    QString m_refusal;
};
