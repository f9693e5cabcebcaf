#include "blurprocessor.h"

#include "kernels.h"
#include "renderbounds.h"
#include "rendercontext.h"

#include <algorithm>
#include <cmath>

namespace BlurProcessor {

RenderContext &context()
{
    // Lives until the process ends; workers are joined by the C++ runtime at exit.
    static RenderContext *shared = new RenderContext();
    return *shared;
}

double sigmaFor(int sourceWidth, int sourceHeight, double blur)
{
    const double m = sourceHeight < sourceWidth ? sourceHeight : sourceWidth;
    return m * ((blur / 100) * 0.22);
}

std::optional<Image> processedImage(const Bitmap &source, QSizeF targetSize,
                                    const Settings &settings)
{
    const double W = targetSize.width();
    const double H = targetSize.height();
    if (!(W >= 1) || !(H >= 1))
        return std::nullopt;
    Image image = Image::fromBitmap(source);
    if (image.isNull())
        return std::nullopt;
    const QRectF sourceExtent = image.extent();

    // The blur runs at source resolution, so its strength is a fraction of the photo whatever
    // the output size; clamping first keeps the borders from fading.
    const double sigma =
        sigmaFor(source.width(), source.height(), RenderBounds::blur.apply(settings.blur));
    if (sigma > 0.5) {
        const Image blurred =
            image.clampedToExtent().gaussianBlurred(sigma).croppedTo(sourceExtent);
        if (!blurred.isNull())
            image = blurred;
    }

    const Image controlled =
        image.colorControlled(float(RenderBounds::brightness.apply(settings.brightness)),
                              float(RenderBounds::saturation.apply(settings.saturation)),
                              float(RenderBounds::contrast.apply(settings.contrast)));
    if (!controlled.isNull())
        image = controlled;

    const QRectF F = image.extent();
    if (!(F.width() > 0) || !(F.height() > 0))
        return std::nullopt;

    // Aspect fill about the origin, then the centre crop moved to the origin.
    const double sx = W / F.width();
    const double sy = H / F.height();
    const double s = sx > sy ? sx : sy;
    image = image.scaled(s);
    const QRectF G = image.extent();
    const double x0 = G.center().x() - W * 0.5;
    const double y0 = G.center().y() - H * 0.5;
    // When the scaled picture comes out an ulp short of the target on one side, the crop
    // starts a hair away from the origin (1.8e-12 for some sizes); the mirror needs it exact.
    image = image.croppedTo(QRectF(x0, y0, W, H))
                .translated(-x0, -y0)
                .snappedTo(QRectF(0, 0, W, H), 1e-6);
    if (image.isNull())
        return std::nullopt;
    return image;
}

RenderColor colorControlled(const RenderColor &color, const Settings &settings)
{
    float rgb[3] = {float(color.red), float(color.green), float(color.blue)};
    for (float &v : rgb)
        v = std::isfinite(v) ? std::clamp(v, 0.f, 1.f) : 0.f;
    Kernels::controlColor(
        rgb, Kernels::colorMap(float(RenderBounds::brightness.apply(settings.brightness)),
                               float(RenderBounds::saturation.apply(settings.saturation)),
                               float(RenderBounds::contrast.apply(settings.contrast))));
    return {rgb[0], rgb[1], rgb[2], color.alpha};
}

std::optional<Bitmap> finalize(const Image &image, QSizeF size, double dither, bool deepColor)
{
    Image output = image;
    dither = RenderBounds::dither.apply(dither);
    if (dither > 0) {
        const Image dithered = image.dithered(float(dither));
        if (!dithered.isNull())
            output = dithered;
    }
    const Bitmap bitmap = context().createBitmap(
        output, QRectF(QPointF(0, 0), size), deepColor ? PixelFormat::Rgba16 : PixelFormat::Rgba8);
    if (bitmap.isNull())
        return std::nullopt;
    return bitmap;
}

std::optional<Bitmap> render(const Bitmap &source, QSizeF targetSize, const Settings &settings,
                             bool deepColor)
{
    const std::optional<Image> image = processedImage(source, targetSize, settings);
    if (!image)
        return std::nullopt;
    return finalize(*image, targetSize, settings.dither, deepColor);
}

} // namespace BlurProcessor
