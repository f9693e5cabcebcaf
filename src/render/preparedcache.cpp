// The shrink is done in linear light, a block row at a time on the pool, with the source's
// edge continued into a pad wide enough for the blur's reach; the blur is an exact, separable
// Gaussian on the small copy. The cache around it is a list looked up linearly: its copies
// are few, and each lookup is once per render.

#include "preparedcache.h"

#include "bitmap.h"
#include "kernels.h"
#include "rendercontext.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace RenderInternals {

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

std::shared_ptr<const PlanarImage> PreparedCache::find(const PreparedKey &key)
{
    std::lock_guard lock(m_mutex);
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->first == key) {
            m_entries.splice(m_entries.begin(), m_entries, it);
            return it->second;
        }
    }
    return nullptr;
}

void PreparedCache::insert(const PreparedKey &key, std::shared_ptr<const PlanarImage> prepared)
{
    std::lock_guard lock(m_mutex);
    m_bytes += prepared->bytes();
    m_entries.emplace_front(key, std::move(prepared));
    trim();
}

void PreparedCache::setLimit(std::size_t bytes)
{
    std::lock_guard lock(m_mutex);
    m_limit = bytes;
    trim();
}

std::size_t PreparedCache::bytes() const
{
    std::lock_guard lock(m_mutex);
    return m_bytes;
}

void PreparedCache::clear()
{
    std::lock_guard lock(m_mutex);
    m_entries.clear();
    m_bytes = 0;
}

// Called with the mutex held.
void PreparedCache::trim()
{
    while (m_bytes > m_limit && !m_entries.empty()) {
        m_bytes -= m_entries.back().second->bytes();
        m_entries.pop_back();
    }
}

} // namespace RenderInternals
