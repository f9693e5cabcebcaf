#pragma once

// The one intermediate the render engine keeps in memory: a strong blur is rendered from its
// source's shrunk, blurred copy in this form, made by the prepared cache and read by the sampled
// plan. A header of its own so that both can use it without including each other.

#include <cstddef>
#include <vector>

// A small linear-light RGB image in three planes: a source's box-shrunk, blurred copy.
// Indices (i, j) map to source coordinates ((i − pad + ½)·factor, (j − pad + ½)·factor),
// rows top-down; the pad border holds the source's edge pixels continued outwards.
struct PlanarImage
{
    int width = 0;
    int height = 0;
    int factor = 1;
    int pad = 0;
    std::vector<float> pixels; // plane-major: R rows, then G rows, then B rows

    const float *plane(int c) const { return pixels.data() + std::size_t(c) * width * height; }
    float *plane(int c) { return pixels.data() + std::size_t(c) * width * height; }
    const float *row(int c, int y) const { return plane(c) + std::size_t(y) * width; }
    float *row(int c, int y) { return plane(c) + std::size_t(y) * width; }
    std::size_t bytes() const { return pixels.size() * sizeof(float); }
};
