#include "photolooks.h"

#include "model/lookfields.h"
#include "model/palette.h"
#include "model/valuetypes.h"

namespace {

// The photo enters `look` as it does in the window, picture and palette; then `sets`.
void applyPhoto(Look &look, const Bitmap &photo, const std::array<QColor, 3> &palette,
                const QList<QPair<QString, QString>> &sets)
{
    look.source = photo;
    look.setFlowColors(palette);
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
    applyPhoto(light, photo, palette, choice.sets);
    Look dark = choice.dark;
    if (!choice.darkChosen) {
        dark = light;
        dark.setTone(Tone::defaultFor(Appearance::Dark));
        if (darkPhoto)
            applyPhoto(dark, *darkPhoto, Palette::extractPalette(*darkPhoto), {});
    } else if (darkPhoto) {
        applyPhoto(dark, *darkPhoto, Palette::extractPalette(*darkPhoto), choice.darkSets);
    } else {
        applyPhoto(dark, photo, palette, choice.darkSets);
    }
    return {light, dark};
}
