#pragma once

// Slow, obvious reference implementations in double precision, written straight from the
// formulas, for checking the fast render engine.

#include "render/bitmap.h"
#include "render/blurprocessor.h"
#include "render/flowprocessor.h"
#include "render/mirrorprocessor.h"

#include <QSizeF>
#include <QString>

#include <vector>

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
// Exact Gaussian at full resolution, edges clamped.
LinearImage gaussianBlur(const LinearImage &image, double sigma);
// Saturation (Rec. 709 luminance), then brightness offset, then contrast about ½.
void colorControls(LinearImage &image, double brightness, double saturation, double contrast);
// Bilinear sample at continuous coordinates (pixel centres at +½), x right, y down, clamped.
double sampleBilinear(const LinearImage &image, double x, double y, int c);

// The blur style without dither: blur, colour controls, aspect fill, centre crop.
LinearImage blurWallpaper(const Bitmap &source, QSizeF size, const BlurProcessor::Settings &s);
// The flow kernels evaluated per pixel.
LinearImage flowWallpaper(QSizeF size, const FlowProcessor::Settings &s);
// The mirror kernel applied to a base picture with linear sampling, edges clamped.
LinearImage mirrorWallpaper(const LinearImage &base, const MirrorProcessor::Settings &s);

// Largest and mean difference between a rendered bitmap and a reference, in steps of an
// 8-bit channel (16-bit bitmaps are compared at their full precision, scaled to 8 bits).
struct Difference
{
    double max = 0;
    double mean = 0;
};
Difference compare(const Bitmap &rendered, const LinearImage &reference);

// Reads channel c of pixel (x, y), top-down, as a fraction of full scale.
double channel(const Bitmap &bitmap, int x, int y, int c);

// A real photograph from the test data, resized to the given size.
Bitmap photo(const QString &name, int width, int height);
// A bitmap filled with one 8-bit sRGB colour.
Bitmap solid(int width, int height, uint8_t r, uint8_t g, uint8_t b);

} // namespace Reference
