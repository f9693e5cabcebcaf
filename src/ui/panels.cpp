#include "panels.h"

#include "messagebox.h"

#include "files/filenames.h"
#include "model/appmodel.h"
#include "render/imagedecoder.h"
#include "sources/photolibrary.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>

QString imageNameFilter()
{
    QStringList patterns;
    for (const QString &suffix : ImageDecoder::fileSuffixes())
        patterns << QStringLiteral("*.") + suffix << QStringLiteral("*.") + suffix.toUpper();
    return QStringLiteral("Bilder (%1)").arg(patterns.join(QLatin1Char(' ')));
}

void openImagePanel(QWidget *parent, AppModel *model)
{
    // The photo folder Voskan reads, else the user's pictures, else home: a folder that is
    // not there would end up as the file name the dialog offers.
    QString start = QDir::homePath();
    for (const QString &folder :
         {QStandardPaths::writableLocation(QStandardPaths::PicturesLocation),
          PhotoLibrary::defaultRoot()})
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            start = folder;
    QFileDialog dialog(parent, QStringLiteral("Bild öffnen"), start);
    dialog.setObjectName(QStringLiteral("openImagePanel"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters({imageNameFilter(), QStringLiteral("Alle Dateien (*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    model->openLocalImage(dialog.selectedFiles().constFirst());
}

void exportWithPanel(QWidget *parent, AppModel *model)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    QFileDialog dialog(parent, QStringLiteral("Als HEIC exportieren"),
                       folder + QLatin1Char('/') + model->exportFileName(QStringLiteral("heic")));
    dialog.setObjectName(QStringLiteral("exportPanel"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("HEIC-Bild (*.heic)"));
    dialog.setDefaultSuffix(QStringLiteral("heic"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString chosen = dialog.selectedFiles().constFirst();
    const QString path = FileNames::heicFileName(chosen);
    // The dialog asked about the name as typed; the one written may be another that exists.
    if (path != chosen && QFileInfo::exists(path)) {
        QMessageBox ask(
            QMessageBox::NoIcon, QStringLiteral("Als HEIC exportieren"),
            QStringLiteral("„%1“ ist bereits vorhanden. Ersetzen?").arg(QFileInfo(path).fileName()),
            QMessageBox::NoButton, parent);
        ask.setObjectName(QStringLiteral("replaceQuestion"));
        setMessageIcon(&ask, MessageKind::Question);
        QPushButton *replace = ask.addButton(QStringLiteral("Ersetzen"), QMessageBox::AcceptRole);
        ask.setDefaultButton(ask.addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole));
        ask.exec();
        if (ask.clickedButton() != replace)
            return;
    }
    model->exportTo(path);
}
