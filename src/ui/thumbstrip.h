#pragma once

// The thumbnail strips of the section "Bild" — Unsplash hits, recent files, an album's pictures —
// share one view and differ in their list models (thumbmodels.h). Pictures are asked for only as
// tiles come on screen, so scrolling through a long list fetches what is looked at.

#include "thumbmodels.h"

#include <QListView>
#include <QTimer>

#include <functional>
#include <optional>

// One row of rounded square tiles without a scroll bar: the wheel (either direction) and a
// drag with the left button scroll it sideways, a click picks a tile. Only the tiles on
// screen load; the one whose identity matches the selection wears a ring in the accent colour.
// From the keyboard the strip is one stop in the Tab chain: Left/Right/Home/End walk the tiles,
// which wear a ring in the text colour around them, and Return, Enter or Space pick one. An
// edge with more tiles beyond it fades out, so a strip that scrolls says so.
class ThumbStrip : public QListView
{
    Q_OBJECT

public:
    static constexpr int kTileSize = 52;
    static constexpr int kTileMargin = 3; // above and below each tile
    static constexpr int kSpacing = 8;
    static constexpr int kStripHeight = 60;
    static constexpr qreal kCornerRadius = 8;
    static constexpr qreal kRingWidth = 2.5;
    // The keyboard's ring lies around the tile, a gap away, within the margins and the
    // spacing (half of it left and right of each tile).
    static constexpr qreal kFocusRingWidth = 2;
    static constexpr qreal kFocusRingGap = 1;
    static constexpr int kFadeWidth = 24;
    static constexpr int kSpinnerFrameMs = 80;

    // Takes ownership of `model`.
    explicit ThumbStrip(ThumbListModel *model, QWidget *parent = nullptr);

    ThumbListModel *thumbModel() const { return m_model; }
    // Asked at painting time for the identity of the chosen picture.
    void setSelectionProvider(std::function<std::optional<QString>()> provider);
    bool isSelected(int row) const;
    // Repaints the tiles, e.g. after the selection changed.
    void refresh();
    // The line under each tile where the model has captions, else 0 high.
    QFont captionFont() const;
    int captionHeight() const;
    // Whether painted spinners are turning now.
    bool isAnimating() const { return m_spinnerTimer.isActive(); }
    // Where a tile is drawn in its cell: centred across, so the spacing either side holds the
    // keyboard's ring.
    static QRectF tileRect(const QRect &cell);

    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void tileClicked(int row);

protected:
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void updateGeometries() override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // The chosen picture's row, else the first; invalid for an empty strip.
    QModelIndex homeIndex() const;
    // Makes the chosen tile (else the first) the current one, in view.
    void goToChosen();
    void scheduleVisibleUpdate();
    void updateVisibleRows();
    void updateAnimation();

    ThumbListModel *m_model;
    std::function<std::optional<QString>()> m_selection;
    QTimer m_visibleTimer;
    QTimer m_spinnerTimer;
    // A left-button press: where, and the scroll position then. It picks the tile under it
    // on release unless it moved far enough to become a drag that scrolls the strip.
    std::optional<QPoint> m_pressPos;
    int m_pressScroll = 0;
    bool m_dragging = false;
};
