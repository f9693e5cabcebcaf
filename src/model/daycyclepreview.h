#pragma once

// „Tagesverlauf“ while it is being made: how many pictures the output has (none for the
// light/dark pair), the strip of those pictures with the times each begins today, and the one
// picked to look at in the preview. The pictures are mixed from the two looks as the output's
// would be, small for the strip and at preview size for the one picked. A part of the model,
// on the main thread.

#include "model/daycyclefile.h"
#include "model/look.h"

#include <QImage>
#include <QObject>
#include <QSizeF>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <optional>

class DayCyclePreview : public QObject
{
    Q_OBJECT

public:
    // What the pictures are made of, as it is when they are made: the two looks and the
    // preview's size.
    struct Frame
    {
        const Look &light;
        const Look &dark;
        QSizeF preview;
    };
    using FrameSource = std::function<Frame()>;

    // A moment after the preview, so a drag of a slider does not wait for the strip.
    static constexpr int kThumbnailDelayMs = 250;

    explicit DayCyclePreview(FrameSource frame, QObject *parent = nullptr);

    // The pictures of the day cycle the output is, or 0 for the light/dark pair.
    int count() const { return m_count; }
    void setCount(int pictures);
    // With a day cycle, its pictures as the strip shows them: small, from the night to the day
    // (DayCycle::Plan::dayOrder), and a line for each with today's times at the user's place.
    // Empty for the pair; the pictures also until they are made.
    QList<QImage> thumbnails() const { return m_thumbnails; }
    // and under each its first time.
    PictureLines lines() const;
    // The strip's picture `index` in the preview instead of the look edited, until hide();
    // -1 for none.
    int shownPicture() const { return m_shown; }
    void show(int index);
    void hide();
    // The picture shown, at `size`; none while none is shown or a look renders nothing.
    std::optional<Bitmap> shownPictureAt(QSizeF size) const;
    // The preview was rendered anew: the strip follows once the looks are still.
    void previewRendered();

Q_SIGNALS:
    // count(), the thumbnails, the labels or the picture shown changed.
    void changed();
    // count() changed: what the output writes is of another kind.
    void countChanged();
    // The preview is to show another picture.
    void previewWanted();

private:
    // The pictures at `places` of the strip, mixed from the two looks rendered at `size`.
    QList<Bitmap> pictures(QSizeF size, const QList<int> &places) const;
    void renderThumbnails();

    FrameSource m_frame;
    int m_count = 0;
    int m_shown = -1;
    QList<QImage> m_thumbnails;
    QTimer m_thumbnailTimer;
};
