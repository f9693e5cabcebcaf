// voskan-render as a person calls it: refusals, outputs, progress, desktop, zone, daily.

#include "support/dynamicfiles.h"
#include "support/fakeunsplashserver.h"
#include "support/heicreader.h"
#include "support/rows.h"
#include "support/scratch.h"
#include "support/testdata.h"

#include "model/renderpipeline.h"
#include "render/imagedecoder.h"

#include <csignal>

#include <sys/mount.h>

class TestVoskanRender : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QTemporaryDir m_shared; // a folder everyone may write into, and a file only root may change
    QProcess m_process;
    // Good files that every refused call must leave byte for byte, named for their content.
    QStringList m_keep{m_dir.filePath("keep.png"), m_dir.filePath("keep.heic")};
    bool m_mounted = false;

    // In the scratch GNOME session: $P a real photo, $D the scratch folder, $S the shared one; a
    // first argument $U runs it as another user when the test runs as root. A loopback server
    // answers only while the wait runs this thread's events.
    QProcess *run(QStringList args, QString program = VOSKAN_RENDER_BINARY, bool wait = true)
    {
        if (args.value(0) == "$U") {
            args.removeFirst();
            if (::geteuid() == 0) {
                // Copies the other user can reach wherever the build lies.
                args.replaceInStrings("$P", m_shared.filePath("foto.jpg"));
                args = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups",
                                   m_shared.filePath("voskan-render")} +
                       args;
                program = "setpriv";
            }
        }
        args.replaceInStrings("$S", m_shared.path());
        args.replaceInStrings("$P", TestData::photo("photo-fallenleaf-2560x1600.jpg"));
        m_process.start(program, args.replaceInStrings("$D", m_dir.path()));
        if (wait &&
            !QTest::qWaitFor([this] { return m_process.state() == QProcess::NotRunning; }, 300000))
            m_process.kill();
        return &m_process;
    }

    static bool keep(const QString &path)
    {
        return !writeFile(path, QFileInfo(path).fileName().toUtf8()).isEmpty();
    }

private Q_SLOTS:
    // Destinations nothing may replace. As root, permission bits do not stop a write; a full
    // and a read-only disk are tiny file systems, when this machine lets the test mount them.
    void initTestCase()
    {
        qputenv("XDG_CURRENT_DESKTOP", "GNOME");
        qputenv("GSETTINGS_BACKEND", "keyfile");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath("config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath("data")));
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        QVERIFY(QDir(m_dir.path()).mkdir("folder.heic"));
        QVERIFY(QFile::link("nirgends.png", m_dir.filePath("dangling.png")));
        const QByteArray full = QFile::encodeName(m_dir.filePath("full")),
                         ro = QFile::encodeName(m_dir.filePath("ro"));
        QVERIFY(QDir().mkpath(full) && QDir().mkpath(ro));
        m_mounted = ::mount("tmpfs", full, "tmpfs", 0, "size=4k") == 0 &&
                    ::mount("tmpfs", ro, "tmpfs", 0, "size=64k") == 0 && keep(ro + "/keep.heic") &&
                    keep(full + "/keep.png") &&
                    ::mount("tmpfs", ro, "tmpfs", MS_REMOUNT | MS_RDONLY, "size=64k") == 0;
        if (m_mounted)
            m_keep << full + "/keep.png" << ro + "/keep.heic";
        // Mine and read-only, in a folder anyone may write to: another user (or, not as root,
        // I myself) could rename over it, but may not change it.
        const QString protectedFile = m_shared.filePath("geschützt.png");
        QVERIFY(keep(protectedFile));
        QVERIFY(QFile::setPermissions(protectedFile,
                                      QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QVERIFY(::chmod(QFile::encodeName(m_shared.path()).constData(), 0777) == 0);
        QVERIFY(QFile::copy(VOSKAN_RENDER_BINARY, m_shared.filePath("voskan-render")));
        QVERIFY(QFile::copy(TestData::photo("photo-fallenleaf-2560x1600.jpg"),
                            m_shared.filePath("foto.jpg")));
        QVERIFY(QFile::setPermissions(m_shared.filePath("foto.jpg"),
                                      QFile::ReadOwner | QFile::ReadOther));
        m_keep << protectedFile;
        // A day that follows the clock.
        QVERIFY(writeDynamicHeic(m_dir.filePath("Zone.heic"), solidPictures({Qt::red, Qt::blue}),
                                 scheduleXmp({{"h24", h24Table({{0, 0.3}, {1, 0.8}})}})));
    }

    void cleanupTestCase()
    {
        for (const char *folder : {"full", "ro"})
            ::umount2(QFile::encodeName(m_dir.filePath(folder)).constData(), MNT_DETACH);
    }

    void refuses_data()
    {
        // message: on stderr
        addColumns<QStringList, int, QString>({"args", "status", "message"});
        // clang-format off
        QTest::newRow("nothing") << QStringList{} << 2 << "Erwartet werden genau ein Foto und eine Ausgabedatei.";
        QTest::newRow("unknown option") << QStringList{"--blur", "3", "$P", "$D/keep.png"} << 2 << "Unbekannte Option „--blur“.";
        QTest::newRow("bad style") << QStringList{"--dark-style", "sharp", "$P", "$D/keep.heic"} << 2 << "--dark-style erwartet blur, flow oder mirror.";
        QTest::newRow("bad size") << QStringList{"--size", "0x100", "$P", "$D/keep.png"} << 2 << "--size erwartet BREITExHÖHE, z. B. 6016x3384.";
        const qsizetype custom = ResolutionPreset::all().size(); // the custom entry has no number
        QTest::newRow("custom preset") << QStringList{"--preset", QString::number(custom), "$P", "$D/keep.png"} << 2 << "--preset erwartet eine Zahl von 1 bis " + QString::number(custom - 1) + ".";
        QTest::newRow("a time without --daily") << QStringList{"--at", "7:30", "$P", "$D/keep.png"} << 2 << "--at gilt nur zusammen mit --daily.";
        QTest::newRow("a shell not known") << QStringList{"--completion", "tcsh"} << 2 << "--completion erwartet bash, zsh oder fish.";
        QTest::newRow("bad value") << QStringList{"--set", "blur=viel", "$P", "$D/keep.png"} << 2 << "Ungültiger Wert für „blur“: „viel“";
        QTest::newRow("too wide") << QStringList{"--size", "16385x100", "$P", "$D/keep.heic"} << 2 << "Die Ausgabegröße 16385 × 100 ist zu groß: jede Seite höchstens 16383 Pixel, zusammen höchstens 100 Megapixel.";
        QTest::newRow("desktop and a file") << QStringList{"--set-desktop", "$P", "$D/keep.png"} << 2 << "Mit --set-desktop wird nur das Foto angegeben.";
        QTest::newRow("a day cycle of 7") << QStringList{"--day-cycle", "7", "$P", "$D/keep.heic"} << 2 << "--day-cycle erwartet 5, 8 oder 16 Bilder.";
        QTest::newRow("a day cycle as a PNG") << QStringList{"--day-cycle", "8", "$P", "$D/keep.png"} << 2 << "--day-cycle schreibt ein HEIC oder setzt den Schreibtisch (--set-desktop).";
        QTest::newRow("photo missing") << QStringList{"$D/nirgends.jpg", "$D/keep.png"} << 1 << "voskan-render: $D/nirgends.jpg: Die Datei wurde nicht gefunden.";
        QTest::newRow("dark photo is text") << QStringList{"--dark-photo", "$D/keep.png", "$P", "$D/keep.heic"} << 1 << "voskan-render: $D/keep.png: Die Datei ist kein unterstütztes Bild.";
        QTest::newRow("output in a file") << QStringList{"--size", "64x64", "$P", "$D/keep.png/out.heic"} << 1 << "voskan-render: $D/keep.png/out.heic: Ein Teil des Pfads ist eine Datei und kein Ordner.";
        QTest::newRow("a folder") << QStringList{"--size", "64x64", "$P", "$D/folder.heic"} << 1 << "voskan-render: $D/folder.heic: Am Ziel liegt ein Ordner.";
        QTest::newRow("a dangling link") << QStringList{"--size", "64x64", "$P", "$D/dangling.png"} << 1 << "voskan-render: $D/dangling.png: Das Ziel ist eine Verknüpfung auf eine Datei, die es nicht gibt.";
        if (m_mounted) {
            QTest::newRow("disk full, PNG") << QStringList{"--size", "320x200", "$P", "$D/full/keep.png"} << 1 << "voskan-render: $D/full/keep.png: Auf dem Datenträger ist nicht genug Platz frei.";
            QTest::newRow("disk full, HEIC") << QStringList{"--size", "320x200", "$P", "$D/full/neu.heic"} << 1 << "voskan-render: $D/full/neu.heic: Auf dem Datenträger ist nicht genug Platz frei.";
            QTest::newRow("read-only disk") << QStringList{"--size", "64x64", "$P", "$D/ro/keep.heic"} << 1 << "voskan-render: $D/ro/keep.heic: Der Datenträger ist schreibgeschützt.";
        }
        QTest::newRow("a file another may not change") << QStringList{"$U", "--size", "64x64", "$P", "$S/geschützt.png"} << 1 << "voskan-render: $S/geschützt.png: Die vorhandene Datei ist schreibgeschützt; sie bleibt, wie sie ist.";
        QTest::newRow("unsplash without a key") << QStringList{"--unsplash", "Berge", "$D/keep.png"} << 1 << "voskan-render: Kein Unsplash Access-Key hinterlegt. Öffne die Einstellungen (Strg+,).";
        QTest::newRow("an option with an escape sequence") << QStringList{"--\x1b[31m", "$P", "$D/keep.png"} << 2 << "Unbekannte Option „--\\x1b[31m“.";
        // „Täglich neu“: nothing is written, no unit and no entry.
        QTest::newRow("daily, blank") << QStringList{"--daily", " ", "--at-login"} << 2 << "voskan-render: --daily erwartet einen Suchtext.";
        QTest::newRow("daily, control characters") << QStringList{"--daily", "\x01\x1b[31m", "--at-login"} << 2 << "voskan-render: Der Suchbegriff enthält ein Steuerzeichen (U+0001); gib ihn bitte ohne Steuerzeichen ein.";
        QTest::newRow("daily, an escape in an option") << QStringList{"--daily", "Berge", "--at-login", "--key", "K3y\x1b[31m"} << 1 << "voskan-render: Eine Option für „Täglich neu“ enthält ein Steuerzeichen (U+001B)";
        // clang-format on
    }

    // The usage goes with every wrong call; a good output file already there stays as it was.
    void refuses()
    {
        FETCH((QStringList, args), (int, status), (QString, message));
        QVERIFY(keep(m_keep[0]) && keep(m_keep[1]));
        QProcess *p = run(args);
        QCOMPARE(p->exitCode(), status);
        const QString err = QString::fromUtf8(p->readAllStandardError());
        QVERIFY2(err.contains(message.replace("$D", m_dir.path()).replace("$S", m_shared.path())),
                 qPrintable(err));
        QCOMPARE(err.contains("Aufruf: voskan-render"), status == 2);
        static const QRegularExpression control("[\\x00-\\x08\\x0b-\\x1f\\x7f-\\x9f]");
        QVERIFY2(!err.contains(control), err.toUtf8().toPercentEncoding(" :;.,()/").constData());
        for (const char *daily :
             {"config/systemd/user/voskan-daily.service", "config/systemd/user/voskan-daily.timer",
              "config/autostart/de.voskan.Voskan-daily.desktop"})
            QVERIFY2(!QFile::exists(m_dir.filePath(daily)), qPrintable(daily));
        for (const QString &path : m_keep) {
            QCOMPARE(contents(path), QFileInfo(path).fileName().toUtf8());
            QCOMPARE(
                QDir(QFileInfo(path).path()).entryList({".voskan-*"}, QDir::Hidden | QDir::Files),
                {});
        }
        QVERIFY(!QFileInfo::exists(m_dir.filePath("full/neu.heic")));
    }

    void writes_data()
    {
        // depth: of the PNG; 0: a HEIC; exact: the default look rendered here, when it is that
        addColumns<QStringList, QSize, int, QImage>({"args", "size", "depth", "exact"});
        Look look;
        look.source =
            ImageDecoder::decodeFile(TestData::photo("photo-fallenleaf-2560x1600.jpg")).bitmap();
        const auto render = [&](QSizeF size, bool deep) {
            return RenderPipeline::renderLook(look, size, deep).value().toImage();
        };
        // clang-format off
        QTest::newRow("blur preview") << QStringList{"--style", "blur", "--preview", "$P", "$D/o.png"} << QSize(1800, 1013) << 32 << render(RenderPipeline::previewSize({6016, 3384}), false);
        QTest::newRow("blur, own size, 16 bit") << QStringList{"--size", "640x400", "$P", "$D/o.png"} << QSize(640, 400) << 64 << render({640, 400}, true);
        QTest::newRow("mirror, preset 8, preview") << QStringList{"--style", "mirror", "--preset", "8", "--preview", "$P", "$D/o.png"} << QSize(1800, 1013) << 32 << QImage();
        // A key from the command line is trimmed as the window trims a typed one.
        QTest::newRow("from Unsplash") << QStringList{"--unsplash", "Berge", "--key", " K3y\t", "--size", "64x36", "$D/o.png"} << QSize(64, 36) << 64 << QImage();
        // The dark look takes its own style and fields; the light one keeps the photo.
        QTest::newRow("HEIC, dark flow in black") << QStringList{"--size", "480x270", "--dark-style", "flow", "--dark-set", "flowColor0=#000000", "--dark-set", "flowColor1=#000000", "--dark-set", "flowColor2=#000000", "$P", "$D/o.heic"} << QSize(480, 270) << 0 << QImage();
        QTest::newRow("a day cycle of 5, its night in black") << QStringList{"--day-cycle", "5", "--size", "480x270", "--dark-style", "flow", "--dark-set", "flowColor0=#000000", "--dark-set", "flowColor1=#000000", "--dark-set", "flowColor2=#000000", "$P", "$D/o.heic"} << QSize(480, 270) << 0 << QImage();
        // clang-format on
    }

    void writes()
    {
        FETCH((QStringList, args), (QSize, size), (int, depth), (QImage, exact));
        FakeUnsplashServer server(2);
        QVERIFY(server.start());
        QProcess *p = run(args << "--timings");
        // Progress is for a person at a terminal: a pipe gets nothing but the result.
        const QByteArray said = p->readAllStandardError();
        QVERIFY2(p->exitCode() == 0 && said.isEmpty(), said.constData());
        QVERIFY(p->readAllStandardOutput().contains("Rendern: "));
        QCOMPARE(server.requests().value(0).header("Authorization"),
                 args.contains("--key") ? "Client-ID K3y" : QByteArray());
        const HeicFile heic = readHeic(m_dir.filePath("o.heic"));
        const QList<QImage> pictures =
            depth ? QList<QImage>{QImage(m_dir.filePath("o.png"))}
                  : QList<QImage>{heic.pictures.value(0).pixels, heic.pictures.value(1).pixels};
        if (!depth) // the day and the night first, then a day cycle's dawn
            QCOMPARE(heic.pictures.size(), args.contains("--day-cycle") ? 5 : 2);
        if (!exact.isNull()) // every sample as rendered, also the low byte of 16 bits
            QCOMPARE(pictures[0].convertToFormat(exact.format()), exact);
        for (const QImage &picture : pictures) {
            QCOMPARE(picture.size(), size);
            QCOMPARE(picture.depth(), depth ? depth : 24);
            // The photo, not a flat fill; the dark picture in black.
            const QRgb a = picture.pixel(0, 0),
                       b = picture.pixel(size.width() / 2, size.height() - 1);
            QVERIFY(&picture == &pictures.first() ? a != b : qGray(a) + qGray(b) < 4);
        }
    }

    // On a terminal a HEIC shows its steps on one line, rewritten in place and cleared at the
    // end, so what follows starts on a clean line.
    void progressOnATerminal()
    {
        const QString command =
            QStringList{VOSKAN_RENDER_BINARY, "--size", "480x270",
                        TestData::photo("photo-fallenleaf-2560x1600.jpg"), m_dir.filePath("t.heic")}
                .join(' ');
        QProcess *p = run({"-qec", command, "/dev/null"}, "script");
        const QString shown = QString::fromUtf8(p->readAllStandardOutput());
        QVERIFY2(p->exitCode() == 0, qPrintable(shown));
        QStringList lines = shown.split('\r', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5);
        const QString clear = "\x1b[K";
        for (const QString &line : lines)
            QVERIFY2(line.startsWith(clear), qPrintable(line));
        QCOMPARE(lines.takeLast().trimmed(), clear);
        const WriteStep steps[] = {WriteStep::RenderLight, WriteStep::RenderDark,
                                   WriteStep::EncodeLight, WriteStep::EncodeDark};
        for (int i = 0; i < 4; ++i)
            QVERIFY2(lines[i].endsWith(" % " + label(steps[i])), qPrintable(lines[i]));
        QVERIFY(lines[0].startsWith(clear + "  0 %"));
        QCOMPARE(readHeic(m_dir.filePath("t.heic")).pictures.size(), 2);
    }

    // As in the window: the dark look is the light one in the dark tone, unless told otherwise,
    // and so darker, the flow style's colours too.
    void seedsTheDarkLook()
    {
        QList<QImage> darks;
        const auto grey = [](const QImage &image) {
            double sum = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    sum += qGray(image.pixel(x, y));
            return sum / 255 / (double(image.width()) * image.height());
        };
        for (const QStringList &dark :
             {QStringList{}, {"--dark-style", "flow", "--dark-set", "flowBands=2"}}) {
            QProcess *p =
                run(QStringList{"--size", "160x90", "--style", "flow", "--set", "flowBands=2"} +
                    dark + QStringList{"$P", "$D/seed.heic"});
            QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());
            const auto pictures = readHeic(m_dir.filePath("seed.heic")).pictures;
            darks << pictures.value(1).pixels;
            const double light = grey(pictures.value(0).pixels), darker = grey(darks.last());
            QVERIFY2(darker < 0.8 * light,
                     qPrintable(QString::asprintf("%.3f → %.3f", light, darker)));
        }
        QCOMPARE(darks[0], darks[1]);
    }

    // The same path as the window's button: the desktop then shows our pictures. A wallpaper
    // that follows the day is set as what it is (GNOME plays its slideshow), by the clock the
    // desktop shows; a zone that clock cannot name (garbage in TZ, /etc/localtime gone or
    // dangling, a stale /etc/timezone) is said, and the set goes on. The machine's /etc stays as
    // it is: the zone files are changed in a mount namespace of the set.
    void setsTheDesktop_data()
    {
        // tz: null: unset; localtime: the link's target, "" for none, "-" as it is; timezone:
        // /etc/timezone, "-" as it is; shown: GNOME's picture in the data folder, a pattern, %1
        // light or dark; said: the start of the zone's message, "" for none
        addColumns<QStringList, QByteArray, QString, QString, QByteArray, QString, QString>(
            {"args", "tz", "localtime", "timezone", "out", "shown", "said"});
        const QString system = "Die Zeitzone des Systems (/etc/localtime) kennt Voskan nicht";
        const QString berlin = "/usr/share/zoneinfo/Europe/Berlin",
                      gone = "/usr/share/zoneinfo/Nowhere/Gone";
        const QStringList zone{"$D/Zone.heic"};
        const QByteArray hours = "Dynamisches Wallpaper: 2 Bilder, Tageszeit\n";
        const QString day = "/day-[ab]/[0-9-]+\\.xml'";
        // clang-format off
        QTest::newRow("the pair") << QStringList{"--size", "320x180", "$P"} << QByteArray() << "-" << "-" << QByteArray() << "/wallpaper-a-%1\\.jpg'" << "";
        // A day cycle plays as a day: GNOME's slideshow of today.
        QTest::newRow("a day cycle") << QStringList{"--day-cycle", "5", "--size", "320x180", "$P"} << QByteArray() << "-" << "-" << QByteArray("Dynamisches Wallpaper: 5 Bilder, Sonnenstand\n") << "/day-a/" + QDate::currentDate().toString(Qt::ISODate) + "\\.xml'" << "";
        QTest::newRow("TZ empty: UTC") << zone << QByteArray("") << "-" << "-" << hours << day << "";
        QTest::newRow("TZ garbage") << zone << QByteArray("garbage") << "-" << "-" << hours << day << "Die Zeitzone „garbage“ (TZ) kennt Voskan nicht";
        QTest::newRow("/etc/localtime Berlin, /etc/timezone stale") << zone << QByteArray() << berlin << "Asia/Tokyo\n" << hours << day << "";
        QTest::newRow("/etc/localtime dangling") << zone << QByteArray() << gone << "-" << hours << day << system;
        QTest::newRow("/etc/localtime dangling, /etc/timezone Berlin") << zone << QByteArray() << gone << "Europe/Berlin\n" << hours << day << system;
        QTest::newRow("/etc/localtime gone, /etc/timezone UTC: UTC") << zone << QByteArray() << "" << "Etc/UTC\n" << hours << day << "";
        QTest::newRow("/etc/localtime gone, /etc/timezone Berlin") << zone << QByteArray() << "" << "Europe/Berlin\n" << hours << day << system;
        // clang-format on
    }
    void setsTheDesktop()
    {
        FETCH((QStringList, args), (QByteArray, tz, out),
              (QString, localtime, timezone, shown, said));
        const auto zoneSet = withEnv("TZ", tz);
        args.prepend("--set-desktop");
        QString program = VOSKAN_RENDER_BINARY;
        if (localtime != "-" || timezone != "-") {
            if (::geteuid() != 0 ||
                QProcess::execute("unshare", {"--mount", "--propagation", "private", "true"}) != 0)
                QSKIP("a mount namespace of its own needs root");
            // /etc again, as links into the real one bound aside, but for the zone's two files.
            const char *script = R"(set -e
etc=$(mktemp -d); mkdir "$etc/real" "$etc/new"; mount --bind /etc "$etc/real"
for f in "$etc"/real/* "$etc"/real/.[!.]*; do [ -e "$f" ] || [ -L "$f" ] && ln -s "$f" "$etc/new/"; done
if [ "$1" != - ]; then rm -f "$etc/new/localtime"; [ -z "$1" ] || ln -s "$1" "$etc/new/localtime"; fi
if [ "$2" != - ]; then rm -f "$etc/new/timezone"; printf %s "$2" >"$etc/new/timezone"; fi
mount --bind "$etc/new" /etc; shift 2; exec "$@")";
            args = QStringList{"--mount", "--propagation", "private", "sh",   "-c", script,
                               "sh",      localtime,       timezone,  program} +
                   args;
            program = "unshare";
        }
        QProcess *p = run(args, program);
        const QString err = QString::fromUtf8(p->readAllStandardError());
        QVERIFY2(p->exitCode() == 0, qPrintable(err));
        QCOMPARE(p->readAllStandardOutput(), out + "Als dynamisches Wallpaper gesetzt.\n");
        QVERIFY2(said.isEmpty() ? !err.contains("Zeitzone") : err.startsWith(said),
                 qPrintable(err));
        for (const QString look : {"light", "dark"}) {
            const QString uri =
                gnomeBackground(look == "light" ? "picture-uri" : "picture-uri-dark");
            const QRegularExpression expected(
                "^'file://" + QRegularExpression::escape(m_dir.path() + "/data/Voskan") +
                QString(shown).replace("%1", look) + '$');
            QVERIFY2(expected.match(uri).hasMatch(), qPrintable(uri));
        }
    }

    // „Täglich neu“ from the command line, at login: a new hit each time, never the one before,
    // each download reported, the credit kept, and a failed run leaves the wallpaper as it is.
    void dailyWallpaper()
    {
        QProcess *p = run({"--daily", "Berge", "--at-login", "--style", "flow", "--size", "64x36",
                           "--key", "K3y"});
        QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());
        const QString entry = m_dir.filePath("config/autostart/de.voskan.Voskan-daily.desktop");
        QCOMPARE(programOutput("desktop-file-validate", {entry}), "");

        FakeUnsplashServer server(3);
        QVERIFY(server.start());
        const auto uri = [] { return gnomeBackground("picture-uri"); };
        QStringList shown;
        for (int day = 0; day < 2; ++day) {
            p = run({"--daily-run"});
            QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());
            QCOMPARE(server.downloadReports(), day + 1);
            shown << QString::fromUtf8(contents(m_dir.filePath("data/Voskan/daily-credit.txt")));
            QVERIFY2(shown.constLast().contains("Unsplash"), qPrintable(shown.constLast()));
            QVERIFY(uri().contains(day ? "wallpaper-b-light.jpg" : "wallpaper-a-light.jpg"));
        }
        QVERIFY2(shown[0] != shown[1], qPrintable(shown[0])); // another photo the next day
        // At the next login the same day: nothing to do.
        const int searches = server.searchCount();
        QCOMPARE(run({"--daily-run", "--once-a-day"})->exitCode(), 0);
        QCOMPARE(server.searchCount(), searches);

        server.setResponse("/search/photos", TestHttpServer::Response::json("{}", 503));
        const QString before = uri();
        p = run({"--daily-run"});
        QCOMPARE(p->exitCode(), 1);
        QVERIFY(!p->readAllStandardError().isEmpty());
        QCOMPARE(uri(), before);
        QCOMPARE(contents(m_dir.filePath("data/Voskan/daily-credit.txt")), shown[1].toUtf8());

        QCOMPARE(run({"--daily-off"})->exitCode(), 0);
        p = run({"--daily-run"});
        QCOMPARE(p->readAllStandardError().trimmed(),
                 "voskan-render: „Täglich neu“ ist nicht eingerichtet.");
    }

    // Ended by a signal in the middle of a large write, it leaves no part file behind. The write
    // began by taking away the part files of ours a day old, left by a process killed outright;
    // a younger one (a write under way) and other files stay.
    void signalsLeaveNoPartFile_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGINT (Ctrl+C)") << int(SIGINT);
        QTest::newRow("SIGTERM") << int(SIGTERM);
    }

    void signalsLeaveNoPartFile()
    {
        QFETCH(int, signal);
        QTemporaryDir out;
        const QStringList made{".voskan-0123456789ab.part", ".voskan-ba9876543210.part",
                               ".voskan-notours.part", "old.png"};
        for (const QString &name : made) {
            QFile file(writeFile(out.filePath(name), "x"));
            const int hoursOld = name == made[1] ? 2 : 30;
            QVERIFY(file.open(QIODevice::ReadWrite) &&
                    file.setFileTime(QDateTime::currentDateTime().addSecs(-3600 * hoursOld),
                                     QFileDevice::FileModificationTime));
        }
        const auto files = [&] {
            return QDir(out.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        };
        const auto begun = [&] { // its own part file is there
            const QStringList now = files();
            return std::any_of(now.begin(), now.end(),
                               [&](auto &name) { return !made.contains(name); });
        };
        QProcess *p = run({"--size", "16000x6000", "$P", out.filePath("big.png")},
                          VOSKAN_RENDER_BINARY, false);
        QTRY_VERIFY_WITH_TIMEOUT(begun() || p->state() == QProcess::NotRunning, 120000);
        QVERIFY2(p->state() == QProcess::Running, "the write ended before it could be stopped");
        ::kill(pid_t(p->processId()), signal);
        QVERIFY(p->waitForFinished(30000));
        QCOMPARE(p->exitStatus(), QProcess::CrashExit); // ended by the signal, as it would be
        QCOMPARE(files(), made.mid(1));
    }
};

QTEST_GUILESS_MAIN(TestVoskanRender)
#include "tst_voskanrender.moc"
