#include "reference.h"

#include "render/rendercolor.h"
#include "testdata.h"

#include <QHash>
#include <QImage>

#include <algorithm>
#include <cmath>

namespace Reference {

namespace {

const auto mixd = [](double a, double b, double t) { return a * (1 - t) + b * t; };

const auto smoothstepd = [](double e0, double e1, double v) {
    const double t = std::clamp((v - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
};

const auto wave = [](double freq, double phase, double nx) {
    return std::sin(freq * 6.2831853 * nx + phase) +
           0.25 * std::sin(2 * freq * 6.2831853 * nx + phase * 1.6);
};

// The seam's half-width: hwMax at the left and right edges, hwMin in the middle.
const auto halfWidth = [](double hwMin, double hwMax, double nx) {
    return mixd(hwMax, hwMin, std::sin(3.14159265 * std::clamp(nx, 0.0, 1.0)));
};

LinearImage blank(QSizeF size)
{
    LinearImage out{int(std::ceil(size.width())), int(std::ceil(size.height())), {}};
    out.rgb.resize(std::size_t(out.width) * out.height * 3);
    return out;
}

// One pass of an exact, normalised Gaussian along rows or columns, edges clamped.
LinearImage gaussian(const LinearImage &in, double sigma, bool vertical)
{
    const int r = int(std::ceil(4 * sigma));
    std::vector<double> kernel(2 * r + 1);
    double sum = 0;
    for (int i = -r; i <= r; ++i)
        sum += kernel[i + r] = std::exp(-double(i) * i / (2 * sigma * sigma));
    LinearImage out = in;
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x)
            for (int c = 0; c < 3; ++c) {
                double s = 0;
                for (int i = -r; i <= r; ++i)
                    s += kernel[i + r] * (vertical
                                              ? in.at(x, std::clamp(y + i, 0, in.height - 1), c)
                                              : in.at(std::clamp(x + i, 0, in.width - 1), y, c));
                out.at(x, y, c) = s / sum;
            }
    return out;
}

// Bilinear sample at continuous coordinates (pixel centres at +½), y down, edges clamped.
double sampleBilinear(const LinearImage &image, double x, double y, int c)
{
    const double fx = x - 0.5, fy = y - 0.5;
    const int x0 = int(std::floor(fx)), y0 = int(std::floor(fy));
    const double ax = fx - x0, ay = fy - y0;
    const auto px = [&](int xx, int yy) {
        return image.at(std::clamp(xx, 0, image.width - 1), std::clamp(yy, 0, image.height - 1), c);
    };
    return mixd(mixd(px(x0, y0), px(x0 + 1, y0), ax), mixd(px(x0, y0 + 1), px(x0 + 1, y0 + 1), ax),
                ay);
}

// The colour controls on one linear-light pixel, worked on its sRGB encoding: saturation about
// the Rec. 709 luma, then the brightness offset, then contrast about the middle. Out of range,
// the colour moves along the line to its own luma until it fits (not each channel alone): the
// largest t in [0, 1] with y + t·(e − y) inside the cube.
void colorControls(double *v, double brightness, double saturation, double contrast)
{
    double e[3];
    for (int c = 0; c < 3; ++c)
        e[c] = linearToSrgb(std::clamp(v[c], 0.0, 1.0));
    const double luma = 0.2126 * e[0] + 0.7152 * e[1] + 0.0722 * e[2];
    for (double &x : e)
        x = (luma + saturation * (x - luma) + brightness - 0.5) * contrast + 0.5;
    double y = 0.2126 * e[0] + 0.7152 * e[1] + 0.0722 * e[2];
    // A darkening eases into black: below the depth d at which the photo's black lands under 0,
    // the luma follows (y + d)² / 4d, every channel moved with it.
    if (const double d = -((brightness - 0.5) * contrast + 0.5); brightness < 0 && d > 0 && y < d) {
        const double eased = std::pow(std::max(y + d, 0.0), 2) / (4 * d);
        for (double &x : e)
            x += eased - y;
        y = eased;
    }
    const double yc = std::clamp(y, 0.0, 1.0);
    double t = 1;
    for (const double x : e) {
        if (x > 1)
            t = std::min(t, (1 - yc) / (x - yc));
        if (x < 0)
            t = std::min(t, yc / (yc - x));
    }
    for (int c = 0; c < 3; ++c)
        v[c] = srgbToLinear(std::clamp(yc + t * (e[c] - yc), 0.0, 1.0));
}

} // namespace

double channel(const Bitmap &bitmap, int x, int y, int c)
{
    const uint8_t *line = bitmap.constScanLine(y);
    return bitmap.isDeep() ? reinterpret_cast<const uint16_t *>(line)[4 * x + c] / 65535.0
                           : line[4 * x + c] / 255.0;
}

LinearImage linearize(const Bitmap &bitmap)
{
    LinearImage out = blank(bitmap.size());
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            for (int c = 0; c < 3; ++c)
                out.at(x, y, c) = srgbToLinear(channel(bitmap, x, y, c));
    return out;
}

LinearImage blurWallpaper(const Bitmap &source, QSizeF size, const BlurProcessor::Settings &s)
{
    LinearImage image = linearize(source);
    const double sigma = std::min(source.width(), source.height()) * (s.blur / 100) * 0.22;
    if (sigma > 0.5)
        image = gaussian(gaussian(image, sigma, false), sigma, true);
    for (std::size_t p = 0; p < image.rgb.size(); p += 3)
        colorControls(&image.rgb[p], s.brightness, s.saturation, s.contrast);
    const double W = size.width(), H = size.height();
    const double scale = std::max(W / source.width(), H / source.height());
    const double x0 = (source.width() * scale - W) / 2, y0 = (source.height() * scale - H) / 2;
    LinearImage out = blank(size);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            for (int c = 0; c < 3; ++c) {
                // The crop's rows count up from its bottom edge, as the image's do.
                const double up = (out.height - 1 - y) + 0.5 + y0;
                out.at(x, y, c) =
                    sampleBilinear(image, (x + 0.5 + x0) / scale, source.height() - up / scale, c);
            }
    return out;
}

LinearImage flowWallpaper(QSizeF size, const FlowProcessor::Settings &s)
{
    const double w = size.width(), h = size.height();
    const double hwMin = (1 - s.sharpness) * 0.0285 + 0.0015, hwMax = s.edgeSoftness * 0.47 + 0.08;
    const bool three = s.bands >= 3 && s.colors.size() >= 3;
    // Colour i of the bands, bottom first, in linear light; one colour fills every band.
    const auto band = [&](int i, int c) {
        const RenderColor &k = s.colors[std::min<std::size_t>(i, s.colors.size() - 1)];
        return srgbToLinear(c == 0 ? k.red : (c == 1 ? k.green : k.blue));
    };
    LinearImage out = blank(size);
    for (int row = 0; row < out.height; ++row)
        for (int px = 0; px < out.width; ++px) {
            const double nx = (px + 0.5) / w, ny = (out.height - row - 0.5) / h;
            const double hw = halfWidth(hwMin, hwMax, nx), f = s.frequency * 6.2831853 * nx;
            const double k1 =
                0.36 + s.amplitude * (std::sin(f + s.phase + 0.3) + 0.2 * std::sin(2 * f));
            const double k2 =
                0.68 + s.amplitude * (std::sin(f + s.phase + 2.4) + 0.2 * std::sin(2 * f + 1.1));
            const double curve = 0.5 + s.amplitude * wave(s.frequency, s.phase, nx);
            const double t1 = smoothstepd(-hw, hw, ny - (three ? k1 : curve));
            const double t2 = three ? smoothstepd(-hw, hw, ny - k2) : 0;
            for (int c = 0; c < 3; ++c)
                out.at(px, row, c) = mixd(mixd(band(0, c), band(1, c), t1), band(2, c), t2);
        }
    return out;
}

LinearImage mirrorWallpaper(const LinearImage &base, const MirrorProcessor::Settings &s,
                            QSizeF size)
{
    const double w = size.width(), h = size.height();
    const double hwMin = std::max(h * ((1 - s.hardness) * 0.02), 0.5);
    const double hwMax = std::max(hwMin, h * (s.sideFade * 0.18));
    const double dark = 1 - 0.6 * s.depth;
    LinearImage out = base;
    for (int row = 0; row < base.height; ++row)
        for (int px = 0; px < base.width; ++px) {
            const double nx = (px + 0.5) / w, y = (base.height - 1 - row) + 0.5;
            const double curveY = h * s.line + s.amplitude * h * wave(s.frequency, s.phase, nx);
            const double hw = halfWidth(hwMin, hwMax, nx);
            const double below = smoothstepd(-hw, hw, curveY - y);
            for (int c = 0; c < 3; ++c)
                out.at(px, row, c) = mixd(
                    base.at(px, row, c),
                    dark * sampleBilinear(base, px + 0.5, base.height - (curveY - y), c), below);
        }
    return out;
}

Difference compare(const Bitmap &rendered, const LinearImage &reference)
{
    Difference d;
    if (rendered.width() != reference.width || rendered.height() != reference.height)
        return {1e9, 1e9};
    double sum = 0;
    for (int y = 0; y < reference.height; ++y)
        for (int x = 0; x < reference.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                const double expected = linearToSrgb(std::clamp(reference.at(x, y, c), 0.0, 1.0));
                const double diff = std::abs(channel(rendered, x, y, c) - expected) * 255;
                d.max = std::max(d.max, diff);
                sum += diff;
            }
            d.max = std::max(d.max, (1 - channel(rendered, x, y, 3)) * 255);
        }
    d.mean = sum / (double(reference.width) * reference.height * 3);
    return d;
}

Bitmap photo(const QString &name, int width, int height)
{
    static QHash<QString, QImage> decoded;
    if (!decoded.contains(name))
        decoded.insert(name, QImage(TestData::photo(name)));
    return Bitmap::fromImage(
        decoded.value(name).scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

Bitmap solid(int width, int height, uint8_t r, uint8_t g, uint8_t b)
{
    QImage image(width, height, QImage::Format_RGBA8888);
    image.fill(QColor(r, g, b));
    return Bitmap::fromImage(image);
}

} // namespace Reference
