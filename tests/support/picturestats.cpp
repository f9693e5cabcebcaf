#include "picturestats.h"

#include "reference.h"
#include "render/rendercolor.h"

#include <cmath>
#include <numbers>

namespace {

// CIELAB a*, b* of an sRGB colour (D65).
void lab(const double *srgb, double &a, double &b)
{
    double lin[3];
    for (int c = 0; c < 3; ++c)
        lin[c] = srgbToLinear(srgb[c]);
    const double x = (0.4124 * lin[0] + 0.3576 * lin[1] + 0.1805 * lin[2]) / 0.95047;
    const double y = 0.2126 * lin[0] + 0.7152 * lin[1] + 0.0722 * lin[2];
    const double z = (0.0193 * lin[0] + 0.1192 * lin[1] + 0.9505 * lin[2]) / 1.08883;
    const auto f = [](double t) {
        return t > 216.0 / 24389 ? std::cbrt(t) : (24389.0 / 27 * t + 16) / 116;
    };
    a = 500 * (f(x) - f(y));
    b = 200 * (f(y) - f(z));
}

} // namespace

PictureStats PictureStats::of(const Bitmap &picture)
{
    PictureStats s;
    const double n = double(picture.width()) * picture.height();
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            double v[3];
            bool black = true;
            for (int c = 0; c < 3; ++c) {
                v[c] = Reference::channel(picture, x, y, c);
                black = black && v[c] < 0.02;
            }
            s.meanGrey += 0.2126 * v[0] + 0.7152 * v[1] + 0.0722 * v[2];
            s.blackShare += black;
            double a, b;
            lab(v, a, b);
            s.meanA += a;
            s.meanB += b;
        }
    s.meanGrey /= n;
    s.blackShare /= n;
    s.meanA /= n;
    s.meanB /= n;
    return s;
}

double hueTurn(const PictureStats &a, const PictureStats &b)
{
    const double turn = std::atan2(a.meanB, a.meanA) - std::atan2(b.meanB, b.meanA);
    const double degrees =
        std::abs(std::remainder(turn, 2 * std::numbers::pi)) * 180 / std::numbers::pi;
    return degrees;
}

double hueShiftShare(const Bitmap &a, const Bitmap &b, double degrees)
{
    double coloured = 0, shifted = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            double u[3], v[3], ua, ub, va, vb;
            for (int c = 0; c < 3; ++c) {
                u[c] = Reference::channel(a, x, y, c);
                v[c] = Reference::channel(b, x, y, c);
            }
            lab(u, ua, ub);
            lab(v, va, vb);
            if (std::hypot(ua, ub) < 5 || std::hypot(va, vb) < 5)
                continue;
            ++coloured;
            const double turn =
                std::remainder(std::atan2(ub, ua) - std::atan2(vb, va), 2 * std::numbers::pi);
            shifted += std::abs(turn) * 180 / std::numbers::pi > degrees;
        }
    return coloured > 0 ? shifted / coloured : 0;
}
