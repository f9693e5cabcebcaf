#include "flowprocessor.h"

#include "blurprocessor.h"
#include "renderbounds.h"
#include "rendercontext.h"

namespace FlowProcessor {

FlowKernelArgs kernelArgs(QSizeF size, const Settings &settings)
{
    FlowKernelArgs args;
    const auto &colors = settings.colors;
    const auto put = [&args](int slot, const RenderColor &c) {
        args.colors[slot][0] = float(c.red);
        args.colors[slot][1] = float(c.green);
        args.colors[slot][2] = float(c.blue);
    };
    args.threeBands = settings.bands >= 3 && colors.size() >= 3;
    if (args.threeBands) {
        for (int i = 0; i < 3; ++i)
            put(i, colors[i]);
    } else if (!colors.empty()) {
        put(0, colors[0]);                                  // bottom
        put(1, colors.size() >= 2 ? colors[1] : colors[0]); // top
    }
    // Seam half-widths, as fractions of the picture height.
    const double hwMin = (1 - RenderBounds::shape.apply(settings.sharpness)) * 0.0285 + 0.0015;
    const double hwMax = RenderBounds::shape.apply(settings.edgeSoftness) * 0.47 + 0.08;
    args.amp = float(RenderBounds::amplitude.apply(settings.amplitude));
    args.freq = float(RenderBounds::frequency.apply(settings.frequency));
    args.phase = float(RenderBounds::phase.apply(settings.phase));
    args.hwMin = float(hwMin);
    args.hwMax = float(hwMax);
    args.w = float(size.width());
    args.h = float(size.height());
    return args;
}

std::optional<Bitmap> render(QSizeF size, const Settings &settings, bool deepColor)
{
    const double W = size.width();
    const double H = size.height();
    if (!(W >= 1) || !(H >= 1))
        return std::nullopt;
    if (settings.colors.empty())
        return std::nullopt;
    Image image = Image::fromFlowKernel(kernelArgs(size, settings), QRectF(0, 0, W, H));
    if (image.isNull())
        return std::nullopt;
    if (const double dither = RenderBounds::dither.apply(settings.dither); dither > 0) {
        const Image dithered = image.dithered(float(dither));
        if (!dithered.isNull())
            image = dithered;
    }
    const Bitmap bitmap = BlurProcessor::context().createBitmap(
        image, QRectF(0, 0, W, H), deepColor ? PixelFormat::Rgba16 : PixelFormat::Rgba8);
    if (bitmap.isNull())
        return std::nullopt;
    return bitmap;
}

RenderColor averageColor(const Image &image, const QRectF &rect)
{
    const auto average = BlurProcessor::context().areaAverage(image, rect);
    if (!average)
        return {0.5, 0.5, 0.5, 1};
    return {(*average)[0] / 255.0, (*average)[1] / 255.0, (*average)[2] / 255.0, 1};
}

} // namespace FlowProcessor
