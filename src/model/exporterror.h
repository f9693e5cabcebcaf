#pragma once

#include <QString>

// Why a wallpaper could not be produced for output. The render pipeline raises the first two;
// encoder failures surface as the wallpaper writer's own error instead.
enum class ExportError { NoSource, RenderFailed, EncodeFailed };

// The German text shown to the user.
QString description(ExportError error);
