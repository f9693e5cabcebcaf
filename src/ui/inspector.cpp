#include "inspector.h"

#include "actionbar.h"
#include "basesection.h"
#include "effectsection.h"
#include "files/regularfile.h"
#include "model/appmodel.h"
#include "outputsection.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QMimeData>
#include <QMimeDatabase>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

InspectorPane::InspectorPane(AppModel *model, QWidget *parent) : QWidget(parent), m_model(model)
{
    setObjectName(QStringLiteral("inspector"));
    setFixedWidth(kWidth);
    setAcceptDrops(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *form = new QWidget;
    form->setObjectName(QStringLiteral("inspectorForm"));
    auto *sections = new QVBoxLayout(form);
    sections->setContentsMargins(0, 0, 0, 0);
    sections->setSpacing(0);
    auto *image = new BaseImageSection(m_model, form);
    connect(image, &BaseImageSection::accessKeyRequested, this, &InspectorPane::accessKeyRequested);
    sections->addWidget(image);
    sections->addWidget(new EffectSection(m_model, form));
    sections->addWidget(new OutputSection(m_model, form));
    sections->addStretch();

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("inspectorScroll"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scroll->setWidgetResizable(true);
    // The controls inside take the keyboard; the area itself would be a Tab stop that shows
    // nothing. It still follows the focus, scrolling each control into view.
    m_scroll->setFocusPolicy(Qt::NoFocus);
    // The form lies on the window's own background, not on a field-coloured viewport.
    m_scroll->setBackgroundRole(QPalette::Window);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_scroll->setWidget(form);
    form->setAutoFillBackground(false);
    layout->addWidget(m_scroll, 1);

    auto *divider = new QFrame(this);
    divider->setObjectName(QStringLiteral("actionBarDivider"));
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setFixedHeight(1);
    divider->setForegroundRole(QPalette::Mid);
    layout->addWidget(divider);

    m_actionBar = new ActionBar(m_model, this);
    m_actionBar->setObjectName(QStringLiteral("actionBar"));
    layout->addWidget(m_actionBar);

    m_exportAction = m_actionBar->exportAction();
    // Ctrl+S works with the menu closed only if the action belongs to a widget in the window.
    addAction(m_exportAction);
}

void InspectorPane::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void InspectorPane::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void InspectorPane::dropEvent(QDropEvent *event)
{
    // What a file is comes from its content, not from a name that may lie; a file that is no
    // picture is passed over without a word, the pictures open in the order dropped. What
    // cannot even be read as a file (a FIFO, a folder, a device) goes on to be told why.
    const QMimeDatabase types;
    QStringList pictures;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        const RegularFile file(path);
        // As much as the shared MIME database's magic looks at.
        const std::optional<QByteArray> head = file.read(0, 16 * 1024);
        if (!head || types.mimeTypeForData(*head).name().startsWith(QLatin1String("image/")))
            pictures << path;
    }
    event->acceptProposedAction();
    m_model->openLocalImages(pictures);
}
