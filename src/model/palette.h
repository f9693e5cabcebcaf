#pragma once

// The three flow colours a picture suggests. Whenever a photo enters a look — in the window, on
// the picture loader's worker, in voskan-render — and when the person asks for it again, the
// flow colours are taken from the photo this way, so every path gives the same three.

#include "render/bitmap.h"
#include "render/rendercolor.h"

#include <QColor>

#include <array>

namespace Palette {

// Three colours from a picture: the averages of three horizontal bands, bottom band first
// (the order the flow style paints them), each made livelier by vivid().
std::array<QColor, 3> extractPalette(const Bitmap &picture);

// An average colour with more saturation (×1.35 + 0.06) and brightness at least 0.28, in
// the HSB hexcone model.
QColor vivid(const RenderColor &color);

} // namespace Palette
