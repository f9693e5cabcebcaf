// Opening a dynamic wallpaper with libheif: every libheif object is owned by a guard that
// frees it, and every libheif failure becomes a German sentence in one place, so a hostile
// or broken file costs a message and nothing else.

#include "dynamicwallpaperfile.h"

#include "files/regularfile.h"
#include "render/imagedecoder.h"

#include <QImage>
#include <QLoggingCategory>

#include <libheif/heif.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

Q_LOGGING_CATEGORY(lcWallpaperFile, "voskan.wallpaperfile", QtInfoMsg)

// The one place where a libheif failure becomes a sentence for the user.
QString describe(const heif_error &error)
{
    switch (error.code) {
    case heif_error_Input_does_not_exist:
        return description(DecodeError::Unreadable);
    case heif_error_Unsupported_filetype:
        return QStringLiteral("Die Datei ist kein HEIC-Bild und damit kein dynamisches "
                              "Wallpaper.");
    case heif_error_Invalid_input:
        if (error.subcode == heif_suberror_No_ftyp_box)
            return QStringLiteral("Die Datei ist kein HEIC-Bild und damit kein dynamisches "
                                  "Wallpaper.");
        return QStringLiteral("Die HEIC-Datei ist beschädigt oder unvollständig.");
    case heif_error_Unsupported_feature:
        return QStringLiteral("Die HEIC-Datei ist auf eine Weise aufgebaut, die Voskan nicht "
                              "lesen kann.");
    case heif_error_Memory_allocation_error:
        if (error.subcode == heif_suberror_Security_limit_exceeded)
            return description(DecodeError::TooLarge);
        return description(DecodeError::OutOfMemory);
    default:
        return QStringLiteral("Die HEIC-Datei ließ sich nicht lesen.");
    }
}

struct HandleDeleter
{
    void operator()(heif_image_handle *handle) const { heif_image_handle_release(handle); }
};
using HandlePtr = std::unique_ptr<heif_image_handle, HandleDeleter>;

struct ImageDeleter
{
    void operator()(heif_image *image) const { heif_image_release(image); }
};
using ImagePtr = std::unique_ptr<heif_image, ImageDeleter>;

struct OptionsDeleter
{
    void operator()(heif_decoding_options *options) const { heif_decoding_options_free(options); }
};

// The XMP packets attached to a picture, as libheif lists them; blocks beyond kMaxXmpBytes
// are passed over.
QList<QByteArray> xmpPackets(heif_image_handle *handle)
{
    std::vector<heif_item_id> blocks(
        std::size_t(std::max(0, heif_image_handle_get_number_of_metadata_blocks(handle, "mime"))));
    blocks.resize(std::size_t(std::max(0, heif_image_handle_get_list_of_metadata_block_IDs(
                                              handle, "mime", blocks.data(), int(blocks.size())))));
    QList<QByteArray> packets;
    for (const heif_item_id block : blocks) {
        const char *type = heif_image_handle_get_metadata_content_type(handle, block);
        if (!type || qstrcmp(type, "application/rdf+xml") != 0)
            continue;
        const std::size_t size = heif_image_handle_get_metadata_size(handle, block);
        if (size > std::size_t(DynamicWallpaperFile::kMaxXmpBytes)) {
            qCDebug(lcWallpaperFile, "XMP block of %zu bytes passed over", size);
            continue;
        }
        QByteArray packet(qsizetype(size), Qt::Uninitialized);
        if (heif_image_handle_get_metadata(handle, block, packet.data()).code == heif_error_Ok)
            packets << packet;
    }
    return packets;
}

// The file libheif reads, through the descriptor it was opened as: never by its name again.
struct HeifSource
{
    explicit HeifSource(const QString &path) : file(path) {}
    RegularFile file;
    int64_t position = 0;
};

const heif_reader kHeifReader = {
    1,
    [](void *source) { return static_cast<HeifSource *>(source)->position; },
    [](void *data, size_t size, void *userdata) {
        auto *source = static_cast<HeifSource *>(userdata);
        if (source->file.readInto(static_cast<char *>(data), source->position, qint64(size)) !=
            qint64(size))
            return -1;
        source->position += int64_t(size);
        return 0;
    },
    [](int64_t position, void *userdata) {
        auto *source = static_cast<HeifSource *>(userdata);
        if (position < 0 || position > source->file.size())
            return -1;
        source->position = position;
        return 0;
    },
    [](int64_t targetSize, void *userdata) {
        return targetSize > static_cast<HeifSource *>(userdata)->file.size()
                   ? heif_reader_grow_status_size_beyond_eof
                   : heif_reader_grow_status_size_reached;
    },
};

} // namespace

std::variant<DynamicWallpaperFile, QString> DynamicWallpaperFile::open(const QString &path)
{
    // Told here, as for every photo: libheif reports all of these as one.
    auto source = std::make_shared<HeifSource>(path);
    if (!source->file.isOpen())
        return description(openError(source->file));
    if (source->file.size() == 0)
        return description(DecodeError::Empty);

    DynamicWallpaperFile file;
    heif_context *ctx = heif_context_alloc();
    if (!ctx)
        return description(DecodeError::OutOfMemory);
    // libheif reads the pictures when they are decoded: the descriptor lives as long as the
    // context, and is closed after it.
    file.m_context = std::shared_ptr<heif_context>(
        ctx, [source](heif_context *context) { heif_context_free(context); });
    if (const heif_error error =
            heif_context_read_from_reader(ctx, &kHeifReader, source.get(), nullptr);
        error.code != heif_error_Ok)
        return describe(error);

    std::vector<heif_item_id> ids(
        std::size_t(std::max(0, heif_context_get_number_of_top_level_images(ctx))));
    ids.resize(std::size_t(std::max(
        0, heif_context_get_list_of_top_level_image_IDs(ctx, ids.data(), int(ids.size())))));
    file.m_ids = QList<uint32_t>(ids.begin(), ids.end());

    heif_image_handle *primary = nullptr;
    if (const heif_error error = heif_context_get_primary_image_handle(ctx, &primary);
        error.code != heif_error_Ok)
        return describe(error);
    const HandlePtr primaryOwner(primary);
    // The first packet with a schedule counts; one without says nothing either way.
    for (const QByteArray &xmp : xmpPackets(primary)) {
        auto parsed = parseScheduleXmp(xmp, file.imageCount());
        if (auto *schedule = std::get_if<WallpaperSchedule>(&parsed)) {
            file.m_schedule = std::move(*schedule);
            break;
        }
        if (const ScheduleError error = std::get<ScheduleError>(parsed);
            error != ScheduleError::NoSchedule)
            return description(error);
    }
    return file;
}

std::optional<Bitmap> DynamicWallpaperFile::image(const QString &path, int index, QSize maxSize)
{
    const auto file = open(path);
    const auto *opened = std::get_if<DynamicWallpaperFile>(&file);
    return opened ? opened->image(index, maxSize) : std::nullopt;
}

QString DynamicWallpaperFile::unreadablePictureText()
{
    return QStringLiteral("Ein Bild des dynamischen Wallpapers ließ sich nicht lesen.");
}

std::optional<Bitmap> DynamicWallpaperFile::image(int index, QSize maxSize) const
{
    if (index < 0 || index >= imageCount())
        return std::nullopt;
    heif_image_handle *rawHandle = nullptr;
    if (heif_context_get_image_handle(m_context.get(), m_ids[index], &rawHandle).code !=
        heif_error_Ok)
        return std::nullopt;
    const HandlePtr handle(rawHandle);
    // libheif decodes the whole picture before anything can shrink it.
    const qint64 pixels = qint64(heif_image_handle_get_width(handle.get())) *
                          qint64(heif_image_handle_get_height(handle.get()));
    if (pixels < 1 || pixels > ImageDecoder::kMaxWholePixels)
        return std::nullopt;

    const std::unique_ptr<heif_decoding_options, OptionsDeleter> options(
        heif_decoding_options_alloc());
    heif_image *rawImage = nullptr;
    const heif_error error = heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                                               heif_chroma_interleaved_RGBA, options.get());
    const ImagePtr decoded(rawImage);
    if (error.code != heif_error_Ok || !decoded) {
        qCDebug(lcWallpaperFile, "picture %d: %s", index, qUtf8Printable(describe(error)));
        return std::nullopt;
    }
    int stride = 0;
    const uint8_t *plane =
        heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(decoded.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(decoded.get(), heif_channel_interleaved);
    if (!plane || width < 1 || height < 1)
        return std::nullopt;

    // Borrowed, not copied: fromImage() copies once, flattening alpha as for every photo.
    QImage view(plane, width, height, stride, QImage::Format_RGBA8888);
    QSize target = view.size();
    if (!maxSize.isEmpty() && (width > maxSize.width() || height > maxSize.height()))
        target.scale(maxSize, Qt::KeepAspectRatio);
    else if (qint64(width) * height > ImageDecoder::kMaxPixels)
        target *= std::sqrt(double(ImageDecoder::kMaxPixels) / (double(width) * height));
    if (target != view.size())
        view =
            view.scaled(target.expandedTo({1, 1}), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    Bitmap bitmap = Bitmap::fromImage(view);
    if (bitmap.isNull())
        return std::nullopt;
    return bitmap;
}
