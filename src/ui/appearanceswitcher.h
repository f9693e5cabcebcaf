#pragma once

// Which appearance the window edits, chosen where its result is seen: on the preview, not in the
// inspector. A widget of its own because it floats over the preview pane, which places it.

#include <QWidget>

class AppModel;
class QButtonGroup;
class QToolButton;

// Floats at the top of the preview: which appearance is edited, and copying its look over.
class AppearanceSwitcher : public QWidget
{
    Q_OBJECT

public:
    explicit AppearanceSwitcher(AppModel *model, QWidget *parent = nullptr);

protected:
    void changeEvent(QEvent *event) override;

private:
    void sync();
    void styleCopyButton();

    AppModel *m_model;
    QButtonGroup *m_segments;
    QToolButton *m_copy;
};
