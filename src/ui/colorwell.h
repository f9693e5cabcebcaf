#pragma once

// The flow style's colour controls. Qt has no button that shows a colour, so each colour row of
// the effect section gets one of these; clicking it opens the colour dialog there.

#include <QAbstractButton>
#include <QColor>

// A small rounded swatch that shows a colour and is clicked to change it.
class ColorWell : public QAbstractButton
{
    Q_OBJECT

public:
    explicit ColorWell(QWidget *parent = nullptr);

    QColor color() const { return m_color; }
    void setColor(const QColor &color);

    QSize sizeHint() const override { return {30, 22}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color;
};
