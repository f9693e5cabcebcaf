#include "support/heicreader.h"
#include "support/testdata.h"
#include "support/testhttpserver.h"

#include <QBuffer>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run run(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(VOSKAN_RENDER_BINARY), args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

class TestVoskanRender : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rendersEveryStyle_data();
    void rendersEveryStyle();
    void writesDynamicWallpaper();
    void rendersAnUnsplashHit();
    void setsTheDesktop();
    void wrongUsage_data();
    void wrongUsage();
    void badInputKeepsExistingOutput_data();
    void badInputKeepsExistingOutput();

private:
    QTemporaryDir m_dir;
};

void TestVoskanRender::rendersEveryStyle_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("depth");
    QTest::newRow("blur preview") << QStringList{"--style", "blur", "--preview"}
                                  << QSize(1800, 1013) << 32;
    QTest::newRow("flow, custom size, 16 bit")
        << QStringList{"--style", "flow", "--size", "640x400", "--set", "flowBands=2"}
        << QSize(640, 400) << 64;
    QTest::newRow("mirror, preset 8 preview")
        << QStringList{"--style", "mirror", "--preset", "8", "--preview"} << QSize(1800, 1013)
        << 32;
    QTest::newRow("mirror, small, 16 bit")
        << QStringList{"--style", "mirror", "--size", "320x180", "--set", "mirrorDepth=0.8"}
        << QSize(320, 180) << 64;
}

void TestVoskanRender::rendersEveryStyle()
{
    QFETCH(QStringList, options);
    QFETCH(QSize, size);
    QFETCH(int, depth);
    const QString out = m_dir.filePath(QStringLiteral("out.png"));
    QFile::remove(out);
    const Run r =
        run(options << QStringLiteral("--timings")
                    << TestData::photo(QStringLiteral("photo-fallenleaf-2560x1600.jpg")) << out);
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY(r.out.contains(QStringLiteral("Rendern: ")));
    const QImage image(out);
    QCOMPARE(image.size(), size);
    QCOMPARE(image.depth(), depth);
    // A real picture, not a flat fill.
    QVERIFY(image.pixelColor(0, 0) != image.pixelColor(size.width() / 2, size.height() - 1));
}

// A light and a dark look into one HEIC: the dark one starts from the dark tone and takes
// its own style, settings and photo.
void TestVoskanRender::writesDynamicWallpaper()
{
    const QString out = m_dir.filePath(QStringLiteral("dynamic.heic"));
    const QString path = TestData::photo(QStringLiteral("photo-bythewater-2560x1600.jpg"));
    Run r = run({QStringLiteral("--size"), QStringLiteral("480x270"), path, out});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    HeicFile file = readHeic(out);
    QCOMPARE(file.pictures.size(), 2);
    QVERIFY(file.pictures[0].primary);
    QCOMPARE(file.pictures[1].pixels.size(), QSize(480, 270));
    const auto mean = [](const QImage &image) {
        double sum = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                sum += qGray(image.pixel(x, y));
        return sum / (double(image.width()) * image.height());
    };
    QVERIFY(mean(file.pictures[1].pixels) < mean(file.pictures[0].pixels) - 10); // the dark tone

    const QImage firstDark = file.pictures[1].pixels;

    r = run({QStringLiteral("--size"), QStringLiteral("480x270"), QStringLiteral("--dark-photo"),
             TestData::photo(QStringLiteral("photo-colorfulcups-2560x1600.jpg")), path, out});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    file = readHeic(out);
    QCOMPARE(file.pictures.size(), 2);
    QVERIFY(file.pictures[1].pixels.pixelColor(240, 135) != firstDark.pixelColor(240, 135));

    // Colours given on the command line win over the photo's palette.
    QStringList black;
    for (int i = 0; i < 3; ++i)
        black << QStringLiteral("--dark-set") << QStringLiteral("flowColor%1=#000000").arg(i);
    r = run(QStringList{QStringLiteral("--size"), QStringLiteral("480x270"),
                        QStringLiteral("--dark-style"), QStringLiteral("flow")}
            << black << path << out);
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    file = readHeic(out);
    QCOMPARE(file.pictures.size(), 2);
    QVERIFY(mean(file.pictures[1].pixels) < 2);
    QVERIFY(mean(file.pictures[0].pixels) > 20);
}

// A search hit, downloaded as the window does it: picture from the image host without the
// key, the download report to the API host with it, the credit line on stdout.
void TestVoskanRender::rendersAnUnsplashHit()
{
    TestHttpServer server;
    QVERIFY(server.start());
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImage(TestData::photo(QStringLiteral("photo-colorfulcups-2560x1600.jpg")))
        .scaled(320, 200)
        .save(&buffer, "PNG");
    const QByteArray base = server.url().toString().toUtf8();
    const QByteArray hit =
        R"({"id":"ID","width":320,"height":200,"urls":{"raw":"r","full":"f","regular":")" + base +
        R"(/img.png","small":"s","thumb":"t"},"user":{"name":"Jördis Ås"},"links":{"download_location":")" +
        base + R"(/photos/ID/download"}})";
    server.setResponse(
        "/search/photos",
        TestHttpServer::Response::json(
            R"({"total":2,"total_pages":1,"results":[{"id":"first","width":1,"height":1,)"
            R"("urls":{"raw":"r","full":"f","regular":"g","small":"s","thumb":"t"},)"
            R"("user":{"name":"X"}},)" +
            hit + "]}"));
    TestHttpServer::Response image;
    image.headers = {{"Content-Type", "image/png"}};
    image.body = png;
    server.setResponse("/img.png", image);
    server.setResponse("/photos/ID/download", TestHttpServer::Response::json("{}"));

    QTemporaryDir config;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VOSKAN_UNSPLASH_API_URL"), server.url().toString());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    p.setProcessEnvironment(env);
    const QString out = m_dir.filePath(QStringLiteral("unsplash.png"));
    QSignalSpy finished(&p, &QProcess::finished);
    p.start(QStringLiteral(VOSKAN_RENDER_BINARY),
            {QStringLiteral("--unsplash"), QStringLiteral(" Tassen "), QStringLiteral("--pick"),
             QStringLiteral("2"), QStringLiteral("--key"), QStringLiteral("k-1"),
             QStringLiteral("--size"), QStringLiteral("320x180"), out});
    QVERIFY(finished.wait(60000)); // the server needs this event loop
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).trimmed(),
             QStringLiteral("Foto: Jördis Ås · Unsplash"));
    QCOMPARE(QImage(out).size(), QSize(320, 180));

    const auto requests = server.requests();
    QStringList paths;
    for (const auto &r : requests)
        paths << QString::fromUtf8(r.path);
    QCOMPARE(paths, (QStringList{"/search/photos", "/img.png", "/photos/ID/download"}));
    QCOMPARE(requests[0].queryItems.first().second, QStringLiteral("Tassen"));
    QCOMPARE(requests[0].header("Authorization"), QByteArray("Client-ID k-1"));
    QVERIFY(!requests[1].hasHeader("Authorization"));
    QCOMPARE(requests[2].header("Authorization"), QByteArray("Client-ID k-1"));

    // Without any key: the German text, status 1, nothing asked.
    server.clearRequests();
    p.start(QStringLiteral(VOSKAN_RENDER_BINARY),
            {QStringLiteral("--unsplash"), QStringLiteral("x"), out});
    QVERIFY(finished.wait(60000));
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(QString::fromUtf8(p.readAllStandardError())
                .contains(QStringLiteral("Kein Unsplash Access-Key hinterlegt")));
    QVERIFY(server.requests().isEmpty());
}

// The same path as the window's button, on a GNOME session whose settings live in a scratch
// folder: the desktop then names our light and dark pictures, and a second run alternates.
void TestVoskanRender::setsTheDesktop()
{
    const QString gsettings = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
    if (gsettings.isEmpty())
        QSKIP("gsettings missing (scripts/deps.sh installs it)");
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("GNOME"));
    env.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("keyfile"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    const auto runWithEnv = [&](const QString &program, const QStringList &args) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(program, args);
        p.waitForFinished(120000);
        return std::pair{p.exitCode(),
                         QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError())};
    };
    const QString photo = TestData::photo(QStringLiteral("photo-fallenleaf-2560x1600.jpg"));
    for (const QString &expected :
         {QStringLiteral("wallpaper-a-light.jpg"), QStringLiteral("wallpaper-b-light.jpg")}) {
        const auto [code, output] =
            runWithEnv(QStringLiteral(VOSKAN_RENDER_BINARY),
                       {QStringLiteral("--set-desktop"), QStringLiteral("--size"),
                        QStringLiteral("320x180"), photo});
        QVERIFY2(code == 0, qPrintable(output));
        const auto [getCode, uri] = runWithEnv(
            gsettings, {QStringLiteral("get"), QStringLiteral("org.gnome.desktop.background"),
                        QStringLiteral("picture-uri")});
        QCOMPARE(getCode, 0);
        QVERIFY2(uri.contains(QStringLiteral("/Voskan/") + expected), qPrintable(uri));
    }
}

void TestVoskanRender::wrongUsage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    const QString photo = TestData::photo(QStringLiteral("photo-path-2560x1600.jpg"));
    QTest::newRow("nothing") << QStringList{} << "genau ein Foto";
    QTest::newRow("unknown option")
        << QStringList{"--blur", "3", photo, "x.png"} << "Unbekannte Option";
    QTest::newRow("bad style") << QStringList{"--style", "sharp", photo, "x.png"} << "--style";
    QTest::newRow("bad size") << QStringList{"--size", "0x100", photo, "x.png"} << "--size";
    QTest::newRow("custom preset") << QStringList{"--preset", "9", photo, "x.png"} << "--preset";
    QTest::newRow("unknown field")
        << QStringList{"--set", "sharpness=1", photo, "x.png"} << "Unbekanntes Feld";
    QTest::newRow("bad value") << QStringList{"--set", "blur=viel", photo, "x.png"}
                               << "Ungültiger Wert";
}

void TestVoskanRender::wrongUsage()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const Run r = run(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY(r.err.contains(QStringLiteral("Aufruf: voskan-render")));
}

void TestVoskanRender::badInputKeepsExistingOutput_data()
{
    QTest::addColumn<QByteArray>("photoBytes");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty file") << QByteArray() << "leer";
    QTest::newRow("text") << QByteArray("kein Bild\n") << "kein unterstütztes Bild";
}

void TestVoskanRender::badInputKeepsExistingOutput()
{
    QFETCH(QByteArray, photoBytes);
    QFETCH(QString, message);
    const QString photo = m_dir.filePath(QStringLiteral("bad.jpg"));
    QFile f(photo);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(photoBytes);
    f.close();
    const QString out = m_dir.filePath(QStringLiteral("keep.png"));
    QFile o(out);
    QVERIFY(o.open(QIODevice::WriteOnly));
    o.write("good");
    o.close();
    const Run r = run({photo, out});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY(QFile(out).open(QIODevice::ReadOnly));
    QFile check(out);
    QVERIFY(check.open(QIODevice::ReadOnly));
    QCOMPARE(check.readAll(), QByteArray("good"));
}

QTEST_GUILESS_MAIN(TestVoskanRender)
#include "tst_voskanrender.moc"
