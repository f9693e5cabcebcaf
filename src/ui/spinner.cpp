#include "spinner.h"

#include <QDateTime>
#include <QPainter>

#include <cmath>

namespace {
constexpr int kSpokes = 12;
constexpr int kFrameMs = 80;
} // namespace

Spinner::Spinner(int diameter, QWidget *parent) : QWidget(parent), m_diameter(diameter)
{
    setFixedSize(diameter, diameter);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_timer.setInterval(kFrameMs);
    connect(&m_timer, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

int Spinner::currentStep()
{
    return int((QDateTime::currentMSecsSinceEpoch() / kFrameMs) % kSpokes);
}

void Spinner::paintFrame(QPainter &painter, const QRectF &rect, int step, const QColor &color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double radius = std::min(rect.width(), rect.height()) / 2;
    const double width = std::max(1.5, radius * 0.18);
    painter.translate(rect.center());
    for (int i = 0; i < kSpokes; ++i) {
        // The spoke at `step` is darkest; the ones behind it fade out.
        const int age = (step - i + kSpokes) % kSpokes;
        QColor c = color;
        c.setAlphaF(color.alphaF() * (1.0 - age / double(kSpokes)) * 0.85 + 0.1);
        QPen pen(c, width, Qt::SolidLine, Qt::RoundCap);
        painter.setPen(pen);
        const double angle = i * 2 * M_PI / kSpokes;
        const QPointF dir(std::sin(angle), -std::cos(angle));
        painter.drawLine(dir * radius * 0.5, dir * (radius - width / 2));
    }
    painter.restore();
}

void Spinner::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintFrame(painter, rect(), currentStep(), palette().color(QPalette::WindowText));
}

void Spinner::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_timer.start();
}

void Spinner::hideEvent(QHideEvent *event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}
