// Making a sampled plan: choosing between the photo's own rows and a prepared, shrunk copy
// (and the kernel that goes with either), the horizontal and vertical tap tables, the colour
// controls folded into one matrix, and the mirror's seam per column. All of it is per column
// or per row, computed once, so the strips only add up weighted rows.

#include "sampledplan.h"

#include "bitmap.h"

namespace RenderInternals {

namespace {

constexpr double kMaxSigmaSides = 4;

// Blur of sigma ≥ 6 source pixels: box-shrink by about sigma/6, exact Gaussian on the small
// image and Catmull-Rom back up. The box's and the Gaussian's variances add up to sigma².
// Smaller blurs and unblurred sources resample the source itself, with a Gaussian or a
// Catmull-Rom kernel widened to prefilter when the output is smaller than the source.
void choosePrepared(RenderContext &context, SampledPlan &plan, ShrunkSource shrunk)
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

} // namespace

void buildSampledPlan(RenderContext &context, SampledPlan &plan, const QRect &rect,
                      ShrunkSource shrunk)
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
        const ColorControls cc = *r.colorControls;
        plan.colors = Kernels::colorMap(cc.brightness, cc.saturation, cc.contrast);
        // A Gaussian straight from the photo blurs and scales in one pass: the controls can
        // only follow it. Everywhere else they come before the scale.
        const bool fusedBlur = !plan.planar && plan.kernel.shape == KernelShape::Gaussian;
        plan.colorStage =
            fusedBlur ? SampledPlan::ColorStage::Output : SampledPlan::ColorStage::Input;
    }

    if (r.mirror) {
        const MirrorKernelArgs &a = *r.mirror;
        plan.curveY.resize(rect.width());
        plan.halfWidth.resize(rect.width());
        plan.halfWidthInverse.resize(rect.width());
        float top = -1e30f;
        for (int i = 0; i < rect.width(); ++i) {
            const float nx = (float(rect.x() + i) + 0.5f) / a.w;
            const float curve = a.baseLine + a.amp * a.h * waveAt(a.freq, a.phase, nx);
            const float sharp = std::sin(3.14159265f * clampf(nx, 0, 1));
            const float hw = mixf(a.hwMax, a.hwMin, sharp);
            plan.curveY[i] = curve;
            plan.halfWidth[i] = hw;
            plan.halfWidthInverse[i] = seamInverse(hw);
            top = std::max(top, curve + std::abs(hw));
        }
        plan.dark = a.dark;
        plan.foldTop = top;
    }
}

} // namespace RenderInternals
