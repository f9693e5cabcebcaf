#pragma once

// One busy indicator for the whole window: the search, the preview and the thumbnail tiles all
// use it, the tiles painting its frames themselves, so every spinner looks and turns alike.

#include <QTimer>
#include <QWidget>

// An indeterminate progress indicator: a ring of fading spokes that turns while shown.
class Spinner : public QWidget
{
    Q_OBJECT

public:
    explicit Spinner(int diameter, QWidget *parent = nullptr);
    QSize sizeHint() const override { return {m_diameter, m_diameter}; }

    // Draws one frame into `rect`; also used by tiles that paint their own spinner.
    static void paintFrame(QPainter &painter, const QRectF &rect, int step, const QColor &color);
    // The frame a painted spinner should show now, so all spinners turn together.
    static int currentStep();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    int m_diameter;
    QTimer m_timer;
};
