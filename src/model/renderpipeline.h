#pragma once

// Turns a Look into a picture with the renderer of its style, and works out the output size the
// model's preset and custom size stand for. Stateless: the model calls it with copies.

#include "files/writeprogress.h"
#include "model/exporterror.h"
#include "model/look.h"
#include "model/valuetypes.h"
#include "render/bitmap.h"

#include <QSizeF>
#include <QString>

#include <optional>
#include <variant>

namespace RenderPipeline {

// The output size in pixels.
struct PixelSize
{
    qint64 width = 0;
    qint64 height = 0;

    QSizeF toSizeF() const { return QSizeF(double(width), double(height)); }

    friend bool operator==(const PixelSize &, const PixelSize &) = default;
};

// The preview is never larger than this on its longer side.
inline constexpr qint64 MaxPreviewSide = 1800;

// The look drawn at a size in pixels (not rounded); no value when nothing could be drawn,
// including a blur or mirror look without a source and a size no bitmap can have.
std::optional<Bitmap> renderLook(const Look &look, QSizeF size, bool deep);

// The largest output side: libvips (with Debian 12's libheif) reads no HEIC back that is 16384
// pixels wide or tall at this pixel count (16384 × 6103 fails, 16383 × 6103 reads), so a
// larger file would be written but could never be opened again.
inline constexpr qint64 MaxOutputSide = 16383;
// The largest output in pixels: a HEIC export holds both pictures in 16-bit colour and their
// encoded form at once, and this keeps the largest within about 4 GB (bench/README.md).
inline constexpr qint64 MaxOutputPixels = 100'000'000;

// The German message refusing a size beyond those limits; nothing for a size that can be
// exported. Callers check it before decoding or rendering anything.
std::optional<QString> sizeError(PixelSize size);

// The preset's own size, or for the custom entry the custom size with values below 1 as 1.
// Sizes beyond the export limits stay as they are: sizeError() refuses them.
PixelSize pixelSize(const ResolutionPreset &preset, qint64 customWidth, qint64 customHeight);

// "6016 × 3384 px · 20.4 MP": plain integers and a decimal point whatever the locale.
QString pixelSizeLabel(PixelSize size);

// The output size scaled down, aspect kept and unrounded, until its longer side is at most
// MaxPreviewSide; smaller sizes stay as they are.
QSizeF previewSize(PixelSize size);

// The look at the full output size with deep colour, as the output paths need it.
using FullRender = std::variant<Bitmap, ExportError>;
FullRender renderFull(const Look &look, PixelSize size);
// Both looks of a wallpaper so, light first: the first failure stops, so a failing light
// render costs no dark render. `progress`, when given, hears each render begin and may stop
// the pair before either (ExportError::Cancelled).
struct FullPair
{
    Bitmap light;
    Bitmap dark;
};
std::variant<FullPair, ExportError> renderBoth(const Look &light, const Look &dark, PixelSize size,
                                               WriteProgress *progress = nullptr);

} // namespace RenderPipeline
