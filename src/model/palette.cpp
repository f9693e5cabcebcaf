#include "palette.h"

#include "render/flowprocessor.h"
#include "render/image.h"

#include <algorithm>

namespace Palette {

std::array<QColor, 3> extractPalette(const Bitmap &picture)
{
    const Image image = Image::fromBitmap(picture);
    const QRectF extent = image.extent();
    const double third = extent.height() / 3;
    std::array<QColor, 3> colors;
    for (int k = 0; k < 3; ++k) {
        // Lower-left origin: band 0 is the bottom of the picture as displayed.
        const double y = k == 2 ? (third + third) + extent.y() : extent.y() + k * third;
        const QRectF band(extent.x(), y, extent.width(), third);
        colors[k] = vivid(FlowProcessor::averageColor(image, band));
    }
    return colors;
}

QColor vivid(const RenderColor &color)
{
    const auto unit = [](double v) { return std::clamp(v, 0.0, 1.0); };
    const QColor rgb = QColor::fromRgbF(float(unit(color.red)), float(unit(color.green)),
                                        float(unit(color.blue)), 1.0f);
    float h = 0, s = 0, v = 0;
    rgb.getHsvF(&h, &s, &v);
    if (h < 0) // Qt's "no hue" for greys; the hexcone convention is 0
        h = 0;
    const float s2 = std::min(s * 1.35f + 0.06f, 1.0f);
    const float v2 = std::min(std::max(v, 0.28f), 1.0f);
    return QColor::fromHsvF(h, s2, v2, 1.0f).toRgb();
}

} // namespace Palette
