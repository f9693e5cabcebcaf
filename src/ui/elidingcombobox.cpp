#include "elidingcombobox.h"

#include <QAbstractItemView>
#include <QStyleOptionComboBox>
#include <QStylePainter>

QString ElidingComboBox::elided(const QString &text, int width) const
{
    const QFontMetrics metrics = fontMetrics();
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    // "Name — 6016 × 3384": the size after the dash is what tells entries apart, so it stays
    // whole and the name gives way.
    const qsizetype dash = text.lastIndexOf(QStringLiteral(" \u2014 "));
    if (dash > 0) {
        const QString tail = text.mid(dash);
        const int room = width - metrics.horizontalAdvance(tail);
        if (room > metrics.horizontalAdvance(QStringLiteral("MMM")))
            return metrics.elidedText(text.left(dash), Qt::ElideRight, room) + tail;
    }
    return metrics.elidedText(text, Qt::ElideMiddle, width);
}

void ElidingComboBox::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect text =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    option.currentText = elided(option.currentText, text.width());
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

void ElidingComboBox::showPopup()
{
    int widest = width();
    for (int i = 0; i < count(); ++i)
        widest = std::max(widest, fontMetrics().horizontalAdvance(itemText(i)) + 48);
    view()->setMinimumWidth(widest);
    QComboBox::showPopup();
}
