#pragma once

// What the person sees while a wallpaper is being written — an export, a set, the file a drag
// waits for: how far it is, the step it is in, and a way to stop it. It floats over the
// preview where a spinner would turn, since the preview is what is being written.

#include <QPointer>
#include <QWidget>

class AppModel;
class QLabel;
class QProgressBar;
class QPushButton;
class QShortcut;

class OutputProgressPanel : public QWidget
{
    Q_OBJECT

public:
    explicit OutputProgressPanel(AppModel *model, QWidget *parent);

    // Its place in the pane: centred. The pane calls this when it is resized.
    void place();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void follow();

    AppModel *m_model;
    QLabel *m_step;
    QProgressBar *m_bar;
    QPushButton *m_cancel;
    QShortcut *m_escape;
    // Where the keyboard was when the panel took it, given back when the panel goes.
    QPointer<QWidget> m_focusBefore;
};
