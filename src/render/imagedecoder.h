#pragma once

// Every photo enters the program here, from a file or from downloaded bytes, and leaves as a
// Bitmap or a DecodeError, so the formats accepted and the size limits are the same for every
// source. libvips is started here once for the process; the photo library's thumbnails ask here
// too which of its loaders to trust.

#include "bitmap.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <variant>

enum class DecodeError {
    FileNotFound,
    Unreadable, // exists, but is no regular file or cannot be opened
    NoPermission,
    ReadFailed, // the disk failed while reading
    Empty,
    NotAnImage, // no format we accept, or a pixel layout we cannot convert
    Corrupt,    // recognised, but the header or the pixel data is broken or cut short
    TooLarge,   // more than ImageDecoder::kMaxSourcePixels, or a whole-picture format over
                // kMaxWholePixels
    OutOfMemory,
    Unavailable, // libvips could not be started
};

QString description(DecodeError error);

class RegularFile;
// Why a photo's file could not be opened, from what its open said (files/regularfile.h).
DecodeError openError(const RegularFile &file);

// Either a decoded bitmap or the reason there is none.
class DecodeResult
{
public:
    DecodeResult(Bitmap bitmap) : m_value(std::move(bitmap)) {}
    DecodeResult(DecodeError error) : m_value(error) {}

    bool isOk() const { return std::holds_alternative<Bitmap>(m_value); }
    // A null bitmap unless isOk().
    Bitmap bitmap() const { return isOk() ? std::get<Bitmap>(m_value) : Bitmap(); }
    // Meaningful only when !isOk().
    DecodeError error() const
    {
        Q_ASSERT(!isOk());
        return isOk() ? DecodeError::Corrupt : std::get<DecodeError>(m_value);
    }
    QString errorString() const { return isOk() ? QString() : description(error()); }

private:
    std::variant<Bitmap, DecodeError> m_value;
};

// Turns JPEG, PNG, WebP, TIFF, HEIC/AVIF and GIF (first frame) into an opaque sRGB bitmap at
// full resolution, or shrunk to kMaxPixels when larger: EXIF orientation applied, embedded ICC
// profiles honoured, CMYK and grey converted, alpha flattened onto black. 8-bit sources give Rgba8,
// deeper ones Rgba16. Every pixel is decoded before returning, so a broken file fails here and not
// in a later render. Safe to call from any thread; nothing is cached between calls.
namespace ImageDecoder {

// The most pixels a decoded picture has: no output is larger, so a bigger photo is shrunk
// while it loads (JPEG in the decoder itself, the others as the rows stream past).
inline constexpr qint64 kMaxPixels = 100'000'000;
// Pictures beyond these are refused on their header, before any pixel memory is taken. HEIF
// and GIF are decoded whole by their libraries before anything can shrink them.
inline constexpr qint64 kMaxSourcePixels = 1'000'000'000;
inline constexpr qint64 kMaxWholePixels = 200'000'000;

DecodeResult decodeFile(const QString &path);
// Starts libvips once for the whole process (its operation cache off, its warnings routed to
// the debug log); false when it cannot start. Everything that calls libvips goes through it.
bool startVips();
// Whether a libvips loader (its "…File" or "…Source" class name) is one trusted with bytes
// from anywhere: the photo formats, nothing that runs other programs or parses documents.
bool isTrustedLoader(const char *name);
// The encoded bytes of a picture, e.g. a download; the format is told by content alone.
DecodeResult decodeData(const QByteArray &bytes);
// The file name suffixes of the formats above, lower case without the dot, for file dialogs;
// decodeFile itself goes by content, not by name.
QStringList fileSuffixes();

} // namespace ImageDecoder
