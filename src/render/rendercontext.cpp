#include "rendercontext.h"

#include "imagerecipe.h"
#include "kernels.h"
#include "planarimage.h"
#include "rendercolor.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------
// Worker threads

thread_local bool insideWorker = false;

class ThreadPool
{
public:
    explicit ThreadPool(int threads)
    {
        for (int i = 0; i < threads; ++i)
            m_threads.emplace_back([this] { workerLoop(); });
    }

    ~ThreadPool()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        for (auto &t : m_threads)
            t.join();
    }

    int size() const { return int(m_threads.size()) + 1; }

    void run(int count, const std::function<void(int)> &body)
    {
        // Nested or concurrent callers (a preview while an export renders) run on their own
        // thread instead of waiting for the pool.
        std::unique_lock busy(m_runMutex, std::try_to_lock);
        if (!busy.owns_lock() || insideWorker || m_threads.empty() || count <= 1) {
            for (int i = 0; i < count; ++i)
                body(i);
            return;
        }
        {
            std::lock_guard lock(m_mutex);
            m_body = &body;
            m_count = count;
            m_next.store(0);
            m_active = int(m_threads.size());
            ++m_generation;
        }
        m_wake.notify_all();
        work(body, count);
        std::unique_lock lock(m_mutex);
        m_done.wait(lock, [this] { return m_active == 0; });
        m_body = nullptr;
    }

private:
    void work(const std::function<void(int)> &body, int count)
    {
        for (int i = m_next.fetch_add(1); i < count; i = m_next.fetch_add(1))
            body(i);
    }

    void workerLoop()
    {
        insideWorker = true;
        uint64_t seen = 0;
        for (;;) {
            const std::function<void(int)> *body;
            int count;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [&] { return m_stop || m_generation != seen; });
                if (m_stop)
                    return;
                seen = m_generation;
                body = m_body;
                count = m_count;
            }
            work(*body, count);
            std::lock_guard lock(m_mutex);
            if (--m_active == 0)
                m_done.notify_all();
        }
    }

    std::vector<std::thread> m_threads;
    std::mutex m_runMutex;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    const std::function<void(int)> *m_body = nullptr;
    int m_count = 0;
    std::atomic<int> m_next{0};
    int m_active = 0;
    uint64_t m_generation = 0;
    bool m_stop = false;
};

// ---------------------------------------------------------------------------------------------
// Resampling kernels and tables

enum class KernelShape { CatmullRom, Gaussian };

struct ResampleKernel
{
    KernelShape shape = KernelShape::CatmullRom;
    double stretch = 1; // CatmullRom: widened by this factor when shrinking
    double sigma = 1;   // Gaussian, in prepared-image pixels

    double support() const
    {
        switch (shape) {
        case KernelShape::CatmullRom:
            return 2 * stretch;
        case KernelShape::Gaussian:
            return 4 * sigma;
        }
        return 2;
    }

    double weight(double d) const
    {
        d = std::abs(d);
        switch (shape) {
        case KernelShape::CatmullRom:
            d /= stretch;
            if (d < 1)
                return 1.5 * d * d * d - 2.5 * d * d + 1;
            if (d < 2)
                return -0.5 * d * d * d + 2.5 * d * d - 4 * d + 2;
            return 0;
        case KernelShape::Gaussian:
            return d < 4 * sigma ? std::exp(-d * d / (2 * sigma * sigma)) : 0;
        }
        return 0;
    }
};

// For each output coordinate: `taps` clamped input indices and normalised weights.
struct TapTable
{
    int taps = 0;
    std::vector<int> index;
    std::vector<float> weights;

    template <typename Coordinate>
    void build(int count, Coordinate coordinate, int inputSize, const ResampleKernel &kernel)
    {
        const double support = kernel.support();
        taps = std::max(1, int(std::ceil(2 * support)));
        index.assign(std::size_t(count) * taps, 0);
        weights.assign(std::size_t(count) * taps, 0.f);
        std::vector<double> w(taps);
        for (int i = 0; i < count; ++i) {
            const double t = coordinate(i);
            const double first = std::floor(t - support) + 1;
            double sum = 0;
            for (int k = 0; k < taps; ++k) {
                w[k] = kernel.weight(first + k - t);
                sum += w[k];
            }
            int *ix = &index[std::size_t(i) * taps];
            float *wt = &weights[std::size_t(i) * taps];
            for (int k = 0; k < taps; ++k) {
                const double p = first + k;
                ix[k] = int(std::clamp(p, 0.0, double(inputSize - 1)));
                wt[k] = sum > 0 ? float(w[k] / sum) : (k == 0 ? 1.f : 0.f);
            }
            if (sum <= 0)
                ix[0] = int(std::clamp(std::round(t), 0.0, double(inputSize - 1)));
        }
    }
};

inline float clampf(float v, float a, float b)
{
    return v < a ? a : (v > b ? b : v);
}

inline float mixf(float a, float b, float t)
{
    return a * (1 - t) + b * t;
}

inline float smoothstepf(float e0, float e1, float v)
{
    const float d = e1 - e0;
    const float t = d != 0 ? clampf((v - e0) / d, 0, 1) : (v >= e0 ? 1.f : 0.f);
    return t * t * (3 - 2 * t);
}

inline float waveAt(float freq, float phase, float nx)
{
    return std::sin(freq * 6.2831853f * nx + phase) +
           0.25f * std::sin(2.0f * freq * 6.2831853f * nx + phase * 1.6f);
}

// ---------------------------------------------------------------------------------------------
// Rows of linear light, produced strip by strip

using RowSink = std::function<void(int row, int y, const float *r, const float *g, const float *b)>;

constexpr int kStripRows = 128;

struct Scratch
{
    std::vector<float> planes; // three rows of the output width
    std::vector<float> sourceRow;
    std::vector<std::vector<float>> h1Pool;
    std::vector<int> h1Slot;
    std::vector<const float *> tapRows;
    std::vector<float> foldRows;
};

thread_local Scratch scratch;

} // namespace

struct PreparedKey
{
    uint64_t bitmap;
    int factor;
    double sigma;
    bool operator==(const PreparedKey &) const = default;
};

struct RenderContext::Private
{
    explicit Private(int threads) : pool(threads) {}

    ThreadPool pool;
    std::mutex cacheMutex;
    std::list<std::pair<PreparedKey, std::shared_ptr<const PlanarImage>>> cache; // newest first
    std::size_t cacheLimit = std::size_t(256) << 20;
    std::size_t cacheBytes = 0;

    void trimCache()
    {
        while (cacheBytes > cacheLimit && !cache.empty()) {
            cacheBytes -= cache.back().second->bytes();
            cache.pop_back();
        }
    }
};

namespace {

constexpr double kMaxSigmaSides = 4;

// Box-shrinks a source in linear light by an integer factor, with `pad` blocks of continued
// edge pixels on every side, then blurs it with a Gaussian of `sigma` blocks (edges clamped).
std::shared_ptr<PlanarImage> shrinkAndBlur(RenderContext &context, const Bitmap &source, int factor,
                                           double sigma)
{
    const int w = source.width();
    const int h = source.height();
    const int radius = sigma > 0 ? int(std::ceil(4 * sigma)) : 0;
    const int pad = sigma > 0 ? radius + 2 : 2;
    auto out = std::make_shared<PlanarImage>();
    out->factor = factor;
    out->pad = pad;
    const int blocksX = (w + factor - 1) / factor;
    const int blocksY = (h + factor - 1) / factor;
    out->width = blocksX + 2 * pad;
    out->height = blocksY + 2 * pad;
    out->pixels.assign(std::size_t(out->width) * out->height * 3, 0.f);

    const bool deep = source.isDeep();
    // One block row: the mean of `rows` source rows starting at `firstRow` (clamped to the
    // source) over each block column, with block columns outside the source clamped too.
    auto blockRow = [&](int by, int firstRow, int rows) {
        // Column sums over the rows first (a vectorised pass per row), then each block's
        // columns once: summing block by block per row would be a long serial chain.
        std::vector<float> columns(std::size_t(w) * 3, 0.f);
        float *cr = columns.data(), *cg = cr + w, *cb = cg + w;
        for (int k = 0; k < rows; ++k) {
            const int sy = std::clamp(firstRow + k, 0, h - 1);
            if (deep)
                Kernels::accumulateLinear16(
                    reinterpret_cast<const uint16_t *>(source.constScanLine(sy)), w, cr, cg, cb);
            else
                Kernels::accumulateLinear8(source.constScanLine(sy), w, cr, cg, cb);
        }
        const double norm = 1.0 / (double(rows) * factor);
        for (int c = 0; c < 3; ++c) {
            const float *col = columns.data() + std::size_t(c) * w;
            float *dst = out->row(c, by);
            for (int bx = 0; bx < out->width; ++bx) {
                const int x0 = (bx - pad) * factor;
                double sum = 0;
                if (x0 >= 0 && x0 + factor <= w) {
                    for (int x = x0; x < x0 + factor; ++x)
                        sum += col[x];
                } else {
                    for (int x = x0; x < x0 + factor; ++x)
                        sum += col[std::clamp(x, 0, w - 1)];
                }
                dst[bx] = float(sum * norm);
            }
        }
    };
    context.parallelFor(blocksY + 2, [&](int i) {
        if (i < blocksY)
            blockRow(pad + i, i * factor, factor);
        else if (i == blocksY)
            blockRow(0, 0, 1); // every block row above the source repeats its first row
        else
            blockRow(out->height - 1, h - 1, 1); // and below, its last row
    });
    for (int by = 1; by < pad; ++by)
        for (int c = 0; c < 3; ++c)
            std::copy_n(out->row(c, 0), out->width, out->row(c, by));
    for (int by = pad + blocksY; by < out->height - 1; ++by)
        for (int c = 0; c < 3; ++c)
            std::copy_n(out->row(c, out->height - 1), out->width, out->row(c, by));

    if (radius > 0) {
        std::vector<float> kernel(2 * radius + 1);
        double sum = 0;
        for (int i = -radius; i <= radius; ++i)
            sum += kernel[i + radius] = float(std::exp(-double(i) * i / (2 * sigma * sigma)));
        for (float &k : kernel)
            k = float(k / sum);
        const int W = out->width, H = out->height;
        std::vector<float> tmp(std::size_t(W) * H * 3);
        // Horizontal pass into tmp, vertical pass back.
        context.parallelFor(H * 3, [&](int job) {
            const int c = job / H, y = job % H;
            const float *src = out->row(c, y);
            float *dst = tmp.data() + (std::size_t(c) * H + y) * W;
            for (int x = 0; x < W; ++x) {
                float s = 0;
                for (int i = -radius; i <= radius; ++i)
                    s += kernel[i + radius] * src[std::clamp(x + i, 0, W - 1)];
                dst[x] = s;
            }
        });
        context.parallelFor(H * 3, [&](int job) {
            const int c = job / H, y = job % H;
            float *dst = out->row(c, y);
            std::fill(dst, dst + W, 0.f);
            for (int i = -radius; i <= radius; ++i) {
                const float k = kernel[i + radius];
                const float *src =
                    tmp.data() + (std::size_t(c) * H + std::clamp(y + i, 0, H - 1)) * W;
                for (int x = 0; x < W; ++x)
                    dst[x] += k * src[x];
            }
        });
    }
    return out;
}

// How a sampled recipe is evaluated: from which prepared rows, with which kernel.
struct SampledPlan
{
    const ImageRecipe *recipe = nullptr;
    std::shared_ptr<const PlanarImage> planar; // null: rows come straight from the bitmap
    int inputWidth = 0;
    int inputHeight = 0;
    double factor = 1;
    double pad = 0;
    ResampleKernel kernel;

    QRect rect;
    int vRow0 = 0; // image row of the first vertical table entry
    int vRows = 0;
    TapTable horizontal;
    TapTable vertical;

    bool hasColor = false;
    float cm[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float co[3] = {0, 0, 0};

    bool hasMirror = false;
    int clampRow0 = 0;
    int clampRow1 = 0;
    std::vector<float> curveY;
    std::vector<float> halfWidth;
    float dark = 1;
    float foldTop = 0; // below this image y no pixel of a row is folded... above it none is
};

// Blur of sigma ≥ 6 source pixels: box-shrink by about sigma/6, exact Gaussian on the small
// image and Catmull-Rom back up. The box's and the Gaussian's variances add up to sigma².
// Smaller blurs and unblurred sources resample the source itself, with a Gaussian or a
// Catmull-Rom kernel widened to prefilter when the output is smaller than the source.
void choosePrepared(RenderContext &context, SampledPlan &plan,
                    std::shared_ptr<const PlanarImage> (*shrunk)(RenderContext &, const Bitmap &,
                                                                 int, double))
{
    const ImageRecipe &r = *plan.recipe;
    // Past a few source sides a blur only blends the same edge pixels further: 4 sides leave
    // the shrunk copy two blocks wide, while a larger sigma would overflow the block sizes
    // and the shrink would add up the source a billion times over.
    const double sigma =
        std::min(r.sigma, kMaxSigmaSides * std::max(r.source.width(), r.source.height()));
    const double s = r.scale;
    int factor = 1;
    double smallSigma = 0;
    if (sigma > 0.5) {
        // A remaining blur of about 6 blocks keeps the box's shape out of the result: with 3
        // the error reached 2 steps of 8 bits in dark areas, with 6 it stays below ½.
        factor = sigma >= 6 ? std::max(2, int(std::floor(sigma / 6))) : 1;
        if (factor >= 2) {
            const double k2 = double(factor) * factor;
            smallSigma = std::sqrt(std::max(0.0, sigma * sigma - (k2 - 1) / 12)) / factor;
            plan.kernel = {KernelShape::CatmullRom, 1, 1};
        } else {
            factor = 1;
            plan.kernel = {KernelShape::Gaussian, 1, s < 1 ? std::max(sigma, 0.6 / s) : sigma};
        }
    } else {
        factor = s < 0.5 ? int(std::floor(1 / s)) : 1;
        plan.kernel = {KernelShape::CatmullRom, std::max(1.0, 1 / (s * factor)), 1};
    }
    if (factor >= 2) {
        plan.planar = shrunk(context, r.source, factor, smallSigma);
        plan.inputWidth = plan.planar->width;
        plan.inputHeight = plan.planar->height;
        plan.factor = factor;
        plan.pad = plan.planar->pad;
    } else {
        plan.inputWidth = r.source.width();
        plan.inputHeight = r.source.height();
        plan.factor = 1;
        plan.pad = 0;
    }
}

void buildSampledPlan(RenderContext &context, SampledPlan &plan, const QRect &rect,
                      std::shared_ptr<const PlanarImage> (*shrunk)(RenderContext &, const Bitmap &,
                                                                   int, double))
{
    const ImageRecipe &r = *plan.recipe;
    choosePrepared(context, plan, shrunk);
    plan.rect = rect;
    const double srcH = r.source.height();
    const auto column = [&](int i) {
        const double u = (rect.x() + i + 0.5 - r.tx) / r.scale;
        return u / plan.factor - 0.5 + plan.pad;
    };
    plan.horizontal.build(rect.width(), column, plan.inputWidth, plan.kernel);

    int row0 = rect.y(), row1 = rect.y() + rect.height();
    if (r.mirror) {
        plan.hasMirror = true;
        plan.clampRow0 = int(std::floor(r.mirrorClamp.top()));
        plan.clampRow1 =
            std::max(plan.clampRow0 + 1, int(std::ceil(r.mirrorClamp.bottom() - 1e-6)));
        row0 = std::min(row0, plan.clampRow0);
        row1 = std::max(row1, plan.clampRow1);
    }
    plan.vRow0 = row0;
    plan.vRows = row1 - row0;
    const auto row = [&](int i) {
        const double v = (row0 + i + 0.5 - r.ty) / r.scale; // lower-left source coordinate
        return (srcH - v) / plan.factor - 0.5 + plan.pad;
    };
    plan.vertical.build(plan.vRows, row, plan.inputHeight, plan.kernel);

    if (r.colorControls) {
        // Colour controls in linear light, as one affine map:
        //   saturation: v ← L + s·(v − L), L the Rec. 709 luminance of v;
        //   brightness: v ← v + b;
        //   contrast:   v ← (v − ½)·c + ½.
        const ColorControls cc = *r.colorControls;
        const float L[3] = {0.2126f, 0.7152f, 0.0722f};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                plan.cm[3 * i + j] =
                    cc.contrast * ((i == j ? cc.saturation : 0.f) + (1 - cc.saturation) * L[j]);
        for (float &o : plan.co)
            o = cc.contrast * cc.brightness + 0.5f * (1 - cc.contrast);
        plan.hasColor = true;
    }

    if (r.mirror) {
        const MirrorKernelArgs &a = *r.mirror;
        plan.curveY.resize(rect.width());
        plan.halfWidth.resize(rect.width());
        float top = -1e30f;
        for (int i = 0; i < rect.width(); ++i) {
            const float nx = (float(rect.x() + i) + 0.5f) / a.w;
            const float curve = a.baseLine + a.amp * a.h * waveAt(a.freq, a.phase, nx);
            const float sharp = std::sin(3.14159265f * clampf(nx, 0, 1));
            const float hw = mixf(a.hwMax, a.hwMin, sharp);
            plan.curveY[i] = curve;
            plan.halfWidth[i] = hw;
            top = std::max(top, curve + std::abs(hw));
        }
        plan.dark = a.dark;
        plan.foldTop = top;
    }
}

// One strip's worth of horizontally resampled, colour-mapped prepared rows, made on demand.
class StripRows
{
public:
    StripRows(const SampledPlan &plan, Scratch &s) : m_plan(plan), m_s(s)
    {
        m_width = plan.rect.width();
        m_s.h1Slot.assign(plan.inputHeight, -1);
        m_used = 0;
    }

    // Pointer to three planes of the output width for prepared row p.
    const float *row(int p)
    {
        int &slot = m_s.h1Slot[p];
        if (slot >= 0)
            return m_s.h1Pool[slot].data();
        if (m_used == int(m_s.h1Pool.size()))
            m_s.h1Pool.emplace_back();
        std::vector<float> &buf = m_s.h1Pool[m_used];
        buf.resize(std::size_t(m_width) * 3);
        slot = m_used++;
        compute(p, buf.data());
        return buf.data();
    }

private:
    void compute(int p, float *out)
    {
        const SampledPlan &plan = m_plan;
        const float *planes[3];
        if (plan.planar) {
            for (int c = 0; c < 3; ++c)
                planes[c] = plan.planar->row(c, p);
        } else {
            const int w = plan.inputWidth;
            m_s.sourceRow.resize(std::size_t(w) * 3);
            float *lr = m_s.sourceRow.data();
            const Bitmap &src = plan.recipe->source;
            if (src.isDeep())
                Kernels::linearizeRow16(reinterpret_cast<const uint16_t *>(src.constScanLine(p)), w,
                                        lr, lr + w, lr + 2 * w);
            else
                Kernels::linearizeRow8(src.constScanLine(p), w, lr, lr + w, lr + 2 * w);
            for (int c = 0; c < 3; ++c)
                planes[c] = lr + std::size_t(c) * w;
        }
        const TapTable &h = plan.horizontal;
        for (int c = 0; c < 3; ++c)
            Kernels::resampleRow(planes[c], h.index.data(), h.weights.data(), h.taps, m_width,
                                 out + std::size_t(c) * m_width);
        if (plan.hasColor)
            Kernels::colorMatrix(out, out + m_width, out + 2 * m_width, m_width, plan.cm, plan.co);
    }

    const SampledPlan &m_plan;
    Scratch &m_s;
    int m_width = 0;
    int m_used = 0;
};

// Folds the mirror into a strip of rows, one block of columns at a time: the base rows the
// fold reads in a block are evaluated once into a small buffer, so each folded pixel is two
// lookups instead of two vertical filters.
void foldMirror(const SampledPlan &plan, StripRows &rows, int firstRow, int rowCount, float *strip,
                Scratch &s)
{
    constexpr int kBlock = 256;
    const int w = plan.rect.width();
    const TapTable &v = plan.vertical;
    const int yTop = plan.rect.y() + plan.rect.height() - 1 - firstRow;
    const int yBottom = yTop - rowCount + 1;
    if (float(yBottom) + 0.5f >= plan.foldTop)
        return;
    for (int i0 = 0; i0 < w; i0 += kBlock) {
        const int bw = std::min(kBlock, w - i0);
        float lo = 1e30f, hi = -1e30f, reach = -1e30f;
        for (int i = i0; i < i0 + bw; ++i) {
            lo = std::min(lo, plan.curveY[i]);
            hi = std::max(hi, plan.curveY[i]);
            reach = std::max(reach, plan.curveY[i] + std::abs(plan.halfWidth[i]));
        }
        if (float(yBottom) + 0.5f >= reach)
            continue;
        // Rows whose centres enclose every sample position curve − y of this block, clamped
        // before the conversion: a wild seam can lie far outside the int range.
        const auto clampRow = [&](float y) {
            return int(std::clamp(y, float(plan.clampRow0), float(plan.clampRow1 - 1)));
        };
        const int first = clampRow(std::floor(lo - (float(yTop) + 0.5f) - 0.5f));
        const int last = clampRow(std::floor(hi - (float(yBottom) + 0.5f) - 0.5f) + 1);
        const int count = last - first + 1;
        s.foldRows.resize(std::size_t(count) * 3 * bw);
        for (int yy = first; yy <= last; ++yy) {
            const int e = yy - plan.vRow0;
            const int *ix = &v.index[std::size_t(e) * v.taps];
            const float *wt = &v.weights[std::size_t(e) * v.taps];
            for (int c = 0; c < 3; ++c) {
                for (int t = 0; t < v.taps; ++t)
                    s.tapRows[t] = rows.row(ix[t]) + std::size_t(c) * w + i0;
                Kernels::weightedRowSum(s.tapRows.data(), wt, v.taps, bw,
                                        &s.foldRows[(std::size_t(yy - first) * 3 + c) * bw]);
            }
        }
        for (int k = 0; k < rowCount; ++k) {
            if (float(yTop - k) + 0.5f >= reach)
                continue; // every pixel of this row is above its seam
            float *out = strip + std::size_t(k) * 3 * w + i0;
            Kernels::foldRow(float(yTop - k) + 0.5f, &plan.curveY[i0], &plan.halfWidth[i0],
                             plan.dark, s.foldRows.data(), first, last, bw, out, out + w,
                             out + 2 * w);
        }
    }
}

void evaluateSampledStrip(const SampledPlan &plan, int firstRow, int rowCount, const RowSink &sink)
{
    Scratch &s = scratch;
    const int w = plan.rect.width();
    s.planes.resize(std::size_t(w) * 3 * rowCount);
    StripRows rows(plan, s);
    const TapTable &v = plan.vertical;
    s.tapRows.resize(v.taps);

    for (int k = 0; k < rowCount; ++k) {
        const int y = plan.rect.y() + plan.rect.height() - 1 - (firstRow + k);
        const int e = y - plan.vRow0;
        const int *ix = &v.index[std::size_t(e) * v.taps];
        const float *wt = &v.weights[std::size_t(e) * v.taps];
        for (int c = 0; c < 3; ++c) {
            for (int t = 0; t < v.taps; ++t)
                s.tapRows[t] = rows.row(ix[t]) + std::size_t(c) * w;
            Kernels::weightedRowSum(s.tapRows.data(), wt, v.taps, w,
                                    &s.planes[(std::size_t(k) * 3 + c) * w]);
        }
    }
    if (plan.hasMirror)
        foldMirror(plan, rows, firstRow, rowCount, s.planes.data(), s);
    for (int k = 0; k < rowCount; ++k) {
        const int y = plan.rect.y() + plan.rect.height() - 1 - (firstRow + k);
        const float *out = &s.planes[std::size_t(k) * 3 * w];
        sink(firstRow + k, y, out, out + w, out + 2 * w);
    }
}

void evaluateFlowStrip(const FlowKernelArgs &a, const QRect &rect, const float (&lin)[3][3],
                       const std::vector<float> &c1, const std::vector<float> &c2,
                       const std::vector<float> &hw, const std::vector<float> &inv, int firstRow,
                       int rowCount, const RowSink &sink)
{
    Scratch &s = scratch;
    const int w = rect.width();
    s.planes.resize(std::size_t(w) * 3);
    float *out[3] = {s.planes.data(), s.planes.data() + w, s.planes.data() + 2 * w};
    const float *pc1 = c1.data(), *pc2 = c2.data(), *phw = hw.data(), *pinv = inv.data();
    for (int k = 0; k < rowCount; ++k) {
        const int row = firstRow + k;
        const int y = rect.y() + rect.height() - 1 - row;
        const float ny = (float(y) + 0.5f) / a.h;
        if (a.threeBands)
            Kernels::flowRow3(ny, pc1, pc2, phw, pinv, lin, w, out[0], out[1], out[2]);
        else
            Kernels::flowRow2(ny, pc1, phw, pinv, lin, w, out[0], out[1], out[2]);
        sink(row, y, out[0], out[1], out[2]);
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------

struct RenderJob
{
    // Evaluates every row of `rect` in linear light, in parallel strips.
    static bool evaluate(RenderContext &context, const ImageRecipe &r, const QRect &rect,
                         const RowSink &sink)
    {
        if (rect.isEmpty())
            return false;
        const int strips = (rect.height() + kStripRows - 1) / kStripRows;
        const auto stripRows = [&](int strip) {
            const int first = strip * kStripRows;
            return std::pair{first, std::min(kStripRows, rect.height() - first)};
        };
        if (r.kind == ImageRecipe::Kind::Flow) {
            const FlowKernelArgs &a = r.flow;
            float lin[3][3];
            for (int i = 0; i < 3; ++i)
                for (int c = 0; c < 3; ++c)
                    lin[i][c] = float(srgbToLinear(a.colors[i][c]));
            std::vector<float> c1(rect.width()), c2(rect.width()), hw(rect.width()),
                inv(rect.width());
            for (int i = 0; i < rect.width(); ++i) {
                const float nx = (float(rect.x() + i) + 0.5f) / a.w;
                const float sharp = std::sin(3.14159265f * clampf(nx, 0, 1));
                hw[i] = mixf(a.hwMax, a.hwMin, sharp);
                // A zero width is a hard step: an infinite slope still picks the right side.
                inv[i] = hw[i] != 0 ? 1.0f / (2 * hw[i]) : std::numeric_limits<float>::max();
                if (a.threeBands) {
                    const float f = a.freq * 6.2831853f * nx;
                    c1[i] =
                        0.36f + a.amp * (std::sin(f + a.phase + 0.3f) + 0.2f * std::sin(2.0f * f));
                    c2[i] = 0.68f + a.amp * (std::sin(f + a.phase + 2.4f) +
                                             0.2f * std::sin(2.0f * f + 1.1f));
                } else {
                    c1[i] = 0.5f + a.amp * waveAt(a.freq, a.phase, nx);
                }
            }
            context.parallelFor(strips, [&](int strip) {
                const auto [first, count] = stripRows(strip);
                evaluateFlowStrip(a, rect, lin, c1, c2, hw, inv, first, count, sink);
            });
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
        context.parallelFor(strips, [&](int strip) {
            const auto [first, count] = stripRows(strip);
            evaluateSampledStrip(plan, first, count, sink);
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
    return RenderJob::evaluate(
        *this, r, rect, [&](int row, int y, const float *cr, const float *cg, const float *cb) {
            if (deep)
                Kernels::encodeRow16(cr, cg, cb, rect.width(), rect.x(), y, amp,
                                     reinterpret_cast<uint16_t *>(target.scanLine(row)));
            else
                Kernels::encodeRow8(cr, cg, cb, rect.width(), rect.x(), y, amp,
                                    target.scanLine(row));
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
    const auto sumRow = [&](int row, int y, const float *cr, const float *cg, const float *cb) {
        const double wy = coverage(y, area.top(), area.bottom());
        std::array<double, 3> sum{0, 0, 0};
        for (int i = 0; i < pixels.width(); ++i) {
            sum[0] += wx[i] * cr[i];
            sum[1] += wx[i] * cg[i];
            sum[2] += wx[i] * cb[i];
        }
        for (double &v : sum)
            v *= wy;
        rowSums[row] = sum;
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
            Scratch &s = scratch;
            s.planes.resize(std::size_t(src.width()) * 3);
            float *lr = s.planes.data(), *lg = lr + src.width(), *lb = lg + src.width();
            if (src.isDeep())
                Kernels::linearizeRow16(reinterpret_cast<const uint16_t *>(src.constScanLine(line)),
                                        src.width(), lr, lg, lb);
            else
                Kernels::linearizeRow8(src.constScanLine(line), src.width(), lr, lg, lb);
            sumRow(row, y, lr + pixels.x(), lg + pixels.x(), lb + pixels.x());
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
    const PreparedKey key{source.cacheKey(), factor, sigma};
    {
        std::lock_guard lock(m_d->cacheMutex);
        for (auto it = m_d->cache.begin(); it != m_d->cache.end(); ++it) {
            if (it->first == key) {
                m_d->cache.splice(m_d->cache.begin(), m_d->cache, it);
                return it->second;
            }
        }
    }
    std::shared_ptr<const PlanarImage> prepared = shrinkAndBlur(*this, source, factor, sigma);
    std::lock_guard lock(m_d->cacheMutex);
    m_d->cache.emplace_front(key, prepared);
    m_d->cacheBytes += prepared->bytes();
    m_d->trimCache();
    return prepared;
}

void RenderContext::setCacheLimit(std::size_t bytes)
{
    std::lock_guard lock(m_d->cacheMutex);
    m_d->cacheLimit = bytes;
    m_d->trimCache();
}

std::size_t RenderContext::cacheBytes() const
{
    std::lock_guard lock(m_d->cacheMutex);
    return m_d->cacheBytes;
}

void RenderContext::clearCache()
{
    std::lock_guard lock(m_d->cacheMutex);
    m_d->cache.clear();
    m_d->cacheBytes = 0;
}
