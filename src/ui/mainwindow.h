#pragma once

// The window as a whole. What belongs to neither the preview nor the inspector — the menus, the
// error alert, the settings window, the update prompt — is attached here, so main() only makes the
// model and hands it over.

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>

class AppModel;
class InspectorPane;
class PhotoLibrary;
class PreviewPane;
class QAction;

class SettingsDialog;
class UpdaterViewModel;

// The one main window: the preview on the left, the inspector on the right, the menus, and
// the alert that shows the model's errors.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // `updater` and `photos` may be null; their menu item and settings section then stay off.
    MainWindow(AppModel *model, UpdaterViewModel *updater, PhotoLibrary *photos,
               QWidget *parent = nullptr);
    ~MainWindow() override;

    // Opens (or raises) the settings window.
    void showSettings();
    // The same, with the keyboard in the field for the Unsplash access key.
    void showAccessKeySettings();
    // The alert while an error is shown, else null.
    QMessageBox *errorAlert() const { return m_alert; }
    QAction *checkForUpdatesAction() const { return m_checkForUpdates; }
    QAction *exportAction() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void fitToScreen();
    void followError();
    void followUpdater();
    void showAbout();

    AppModel *m_model;
    UpdaterViewModel *m_updater;
    PhotoLibrary *m_photos;
    PreviewPane *m_preview;
    InspectorPane *m_inspector;
    QAction *m_checkForUpdates = nullptr;
    QPointer<QMessageBox> m_alert;
    QPointer<SettingsDialog> m_settings;
    QMetaObject::Connection m_screenFollower;
};
