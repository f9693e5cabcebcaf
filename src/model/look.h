#pragma once

// One appearance's edit state — picture, style, tone and the styles' parameters — as a plain
// value: the model keeps two, light and dark, and the workers that render take copies. Turning a
// look into each renderer's settings happens here, so the renderers know nothing of looks.

#include "model/valuetypes.h"
#include "render/bitmap.h"
#include "render/blurprocessor.h"
#include "render/flowprocessor.h"
#include "render/mirrorprocessor.h"
#include "render/rendercolor.h"

#include <QColor>
#include <QString>

#include <array>
#include <optional>

// Brightness, saturation and contrast: the part of a look that belongs to its appearance rather
// than to the picture, so it is what a look keeps when the other appearance's look is copied in.
struct Tone
{
    double brightness = 0;
    double saturation = 1.15;
    double contrast = 1.0;

    // The tone an appearance starts with and receives when seeded from the other one.
    static Tone defaultFor(Appearance appearance);

    friend bool operator==(const Tone &, const Tone &) = default;
};

// The whole edit state of one appearance. A plain value: copies share only the immutable source
// bitmap. The fields can be given in order for memberwise construction; Look{} is the default
// (the initial light look and what resets go back to).
struct Look
{
    std::optional<Bitmap> source;
    std::optional<QString> photoID;        // Unsplash id, file path or library asset id
    std::optional<QString> baseName;       // stem of export file names
    std::optional<QString> attribution;    // credit line
    std::optional<QString> attributionURL; // where the credit line links to
    WallpaperStyle style = WallpaperStyle::Blur;
    double blur = 55;
    double brightness = 0;
    double saturation = 1.15;
    double contrast = 1.0;
    double dither = 0.1;
    QColor flowColor0 = QColor::fromRgbF(0.98f, 0.55f, 0.10f); // bottom band
    QColor flowColor1 = QColor::fromRgbF(1.0f, 0.13f, 0.55f);
    QColor flowColor2 = QColor::fromRgbF(0.55f, 0.12f, 0.92f);
    qint64 flowBands = 3;
    double flowAmplitude = 0.11;
    double flowFrequency = 1.0;
    double flowSharpness = 0.8;
    double flowEdgeSoftness = 0.7;
    double flowPhase = 1.0;
    double mirrorLine = 0.52;
    double mirrorAmplitude = 0.05;
    double mirrorFrequency = 1.0;
    double mirrorPhase = 1.0;
    double mirrorHardness = 1.0;
    double mirrorDepth = 0.35;
    double mirrorSideFade = 0.5;

    // The model's dark look before anything is edited: the defaults with the dark tone.
    static Look initialDark();

    Tone tone() const { return {brightness, saturation, contrast}; }
    void setTone(const Tone &tone);
    // The three flow colours, bottom band first, as Palette::extractPalette gives them.
    void setFlowColors(const std::array<QColor, 3> &colors);
    // A photo's palette as this look's flow colours, where `appearance` is the look's own: the
    // light look takes it as it is, the dark one through its tone, as the photo's pixels go in
    // the other styles — else a dark flow picture would be as bright as the light one.
    void setPalette(const std::array<QColor, 3> &palette, Appearance appearance);
    // A colour through this look's tone.
    QColor toned(const QColor &color) const;

    // The renderers' settings, values passed exactly as stored (no clamping, no scaling).
    BlurProcessor::Settings settings() const;
    FlowProcessor::Settings flowSettings() const;
    // The mirror style's dither travels separately, see renderLook.
    MirrorProcessor::Settings mirrorSettings() const;

    friend bool operator==(const Look &, const Look &) = default;
};

// The one way a UI colour reaches a renderer: sRGB components, mid grey for a colour that cannot
// be converted, always opaque.
RenderColor asCIColor(const QColor &color);
