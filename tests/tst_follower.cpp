// The follower as the session starts it: scheme, day, entry, and a real wlroots compositor.

#include "day/daycycle.h"
#include "day/dayschedule.h"
#include "desktop/backends/desktopbackends.h"
#include "desktop/dayfile.h"
#include "desktop/wallpaperset.h"
#include "follower/schemefollower.h"
#include "follower/sessiondesktop.h"
#include "support/dynamicfiles.h"
#include "support/fakes.h"
#include "support/rows.h"
#include "support/scratch.h"
#include "support/testdata.h"

#include <QtDBus>

#include <csignal>

namespace {

// The follower as the session starts it; with `clock`, on a clock the test sets (libfaketime)
// starting at that instant, in Berlin, which `tz` names.
struct Follower : Stopping
{
    explicit Follower(const QDateTime &clock = {}, const QByteArray &tz = "Europe/Berlin")
    {
        if (clock.isValid()) {
            const QString fake = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
            QVERIFY2(QFile::exists(fake), "libfaketime (Debian: libfaketime) is missing");
            QProcessEnvironment faked = QProcessEnvironment::systemEnvironment();
            faked.insert("LD_PRELOAD", fake);
            faked.insert(
                "FAKETIME",
                '@' + clock.toTimeZone(QTimeZone("Europe/Berlin")).toString("yyyy-MM-dd hh:mm:ss"));
            faked.insert("DONT_FAKE_MONOTONIC", "1");
            faked.insert("TZ", QString::fromUtf8(tz));
            setProcessEnvironment(faked);
        }
        start(VOSKAN_RENDER_BINARY, {"--follow"});
    }
};

// What the desktop tools are told to show each picture in turn: sway's command, or each of the
// two Xfce monitors.
QStringList showing(const QString &desktop, const QStringList &pictures)
{
    QStringList lines;
    for (const QString &picture : pictures)
        lines << (desktop == "sway" ? QStringList{"output * bg \"" + picture + "\" fill"}
                                    : QStringList{picture, picture});
    return lines;
}

// The swaybg processes pgrep finds by `match` (the unreaped left out).
QStringList swaybgs(const QStringList &match)
{
    QProcess pgrep;
    pgrep.start("pgrep", QStringList{"-r", "R,S,D"} + match);
    pgrep.waitForFinished();
    return QString::fromUtf8(pgrep.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

// The real xdg-desktop-portal with its GTK backend, on a private bus beside a headless X
// server, reading the colour scheme from a scratch GSettings keyfile. The desktop tools the
// follower runs are small scripts that log what they are asked.
class TestFollower : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    Stopping m_display, m_bus, m_gtkPortal, m_portal; // the last started ends first

    QString path(const QString &relative) const { return m_home.filePath(relative); }
    QString pictures() const { return path("XDG_DATA_HOME/Voskan/"); }
    QStringList calls() const
    {
        return QFile::exists(path("calls"))
                   ? QString::fromUtf8(contents(path("calls"))).split('\n', Qt::SkipEmptyParts)
                   : QStringList();
    }

    // What Xfce's monitors show; `monitor` empty: all of them.
    void showOnXfce(const QByteArray &picture, const QString &monitor = {})
    {
        for (const QString &name : {QString("monitor0"), QString("monitorHDMI-1")})
            if (monitor.isEmpty() || monitor == name)
                writeFile(path("xfce/_backdrop_screen0_" + name + "_workspace0_last-image"),
                          picture);
    }

    // Once the portal is on the bus, until it tells the new scheme.
    void setScheme(bool dark)
    {
        QCOMPARE(QProcess::execute("gsettings", {"set", "org.gnome.desktop.interface",
                                                 "color-scheme", dark ? "prefer-dark" : "default"}),
                 0);
        if (onBus("org.freedesktop.portal.Desktop"))
            QTRY_COMPARE_WITH_TIMEOUT(portalPrefersDark(), dark, 10000);
    }

    QString picture(const char *slot, const char *scheme) const
    {
        return pictures() + QString("wallpaper-%1-%2.jpg").arg(slot, scheme);
    }

    // Wallpaper B set on Xfce, with no other files of ours: its pictures, the record naming
    // it, and every monitor showing its picture of `scheme`.
    void setB(const char *scheme)
    {
        qputenv("XDG_CURRENT_DESKTOP", "XFCE");
        QDir(pictures()).removeRecursively();
        writeFile(picture("b", "light"), "hell");
        writeFile(picture("b", "dark"), "dunkel");
        writeFile(pictures() + "desktop-shown", pictures().toUtf8() + "wallpaper-b.heic");
        showOnXfce(picture("b", scheme).toUtf8());
    }

    // A light and a dark look of one colour each, set on `desktop` as the window sets them.
    static std::optional<QString> setPair(const QString &desktop, QColor light, QColor dark)
    {
        return OutputJobs::setAsDesktop(solidLook(light), solidLook(dark, true), {320, 180},
                                        *sessionDesktopService(desktopSession(desktop)));
    }

    // A dynamic wallpaper of `count` pictures following `xmp`, set as a day on `desktop` in this
    // process (its follower is the script that notes it was started); the day file. A fresh set,
    // from no files of ours, waits until that follower has started, and forgets the calls.
    QString setDay(const QString &desktop, const QByteArray &xmp, int count,
                   WallpaperSchedule *schedule = nullptr, bool fresh = true)
    {
        if (fresh)
            QDir(pictures()).removeRecursively();
        qputenv("XDG_CURRENT_DESKTOP", desktop.toUtf8());
        const QString file = path("Tag.heic");
        QList<QColor> colours;
        for (int i = 0; i < count; ++i)
            colours << QColor::fromHsv(i * 22, 220, 200);
        if (!writeDynamicHeic(file, solidPictures(colours), xmp))
            return {};
        const WallpaperSchedule read = scheduleOf(file);
        if (WallpaperSet::setDay(file, read, std::nullopt,
                                 *sessionDesktopService(desktopSession(desktop))) ||
            (fresh && !QTest::qWaitFor([this] { return calls().contains("started --follow"); })))
            return {};
        if (schedule)
            *schedule = read;
        if (fresh)
            QFile::remove(path("calls"));
        return DesktopService::recordedWallpaper().value_or(QString());
    }

private Q_SLOTS:
    void initTestCase()
    {
        TestData::useScratchHome(m_home.path());
        qputenv("GSETTINGS_BACKEND", "keyfile");
        qputenv("PATH", QFile::encodeName(path("bin:")) + qgetenv("PATH"));
        // The desktop tools and the follower, "@" the scratch home: each notes what it is asked
        // in @/calls. Xfce has two monitors, the picture each shows kept in a file of its own;
        // voskan-render notes how it was started (its folder, its standard streams, its session).
        const auto script = [this](const QString &name, QByteArray body) {
            writeFile(path("bin/" + name),
                      "#!/bin/sh\n" + body.replace('@', QFile::encodeName(m_home.path())),
                      QFile::ReadOwner | QFile::ExeOwner);
        };
        script("swaymsg", R"sh(echo "$*" >> "@/calls")sh");
        QVERIFY(QDir().mkpath(path("xfce")));
        script("xfconf-query", R"sh(case "$3" in
-l) echo /backdrop/screen0/monitor0/workspace0/last-image
    echo /backdrop/screen0/monitorHDMI-1/workspace0/last-image ;;
-p) shown="@/xfce/$(printf %s "$4" | tr / _)"
    if [ "$5" = -s ]; then echo "$6" >> "@/calls"; printf %s "$6" > "$shown"; else cat "$shown"; fi
esac)sh");
        script("voskan-render", R"sh(streams=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2)
{ pwd; echo "$streams"; cut -d' ' -f6 /proc/$$/stat; } > "@/started"
echo "started $*" >> "@/calls")sh");

        m_display.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp"});
        QVERIFY2(m_display.waitForReadyRead(20000), "Xvfb (Debian: xvfb) did not start");
        qputenv("DISPLAY", ':' + m_display.readAllStandardOutput().trimmed());
        QVERIFY(!startSessionBus(m_bus, path("bus.conf")).isEmpty());
        // The portal looks for its backend when it starts, so the backend comes first.
        QVERIFY(startProcess(m_gtkPortal, "/usr/libexec/xdg-desktop-portal-gtk"));
        QTRY_VERIFY_WITH_TIMEOUT(onBus("org.freedesktop.impl.portal.desktop.gtk"), 20000);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CURRENT_DESKTOP", "GNOME");
        m_portal.setProcessEnvironment(environment);
        QVERIFY(startProcess(m_portal, "/usr/libexec/xdg-desktop-portal"));
        QTRY_VERIFY_WITH_TIMEOUT(onBus("org.freedesktop.portal.Desktop"), 20000);
    }

    void init()
    {
        setScheme(false);
        QFile::remove(path("calls"));
    }

    void followsTheScheme_data()
    {
        // record: what names the wallpaper set; null: nothing; ends: what it says as it ends at
        // once, showing nothing; empty: it follows
        addColumns<QString, QByteArray, QString>({"desktop", "record", "ends"});
        const QString nothing = "Kein Wallpaper von Voskan zu verfolgen.";
        const QByteArray b = pictures().toUtf8() + "wallpaper-b.heic";
        // clang-format off
        QTest::newRow("sway") << "sway" << b << "";
        QTest::newRow("Xfce") << "XFCE" << b << "";
        QTest::newRow("GNOME switches by itself") << "GNOME" << b << "Diese Arbeitsumgebung wechselt das Bild selbst.";
        QTest::newRow("nothing set yet") << "XFCE" << QByteArray() << nothing;
        QTest::newRow("record with a NUL") << "XFCE" << QByteArray("/tmp/wallpaper-a\0.heic", 23) << nothing;
        // clang-format on
    }

    // Shows the scheme's picture, swaps it at each change, runs once, ends when nothing is left
    // to follow (Debian 12's portal knows only Read, which wraps the value once more).
    void followsTheScheme()
    {
        FETCH((QString, desktop, ends), (QByteArray, record));
        setB("light");
        writeFile(picture("a", "light"), "hell");
        writeFile(picture("a", "dark"), "dunkel");
        qputenv("XDG_CURRENT_DESKTOP", desktop.toUtf8());
        QFile::remove(pictures() + "desktop-shown");
        QVERIFY(record.isNull() || !writeFile(pictures() + "desktop-shown", record).isEmpty());
        writeFile(followerAutostartFile(), *followerAutostartEntry("voskan-render"));
        setScheme(true);

        Follower follower;
        if (!ends.isEmpty()) {
            QVERIFY(follower.waitForFinished(10000) && follower.exitCode() == 0);
            QCOMPARE(follower.readAllStandardError().trimmed(), ends);
            QCOMPARE(calls(), QStringList());
            return;
        }
        const QString light = picture("b", "light"), dark = picture("b", "dark");
        QStringList seen{dark};
        QTRY_COMPARE_WITH_TIMEOUT(calls(), showing(desktop, seen), 10000);

        Follower second;
        QVERIFY(second.waitForFinished(10000) && second.exitCode() == 0);
        QCOMPARE(second.readAllStandardError().trimmed(), "Das Wallpaper wird bereits verfolgt.");

        setScheme(false);
        seen << light;
        QTRY_COMPARE_WITH_TIMEOUT(calls(), showing(desktop, seen), 10000);
        // The portal restarts (an update, a crash) while the scheme changes: asked again once back.
        stop(m_portal);
        QTRY_VERIFY_WITH_TIMEOUT(!onBus("org.freedesktop.portal.Desktop"), 10000);
        setScheme(true);
        QVERIFY(startProcess(m_portal, "/usr/libexec/xdg-desktop-portal"));
        QTRY_VERIFY_WITH_TIMEOUT(onBus("org.freedesktop.portal.Desktop"), 20000);
        seen << dark;
        QTRY_COMPARE_WITH_TIMEOUT(calls(), showing(desktop, seen), 10000);
        if (desktop == "XFCE") { // a set holding the lock is waited for, then its wallpaper shows
            {
                const SetLock set;
                setScheme(false);
                QTest::qWait(1500); // the follower has heard of the change by now
                QCOMPARE(calls(), showing(desktop, seen));
                showOnXfce(picture("a", "dark").toUtf8());
                writeFile(pictures() + "desktop-shown", pictures().toUtf8() + "wallpaper-a.heic");
            }
            seen << picture("a", "light");
            QTRY_COMPARE_WITH_TIMEOUT(calls(), showing(desktop, seen), 10000);
            // another picture chosen on one monitor of two
            showOnXfce("/usr/share/backgrounds/anderes.jpg", "monitorHDMI-1");
        } else { // the files gone
            QFile::remove(dark);
        }
        setScheme(!portalPrefersDark());
        QVERIFY(follower.waitForFinished(10000) && follower.exitCode() == 0);
        QCOMPARE(calls(), showing(desktop, seen));
        QVERIFY(!QFile::exists(followerAutostartFile()));
    }

    // The session's bus ends (logout): the follower ends with it, its entry kept.
    void endsWithItsBus()
    {
        setB("dark");
        writeFile(followerAutostartFile(), *followerAutostartEntry("voskan-render"));
        Stopping bus;
        const QByteArray address = startBus(bus, path("own-bus.conf"));
        QVERIFY(!address.isEmpty());
        const auto ownBus = withEnv("DBUS_SESSION_BUS_ADDRESS", address);
        Follower follower;
        const QString light = picture("b", "light"); // no portal there: light
        QTRY_COMPARE_WITH_TIMEOUT(calls(), (QStringList{light, light}), 10000);
        stop(bus);
        QVERIFY2(follower.waitForFinished(5000), "the follower outlives its bus");
        QVERIFY(follower.exitStatus() == QProcess::NormalExit && follower.exitCode() == 0);
        QVERIFY2(QFile::exists(followerAutostartFile()), "the next login follows no more");
    }

    void refusesPathsItCannotHandOn_data()
    {
        // programFolder: where voskan-render is run from
        addColumns<QString, QString, QByteArray, QString>(
            {"desktop", "programFolder", "dataFolder", "message"});
        const QString login = "Die Anmeldung kann Voskan aus diesem Ordner nicht starten";
        // clang-format off
        QTest::newRow("Xfce, a percent sign") << "XFCE" << "bin 100%" << QByteArray("data") << login + " (sein Name enthält ein %-Zeichen)";
        QTest::newRow("Xfce, a line break") << "XFCE" << "bin\nzwei" << QByteArray("data") << login + " (sein Name enthält einen Zeilenumbruch)";
        QTest::newRow("sway, a line break in the data") << "sway" << "" << QByteArray("da\nta") << "Der Name des Datenordners enthält ein Steuerzeichen";
        QTest::newRow("GNOME, data not UTF-8") << "GNOME" << "" << QByteArray("daten-\xff") << "Der Name des Datenordners (XDG_DATA_HOME oder HOME) ist kein gültiges UTF-8";
        // clang-format on
    }

    // Paths the desktop or the session could not be handed as they are: the set is refused, in
    // German, before anything is written, and the desktop is not told.
    void refusesPathsItCannotHandOn()
    {
        FETCH((QString, desktop, programFolder, message), (QByteArray, dataFolder));
        const QString refused = path("refused/");
        QDir(refused).removeRecursively();
        QVERIFY(QDir().mkpath(refused + programFolder));
        QFile::remove(followerAutostartFile());
        const QString program = programFolder.isEmpty()
                                    ? VOSKAN_RENDER_BINARY
                                    : refused + programFolder + "/voskan-render";
        QVERIFY(programFolder.isEmpty() || QFile::copy(VOSKAN_RENDER_BINARY, program));
        const QStringList before = QDir(refused).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        qputenv("XDG_CURRENT_DESKTOP", desktop.toUtf8());
        // As bytes: a QProcessEnvironment would pass them on as UTF-8.
        const auto data = withEnv("XDG_DATA_HOME", QFile::encodeName(refused) + dataFolder);
        QProcess set;
        set.start(program, {"--size", "64x36", "--set-desktop",
                            TestData::photo("photo-path-2560x1600.jpg")});
        QVERIFY(set.waitForFinished(60000));
        QCOMPARE(set.exitCode(), 1);
        const QString err = QString::fromUtf8(set.readAllStandardError());
        QVERIFY2(err.contains(message), qPrintable(err));
        QCOMPARE(calls(), QStringList());
        QVERIFY(!QFile::exists(followerAutostartFile()));
        // No data folder, neither the one named nor one of a similar name.
        QCOMPARE(QDir(refused).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    }

    void followsTheDay_data()
    {
        // count: of pictures in the file; around: a change comes after this; tz: the follower's,
        // naming Berlin
        addColumns<QString, QByteArray, int, QDateTime, QByteArray>(
            {"desktop", "xmp", "count", "around", "tz"});
        const QTimeZone berlin("Europe/Berlin");
        // clang-format off
        QTest::newRow("Xfce, the hours, TZ a zone file") << "XFCE" << scheduleXmp({{"h24", h24Table({{0, 0}, {1, 0.25}, {2, 0.5}, {3, 0.75}})}}) << 4 << QDateTime({2026, 6, 21}, {5, 0}, berlin) << QByteArray(":/usr/share/zoneinfo/Europe/Berlin");
        QTest::newRow("sway, the sun") << "sway" << scheduleXmp({{"solar", solarTable(sixteenSuns().mid(4, 8))}}) << 16 << QDateTime({2026, 6, 21}, {3, 0}, berlin) << QByteArray("Europe/Berlin");
        QTest::newRow("Xfce, a day cycle at dawn") << "XFCE" << scheduleXmp({{"solar", solarTable(DayCycle::plan(8).sun, DayCycle::plan(8).pair)}}) << 8 << QDateTime({2026, 6, 21}, {4, 10}, berlin) << QByteArray("Europe/Berlin");
        // GNOME plays the day itself; at midnight the follower writes the next day's slideshow
        // (the sun's times move, summer time comes) and yesterday's goes.
        QTest::newRow("GNOME, the night summer time begins") << "GNOME" << scheduleXmp({{"h24", h24Table({{0, 0.25}, {1, 0.75}})}}) << 2 << QDateTime({2026, 3, 28}, {23, 59, 57}, berlin) << QByteArray("Europe/Berlin");
        // clang-format on
    }

    // A day set where the desktop shows one picture: the set starts the follower apart from
    // itself, which shows each next picture when its time comes (clockWakes: the clock set).
    void followsTheDay()
    {
        FETCH((QString, desktop), (QByteArray, xmp, tz), (int, count), (QDateTime, around));
        WallpaperSchedule schedule;
        const QString day = setDay(desktop, xmp, count, &schedule);
        QVERIFY2(day.endsWith(".day") && QFile::exists(day), qPrintable(day));
        // In /, with none of the set's streams, in a session of its own.
        const QStringList started = QString::fromUtf8(contents(path("started"))).split('\n');
        QCOMPARE(started.mid(0, 4), (QStringList{"/", "/dev/null", "/dev/null", "/dev/null"}));
        QVERIFY2(started.value(4).toLongLong() != getsid(0), "the follower shares our session");

        // The follower in Berlin, its clock starting three seconds before a change.
        const QTimeZone berlin("Europe/Berlin");
        if (desktop == "GNOME") {
            const auto uri = [] {
                return QUrl(gnomeBackground("picture-uri").mid(1).chopped(1)).toLocalFile();
            };
            const QDate next = around.date().addDays(1);
            Follower follower(around, tz);
            QTRY_COMPARE_WITH_TIMEOUT(uri(), daySlideshowPath(day, around.date()), 10000);
            QTRY_COMPARE_WITH_TIMEOUT(uri(), daySlideshowPath(day, next), 10000);
            QCOMPARE(QFileInfo(uri()).dir().entryList({"*.xml"}),
                     QStringList{next.toString(Qt::ISODate) + ".xml"});
            QCOMPARE(follower.state(), QProcess::Running);
            return;
        }
        const QDateTime change = pictureAt(schedule, around, berlin, {}).nextChange;
        const QString first = WallpaperFiles::forDayPicture(
                                  day, pictureAt(schedule, change.addSecs(-3), berlin, {}).image)
                                  .light;
        const QString next =
            WallpaperFiles::forDayPicture(day, pictureAt(schedule, change, berlin, {}).image).light;
        QVERIFY(first != next);
        if (desktop == "XFCE") // ours, but not the picture due: the follower changes it
            showOnXfce(next.toUtf8());
        Follower follower(change.addSecs(-3), tz);
        QTRY_COMPARE_WITH_TIMEOUT(calls(), showing(desktop, {first}), 10000);
        QTRY_VERIFY2_WITH_TIMEOUT(calls() == showing(desktop, {first, next}),
                                  qPrintable(calls().join('\n')), 10000);
        QCOMPARE(follower.state(), QProcess::Running);
    }

    // Two days set at once while the follower sleeps: the last is the one it follows from then
    // on, and none before it.
    void followsANewDay()
    {
        const QTimeZone berlin("Europe/Berlin");
        // Half a day ahead of the set's clock, so that the follower's picture is not the set's.
        const QDateTime at = QDateTime::currentDateTime().addSecs(12 * 3600);
        WallpaperSchedule schedule;
        QString day =
            setDay("XFCE", scheduleXmp({{"h24", h24Table({{0, 0}, {1, 0.25}})}}), 2, &schedule);
        QVERIFY(day.endsWith(".day"));
        const auto dayPicture = [&] {
            return WallpaperFiles::forDayPicture(day, pictureAt(schedule, at, berlin, {}).image)
                .light;
        };
        // The day's other picture on screen, whatever the set showed: the follower changes it.
        showOnXfce(WallpaperFiles::forDayPicture(day, 1 - pictureAt(schedule, at, berlin, {}).image)
                       .light.toUtf8());
        Follower follower(at);
        QTRY_VERIFY_WITH_TIMEOUT(calls().endsWith(dayPicture()), 10000);
        QFile::remove(path("calls"));
        for (int i = 0; i < 2; ++i) {
            QList<TimedPicture> hours;
            for (int image = 0; image < 3 + i; ++image)
                hours.append({image, (image + 0.5) / (3 + i)});
            day = setDay("XFCE", scheduleXmp({{"h24", h24Table(hours)}}), 3 + i, &schedule, false);
            QVERIFY(day.endsWith(".day"));
        }
        QVERIFY(pictureAt(schedule, QDateTime::currentDateTime(), localTimeZone(), {}).image !=
                pictureAt(schedule, at, berlin, {}).image);
        QTRY_VERIFY2_WITH_TIMEOUT(calls().endsWith(dayPicture()), qPrintable(calls().join('\n')),
                                  10000);
        QTest::qWait(1000); // and no day before it comes back
        QVERIFY2(calls().endsWith(dayPicture()), qPrintable(calls().join('\n')));
        QCOMPARE(follower.state(), QProcess::Running);
    }

    void endsABrokenDayKeepingThePicture_data()
    {
        // broken: "day" or "picture" (the one due at 13:00); as: what takes its place
        addColumns<QString, QString, QString>({"desktop", "broken", "as"});
        // clang-format off
        QTest::newRow("Xfce, the day not JSON") << "XFCE" << "day" << "text";
        QTest::newRow("Xfce, the day huge") << "XFCE" << "day" << "huge";
        QTest::newRow("Xfce, the picture a text") << "XFCE" << "picture" << "text";
        QTest::newRow("Hyprland, the picture a FIFO") << "Hyprland" << "picture" << "fifo";
        QTest::newRow("GNOME, the day not JSON") << "GNOME" << "day" << "text";
        QTest::newRow("GNOME, a picture a FIFO") << "GNOME" << "picture" << "fifo";
        // clang-format on
    }

    // A day it cannot go on with ends the follower, saying in German what to do, and leaves the
    // picture on screen: nothing handed to the desktop, our swaybg still drawing.
    void endsABrokenDayKeepingThePicture()
    {
        FETCH((QString, desktop, broken, as));
        // A swaybg that only sleeps: the set waits until it has drawn, which it has once asleep.
        const bool wlroots = desktop == "Hyprland";
        const QString fakeSwaybg =
            writeFile(path("swaybg/swaybg"), "#!/bin/sh\nwhile :; do sleep 60; done\n",
                      QFile::ReadOwner | QFile::ExeOwner);
        const auto searchPath =
            withEnv("PATH", (wlroots ? QFile::encodeName(path("swaybg:")) : QByteArray()) +
                                qgetenv("PATH"));
        const auto display = withEnv("WAYLAND_DISPLAY", wlroots ? "wayland-9" : QByteArray());
        const auto drawing = [&] { return swaybgs({"-f", fakeSwaybg}); }; // not another test's
        const auto killDrawing = qScopeGuard([&] {
            for (const QString &pid : drawing())
                ::kill(pid.toInt(), SIGKILL);
        });
        const QString day =
            setDay(desktop, scheduleXmp({{"h24", h24Table({{0, 0}, {1, 0.25}, {2, 0.5}})}}), 3);
        QVERIFY2(day.endsWith(".day"), qPrintable(day));
        QCOMPARE(contents(followerAutostartFile()), *followerAutostartEntry("voskan-render"));
        const QString gnomeShows = gnomeBackground("picture-uri");
        const QStringList drawer = drawing();
        QCOMPARE(drawer.size(), wlroots ? 1 : 0);

        const QString target = broken == "day" ? day : WallpaperFiles::forDayPicture(day, 2).light;
        const QByteArray was = contents(target);
        QVERIFY(QFile::remove(target));
        if (as == "text")
            writeFile(target, "kein Tag und kein Bild");
        else if (as == "huge") // the day itself, then blanks JSON allows: 64 MB
            writeFile(target, was + QByteArray(64 << 20, ' '));
        else if (as == "fifo")
            QCOMPARE(mkfifo(QFile::encodeName(target).constData(), 0600), 0);

        Follower follower(QDateTime({2026, 6, 21}, {13, 0}, QTimeZone("Europe/Berlin")));
        QVERIFY2(endsWithin(follower, 10000), "the follower stays on a day it cannot follow");
        const QString said = QString::fromUtf8(follower.readAllStandardError());
        QVERIFY2(
            said.contains(broken == "day"
                              ? "Der Tag „" + day + "“ fehlt oder ist beschädigt."
                              : "Das Bild „" + target + "“ des Tages fehlt oder ist kein Bild.") &&
                said.contains(
                    "damit das Wallpaper wieder dem Tag folgt, setze es erneut als Schreibtisch."),
            qPrintable(said));
        QCOMPARE(calls(), QStringList());
        QCOMPARE(drawing(), drawer);
        QCOMPARE(gnomeBackground("picture-uri"), gnomeShows);
        QVERIFY(!QFile::exists(followerAutostartFile()));
    }

    // A compositor built on wlroots, for real: sway, headless, draws what swaybg draws on its
    // layer, the session says it is Hyprland, and grim reads what the screen shows.
    void drawsOnAWlrootsCompositor()
    {
        for (const char *tool : {"sway", "swaybg", "grim"})
            QVERIFY2(!QStandardPaths::findExecutable(tool).isEmpty(),
                     qPrintable(QString("%1 is missing (Debian: sway, swaybg, grim)").arg(tool)));
        // sway will not run as root: then it runs as nobody, in a runtime folder of its own
        // (beside this test's folder, which nobody may not enter).
        QTemporaryDir wayland;
        const QString runtime = wayland.path();
        writeFile(runtime + "/config", "output * resolution 320x180\n");
        QStringList command{"sway", "-c", runtime + "/config"};
        if (getuid() == 0) {
            QVERIFY(QProcess::execute("chown", {"-R", "nobody", runtime}) == 0);
            command = QStringList{"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                  "--"} +
                      command;
        }
        QVERIFY(
            QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const auto runtimeOfSway = withEnv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
        const auto headless = withEnv("WLR_BACKENDS", "headless");
        const auto pixman = withEnv("WLR_RENDERER", "pixman");
        const auto noInput = withEnv("WLR_LIBINPUT_NO_DEVICES", "1");
        const auto noX = withEnv("DISPLAY", {});
        Stopping sway;
        sway.setStandardErrorFile(path("sway.log"));
        sway.start(command.takeFirst(), command);
        QTRY_VERIFY_WITH_TIMEOUT(
            QFile::exists(runtime + "/wayland-1") || sway.state() == QProcess::NotRunning, 10000);
        if (sway.state() == QProcess::NotRunning)
            QSKIP(qPrintable("sway does not start here: " + contents(path("sway.log")).right(400)));
        // A swaybg that cannot draw (no compositor of that name) fails the set, in its words,
        // and nothing is recorded as shown.
        const auto display = withEnv("WAYLAND_DISPLAY", "wayland-9");
        qputenv("XDG_CURRENT_DESKTOP", "Hyprland");
        const auto screen = [] {
            return QImage::fromData(programOutput("grim", {"-"}), "PNG").pixelColor(160, 90);
        };
        const auto ours = [] { return swaybgs({"-x", "swaybg"}); };
        QDir(pictures()).removeRecursively();
        const std::optional<QString> failed = setPair("Hyprland", Qt::white, Qt::black);
        QVERIFY2(failed && failed->startsWith(
                               "Der Schreibtischhintergrund konnte nicht gesetzt werden: Das "
                               "Programm „swaybg“ meldet einen Fehler ("),
                 qPrintable(failed.value_or("(gesetzt)")));
        QVERIFY(!QFile::exists(pictures() + "desktop-shown"));
        qputenv("WAYLAND_DISPLAY", "wayland-1");

        // The set has drawn its light picture by the time it reports success.
        QCOMPARE(setPair("Hyprland", QColor(230, 200, 120), QColor(20, 30, 90)), std::nullopt);
        QVERIFY2(qGray(screen().rgb()) > 150, qPrintable(screen().name()));
        Follower follower;
        QTRY_VERIFY_WITH_TIMEOUT(onBus("de.voskan.Voskan.Follower"), 10000);
        setScheme(true);
        QTRY_VERIFY_WITH_TIMEOUT(qGray(screen().rgb()) < 100, 10000);
        setScheme(false);
        QTRY_VERIFY_WITH_TIMEOUT(qGray(screen().rgb()) > 150, 10000);

        // A second set replaces the picture; one swaybg draws it.
        QCOMPARE(setPair("Hyprland", QColor(60, 200, 60), QColor(10, 40, 10)), std::nullopt);
        QVERIFY2(screen().green() > 150 && screen().red() < 120, qPrintable(screen().name()));
        QTRY_COMPARE(ours().size(), 1);

        // Killed, it is back within a second.
        const QStringList before = ours();
        QCOMPARE(QProcess::execute("kill", {"-KILL", before.value(0)}), 0);
        QTRY_VERIFY_WITH_TIMEOUT(ours().size() == 1 && ours() != before, 1000);
        QTRY_VERIFY(screen().green() > 150 && screen().red() < 120);

        // Another picture drawn by hand: at the next change the follower ends, and ours with it.
        QImage red(32, 32, QImage::Format_RGB32);
        red.fill(Qt::red);
        QVERIFY(red.save(path("anderes.png")));
        Stopping other;
        other.start("swaybg", {"-i", path("anderes.png"), "-m", "fill"});
        QTRY_COMPARE(ours().size(), 2);
        setScheme(true);
        QVERIFY(follower.waitForFinished(10000));
        QTRY_COMPARE(ours(), QStringList{QString::number(other.processId())});
        QTRY_VERIFY(screen().red() > 200 && screen().green() < 50);
    }

    // The entry, read by GLib's launcher, starts that very program with --follow; a set on GNOME,
    // which switches by itself, takes it away. (Quoting in an entry: tst_desktopservice's login.)
    void autostartEntry()
    {
        const QString program = path("programs/bin-plain/voskan-render");
        const QString said = path("programs/said");
        QVERIFY(writeNotingProgram(program, said));
        QCOMPARE(launch(writeFile(followerAutostartFile(), *followerAutostartEntry(program))), "");
        QTRY_COMPARE(contents(said), program.toUtf8() + "\n--follow\n");
        QCOMPARE(setPair("GNOME", Qt::gray, Qt::gray), std::nullopt);
        QVERIFY(!QFile::exists(followerAutostartFile()));
        QCOMPARE(calls(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestFollower)
#include "tst_follower.moc"
