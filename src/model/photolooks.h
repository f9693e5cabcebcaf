#pragma once

// The looks a photo makes without the window, as the window makes them: the command line and
// the daily run have no editor, only a style and fields given as text.

#include "model/look.h"

#include <QList>
#include <QPair>
#include <QString>

#include <optional>

struct LookChoice
{
    Look light;
    Look dark = Look::initialDark();
    // Applied after the photo's palette, so a colour given here wins over the photo's; checked
    // by LookFields::set when they were given.
    QList<QPair<QString, QString>> sets;
    QList<QPair<QString, QString>> darkSets;
    // Without a dark style or dark fields the dark look is the light one in the dark tone, as
    // in the window.
    bool darkChosen = false;
};

// Both looks of `photo`, the dark one of `darkPhoto` where one is given: each takes its
// picture and palette as in the window, then its `sets`.
std::pair<Look, Look> looksOf(const LookChoice &choice, const Bitmap &photo,
                              const std::optional<Bitmap> &darkPhoto = std::nullopt);
