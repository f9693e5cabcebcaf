// voskan, the window program. main() only wires: it settles whether another Voskan already runs,
// then makes the one model, updater and photo library and the window over them. Everything else
// lives in the libraries, where the tests can reach it.

#include "accessibility.h"
#include "icons.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "translations.h"

#include "app/singleinstance.h"
#include "files/outputfile.h"
#include "model/appmodel.h"
#include "sources/photolibrary.h"
#include "sources/unsplashservice.h"
#include "update/updaterviewmodel.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Answered before there is a window system to connect to: a terminal without a display
    // asks too.
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--version") == 0) {
            std::printf("voskan %s\n", qPrintable(UpdaterViewModel::buildVersion()));
            return 0;
        }
        if (qstrcmp(argv[i], "--help") == 0 || qstrcmp(argv[i], "-h") == 0) {
            std::printf("Aufruf: voskan [BILD]\n\n"
                        "Öffnet Voskan, mit BILD als Foto (oder als dynamisches Wallpaper).\n"
                        "Läuft Voskan schon, bekommt das laufende Fenster das Bild.\n\n"
                        "  --version  Version ausgeben\n"
                        "  --help     diese Hilfe\n"
                        "Ohne Fenster: voskan-render --help\n");
            return 0;
        }
    }
    OutputFile::removeUnfinishedOnSignals();
    QApplication app(argc, argv);
    installAccessibility();
    QApplication::setApplicationName(QStringLiteral("Voskan"));
    QApplication::setOrganizationName(QStringLiteral("Voskan"));
    QApplication::setApplicationVersion(UpdaterViewModel::buildVersion());
    // The id of the installed .desktop file, icon and AppStream entry.
    QApplication::setDesktopFileName(QStringLiteral("de.voskan.Voskan"));
    QApplication::setWindowIcon(applicationIcon());
    // Before the first dialog, including the warning below.
    installQtTranslations(&app);

    // A picture handed over by the desktop ("Öffnen mit") is the only argument there is. A
    // running Voskan gets it instead of a second model; the path is made absolute here
    // because the running one has another working directory.
    const QStringList files =
        SingleInstance::absolutePaths(QApplication::arguments().mid(1, 1), QDir::currentPath());
    // Generous: the running one answers only from its event loop, which may still be busy
    // starting up or decoding a picture.
    constexpr int kForwardTimeoutMs = 15'000;
    SingleInstance instance;
    switch (instance.claimOrForward(files, kForwardTimeoutMs)) {
    case SingleInstance::Outcome::Forwarded:
        return 0;
    case SingleInstance::Outcome::Unresponsive: {
        // A second model beside a hung one would fight over settings and exports.
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Voskan"),
                        QStringLiteral("Voskan läuft bereits, reagiert aber nicht. Bitte etwas "
                                       "warten oder das laufende Voskan beenden und erneut "
                                       "versuchen."),
                        QMessageBox::Ok);
        setMessageIcon(&box, MessageKind::Warning);
        box.exec();
        return 1;
    }
    case SingleInstance::Outcome::Primary:
    case SingleInstance::Outcome::Standalone:
        break;
    }

    // One model, one updater and one library for the life of the process.
    auto photos = std::make_shared<PhotoLibrary>();
    AppModel model({makeUnsplashClient, photos});
    UpdaterViewModel updater;
    MainWindow window(&model, &updater, photos.get());
    photos->setPrompt([&window](const QString &question) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Fotos"), question,
                        QMessageBox::NoButton, &window);
        setMessageIcon(&box, MessageKind::Question);
        QPushButton *allow = box.addButton(QStringLiteral("Erlauben"), QMessageBox::AcceptRole);
        box.addButton(QStringLiteral("Nicht erlauben"), QMessageBox::RejectRole);
        box.exec();
        return box.clickedButton() == allow;
    });
    QObject::connect(&instance, &SingleInstance::activationRequested, &window,
                     [&model, &window](const QStringList &forwarded) {
                         model.openLocalImages(forwarded);
                         window.setWindowState((window.windowState() & ~Qt::WindowMinimized) |
                                               Qt::WindowActive);
                         window.show();
                         window.raise();
                         window.activateWindow();
                     });
    window.show();
    updater.startAutomaticChecks();
    if (!files.isEmpty())
        model.openLocalImage(files.constFirst());
    return app.exec();
}
