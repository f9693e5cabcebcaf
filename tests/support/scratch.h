#pragma once

#include <QDir>
#include <QProcess>

#include <cerrno>
#include <ctime>

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
