// The mirror's fold. Below a wavy seam a pixel becomes a mix with the picture reflected about
// the seam, so it reads the base image at (x, curve − y) — rows far from its own, which the
// strip's vertical pass never made. They are evaluated per block of columns into a small
// buffer that the fold then reads by linear interpolation.

#include "sampledplan.h"

#include "kernels.h"

namespace RenderInternals {

// Folds the mirror into a strip of rows, one block of columns at a time: the base rows the
// fold reads in a block are evaluated once into a small buffer, so each folded pixel is two
// lookups instead of two vertical filters.
void foldMirror(const SampledPlan &plan, StripRows &rows, int firstRow, int rowCount, float *strip,
                Scratch &s)
{
    constexpr int kBlock = 128;
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
        controlOutputRows(plan, s.foldRows.data(), count, bw);
        // Output row k reads base row floor(curve − y − 1) at the same fraction in every row of
        // the strip, one row further down the base for each row further down the strip. So the
        // fold is a row-aligned blend of two skewed rows: each column's base row copied into
        // place (a cheap scalar pass), then the blend in vectors.
        s.foldStart.resize(bw);
        s.foldFraction.resize(bw);
        for (int i = 0; i < bw; ++i) {
            const float t = plan.curveY[i0 + i] - float(yTop) - 1.0f;
            const float r0 = std::floor(t);
            s.foldFraction[i] = t - r0;
            // Clamped in float first: a wild seam lies beyond what an int holds.
            s.foldStart[i] = int(std::clamp(r0, float(first - rowCount - 1), float(last + 1)));
        }
        const std::size_t stride = std::size_t(bw) * 3;
        s.skewed.resize(stride * 2);
        const auto skew = [&](int k, float *row) {
            Kernels::skewRow(s.foldRows.data(), s.foldStart.data(), k, first, last, bw, row);
        };
        int made = -1; // the strip row whose skewed base row is in the first buffer
        for (int k = 0; k < rowCount; ++k) {
            const float yc = float(yTop - k) + 0.5f;
            if (yc >= reach)
                continue; // every pixel of this row is above its seam
            float *upper = s.skewed.data() + stride * std::size_t(k & 1);
            float *lower = s.skewed.data() + stride * std::size_t((k + 1) & 1);
            if (made != k)
                skew(k, upper);
            skew(k + 1, lower);
            made = k + 1;
            float *out = strip + std::size_t(k) * 3 * w + i0;
            Kernels::foldRow(yc, &plan.curveY[i0], &plan.halfWidth[i0], plan.dark,
                             s.foldFraction.data(), upper, lower, yc <= plan.foldBottom, bw, out,
                             out + w, out + 2 * w);
        }
    }
}

} // namespace RenderInternals
