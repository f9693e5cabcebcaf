#include "inspectorform.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

InspectorSection::InspectorSection(const QString &title, QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 10);
    layout->setSpacing(8);
    auto *header = new QLabel(title, this);
    QFont font = smallFont(header->font());
    font.setBold(true);
    header->setFont(font);
    header->setObjectName(QStringLiteral("sectionHeader"));
    layout->addWidget(header);
    m_rows = new QVBoxLayout;
    m_rows->setSpacing(6);
    layout->addLayout(m_rows);
}

QWidget *InspectorSection::addRow(const QString &label, QWidget *control)
{
    auto *row = new QWidget(this);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    auto *text = new QLabel(label, row);
    text->setFixedWidth(kLabelWidth);
    text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    if (!label.isEmpty())
        text->setBuddy(control);
    layout->addWidget(text);
    control->setParent(row);
    layout->addWidget(control, 1);
    m_rows->addWidget(row);
    return row;
}

QWidget *InspectorSection::addWideRow(QWidget *content)
{
    content->setParent(this);
    m_rows->addWidget(content);
    return content;
}

QFont InspectorSection::smallFont(const QFont &base)
{
    QFont font = base;
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * 0.85);
    else
        font.setPixelSize(qMax(9, qRound(font.pixelSize() * 0.85)));
    return font;
}

void InspectorSection::makeSecondary(QLabel *label)
{
    // QLabel draws its text in its foreground role; the placeholder colour is the palette's
    // own muted text colour, right in light and dark themes alike.
    label->setForegroundRole(QPalette::PlaceholderText);
}
