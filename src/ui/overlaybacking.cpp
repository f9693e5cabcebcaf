#include "overlaybacking.h"

#include <QPainter>
#include <QWidget>

void paintOverlayBacking(QWidget *widget, qreal radius)
{
    QPainter painter(widget);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(widget->rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QColor fill = widget->palette().color(QPalette::Base);
    fill.setAlphaF(0.93);
    // An edge in the text colour: dark on the light backing, light on the dark one.
    QColor edge = widget->palette().color(QPalette::WindowText);
    edge.setAlpha(40);
    painter.setPen(QPen(edge, 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(r, radius, radius);
}
