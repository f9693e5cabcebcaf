#pragma once

// The flow style, the one that needs no photo: its Image is a kernel over the position alone.
// averageColor() lives here because the palette takes a photo's flow colours from the averages
// of its bands.

#include "bitmap.h"
#include "image.h"
#include "rendercolor.h"

#include <QRectF>
#include <QSizeF>

#include <cstdint>
#include <optional>
#include <vector>

// The flow style: two or three flat colours separated by soft, wavy horizontal seams.
namespace FlowProcessor {

struct Settings
{
    std::vector<RenderColor> colors; // bottom band first
    int64_t bands = 3;
    double amplitude = 0.11;
    double frequency = 1.0;
    double sharpness = 0.8;
    double edgeSoftness = 0.7;
    double phase = 1.0;
    double dither = 0.1;
};

std::optional<Bitmap> render(QSizeF size, const Settings &settings, bool deepColor);

// The exact area average of a rectangle of an image as one 8-bit sRGB pixel
// (components multiples of 1/255, alpha 1); mid grey when there is no average.
RenderColor averageColor(const Image &image, const QRectF &rect);

// The kernel arguments render() uses; exposed so the seam geometry can be checked.
FlowKernelArgs kernelArgs(QSizeF size, const Settings &settings);

} // namespace FlowProcessor
