#include "model/appmodel.h"
#include "output/desktopservice.h"
#include "support/reference.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <QtTest>

namespace {

// Stands in for Plasma's shell on the private bus: keeps the scripts it is sent and answers a
// read of the wallpaper with what the last script wrote.
class FakePlasmaShell : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.PlasmaShell")

public:
    QStringList scripts() const
    {
        QMutexLocker lock(&m_mutex);
        return m_scripts;
    }

public Q_SLOTS:
    QString evaluateScript(const QString &script)
    {
        QMutexLocker lock(&m_mutex);
        m_scripts.append(script);
        static const QRegularExpression written(
            QStringLiteral("writeConfig\\('Image', '([^']*)'\\)"));
        if (const auto match = written.match(script); match.hasMatch())
            m_image = match.captured(1);
        if (script.contains(QStringLiteral("readConfig('Image')")))
            return m_image;
        return {};
    }

private:
    mutable QMutex m_mutex;
    QStringList m_scripts;
    QString m_image;
};

struct Call
{
    QString program;
    QStringList arguments;
};

// Records what a backend runs; answers from a table keyed by the joined command line.
struct RecordingRunner
{
    QList<Call> calls;
    QHash<QString, QByteArray> answers;
    bool fail = false;

    CommandRunner runner()
    {
        return [this](const QString &program, const QStringList &arguments) {
            calls.append({program, arguments});
            CommandResult result;
            result.ok = !fail;
            result.error = fail ? QStringLiteral("kaputt") : QString();
            result.output =
                answers.value(program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')));
            return result;
        };
    }
};

QColor centre(const QImage &image)
{
    return image.convertToFormat(QImage::Format_RGB888)
        .pixelColor(image.width() / 2, image.height() / 2);
}

bool near(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) <= 4 && qAbs(a.green() - b.green()) <= 4 &&
           qAbs(a.blue() - b.blue()) <= 4;
}

QByteArray gsettings(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("gsettings"), arguments);
    if (!process.waitForFinished() || process.exitCode() != 0)
        return "failed: " + process.readAllStandardError();
    return process.readAllStandardOutput().trimmed();
}

QByteArray gnomeGet(const char *key)
{
    return gsettings({QStringLiteral("get"), QStringLiteral("org.gnome.desktop.background"),
                      QString::fromLatin1(key)});
}

void gnomeSet(const char *key, const QString &value)
{
    QCOMPARE(gsettings({QStringLiteral("set"), QStringLiteral("org.gnome.desktop.background"),
                        QString::fromLatin1(key), value}),
             QByteArray());
}

QString localPathOf(const QByteArray &gvariantUri)
{
    QByteArray text = gvariantUri;
    if (text.startsWith('\'') && text.endsWith('\''))
        text = text.mid(1, text.size() - 2);
    return QUrl(QString::fromUtf8(text)).toLocalFile();
}

// Everything in a folder, with a digest of each file's bytes.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            files.insert(path, QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1));
    }
    return files;
}

} // namespace

// The model renders and writes on a worker; this waits for the outcome.
void setAsDesktopAndWait(AppModel &model)
{
    QSignalSpy finished(&model, &AppModel::exportFinished);
    model.setAsDesktop();
    QVERIFY(model.isExporting());
    QVERIFY(finished.wait(60000));
    QVERIFY(!model.isExporting());
}

class TestDesktopService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void detectsDesktop_data();
    void detectsDesktop();
    void mapsPicturesToTheirHeic_data();
    void mapsPicturesToTheirHeic();
    void singlePictureBackendsRunTheirCommands_data();
    void singlePictureBackendsRunTheirCommands();
    void readsTheCurrentPicture_data();
    void readsTheCurrentPicture();
    void failingToolKeepsTheLastPicture();

    void gnomeGetsBothPictures();
    void targetFollowsTheDesktop_data();
    void targetFollowsTheDesktop();
    void alternatesBetweenTwoFiles();
    void removesStaleTemporaryFile();
    void failingRenderChangesNothing();

    void kdeGetsAPackageWithBothPictures();

private:
    static void useTwoPictures(AppModel &model);
    QString voskanFolder() const { return m_home.path() + QStringLiteral("/data/Voskan"); }

    QTemporaryDir m_home;
    QProcess m_bus;
    QString m_busAddress;
};

void TestDesktopService::initTestCase()
{
    // Nothing below may reach the real user's settings, files or session.
    QVERIFY(m_home.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path() + QStringLiteral("/config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.path() + QStringLiteral("/data")));
    qputenv("GSETTINGS_BACKEND", "keyfile");
    qputenv("XDG_CURRENT_DESKTOP", "GNOME");
    qunsetenv("KDE_FULL_SESSION");
    qunsetenv("SWAYSOCK");

    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--nofork"),
                 QStringLiteral("--print-address")});
    QVERIFY2(m_bus.waitForStarted(), qPrintable(m_bus.errorString()));
    while (!m_bus.canReadLine())
        QVERIFY(m_bus.waitForReadyRead());
    m_busAddress = QString::fromUtf8(m_bus.readLine()).trimmed();
    QVERIFY(!m_busAddress.isEmpty());
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_busAddress.toUtf8());
}

void TestDesktopService::cleanupTestCase()
{
    m_bus.kill();
    m_bus.waitForFinished();
}

void TestDesktopService::init()
{
    // Each case starts on a fresh desktop: a system picture, none of the program's files.
    QDir(voskanFolder()).removeRecursively();
    gsettings(
        {QStringLiteral("reset-recursively"), QStringLiteral("org.gnome.desktop.background")});
}

void TestDesktopService::useTwoPictures(AppModel &model)
{
    model.setPreset(ResolutionPreset::all().last());
    model.setCustomWidth(320);
    model.setCustomHeight(180);
    model.applySource(Reference::solid(16, 16, 230, 200, 120), {}, {}, {}, {}, Appearance::Light);
    model.setEditing(Appearance::Dark);
    model.applySource(Reference::solid(16, 16, 20, 30, 90), {}, {}, {}, {}, Appearance::Dark);
}

// --- choosing the backend and reading it back ---------------------------------------------

void TestDesktopService::detectsDesktop_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("kdeFullSession");
    QTest::addColumn<QString>("swaySock");
    QTest::addColumn<DesktopKind>("expected");

    QTest::newRow("gnome") << "GNOME"
                           << ""
                           << "" << DesktopKind::Gnome;
    QTest::newRow("ubuntu") << "ubuntu:GNOME"
                            << ""
                            << "" << DesktopKind::Gnome;
    QTest::newRow("budgie") << "Budgie:GNOME"
                            << ""
                            << "" << DesktopKind::Gnome;
    QTest::newRow("pantheon") << "Pantheon"
                              << ""
                              << "" << DesktopKind::Gnome;
    QTest::newRow("kde") << "KDE"
                         << ""
                         << "" << DesktopKind::Kde;
    QTest::newRow("first known entry wins") << "Hyprland:KDE:GNOME"
                                            << ""
                                            << "" << DesktopKind::Kde;
    QTest::newRow("cinnamon") << "X-Cinnamon"
                              << ""
                              << "" << DesktopKind::Cinnamon;
    QTest::newRow("mate") << "MATE"
                          << ""
                          << "" << DesktopKind::Mate;
    QTest::newRow("xfce") << "XFCE"
                          << ""
                          << "" << DesktopKind::Xfce;
    QTest::newRow("sway") << "sway"
                          << ""
                          << "" << DesktopKind::Sway;
    QTest::newRow("kde by session flag") << ""
                                         << "true"
                                         << "" << DesktopKind::Kde;
    QTest::newRow("sway by socket") << ""
                                    << ""
                                    << "/run/sway.sock" << DesktopKind::Sway;
    QTest::newRow("desktop list before flags") << "GNOME"
                                               << "true"
                                               << "/s" << DesktopKind::Gnome;
    QTest::newRow("unknown") << "Hyprland"
                             << ""
                             << "" << DesktopKind::Other;
    QTest::newRow("nothing") << ""
                             << ""
                             << "" << DesktopKind::Other;
}

void TestDesktopService::detectsDesktop()
{
    QFETCH(QString, current);
    QFETCH(QString, kdeFullSession);
    QFETCH(QString, swaySock);
    QFETCH(DesktopKind, expected);
    QProcessEnvironment environment;
    if (!current.isEmpty())
        environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), current);
    if (!kdeFullSession.isEmpty())
        environment.insert(QStringLiteral("KDE_FULL_SESSION"), kdeFullSession);
    if (!swaySock.isEmpty())
        environment.insert(QStringLiteral("SWAYSOCK"), swaySock);
    QCOMPARE(detectDesktop(environment), expected);
}

void TestDesktopService::mapsPicturesToTheirHeic_data()
{
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QString>("heic");

    QTest::newRow("light") << "/d/wallpaper-a-light.jpg"
                           << "/d/wallpaper-a.heic";
    QTest::newRow("dark") << "/d/wallpaper-b-dark.jpg"
                          << "/d/wallpaper-b.heic";
    QTest::newRow("kde package") << "/d/wallpaper-b-kde"
                                 << "/d/wallpaper-b.heic";
    QTest::newRow("the heic itself") << "/d/wallpaper-a.heic"
                                     << "/d/wallpaper-a.heic";
    QTest::newRow("someone else's") << "/usr/share/backgrounds/x.png"
                                    << "/usr/share/backgrounds/x.png";
    QTest::newRow("suffix only") << "/d/-light.jpg"
                                 << "/d/-light.jpg";
}

void TestDesktopService::mapsPicturesToTheirHeic()
{
    QFETCH(QString, picture);
    QFETCH(QString, heic);
    QCOMPARE(WallpaperFiles::heicForPicture(picture), heic);
    const WallpaperFiles files = WallpaperFiles::forHeic(heic);
    if (heic.endsWith(QStringLiteral("-a.heic")) || heic.endsWith(QStringLiteral("-b.heic"))) {
        QCOMPARE(WallpaperFiles::heicForPicture(files.light), heic);
        QCOMPARE(WallpaperFiles::heicForPicture(files.dark), heic);
        QCOMPARE(WallpaperFiles::heicForPicture(files.kdePackage()), heic);
    }
}

void TestDesktopService::singlePictureBackendsRunTheirCommands_data()
{
    QTest::addColumn<QString>("desktop");
    QTest::addColumn<bool>("dark");
    QTest::addColumn<QStringList>("expected"); // "program arg|arg|..." per call

    QTest::newRow("cinnamon light")
        << "cinnamon" << false
        << QStringList{"gsettings set|org.cinnamon.desktop.background|picture-uri|"
                       "'file:///h/it\\'s/wallpaper-a-light.jpg'"};
    QTest::newRow("cinnamon dark")
        << "cinnamon" << true
        << QStringList{"gsettings set|org.cinnamon.desktop.background|picture-uri|"
                       "'file:///h/it\\'s/wallpaper-a-dark.jpg'"};
    QTest::newRow("mate takes a path")
        << "mate" << false
        << QStringList{"gsettings set|org.mate.background|picture-filename|"
                       "'/h/it\\'s/wallpaper-a-light.jpg'"};
    QTest::newRow("xfce every monitor and workspace")
        << "xfce" << true
        << QStringList{
               "xfconf-query -c|xfce4-desktop|-l",
               "xfconf-query -c|xfce4-desktop|-p|/backdrop/screen0/monitoreDP-1/workspace0/"
               "last-image|-s|/h/it's/wallpaper-a-dark.jpg",
               "xfconf-query -c|xfce4-desktop|-p|/backdrop/screen0/monitorHDMI-1/workspace1/"
               "last-image|-s|/h/it's/wallpaper-a-dark.jpg"};
    QTest::newRow("sway every output")
        << "sway" << false
        << QStringList{"swaymsg output|*|bg|\"/h/it's/wallpaper-a-light.jpg\"|fill"};
}

void TestDesktopService::singlePictureBackendsRunTheirCommands()
{
    QFETCH(QString, desktop);
    QFETCH(bool, dark);
    QFETCH(QStringList, expected);

    RecordingRunner recorder;
    recorder.answers.insert(QStringLiteral("xfconf-query -c xfce4-desktop -l"),
                            "/backdrop/screen0/monitoreDP-1/workspace0/color-style\n"
                            "/backdrop/screen0/monitoreDP-1/workspace0/last-image\n"
                            "/backdrop/screen0/monitorHDMI-1/workspace1/last-image\n"
                            "/backdrop/screen0/monitorHDMI-1/workspace1/last-image-old\n");
    const DarkSchemeQuery scheme = [dark] { return dark; };
    std::unique_ptr<DesktopBackend> backend;
    if (desktop == QLatin1String("cinnamon"))
        backend = makeCinnamonBackend(recorder.runner(), scheme);
    else if (desktop == QLatin1String("mate"))
        backend = makeMateBackend(recorder.runner(), scheme);
    else if (desktop == QLatin1String("xfce"))
        backend = makeXfceBackend(recorder.runner(), scheme);
    else
        backend = makeSwayBackend(recorder.runner(), scheme);

    DesktopService service(std::move(backend));
    const WallpaperFiles files =
        WallpaperFiles::forHeic(QStringLiteral("/h/it's/wallpaper-a.heic"), QSize(320, 180));
    QCOMPARE(service.setDesktopImage(files), std::nullopt);
    QStringList issued;
    for (const Call &call : recorder.calls)
        issued.append(call.program + QLatin1Char(' ') + call.arguments.join(QLatin1Char('|')));
    QCOMPARE(issued, expected);
}

void TestDesktopService::readsTheCurrentPicture_data()
{
    QTest::addColumn<QString>("desktop");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("expected"); // empty: unknown

    QTest::newRow("gnome uri") << "gnome" << QByteArray("'file:///h/x%20y/wallpaper-a-dark.jpg'\n")
                               << "/h/x y/wallpaper-a.heic";
    QTest::newRow("gnome escaped quote")
        << "gnome" << QByteArray("\"file:///h/it's/wallpaper-b-light.jpg\"\n")
        << "/h/it's/wallpaper-b.heic";
    QTest::newRow("gnome not a file") << "gnome" << QByteArray("''\n") << "";
    QTest::newRow("cinnamon") << "cinnamon" << QByteArray("'file:///h/wallpaper-b-light.jpg'\n")
                              << "/h/wallpaper-b.heic";
    QTest::newRow("mate path with escape")
        << "mate" << QByteArray("'/h/it\\'s/wallpaper-a-light.jpg'\n")
        << "/h/it's/wallpaper-a.heic";
    QTest::newRow("xfce") << "xfce" << QByteArray("/h/wallpaper-a-dark.jpg\n")
                          << "/h/wallpaper-a.heic";
}

void TestDesktopService::readsTheCurrentPicture()
{
    QFETCH(QString, desktop);
    QFETCH(QByteArray, output);
    QFETCH(QString, expected);

    RecordingRunner recorder;
    const QString xfceProperty = QStringLiteral("/backdrop/screen0/monitor0/workspace0/last-image");
    recorder.answers.insert(
        QStringLiteral("gsettings get org.gnome.desktop.background picture-uri"), output);
    recorder.answers.insert(
        QStringLiteral("gsettings get org.cinnamon.desktop.background picture-uri"), output);
    recorder.answers.insert(QStringLiteral("gsettings get org.mate.background picture-filename"),
                            output);
    recorder.answers.insert(QStringLiteral("xfconf-query -c xfce4-desktop -l"),
                            xfceProperty.toUtf8());
    recorder.answers.insert(QStringLiteral("xfconf-query -c xfce4-desktop -p ") + xfceProperty,
                            output);
    const DarkSchemeQuery light = [] { return false; };
    std::unique_ptr<DesktopBackend> backend;
    if (desktop == QLatin1String("gnome"))
        backend = makeGnomeBackend(recorder.runner());
    else if (desktop == QLatin1String("cinnamon"))
        backend = makeCinnamonBackend(recorder.runner(), light);
    else if (desktop == QLatin1String("mate"))
        backend = makeMateBackend(recorder.runner(), light);
    else
        backend = makeXfceBackend(recorder.runner(), light);
    DesktopService service(std::move(backend));
    QCOMPARE(service.desktopImagePath().value_or(QString()), expected);
}

void TestDesktopService::failingToolKeepsTheLastPicture()
{
    // sway cannot be asked, so the service answers with what it set itself.
    RecordingRunner recorder;
    DesktopService service(makeSwayBackend(recorder.runner(), [] { return false; }));
    QCOMPARE(service.desktopImagePath(), std::nullopt);
    const WallpaperFiles a = WallpaperFiles::forHeic(QStringLiteral("/h/wallpaper-a.heic"));
    QCOMPARE(service.setDesktopImage(a), std::nullopt);
    QCOMPARE(service.desktopImagePath(), a.heic);

    recorder.fail = true;
    const auto error =
        service.setDesktopImage(WallpaperFiles::forHeic(QStringLiteral("/h/wallpaper-b.heic")));
    QVERIFY(error);
    QVERIFY2(error->contains(QStringLiteral("kaputt")), qPrintable(*error));
    QCOMPARE(service.desktopImagePath(), a.heic);
}

// --- GNOME through the real gsettings and schemas ------------------------------------------

void TestDesktopService::gnomeGetsBothPictures()
{
    AppModel model;
    useTwoPictures(model);
    setAsDesktopAndWait(model);
    QCOMPARE(model.errorMessage(), std::nullopt);
    QCOMPARE(model.statusMessage(), QStringLiteral("Als dynamisches Wallpaper gesetzt."));

    const QString lightPath = localPathOf(gnomeGet("picture-uri"));
    const QString darkPath = localPathOf(gnomeGet("picture-uri-dark"));
    QCOMPARE(lightPath, voskanFolder() + QStringLiteral("/wallpaper-a-light.jpg"));
    QCOMPARE(darkPath, voskanFolder() + QStringLiteral("/wallpaper-a-dark.jpg"));
    QCOMPARE(gnomeGet("picture-options"), QByteArray("'zoom'"));
    QVERIFY(QFileInfo(voskanFolder() + QStringLiteral("/wallpaper-a.heic")).size() > 0);

    const QImage lightImage(lightPath);
    const QImage darkImage(darkPath);
    QCOMPARE(lightImage.size(), QSize(320, 180));
    QCOMPARE(darkImage.size(), QSize(320, 180));
    const QColor lightWant =
        centre(std::get<Bitmap>(model.renderFull(model.lightLook())).toImage());
    const QColor darkWant = centre(std::get<Bitmap>(model.renderFull(model.darkLook())).toImage());
    QVERIFY(!near(lightWant, darkWant)); // or the comparisons below tell nothing
    QVERIFY2(near(centre(lightImage), lightWant), qPrintable(centre(lightImage).name()));
    QVERIFY2(near(centre(darkImage), darkWant), qPrintable(centre(darkImage).name()));

    QFile xml(m_home.path() + QStringLiteral("/data/gnome-background-properties/voskan.xml"));
    QVERIFY(xml.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(xml.readAll());
    QVERIFY(
        text.contains(QStringLiteral("<filename>") + lightPath + QStringLiteral("</filename>")));
    QVERIFY(text.contains(QStringLiteral("<filename-dark>") + darkPath +
                          QStringLiteral("</filename-dark>")));
}

void TestDesktopService::targetFollowsTheDesktop_data()
{
    QTest::addColumn<QString>("shown"); // picture-uri before the call; empty: the system's
    QTest::addColumn<QString>("target");

    const QString own = QStringLiteral("file://") + m_home.path() + QStringLiteral("/data/Voskan/");
    QTest::newRow("system picture") << ""
                                    << "wallpaper-a";
    QTest::newRow("own a") << own + "wallpaper-a-light.jpg"
                           << "wallpaper-b";
    QTest::newRow("own b") << own + "wallpaper-b-light.jpg"
                           << "wallpaper-a";
    QTest::newRow("a elsewhere") << "file:///srv/pictures/wallpaper-a-light.jpg"
                                 << "wallpaper-b";
    QTest::newRow("someone else's picture") << "file:///srv/pictures/berge.jpg"
                                            << "wallpaper-a";
}

void TestDesktopService::targetFollowsTheDesktop()
{
    QFETCH(QString, shown);
    QFETCH(QString, target);
    if (!shown.isEmpty())
        gnomeSet("picture-uri", QLatin1Char('\'') + shown + QLatin1Char('\''));
    AppModel model;
    useTwoPictures(model);
    setAsDesktopAndWait(model);
    QCOMPARE(model.errorMessage(), std::nullopt);
    QCOMPARE(localPathOf(gnomeGet("picture-uri")),
             voskanFolder() + QLatin1Char('/') + target + QStringLiteral("-light.jpg"));
    QVERIFY(QFile::exists(voskanFolder() + QLatin1Char('/') + target + QStringLiteral(".heic")));
}

void TestDesktopService::alternatesBetweenTwoFiles()
{
    AppModel model;
    useTwoPictures(model);
    const QString a = voskanFolder() + QStringLiteral("/wallpaper-a");
    const QString b = voskanFolder() + QStringLiteral("/wallpaper-b");
    for (const QString &expected : {a, b, a}) {
        setAsDesktopAndWait(model);
        QCOMPARE(model.errorMessage(), std::nullopt);
        QCOMPARE(localPathOf(gnomeGet("picture-uri")), expected + QStringLiteral("-light.jpg"));
        QCOMPARE(localPathOf(gnomeGet("picture-uri-dark")), expected + QStringLiteral("-dark.jpg"));
        // A changed picture must reach the file that replaces the earlier A.
        model.setEditing(Appearance::Light);
        model.applySource(Reference::solid(16, 16, 240, 60, 60), {}, {}, {}, {}, Appearance::Light);
    }
    QVERIFY(QFile::exists(b + QStringLiteral(".heic")));
    const QColor want = centre(std::get<Bitmap>(model.renderFull(model.lightLook())).toImage());
    // The third call wrote A with the picture set after the second.
    model.applySource(Reference::solid(16, 16, 230, 200, 120), {}, {}, {}, {}, Appearance::Light);
    const QColor before = centre(std::get<Bitmap>(model.renderFull(model.lightLook())).toImage());
    QVERIFY(!near(want, before));
    QVERIFY(near(centre(QImage(a + QStringLiteral("-light.jpg"))), want));
    const QStringList left = QDir(voskanFolder()).entryList(QDir::Files);
    QCOMPARE(left.filter(QStringLiteral(".tmp")), QStringList());
}

void TestDesktopService::removesStaleTemporaryFile()
{
    AppModel model;
    useTwoPictures(model);
    setAsDesktopAndWait(model); // A is on the desktop now, so B comes next
    QCOMPARE(model.errorMessage(), std::nullopt);
    const QString stale = voskanFolder() + QStringLiteral("/wallpaper-b.heic.tmp");
    QFile file(stale);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("left over by a crash");
    file.close();

    setAsDesktopAndWait(model);
    QCOMPARE(model.errorMessage(), std::nullopt);
    QVERIFY(!QFile::exists(stale));
    QVERIFY(QFileInfo(voskanFolder() + QStringLiteral("/wallpaper-b.heic")).size() > 100);
}

void TestDesktopService::failingRenderChangesNothing()
{
    AppModel model;
    useTwoPictures(model);
    setAsDesktopAndWait(model);
    QCOMPARE(model.errorMessage(), std::nullopt);
    const auto files = snapshot(m_home.path() + QStringLiteral("/data"));
    const QByteArray uri = gnomeGet("picture-uri");
    const QByteArray darkUri = gnomeGet("picture-uri-dark");

    AppModel failing;
    failing.setPreset(ResolutionPreset::all().last());
    failing.setCustomWidth(320);
    failing.setCustomHeight(180);
    failing.bind(&Look::style).setValue(WallpaperStyle::Flow); // light renders, dark has no photo
    setAsDesktopAndWait(failing);
    QCOMPARE(failing.errorMessage(), QStringLiteral("Kein Quellbild ausgewählt."));
    QCOMPARE(failing.statusMessage(), std::nullopt);
    QCOMPARE(snapshot(m_home.path() + QStringLiteral("/data")), files);
    QCOMPARE(gnomeGet("picture-uri"), uri);
    QCOMPARE(gnomeGet("picture-uri-dark"), darkUri);
}

// --- KDE Plasma through a stand-in shell on a private bus ---------------------------------

void TestDesktopService::kdeGetsAPackageWithBothPictures()
{
    QThread shellThread;
    FakePlasmaShell shell;
    shell.moveToThread(&shellThread);
    shellThread.start();
    const auto stopThread = qScopeGuard([&] {
        shellThread.quit();
        shellThread.wait();
    });
    QDBusConnection connection =
        QDBusConnection::connectToBus(m_busAddress, QStringLiteral("fake-plasmashell"));
    QVERIFY(connection.isConnected());
    QVERIFY(connection.registerService(QStringLiteral("org.kde.plasmashell")));
    QVERIFY(connection.registerObject(QStringLiteral("/PlasmaShell"), &shell,
                                      QDBusConnection::ExportAllSlots));
    const auto unregister = qScopeGuard([&] {
        connection.unregisterObject(QStringLiteral("/PlasmaShell"));
        connection.unregisterService(QStringLiteral("org.kde.plasmashell"));
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-plasmashell"));
    });

    auto desktop = std::make_shared<DesktopService>(makeKdeBackend());
    AppModel model;
    model.setDesktopService(desktop);
    useTwoPictures(model);
    setAsDesktopAndWait(model);
    QCOMPARE(model.errorMessage(), std::nullopt);
    QCOMPARE(model.statusMessage(), QStringLiteral("Als dynamisches Wallpaper gesetzt."));

    const QString package = voskanFolder() + QStringLiteral("/wallpaper-a-kde");
    const QStringList scripts = shell.scripts();
    QVERIFY(!scripts.isEmpty());
    const QString set = scripts.last();
    QVERIFY2(set.contains(QStringLiteral("desktops()")), qPrintable(set));
    QVERIFY(set.contains(QStringLiteral("wallpaperPlugin = 'org.kde.image'")));
    QVERIFY(set.contains(
        QStringLiteral("currentConfigGroup = ['Wallpaper', 'org.kde.image', 'General']")));
    QVERIFY(set.contains(QStringLiteral("writeConfig('Image', '") +
                         QUrl::fromLocalFile(package).toString(QUrl::FullyEncoded) +
                         QStringLiteral("')")));

    QFile metadata(package + QStringLiteral("/metadata.json"));
    QVERIFY(metadata.open(QIODevice::ReadOnly));
    const QJsonObject plugin = QJsonDocument::fromJson(metadata.readAll())
                                   .object()
                                   .value(QStringLiteral("KPlugin"))
                                   .toObject();
    QCOMPARE(plugin.value(QStringLiteral("Id")).toString(), QStringLiteral("wallpaper-a-kde"));
    const QImage light(package + QStringLiteral("/contents/images/320x180.jpg"));
    const QImage dark(package + QStringLiteral("/contents/images_dark/320x180.jpg"));
    QVERIFY(near(centre(light),
                 centre(std::get<Bitmap>(model.renderFull(model.lightLook())).toImage())));
    QVERIFY(
        near(centre(dark), centre(std::get<Bitmap>(model.renderFull(model.darkLook())).toImage())));
    QVERIFY(!QFile::exists(package + QStringLiteral(".tmp")));

    // The shell reports package A, so the next wallpaper is B.
    setAsDesktopAndWait(model);
    QCOMPARE(model.errorMessage(), std::nullopt);
    QVERIFY(shell.scripts().last().contains(QStringLiteral("wallpaper-b-kde")));
    QVERIFY(QFile::exists(voskanFolder() +
                          QStringLiteral("/wallpaper-b-kde/contents/images_dark/320x180.jpg")));
}

QTEST_GUILESS_MAIN(TestDesktopService)
#include "tst_desktopservice.moc"
