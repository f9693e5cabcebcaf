#include "mainwindow.h"

#include "model/appmodel.h"
#include "sources/photolibrary.h"
#include "sources/unsplashservice.h"
#include "update/updaterviewmodel.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Voskan"));
    QApplication::setOrganizationName(QStringLiteral("Voskan"));
    QApplication::setApplicationVersion(UpdaterViewModel::buildVersion());
    // The id of the installed .desktop file, icon and AppStream entry.
    QApplication::setDesktopFileName(QStringLiteral("de.voskan.Voskan"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("de.voskan.Voskan")));

    // One model, one updater and one library for the life of the process.
    auto photos = std::make_shared<PhotoLibrary>();
    AppModel model({makeUnsplashClient, photos});
    UpdaterViewModel updater;
    MainWindow window(&model, &updater, photos.get());
    photos->setPrompt([&window](const QString &question) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Fotos"), question,
                        QMessageBox::NoButton, &window);
        QPushButton *allow = box.addButton(QStringLiteral("Erlauben"), QMessageBox::AcceptRole);
        box.addButton(QStringLiteral("Nicht erlauben"), QMessageBox::RejectRole);
        box.exec();
        return box.clickedButton() == allow;
    });
    window.show();
    updater.startAutomaticChecks();
    // A picture handed over by the desktop ("Öffnen mit") is the only argument there is.
    const QStringList args = QApplication::arguments();
    if (args.size() > 1)
        model.openLocalImage(args.at(1));
    return app.exec();
}
