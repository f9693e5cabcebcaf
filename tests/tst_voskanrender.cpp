#include "support/heicreader.h"
#include "support/testdata.h"

#include <QtTest>

class TestVoskanRender : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_process;

    // Runs a program in a scratch GNOME session: settings, data and key store are the test's.
    // $P is a real photo, $D the scratch folder.
    QProcess *run(QStringList args, const QString &program = VOSKAN_RENDER_BINARY)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CURRENT_DESKTOP", "GNOME");
        env.insert("GSETTINGS_BACKEND", "keyfile");
        env.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
        env.insert("XDG_DATA_HOME", m_dir.filePath("data"));
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        args.replaceInStrings("$P", TestData::photo("photo-fallenleaf-2560x1600.jpg"));
        m_process.setProcessEnvironment(env);
        m_process.start(program, args.replaceInStrings("$D", m_dir.path()));
        m_process.waitForFinished(300000);
        return &m_process;
    }

private Q_SLOTS:
    void refuses_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message"); // on stderr
        // clang-format off
        QTest::newRow("nothing") << QStringList{} << 2 << "Erwartet werden genau ein Foto und eine Ausgabedatei.";
        QTest::newRow("unknown option") << QStringList{"--blur", "3", "$P", "$D/keep.png"} << 2 << "Unbekannte Option „--blur“.";
        QTest::newRow("bad style") << QStringList{"--dark-style", "sharp", "$P", "$D/keep.heic"} << 2 << "--dark-style erwartet blur, flow oder mirror.";
        QTest::newRow("bad size") << QStringList{"--size", "0x100", "$P", "$D/keep.png"} << 2 << "--size erwartet BREITExHÖHE, z. B. 6016x3384.";
        QTest::newRow("custom preset") << QStringList{"--preset", "9", "$P", "$D/keep.png"} << 2 << "--preset erwartet eine Zahl von 1 bis 8.";
        QTest::newRow("unknown field") << QStringList{"--set", "schärfe=1", "$P", "$D/keep.png"} << 2 << "Unbekanntes Feld „schärfe“. Bekannt sind: style, blur,";
        QTest::newRow("bad value") << QStringList{"--set", "blur=viel", "$P", "$D/keep.png"} << 2 << "Ungültiger Wert für „blur“: „viel“";
        QTest::newRow("desktop and a file") << QStringList{"--set-desktop", "$P", "$D/keep.png"} << 2 << "Mit --set-desktop wird nur das Foto angegeben.";
        QTest::newRow("photo missing") << QStringList{"$D/nirgends.jpg", "$D/keep.png"} << 1 << "voskan-render: $D/nirgends.jpg: Die Datei wurde nicht gefunden.";
        QTest::newRow("photo is text") << QStringList{"$D/keep.heic", "$D/keep.png"} << 1 << "voskan-render: $D/keep.heic: Die Datei ist kein unterstütztes Bild.";
        QTest::newRow("dark photo is text") << QStringList{"--dark-photo", "$D/keep.png", "$P", "$D/keep.heic"} << 1 << "voskan-render: $D/keep.png: Die Datei ist kein unterstütztes Bild.";
        QTest::newRow("output folder missing") << QStringList{"--size", "64x64", "$P", "$D/nirgends/out.png"} << 1 << "voskan-render: $D/nirgends/out.png kann nicht geschrieben werden: ";
        QTest::newRow("unsplash without a key") << QStringList{"--unsplash", "Berge", "$D/keep.png"} << 1 << "voskan-render: Kein Unsplash Access-Key hinterlegt. Öffne die Einstellungen (Strg+,).";
        // clang-format on
    }

    // The usage goes with every wrong call; a good output file already there stays as it was.
    void refuses()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, message);
        for (const QString name : {"keep.png", "keep.heic"}) {
            QFile file(m_dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(name.toUtf8()) > 0);
        }
        QProcess *p = run(args);
        QCOMPARE(p->exitCode(), status);
        const QString err = QString::fromUtf8(p->readAllStandardError());
        QVERIFY2(err.contains(message.replace("$D", m_dir.path())), qPrintable(err));
        QCOMPARE(err.contains("Aufruf: voskan-render"), status == 2);
        for (const QString name : {"keep.png", "keep.heic"}) {
            QFile file(m_dir.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == name.toUtf8());
        }
    }

    void writes_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("depth"); // of the PNG; 0: a HEIC
        // clang-format off
        QTest::newRow("blur preview") << QStringList{"--style", "blur", "--preview", "$P", "$D/o.png"} << QSize(1800, 1013) << 32;
        QTest::newRow("flow, own size, 16 bit") << QStringList{"--style", "flow", "--size", "640x400", "--set", "flowBands=2", "$P", "$D/o.png"} << QSize(640, 400) << 64;
        QTest::newRow("mirror, preset 8, preview") << QStringList{"--style", "mirror", "--preset", "8", "--preview", "$P", "$D/o.png"} << QSize(1800, 1013) << 32;
        // The dark look takes its own style and fields; the light one keeps the photo.
        QTest::newRow("HEIC, dark flow in black") << QStringList{"--size", "480x270", "--dark-style", "flow", "--dark-set", "flowColor0=#000000", "--dark-set", "flowColor1=#000000", "--dark-set", "flowColor2=#000000", "$P", "$D/o.heic"} << QSize(480, 270) << 0;
        // clang-format on
    }

    void writes()
    {
        QFETCH(QStringList, args);
        QFETCH(QSize, size);
        QFETCH(int, depth);
        QProcess *p = run(args << "--timings");
        QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());
        QVERIFY(p->readAllStandardOutput().contains("Rendern: "));
        const HeicFile heic = readHeic(m_dir.filePath("o.heic"));
        const QList<QImage> pictures =
            depth ? QList<QImage>{QImage(m_dir.filePath("o.png"))}
                  : QList<QImage>{heic.pictures.value(0).pixels, heic.pictures.value(1).pixels};
        for (const QImage &picture : pictures) {
            QCOMPARE(picture.size(), size);
            QCOMPARE(picture.depth(), depth ? depth : 24);
            const QRgb a = picture.pixel(0, 0),
                       b = picture.pixel(size.width() / 2, size.height() - 1);
            if (&picture == &pictures.first())
                QVERIFY(a != b); // the photo, not a flat fill
            else
                QVERIFY(qGray(a) + qGray(b) < 4); // the dark picture in black
        }
    }

    // The same path as the window's button: the desktop then shows our pictures, A, then B.
    void setsTheDesktop()
    {
        for (const char *name : {"wallpaper-a", "wallpaper-b"}) {
            QProcess *p = run({"--set-desktop", "--size", "320x180", "$P"});
            QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());
            QCOMPARE(p->readAllStandardOutput(), "Als dynamisches Wallpaper gesetzt.\n");
            p = run({"get", "org.gnome.desktop.background", "picture-uri-dark"}, "gsettings");
            QCOMPARE(p->readAllStandardOutput().trimmed(),
                     "'file://" + QFile::encodeName(m_dir.path()) + "/data/Voskan/" + name +
                         "-dark.jpg'");
        }
    }
};

QTEST_GUILESS_MAIN(TestVoskanRender)
#include "tst_voskanrender.moc"
