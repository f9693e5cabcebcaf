#pragma once

// No Linux desktop reads the light/dark pictures inside the HEIC, so the set writes each of them
// beside it once more, as JPEG, the format every desktop reads.

#include "render/bitmap.h"

#include <QString>

#include <optional>

// Writes `picture` as JPEG at `path`, beside it first and renamed over it only when complete.
// The error text, or nothing.
std::optional<QString> writeCompanionPicture(const Bitmap &picture, const QString &path);
