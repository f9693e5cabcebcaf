#include "outputprogress.h"

#include "model/appmodel.h"
#include "overlaybacking.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// The bar counts in tenths of a percent, so a long step still moves it visibly.
constexpr int kBarSteps = 1000;

} // namespace

OutputProgressPanel::OutputProgressPanel(AppModel *model, QWidget *parent)
    : QWidget(parent), m_model(model), m_step(new QLabel(this)), m_bar(new QProgressBar(this)),
      m_cancel(new QPushButton(QStringLiteral("Abbrechen"), this)),
      m_escape(new QShortcut(QKeySequence(Qt::Key_Escape), parent))
{
    setObjectName(QStringLiteral("outputProgress"));
    setFixedWidth(300);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(18, 14, 18, 14);
    column->setSpacing(8);

    m_step->setObjectName(QStringLiteral("outputProgressStep"));
    m_step->setAlignment(Qt::AlignCenter);
    m_step->setWordWrap(true);
    column->addWidget(m_step);

    m_bar->setObjectName(QStringLiteral("outputProgressBar"));
    m_bar->setRange(0, kBarSteps);
    m_bar->setTextVisible(false);
    m_bar->setFixedHeight(8);
    m_bar->setAccessibleName(QStringLiteral("Fortschritt"));
    column->addWidget(m_bar);

    m_cancel->setObjectName(QStringLiteral("outputCancelButton"));
    m_cancel->setAccessibleDescription(QStringLiteral("Das Schreiben abbrechen (Escape)"));
    m_cancel->setToolTip(QStringLiteral("Abbrechen (Escape)"));
    column->addWidget(m_cancel, 0, Qt::AlignHCenter);
    connect(m_cancel, &QPushButton::clicked, m_model, &AppModel::cancelOutput);

    // Escape anywhere in the window while something can be stopped; otherwise Escape keeps
    // its other meanings (closing a menu, clearing the search).
    m_escape->setContext(Qt::WindowShortcut);
    m_escape->setEnabled(false);
    connect(m_escape, &QShortcut::activated, m_model, &AppModel::cancelOutput);

    connect(m_model, &AppModel::outputProgressChanged, this, &OutputProgressPanel::follow);
    hide();
    follow();
}

void OutputProgressPanel::place()
{
    adjustSize();
    const QWidget *pane = parentWidget();
    move((pane->width() - width()) / 2, (pane->height() - height()) / 2);
}

void OutputProgressPanel::follow()
{
    const AppModel::OutputProgress progress = m_model->outputProgress();
    m_escape->setEnabled(progress.active && progress.cancellable);
    if (!progress.active) {
        if (isVisible()) {
            const bool hadFocus = isAncestorOf(window()->focusWidget());
            hide();
            if (hadFocus && m_focusBefore && m_focusBefore->isEnabled() &&
                m_focusBefore->isVisible())
                m_focusBefore->setFocus(Qt::OtherFocusReason);
        }
        m_focusBefore.clear();
        return;
    }
    const QString step =
        progress.label.isEmpty() ? QStringLiteral("Wallpaper wird geschrieben …") : progress.label;
    const int value = int(std::lround(std::clamp(progress.done, 0.0, 1.0) * kBarSteps));
    m_step->setText(step);
    m_bar->setValue(value);
    // A screen reader hears the step with the share, not a bare number.
    m_bar->setAccessibleDescription(
        QStringLiteral("%1 %2 %").arg(step).arg(std::lround(progress.done * 100)));
    // Greyed out with the keyboard on it, the button would pass it to whatever comes next;
    // the bar keeps it, and says how far, until the panel gives it back.
    if (!progress.cancellable && window()->focusWidget() == m_cancel)
        m_bar->setFocus(Qt::OtherFocusReason);
    m_cancel->setEnabled(progress.cancellable);
    if (!isVisible()) {
        m_focusBefore = window()->focusWidget();
        place();
        show();
        raise();
        // The button that started it is greyed out while it runs; the keyboard goes to the one
        // way on, and back where it was once the panel goes.
        if (progress.cancellable)
            m_cancel->setFocus(Qt::OtherFocusReason);
    }
}

void OutputProgressPanel::paintEvent(QPaintEvent *)
{
    paintOverlayBacking(this, 12);
}
