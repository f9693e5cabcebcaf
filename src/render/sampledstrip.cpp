// Evaluating a sampled plan, one strip of output rows at a time on one thread. A prepared row
// is linearised, resampled horizontally and colour-mapped the first time a row of the strip
// needs it and then reused by every other row that does; neighbouring strips compute their
// few shared rows twice rather than synchronise over them.

#include "sampledplan.h"

#include "bitmap.h"
#include "kernels.h"

namespace RenderInternals {

void StripRows::compute(int p, float *out)
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
            Kernels::linearizeRow16(reinterpret_cast<const uint16_t *>(src.constScanLine(p)), w, lr,
                                    lr + w, lr + 2 * w);
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

void evaluateSampledStrip(const SampledPlan &plan, int firstRow, int rowCount, const RowSink &sink)
{
    Scratch &s = threadScratch();
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

} // namespace RenderInternals
