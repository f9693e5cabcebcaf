#include "photolooks.h"

#include "model/lookfields.h"
#include "model/palette.h"
#include "model/valuetypes.h"

void applyPhoto(Look &look, const Bitmap &photo, const QList<QPair<QString, QString>> &sets)
{
    look.source = photo;
    look.setFlowColors(Palette::extractPalette(photo));
    for (const auto &[field, value] : sets)
        LookFields::set(look, field, value, nullptr);
}

std::pair<Look, Look> looksOf(const LookChoice &choice, const Bitmap &photo,
                              const std::optional<Bitmap> &darkPhoto)
{
    Look light = choice.light;
    applyPhoto(light, photo, choice.sets);
    Look dark = choice.dark;
    if (!choice.darkChosen) {
        dark = light;
        dark.setTone(Tone::defaultFor(Appearance::Dark));
        if (darkPhoto)
            applyPhoto(dark, *darkPhoto, {});
    } else {
        applyPhoto(dark, darkPhoto.value_or(photo), choice.darkSets);
    }
    return {light, dark};
}
