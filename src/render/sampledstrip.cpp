// Evaluating a sampled plan, one strip of output rows at a time on one thread. A prepared row
// is linearised, resampled horizontally and colour-mapped the first time a row of the strip
// needs it and then reused by every other row that does; neighbouring strips compute their
// few shared rows twice rather than synchronise over them.

#include "sampledplan.h"

#include "bitmap.h"
#include "kernels.h"

#include <algorithm>

namespace RenderInternals {

void StripRows::compute(int p, float *out)
{
    const SampledPlan &plan = m_plan;
    const bool control = plan.colorStage == SampledPlan::ColorStage::Input;
    const float *planes[3];
    const int w = plan.inputWidth;
    if (plan.planar) {
        for (int c = 0; c < 3; ++c)
            planes[c] = plan.planar->row(c, p);
        if (control) {
            m_s.sourceRow.resize(std::size_t(w) * 3);
            float *lr = m_s.sourceRow.data();
            for (int c = 0; c < 3; ++c) {
                std::copy_n(planes[c], w, lr + std::size_t(c) * w);
                planes[c] = lr + std::size_t(c) * w;
            }
            Kernels::colorControlRow(lr, lr + w, lr + 2 * w, w, plan.colors);
        }
    } else {
        m_s.sourceRow.resize(std::size_t(w) * 3);
        float *lr = m_s.sourceRow.data();
        const Bitmap &src = plan.recipe->source;
        const uint8_t *line = src.constScanLine(p);
        const auto *deepLine = reinterpret_cast<const uint16_t *>(line);
        if (control && src.isDeep())
            Kernels::colorControlRow16(deepLine, w, plan.colors, lr, lr + w, lr + 2 * w);
        else if (control)
            Kernels::colorControlRow8(line, w, plan.colors, lr, lr + w, lr + 2 * w);
        else if (src.isDeep())
            Kernels::linearizeRow16(deepLine, w, lr, lr + w, lr + 2 * w);
        else
            Kernels::linearizeRow8(line, w, lr, lr + w, lr + 2 * w);
        for (int c = 0; c < 3; ++c)
            planes[c] = lr + std::size_t(c) * w;
    }
    const TapTable &h = plan.horizontal;
    for (int c = 0; c < 3; ++c)
        Kernels::resampleRow(planes[c], h.index.data(), h.weights.data(), h.taps, m_width,
                             out + std::size_t(c) * m_width);
}

void controlOutputRows(const SampledPlan &plan, float *rows, int rowCount, int width)
{
    if (plan.colorStage != SampledPlan::ColorStage::Output)
        return;
    for (int k = 0; k < rowCount; ++k) {
        float *r = rows + std::size_t(k) * 3 * width;
        Kernels::colorControlRow(r, r + width, r + 2 * width, width, plan.colors);
    }
}

void evaluateSampledStrip(const SampledPlan &plan, int firstRow, int rowCount, const RowSink &sink)
{
    if (plan.hasMirror) {
        evaluateMirrorStrip(plan, firstRow, rowCount, sink);
        return;
    }
    // Each row goes to the sink while it is still in the cache.
    Scratch &s = threadScratch();
    const int w = plan.rect.width();
    s.planes.resize(std::size_t(w) * 3);
    StripRows rows(plan, s);
    float *out = s.planes.data();
    for (int k = 0; k < rowCount; ++k) {
        const int y = plan.rect.y() + plan.rect.height() - 1 - (firstRow + k);
        verticalRow(plan, rows, s, y, 0, w, out);
        controlOutputRows(plan, out, 1, w);
        sink(firstRow + k, y, 0, w, out, out + w, out + 2 * w);
    }
}

void verticalRow(const SampledPlan &plan, StripRows &rows, Scratch &s, int y, int x, int n,
                 float *out)
{
    const TapTable &v = plan.vertical;
    const int w = plan.rect.width();
    const int e = y - plan.vRow0;
    const int *ix = &v.index[std::size_t(e) * v.taps];
    const float *wt = &v.weights[std::size_t(e) * v.taps];
    s.tapRows.resize(v.taps);
    for (int c = 0; c < 3; ++c) {
        for (int t = 0; t < v.taps; ++t)
            s.tapRows[t] = rows.row(ix[t]) + std::size_t(c) * w + x;
        Kernels::weightedRowSum(s.tapRows.data(), wt, v.taps, n, out + std::size_t(c) * n);
    }
}

} // namespace RenderInternals
