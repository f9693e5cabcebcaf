#pragma once

#include "render/bitmap.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Failures of writing a dynamic wallpaper, in the order they can happen.
enum class WallpaperError {
    Metadata,    // the light/dark metadata could not be built
    Destination, // no HEVC encoder, or the file cannot be created
    Finalize,    // encoding or writing the file failed
};

QString description(WallpaperError error);

// One HEIC file holding the light picture (first, primary, with the XMP that maps the
// desktop's appearances to picture indexes) and the dark picture (second, no metadata).
namespace DynamicWallpaper {

// The x265 settings; the defaults were chosen by measurement (bench/README.md).
struct Encoding
{
    QString preset = QStringLiteral("ultrafast");
    int quality = 80;
};

QString prefix();
QString namespaceUri();

// The binary property lists {l: 0, d: 1} and {ap: {l: 0, d: 1}}; empty when they cannot be
// built.
QByteArray appearancePlist();
QByteArray appearanceWrapperPlist();
// The XMP packet carrying both, Base64-encoded, as attributes of one rdf:Description.
QByteArray xmpPacket();

// Writes both pictures to `path`. The file is written beside the destination and moved over it
// only when complete: on failure an earlier file at `path` is left as it was and nothing else
// remains. Returns the error, or nothing on success. Callable from any thread.
std::optional<WallpaperError> writeHEIC(const Bitmap &light, const Bitmap &dark,
                                        const QString &path, const Encoding &encoding = {});

} // namespace DynamicWallpaper
