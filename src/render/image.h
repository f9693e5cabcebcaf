#pragma once

// What the styles describe and the render engine evaluates: a lazy Image is built up by blurring,
// colour controls, scaling, mirroring and dithering, and nothing is computed until RenderContext
// renders a rectangle of it. The kernels' arguments live here because an image carries them.

#include "bitmap.h"

#include <QRectF>

#include <memory>

// Arguments of the mirror kernel, already in pixels (see MirrorProcessor).
struct MirrorKernelArgs
{
    float baseLine = 0;
    float amp = 0;
    float freq = 1;
    float phase = 0;
    float hwMin = 0.5f;
    float hwMax = 0.5f;
    float dark = 1;
    float w = 1;
    float h = 1;
};

// Arguments of the flow colour kernels (see FlowProcessor). Colours are sRGB-encoded.
struct FlowKernelArgs
{
    bool threeBands = false; // edge3 when set, edge2 otherwise
    float colors[3][3] = {}; // edge2: [0] = bottom, [1] = top; edge3: c0, c1, c2
    float amp = 0;
    float freq = 1;
    float phase = 0;
    float hwMin = 0;
    float hwMax = 0;
    float w = 1;
    float h = 1;
};

struct ImageRecipe;

// A lazy image: an extent and a recipe, nothing computed until RenderContext renders a
// rectangle of it. Coordinates have their origin in the lower-left corner, y up, pixel
// centres at +0.5. Outside its extent an image repeats its edge pixels, so every operation
// here stays defined up to the borders of a render.
//
// A recipe is one fused pass per output pixel: source bitmap → Gaussian blur → colour
// controls → uniform scale and translation → mirror kernel → dither, or a flow kernel →
// dither. Operations therefore apply in that order; one that does not fit the chain yields
// a null image, the way a filter without output does.
class Image
{
public:
    Image() = default;

    static Image fromBitmap(const Bitmap &bitmap);
    static Image fromFlowKernel(const FlowKernelArgs &args, const QRectF &extent);

    bool isNull() const { return !m_recipe; }
    QRectF extent() const;

    Image clampedToExtent() const;
    Image gaussianBlurred(double sigma) const;
    Image croppedTo(const QRectF &rect) const;
    Image colorControlled(float brightness, float saturation, float contrast) const;
    Image scaled(double factor) const; // about the origin
    Image translated(double dx, double dy) const;
    // The extent set to `rect` when each of its edges is within `tolerance` of it; unchanged
    // otherwise. Outside its extent an image repeats its edges, so this moves no pixel.
    Image snappedTo(const QRectF &rect, double tolerance) const;
    Image mirrored(const MirrorKernelArgs &args, const QRectF &extent) const;
    Image dithered(float intensity) const;

    const ImageRecipe *recipe() const { return m_recipe.get(); }

private:
    explicit Image(std::shared_ptr<const ImageRecipe> recipe) : m_recipe(std::move(recipe)) {}
    template <typename Change> Image with(Change change) const;

    std::shared_ptr<const ImageRecipe> m_recipe;
};
