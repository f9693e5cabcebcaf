#include "image.h"

#include "imagerecipe.h"

#include <cmath>

Image Image::fromBitmap(const Bitmap &bitmap)
{
    if (bitmap.isNull())
        return {};
    auto recipe = std::make_shared<ImageRecipe>();
    recipe->source = bitmap;
    recipe->extent = QRectF(0, 0, bitmap.width(), bitmap.height());
    return Image(std::move(recipe));
}

Image Image::fromFlowKernel(const FlowKernelArgs &args, const QRectF &extent)
{
    if (!extent.isValid())
        return {};
    auto recipe = std::make_shared<ImageRecipe>();
    recipe->kind = ImageRecipe::Kind::Flow;
    recipe->stage = ImageRecipe::Transformed;
    recipe->flow = args;
    recipe->extent = extent;
    return Image(std::move(recipe));
}

QRectF Image::extent() const
{
    return m_recipe ? m_recipe->extent : QRectF();
}

template <typename Change> Image Image::with(Change change) const
{
    if (!m_recipe)
        return {};
    auto recipe = std::make_shared<ImageRecipe>(*m_recipe);
    if (!change(*recipe))
        return {};
    return Image(std::move(recipe));
}

Image Image::clampedToExtent() const
{
    return with([](ImageRecipe &r) {
        r.clampRect = r.extent;
        return true;
    });
}

Image Image::gaussianBlurred(double sigma) const
{
    return with([sigma](ImageRecipe &r) {
        // Blurring happens at source resolution, so only before any other step.
        if (r.kind != ImageRecipe::Kind::Sampled || r.stage != ImageRecipe::Source ||
            !std::isfinite(sigma) || sigma < 0)
            return false;
        r.sigma = sigma;
        r.stage = ImageRecipe::Blurred;
        return true;
    });
}

Image Image::croppedTo(const QRectF &rect) const
{
    return with([&rect](ImageRecipe &r) {
        r.extent = r.extent.intersected(rect);
        r.clampRect.reset();
        return true;
    });
}

Image Image::colorControlled(float brightness, float saturation, float contrast) const
{
    return with([=](ImageRecipe &r) {
        if (r.kind != ImageRecipe::Kind::Sampled || r.stage > ImageRecipe::Blurred ||
            !std::isfinite(brightness) || !std::isfinite(saturation) || !std::isfinite(contrast))
            return false;
        r.colorControls = ColorControls{brightness, saturation, contrast};
        r.stage = ImageRecipe::Controlled;
        return true;
    });
}

Image Image::scaled(double factor) const
{
    return with([factor](ImageRecipe &r) {
        if (r.kind != ImageRecipe::Kind::Sampled || r.stage > ImageRecipe::Transformed ||
            !std::isfinite(factor) || factor <= 0)
            return false;
        r.scale *= factor;
        r.tx *= factor;
        r.ty *= factor;
        r.extent = QRectF(r.extent.x() * factor, r.extent.y() * factor, r.extent.width() * factor,
                          r.extent.height() * factor);
        r.clampRect.reset();
        r.stage = ImageRecipe::Transformed;
        return true;
    });
}

Image Image::translated(double dx, double dy) const
{
    return with([dx, dy](ImageRecipe &r) {
        if (r.kind != ImageRecipe::Kind::Sampled || r.stage > ImageRecipe::Transformed ||
            !std::isfinite(dx) || !std::isfinite(dy))
            return false;
        r.tx += dx;
        r.ty += dy;
        r.extent.translate(dx, dy);
        r.clampRect.reset();
        r.stage = ImageRecipe::Transformed;
        return true;
    });
}

Image Image::snappedTo(const QRectF &rect, double tolerance) const
{
    return with([&](ImageRecipe &r) {
        const QRectF &e = r.extent;
        const auto near = [tolerance](double a, double b) { return std::abs(a - b) <= tolerance; };
        if (near(e.left(), rect.left()) && near(e.top(), rect.top()) &&
            near(e.right(), rect.right()) && near(e.bottom(), rect.bottom())) {
            r.extent = rect;
            if (r.clampRect)
                r.clampRect = rect;
        }
        return true;
    });
}

Image Image::mirrored(const MirrorKernelArgs &args, const QRectF &extent) const
{
    return with([&](ImageRecipe &r) {
        // The kernel samples the image at arbitrary points: it needs a clamped input whose
        // pixel grid is the output's.
        if (r.kind != ImageRecipe::Kind::Sampled || r.stage > ImageRecipe::Transformed ||
            !r.clampRect || r.clampRect->topLeft() != QPointF(0, 0) || !extent.isValid())
            return false;
        r.mirror = args;
        r.mirrorClamp = *r.clampRect;
        r.extent = extent;
        r.clampRect.reset();
        r.stage = ImageRecipe::Mirrored;
        return true;
    });
}

Image Image::dithered(float intensity) const
{
    return with([intensity](ImageRecipe &r) {
        if (r.stage >= ImageRecipe::Dithered || !std::isfinite(intensity))
            return false;
        r.dither = intensity > 0 ? intensity : 0;
        r.stage = ImageRecipe::Dithered;
        return true;
    });
}
