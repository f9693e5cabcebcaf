#include "panels.h"

#include "messagebox.h"

#include "desktop/backends/portalfilechooser.h"
#include "files/filenames.h"
#include "model/appmodel.h"
#include "render/imagedecoder.h"
#include "sources/photolibrary.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QWindow>

namespace {

// While the desktop's dialog is open the window takes no input, as under a dialog of its own:
// the portal keeps its dialog above the window only where it could be told which one it is.
class InputBlock : public QObject
{
public:
    InputBlock() { qApp->installEventFilter(this); }
    ~InputBlock() override { qApp->removeEventFilter(this); }
    InputBlock(const InputBlock &) = delete;
    InputBlock &operator=(const InputBlock &) = delete;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (!event->spontaneous())
            return false;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::InputMethod:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::Close: // the window stays while its dialog is open
            return true;
        default:
            return false;
        }
    }
};

// The window as the portal names a dialog's parent. Only an X11 window can be named without a
// protocol Qt keeps to itself (Wayland's xdg-foreign): elsewhere the dialog goes without one.
QString portalParent(const QWidget *parent)
{
    if (!parent || QGuiApplication::platformName() != QLatin1String("xcb"))
        return {};
    return QStringLiteral("x11:") + QString::number(parent->window()->winId(), 16);
}

// A filter of a file dialog, „Bilder (*.jpg *.JPG …)“, as the portal takes it.
FileChooserFilter portalFilter(const QString &filter)
{
    const qsizetype open = filter.lastIndexOf(QLatin1Char('('));
    return {filter.left(open).trimmed(),
            filter.mid(open + 1).chopped(1).split(QLatin1Char(' '), Qt::SkipEmptyParts)};
}

// The file `dialog` asks for, asked by the desktop's own dialog where a portal shows one (GNOME's,
// Plasma's), else by `dialog` itself; empty when cancelled. `folder` is where it opens, `name`
// the name it offers when saving. Qt::AA_DontUseNativeDialogs asks for Qt's own dialogs only.
QString chooseFile(QFileDialog &dialog, const QString &folder, const QString &name = {})
{
    if (!QCoreApplication::testAttribute(Qt::AA_DontUseNativeDialogs)) {
        FileChooserRequest request{portalParent(dialog.parentWidget()),
                                   dialog.windowTitle(),
                                   {},
                                   QFileInfo(folder).isDir() ? folder : QString(),
                                   name,
                                   dialog.acceptMode() == QFileDialog::AcceptSave};
        for (const QString &filter : dialog.nameFilters())
            request.filters << portalFilter(filter);
        const InputBlock block;
        if (const std::optional<QString> chosen = chooseFileThroughPortal(request))
            return *chosen;
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

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
    const QString chosen = chooseFile(dialog, start);
    if (!chosen.isEmpty())
        model->openLocalImage(chosen);
}

void exportWithPanel(QWidget *parent, AppModel *model)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    const QString name = model->exportFileName(QStringLiteral("heic"));
    QFileDialog dialog(parent, QStringLiteral("Als HEIC exportieren"),
                       folder + QLatin1Char('/') + name);
    dialog.setObjectName(QStringLiteral("exportPanel"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("HEIC-Bild (*.heic)"));
    dialog.setDefaultSuffix(QStringLiteral("heic"));
    const QString chosen = chooseFile(dialog, folder, name);
    if (chosen.isEmpty())
        return;
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
