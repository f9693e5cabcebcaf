#pragma once

// The right-hand column, where a wallpaper is edited. It only assembles the sections, each in a
// file of its own, and the action bar below them, and takes files dropped on it; what a section
// shows is that section's business.

#include <QWidget>

class ActionBar;
class AppModel;
class QAction;
class QScrollArea;

// The right-hand column: sections "Bild", "Effekt", "Ausgabe" in a scrolling form and the
// action bar below. A thin layer over the model: it shows the model's values, writes edits
// back and calls the model's operations. Files dropped anywhere on it open as pictures.
class InspectorPane : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kWidth = 320;

    explicit InspectorPane(AppModel *model, QWidget *parent = nullptr);

    // "Als HEIC exportieren…" (Ctrl+S), shared with the window's "Datei" menu.
    QAction *exportAction() const { return m_exportAction; }

Q_SIGNALS:
    // A button asked for the settings' Unsplash key field (BaseImageSection).
    void accessKeyRequested();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    AppModel *m_model;
    QScrollArea *m_scroll = nullptr;
    ActionBar *m_actionBar = nullptr;
    QAction *m_exportAction = nullptr;
};
