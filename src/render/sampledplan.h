#pragma once

// A sampled image — a photo scaled, maybe blurred, colour-mapped and mirrored — is rendered
// from a plan made once per render: which rows to read (the photo's own or a prepared,
// shrunk copy's), the resampling kernel, and for every output column and row its taps and
// weights. Strips then evaluate the plan separably: each prepared row a strip needs is
// resampled horizontally once and kept, and every output row is a weighted sum of those.
// The mirror fold (mirrorfold.cpp) works on the same rows.

#include "imagerecipe.h"
#include "kernels.h"
#include "planarimage.h"
#include "renderinternals.h"

#include <QRect>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

class Bitmap;
class RenderContext;

namespace RenderInternals {

enum class KernelShape { CatmullRom, Gaussian };

// Catmull-Rom to scale, widened to prefilter a shrink; a Gaussian for a blur taken straight
// from the photo.
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

    // Where the colour controls run: on the prepared rows (a blurred copy, or an unblurred
    // photo) before anything is scaled; or, where the blur is part of the resampling itself,
    // on the resampled rows.
    enum class ColorStage { None, Input, Output };
    ColorStage colorStage = ColorStage::None;
    Kernels::ColorMap colors;

    bool hasMirror = false;
    int clampRow0 = 0;
    int clampRow1 = 0;
    std::vector<float> curveY;
    std::vector<float> halfWidth;
    std::vector<float> halfWidthInverse; // 1 / (2·halfWidth); a hard step where it is 0
    float dark = 1;
    float foldTop = 0; // a row whose centre is at or above this is folded nowhere
};

// Where the plan gets a source's prepared copy from: RenderContext's cache.
using ShrunkSource = std::shared_ptr<const PlanarImage> (*)(RenderContext &, const Bitmap &, int,
                                                            double);

// Fills `plan` (whose recipe is set) for rendering `rect`.
void buildSampledPlan(RenderContext &context, SampledPlan &plan, const QRect &rect,
                      ShrunkSource shrunk);

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
    void compute(int p, float *out);

    const SampledPlan &m_plan;
    Scratch &m_s;
    int m_width = 0;
    int m_used = 0;
};

// The colour controls on resampled rows (three planes of `width` each), where the plan asks
// for them there.
void controlOutputRows(const SampledPlan &plan, float *rows, int rowCount, int width);

// Evaluates rows [firstRow, firstRow + rowCount) of the plan's rectangle, counted from its
// top, and hands each to `sink`.
void evaluateSampledStrip(const SampledPlan &plan, int firstRow, int rowCount, const RowSink &sink);

// Columns [x, x + n) of image row y of the scaled picture (before any fold), vertically
// filtered from the strip's prepared rows into three planes of n floats.
void verticalRow(const SampledPlan &plan, StripRows &rows, Scratch &s, int y, int x, int n,
                 float *out);

// The mirror's strips (mirrorfold.cpp): a block of columns at a time, the base rows, the fold
// over them, and the block's spans to the sink.
void evaluateMirrorStrip(const SampledPlan &plan, int firstRow, int rowCount, const RowSink &sink);

} // namespace RenderInternals
