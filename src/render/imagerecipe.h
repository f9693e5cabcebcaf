#pragma once

// The fused recipe behind an Image; read by RenderContext, built through Image's operations.
// Kept out of image.h, which only names it, so the styles that build images see nothing but
// the operations.

#include "image.h"

#include <optional>

struct ColorControls
{
    float brightness = 0;
    float saturation = 1;
    float contrast = 1;
};

struct ImageRecipe
{
    enum class Kind { Sampled, Flow };
    // How far along the chain an image is; operations only move forward.
    enum Stage { Source = 0, Blurred, Controlled, Transformed, Mirrored, Dithered };

    Kind kind = Kind::Sampled;
    int stage = Source;
    QRectF extent;

    // Sampled: image coordinate = source coordinate × scale + (tx, ty), lower-left origin.
    Bitmap source;
    double sigma = 0;
    std::optional<ColorControls> colorControls;
    double scale = 1;
    double tx = 0;
    double ty = 0;
    std::optional<MirrorKernelArgs> mirror;
    QRectF mirrorClamp; // where the mirror kernel's samples are clamped to

    FlowKernelArgs flow;

    float dither = 0;
    std::optional<QRectF> clampRect; // set by clampedToExtent()
};
