// The public face of the render engine and the orchestration of one job: a recipe is
// dispatched to the flow kernel or to a sampled plan, whose strips run on the thread pool and
// hand finished rows of linear light to a sink — the output encoding for a render, a running
// sum for an area average. The pieces live next door: threadpool, preparedcache (the shrunk,
// blurred copies of photos), sampledplan/sampledstrip/mirrorfold, flowstrip, and kernels for
// the per-pixel loops.

#include "rendercontext.h"

#include "imagerecipe.h"
#include "kernels.h"
#include "planarimage.h"
#include "preparedcache.h"
#include "rendercolor.h"
#include "renderinternals.h"
#include "sampledplan.h"
#include "threadpool.h"

#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

using namespace RenderInternals;

struct RenderContext::Private
{
    explicit Private(int threads) : pool(threads) {}

    ThreadPool pool;
    PreparedCache cache;
};

struct RenderJob
{
    // Evaluates every row of `rect` in linear light, in parallel strips.
    static bool evaluate(RenderContext &context, const ImageRecipe &r, const QRect &rect,
                         const RowSink &sink)
    {
        if (rect.isEmpty())
            return false;
        if (r.kind == ImageRecipe::Kind::Flow) {
            evaluateFlow(context, r.flow, rect, sink);
            return true;
        }
        if (r.source.isNull())
            return false;
        SampledPlan plan;
        plan.recipe = &r;
        buildSampledPlan(context, plan, rect,
                         [](RenderContext &c, const Bitmap &b, int f, double s) {
                             return c.shrunkSource(b, f, s);
                         });
        context.parallelFor(stripCount(rect.height()), [&](int strip) {
            const StripSpan span = stripSpan(strip, rect.height());
            evaluateSampledStrip(plan, span.first, span.count, sink);
        });
        return true;
    }
};

RenderContext::RenderContext(int threadCount)
{
    if (threadCount <= 0)
        threadCount = int(std::max(1u, std::thread::hardware_concurrency()));
    m_d = std::make_unique<Private>(threadCount - 1);
}

RenderContext::~RenderContext() = default;

int RenderContext::threadCount() const
{
    return m_d->pool.size();
}

void RenderContext::parallelFor(int count, const std::function<void(int)> &body)
{
    m_d->pool.run(count, body);
}

QRect RenderContext::pixelRect(const QRectF &rect)
{
    const double x = rect.x(), y = rect.y(), w = rect.width(), h = rect.height();
    if (!(w >= 1) || !(h >= 1) || !std::isfinite(x) || !std::isfinite(y) || !std::isfinite(w) ||
        !std::isfinite(h))
        return {};
    // A hair of tolerance so 1800.0000000002 stays 1800 pixels.
    const double x0 = std::floor(x + 1e-6), y0 = std::floor(y + 1e-6);
    const double x1 = std::ceil(x + w - 1e-6), y1 = std::ceil(y + h - 1e-6);
    const double pw = x1 - x0, ph = y1 - y0;
    if (pw > kMaxSide || ph > kMaxSide || pw * ph > double(kMaxPixels) || std::abs(x0) > 1e9 ||
        std::abs(y0) > 1e9)
        return {};
    return QRect(int(x0), int(y0), int(pw), int(ph));
}

Bitmap RenderContext::createBitmap(const Image &image, const QRectF &rect, PixelFormat format)
{
    const QRect r = pixelRect(rect);
    if (image.isNull() || r.isEmpty())
        return {};
    PixelBuffer buffer = PixelBuffer::allocate(r.width(), r.height(), format);
    if (buffer.isNull() || !render(image, r.topLeft(), buffer))
        return {};
    return Bitmap(std::move(buffer));
}

bool RenderContext::render(const Image &image, QPoint origin, PixelBuffer &target)
{
    if (image.isNull() || target.isNull())
        return false;
    const ImageRecipe &r = *image.recipe();
    const QRect rect(origin, QSize(target.width(), target.height()));
    const float amp = r.dither > 0 ? r.dither * Kernels::kDitherScale : 0.f;
    const bool deep = target.format() == PixelFormat::Rgba16;
    // Half of a flow picture is its flat bands.
    const bool runs = r.kind == ImageRecipe::Kind::Flow;
    return RenderJob::evaluate(
        *this, r, rect,
        [&](int row, int y, int x, int n, const float *cr, const float *cg, const float *cb) {
            if (deep)
                Kernels::encodeRow16(cr, cg, cb, n, rect.x() + x, y, amp,
                                     reinterpret_cast<uint16_t *>(target.scanLine(row)) + 4 * x,
                                     runs);
            else
                Kernels::encodeRow8(cr, cg, cb, n, rect.x() + x, y, amp,
                                    target.scanLine(row) + 4 * x, runs);
        });
}

std::optional<std::array<uint8_t, 3>> RenderContext::areaAverage(const Image &image,
                                                                 const QRectF &rect)
{
    if (image.isNull())
        return std::nullopt;
    const QRectF area = rect.intersected(image.extent());
    if (!(area.width() > 0) || !(area.height() > 0))
        return std::nullopt;
    const double x0 = std::floor(area.left()), y0 = std::floor(area.top());
    const double x1 = std::ceil(area.right()), y1 = std::ceil(area.bottom());
    if ((x1 - x0) * (y1 - y0) > double(kMaxPixels))
        return std::nullopt;
    const QRect pixels(int(x0), int(y0), int(x1 - x0), int(y1 - y0));
    const auto coverage = [](int p, double lo, double hi) {
        return std::max(0.0, std::min(double(p + 1), hi) - std::max(double(p), lo));
    };
    std::vector<double> wx(pixels.width());
    for (int i = 0; i < pixels.width(); ++i)
        wx[i] = coverage(pixels.x() + i, area.left(), area.right());
    std::vector<std::array<double, 3>> rowSums(pixels.height());
    const ImageRecipe &r = *image.recipe();
    // A row may come in spans; each adds to its row's sum.
    const auto sumRow = [&](int row, int y, int x, int n, const float *cr, const float *cg,
                            const float *cb) {
        const double wy = coverage(y, area.top(), area.bottom());
        std::array<double, 3> sum{0, 0, 0};
        for (int i = 0; i < n; ++i) {
            sum[0] += wx[x + i] * cr[i];
            sum[1] += wx[x + i] * cg[i];
            sum[2] += wx[x + i] * cb[i];
        }
        for (int c = 0; c < 3; ++c)
            rowSums[row][c] += sum[c] * wy;
    };
    // A picture as it is (the palette's case) is read straight from its rows, without the
    // resampling pass: its pixels are the image.
    const bool plain = r.kind == ImageRecipe::Kind::Sampled && r.stage == ImageRecipe::Source &&
                       r.scale == 1 && r.tx == 0 && r.ty == 0 && !r.mirror && !r.colorControls;
    if (plain) {
        const Bitmap &src = r.source;
        parallelFor(pixels.height(), [&](int row) {
            const int y = pixels.y() + pixels.height() - 1 - row; // lower-left row
            const int line = src.height() - 1 - y;
            Scratch &s = threadScratch();
            s.planes.resize(std::size_t(src.width()) * 3);
            float *lr = s.planes.data(), *lg = lr + src.width(), *lb = lg + src.width();
            if (src.isDeep())
                Kernels::linearizeRow16(reinterpret_cast<const uint16_t *>(src.constScanLine(line)),
                                        src.width(), lr, lg, lb);
            else
                Kernels::linearizeRow8(src.constScanLine(line), src.width(), lr, lg, lb);
            sumRow(row, y, 0, pixels.width(), lr + pixels.x(), lg + pixels.x(), lb + pixels.x());
        });
    }
    const bool ok = plain || RenderJob::evaluate(*this, r, pixels, sumRow);
    if (!ok)
        return std::nullopt;
    std::array<double, 3> total{0, 0, 0};
    for (const auto &s : rowSums)
        for (int c = 0; c < 3; ++c)
            total[c] += s[c];
    const double areaSize = area.width() * area.height();
    std::array<uint8_t, 3> out{};
    for (int c = 0; c < 3; ++c) {
        const double v = linearToSrgb(std::clamp(total[c] / areaSize, 0.0, 1.0));
        out[c] = uint8_t(std::lround(v * 255));
    }
    return out;
}

std::shared_ptr<const PlanarImage> RenderContext::shrunkSource(const Bitmap &source, int factor,
                                                               double sigma)
{
    const RenderInternals::PreparedKey key{source.cacheKey(), factor, sigma};
    if (std::shared_ptr<const PlanarImage> cached = m_d->cache.find(key))
        return cached;
    std::shared_ptr<const PlanarImage> prepared =
        RenderInternals::shrinkAndBlur(*this, source, factor, sigma);
    m_d->cache.insert(key, prepared);
    return prepared;
}

void RenderContext::setCacheLimit(std::size_t bytes)
{
    m_d->cache.setLimit(bytes);
}

std::size_t RenderContext::cacheBytes() const
{
    return m_d->cache.bytes();
}

void RenderContext::clearCache()
{
    m_d->cache.clear();
}
