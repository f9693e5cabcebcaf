#include "panels.h"

#include "model/appmodel.h"
#include "render/imagedecoder.h"

#include <QFileDialog>
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
    QFileDialog dialog(parent, QStringLiteral("Bild öffnen"),
                       QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
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
    model->exportTo(dialog.selectedFiles().constFirst());
}
