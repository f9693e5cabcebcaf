#pragma once

// A colour as the renderers take it and give it back — the flow style's bands, a picture's
// average — with the exact sRGB transfer curve. A header of its own because the model's looks and
// palette speak it as much as the renderers do.

#include <cmath>

// A colour as the renderers take it: sRGB-encoded components, alpha 1 unless said otherwise.
struct RenderColor
{
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    friend bool operator==(const RenderColor &, const RenderColor &) = default;
};

// The sRGB transfer curve (IEC 61966-2-1), exact, for reference and for the few
// per-colour conversions; the render loops use a fast vectorised approximation.
inline double srgbToLinear(double v)
{
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

inline double linearToSrgb(double v)
{
    return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}
