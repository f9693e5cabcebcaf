#pragma once

// The mirror style's own step: the wavy seam and the darkened reflection below it, applied to the
// blur style's image before that is dithered and rendered. Only the kernel's arguments are worked
// out here; the pixels are computed in mirrorfold.cpp.

#include "image.h"

#include <QSizeF>

// The mirror style: everything below a wavy seam replaced by a darkened, flipped copy.
namespace MirrorProcessor {

struct Settings
{
    double line = 0.52;      // rest line of the seam, fraction of the height from the bottom
    double amplitude = 0.05; // wave height, fraction of the height
    double frequency = 1.0;  // wave periods across the width
    double phase = 1.0;      // radians
    double hardness = 1.0;   // seam sharpness in the middle, 1 = sharpest
    double depth = 0.35;     // darkening of the flipped part, 0 = none
    double sideFade = 0.5;   // seam softness towards the left and right edges
};

// Never null for a non-null input: without a kernel result the input comes back unchanged.
Image apply(const Image &image, QSizeF size, const Settings &settings);

MirrorKernelArgs kernelArgs(QSizeF size, const Settings &settings);

} // namespace MirrorProcessor
