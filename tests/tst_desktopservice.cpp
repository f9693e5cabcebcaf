// The desktops as a set meets them: each backend, days, „Täglich neu“, errors, record, lock.

#include "daily/dailywallpaper.h"
#include "day/dayschedule.h"
#include "desktop/backends/desktopbackends.h"
#include "desktop/backends/desktoperror.h"
#include "desktop/dayfile.h"
#include "desktop/desktopservice.h"
#include "desktop/wallpaperset.h"
#include "files/datafolder.h"
#include "model/outputjobs.h"
#include "model/usersettings.h"
#include "support/dynamicfiles.h"
#include "support/fakes.h"
#include "support/rows.h"
#include "support/scratch.h"

#include <QtConcurrent>
#include <QtDBus>

#include <csignal>

#include <sys/resource.h>

namespace {

// Every command and shell script a backend issues, as "program arg|arg|…".
QMutex mutex;
QStringList calls;
bool failing = false;
bool blind = false; // the desktop cannot say what it shows

void record(const QString &call)
{
    QMutexLocker lock(&mutex);
    calls << call;
}

// Plasma's shell on the private bus: records the lines of each script that touch the wallpaper
// and answers a read with what the last script wrote.
class FakePlasmaShell : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.PlasmaShell")

public Q_SLOTS:
    QString evaluateScript(const QString &script)
    {
        for (const QString &line : script.split('\n'))
            if (line.contains("Config('Image'"))
                record("plasmashell " + line.trimmed());
        static const QRegularExpression written("writeConfig\\('Image', '(.*)'\\)");
        if (const auto match = written.match(script); match.hasMatch())
            m_image = match.captured(1).replace("\\'", "'");
        return script.contains("readConfig") ? m_image : QString();
    }

private:
    QString m_image;
};

// The portal on the private bus: its Settings have only `portalMethod` ("Read" wraps the value
// once more); its Wallpaper records the picture and answers `portalResponse` before its reply.
QString portalMethod;
uint portalResponse = 0;
QVariant portalScheme;

class FakePortal : public QDBusVirtualObject
{
    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &call, const QDBusConnection &bus) override
    {
        const QList<QVariant> in = call.arguments();
        if (call.member() == "SetWallpaperFile") {
            QFile file;
            file.open(in[1].value<QDBusUnixFileDescriptor>().fileDescriptor(), QIODevice::ReadOnly);
            record(qGray(QImage::fromData(file.readAll()).pixel(9, 9)) < 100 ? "dark" : "light");
            const QString handle = "/org/freedesktop/portal/desktop/request/" +
                                   call.service().mid(1).replace('.', '_') + '/' +
                                   qdbus_cast<QVariantMap>(in[2]).value("handle_token").toString();
            bus.send(
                QDBusMessage::createSignal(handle, "org.freedesktop.portal.Request", "Response")
                << portalResponse << QVariantMap());
            return bus.send(call.createReply(QVariant::fromValue(QDBusObjectPath(handle))));
        }
        if (call.member() != portalMethod)
            return bus.send(call.createErrorReply(QDBusError::UnknownMethod, "No such method"));
        const QDBusVariant scheme(portalScheme);
        return bus.send(call.createReply(QVariant::fromValue(
            portalMethod == "Read" ? QDBusVariant(QVariant::fromValue(scheme)) : scheme)));
    }
};

// systemd's user manager on the private bus: records what it is asked and says yes.
class FakeSystemd : public QDBusVirtualObject
{
    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &call, const QDBusConnection &bus) override
    {
        QStringList arguments;
        for (const QVariant &argument : call.arguments())
            arguments << (argument.metaType() == QMetaType::fromType<QStringList>()
                              ? argument.toStringList().join(',')
                              : argument.toString());
        record("systemd " + call.member() + ' ' + arguments.join('|'));
        return bus.send(call.createReply());
    }
};

// The real gsettings for GNOME's schema, installed here; the other desktops' tools are not, so
// they answer for themselves: Xfce knows two screens, nothing is shown yet.
CommandResult runner(const QString &program, const QStringList &arguments)
{
    record(program + ' ' + arguments.join('|'));
    const bool get = arguments.value(0) == "get";
    if (program == "gsettings" && arguments.value(1).startsWith("org.gnome") && !blind && !failing)
        return runCommand(program, arguments);
    const bool fails = get ? blind : failing;
    CommandResult result{!fails, {}, {}};
    if (fails)
        result.failure = DesktopFailure{DesktopError::ToolFailed, program, "kaputt"};
    if (arguments.endsWith("-l"))
        result.output = "/backdrop/screen0/monitoreDP-1/workspace0/color-style\n"
                        "/backdrop/screen0/monitoreDP-1/workspace0/last-image\n"
                        "/backdrop/screen0/monitorHDMI-1/workspace1/last-image\n";
    return result;
}

// The variables systemd gives the service `unit`, as its manager in test mode reads the unit,
// starting nothing; not as root, so root has nobody run it on a copy anyone may read.
QStringList environmentSystemdReads(const QByteArray &unit)
{
    QTemporaryDir scratch;
    const QString config = scratch.filePath("config"), runtime = scratch.filePath("runtime");
    const QFile::Permissions readable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                        QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                        QFile::ExeOther;
    if (!QFile::setPermissions(scratch.path(), readable) ||
        writeFile(config + "/systemd/user/voskan-daily.service", unit, readable).isEmpty() ||
        !QDir().mkpath(runtime))
        return {"(kein Ordner für systemd)"};
    QStringList arguments{"/lib/systemd/systemd", "--test", "--user", "--unit=voskan-daily.service",
                          "--no-pager"};
    if (::geteuid() == 0) {
        if (::chown(QFile::encodeName(runtime).constData(), 65534, 65534) != 0)
            return {"(chown)"};
        arguments =
            QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"} + arguments;
    }
    QProcess manager;
    manager.setEnvironment({"PATH=/usr/bin:/bin", "HOME=" + scratch.path(),
                            "XDG_CONFIG_HOME=" + config, "XDG_RUNTIME_DIR=" + runtime});
    manager.setProcessChannelMode(QProcess::MergedChannels);
    manager.start(arguments.takeFirst(), arguments);
    if (!manager.waitForFinished(60000) || manager.exitCode() != 0)
        return {"(systemd --test: " + QString::fromUtf8(manager.readAll()) + ')'};
    QStringList read;
    bool ours = false;
    for (const QString &line : QString::fromUtf8(manager.readAll()).split('\n')) {
        if (line.startsWith("\t-> Unit "))
            ours = line == "\t-> Unit voskan-daily.service:";
        else if (ours && line.startsWith("\t\tEnvironment: "))
            read << line.mid(15);
    }
    return read;
}

const RenderPipeline::PixelSize kSize{320, 180};
const QString kFailed = "Der Schreibtischhintergrund konnte nicht gesetzt werden: ";

// Sets a light look in `colour` with a black dark one.
std::optional<QString> setIn(DesktopService &service, QColor colour,
                             const std::function<void()> &told = {},
                             WriteProgress *progress = nullptr)
{
    return OutputJobs::setAsDesktop(solidLook(colour), solidLook(Qt::black, true), kSize, service,
                                    told, progress);
}

// GNOME, noting each time it is told which slot it gets and what of that slot is there then:
// its pictures, and a HEIC of the same set (not older than the pictures); and whenever it is
// asked or told while no set holds the lock, in which another set could choose the same slot.
struct WatchedGnome : DesktopBackend
{
    std::unique_ptr<DesktopBackend> gnome = makeGnomeBackend(runner);
    QStringList told;
    static QString unlocked() { return SetLock(0).isHeld() ? " ohne Sperre" : ""; }
    std::optional<QString> setWallpaper(const WallpaperFiles &files) override
    {
        const QFileInfo heic(files.heic), light(files.light);
        told << heic.baseName() +
                    (light.exists() && QFile::exists(files.dark) ? "" : " ohne Bilder") +
                    (heic.isFile() && heic.lastModified() >= light.lastModified() ? " mit HEIC"
                                                                                  : "") +
                    unlocked();
        return gnome->setWallpaper(files);
    }
    std::optional<QString> currentPicture() override
    {
        if (!unlocked().isEmpty())
            told << "gefragt ohne Sperre";
        return gnome->currentPicture();
    }
};

} // namespace

class TestDesktopService : public QObject
{
    Q_OBJECT

    // $H is the scratch home; the data folder's name needs quoting everywhere.
    QString expand(QString text) const { return text.replace("$H", m_home.path()); }
    QString voskan() const { return expand("$H/Daten it's/Voskan/"); }

    QTemporaryDir m_home;
    QProcess m_bus;
    QThread m_shellThread;
    FakePlasmaShell m_shell;
    FakePortal m_portal;
    FakeSystemd m_systemd;

private Q_SLOTS:

    void initTestCase()
    {
        // Nothing below may reach the real user's settings, files or session.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(expand("$H/config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(expand("$H/Daten it's")));
        qputenv("GSETTINGS_BACKEND", "keyfile");
        QVERIFY(QDir().mkpath(expand("$H/bin"))); // the desktop tools of errorTexts
        qputenv("PATH", QFile::encodeName(expand("$H/bin:")) + qgetenv("PATH"));
        const QString address = startSessionBus(m_bus, expand("$H/bus.conf"));
        QVERIFY(!address.isEmpty());
        for (QObject *fake : std::initializer_list<QObject *>{&m_shell, &m_portal, &m_systemd})
            fake->moveToThread(&m_shellThread);
        m_shellThread.start();
        QDBusConnection shell = QDBusConnection::connectToBus(address, "plasma");
        QVERIFY(shell.registerService("org.kde.plasmashell"));
        QVERIFY(shell.registerObject("/PlasmaShell", &m_shell, QDBusConnection::ExportAllSlots));
        QVERIFY(QDBusConnection::connectToBus(address, "portal")
                    .registerVirtualObject("/org/freedesktop/portal/desktop", &m_portal));
        QVERIFY(QDBusConnection::connectToBus(address, "systemd")
                    .registerVirtualObject("/org/freedesktop/systemd1", &m_systemd));
    }

    void init()
    {
        // Each case starts on a fresh desktop: a system picture, none of the program's files.
        QDir(voskan()).removeRecursively();
        QProcess::execute("gsettings", {"reset-recursively", "org.gnome.desktop.background"});
        calls.clear();
        failing = blind = false;
    }

    void cleanupTestCase()
    {
        for (const char *name : {"plasma", "portal", "systemd"})
            QDBusConnection::disconnectFromBus(name);
        m_shellThread.quit();
        m_shellThread.wait();
        stop(m_bus);
    }

    void detectsTheDesktop_data()
    {
        // session: its variables, "NAME=value" separated by spaces
        addColumns<QString, DesktopKind>({"session", "kind"});
        // clang-format off
        QTest::newRow("Ubuntu's GNOME") << "XDG_CURRENT_DESKTOP=ubuntu:GNOME" << DesktopKind::Gnome;
        QTest::newRow("Pantheon, in any case") << "XDG_CURRENT_DESKTOP=Pantheon" << DesktopKind::Gnome;
        QTest::newRow("Budgie before GNOME") << "XDG_CURRENT_DESKTOP=Budgie:GNOME" << DesktopKind::Budgie;
        QTest::newRow("the first known entry wins") << "XDG_CURRENT_DESKTOP=Unity:GNOME:Budgie" << DesktopKind::Gnome;
        QTest::newRow("Cinnamon as X-") << "XDG_CURRENT_DESKTOP=X-Cinnamon" << DesktopKind::Cinnamon;
        QTest::newRow("a wlroots compositor") << "XDG_CURRENT_DESKTOP=niri" << DesktopKind::Wlroots;
        QTest::newRow("Plasma by its variable") << "XDG_CURRENT_DESKTOP=Unity KDE_FULL_SESSION=true" << DesktopKind::Kde;
        QTest::newRow("KDE_FULL_SESSION not true") << "KDE_FULL_SESSION=false" << DesktopKind::Other;
        QTest::newRow("sway by its socket") << "SWAYSOCK=/run/user/1/sway.sock" << DesktopKind::Sway;
        QTest::newRow("the name before the variables") << "XDG_CURRENT_DESKTOP=XFCE SWAYSOCK=/s" << DesktopKind::Xfce;
        QTest::newRow("nothing known") << "XDG_CURRENT_DESKTOP=Enlightenment" << DesktopKind::Other;
        // clang-format on
    }

    void detectsTheDesktop()
    {
        FETCH((QString, session), (DesktopKind, kind));
        QProcessEnvironment environment;
        for (const QString &variable : session.split(' '))
            environment.insert(variable.section('=', 0, 0), variable.section('=', 1));
        QCOMPARE(int(detectDesktop(environment)), int(kind));
    }

    void setsEachDesktop_data()
    {
        // desktop: XDG_CURRENT_DESKTOP; fails: "tool" (the desktop's), "snippet" (sway's cannot be
        // written); portal: "method/response", else none on the bus; sent: the scheme it tells;
        // expected: the calls, then "file in $H=text it holds" (a folder's path ends in "/")
        addColumns<QString, bool, QString, QString, QVariant, QStringList, QString>(
            {"desktop", "darkScheme", "fails", "portal", "sent", "expected", "error"});
        const QString gnome = "gsettings set|org.gnome.desktop.background|picture-";
        const QString uri = "'file://$H/Daten%20it\\'s/Voskan/wallpaper-a";
        const QString path = "$H/Daten it's/Voskan/wallpaper-a";
        const QString xfce = "xfconf-query -c|xfce4-desktop|";
        const QString screen0 = "-p|/backdrop/screen0/monitoreDP-1/workspace0/last-image";
        const QString screen1 = "-p|/backdrop/screen0/monitorHDMI-1/workspace1/last-image";
        const QString kde = "$H/Daten it's/Voskan/wallpaper-a-kde/";
        // clang-format off
        // The portal takes the picture of the scheme its settings tell, however old the portal,
        // and the set waits for the person's answer.
        QTest::newRow("portal, ReadOne, dark signed, granted") << "Enlightenment" << true << "" << "ReadOne/0" << QVariant(1) << QStringList{"dark", "follower on"} << "";
        QTest::newRow("portal, only Read, dark, refused") << "Enlightenment" << true << "" << "Read/1" << QVariant(1u) << QStringList{"dark"} << "Das Setzen des Schreibtischhintergrunds wurde abgelehnt.";
        QTest::newRow("portal, no settings, ended otherwise") << "Enlightenment" << true << "" << "/2" << QVariant(1u) << QStringList{"light"} << kFailed + "Der Dienst „org.freedesktop.portal.Desktop“ meldet einen Fehler.";
        // Every value the scheme can take on the bus (the follower reads a change the same way).
        QTest::newRow("portal, dark in 64 bits") << "Enlightenment" << false << "" << "ReadOne/0" << QVariant(qulonglong(1)) << QStringList{"dark", "follower on"} << "";
        QTest::newRow("portal, 4294967297 is no 1") << "Enlightenment" << true << "" << "ReadOne/0" << QVariant(qulonglong(1) << 32 | 1) << QStringList{"light", "follower on"} << "";
        QTest::newRow("portal, true is no 1") << "Enlightenment" << true << "" << "ReadOne/0" << QVariant(true) << QStringList{"light", "follower on"} << "";
        QTest::newRow("GNOME, both pictures") << "ubuntu:GNOME" << true << "" << "" << QVariant() << QStringList{"gsettings get|org.gnome.desktop.background|picture-uri", gnome + "options|'zoom'", gnome + "uri-dark|" + uri + "-dark.jpg'", gnome + "uri|" + uri + "-light.jpg'", "follower off", "$H/Daten it's/gnome-background-properties/voskan.xml=<name>Voskan</name>\n    <filename>" + path + "-light.jpg</filename>\n    <filename-dark>" + path + "-dark.jpg</filename-dark>"} << "";
        QTest::newRow("KDE, a package of both") << "Enlightenment:KDE" << false << "" << "" << QVariant() << QStringList{"plasmashell print(d.readConfig('Image'));", "plasmashell d.writeConfig('Image', " + uri + "-kde');", "follower off", kde + "metadata.json=\"Id\": \"wallpaper-a-kde\"", kde + "contents/images/320x180.jpg=", kde + "contents/images_dark/320x180.jpg="} << "";
        QTest::newRow("Cinnamon, light scheme") << "X-Cinnamon" << false << "" << "" << QVariant() << QStringList{"gsettings get|org.cinnamon.desktop.background|picture-uri", "gsettings set|org.cinnamon.desktop.background|picture-uri|" + uri + "-light.jpg'", "follower on"} << "";
        QTest::newRow("MATE, dark scheme, a path") << "MATE" << true << "" << "" << QVariant() << QStringList{"gsettings get|org.mate.background|picture-filename", "gsettings set|org.mate.background|picture-filename|'$H/Daten it\\'s/Voskan/wallpaper-a-dark.jpg'", "follower on"} << "";
        QTest::newRow("Budgie, GNOME's key for one picture") << "Budgie:GNOME" << true << "" << "" << QVariant() << QStringList{"gsettings get|org.gnome.desktop.background|picture-uri", gnome + "uri|" + uri + "-dark.jpg'", "follower on"} << "";
        QTest::newRow("Xfce, every screen") << "XFCE" << true << "" << "" << QVariant() << QStringList{xfce + "-l", xfce + screen0, xfce + screen1, xfce + "-l", xfce + screen0 + "|-s|" + path + "-dark.jpg", xfce + screen1 + "|-s|" + path + "-dark.jpg", "follower on"} << "";
        QTest::newRow("sway, every output, kept") << "sway" << false << "" << "" << QVariant() << QStringList{"swaymsg output|*|bg|\"" + path + "-light.jpg\"|fill", "follower on", "$H/Daten it's/Voskan/sway.conf=output * bg \"" + path + "-light.jpg\" fill\nexec voskan-render --follow\n"} << "";
        // The picture changes even when the snippet cannot be written (a full or read-only data
        // folder; here a folder in its place): the set stands, and the folder stays.
        QTest::newRow("sway, no snippet") << "sway" << false << "snippet" << "" << QVariant() << QStringList{"swaymsg output|*|bg|\"" + path + "-light.jpg\"|fill", "follower on", "$H/Daten it's/Voskan/sway.conf/="} << "";
        QTest::newRow("sway, the tool fails") << "sway" << false << "tool" << "" << QVariant() << QStringList{"swaymsg output|*|bg|\"" + path + "-light.jpg\"|fill"} << kFailed + "Das Programm „swaymsg“ meldet einen Fehler (kaputt).";
        QTest::newRow("Hyprland, no swaybg") << "Hyprland" << false << "no swaybg" << "" << QVariant() << QStringList{} << kFailed + "Das Programm „swaybg“ fehlt oder startet nicht. Installiere das Paket „swaybg“ (sudo apt install swaybg).";
        QTest::newRow("unknown desktop, no portal") << "Enlightenment" << false << "" << "" << QVariant() << QStringList{} << "Der Schreibtischhintergrund kann in dieser Arbeitsumgebung nicht gesetzt werden.";
        // clang-format on
    }

    void setsEachDesktop()
    {
        FETCH((QString, desktop, fails, portal, error), (bool, darkScheme), (QVariant, sent),
              (QStringList, expected));
        // With the portal on the bus, the scheme its settings tell, as in a session.
        const DarkSchemeQuery scheme = portal.isEmpty() ? [darkScheme] { return darkScheme; }
                                                        : DarkSchemeQuery(portalPrefersDark);
        FollowerHooks follower;
        follower.start = [](bool switches) { record(switches ? "follower off" : "follower on"); };
        DesktopService service(
            makeDesktopBackend(detectDesktop(desktopSession(desktop)), runner, scheme), follower);
        portalMethod = portal.section('/', 0, 0);
        portalResponse = portal.section('/', 1).toUInt();
        portalScheme = sent;
        QDBusConnection bus("portal");
        QVERIFY(portal.isEmpty() || bus.registerService("org.freedesktop.portal.Desktop"));
        failing = fails == "tool";
        QVERIFY(fails != "snippet" || QDir().mkpath(voskan() + "sway.conf"));
        const auto path = withEnv("PATH", fails == "no swaybg" ? QFile::encodeName(m_home.path())
                                                               : qgetenv("PATH"));
        QList<WriteStep> began;
        WriteProgress progress(WriteProgress::setPlan(),
                               [&began](WriteStep step, double) { began << step; });
        const auto result = setIn(service, QColor(230, 200, 120), {}, &progress);
        failing = false;
        bus.unregisterService("org.freedesktop.portal.Desktop");
        // A set the desktop did not take says where its pictures lie, and they are there.
        const QString left = " Die beiden Bilder liegen in „" + voskan().chopped(1) +
                             "“: „wallpaper-a-light.jpg“ für Hell, „wallpaper-a-dark.jpg“ für "
                             "Dunkel. Wähle eines davon in den Einstellungen des Schreibtischs "
                             "oder exportiere das Wallpaper als HEIC-Datei.";
        // A session where nothing can take a wallpaper says so before a render or a file; a set
        // the desktop took goes on to the HEIC, both pictures.
        const bool refused = error == unsupportedText();
        QCOMPARE(result.value_or(QString()), error.isEmpty() || refused ? error : error + left);
        const QList<WriteStep> steps{WriteStep::RenderLight, WriteStep::RenderDark,
                                     WriteStep::DesktopImages, WriteStep::EncodeLight,
                                     WriteStep::EncodeDark};
        QCOMPARE(began, steps.mid(0, refused ? 0 : error.isEmpty() ? 5 : 3));
        QStringList files = expected.filter("="),
                    want = expected.mid(0, expected.size() - files.size());
        QCOMPARE(calls, want.replaceInStrings("$H", m_home.path()));
        // What failed to reach the desktop is not taken for what it shows.
        QCOMPARE(service.shownWallpaper().value_or(QString()),
                 error.isEmpty() ? voskan() + "wallpaper-a.heic" : QString());
        QCOMPARE(QFile::exists(voskan() + "wallpaper-a-light.jpg"), !refused);
        if (refused)
            return;
        for (const QString &entry : files << voskan() + "wallpaper-a-light.jpg="
                                          << voskan() + "wallpaper-a-dark.jpg=") {
            const QString file = expand(entry.section('=', 0, 0));
            QVERIFY2(contents(file).contains(expand(entry.section('=', 1)).toUtf8()) &&
                         QFile::exists(file),
                     qPrintable(file));
            // The light picture is bright, the dark one dark, wherever they are handed over.
            const QImage image(file);
            QVERIFY2(image.isNull() || file.contains("dark") == (qGray(image.pixel(9, 9)) < 100),
                     qPrintable(file));
        }
    }

    // A wallpaper that follows the day, set twice in turn under two names: GNOME plays today's
    // times as a slideshow of the file's pictures; Plasma shows the picture due now.
    void setsADay_data()
    {
        addColumns<QString, QStringList>({"desktop", "slideshow"}); // its pictures in order
        QTest::newRow("GNOME, hours") << "GNOME"
                                      << QStringList{"2-light.jpg", "0-light.jpg", "3-light.jpg",
                                                     "1-light.jpg", "0-light.jpg"};
        QTest::newRow("Plasma, hours") << "KDE" << QStringList();
    }

    void setsADay()
    {
        FETCH((QString, desktop), (QStringList, slideshow));
        const QString file = expand("$H/Tag.heic");
        QVERIFY(writeDynamicHeic(
            file, solidPictures({Qt::red, Qt::green, Qt::blue, Qt::white}),
            scheduleXmp(
                {{"h24", h24Table({{2, 0.25}, {0, 0.5}, {3, 0.75}, {1, 0.9}, {0, 0.95}})}})));
        const WallpaperSchedule schedule = scheduleOf(file);
        DesktopService service(makeDesktopBackend(detectDesktop(desktopSession(desktop)), runner,
                                                  [] { return false; }));
        for (const QString name : {"day-a", "day-b"}) {
            calls.clear();
            const QDateTime now = QDateTime::currentDateTime();
            QCOMPARE(WallpaperSet::setDay(file, schedule, std::nullopt, service), std::nullopt);
            QCOMPARE(QDir(voskan() + name).entryList({"*.jpg"}, QDir::Files).size(), 4);
            const QImage blue(voskan() + name + "/2-light.jpg");
            QVERIFY(qBlue(blue.pixel(5, 5)) > 200 && qRed(blue.pixel(5, 5)) < 50);
            const QString day = voskan() + name + ".day";
            QCOMPARE(DesktopService::recordedWallpaper(), day);
            if (desktop == "KDE") { // the picture due now; the rest is the follower's
                const int due = pictureAt(schedule, now, QTimeZone::systemTimeZone(), {}).image;
                const QString package = '/' + name + '/' + QString::number(due) + "-kde');";
                QCOMPARE(calls.filter("writeConfig('Image', 'file://").filter(package).size(), 1);
                QVERIFY(QFile::exists(WallpaperFiles::forDayPicture(day, due).kdePackage() +
                                      "/contents/images_dark/64x36.jpg"));
                continue;
            }
            const QString xml = daySlideshowPath(day, now.date());
            for (const QString key : {"picture-uri", "picture-uri-dark"})
                QCOMPARE(gnomeBackground(key).mid(1).chopped(1), // quoted as gsettings sees fit
                         QUrl::fromLocalFile(xml).toString(QUrl::FullyEncoded));
            QStringList shown;
            static const QRegularExpression file("<file>([^<]*)</file>");
            for (auto found = file.globalMatch(contents(xml)); found.hasNext();)
                shown << QFileInfo(found.next().captured(1)).fileName();
            QCOMPARE(shown, slideshow);
            for (const QString &picture : shown)
                QVERIFY(QFile::exists(voskan() + name + '/' + picture));
        }
    }

    // A day cycle made from two looks, set on GNOME through the real gsettings: its slideshow
    // goes from the night through the dawn to the day and back, as the sun over Berlin does.
    void setsADayCycleOnGnome()
    {
        setUserLocation(GeoLocation{52.52, 13.40});
        DesktopService service(
            makeDesktopBackend(DesktopKind::Gnome, runner, [] { return false; }));
        QCOMPARE(OutputJobs::setDayCycle(solidLook(Qt::white), solidLook(Qt::black, true), {64, 36},
                                         5, service),
                 std::nullopt);
        setUserLocation(std::nullopt);
        const QString day = DesktopService::recordedWallpaper().value_or(QString());
        QCOMPARE(DayFile::read(day)->location, std::optional(GeoLocation{52.52, 13.40}));
        const QString xml = daySlideshowPath(day, QDate::currentDate());
        QCOMPARE(gnomeBackground("picture-uri").mid(1).chopped(1),
                 QUrl::fromLocalFile(xml).toString(QUrl::FullyEncoded));
        QStringList shown; // the pictures by their index, each change once, round the clock
        static const QRegularExpression file("<static>\\s*<duration>[^<]*</duration>\\s*"
                                             "<file>[^<]*/(\\d)-light.jpg</file>");
        for (auto found = file.globalMatch(contents(xml)); found.hasNext();)
            if (const QString next = found.next().captured(1);
                shown.value(shown.size() - 1) != next)
                shown << next;
        if (shown.size() > 1 && shown.first() == shown.last())
            shown.removeLast();
        std::rotate(shown.begin(), shown.begin() + std::max(shown.indexOf("2"), qsizetype(0)),
                    shown.end());
        QCOMPARE(shown, (QStringList{"2", "3", "4", "0", "4", "3", "2", "1"}));
        const QString folder = WallpaperFiles::dayFolder(day);
        QCOMPARE(qGray(QImage(folder + "/0-light.jpg").pixel(5, 5)) > 240 &&
                     qGray(QImage(folder + "/1-light.jpg").pixel(5, 5)) < 60,
                 true);
    }

    // „Täglich neu“: units systemd reads as meant (the program wherever it lies, the session's
    // variables as they are), started over the bus, or a login entry GLib starts; gone when off,
    // the other route named without a user manager; what neither can carry refused up front.
    void schedulesTheDailyRun_data()
    {
        // folder: where voskan-render lies; display: the session's DISPLAY; refused: how the
        // refusal begins; empty: scheduled
        addColumns<QString, QString, QString, bool, QString>(
            {"folder", "display", "query", "atLogin", "refused"});
        const QString named = "Voskan liegt in einem Ordner, dessen Name ";
        // clang-format off
        QTest::newRow("a space, a specifier and a dollar sign") << "a b/50%h/x$HOME" << ":0" << "Berge" << false << ""; // %h: the home folder
        QTest::newRow("a quote") << "a\"b" << ":0" << "Berge" << false << named + "ein Anführungszeichen enthält; aus einem solchen Ordner startet systemd kein Programm.";
        QTest::newRow("an apostrophe") << "Peter's" << ":0" << "Berge" << false << named + "einen Apostroph enthält";
        QTest::newRow("a backslash") << "a\\b" << ":0" << "Berge" << false << named + "einen Backslash enthält";
        QTest::newRow("at login: a dollar sign, a quote, a backtick, a backslash") << "x$HOME\"q`\\ b" << ":0" << "Berge" << true << "";
        QTest::newRow("DISPLAY with a dollar sign, a specifier, a quote and a backslash") << "bin" << "$HOME%h a\"b\\c" << "Berge" << false << "";
        QTest::newRow("a line break and a second ExecStart") << "q\nExecStart=/x\n#" << ":0" << "Nebel" << false << named + "einen Zeilenumbruch enthält; von dort lässt sich „Täglich neu“ nicht einrichten. Installiere Voskan bitte in einen anderen Ordner.";
        QTest::newRow("at login: a percent sign") << "50%h" << ":0" << "Berge" << true << named + "ein %-Zeichen enthält";
        QTest::newRow("DISPLAY with a line break") << "bin" << ":0\nExecStart=/x" << "Berge" << false << "Die Variable DISPLAY dieser Sitzung enthält einen Zeilenumbruch";
        // clang-format on
    }

    void schedulesTheDailyRun()
    {
        FETCH((QString, folder, display, query, refused), (bool, atLogin));
        const QString program = expand("$H/programs/") + folder + "/voskan-render";
        const QString said = expand("$H/programs/said");
        QVERIFY(writeNotingProgram(program, said));
        QProcessEnvironment session = desktopSession("X-Cinnamon");
        session.insert("DISPLAY", display);
        const DailyWallpaper::Settings settings{query, QTime(7, 30), {"--style", "flow"}, atLogin};
        DailyWallpaper::disable(); // whatever a row before left
        const QString systemd = "org.freedesktop.systemd1";
        QDBusConnection bus("systemd");
        QVERIFY(bus.registerService(systemd));
        const auto unregister = qScopeGuard([&] { bus.unregisterService(systemd); });
        calls.clear();
        const std::optional<QString> result =
            DailyWallpaper::enable(settings, program, session, DailyWallpaper::Reader::Window);
        if (!refused.isEmpty()) {
            QVERIFY2(result && result->startsWith(refused),
                     qPrintable(result.value_or("(kein Fehler)")));
            QCOMPARE(calls, QStringList());
            for (const QString &file : {DailyWallpaper::serviceFile(), DailyWallpaper::timerFile(),
                                        DailyWallpaper::autostartFile()})
                QVERIFY2(!QFile::exists(file), qPrintable(file));
            QCOMPARE(DailyWallpaper::settings(), std::nullopt);
            return;
        }
        QCOMPARE(result, std::nullopt);
        QCOMPARE(DailyWallpaper::settings(), settings);
        if (atLogin) {
            QCOMPARE(calls, QStringList());
            QFile::remove(said);
            QCOMPARE(launch(DailyWallpaper::autostartFile()), "");
            QTRY_COMPARE(contents(said), program.toUtf8() + "\n--daily-run\n--once-a-day\n");
            return;
        }
        QCOMPARE(calls, (QStringList{"systemd Reload ",
                                     "systemd EnableUnitFiles voskan-daily.timer|false|true",
                                     "systemd RestartUnit voskan-daily.timer|replace"}));
        // systemd finds the program at its path, and gives it the session as it is.
        QVERIFY(QDir().mkpath(expand("$H/runtime")));
        const auto runtime = withEnv("XDG_RUNTIME_DIR", QFile::encodeName(expand("$H/runtime")));
        QCOMPARE(programOutput("systemd-analyze", {"verify", "--user", DailyWallpaper::timerFile(),
                                                   DailyWallpaper::serviceFile()}),
                 "");
        QCOMPARE(environmentSystemdReads(contents(DailyWallpaper::serviceFile())),
                 (QStringList{"XDG_CURRENT_DESKTOP=X-Cinnamon", "DISPLAY=" + display}));
        // At the time asked for, and a day the machine was off caught up at the next start.
        const QString timer = QString::fromUtf8(contents(DailyWallpaper::timerFile()));
        QVERIFY(timer.contains("\nPersistent=true\n"));
        QVERIFY(programOutput("systemd-analyze",
                              {"calendar", timer.section("OnCalendar=", 1).section('\n', 0, 0)})
                    .contains("Normalized form: *-*-* 07:30:00"));

        calls.clear();
        DailyWallpaper::disable();
        QCOMPARE(calls.mid(0, 2),
                 (QStringList{"systemd StopUnit voskan-daily.timer|replace",
                              "systemd DisableUnitFiles voskan-daily.timer|false"}));
        QVERIFY(!QFile::exists(DailyWallpaper::timerFile()) &&
                !QFile::exists(DailyWallpaper::serviceFile()));
        QCOMPARE(DailyWallpaper::settings(), std::nullopt);

        QVERIFY(bus.unregisterService(systemd));
        // The way out named as its reader takes it: the checkbox, or the option.
        using enum DailyWallpaper::Reader;
        const std::optional<QString> window =
                                         DailyWallpaper::enable(settings, program, session, Window),
                                     line = DailyWallpaper::enable(settings, program, session,
                                                                   CommandLine);
        QVERIFY(window && window->contains("„Bei der Anmeldung statt zu einer Uhrzeit“") &&
                !window->contains("--"));
        QVERIFY(line && line->contains("--at-login"));
        QVERIFY(!QFile::exists(DailyWallpaper::timerFile()));
    }

    void errorTexts_data()
    {
        // how: a script run as the tool, or a D-Bus error
        addColumns<QString, QString>({"how", "expected"});
        const QString tool = kFailed + "Das Programm „voskan-werkzeug“ ";
        const QString plasma = kFailed + "Der Dienst „org.kde.plasmashell“ ";
        // clang-format off
        QTest::newRow("tool crashes") << "kill -SEGV $$" << tool + "ist abgestürzt.";
        QTest::newRow("tool hangs") << "exec sleep 20" << tool + "hat nicht rechtzeitig geantwortet.";
        QTest::newRow("exit status, its message") << "echo 'No such key “x”\nmore' >&2; exit 1" << tool + "meldet einen Fehler (No such key “x”).";
        QTest::newRow("service not running") << "org.freedesktop.DBus.Error.ServiceUnknown" << plasma + "läuft nicht.";
        QTest::newRow("service silent") << "org.freedesktop.DBus.Error.NoReply" << plasma + "antwortet nicht.";
        QTest::newRow("access denied") << "org.freedesktop.DBus.Error.AccessDenied" << plasma + "verweigert den Zugriff.";
        // clang-format on
    }

    void errorTexts()
    {
        FETCH((QString, how, expected));
        QFile::remove(expand("$H/bin/voskan-werkzeug"));
        if (!how.startsWith("org."))
            QVERIFY(!writeFile(expand("$H/bin/voskan-werkzeug"),
                               "#!/bin/sh\n" + how.toUtf8() + "\n",
                               QFile::ExeOwner | QFile::ReadOwner)
                         .isEmpty());
        const auto failure =
            how.startsWith("org.")
                ? dbusFailure(QDBusMessage::createError(how, "English"), "org.kde.plasmashell")
                : runCommand("voskan-werkzeug", {}, 1000).failure;
        QCOMPARE(description(failure.value_or(DesktopFailure{})), expected);
    }

    // GNOME: A from the window, B from the command line, A again: the record of the last set
    // counts before what a run set itself, also where the desktop cannot say what it shows; each
    // set chooses and tells holding the lock, so that two at once never take the same slot.
    void alternatesAndFailsCleanly_data()
    {
        QTest::addColumn<bool>("tells"); // what it shows, else the record of the last set counts
        QTest::newRow("the desktop tells") << true;
        QTest::newRow("the desktop cannot tell") << false;
    }

    void alternatesAndFailsCleanly()
    {
        QFETCH(bool, tells);
        blind = !tells;
        WatchedGnome *const watched[2] = {new WatchedGnome, new WatchedGnome};
        DesktopService window{std::unique_ptr<DesktopBackend>(watched[0])};
        DesktopService commandLine{std::unique_ptr<DesktopBackend>(watched[1])};
        for (DesktopService *service : {&window, &commandLine, &window})
            QCOMPARE(setIn(*service, Qt::red), std::nullopt);
        QCOMPARE(watched[0]->told, (QStringList{"wallpaper-a", "wallpaper-a"}));
        QCOMPARE(watched[1]->told, QStringList{"wallpaper-b"});
        // The HEIC fails once the desktop shows the new pictures (here: at the file-size limit
        // of a full quota, which holds for root too): the desktop gets the old ones back, and
        // the slot keeps its earlier HEIC.
        const QByteArray earlier = contents(voskan() + "wallpaper-b.heic");
        QVERIFY(earlier.size() > 1000);
        rlimit unlimited{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        const auto heicError = setIn(window, Qt::blue, [] {
            const rlimit tight{1000, RLIM_INFINITY};
            setrlimit(RLIMIT_FSIZE, &tight);
        });
        setrlimit(RLIMIT_FSIZE, &unlimited);
        std::signal(SIGXFSZ, previousHandler);
        QCOMPARE(heicError, "Die Datei ist zu groß für diesen Datenträger.");
        QCOMPARE(watched[0]->told.mid(2), (QStringList{"wallpaper-b", "wallpaper-a mit HEIC"}));
        QCOMPARE(contents(voskan() + "wallpaper-b.heic"), earlier);
        QCOMPARE(DesktopService::recordedWallpaper(), voskan() + "wallpaper-a.heic");
        QCOMPARE(QDir(voskan()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"desktop-shown", "set.lock", "wallpaper-a-dark.jpg",
                              "wallpaper-a-light.jpg", "wallpaper-a.heic", "wallpaper-b.heic"}));
    }

    // What else stands under a name read never holds a set: the record (a FIFO, or too large) is
    // not taken and a set goes on over it; Plasma's package, copied by descriptors, fails at once
    // leaving no half package; the portal is refused before it is asked.
    void readsOnlyRegularFiles_data()
    {
        addColumns<QString, QString>({"read", "kind"}); // kind: as nonRegularFile() makes it
        // clang-format off
        QTest::newRow("the record a FIFO") << "record" << "FIFO";
        QTest::newRow("the record a huge file") << "record" << "huge";
        QTest::newRow("Plasma's picture a FIFO") << "kde" << "FIFO";
        QTest::newRow("the portal's picture a FIFO") << "portal" << "FIFO";
        // clang-format on
    }

    void readsOnlyRegularFiles()
    {
        FETCH((QString, read, kind));
        const WallpaperFiles files =
            WallpaperFiles::forHeic(voskan() + "wallpaper-a.heic", {64, 36});
        QVERIFY(QDir().mkpath(voskan()) &&
                solidPictures({Qt::darkBlue}).constFirst().save(files.dark, "JPEG"));
        QString path = read == "record" ? voskan() + "desktop-shown" : files.light;
        if (kind == "huge")
            QVERIFY(writeWholeFile(path, '/' + QByteArray(1 << 20, 'a'))); // a path, but too long
        else
            QVERIFY(!(path = nonRegularFile(kind, voskan(), QFileInfo(path).fileName())).isEmpty());
        const QFuture<std::optional<QString>> work = QtConcurrent::run([&] {
            if (read == "record")
                return DesktopService::recordedWallpaper();
            if (read == "kde")
                return makeKdeBackend()->setWallpaper(files);
            return makePortalBackend([] { return false; })
                ->setWallpaper({path, path, path, files.size});
        });
        QVERIFY2(endsUnblocked(work, path), "a read blocked");
        QCOMPARE(work.result(), read == "record" ? std::nullopt
                                : read == "kde"  ? std::optional(fileFailedText(files.kdePackage()))
                                                 : std::optional(unsupportedText()));
        QCOMPARE(calls, QStringList()); // neither Plasma nor the portal asked
        QVERIFY(!QFileInfo::exists(files.kdePackage()) &&
                !QFileInfo::exists(files.kdePackage() + ".tmp"));
        if (read == "record") { // a set goes on over it, leaving a record it can read
            DesktopService service(makeGnomeBackend(runner));
            QCOMPARE(setIn(service, Qt::red), std::nullopt);
            QVERIFY(DesktopService::recordedWallpaper().has_value());
        }
    }

    // A set never goes on without the lock: what else lies under its name gives way to a lock
    // file, never followed, that still excludes; a full folder is refused, a lock held elsewhere
    // waited for only a while.
    void setLockIsNeverGoneWithout_data()
    {
        // kind: what lies at set.lock; refusal: of the set; empty: it takes the lock and goes on
        addColumns<QString, QString>({"kind", "refusal"});
        const QString folder =
            expand("„$H/Daten it's/Voskan/set.lock“ ist ein Ordner, Voskan braucht den Namen für "
                   "die Sperre beim Setzen. Entferne den Ordner und versuche es erneut.");
        // clang-format off
        QTest::newRow("a FIFO") << "FIFO" << "";
        QTest::newRow("an empty folder") << "folder" << "";
        QTest::newRow("a link to a file elsewhere") << "link" << "";
        QTest::newRow("a folder with a file in it") << "full folder" << folder;
        QTest::newRow("held by another program") << "held" << SetLock::busyText();
        // clang-format on
    }

    void setLockIsNeverGoneWithout()
    {
        FETCH((QString, kind, refusal));
        QTemporaryDir elsewhere;
        const QString lock = voskan() + "set.lock", target = elsewhere.filePath("ziel");
        QVERIFY(!writeFile(target, "fremd").isEmpty());
        QVERIFY(QDir().mkpath(voskan()));
        if (kind == "link")
            QVERIFY(QFile::link(target, lock));
        else if (kind == "full folder")
            QVERIFY(!writeFile(lock + "/darin", "x").isEmpty());
        else if (kind != "held")
            QVERIFY(!nonRegularFile(kind, voskan(), "set.lock").isEmpty());
        QProcess holder;
        if (kind == "held") {
            holder.start("flock", {lock, "sleep", "30"});
            QTRY_COMPARE(QProcess::execute("flock", {"-n", lock, "true"}), 1);
        }
        const auto ended = qScopeGuard([&] { stop(holder); });
        QElapsedTimer waited;
        waited.start();
        DesktopService service(makeGnomeBackend(runner));
        const std::optional<QString> error = setIn(service, Qt::red);
        QCOMPARE(error.value_or(QString()), refusal);
        if (!refusal.isEmpty()) {
            QCOMPARE(QDir(voskan()).entryList({"wallpaper-*"}, QDir::Files | QDir::Hidden), {});
            QVERIFY(kind != "held" || (waited.elapsed() >= SetLock::kWaitMs &&
                                       waited.elapsed() < SetLock::kWaitMs + 3000));
            return;
        }
        QVERIFY(QFileInfo(lock).isFile() && !QFileInfo(lock).isSymLink());
        // The file locked is the one under the name, for every other program too.
        const SetLock set;
        QVERIFY(set.isHeld());
        QCOMPARE(QProcess::execute("flock", {"-n", lock, "true"}), 1);
        QCOMPARE(contents(target), "fremd");
    }
};

QTEST_GUILESS_MAIN(TestDesktopService)
#include "tst_desktopservice.moc"
