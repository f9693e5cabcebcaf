#include "mainwindow.h"

#include "model/appmodel.h"
#include "sources/photolibrary.h"
#include "sources/unsplashservice.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Voskan"));
    QApplication::setOrganizationName(QStringLiteral("Voskan"));
    QApplication::setDesktopFileName(QStringLiteral("voskan"));

    auto photos = std::make_shared<PhotoLibrary>();
    AppModel model({makeUnsplashClient, photos});
    MainWindow window(&model);
    photos->setPrompt([&window](const QString &question) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Fotos"), question,
                        QMessageBox::NoButton, &window);
        QPushButton *allow = box.addButton(QStringLiteral("Erlauben"), QMessageBox::AcceptRole);
        box.addButton(QStringLiteral("Nicht erlauben"), QMessageBox::RejectRole);
        box.exec();
        return box.clickedButton() == allow;
    });
    window.show();
    // A picture handed over on the command line (e.g. "Öffnen mit") is opened at once.
    const QStringList args = QApplication::arguments();
    if (args.size() > 1)
        model.openLocalImage(args.at(1));
    return app.exec();
}
