#include "thumbstrip.h"

#include "icons.h"
#include "inspectorform.h"
#include "spinner.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QWheelEvent>

namespace {

constexpr int kSpinnerDiameter = 16;
constexpr int kFailedIconSize = 20;
static_assert(DynamicThumbModel::kThumbnailSide == 2 * ThumbStrip::kTileSize);

// Paints the tiles; everything a tile shows comes from the model's roles.
class ThumbDelegate : public QStyledItemDelegate
{
public:
    explicit ThumbDelegate(ThumbStrip *strip) : QStyledItemDelegate(strip), m_strip(strip) {}

    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        return {ThumbStrip::kTileSize + ThumbStrip::kSpacing,
                ThumbStrip::kTileSize + 2 * ThumbStrip::kTileMargin + m_strip->captionHeight()};
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        const QRectF tile = ThumbStrip::tileRect(option.rect);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        QPainterPath shape;
        shape.addRoundedRect(tile, ThumbStrip::kCornerRadius, ThumbStrip::kCornerRadius);
        painter->setClipPath(shape);

        const QImage image = index.data(ThumbListModel::ImageRole).value<QImage>();
        if (!image.isNull()) {
            // Aspect fill: the centred square of the picture covers the tile.
            const qreal side = std::min(image.width(), image.height());
            const QRectF source((image.width() - side) / 2, (image.height() - side) / 2, side,
                                side);
            painter->drawImage(tile, image, source);
        } else {
            painter->fillRect(tile, index.data(ThumbListModel::PlaceholderRole).value<QColor>());
            if (index.data(ThumbListModel::FailedRole).toBool()) {
                const QRect iconRect(0, 0, kFailedIconSize, kFailedIconSize);
                icon(Icon::Photo)
                    .paint(painter,
                           iconRect.translated(tile.center().toPoint() - iconRect.center()));
            } else if (index.data(ThumbListModel::LoadingRole).toBool()) {
                QRectF spinner(0, 0, kSpinnerDiameter, kSpinnerDiameter);
                spinner.moveCenter(tile.center());
                QColor color = option.palette.color(QPalette::WindowText);
                color.setAlphaF(0.7f);
                Spinner::paintFrame(*painter, spinner, Spinner::currentStep(), color);
            }
        }
        painter->setClipping(false);
        if (const QString caption = index.data(ThumbListModel::CaptionRole).toString();
            !caption.isEmpty()) {
            const QFont font = m_strip->captionFont();
            const QRect line(option.rect.left(), int(tile.bottom()) + ThumbStrip::kTileMargin,
                             option.rect.width(), m_strip->captionHeight());
            painter->setFont(font);
            painter->setPen(option.palette.color(QPalette::WindowText));
            painter->drawText(line, Qt::AlignHCenter | Qt::AlignTop,
                              QFontMetrics(font).elidedText(caption, Qt::ElideRight, line.width()));
        }
        if (m_strip->isSelected(index.row())) {
            // Inside the edge: the ring must not be cut by the neighbours or the strip.
            const qreal inset = ThumbStrip::kRingWidth / 2;
            painter->setPen(
                QPen(option.palette.color(QPalette::Highlight), ThumbStrip::kRingWidth));
            painter->setBrush(Qt::NoBrush);
            painter->drawRoundedRect(tile.adjusted(inset, inset, -inset, -inset),
                                     ThumbStrip::kCornerRadius - inset,
                                     ThumbStrip::kCornerRadius - inset);
        }
        if (option.state & QStyle::State_HasFocus) {
            // Outside the tile and in the text colour, so it reads on any picture, on any
            // palette, and beside the accent ring of the chosen one.
            const qreal out = ThumbStrip::kFocusRingGap + ThumbStrip::kFocusRingWidth / 2;
            painter->setPen(
                QPen(option.palette.color(QPalette::WindowText), ThumbStrip::kFocusRingWidth));
            painter->setBrush(Qt::NoBrush);
            painter->drawRoundedRect(tile.adjusted(-out, -out, out, out),
                                     ThumbStrip::kCornerRadius + out,
                                     ThumbStrip::kCornerRadius + out);
        }
        painter->restore();
    }

private:
    ThumbStrip *m_strip;
};

} // namespace

// --- ThumbStrip ---------------------------------------------------------------------------

ThumbStrip::ThumbStrip(ThumbListModel *model, QWidget *parent) : QListView(parent), m_model(model)
{
    m_model->setParent(this);
    setModel(m_model);
    setItemDelegate(new ThumbDelegate(this));
    setViewMode(QListView::ListMode);
    setFlow(QListView::LeftToRight);
    setWrapping(false);
    setUniformItemSizes(true);
    setSpacing(0);
    setMovement(QListView::Static);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleDescription(
        QStringLiteral("←/→ geht durch die Bilder, Eingabe oder Leertaste wählt eines"));
    // A click picks a tile where it lies; only the keyboard brings a tile into view.
    setAutoScroll(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // A bar with arrow buttons under 52 px tiles is more bar than strip; wheel and drag
    // scroll instead.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(kStripHeight + captionHeight());

    m_visibleTimer.setSingleShot(true);
    m_visibleTimer.setInterval(0);
    connect(&m_visibleTimer, &QTimer::timeout, this, &ThumbStrip::updateVisibleRows);
    m_spinnerTimer.setInterval(kSpinnerFrameMs);
    connect(&m_spinnerTimer, &QTimer::timeout, viewport(), qOverload<>(&QWidget::update));

    connect(m_model, &QAbstractItemModel::modelReset, this, &ThumbStrip::scheduleVisibleUpdate);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &ThumbStrip::scheduleVisibleUpdate);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &ThumbStrip::scheduleVisibleUpdate);
    connect(m_model, &QAbstractItemModel::layoutChanged, this, &ThumbStrip::scheduleVisibleUpdate);
    connect(m_model, &QAbstractItemModel::dataChanged, this, &ThumbStrip::updateAnimation);
    // A pick may reorder the list (the recent files): the keyboard goes on from the chosen one.
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        if (hasFocus())
            goToChosen();
    });
}

void ThumbStrip::setSelectionProvider(std::function<std::optional<QString>()> provider)
{
    m_selection = std::move(provider);
    viewport()->update();
}

bool ThumbStrip::isSelected(int row) const
{
    if (!m_selection)
        return false;
    const std::optional<QString> selected = m_selection();
    return selected &&
           m_model->index(row).data(ThumbListModel::IdentityRole).toString() == *selected;
}

void ThumbStrip::refresh()
{
    viewport()->update();
}

QRectF ThumbStrip::tileRect(const QRect &cell)
{
    return {cell.left() + kSpacing / 2.0, qreal(cell.top() + kTileMargin), qreal(kTileSize),
            qreal(kTileSize)};
}

QModelIndex ThumbStrip::homeIndex() const
{
    const std::optional<QString> chosen = m_selection ? m_selection() : std::nullopt;
    for (int row = 0; chosen && row < m_model->rowCount(); ++row) {
        const QModelIndex index = m_model->index(row);
        if (index.data(ThumbListModel::IdentityRole).toString() == *chosen)
            return index;
    }
    return m_model->index(0);
}

void ThumbStrip::goToChosen()
{
    const QModelIndex home = homeIndex();
    setCurrentIndex(home);
    scrollTo(home);
}

void ThumbStrip::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    QListView::scrollTo(index, hint);
    if (!index.isValid() || hint != EnsureVisible)
        return;
    // Flush with an edge the tile would sit in that edge's fade: keep it clear of it.
    const QRect cell = visualRect(index);
    const int width = viewport()->width();
    const int room = std::clamp((width - cell.width()) / 2, 0, int(kFadeWidth));
    QScrollBar *bar = horizontalScrollBar();
    if (cell.left() < room)
        bar->setValue(bar->value() - (room - cell.left()));
    else if (cell.right() >= width - room)
        bar->setValue(bar->value() + cell.right() + 1 - (width - room));
}

QFont ThumbStrip::captionFont() const
{
    return InspectorSection::smallFont(font());
}

int ThumbStrip::captionHeight() const
{
    return m_model->hasCaptions() ? QFontMetrics(captionFont()).height() : 0;
}

QSize ThumbStrip::sizeHint() const
{
    return {kTileSize * 5, height()};
}

QSize ThumbStrip::minimumSizeHint() const
{
    return {kTileSize + kSpacing, height()};
}

void ThumbStrip::scrollContentsBy(int dx, int dy)
{
    QListView::scrollContentsBy(dx, dy);
    // The fades stay at the edges while the tiles move under them: no pixels are shifted.
    viewport()->update();
    scheduleVisibleUpdate();
}

void ThumbStrip::resizeEvent(QResizeEvent *event)
{
    QListView::resizeEvent(event);
    scheduleVisibleUpdate();
}

void ThumbStrip::showEvent(QShowEvent *event)
{
    QListView::showEvent(event);
    scheduleVisibleUpdate();
}

void ThumbStrip::hideEvent(QHideEvent *event)
{
    QListView::hideEvent(event);
    scheduleVisibleUpdate();
}

void ThumbStrip::updateGeometries()
{
    QListView::updateGeometries();
    viewport()->update(); // the scroll range decides the fades
    scheduleVisibleUpdate();
}

void ThumbStrip::wheelEvent(QWheelEvent *event)
{
    // A mouse wheel only turns vertically; whichever way it turns, the strip moves sideways,
    // a tile per notch: QListView's three lines would skip past most of a narrow strip.
    const QPoint pixels = event->pixelDelta();
    const QPoint angle = event->angleDelta();
    int delta = 0;
    if (!pixels.isNull())
        delta = std::abs(pixels.x()) > std::abs(pixels.y()) ? pixels.x() : pixels.y();
    else
        delta = (std::abs(angle.x()) > std::abs(angle.y()) ? angle.x() : angle.y()) *
                (kTileSize + kSpacing) / QWheelEvent::DefaultDeltasPerStep;
    QScrollBar *bar = horizontalScrollBar();
    const int before = bar->value();
    bar->setValue(before - delta);
    // At either end the wheel belongs to the inspector around the strip.
    event->setAccepted(bar->value() != before);
}

void ThumbStrip::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_pressPos = event->position().toPoint();
    m_pressScroll = horizontalScrollBar()->value();
    m_dragging = false;
}

void ThumbStrip::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_pressPos || !(event->buttons() & Qt::LeftButton)) {
        QListView::mouseMoveEvent(event);
        return;
    }
    const QPoint moved = event->position().toPoint() - *m_pressPos;
    if (!m_dragging && moved.manhattanLength() < QApplication::startDragDistance())
        return;
    if (!m_dragging) {
        m_dragging = true;
        viewport()->setCursor(Qt::ClosedHandCursor);
    }
    horizontalScrollBar()->setValue(m_pressScroll - moved.x());
}

void ThumbStrip::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_pressPos) {
        event->ignore();
        return;
    }
    const QModelIndex pressed = indexAt(*m_pressPos);
    const bool click =
        !m_dragging && pressed.isValid() && indexAt(event->position().toPoint()) == pressed;
    if (m_dragging)
        viewport()->unsetCursor();
    m_pressPos.reset();
    m_dragging = false;
    if (click) {
        setCurrentIndex(pressed); // the keyboard goes on from here
        Q_EMIT tileClicked(pressed.row());
    }
}

void ThumbStrip::keyPressEvent(QKeyEvent *event)
{
    const int rows = m_model->rowCount();
    const QModelIndex current = currentIndex();
    // With Ctrl, Alt or Meta a key belongs to a shortcut or a menu.
    if (rows == 0 ||
        event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        event->ignore();
        return;
    }
    // Without a current tile (focus came by a click beside the tiles) the first key finds the
    // tile to start from.
    int row = current.isValid() ? current.row() : homeIndex().row();
    const int forward = isRightToLeft() ? -1 : 1;
    switch (event->key()) {
    case Qt::Key_Left:
        row -= current.isValid() ? forward : 0;
        break;
    case Qt::Key_Right:
        row += current.isValid() ? forward : 0;
        break;
    case Qt::Key_Home:
        row = 0;
        break;
    case Qt::Key_End:
        row = rows - 1;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        setCurrentIndex(m_model->index(row));
        Q_EMIT tileClicked(row);
        return;
    default:
        // Up and Down, the page keys and letters are the inspector's, which scrolls.
        event->ignore();
        return;
    }
    const QModelIndex next = m_model->index(std::clamp(row, 0, rows - 1));
    setCurrentIndex(next);
    scrollTo(next);
}

void ThumbStrip::focusInEvent(QFocusEvent *event)
{
    const bool hadCurrent = currentIndex().isValid();
    QListView::focusInEvent(event);
    // Arriving by keyboard starts at the chosen picture; a click sets its own tile on release,
    // and coming back to the window keeps where the keys had got to.
    const Qt::FocusReason reason = event->reason();
    const bool byKeyboard = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                            reason == Qt::ShortcutFocusReason;
    if (byKeyboard || (!hadCurrent && reason != Qt::MouseFocusReason))
        goToChosen();
}

void ThumbStrip::paintEvent(QPaintEvent *event)
{
    QListView::paintEvent(event);
    // Tiles beyond an edge: the tiles fade into the window there, an end has a hard edge.
    const QScrollBar *bar = horizontalScrollBar();
    const bool before = bar->value() > bar->minimum();
    const bool after = bar->value() < bar->maximum();
    if (!before && !after)
        return;
    QPainter painter(viewport());
    const QColor window = palette().color(QPalette::Window);
    QColor clear = window;
    clear.setAlpha(0);
    const int width = viewport()->width();
    const int fade = std::min(int(kFadeWidth), width / 2);
    const auto paintFade = [&](int edge, int inner) {
        QLinearGradient gradient(edge, 0, inner, 0);
        gradient.setColorAt(0, window);
        gradient.setColorAt(1, clear);
        painter.fillRect(QRect(std::min(edge, inner), 0, fade, viewport()->height()), gradient);
    };
    if (before)
        paintFade(0, fade);
    if (after)
        paintFade(width, width - fade);
}

void ThumbStrip::scheduleVisibleUpdate()
{
    // Coalesced: a scroll or a reset reports many changes in one go, and the layout of a
    // reset model is only done on a later turn.
    m_visibleTimer.start();
}

void ThumbStrip::updateVisibleRows()
{
    int first = -1, last = -1;
    const int rows = m_model->rowCount();
    if (isVisible() && rows > 0 && viewport()->width() > 0) {
        executeDelayedItemsLayout();
        const int y = std::min(viewport()->height() - 1, kTileMargin + kTileSize / 2);
        const QModelIndex left = indexAt(QPoint(0, y));
        const QModelIndex right = indexAt(QPoint(viewport()->width() - 1, y));
        if (left.isValid()) {
            first = left.row();
            last = right.isValid() ? right.row() : rows - 1;
        }
    }
    if (first != m_model->firstVisibleRow() || last != m_model->lastVisibleRow())
        m_model->setVisibleRows(first, last);
    updateAnimation();
}

void ThumbStrip::updateAnimation()
{
    bool loading = false;
    const int first = m_model->firstVisibleRow();
    if (first >= 0) {
        for (int row = first; row <= m_model->lastVisibleRow() && !loading; ++row)
            loading = m_model->index(row).data(ThumbListModel::LoadingRole).toBool();
    }
    if (loading && !m_spinnerTimer.isActive())
        m_spinnerTimer.start();
    else if (!loading)
        m_spinnerTimer.stop();
}
