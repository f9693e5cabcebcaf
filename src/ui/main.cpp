#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Voskan"));
    QApplication::setOrganizationName(QStringLiteral("Voskan"));
    QApplication::setDesktopFileName(QStringLiteral("voskan"));

    MainWindow window;
    window.show();
    // A picture handed over on the command line (e.g. "Öffnen mit") is opened at once.
    const QStringList args = QApplication::arguments();
    if (args.size() > 1)
        window.openFile(args.at(1));
    return app.exec();
}
