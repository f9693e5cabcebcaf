#include "look.h"

Tone Tone::defaultFor(Appearance appearance)
{
    switch (appearance) {
    case Appearance::Light:
        return {0, 1.15, 1.0};
    case Appearance::Dark:
        return {-0.15, 1.05, 1.05};
    }
    Q_UNREACHABLE();
    return {};
}

Look Look::initialDark()
{
    Look look;
    look.setTone(Tone::defaultFor(Appearance::Dark));
    return look;
}

void Look::setTone(const Tone &tone)
{
    brightness = tone.brightness;
    saturation = tone.saturation;
    contrast = tone.contrast;
}

void Look::setFlowColors(const std::array<QColor, 3> &colors)
{
    flowColor0 = colors[0];
    flowColor1 = colors[1];
    flowColor2 = colors[2];
}

void Look::setPalette(const std::array<QColor, 3> &palette, Appearance appearance)
{
    if (appearance == Appearance::Light)
        setFlowColors(palette);
    else
        setFlowColors({toned(palette[0]), toned(palette[1]), toned(palette[2])});
}

QColor Look::toned(const QColor &color) const
{
    const RenderColor c = BlurProcessor::colorControlled(asCIColor(color), settings());
    return QColor::fromRgbF(float(c.red), float(c.green), float(c.blue));
}

BlurProcessor::Settings Look::settings() const
{
    return {blur, brightness, saturation, contrast, dither};
}

FlowProcessor::Settings Look::flowSettings() const
{
    FlowProcessor::Settings flow;
    flow.colors = {asCIColor(flowColor0), asCIColor(flowColor1), asCIColor(flowColor2)};
    flow.bands = flowBands;
    flow.amplitude = flowAmplitude;
    flow.frequency = flowFrequency;
    flow.sharpness = flowSharpness;
    flow.edgeSoftness = flowEdgeSoftness;
    flow.phase = flowPhase;
    flow.dither = dither;
    return flow;
}

MirrorProcessor::Settings Look::mirrorSettings() const
{
    MirrorProcessor::Settings mirror;
    mirror.line = mirrorLine;
    mirror.amplitude = mirrorAmplitude;
    mirror.frequency = mirrorFrequency;
    mirror.phase = mirrorPhase;
    mirror.hardness = mirrorHardness;
    mirror.depth = mirrorDepth;
    mirror.sideFade = mirrorSideFade;
    return mirror;
}

RenderColor asCIColor(const QColor &color)
{
    if (!color.isValid())
        return {0.5, 0.5, 0.5, 1};
    // Extended sRGB already is sRGB and may hold components outside [0, 1], which toRgb()
    // would clip; every other colour model goes through Qt's conversion to sRGB.
    const QColor srgb = color.toExtendedRgb() == color ? color : color.toRgb();
    return {srgb.redF(), srgb.greenF(), srgb.blueF(), 1};
}
