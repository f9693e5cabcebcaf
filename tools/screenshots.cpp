// Drives the real window through its main states on a real X server and saves what the screen
// shows. The Unsplash search is answered by a loopback server with the test photographs.

#include "model/appmodel.h"
#include "model/renderpipeline.h"
#include "render/imagedecoder.h"
#include "sources/photolibrary.h"
#include "sources/unsplashservice.h"
#include "support/fakes.h"
#include "support/fakeunsplashserver.h"
#include "support/testdata.h"
#include "ui/desktoptheme.h"
#include "ui/mainwindow.h"
#include "ui/settingsdialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <cstdio>

namespace {

bool waitFor(const std::function<bool()> &condition, int ms = 20000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > ms)
            return false;
        QTest::qWait(20);
    }
    return true;
}

// Everything on screen inside the window's frame, dialogs over it included.
bool save(QWidget *window, const QString &path)
{
    QTest::qWait(400); // animations settle, thumbnails arrive
    QApplication::processEvents();
    const QRect frame = window->frameGeometry();
    const QPixmap shot =
        window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    if (!shot.save(path)) {
        std::fprintf(stderr, "Konnte %s nicht schreiben.\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    // Neither the session's portal nor its colour scheme: the window is drawn in the light scheme
    // and the dark one as asked, whatever desktop it runs on.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    qputenv("GSETTINGS_BACKEND", "memory");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "Aufruf: voskan-screenshots ZIELORDNER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());

    // Nothing of the user's: settings, caches and the picture folder are scratch folders.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_CACHE_HOME", home.filePath(QStringLiteral("cache")).toUtf8());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       home.filePath(QStringLiteral("config")));
    QApplication::setApplicationName(QStringLiteral("Voskan"));
    QApplication::setOrganizationName(QStringLiteral("Voskan"));
    QDir().mkpath(home.filePath(QStringLiteral("Bilder/Urlaub")));
    for (const QString &photo : TestData::photos())
        QFile::copy(photo,
                    home.filePath(QStringLiteral("Bilder/Urlaub/")) + QFileInfo(photo).fileName());

    FakeUnsplashServer unsplash;
    if (!unsplash.start()) {
        std::fprintf(stderr, "Der Unsplash-Ersatz startet nicht.\n");
        return 1;
    }
    auto photos = std::make_shared<PhotoLibrary>(home.filePath(QStringLiteral("Bilder")));
    AppModel model({makeUnsplashClient, photos});
    model.jobs()->setDesktopService(
        std::make_shared<DesktopService>(std::make_unique<RecordingDesktop>()));
    MainWindow window(&model, nullptr, photos.get());
    window.move(0, 0);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;

    bool ok = save(&window, out.filePath(QStringLiteral("empty.png")));

    // The typical use: a search, a hit, a style. Without a key the window starts on „Dateien“.
    model.setAccessKey(QStringLiteral("demo"));
    model.setSourceKind(SourceKind::Unsplash);
    auto *field = window.findChild<QLineEdit *>(QStringLiteral("searchField"));
    if (field) {
        field->setFocus();
        QTest::keyClicks(field, QStringLiteral("herbst"));
        QTest::keyClick(field, Qt::Key_Return);
    } else {
        model.setQuery(QStringLiteral("herbst"));
        model.runSearch();
    }
    ok &= waitFor([&] { return !model.results().isEmpty(); });
    model.select(model.results().at(2));
    ok &= waitFor([&] { return !model.isLoadingSource() && !model.preview().isNull(); });
    ok &= save(&window, out.filePath(QStringLiteral("blur.png")));

    model.bind(&Look::style).setValue(WallpaperStyle::Flow);
    model.renderPreview();
    ok &= save(&window, out.filePath(QStringLiteral("flow.png")));
    // The same flow in „Dunkel“: the photo's colours through the dark tone.
    model.setEditing(Appearance::Dark);
    model.bind(&Look::style).setValue(WallpaperStyle::Flow);
    model.renderPreview();
    ok &= save(&window, out.filePath(QStringLiteral("flow-dunkel.png")));
    model.bind(&Look::style).setValue(WallpaperStyle::Blur);
    model.setEditing(Appearance::Light);

    model.bind(&Look::style).setValue(WallpaperStyle::Mirror);
    model.renderPreview();
    ok &= save(&window, out.filePath(QStringLiteral("mirror.png")));

    model.setEditing(Appearance::Dark);
    ok &= save(&window, out.filePath(QStringLiteral("dark.png")));
    model.setEditing(Appearance::Light);

    model.setStatusMessage(QStringLiteral("Als dynamisches Wallpaper gesetzt."));
    ok &= save(&window, out.filePath(QStringLiteral("status.png")));
    model.setStatusMessage(std::nullopt);

    model.setSourceKind(SourceKind::Photos);
    ok &= save(&window, out.filePath(QStringLiteral("photos-access.png")));
    photos->setAccess(true);
    model.refreshPhotosAuthStatus();
    ok &= waitFor([&] { return !model.albumAssets().isEmpty(); });
    ok &= save(&window, out.filePath(QStringLiteral("photos.png")));

    model.setErrorMessage(QStringLiteral("Das Wallpaper konnte nicht geschrieben werden."));
    ok &= save(&window, out.filePath(QStringLiteral("error.png")));
    if (window.errorAlert())
        window.errorAlert()->buttons().constFirst()->click();

    window.showSettings();
    auto *settings = window.findChild<SettingsDialog *>();
    if (settings) {
        settings->move(window.geometry().center() - QPoint(settings->width() / 2, 200));
        ok &= save(&window, out.filePath(QStringLiteral("settings.png")));
        settings->close();
    }

    model.setSourceKind(SourceKind::Unsplash);
    ok &= save(&window, out.filePath(QStringLiteral("main.png")));

    // The same window in the desktop's light and dark scheme, with a confirmation, then an alert.
    model.setStatusMessage(QStringLiteral("Als dynamisches Wallpaper gesetzt."));
    ok &= save(&window, out.filePath(QStringLiteral("fenster-hell.png")));
    applyColorScheme(true);
    ok &= save(&window, out.filePath(QStringLiteral("fenster-dunkel.png")));
    model.setStatusMessage(std::nullopt);
    model.setErrorMessage(QStringLiteral("Das Wallpaper konnte nicht geschrieben werden."));
    ok &= save(&window, out.filePath(QStringLiteral("fehler-dunkel.png")));
    if (window.errorAlert())
        window.errorAlert()->buttons().constFirst()->click();
    applyColorScheme(false);

    // A day cycle of the mirror look and its dark look: the strip with a dawn picked, then that
    // dawn's picture and the day's.
    model.dayCycle()->setCount(8);
    ok &= waitFor([&] { return model.dayCycle()->thumbnails().size() == 8; });
    model.dayCycle()->show(3);
    ok &= save(&window, out.filePath(QStringLiteral("tagesverlauf.png")));
    for (const auto &[picture, name] :
         {std::pair{3, "tagesverlauf-daemmerung.png"}, std::pair{7, "tagesverlauf-tag.png"}}) {
        model.dayCycle()->show(picture);
        const QString path = out.filePath(QString::fromLatin1(name));
        ok &= model.preview().scaledToWidth(900, Qt::SmoothTransformation).save(path);
        std::printf("%s\n", qPrintable(path));
    }

    // A dark photo's two looks side by side: „Dunkel“ darker, its shadows still drawn.
    const QImage path =
        ImageDecoder::decodeFile(TestData::photo(QStringLiteral("photo-path-2560x1600.jpg")))
            .bitmap()
            .toImage();
    QImage pair(900, 281, QImage::Format_RGB32);
    pair.fill(Qt::white);
    {
        QPainter painter(&pair);
        for (const Appearance appearance : {Appearance::Light, Appearance::Dark}) {
            Look look;
            look.source = Bitmap::fromImage(path);
            look.setTone(Tone::defaultFor(appearance));
            const auto shown = RenderPipeline::renderLook(look, {444, 277.5}, false);
            if (shown)
                painter.drawImage(appearance == Appearance::Light ? 0 : 456, 2, shown->toImage());
        }
    }
    const QString shadows = out.filePath(QStringLiteral("dunkel-schatten.png"));
    ok &= pair.save(shadows);
    std::printf("%s\n", qPrintable(shadows));
    return ok ? 0 : 1;
}
