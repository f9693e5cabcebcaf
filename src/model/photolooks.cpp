#include "photolooks.h"

#include "model/lookfields.h"
#include "model/palette.h"
#include "model/valuetypes.h"

namespace {

// The photo enters `look` of `appearance` as it does in the window, picture and palette; then
// `sets`.
void applyPhoto(Look &look, Appearance appearance, const Bitmap &photo,
                const std::array<QColor, 3> &palette, const QList<QPair<QString, QString>> &sets)
{
    look.source = photo;
    look.setPalette(palette, appearance);
    for (const auto &[field, value] : sets)
        LookFields::set(look, field, value, nullptr);
}

} // namespace

std::pair<Look, Look> looksOf(const LookChoice &choice, const Bitmap &photo,
                              const std::optional<Bitmap> &darkPhoto)
{
    // Read once: a photo's palette averages every pixel of it.
    const std::array<QColor, 3> palette = Palette::extractPalette(photo);
    Look light = choice.light;
    using enum Appearance;
    applyPhoto(light, Light, photo, palette, choice.sets);
    Look dark = choice.dark;
    if (!choice.darkChosen) {
        // The light look in the dark tone, colours given by hand included.
        dark = light;
        dark.setTone(Tone::defaultFor(Dark));
        dark.setFlowColors({dark.toned(light.flowColor0), dark.toned(light.flowColor1),
                            dark.toned(light.flowColor2)});
        if (darkPhoto)
            applyPhoto(dark, Dark, *darkPhoto, Palette::extractPalette(*darkPhoto), {});
    } else if (darkPhoto) {
        applyPhoto(dark, Dark, *darkPhoto, Palette::extractPalette(*darkPhoto), choice.darkSets);
    } else {
        applyPhoto(dark, Dark, photo, palette, choice.darkSets);
    }
    return {light, dark};
}
