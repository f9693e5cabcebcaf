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
            Kernels::colorControlRow(lr, lr + w, lr + 2 * w, w, plan.cm, plan.co);
        }
    } else {
        m_s.sourceRow.resize(std::size_t(w) * 3);
        float *lr = m_s.sourceRow.data();
        const Bitmap &src = plan.recipe->source;
        const uint8_t *line = src.constScanLine(p);
        const auto *deepLine = reinterpret_cast<const uint16_t *>(line);
        if (control && src.isDeep())
            Kernels::colorControlRow16(deepLine, w, plan.cm, plan.co, lr, lr + w, lr + 2 * w);
        else if (control)
            Kernels::colorControlRow8(line, w, plan.cm, plan.co, lr, lr + w, lr + 2 * w);
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
        Kernels::colorControlRow(r, r + width, r + 2 * width, width, plan.cm, plan.co);
    }
}

void evaluateSampledStrip(const SampledPlan &plan, int firstRow, int rowCount, const RowSink &sink)
{
    Scratch &s = threadScratch();
    const int w = plan.rect.width();
    // The fold needs the whole strip at once; otherwise each row goes to the sink while it is
    // still in the cache.
    const bool wholeStrip = plan.hasMirror;
    s.planes.resize(std::size_t(w) * 3 * (wholeStrip ? rowCount : 1));
    StripRows rows(plan, s);
    const TapTable &v = plan.vertical;
    s.tapRows.resize(v.taps);

    const auto imageRow = [&](int k) {
        return plan.rect.y() + plan.rect.height() - 1 - (firstRow + k);
    };
    for (int k = 0; k < rowCount; ++k) {
        if (wholeStrip && float(imageRow(k)) + 0.5f <= plan.foldBottom)
            continue; // the fold replaces every pixel of this row
        const int e = imageRow(k) - plan.vRow0;
        const int *ix = &v.index[std::size_t(e) * v.taps];
        const float *wt = &v.weights[std::size_t(e) * v.taps];
        float *out = &s.planes[std::size_t(wholeStrip ? k : 0) * 3 * w];
        for (int c = 0; c < 3; ++c) {
            for (int t = 0; t < v.taps; ++t)
                s.tapRows[t] = rows.row(ix[t]) + std::size_t(c) * w;
            Kernels::weightedRowSum(s.tapRows.data(), wt, v.taps, w, out + std::size_t(c) * w);
        }
        if (!wholeStrip) {
            controlOutputRows(plan, out, 1, w);
            sink(firstRow + k, imageRow(k), out, out + w, out + 2 * w);
        }
    }
    if (!wholeStrip)
        return;
    controlOutputRows(plan, s.planes.data(), rowCount, w);
    foldMirror(plan, rows, firstRow, rowCount, s.planes.data(), s);
    for (int k = 0; k < rowCount; ++k) {
        const float *out = &s.planes[std::size_t(k) * 3 * w];
        sink(firstRow + k, imageRow(k), out, out + w, out + 2 * w);
    }
}

} // namespace RenderInternals
