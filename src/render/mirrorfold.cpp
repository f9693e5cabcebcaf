// The mirror's fold. Below a wavy seam a pixel becomes a mix with the picture reflected about
// the seam, so it reads the base image at (x, curve − y) — rows far from its own, which the
// strip's own rows do not hold. A strip is made one block of columns at a time, so its rows,
// the base rows the fold reads and the result stay in the cache until they go to the sink.

#include "sampledplan.h"

#include "kernels.h"

#include <algorithm>

namespace RenderInternals {

namespace {

constexpr int kBlock = 128;

// Where the seam of columns [i0, i0 + n) lies: the lowest and highest curve, how far up any
// pixel is still folded, and how far down every pixel is wholly folded.
struct SeamSpan
{
    float lo = 1e30f;
    float hi = -1e30f;
    float reach = -1e30f;
    float under = 1e30f;

    SeamSpan(const SampledPlan &plan, int i0, int n)
    {
        for (int i = i0; i < i0 + n; ++i) {
            const float c = plan.curveY[i], h = std::abs(plan.halfWidth[i]);
            lo = std::min(lo, c);
            hi = std::max(hi, c);
            reach = std::max(reach, c + h);
            under = std::min(under, c - h);
        }
    }
};

// Folds the block [i0, i0 + bw) of the strip whose top image row is yTop into `planes`
// (row k: three planes of bw floats).
void foldBlock(const SampledPlan &plan, StripRows &rows, Scratch &s, const SeamSpan &seam, int i0,
               int bw, int yTop, int rowCount, float *planes)
{
    const int yBottom = yTop - rowCount + 1;
    // Rows whose centres enclose every sample position curve − y of this block, clamped
    // before the conversion: a wild seam can lie far outside the int range.
    const auto clampRow = [&](float y) {
        return int(std::clamp(y, float(plan.clampRow0), float(plan.clampRow1 - 1)));
    };
    const int first = clampRow(std::floor(seam.lo - (float(yTop) + 0.5f) - 0.5f));
    const int last = clampRow(std::floor(seam.hi - (float(yBottom) + 0.5f) - 0.5f) + 1);
    const int count = last - first + 1;
    const std::size_t stride = std::size_t(bw) * 3;
    s.foldRows.resize(std::size_t(count) * stride);
    for (int yy = first; yy <= last; ++yy)
        verticalRow(plan, rows, s, yy, i0, bw, &s.foldRows[std::size_t(yy - first) * stride]);
    controlOutputRows(plan, s.foldRows.data(), count, bw);

    // Output row k reads base row floor(curve − y − 1) at the same fraction in every row of
    // the strip, one row further down the base for each row further down the strip. So the
    // fold is a row-aligned blend of two skewed rows: each column's base row copied into
    // place, then the blend in vectors.
    s.foldStart.resize(bw);
    s.foldFraction.resize(bw);
    for (int i = 0; i < bw; ++i) {
        const float t = plan.curveY[i0 + i] - float(yTop) - 1.0f;
        const float r0 = std::floor(t);
        s.foldFraction[i] = t - r0;
        // Clamped in float first, and far enough out that every row still clamps alike.
        s.foldStart[i] = int(std::clamp(r0, float(first - rowCount - 1), float(last + 1)));
    }
    // Neighbouring columns mostly share their base row: copied as runs, a row is a few
    // contiguous copies rather than a load and a store per pixel.
    s.foldRuns.clear();
    for (int i = 0; i < bw;) {
        int e = i + 1;
        while (e < bw && s.foldStart[e] == s.foldStart[i])
            ++e;
        s.foldRuns.push_back({i, e - i, s.foldStart[i]});
        i = e;
    }
    const auto skew = [&](int k, float *row) {
        for (const Scratch::Run &run : s.foldRuns) {
            const int j = std::clamp(run.start + k, first, last) - first;
            const float *src = s.foldRows.data() + std::size_t(j) * stride + run.column;
            for (int c = 0; c < 3; ++c)
                std::copy_n(src + std::size_t(c) * bw, run.length,
                            row + std::size_t(c) * bw + run.column);
        }
    };
    s.skewed.resize(stride * 2);
    int made = -1; // the strip row whose skewed base row is in its buffer
    for (int k = 0; k < rowCount; ++k) {
        const float yc = float(yTop - k) + 0.5f;
        if (yc >= seam.reach)
            continue; // every pixel of this row is above its seam
        float *upper = s.skewed.data() + stride * std::size_t(k & 1);
        float *lower = s.skewed.data() + stride * std::size_t((k + 1) & 1);
        if (made != k)
            skew(k, upper);
        skew(k + 1, lower);
        made = k + 1;
        float *out = planes + std::size_t(k) * stride;
        Kernels::foldRow(yc, &plan.curveY[i0], &plan.halfWidth[i0], &plan.halfWidthInverse[i0],
                         plan.dark, s.foldFraction.data(), upper, lower, yc <= seam.under, bw, out,
                         out + bw, out + 2 * bw);
    }
}

} // namespace

void evaluateMirrorStrip(const SampledPlan &plan, int firstRow, int rowCount, const RowSink &sink)
{
    Scratch &s = threadScratch();
    const int w = plan.rect.width();
    StripRows rows(plan, s);
    const int yTop = plan.rect.y() + plan.rect.height() - 1 - firstRow;
    const int yBottom = yTop - rowCount + 1;
    for (int i0 = 0; i0 < w; i0 += kBlock) {
        const int bw = std::min(kBlock, w - i0);
        const std::size_t stride = std::size_t(bw) * 3;
        const SeamSpan seam(plan, i0, bw);
        s.planes.resize(stride * rowCount);
        for (int k = 0; k < rowCount; ++k) {
            const int y = yTop - k;
            if (float(y) + 0.5f <= seam.under)
                continue; // the fold replaces every pixel of this row
            float *out = &s.planes[std::size_t(k) * stride];
            verticalRow(plan, rows, s, y, i0, bw, out);
            controlOutputRows(plan, out, 1, bw);
        }
        if (float(yBottom) + 0.5f < seam.reach)
            foldBlock(plan, rows, s, seam, i0, bw, yTop, rowCount, s.planes.data());
        for (int k = 0; k < rowCount; ++k) {
            const float *out = &s.planes[std::size_t(k) * stride];
            sink(firstRow + k, yTop - k, i0, bw, out, out + bw, out + 2 * bw);
        }
    }
}

} // namespace RenderInternals
