#include "renderpipeline.h"

#include "render/blurprocessor.h"
#include "render/flowprocessor.h"
#include "render/mirrorprocessor.h"

#include <QtNumeric>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <limits>

namespace RenderPipeline {

namespace {

// A custom size has no upper bound, but a bitmap's sides are ints and the renderers convert the
// target size to them; out of that range the conversion itself would be undefined.
bool isBitmapSize(QSizeF size)
{
    constexpr double maxSide = std::numeric_limits<int>::max();
    return size.width() > 0 && size.height() > 0 && size.width() <= maxSide &&
           size.height() <= maxSide;
}

// "%.1f" as in the C locale. Neither snprintf (follows LC_NUMERIC) nor QString::number (rounds
// exact ties such as 0.25 away from zero) will do.
QString formatOneDecimal(double value)
{
    // Enough for any finite double in fixed notation.
    char text[400];
    const std::to_chars_result result =
        std::to_chars(std::begin(text), std::end(text), value, std::chars_format::fixed, 1);
    return QString::fromLatin1(text, result.ptr - text);
}

} // namespace

std::optional<Bitmap> renderLook(const Look &look, QSizeF size, bool deep)
{
    if (!isBitmapSize(size))
        return std::nullopt;

    switch (look.style) {
    case WallpaperStyle::Blur:
        if (!look.source)
            return std::nullopt;
        return BlurProcessor::render(*look.source, size, look.settings(), deep);
    case WallpaperStyle::Flow:
        return FlowProcessor::render(size, look.flowSettings(), deep);
    case WallpaperStyle::Mirror: {
        if (!look.source)
            return std::nullopt;
        const std::optional<Image> base =
            BlurProcessor::processedImage(*look.source, size, look.settings());
        if (!base)
            return std::nullopt;
        const Image folded = MirrorProcessor::apply(*base, size, look.mirrorSettings());
        return BlurProcessor::finalize(folded, size, look.dither, deep);
    }
    }
    Q_UNREACHABLE();
    return std::nullopt;
}

std::optional<QString> sizeError(PixelSize size)
{
    if (size.width <= MaxOutputSide && size.height <= MaxOutputSide &&
        size.width * size.height <= MaxOutputPixels)
        return std::nullopt;
    return QStringLiteral("Die Ausgabegröße %1 × %2 ist zu groß: jede Seite höchstens %3 Pixel, "
                          "zusammen höchstens %4 Megapixel.")
        .arg(size.width)
        .arg(size.height)
        .arg(MaxOutputSide)
        .arg(MaxOutputPixels / 1'000'000);
}

PixelSize pixelSize(const ResolutionPreset &preset, qint64 customWidth, qint64 customHeight)
{
    if (!preset.isCustom())
        return {preset.width, preset.height};
    return {std::max<qint64>(customWidth, 1), std::max<qint64>(customHeight, 1)};
}

QString pixelSizeLabel(PixelSize size)
{
    qint64 pixels = 0;
    // Sizes whose pixel count leaves 64 bits only come from absurd custom input; the figure is
    // then computed in floating point rather than wrapping around.
    const double megapixels = qMulOverflow(size.width, size.height, &pixels)
                                  ? double(size.width) * double(size.height) / 1'000'000.0
                                  : double(pixels) / 1'000'000.0;
    return QString::number(size.width) + QStringLiteral(u" \u00d7 ") +
           QString::number(size.height) + QStringLiteral(u" px \u00b7 ") +
           formatOneDecimal(megapixels) + QStringLiteral(" MP");
}

QSizeF previewSize(PixelSize size)
{
    const qint64 longer = std::max(size.width, size.height);
    if (longer <= MaxPreviewSide)
        return size.toSizeF();
    const double scale = double(MaxPreviewSide) / double(longer);
    // scale × longer can come out an ulp above the bound (2122 wide does), and the renderers
    // round a size out to whole pixels: the longer side is set, not computed.
    const auto side = [&](qint64 value) {
        return value == longer ? double(MaxPreviewSide) : scale * double(value);
    };
    return QSizeF(side(size.width), side(size.height));
}

FullRender renderFull(const Look &look, PixelSize size)
{
    if (look.style != WallpaperStyle::Flow && !look.source)
        return ExportError::NoSource;
    if (std::optional<Bitmap> bitmap = renderLook(look, size.toSizeF(), true))
        return *std::move(bitmap);
    return ExportError::RenderFailed;
}

std::variant<FullPair, ExportError> renderBoth(const Look &light, const Look &dark, PixelSize size,
                                               WriteProgress *progress)
{
    if (WriteProgress::stopsBefore(progress, WriteStep::RenderLight))
        return ExportError::Cancelled;
    FullRender lightRender = renderFull(light, size);
    if (const auto *error = std::get_if<ExportError>(&lightRender))
        return *error;
    if (WriteProgress::stopsBefore(progress, WriteStep::RenderDark))
        return ExportError::Cancelled;
    FullRender darkRender = renderFull(dark, size);
    if (const auto *error = std::get_if<ExportError>(&darkRender))
        return *error;
    return FullPair{std::get<Bitmap>(std::move(lightRender)),
                    std::get<Bitmap>(std::move(darkRender))};
}

} // namespace RenderPipeline
