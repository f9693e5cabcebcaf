#pragma once

// One Unsplash photo found and downloaded the way the window does it — the search, the hit, the
// download and its report — for the command line and the daily run, which have no window.

#include "render/bitmap.h"

#include <QString>

#include <variant>

struct PickedPhoto
{
    Bitmap picture;
    QString id;
    QString attribution; // "Foto von … auf Unsplash"
    QString credit;      // the attribution and, on a line of its own, its address
};

// The `pick`-th hit (from 1) for `query`, with `key` or else the stored key; the hit after it
// when that one is `avoid` (the photo of the day before). The photo, or the German error text.
std::variant<PickedPhoto, QString> pickFromUnsplash(const QString &query, int pick,
                                                    const QString &key, const QString &avoid = {});
