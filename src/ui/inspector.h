#pragma once

#include <QWidget>

class AppModel;
class QAction;

// The right-hand column: sections "Bild", "Effekt", "Ausgabe" and the action bar.
class InspectorPane : public QWidget
{
    Q_OBJECT

public:
    explicit InspectorPane(AppModel *model, QWidget *parent = nullptr);

    // "Als HEIC exportieren…" (Ctrl+S), shared with the window's "Datei" menu.
    QAction *exportAction() const { return m_exportAction; }

private:
    AppModel *m_model;
    QAction *m_exportAction = nullptr;
};
