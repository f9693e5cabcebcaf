#include "daycyclepreview.h"

#include "day/daycycle.h"
#include "day/dayschedule.h"
#include "model/daycyclefile.h"
#include "model/renderpipeline.h"
#include "model/usersettings.h"

#include <numeric>

DayCyclePreview::DayCyclePreview(FrameSource frame, QObject *parent)
    : QObject(parent), m_frame(std::move(frame))
{
    m_thumbnailTimer.setSingleShot(true);
    m_thumbnailTimer.setInterval(kThumbnailDelayMs);
    connect(&m_thumbnailTimer, &QTimer::timeout, this, &DayCyclePreview::renderThumbnails);
}

void DayCyclePreview::setCount(int pictures)
{
    m_count = std::max(pictures, 0);
    m_shown = -1;
    m_thumbnails.clear();
    Q_EMIT changed();
    Q_EMIT countChanged();
}

PictureLines DayCyclePreview::lines() const
{
    if (m_count <= 0)
        return {};
    return DayCycleFile::pictureLines(DayCycle::plan(m_count), QDate::currentDate(),
                                      localTimeZone(), userLocation());
}

void DayCyclePreview::show(int index)
{
    if (m_count <= 0 || index < 0 || index >= DayCycle::plan(m_count).altitudes.size())
        return;
    m_shown = index;
    Q_EMIT changed();
    Q_EMIT previewWanted();
}

void DayCyclePreview::hide()
{
    if (m_shown < 0)
        return;
    m_shown = -1;
    Q_EMIT changed();
}

std::optional<Bitmap> DayCyclePreview::shownPictureAt(QSizeF size) const
{
    if (m_count <= 0 || m_shown < 0)
        return std::nullopt;
    const QList<Bitmap> shown = pictures(size, {m_shown});
    return shown.isEmpty() ? std::nullopt : std::optional(shown.first());
}

void DayCyclePreview::previewRendered()
{
    if (m_count > 0)
        m_thumbnailTimer.start();
}

QList<Bitmap> DayCyclePreview::pictures(QSizeF size, const QList<int> &places) const
{
    const Frame frame = m_frame();
    const auto day = RenderPipeline::renderLook(frame.light, size, false);
    const auto night = RenderPipeline::renderLook(frame.dark, size, false);
    if (!day || !night || day->size() != night->size())
        return {};
    const DayCycle::Plan plan = DayCycle::plan(m_count);
    const QList<int> order = plan.dayOrder();
    QList<Bitmap> made;
    for (int place : places)
        made << DayCycleFile::picture(plan, *day, *night, order.value(place), frame.light.dither);
    return made;
}

void DayCyclePreview::renderThumbnails()
{
    m_thumbnails.clear();
    if (m_count > 0) {
        const qreal side = DayCycleFile::kThumbnailSide;
        const QSizeF size = m_frame().preview.scaled(side, side, Qt::KeepAspectRatioByExpanding);
        QList<int> places(DayCycle::plan(m_count).altitudes.size());
        std::iota(places.begin(), places.end(), 0);
        for (const Bitmap &picture : pictures(size, places))
            m_thumbnails << picture.toImage();
    }
    Q_EMIT changed();
}
