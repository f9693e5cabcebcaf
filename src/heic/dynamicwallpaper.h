#pragma once

// The file the program exists to make: one HEIC with a light and a dark picture and the metadata
// that tells the desktop which is which. Export, drag, the desktop set and voskan-render all write
// it through writeHEIC(); this is the only file that writes with libheif and libplist.

#include "files/fileerror.h"
#include "files/writeprogress.h"
#include "heic/wallpaperschedule.h"
#include "render/bitmap.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <utility>
#include <variant>

// Failures of making a dynamic wallpaper, in the order they can happen; a failure of the
// destination itself is a FileError.
enum class WallpaperError {
    Metadata,       // the light/dark metadata could not be built
    EncoderMissing, // libheif has no HEVC encoder
    Finalize,       // encoding the pictures failed
    Cancelled,      // the person stopped it; nothing was left behind
};
using WallpaperFailure = std::variant<WallpaperError, FileError>;

QString description(WallpaperError error);
QString description(const WallpaperFailure &failure);

// One HEIC file holding the light picture (first, primary, with the XMP that maps the
// desktop's appearances to picture indexes) and the dark picture (second, no metadata).
namespace DynamicWallpaper {

// The x265 settings; the defaults were chosen by measurement (bench/README.md).
struct Encoding
{
    QString preset = QStringLiteral("ultrafast");
    int quality = 80;
    // A dark picture's dither is evened out into steps at `quality`; one whose mean luma
    // (0–255) is below `darkLuma` is encoded at `darkQuality` instead.
    int darkQuality = 91;
    double darkLuma = 32;
    // x265's smallest coding unit for pictures of at least 64×64 pixels: its analysis of
    // smaller units was half of its time and buys these smooth pictures next to nothing.
    int minCuSize = 32;
    // x265 options passed through libheif, set after libheif's own (which override the
    // preset's): one transform split inside a coding unit; the cheapest mode decision; no
    // deblocking, whose thresholds are zero at the quantizers of these qualities, so it changes
    // no pixel (the bench's pictures decode the same) and costs a pass over each picture.
    QList<std::pair<QString, QString>> x265{
        {QStringLiteral("tu-intra-depth"), QStringLiteral("1")},
        {QStringLiteral("rd"), QStringLiteral("1")},
        {QStringLiteral("deblock"), QStringLiteral("false")},
    };
};

QString prefix();
QString namespaceUri();

// The binary property lists {l: 0, d: 1} and {ap: {l: 0, d: 1}}; empty when they cannot be
// built.
QByteArray appearancePlist();
QByteArray appearanceWrapperPlist();
// The XMP packet carrying both, Base64-encoded, as attributes of one rdf:Description.
QByteArray xmpPacket();
// The binary property list of a day that follows the sun: {si: [{i, a, z, o}], ap: {l, d}},
// the entries in the order given (altitude and azimuth in degrees; o 1 for a picture of the
// light appearance: the pair's light one, and any other with the sun above the horizon), ap
// the pair for a desktop that follows only light and dark. Empty for no entries or a
// negative index (of an entry or the pair).
QByteArray solarPlist(const QList<SolarPicture> &sun, LightDarkPair pair);
// The XMP packet carrying it as `solar`.
QByteArray solarXmpPacket(const QList<SolarPicture> &sun, LightDarkPair pair);

// Writes both pictures to `path`, as OutputFile does: moved over the destination only when
// complete, and only over a regular file; on failure an earlier file at `path` is left as it
// was and nothing else remains. Returns the failure, or nothing on success. Callable from any
// thread. `progress`, when given, hears each encode begin and may stop the write before the
// next (WallpaperError::Cancelled).
std::optional<WallpaperFailure> writeHEIC(const Bitmap &light, const Bitmap &dark,
                                          const QString &path, const Encoding &encoding = {},
                                          WriteProgress *progress = nullptr);
// The same for any number of pictures: `picture(i)` makes the i-th just before it is encoded
// (a null one fails the write), so a long day is never held whole; the first is the primary
// picture and carries `xmp`. Its steps: EncodeLight for the first, EncodeDark for the second,
// EncodeDawn (repeat i − 2) for each further one.
std::optional<WallpaperFailure> writePictures(int count, const std::function<Bitmap(int)> &picture,
                                              const QByteArray &xmp, const QString &path,
                                              const Encoding &encoding = {},
                                              WriteProgress *progress = nullptr);

} // namespace DynamicWallpaper
