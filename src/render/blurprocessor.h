#pragma once

// The blur style, which is also where the mirror style starts: the pipeline folds the image from
// processedImage() and renders the result with finalize(). The process's one RenderContext is
// reached through context() here, by the flow style too.

#include "bitmap.h"
#include "image.h"
#include "rendercolor.h"

#include <QSizeF>

#include <optional>

class RenderContext;

// The blur style: the photo strongly blurred, colour-adjusted, aspect-filled and
// centre-cropped. Also owns the one rendering context every style shares.
namespace BlurProcessor {

struct Settings
{
    double blur = 55;         // percent; at 100 sigma is 0.22 × the shorter source side
    double brightness = 0;    // additive offset, 0 = unchanged
    double saturation = 1.15; // factor, 1 = unchanged
    double contrast = 1.0;    // factor, 1 = unchanged
    double dither = 0.1;      // grain intensity, ≤ 0 = none
};

// The process-wide rendering context, created on first use.
RenderContext &context();

// The Gaussian sigma in source pixels for a source of the given size.
double sigmaFor(int sourceWidth, int sourceHeight, double blur);

std::optional<Bitmap> render(const Bitmap &source, QSizeF targetSize, const Settings &settings,
                             bool deepColor);
// The blurred, colour-controlled, aspect-filled image with extent (0, 0, W, H); not dithered.
std::optional<Image> processedImage(const Bitmap &source, QSizeF targetSize,
                                    const Settings &settings);
// One colour through the settings' colour controls, exactly as a photo's pixels go: how a colour
// taken from the photo looks in this tone.
RenderColor colorControlled(const RenderColor &color, const Settings &settings);
// Dithers and renders the rectangle (0, 0, W, H) of an image.
std::optional<Bitmap> finalize(const Image &image, QSizeF size, double dither, bool deepColor);

} // namespace BlurProcessor
