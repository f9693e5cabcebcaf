#include "reference.h"

#include "render/rendercolor.h"
#include "testdata.h"

#include <QImage>

#include <algorithm>
#include <cmath>

namespace Reference {

double channel(const Bitmap &bitmap, int x, int y, int c)
{
    const uint8_t *line = bitmap.constScanLine(y);
    if (bitmap.isDeep())
        return reinterpret_cast<const uint16_t *>(line)[4 * x + c] / 65535.0;
    return line[4 * x + c] / 255.0;
}

LinearImage linearize(const Bitmap &bitmap)
{
    LinearImage out{bitmap.width(), bitmap.height(), {}};
    out.rgb.resize(std::size_t(out.width) * out.height * 3);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            for (int c = 0; c < 3; ++c)
                out.at(x, y, c) = srgbToLinear(channel(bitmap, x, y, c));
    return out;
}

LinearImage gaussianBlur(const LinearImage &image, double sigma)
{
    const int radius = int(std::ceil(4 * sigma));
    std::vector<double> kernel(2 * radius + 1);
    double sum = 0;
    for (int i = -radius; i <= radius; ++i)
        sum += kernel[i + radius] = std::exp(-double(i) * i / (2 * sigma * sigma));
    for (double &k : kernel)
        k /= sum;
    LinearImage tmp = image, out = image;
    const int w = image.width, h = image.height;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                double s = 0;
                for (int i = -radius; i <= radius; ++i)
                    s += kernel[i + radius] * image.at(std::clamp(x + i, 0, w - 1), y, c);
                tmp.at(x, y, c) = s;
            }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                double s = 0;
                for (int i = -radius; i <= radius; ++i)
                    s += kernel[i + radius] * tmp.at(x, std::clamp(y + i, 0, h - 1), c);
                out.at(x, y, c) = s;
            }
    return out;
}

void colorControls(LinearImage &image, double brightness, double saturation, double contrast)
{
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            double v[3] = {image.at(x, y, 0), image.at(x, y, 1), image.at(x, y, 2)};
            const double luma = 0.2126 * v[0] + 0.7152 * v[1] + 0.0722 * v[2];
            for (int c = 0; c < 3; ++c) {
                double t = luma + saturation * (v[c] - luma);
                t += brightness;
                t = (t - 0.5) * contrast + 0.5;
                image.at(x, y, c) = t;
            }
        }
}

double sampleBilinear(const LinearImage &image, double x, double y, int c)
{
    const double fx = x - 0.5, fy = y - 0.5;
    const int x0 = int(std::floor(fx)), y0 = int(std::floor(fy));
    const double ax = fx - x0, ay = fy - y0;
    const auto px = [&](int xx, int yy) {
        return image.at(std::clamp(xx, 0, image.width - 1), std::clamp(yy, 0, image.height - 1), c);
    };
    return (1 - ay) * ((1 - ax) * px(x0, y0) + ax * px(x0 + 1, y0)) +
           ay * ((1 - ax) * px(x0, y0 + 1) + ax * px(x0 + 1, y0 + 1));
}

LinearImage blurWallpaper(const Bitmap &source, QSizeF size, const BlurProcessor::Settings &s)
{
    LinearImage image = linearize(source);
    const double m = std::min(source.width(), source.height());
    const double sigma = m * (s.blur / 100) * 0.22;
    if (sigma > 0.5)
        image = gaussianBlur(image, sigma);
    colorControls(image, s.brightness, s.saturation, s.contrast);
    const double W = size.width(), H = size.height();
    const double scale = std::max(W / source.width(), H / source.height());
    const double x0 = (source.width() * scale - W) / 2;
    const double y0 = (source.height() * scale - H) / 2; // symmetric, so top-down is the same
    LinearImage out{int(std::ceil(W)), int(std::ceil(H)), {}};
    out.rgb.resize(std::size_t(out.width) * out.height * 3);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            for (int c = 0; c < 3; ++c) {
                // Lower-left output row → top-down source coordinate.
                const double yl = (out.height - 1 - y) + 0.5;
                const double v = source.height() - (yl + y0) / scale;
                out.at(x, y, c) = sampleBilinear(image, (x + 0.5 + x0) / scale, v, c);
            }
    return out;
}

namespace {

double clampd(double v, double a, double b)
{
    return std::min(std::max(v, a), b);
}

double mixd(double a, double b, double t)
{
    return a * (1 - t) + b * t;
}

double smoothstepd(double e0, double e1, double v)
{
    const double t = clampd((v - e0) / (e1 - e0), 0, 1);
    return t * t * (3 - 2 * t);
}

} // namespace

LinearImage flowWallpaper(QSizeF size, const FlowProcessor::Settings &s)
{
    const double w = size.width(), h = size.height();
    const double hwMin = (1 - s.sharpness) * 0.0285 + 0.0015;
    const double hwMax = s.edgeSoftness * 0.47 + 0.08;
    const bool three = s.bands >= 3 && s.colors.size() >= 3;
    double col[3][3];
    for (int i = 0; i < 3; ++i) {
        const RenderColor c = s.colors[std::min<std::size_t>(i, s.colors.size() - 1)];
        col[i][0] = srgbToLinear(c.red);
        col[i][1] = srgbToLinear(c.green);
        col[i][2] = srgbToLinear(c.blue);
    }
    LinearImage out{int(std::ceil(w)), int(std::ceil(h)), {}};
    out.rgb.resize(std::size_t(out.width) * out.height * 3);
    for (int row = 0; row < out.height; ++row)
        for (int px = 0; px < out.width; ++px) {
            const double x = px + 0.5, y = (out.height - 1 - row) + 0.5;
            const double nx = x / w, ny = y / h;
            const double sharp = std::sin(3.14159265 * clampd(nx, 0, 1));
            const double hw = mixd(hwMax, hwMin, sharp);
            for (int c = 0; c < 3; ++c) {
                double v;
                if (three) {
                    const double f = s.frequency * 6.2831853 * nx;
                    const double k1 = 0.36 + s.amplitude * (std::sin(f + s.phase + 0.3) +
                                                            0.2 * std::sin(2.0 * f));
                    const double k2 = 0.68 + s.amplitude * (std::sin(f + s.phase + 2.4) +
                                                            0.2 * std::sin(2.0 * f + 1.1));
                    const double lower = mixd(col[0][c], col[1][c], smoothstepd(-hw, hw, ny - k1));
                    v = mixd(lower, col[2][c], smoothstepd(-hw, hw, ny - k2));
                } else {
                    const double wave =
                        std::sin(s.frequency * 6.2831853 * nx + s.phase) +
                        0.25 * std::sin(2.0 * s.frequency * 6.2831853 * nx + s.phase * 1.6);
                    const double curve = 0.5 + s.amplitude * wave;
                    const double top = s.colors.size() >= 2 ? col[1][c] : col[0][c];
                    v = mixd(col[0][c], top, smoothstepd(-hw, hw, ny - curve));
                }
                out.at(px, row, c) = v;
            }
        }
    return out;
}

LinearImage mirrorWallpaper(const LinearImage &base, const MirrorProcessor::Settings &s)
{
    const double w = base.width, h = base.height;
    const double baseLine = h * s.line;
    const double hwMin = std::max(h * ((1 - s.hardness) * 0.02), 0.5);
    const double hwMax = std::max(hwMin, h * (s.sideFade * 0.18));
    const double dark = 1 - 0.6 * s.depth;
    // Lower-left lookups with linear interpolation between row centres, clamped.
    const auto sample = [&](int px, double y, int c) {
        const double t = y - 0.5;
        const double r0 = std::floor(t);
        const double f = t - r0;
        const auto row = [&](double r) {
            const int yl = int(std::clamp(r, 0.0, h - 1));
            return base.at(px, base.height - 1 - yl, c);
        };
        return mixd(row(r0), row(r0 + 1), f);
    };
    LinearImage out = base;
    for (int row = 0; row < base.height; ++row)
        for (int px = 0; px < base.width; ++px) {
            const double x = px + 0.5, y = (base.height - 1 - row) + 0.5;
            const double nx = x / w;
            const double wave = std::sin(s.frequency * 6.2831853 * nx + s.phase) +
                                0.25 * std::sin(2.0 * s.frequency * 6.2831853 * nx + s.phase * 1.6);
            const double curveY = baseLine + s.amplitude * h * wave;
            const double sharp = std::sin(3.14159265 * clampd(nx, 0, 1));
            const double hw = mixd(hwMax, hwMin, sharp);
            const double below = smoothstepd(-hw, hw, curveY - y);
            for (int c = 0; c < 3; ++c) {
                const double orig = base.at(px, row, c);
                const double fold = sample(px, curveY - y, c) * dark;
                out.at(px, row, c) = mixd(orig, fold, below);
            }
        }
    return out;
}

Difference compare(const Bitmap &rendered, const LinearImage &reference)
{
    Difference d;
    if (rendered.width() != reference.width || rendered.height() != reference.height) {
        d.max = d.mean = 1e9;
        return d;
    }
    double sum = 0;
    for (int y = 0; y < reference.height; ++y)
        for (int x = 0; x < reference.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const double expected = linearToSrgb(clampd(reference.at(x, y, c), 0, 1));
                const double diff = std::abs(channel(rendered, x, y, c) - expected) * 255;
                d.max = std::max(d.max, diff);
                sum += diff;
            }
    d.mean = sum / (double(reference.width) * reference.height * 3);
    return d;
}

Bitmap photo(const QString &name, int width, int height)
{
    const QImage image(TestData::photo(name));
    return Bitmap::fromImage(
        image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

Bitmap solid(int width, int height, uint8_t r, uint8_t g, uint8_t b)
{
    QImage image(width, height, QImage::Format_RGBA8888);
    image.fill(QColor(r, g, b));
    return Bitmap::fromImage(image);
}

} // namespace Reference
