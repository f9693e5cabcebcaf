#include "doubleslider.h"

#include <QSignalBlocker>

#include <cmath>

DoubleSlider::DoubleSlider(double minimum, double maximum, QWidget *parent)
    : QSlider(Qt::Horizontal, parent), m_minimum(minimum), m_maximum(maximum)
{
    setRange(0, kSteps);
    setSingleStep(kSteps / 100);
    setPageStep(kSteps / 10);
    setTickPosition(QSlider::NoTicks);
    setFocusPolicy(Qt::StrongFocus);
    // Showing blocks this signal, so whatever arrives here was moved by the user.
    connect(this, &QSlider::valueChanged, this,
            [this](int step) { Q_EMIT valueEdited(valueForStep(step)); });
}

void DoubleSlider::showValue(double value)
{
    const QSignalBlocker blocker(this);
    setValue(stepForValue(value));
}

double DoubleSlider::valueForStep(int step) const
{
    // The ends are given exactly, not computed, so the maximum is reachable bit for bit.
    if (step <= 0)
        return m_minimum;
    if (step >= kSteps)
        return m_maximum;
    return m_minimum + (m_maximum - m_minimum) * double(step) / double(kSteps);
}

int DoubleSlider::stepForValue(double value) const
{
    if (std::isnan(value) || m_maximum <= m_minimum)
        return 0;
    const double position = (value - m_minimum) / (m_maximum - m_minimum) * kSteps;
    if (position <= 0)
        return 0;
    if (position >= kSteps)
        return kSteps;
    return int(std::lround(position));
}
