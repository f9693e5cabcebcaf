#pragma once

// The values a look's numbers may take: well beyond the sliders, so scripts keep their
// freedom, yet small enough that the renderers' float arithmetic stays finite and their work
// bounded. The command line refuses anything outside; the renderers clamp to the same ranges,
// since a look can reach them without passing through text (a copied or restored look).

#include <algorithm>
#include <cmath>

namespace RenderBounds {

struct Range
{
    double min;
    double max;
    double fallback; // for NaN, which has no side to clamp to

    bool contains(double value) const { return value >= min && value <= max; }
    double apply(double value) const
    {
        return std::isnan(value) ? fallback : std::clamp(value, min, max);
    }
};

inline constexpr Range blur{0, 1000, 0}; // percent: 1000 is a sigma of 2.2 shorter sides
inline constexpr Range brightness{-10, 10, 0};
inline constexpr Range saturation{-10, 10, 1};
inline constexpr Range contrast{-10, 10, 1};
inline constexpr Range dither{0, 10, 0};
inline constexpr Range amplitude{-10, 10, 0};   // fractions of the picture height
inline constexpr Range frequency{-100, 100, 1}; // periods across the width
inline constexpr Range phase{-1000, 1000, 0};   // radians
inline constexpr Range line{-10, 10, 0.5};
inline constexpr Range shape{-10, 10, 1}; // sharpness, softness, hardness, depth, side fade

} // namespace RenderBounds
