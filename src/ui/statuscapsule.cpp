#include "statuscapsule.h"

#include "icons.h"
#include "model/appmodel.h"
#include "overlaybacking.h"

#include <QEasingCurve>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>

StatusCapsule::StatusCapsule(AppModel *model, QWidget *parent)
    : QWidget(parent), m_model(model), m_symbol(new IconLabel(Icon::Done, 16, this)),
      m_text(new QLabel(this)), m_opacity(new QGraphicsOpacityEffect(this)),
      m_animation(new QParallelAnimationGroup(this))
{
    setObjectName(QStringLiteral("statusCapsule"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(14, 8, 14, 8);
    row->setSpacing(6);
    row->addWidget(m_symbol);
    m_text->setObjectName(QStringLiteral("statusText"));
    QFont font = m_text->font();
    font.setPointSizeF(font.pointSizeF() * 1.05);
    m_text->setFont(font);
    row->addWidget(m_text);
    setGraphicsEffect(m_opacity);

    // Eased out with no overshoot, as a critically damped spring settles.
    auto *slide = new QPropertyAnimation(this, "pos", m_animation);
    slide->setDuration(kAnimationMs);
    slide->setEasingCurve(QEasingCurve::OutCubic);
    auto *fade = new QPropertyAnimation(m_opacity, "opacity", m_animation);
    fade->setDuration(kAnimationMs);
    fade->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_animation, &QAbstractAnimation::finished, this, [this] {
        if (m_leaving) {
            hide();
            m_presented = false;
            m_leaving = false;
        }
    });

    connect(m_model, &AppModel::statusMessageChanged, this, &StatusCapsule::follow);
    hide();
    follow();
}

QPoint StatusCapsule::restingPos() const
{
    const QWidget *pane = parentWidget();
    return {(pane->width() - width()) / 2, pane->height() - height() - kBottomMargin};
}

void StatusCapsule::place()
{
    adjustSize();
    if (m_animation->state() != QAbstractAnimation::Running && isVisible())
        move(restingPos());
}

void StatusCapsule::follow()
{
    const auto message = m_model->statusMessage();
    if (message) {
        // A newer message while shown replaces the text where it stands.
        m_text->setText(*message);
        adjustSize();
        if (!m_presented || m_leaving) {
            m_presented = true;
            animate(true);
        } else if (m_animation->state() != QAbstractAnimation::Running) {
            move(restingPos());
        }
    } else if (m_presented) {
        animate(false);
    }
}

void StatusCapsule::animate(bool in)
{
    // Turning round mid-way goes on from where the capsule is, not from below.
    const bool turning = in && m_leaving && m_animation->state() == QAbstractAnimation::Running;
    m_animation->stop();
    m_leaving = !in;
    const QPoint rest = restingPos();
    const QPoint below(rest.x(), parentWidget()->height());
    auto *slide = static_cast<QPropertyAnimation *>(m_animation->animationAt(0));
    auto *fade = static_cast<QPropertyAnimation *>(m_animation->animationAt(1));
    // Leaving starts from wherever an interrupted entrance got to.
    slide->setStartValue(in && !turning ? below : pos());
    slide->setEndValue(in ? rest : below);
    fade->setStartValue(in && !turning ? 0.0 : m_opacity->opacity());
    fade->setEndValue(in ? 1.0 : 0.0);
    if (in && !turning) {
        move(below);
        m_opacity->setOpacity(0.0);
        show();
        raise();
    }
    m_animation->start();
}

void StatusCapsule::paintEvent(QPaintEvent *)
{
    // Fully rounded ends.
    paintOverlayBacking(this, height() / 2.0);
}
