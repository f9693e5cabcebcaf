#include "appearanceswitcher.h"

#include "icons.h"
#include "model/appmodel.h"

#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QToolButton>

namespace {
constexpr int kSegmentsWidth = 150;
}

AppearanceSwitcher::AppearanceSwitcher(AppModel *model, QWidget *parent)
    : QWidget(parent), m_model(model), m_segments(new QButtonGroup(this))
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);

    // A segmented control: two joined, exclusive buttons.
    auto *segments = new QWidget(this);
    segments->setObjectName(QStringLiteral("appearanceSegments"));
    segments->setFixedWidth(kSegmentsWidth);
    auto *segmentRow = new QHBoxLayout(segments);
    segmentRow->setContentsMargins(0, 0, 0, 0);
    segmentRow->setSpacing(0);
    const auto &cases = allCases<Appearance>();
    for (int i = 0; i < int(cases.size()); ++i) {
        auto *button = new QPushButton(label(cases[i]), segments);
        button->setObjectName(QStringLiteral("appearance_") + rawValue(cases[i]));
        button->setCheckable(true);
        button->setAccessibleDescription(
            QStringLiteral("Das Bild für die %1 Darstellung bearbeiten; ←/→ wechselt")
                .arg(cases[i] == Appearance::Light ? QStringLiteral("helle")
                                                   : QStringLiteral("dunkle")));
        button->setFocusPolicy(Qt::TabFocus);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        const bool first = i == 0, last = i == int(cases.size()) - 1;
        button->setStyleSheet(
            QStringLiteral("QPushButton { padding: 4px 0; border: 1px solid palette(mid);"
                           " background: palette(button); color: palette(button-text);"
                           " border-top-left-radius: %1px; border-bottom-left-radius: %1px;"
                           " border-top-right-radius: %2px; border-bottom-right-radius: %2px;"
                           " %3 }"
                           "QPushButton:checked { background: palette(highlight);"
                           " color: palette(highlighted-text); border-color: palette(highlight); }"
                           // The chosen half is already in the accent colour: its focus ring
                           // is drawn in the text colour instead.
                           "QPushButton:focus { border: 2px solid palette(highlight);"
                           " padding: 3px 0; outline: none; }"
                           "QPushButton:checked:focus { border-color: palette(window-text); }")
                .arg(first ? 7 : 0)
                .arg(last ? 7 : 0)
                .arg(first ? QString() : QStringLiteral("border-left: none;")));
        m_segments->addButton(button, i);
        segmentRow->addWidget(button);
    }
    row->addWidget(segments);
    connect(m_segments, &QButtonGroup::idClicked, this,
            [this](int id) { m_model->setEditing(allCases<Appearance>().at(id)); });

    m_copy = new QToolButton(this);
    m_copy->setObjectName(QStringLiteral("copyLookButton"));
    m_copy->setIcon(icon(Icon::Copy));
    m_copy->setIconSize(QSize(16, 16));
    m_copy->setAutoRaise(true);
    styleCopyButton();
    row->addWidget(m_copy);
    connect(m_copy, &QToolButton::clicked, m_model, &AppModel::copyCurrentLookToOther);

    for (auto signal :
         {&AppModel::editingChanged, &AppModel::lightLookChanged, &AppModel::darkLookChanged})
        connect(m_model, signal, this, &AppearanceSwitcher::sync);
    sync();
}

void AppearanceSwitcher::styleCopyButton()
{
    // A round translucent backing that reacts to the pointer, as the glass buttons do: the
    // field's colour over the picture, its edge in the text colour. Style sheets know no
    // translucent palette colours, so they are written out.
    const auto glass = [this](QPalette::ColorRole role, int alpha) {
        const QColor c = palette().color(role);
        return QStringLiteral("rgba(%1,%2,%3,%4)")
            .arg(c.red())
            .arg(c.green())
            .arg(c.blue())
            .arg(alpha);
    };
    m_copy->setStyleSheet(
        QStringLiteral("QToolButton { padding: 8px; border-radius: 16px; background: %1;"
                       " border: 1px solid %2; }"
                       "QToolButton:hover { background: %3; }"
                       "QToolButton:pressed { background: %4; }"
                       "QToolButton:disabled { background: %5; }"
                       "QToolButton:focus { border: 2px solid palette(highlight); padding: 7px; }")
            .arg(glass(QPalette::Base, 140), glass(QPalette::WindowText, 30),
                 glass(QPalette::Base, 200), glass(QPalette::Midlight, 220),
                 glass(QPalette::Base, 80)));
}

void AppearanceSwitcher::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        styleCopyButton();
    QWidget::changeEvent(event);
}

void AppearanceSwitcher::sync()
{
    const auto &cases = allCases<Appearance>();
    for (int i = 0; i < int(cases.size()); ++i)
        m_segments->button(i)->setChecked(cases[i] == m_model->editing());
    m_copy->setEnabled(AppModel::lookHasContent(m_model->currentLook()));
    const QString copy =
        QStringLiteral("Auf „%1“ übernehmen").arg(label(other(m_model->editing())));
    m_copy->setToolTip(copy);
    m_copy->setAccessibleName(copy);
}
