#include "previewpane.h"

#include "appearanceswitcher.h"
#include "icons.h"
#include "model/appmodel.h"
#include "model/dragfile.h"
#include "model/unsplashsearch.h"
#include "outputprogress.h"
#include "panels.h"
#include "spinner.h"
#include "statuscapsule.h"

#include <QApplication>
#include <QDrag>
#include <QHelpEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace {

constexpr int kSwitcherTop = 18;
constexpr int kShadowBlur = 20;
constexpr int kShadowOffsetY = 10;
constexpr double kShadowOpacity = 0.33;
// The shadow is blurred at a quarter of its size; it is soft enough that nobody can tell.
constexpr int kShadowScale = 4;

// Three box blurs in a row come close to a Gaussian.
void boxBlurAlpha(QImage &image, int radius)
{
    const int w = image.width(), h = image.height();
    std::vector<int> line(size_t(std::max(w, h)));
    auto pass = [&](bool horizontal) {
        const int n = horizontal ? w : h, lines = horizontal ? h : w;
        for (int l = 0; l < lines; ++l) {
            auto at = [&](int i) -> uchar & {
                return horizontal ? image.scanLine(l)[i] : image.scanLine(i)[l];
            };
            for (int i = 0; i < n; ++i)
                line[size_t(i)] = at(i);
            int sum = 0;
            for (int i = -radius; i <= radius; ++i)
                sum += line[size_t(std::clamp(i, 0, n - 1))];
            for (int i = 0; i < n; ++i) {
                at(i) = uchar(sum / (2 * radius + 1));
                sum += line[size_t(std::min(i + radius + 1, n - 1))] -
                       line[size_t(std::max(i - radius, 0))];
            }
        }
    };
    for (int k = 0; k < 3; ++k) {
        pass(true);
        pass(false);
    }
}

} // namespace

PreviewPane::PreviewPane(AppModel *model, QWidget *parent)
    : QWidget(parent), m_model(model), m_empty(new QWidget(this)),
      m_emptyTitle(new QLabel(m_empty)), m_spinner(new Spinner(36, this)),
      m_progress(new OutputProgressPanel(model, this)),
      m_switcher(new AppearanceSwitcher(model, this)), m_capsule(new StatusCapsule(model, this))
{
    setObjectName(QStringLiteral("previewPane"));
    setMinimumSize(200, 200);

    m_empty->setObjectName(QStringLiteral("emptyState"));
    auto *column = new QVBoxLayout(m_empty);
    column->setSpacing(8);
    auto *symbol = new IconLabel(Icon::PhotoAdd, 48, m_empty);
    symbol->setObjectName(QStringLiteral("emptySymbol"));
    symbol->setAlignment(Qt::AlignCenter);
    column->addWidget(symbol);
    m_emptyTitle->setObjectName(QStringLiteral("emptyTitle"));
    m_emptyTitle->setAlignment(Qt::AlignCenter);
    QFont title = m_emptyTitle->font();
    title.setPointSizeF(title.pointSizeF() * 1.45);
    title.setBold(true);
    m_emptyTitle->setFont(title);
    column->addWidget(m_emptyTitle);
    m_emptyDescription = new QLabel(m_empty);
    m_emptyDescription->setObjectName(QStringLiteral("emptyDescription"));
    m_emptyDescription->setAlignment(Qt::AlignCenter);
    m_emptyDescription->setWordWrap(true);
    m_emptyDescription->setForegroundRole(QPalette::PlaceholderText);
    column->addWidget(m_emptyDescription);

    // The ways to a picture that need nothing set up first, where the eye already is.
    column->addSpacing(8);
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addStretch();
    auto *open = new QPushButton(icon(Icon::Folder), QStringLiteral("Datei öffnen…"), m_empty);
    open->setObjectName(QStringLiteral("emptyOpenFileButton"));
    open->setAccessibleDescription(QStringLiteral("Ein Bild von der Festplatte öffnen"));
    connect(open, &QPushButton::clicked, this, [this] { openImagePanel(this, m_model); });
    buttons->addWidget(open);
    m_emptyKeyButton = new QPushButton(QStringLiteral("Unsplash-Key eintragen…"), m_empty);
    m_emptyKeyButton->setObjectName(QStringLiteral("emptyKeyButton"));
    m_emptyKeyButton->setAccessibleDescription(
        QStringLiteral("Die Einstellungen öffnen, um einen Unsplash Access-Key einzutragen"));
    connect(m_emptyKeyButton, &QPushButton::clicked, this, &PreviewPane::accessKeyRequested);
    buttons->addWidget(m_emptyKeyButton);
    buttons->addStretch();
    column->addLayout(buttons);

    m_spinner->setObjectName(QStringLiteral("loadingSpinner"));

    for (auto signal :
         {&AppModel::previewChanged, &AppModel::editingChanged, &AppModel::presetChanged,
          &AppModel::customWidthChanged, &AppModel::customHeightChanged})
        connect(m_model, signal, this, &PreviewPane::follow);
    connect(m_model->loader(), &PictureLoader::isLoadingChanged, this, &PreviewPane::follow);
    connect(m_model->jobs(), &OutputJobs::busyChanged, this, &PreviewPane::follow);
    connect(m_model->dragFile(), &DragFile::isPreparingChanged, this, &PreviewPane::follow);
    connect(m_model->search(), &UnsplashSearch::accessKeyChanged, this, &PreviewPane::follow);
    // Queued: the drag's own event loop must not run inside the model's handler.
    connect(
        m_model->dragFile(), &DragFile::ready, this,
        [this] {
            if (!(QGuiApplication::mouseButtons() & Qt::LeftButton))
                return; // released without the pane hearing it: nothing is dragged
            if (QDrag *drag = makeDrag())
                drag->exec(Qt::CopyAction);
        },
        Qt::QueuedConnection);
    follow();
}

QRectF PreviewPane::fittedRect(const QSizeF &area, qint64 outputWidth, qint64 outputHeight, int top)
{
    const QRectF inner(kMargin, kMargin, area.width() - 2 * kMargin, area.height() - 2 * kMargin);
    if (inner.width() <= 0 || inner.height() <= 0)
        return {};
    const double ratio = double(outputWidth) / double(std::max<qint64>(outputHeight, 1));
    if (!(ratio > 0))
        return {};
    QSizeF size(inner.width(), inner.width() / ratio);
    // Centred in the pane while it clears the reserve above; else just below it.
    const double below = inner.bottom() - std::max<double>(top, kMargin);
    if (below <= 0)
        return {};
    if (size.height() > below)
        size = QSizeF(below * ratio, below);
    QPointF corner = inner.center() - QPointF(size.width() / 2, size.height() / 2);
    corner.setY(std::max<double>(corner.y(), top));
    return QRectF(corner, size);
}

QRect PreviewPane::imageRect() const
{
    if (m_model->preview().isNull())
        return {};
    const auto size = m_model->pixelSize();
    // A tall or square picture would reach under the switcher, whose buttons are never drawn on
    // top of it; a wide one keeps the margins it always had.
    const int top = std::max(kMargin, m_switcher->geometry().bottom() + 1 + kSwitcherTop);
    return fittedRect(QSizeF(this->size()), size.width, size.height, top).toRect();
}

void PreviewPane::follow()
{
    const bool hasPreview = !m_model->preview().isNull();
    m_emptyTitle->setText(QStringLiteral("Kein Bild für „%1“").arg(label(m_model->editing())));
    // Without a key, sending the person to Unsplash would send them to a search that fails.
    const bool keyless = m_model->search()->needsAccessKey();
    m_emptyDescription->setText(
        keyless ? QStringLiteral("Öffne eine Bilddatei oder wähle rechts ein Bild aus Fotos. Für "
                                 "Unsplash-Fotos braucht Voskan zuerst einen Access-Key.")
                : QStringLiteral("Wähle rechts ein Unsplash-Foto, ein Bild aus Fotos oder eine "
                                 "Datei."));
    m_emptyKeyButton->setVisible(keyless);
    m_empty->setVisible(!hasPreview);
    // Output has its own panel with its progress, in the same place.
    m_spinner->setVisible(m_model->isLoadingSource() && !m_model->outputProgress().active);
    layoutOverlays();
    update();
}

void PreviewPane::layoutOverlays()
{
    m_empty->setFixedWidth(std::min(width() - 2 * kMargin, 420));
    m_empty->adjustSize();
    m_empty->move((width() - m_empty->width()) / 2, (height() - m_empty->height()) / 2);
    m_spinner->move((width() - m_spinner->width()) / 2, (height() - m_spinner->height()) / 2);
    m_spinner->raise();
    m_progress->place();
    m_progress->raise();
    m_switcher->adjustSize();
    m_switcher->move((width() - m_switcher->width()) / 2, kSwitcherTop);
    m_switcher->raise();
    m_capsule->place();
    m_capsule->raise();
}

void PreviewPane::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutOverlays();
}

const QImage &PreviewPane::shadowFor(const QSize &size)
{
    if (size == m_shadowSize)
        return m_shadow;
    m_shadowSize = size;
    const int pad = kShadowBlur * 2 / kShadowScale;
    const QSize small(size.width() / kShadowScale + 2 * pad,
                      size.height() / kShadowScale + 2 * pad);
    QImage alpha(small, QImage::Format_Alpha8);
    alpha.fill(0);
    {
        QPainter p(&alpha);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, int(255 * kShadowOpacity)));
        const double r = double(kCornerRadius) / kShadowScale;
        p.drawRoundedRect(QRectF(pad, pad, size.width() / double(kShadowScale),
                                 size.height() / double(kShadowScale)),
                          r, r);
    }
    // A blur radius of 20 is about a Gaussian of σ 10; three boxes of radius r give σ² = r(r+1).
    boxBlurAlpha(alpha, std::max(1, (kShadowBlur / 2) / kShadowScale));
    m_shadow = alpha;
    return m_shadow;
}

void PreviewPane::paintEvent(QPaintEvent *)
{
    const QImage preview = m_model->preview();
    if (preview.isNull())
        return;
    const QRect target = imageRect();
    if (target.isEmpty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);

    const QImage &shadow = shadowFor(target.size());
    const int pad = kShadowBlur * 2;
    painter.drawImage(QRect(target.topLeft() + QPoint(-pad, -pad + kShadowOffsetY),
                            target.size() + QSize(2 * pad, 2 * pad)),
                      shadow);

    QPainterPath clip;
    clip.addRoundedRect(QRectF(target), kCornerRadius, kCornerRadius);
    painter.setClipPath(clip);
    // Stretched to the output's aspect, so a new size shows before the new render arrives.
    painter.drawImage(target, preview);
}

bool PreviewPane::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        if (imageRect().contains(help->pos()))
            QToolTip::showText(help->globalPos(),
                               QStringLiteral("Zum Exportieren in den Dateimanager / auf den "
                                              "Schreibtisch ziehen"),
                               this, imageRect());
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

void PreviewPane::mousePressEvent(QMouseEvent *event)
{
    m_pressedOnImage = event->button() == Qt::LeftButton && imageRect().contains(event->pos());
    m_pressPos = event->pos();
    QWidget::mousePressEvent(event);
}

void PreviewPane::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_pressedOnImage || !(event->buttons() & Qt::LeftButton) ||
        (event->pos() - m_pressPos).manhattanLength() < QApplication::startDragDistance())
        return QWidget::mouseMoveEvent(event);
    m_pressedOnImage = false;
    if (QDrag *drag = makeDrag())
        drag->exec(Qt::CopyAction);
}

void PreviewPane::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_model->dragFile()->cancel();
    QWidget::mouseReleaseEvent(event);
}

QDrag *PreviewPane::makeDrag()
{
    QMimeData *data = m_model->makeDragData();
    if (!data)
        return nullptr;
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    return drag;
}
