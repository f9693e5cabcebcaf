#pragma once

// The render engine's one way in: the styles describe lazy Images, and this evaluates them. The
// kernels, the sampled plan, the prepared cache and the thread pool behind it are its
// implementation, kept out of this header so a style sees nothing of the engine but this and
// image.h.

#include "bitmap.h"
#include "image.h"

#include <QRect>
#include <QRectF>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

struct PlanarImage;

// Evaluates lazy images. One per process (BlurProcessor::context()); safe for concurrent use.
// A render is one pass over the output rectangle, split into strips across worker threads;
// only small prepared data (a source's box-shrunk, blurred copy) is ever materialised, and
// that is kept in a bounded cache keyed by the source bitmap, which never changes.
class RenderContext
{
public:
    // Renders larger than this (pixels, or pixels per side) yield nothing rather than
    // exhausting memory.
    static constexpr int64_t kMaxPixels = 200'000'000;
    static constexpr int kMaxSide = 65535;

    explicit RenderContext(int threadCount = 0);
    ~RenderContext();
    RenderContext(const RenderContext &) = delete;
    RenderContext &operator=(const RenderContext &) = delete;

    // Renders `rect` (image coordinates, rounded out to whole pixels) into a new bitmap whose
    // first row is the top of the rectangle. Null when the image is null or the size invalid.
    Bitmap createBitmap(const Image &image, const QRectF &rect, PixelFormat format);
    // Renders into an existing buffer, whose size and format give the rectangle's size and
    // the pixel format; the rectangle starts at `origin`. Lets callers reuse a buffer.
    bool render(const Image &image, QPoint origin, PixelBuffer &target);

    // The exact area average of `rect` in linear light, encoded to 8-bit sRGB.
    std::optional<std::array<uint8_t, 3>> areaAverage(const Image &image, const QRectF &rect);

    int threadCount() const;
    // Runs body(i) for i in [0, count) on the workers and the calling thread; returns when all
    // are done.
    void parallelFor(int count, const std::function<void(int)> &body);

    void setCacheLimit(std::size_t bytes);
    std::size_t cacheBytes() const;
    void clearCache();

    // The rectangle in whole pixels that `rect` covers; empty when invalid or too large.
    static QRect pixelRect(const QRectF &rect);

private:
    friend struct RenderJob;
    std::shared_ptr<const PlanarImage> shrunkSource(const Bitmap &source, int factor, double sigma);

    struct Private;
    std::unique_ptr<Private> m_d;
};
