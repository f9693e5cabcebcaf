#include "actionbar.h"

#include "icons.h"
#include "model/appmodel.h"
#include "panels.h"

#include <QAction>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

namespace {

constexpr int kBarHeight = 32;

} // namespace

ActionBar::ActionBar(AppModel *model, QWidget *parent) : QWidget(parent), m_model(model)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->setSpacing(10);

    m_saveToPhotos =
        new QAction(icon(Icon::PhotoLibrary), QStringLiteral("In Fotos sichern"), this);
    m_saveToPhotos->setObjectName(QStringLiteral("saveToPhotosAction"));
    connect(m_saveToPhotos, &QAction::triggered, this, [this] { m_model->saveToPhotosLibrary(); });

    m_exportAction = new QAction(icon(Icon::Export), QStringLiteral("Als HEIC exportieren…"), this);
    m_exportAction->setObjectName(QStringLiteral("exportAction"));
    m_exportAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    m_exportAction->setShortcutContext(Qt::WindowShortcut);
    connect(m_exportAction, &QAction::triggered, this,
            [this] { exportWithPanel(window(), m_model); });

    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("exportMenu"));
    menu->addAction(m_saveToPhotos);
    menu->addAction(m_exportAction);

    m_exportButton = new QToolButton(this);
    m_exportButton->setObjectName(QStringLiteral("exportButton"));
    m_exportButton->setIcon(icon(Icon::Export));
    m_exportButton->setToolTip(QStringLiteral("Exportieren"));
    m_exportButton->setAccessibleName(QStringLiteral("Exportieren"));
    m_exportButton->setMenu(menu);
    m_exportButton->setPopupMode(QToolButton::InstantPopup);
    m_exportButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_exportButton->setFixedSize(kBarHeight + 6, kBarHeight);
    m_exportButton->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
    layout->addWidget(m_exportButton);

    // White on the accent colour; in the text colour on the grey of a disabled button.
    const QIcon desktop =
        tinted(icon(Icon::Desktop), QPalette::HighlightedText, QPalette::WindowText);
    m_setDesktop = new QPushButton(desktop, QStringLiteral("Als Schreibtisch setzen"), this);
    m_setDesktop->setObjectName(QStringLiteral("setDesktopButton"));
    m_setDesktop->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_setDesktop->setFixedHeight(kBarHeight);
    m_setDesktop->setStyleSheet(
        QStringLiteral("QPushButton#setDesktopButton { background: palette(highlight);"
                       " color: palette(highlighted-text); border: none; border-radius: 7px;"
                       " padding: 0 12px; font-weight: 600; }"
                       "QPushButton#setDesktopButton:pressed { background: palette(dark); }"
                       // The ring replaces the style's dotted focus lines inside the padding.
                       "QPushButton#setDesktopButton:focus { border: 2px solid"
                       " palette(window-text); padding: 0 10px; outline: none; }"
                       // Greyed out, but still legible: the button says what it would do.
                       "QPushButton#setDesktopButton:disabled { background: palette(button);"
                       " color: palette(window-text); border: 1px solid palette(mid); }"));
    connect(m_setDesktop, &QPushButton::clicked, this, [this] { m_model->setAsDesktop(); });
    layout->addWidget(m_setDesktop, 1);

    // The blocker follows both looks and the size; the export state is followed too so the
    // bar is right again the moment an export ends.
    connect(m_model, &AppModel::lightLookChanged, this, &ActionBar::sync);
    connect(m_model, &AppModel::darkLookChanged, this, &ActionBar::sync);
    connect(m_model, &AppModel::editingChanged, this, &ActionBar::sync);
    connect(m_model, &AppModel::presetChanged, this, &ActionBar::sync);
    connect(m_model, &AppModel::customWidthChanged, this, &ActionBar::sync);
    connect(m_model, &AppModel::customHeightChanged, this, &ActionBar::sync);
    connect(m_model->jobs(), &OutputJobs::busyChanged, this, &ActionBar::sync);
    sync();
}

void ActionBar::sync()
{
    // While one export runs the model ignores the next; a control that does nothing is worse
    // than one that waits.
    // A greyed-out button says why, to the pointer and to a screen reader.
    const std::optional<QString> blocker = m_model->exportBlocker();
    const bool can = !blocker;
    m_exportButton->setEnabled(can);
    m_setDesktop->setEnabled(can);
    m_exportAction->setEnabled(can);
    m_saveToPhotos->setEnabled(can);
    m_exportButton->setToolTip(blocker.value_or(QStringLiteral("Exportieren")));
    m_setDesktop->setToolTip(blocker.value_or(QString()));
    m_exportButton->setAccessibleDescription(
        blocker.value_or(QStringLiteral("Als HEIC-Datei exportieren oder in Fotos sichern")));
    m_setDesktop->setAccessibleDescription(
        blocker.value_or(QStringLiteral("Das Wallpaper auf allen Bildschirmen setzen")));
}
