#pragma once

// A dynamic wallpaper made elsewhere, opened to show what it holds: how many pictures, when
// each one shows, and the pictures themselves at preview or full size. Its bytes come from
// anywhere, so the file is refused with a German reason rather than believed, and no picture
// is decoded beyond the limits every other photo is held to.

#include "heic/wallpaperschedule.h"
#include "render/bitmap.h"

#include <QList>
#include <QSize>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <variant>

struct heif_context;

// An open HEIC file. Copies share the open file; use one from a single thread at a time.
class DynamicWallpaperFile
{
public:
    // XMP blocks beyond this are not read: a schedule of kMaxScheduleEntries fits into a few
    // hundred kilobytes.
    static constexpr qint64 kMaxXmpBytes = 4 * 1024 * 1024;

    // The file, or why it cannot be read. A HEIC without a schedule opens, with no schedule().
    static std::variant<DynamicWallpaperFile, QString> open(const QString &path);

    // The top-level pictures, in file order; the schedule's indexes count them.
    int imageCount() const { return int(m_ids.size()); }
    // Empty for a plain HEIC photo (description(ScheduleError::NoSchedule) tells the user).
    const std::optional<WallpaperSchedule> &schedule() const { return m_schedule; }
    // Picture `index` decoded to sRGB, alpha flattened onto black; shrunk to fit `maxSize`
    // when given and larger, else full size (shrunk to ImageDecoder::kMaxPixels beyond it).
    // Empty when the index is out of range, the picture is over ImageDecoder::kMaxWholePixels
    // or it cannot be decoded.
    std::optional<Bitmap> image(int index, QSize maxSize = {}) const;
    // Picture `index` of the file at `path`, opened for it alone; empty as image() is, or when
    // the file cannot be opened.
    static std::optional<Bitmap> image(const QString &path, int index, QSize maxSize = {});
    // What a picture that image() could not give costs the user, in German.
    static QString unreadablePictureText();

private:
    DynamicWallpaperFile() = default;

    std::shared_ptr<heif_context> m_context;
    QList<uint32_t> m_ids; // heif_item_id of each top-level picture
    std::optional<WallpaperSchedule> m_schedule;
};
