#pragma once

// The effect section's controls are sliders over doubles, and QSlider knows only ints. The mapping,
// and keeping a value shown apart from a value edited, are done once here for all of them.

#include <QSlider>

// A continuous horizontal slider over a range of doubles, mapped onto kSteps integer steps so
// that no reachable value is further than 1/kSteps of the range from the next one.
// Showing a value never reports it back: valueEdited() comes from the user only, so a value
// outside the range shows at the nearest end without being clamped in the model.
class DoubleSlider : public QSlider
{
    Q_OBJECT

public:
    static constexpr int kSteps = 10000;

    DoubleSlider(double minimum, double maximum, QWidget *parent = nullptr);

    double minimumValue() const { return m_minimum; }
    double maximumValue() const { return m_maximum; }
    // The value the handle stands at now.
    double doubleValue() const { return valueForStep(value()); }
    void showValue(double value);

    double valueForStep(int step) const;
    // The nearest step; values outside the range (and infinities) go to the nearest end, NaN to
    // the start.
    int stepForValue(double value) const;

Q_SIGNALS:
    void valueEdited(double value);

private:
    double m_minimum;
    double m_maximum;
};
