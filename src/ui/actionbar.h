#pragma once

// The ways a finished wallpaper leaves the window — export, saving into the photo library,
// setting it as the desktop picture — gathered at the foot of the inspector. They share one rule,
// usable exactly while the model can export, so they live together, apart from the sections.

#include <QWidget>

class AppModel;
class QAction;
class QPushButton;
class QToolButton;

// The row at the foot of the inspector: the export menu and "Als Schreibtisch setzen". Both
// are usable exactly while the model can export.
class ActionBar : public QWidget
{
    Q_OBJECT

public:
    explicit ActionBar(AppModel *model, QWidget *parent = nullptr);

    // "Als HEIC exportieren…", Ctrl+S; also in the window's menu.
    QAction *exportAction() const { return m_exportAction; }
    QAction *saveToPhotosAction() const { return m_saveToPhotos; }

private:
    void sync();

    AppModel *m_model;
    QToolButton *m_exportButton = nullptr;
    QPushButton *m_setDesktop = nullptr;
    QAction *m_exportAction = nullptr;
    QAction *m_saveToPhotos = nullptr;
};
