#pragma once

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

// Files, programs and a session bus as the tests of the desktop and the output meet them.

// What the file holds; "(fehlt)" if it cannot be read, which no expected text contains.
inline QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(fehlt)");
}

// Writes the file whole, with its folders; its path, or empty if anything failed.
inline QString writeFile(const QString &path, const QByteArray &bytes,
                         QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner)
{
    QFile file(path);
    const bool written = QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
                         file.write(bytes) == bytes.size() && file.flush();
    return written && file.setPermissions(permissions) ? path : QString();
}

// What a program prints, and its exit status unless 0: a program that is missing or fails
// cannot pass for one that had nothing to say.
inline QByteArray programOutput(const QString &program, const QStringList &arguments,
                                QProcess::ProcessChannelMode channels = QProcess::MergedChannels)
{
    QProcess process;
    process.setProcessChannelMode(channels);
    process.start(program, arguments);
    const bool ok = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
    const QByteArray out = process.readAllStandardOutput();
    return ok && process.exitCode() == 0
               ? out
               : out + "(Exit " + QByteArray::number(process.exitCode()) + ')';
}

// Whether the process ends within `ms`; else it is killed, so that nothing outlives the test.
inline bool endsWithin(QProcess &process, int ms)
{
    if (process.waitForFinished(ms))
        return true;
    process.kill();
    process.waitForFinished();
    return false;
}

// Asks the process to end, and ends it if it does not within 5 s.
inline void stop(QProcess &process)
{
    process.terminate();
    endsWithin(process, 5000);
}

// A program of the test's, asked to end when it goes (and ended if it does not), whatever failed.
struct Stopping : QProcess
{
    ~Stopping() override { stop(*this); }
};

// The portals' complaints about the services a scratch session lacks (PipeWire) are dropped.
inline bool startProcess(QProcess &process, const QString &program)
{
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, {});
    return process.waitForStarted();
}

inline bool onBus(const QString &name)
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(name);
}

// Sets `name` to `value` (unsets it for a null value) until the guard goes.
[[nodiscard]] inline auto withEnv(const char *name, const QByteArray &value)
{
    const std::optional<QByteArray> was =
        qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    value.isNull() ? qunsetenv(name) : qputenv(name, value);
    return qScopeGuard([name, was] { was ? qputenv(name, *was) : qunsetenv(name); });
}

// A session of the desktop XDG_CURRENT_DESKTOP names.
inline QProcessEnvironment desktopSession(const QString &desktop)
{
    QProcessEnvironment session;
    session.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), desktop);
    return session;
}

// A key of GNOME's background as gsettings reads it back, quoted as gsettings sees fit.
inline QString gnomeBackground(const QString &key)
{
    return QString::fromUtf8(
               programOutput("gsettings", {"get", "org.gnome.desktop.background", key}))
        .trimmed();
}

// A program at `path` that writes how it was started into `said`: itself, then each argument.
inline bool writeNotingProgram(const QString &path, const QString &said)
{
    return !writeFile(path, "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > \"" + said.toUtf8() + "\"\n",
                      QFile::ReadOwner | QFile::ExeOwner)
                .isEmpty();
}

// An entry as the session reads it: what desktop-file-validate and GLib's launcher say, nothing
// if the entry is valid and starts.
inline QByteArray launch(const QString &entry)
{
    return programOutput("desktop-file-validate", {entry}) +
           programOutput("gio", {"launch", entry});
}

// Whether `work` ends within `ms`. Should it wait on `path` (a FIFO's reader for a writer), a
// writer that comes and goes frees it: the test fails rather than hangs.
template <typename T> bool endsUnblocked(QFuture<T> work, const QString &path, int ms = 3000)
{
    if (QTest::qWaitFor([&work] { return work.isFinished(); }, ms))
        return true;
    ::close(::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK));
    work.waitForFinished();
    return false;
}

// A session bus that starts no installed service: only what the test puts there answers.
// Its address, empty on failure.
inline QByteArray startBus(QProcess &bus, const QString &configFile)
{
    writeFile(configFile, "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
                          "<policy context='default'><allow send_destination='*' eavesdrop='true'/>"
                          "<allow eavesdrop='true'/><allow own='*'/></policy></busconfig>");
    bus.start("dbus-daemon", {"--config-file=" + configFile, "--nofork", "--print-address"});
    while (!bus.canReadLine())
        if (!bus.waitForReadyRead(10000))
            return {};
    return bus.readLine().trimmed();
}

// Such a bus as the session bus of this process and every program it starts.
inline QByteArray startSessionBus(QProcess &bus, const QString &configFile)
{
    const QByteArray address = startBus(bus, configFile);
    if (!address.isEmpty())
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    return address;
}

// Sets the system clock to what it reads: every alarm that asked is told of a change, and the
// time moves by the microseconds of the call. False without the right to set it.
inline bool setClockAnew()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return clock_settime(CLOCK_REALTIME, &now) == 0 || errno != EPERM;
}

// A name that is no regular file, as a person may hand one over by mistake: "FIFO" (which
// blocks whoever opens it to read), "socket", "folder" or "device" (/dev/zero, which reads
// without end); made as `dir`/`name`, the device where it lies. Empty on failure.
inline QString nonRegularFile(const QString &kind, const QString &dir,
                              const QString &name = QStringLiteral("x.jpg"))
{
    if (kind == QLatin1String("device"))
        return QStringLiteral("/dev/zero");
    const QString path = QDir(dir).filePath(name);
    const QByteArray native = QFile::encodeName(path);
    if (kind == QLatin1String("FIFO"))
        return ::mkfifo(native.constData(), 0600) == 0 ? path : QString();
    if (kind == QLatin1String("folder"))
        return QDir(dir).mkdir(name) ? path : QString();
    if (kind != QLatin1String("socket"))
        return {};
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (std::size_t(native.size()) >= sizeof(address.sun_path))
        return {};
    std::memcpy(address.sun_path, native.constData(), std::size_t(native.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound =
        fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0;
    if (fd >= 0)
        ::close(fd);
    return bound ? path : QString();
}
