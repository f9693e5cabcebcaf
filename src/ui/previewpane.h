#pragma once

// The left half of the window: the wallpaper as it will look, and the place it is dragged out
// from. It draws the preview itself — in the output's aspect, with rounded corners and a shadow —
// and lays out the widgets that float over it.

#include <QImage>
#include <QPoint>
#include <QWidget>

class AppModel;
class AppearanceSwitcher;
class OutputProgressPanel;
class QDrag;
class QLabel;
class QPushButton;
class Spinner;
class StatusCapsule;

// The left of the window: the preview of the look being edited, shown in the output's aspect
// and dragged out as the wallpaper file, or an empty state naming the appearance without a
// picture, with buttons for the ways to one; the appearance switcher floats at its top, the
// status capsule at its bottom.
class PreviewPane : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kMargin = 40;
    static constexpr int kCornerRadius = 16;

    explicit PreviewPane(AppModel *model, QWidget *parent = nullptr);

    // Where the preview picture is drawn: the output's aspect fitted into the pane inside the
    // margin and below the appearance switcher. Empty without a preview.
    QRect imageRect() const;
    // The same for any pane size and output size, `top` pixels kept free above; the height
    // counts as at least 1.
    static QRectF fittedRect(const QSizeF &area, qint64 outputWidth, qint64 outputHeight,
                             int top = kMargin);
    // What a drag out of the preview does before it runs: the drag with the prepared file, or
    // with empty data when nothing can be exported; nothing while the file is being written
    // (the spinner turns, and the drag starts when it is ready if the button is still held).
    QDrag *makeDrag();

Q_SIGNALS:
    // The empty state's „Unsplash-Key eintragen…“: the window opens the settings at the key.
    void accessKeyRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool event(QEvent *event) override;

private:
    void follow();
    void layoutOverlays();
    const QImage &shadowFor(const QSize &size);

    AppModel *m_model;
    QWidget *m_empty;
    QLabel *m_emptyTitle;
    QLabel *m_emptyDescription = nullptr;
    QPushButton *m_emptyKeyButton = nullptr;
    Spinner *m_spinner;
    OutputProgressPanel *m_progress;
    AppearanceSwitcher *m_switcher;
    StatusCapsule *m_capsule;
    QPoint m_pressPos;
    bool m_pressedOnImage = false;
    QImage m_shadow;
    QSize m_shadowSize;
};
