#include "mirrorprocessor.h"

#include "renderbounds.h"

#include <algorithm>

namespace MirrorProcessor {

MirrorKernelArgs kernelArgs(QSizeF size, const Settings &settings)
{
    const double W = size.width();
    const double H = size.height();
    // Half a pixel at least, so the sharpest seam still blends instead of aliasing.
    using namespace RenderBounds;
    const double hwMin = std::max(H * ((1 - shape.apply(settings.hardness)) * 0.02), 0.5);
    const double hwMax = std::max(hwMin, H * (shape.apply(settings.sideFade) * 0.18));
    MirrorKernelArgs args;
    args.baseLine = float(H * line.apply(settings.line));
    args.amp = float(amplitude.apply(settings.amplitude));
    args.freq = float(frequency.apply(settings.frequency));
    args.phase = float(phase.apply(settings.phase));
    args.hwMin = float(hwMin);
    args.hwMax = float(hwMax);
    args.dark = float(shape.apply(settings.depth) * (-0.6) + 1.0);
    args.w = float(W);
    args.h = float(H);
    return args;
}

Image apply(const Image &image, QSizeF size, const Settings &settings)
{
    if (image.isNull())
        return image;
    const Image mirrored = image.clampedToExtent().mirrored(
        kernelArgs(size, settings), QRectF(0, 0, size.width(), size.height()));
    return mirrored.isNull() ? image : mirrored;
}

} // namespace MirrorProcessor
