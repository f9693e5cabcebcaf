#pragma once

// voskan-render's output when one look is asked for: that look as a lossless PNG, 16 bits a
// channel at full size or 8 at preview size, so scripts and benchmarks get the render itself with
// no lossy encoder in between. The only user of libspng.

#include "files/fileerror.h"
#include "render/bitmap.h"

#include <QString>

#include <optional>
#include <variant>

// Why the PNG encoder gave up; a failure of the destination itself is a FileError.
enum class PngError {
    OutOfMemory,
    Encode,
};
using PngFailure = std::variant<PngError, FileError>;

QString description(PngError error);
QString description(const PngFailure &failure);

namespace PngWriter {

// Writes the bitmap as an RGB PNG of its own depth (8 or 16 bits a channel) without alpha: a
// wallpaper is opaque. Written beside `path` and moved over it only when complete, as
// OutputFile does. Returns the failure, or nothing on success. Callable from any thread.
std::optional<PngFailure> write(const Bitmap &bitmap, const QString &path);

} // namespace PngWriter
