#pragma once

// The ways producing a wallpaper for output can fail, with the German text shown for each. The
// render pipeline returns one in place of a picture; the model, its output jobs and the drag
// file turn it into the error line they report.

#include <QString>

// Why a wallpaper could not be produced for output. The render pipeline raises the first two,
// and Cancelled when the person stopped it between the renders; encoder failures surface as
// the wallpaper writer's own error instead.
enum class ExportError { NoSource, RenderFailed, EncodeFailed, Cancelled };

// The German text shown to the user.
QString description(ExportError error);
