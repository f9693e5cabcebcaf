#include "mainwindow.h"

#include "model/appmodel.h"
#include "sources/unsplashservice.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Voskan"));
    QApplication::setOrganizationName(QStringLiteral("Voskan"));
    QApplication::setDesktopFileName(QStringLiteral("voskan"));

    AppModel model({makeUnsplashClient, {}});
    MainWindow window(&model);
    window.show();
    // A picture handed over on the command line (e.g. "Öffnen mit") is opened at once.
    const QStringList args = QApplication::arguments();
    if (args.size() > 1)
        model.openLocalImage(args.at(1));
    return app.exec();
}
