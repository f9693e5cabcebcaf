#include "mainwindow.h"

#include "accessibility.h"
#include "dailydialog.h"
#include "desktoptheme.h"
#include "inspector.h"
#include "messagebox.h"
#include "model/appmodel.h"
#include "panels.h"
#include "previewpane.h"
#include "settingsdialog.h"
#include "update/updaterviewmodel.h"
#include "updateprompt.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QWindow>

namespace {
constexpr QSize kDefaultSize(1440, 840);
constexpr QSize kMinimumSize(1100, 660);
constexpr int kInspectorWidth = 320;
} // namespace

MainWindow::MainWindow(AppModel *model, UpdaterViewModel *updater, PhotoLibrary *photos,
                       QWidget *parent)
    // The panes' controls get their accessibility interfaces the first time they are asked
    // for, which may be while they are built: the window's own go in before.
    : QMainWindow((installAccessibility(), parent)), m_model(model), m_updater(updater),
      // The colours follow the desktop from before the panes are made, so they are made in them.
      m_photos(photos), m_preview((followDesktopColorScheme(this), new PreviewPane(model))),
      m_inspector(new InspectorPane(model))
{
    setWindowTitle(QStringLiteral("Voskan"));
    fitToScreen();
    resize(kDefaultSize.boundedTo(minimumSize().expandedTo(screen()->availableGeometry().size())));

    auto *content = new QWidget(this);
    content->setObjectName(QStringLiteral("content"));
    auto *row = new QHBoxLayout(content);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(m_preview, 1);
    auto *divider = new QFrame(content);
    divider->setFixedWidth(1);
    divider->setAutoFillBackground(true);
    divider->setBackgroundRole(QPalette::Mid);
    row->addWidget(divider);
    m_inspector->setFixedWidth(kInspectorWidth);
    row->addWidget(m_inspector);
    setCentralWidget(content);

    // No command opens a second main window: there is one model and one window.
    // Mnemonics, so Alt+D (or F10 and the arrows) reach every command without a mouse.
    QMenu *file = menuBar()->addMenu(QStringLiteral("&Datei"));
    QAction *open = file->addAction(QStringLiteral("Ö&ffnen…"), this,
                                    [this] { openImagePanel(this, m_model); });
    open->setObjectName(QStringLiteral("openAction"));
    open->setShortcut(QKeySequence::Open);
    file->addAction(m_inspector->exportAction());
    file->addSeparator();
    QAction *quit = file->addAction(QStringLiteral("&Beenden"), qApp, &QApplication::quit);
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);

    QMenu *edit = menuBar()->addMenu(QStringLiteral("&Bearbeiten"));
    QAction *settings =
        edit->addAction(QStringLiteral("&Einstellungen…"), this, &MainWindow::showSettings);
    settings->setObjectName(QStringLiteral("settingsAction"));
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    settings->setMenuRole(QAction::PreferencesRole);
    QAction *daily = edit->addAction(QStringLiteral("&Täglich neu…"), this, [this] {
        auto *dialog = new DailyDialog(m_model, this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &DailyDialog::accessKeyWanted, this, &MainWindow::showAccessKeySettings);
        dialog->open();
    });
    daily->setObjectName(QStringLiteral("dailyAction"));

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Hilfe"));
    QAction *about = help->addAction(QStringLiteral("Über &Voskan"), this, &MainWindow::showAbout);
    about->setMenuRole(QAction::AboutRole);
    m_checkForUpdates = help->addAction(QStringLiteral("Nach &Updates suchen…"));
    m_checkForUpdates->setObjectName(QStringLiteral("checkForUpdatesAction"));
    m_checkForUpdates->setMenuRole(QAction::ApplicationSpecificRole);
    if (m_updater) {
        connect(m_checkForUpdates, &QAction::triggered, m_updater,
                &UpdaterViewModel::checkForUpdates);
        connect(m_updater, &UpdaterViewModel::canCheckForUpdatesChanged, this,
                &MainWindow::followUpdater);
        UpdatePrompt::attach(m_updater, this);
    }
    followUpdater();

    // F10 opens the first menu, as in GNOME and KDE programs.
    auto *menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this,
            [this] { menuBar()->setActiveAction(menuBar()->actions().constFirst()); });

    // The panes offer a way to a key where a search needs one; the settings are the window's.
    connect(m_preview, &PreviewPane::accessKeyRequested, this, &MainWindow::showAccessKeySettings);
    connect(m_inspector, &InspectorPane::accessKeyRequested, this,
            &MainWindow::showAccessKeySettings);

    connect(m_model, &AppModel::errorMessageChanged, this, &MainWindow::followError);
    followError();
}

MainWindow::~MainWindow() = default;

QAction *MainWindow::exportAction() const
{
    return m_inspector->exportAction();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_screenFollower)
        return;
    // Moved to another screen, or this one's free area changed (a scale, a panel).
    m_screenFollower = connect(windowHandle(), &QWindow::screenChanged, this, [this](QScreen *s) {
        connect(s, &QScreen::availableGeometryChanged, this, &MainWindow::fitToScreen,
                Qt::UniqueConnection);
        fitToScreen();
    });
    connect(screen(), &QScreen::availableGeometryChanged, this, &MainWindow::fitToScreen,
            Qt::UniqueConnection);
    fitToScreen();
}

void MainWindow::fitToScreen()
{
    // The minimum never asks for more than the screen has, frame included: at scale 2 on a
    // 1600 × 1000 panel the action bar would otherwise be off screen. The inspector scrolls.
    const QSize frame = isVisible() ? frameGeometry().size() - geometry().size() : QSize();
    const QSize room = screen()->availableGeometry().size() - frame;
    setMinimumSize(kMinimumSize.boundedTo(room));
    if (isVisible() && !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) &&
        size() != size().boundedTo(room))
        resize(size().boundedTo(room));
}

void MainWindow::followUpdater()
{
    m_checkForUpdates->setEnabled(m_updater && m_updater->canCheckForUpdates());
}

void MainWindow::followError()
{
    const auto message = m_model->errorMessage();
    if (!message) {
        // Let go at once: it is only deleted later, and a new error in the same breath (an
        // operation clears the old one first) needs an alert of its own.
        if (QMessageBox *alert = m_alert.data()) {
            m_alert = nullptr;
            alert->close();
        }
        return;
    }
    if (m_alert) {
        // A newer error replaces the text of the alert already open.
        m_alert->setText(*message);
        return;
    }
    m_alert = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Fehler"), *message,
                              QMessageBox::Ok, this);
    setMessageIcon(m_alert, MessageKind::Warning);
    m_alert->setObjectName(QStringLiteral("errorAlert"));
    m_alert->button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    m_alert->setAttribute(Qt::WA_DeleteOnClose);
    m_alert->setWindowModality(Qt::WindowModal);
    // However the alert goes away, the error is then dealt with.
    connect(m_alert, &QMessageBox::finished, m_model, [model = m_model] {
        if (model->errorMessage())
            model->setErrorMessage(std::nullopt);
    });
    m_alert->open();
}

void MainWindow::showSettings()
{
    if (!m_settings) {
        m_settings = new SettingsDialog(m_model, m_photos, this);
        m_settings->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_settings->show();
    m_settings->raise();
    m_settings->activateWindow();
}

void MainWindow::showAccessKeySettings()
{
    showSettings();
    m_settings->focusAccessKey();
}

void MainWindow::showAbout()
{
    QMessageBox::about(
        this, QStringLiteral("Über Voskan"),
        QStringLiteral("<h3>Voskan %1</h3><p>Macht aus einem Foto ein dynamisches Wallpaper: "
                       "ein Bild für die helle und eines für die dunkle Darstellung, in einer "
                       "HEIC-Datei, die mit dem Hell-/Dunkel-Modus des Schreibtischs wechselt.</p>")
            .arg(QApplication::applicationVersion()));
}
