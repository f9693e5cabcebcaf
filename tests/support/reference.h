#pragma once

// Slow, obvious reference implementations in double precision, written straight from the
// formulas, as oracles for the fast render engine.

#include "render/bitmap.h"
#include "render/blurprocessor.h"
#include "render/flowprocessor.h"
#include "render/mirrorprocessor.h"

#include <QSizeF>
#include <QString>

namespace Reference {

// Linear-light RGB, rows top-down.
struct LinearImage
{
    int width = 0;
    int height = 0;
    std::vector<double> rgb;

    double &at(int x, int y, int c) { return rgb[(std::size_t(y) * width + x) * 3 + c]; }
    double at(int x, int y, int c) const { return rgb[(std::size_t(y) * width + x) * 3 + c]; }
};

LinearImage linearize(const Bitmap &bitmap);

// The blur style without dither: exact Gaussian, colour controls, aspect fill, centre crop.
LinearImage blurWallpaper(const Bitmap &source, QSizeF size, const BlurProcessor::Settings &s);
// The flow kernels evaluated per pixel.
LinearImage flowWallpaper(QSizeF size, const FlowProcessor::Settings &s);
// The mirror kernel on a base rendered at `size`, edges clamped.
LinearImage mirrorWallpaper(const LinearImage &base, const MirrorProcessor::Settings &s,
                            QSizeF size);

// Largest and mean difference from a reference in steps of an 8-bit channel, at the bitmap's
// full precision; an alpha other than opaque counts as a difference.
struct Difference
{
    double max = 0;
    double mean = 0;
};
Difference compare(const Bitmap &rendered, const LinearImage &reference);

// Channel c of pixel (x, y), top-down, as a fraction of full scale.
double channel(const Bitmap &bitmap, int x, int y, int c);

// A real photograph from the test data, resized to the given size.
Bitmap photo(const QString &name, int width, int height);
// A bitmap filled with one 8-bit sRGB colour.
Bitmap solid(int width, int height, uint8_t r, uint8_t g, uint8_t b);

} // namespace Reference
