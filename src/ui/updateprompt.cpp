#include "updateprompt.h"

#include "messagebox.h"

#include "update/updaterviewmodel.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>

namespace UpdatePrompt {

void attach(UpdaterViewModel *updater, QWidget *window)
{
    // Tied to the window when there is one, so that no box outlives it.
    QObject *context = window ? static_cast<QObject *>(window) : updater;
    QObject::connect(updater, &UpdaterViewModel::checkFinished, context,
                     [window](const UpdateCheckResult &result) { showResult(result, window); });
}

QMessageBox *showResult(const UpdateCheckResult &result, QWidget *window)
{
    if (!result.shouldNotify())
        return nullptr;

    auto *box = new QMessageBox(window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setWindowTitle(QStringLiteral("Nach Updates suchen"));

    switch (result.outcome) {
    case UpdateCheckResult::Outcome::UpdateAvailable: {
        box->setObjectName(QLatin1StringView(kAvailableBoxName));
        setMessageIcon(box, MessageKind::Information);
        box->setText(QStringLiteral("Voskan %1 ist verfügbar.").arg(result.version));
        QPushButton *open =
            box->addButton(QStringLiteral("Download-Seite öffnen"), QMessageBox::AcceptRole);
        open->setObjectName(QLatin1StringView(kOpenDownloadButtonName));
        // A feed without a web address still announces the version; there is just no page.
        open->setEnabled(result.downloadPage.isValid());
        QPushButton *later = box->addButton(QStringLiteral("Später"), QMessageBox::RejectRole);
        later->setObjectName(QLatin1StringView(kLaterButtonName));
        box->setDefaultButton(open->isEnabled() ? open : later);
        box->setEscapeButton(later);
        const QUrl page = result.downloadPage;
        QObject::connect(box, &QMessageBox::buttonClicked, box, [open, page](QAbstractButton *b) {
            if (b == open)
                QDesktopServices::openUrl(page);
        });
        break;
    }
    case UpdateCheckResult::Outcome::UpToDate:
        box->setObjectName(QLatin1StringView(kUpToDateBoxName));
        setMessageIcon(box, MessageKind::Information);
        box->setText(QStringLiteral("Voskan ist auf dem neuesten Stand."));
        box->setDefaultButton(box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole));
        break;
    case UpdateCheckResult::Outcome::Failed:
        box->setObjectName(QLatin1StringView(kFailedBoxName));
        setMessageIcon(box, MessageKind::Warning);
        box->setText(result.errorMessage);
        box->setDefaultButton(box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole));
        break;
    }
    box->open();
    return box;
}

} // namespace UpdatePrompt
