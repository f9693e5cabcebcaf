#include "dynamicwallpaper.h"

#include "output/outputfile.h"

#include <libheif/heif.h>
#include <plist/plist.h>

#include <memory>

QString description(WallpaperError error)
{
    switch (error) {
    case WallpaperError::Metadata:
        return QStringLiteral("Wallpaper-Metadaten konnten nicht erzeugt werden.");
    case WallpaperError::EncoderMissing:
        return QStringLiteral("HEIC konnte nicht erstellt werden (HEVC-Encoder nicht verfügbar?).");
    case WallpaperError::Finalize:
        return QStringLiteral("HEIC konnte nicht geschrieben werden.");
    case WallpaperError::Cancelled:
        return QStringLiteral("Das Schreiben wurde abgebrochen.");
    }
    return {};
}

QString description(const WallpaperFailure &failure)
{
    return std::visit([](auto error) { return description(error); }, failure);
}

namespace DynamicWallpaper {
namespace {

// libheif reports failures per call; which of our errors one is depends on the step it
// happened in, so the step's error is the translation.
std::optional<WallpaperError> check(const heif_error &error, WallpaperError step)
{
    if (error.code == heif_error_Ok)
        return std::nullopt;
    return step;
}

struct PlistDeleter
{
    void operator()(void *p) const { plist_free(static_cast<plist_t>(p)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

plist_t lightDarkIndexes()
{
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "l", plist_new_uint(0));
    plist_dict_set_item(dict, "d", plist_new_uint(1));
    return dict;
}

QByteArray toBinary(plist_t plist)
{
    char *data = nullptr;
    uint32_t length = 0;
    plist_to_bin(plist, &data, &length);
    QByteArray out = data ? QByteArray(data, int(length)) : QByteArray();
    plist_to_bin_free(data);
    return out;
}

struct HeifContext
{
    heif_context *ctx = heif_context_alloc();
    heif_encoder *encoder = nullptr;
    ~HeifContext()
    {
        if (encoder)
            heif_encoder_release(encoder);
        heif_context_free(ctx);
    }
};

struct HeifImage
{
    heif_image *image = nullptr;
    ~HeifImage()
    {
        if (image)
            heif_image_release(image);
    }
};

struct HeifHandle
{
    heif_image_handle *handle = nullptr;
    ~HeifHandle()
    {
        if (handle)
            heif_image_handle_release(handle);
    }
};

// 8 bits per channel: libheif writes 10 bits with a profile other decoders may refuse. The
// render's dither spans about ±1 step of 8 bits, so rounding keeps smooth gradients unbanded.
// libheif's defaults stay: no nclx box and odd sizes cropped by a grid, as macOS reads them.
std::optional<WallpaperError> toHeifImage(const Bitmap &bitmap, HeifImage &out)
{
    if (bitmap.isNull())
        return WallpaperError::Finalize;
    const int w = bitmap.width(), h = bitmap.height();
    if (auto e = check(
            heif_image_create(w, h, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &out.image),
            WallpaperError::Finalize))
        return e;
    if (auto e = check(heif_image_add_plane(out.image, heif_channel_interleaved, w, h, 8),
                       WallpaperError::Finalize))
        return e;
    int stride = 0;
    uint8_t *dst = heif_image_get_plane(out.image, heif_channel_interleaved, &stride);
    if (!dst)
        return WallpaperError::Finalize;
    for (int y = 0; y < h; ++y) {
        uint8_t *row = dst + std::size_t(y) * stride;
        if (bitmap.isDeep()) {
            const auto *src = reinterpret_cast<const uint16_t *>(bitmap.constScanLine(y));
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c)
                    row[3 * x + c] = uint8_t((uint32_t(src[4 * x + c]) * 255 + 32767) / 65535);
        } else {
            const uint8_t *src = bitmap.constScanLine(y);
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c)
                    row[3 * x + c] = src[4 * x + c];
        }
    }
    return std::nullopt;
}

heif_error writeToFile(heif_context *, const void *data, size_t size, void *userdata)
{
    auto *file = static_cast<OutputFile *>(userdata);
    if (file->write(static_cast<const char *>(data), qint64(size)) != qint64(size))
        return {heif_error_Encoding_error, heif_suberror_Cannot_write_output_data, "write failed"};
    return {heif_error_Ok, heif_suberror_Unspecified, "Success"};
}

} // namespace

QString prefix()
{
    return QStringLiteral("apple_desktop");
}

QString namespaceUri()
{
    return QStringLiteral("http://ns.apple.com/namespace/1.0/");
}

QByteArray appearancePlist()
{
    const PlistPtr dict(lightDarkIndexes());
    return toBinary(static_cast<plist_t>(dict.get()));
}

QByteArray appearanceWrapperPlist()
{
    const PlistPtr root(plist_new_dict());
    plist_dict_set_item(static_cast<plist_t>(root.get()), "ap", lightDarkIndexes());
    return toBinary(static_cast<plist_t>(root.get()));
}

QByteArray xmpPacket()
{
    const QByteArray apr = appearancePlist(), ap = appearanceWrapperPlist();
    if (apr.isEmpty() || ap.isEmpty())
        return {};
    // Readers look for the tags as attributes of one rdf:Description.
    return QByteArrayLiteral("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">"
                             "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
                             "<rdf:Description rdf:about=\"\" xmlns:") +
           prefix().toUtf8() + "=\"" + namespaceUri().toUtf8() + "\" " + prefix().toUtf8() +
           ":apr=\"" + apr.toBase64() + "\" " + prefix().toUtf8() + ":apple_desktop=\"" +
           ap.toBase64() + "\"/></rdf:RDF></x:xmpmeta>";
}

std::optional<WallpaperFailure> writeHEIC(const Bitmap &light, const Bitmap &dark,
                                          const QString &path, const Encoding &encoding,
                                          WriteProgress *progress)
{
    const QByteArray xmp = xmpPacket();
    if (xmp.isEmpty())
        return WallpaperError::Metadata;

    HeifContext heif;
    if (!heif.ctx)
        return WallpaperError::Finalize;
    if (auto e = check(
            heif_context_get_encoder_for_format(heif.ctx, heif_compression_HEVC, &heif.encoder),
            WallpaperError::EncoderMissing))
        return e;
    heif_encoder_set_lossy_quality(heif.encoder, encoding.quality);
    heif_encoder_set_parameter_string(heif.encoder, "preset", encoding.preset.toUtf8().constData());

    // Opened before encoding, so a bad destination costs no encoding time.
    OutputFile file(path);
    if (!file.open())
        return *file.error();

    // One picture converted at a time, so only one 8-bit copy is alive while encoding.
    const auto encode = [&](const Bitmap &bitmap, HeifHandle &handle,
                            WriteStep step) -> std::optional<WallpaperError> {
        if (progress && progress->isCancelled())
            return WallpaperError::Cancelled;
        if (progress)
            progress->begin(step);
        HeifImage image;
        if (auto e = toHeifImage(bitmap, image))
            return e;
        return check(
            heif_context_encode_image(heif.ctx, image.image, heif.encoder, nullptr, &handle.handle),
            WallpaperError::Finalize);
    };
    HeifHandle lightHandle, darkHandle;
    if (auto e = encode(light, lightHandle, WriteStep::EncodeLight))
        return e;
    if (auto e = check(heif_context_add_XMP_metadata(heif.ctx, lightHandle.handle, xmp.constData(),
                                                     int(xmp.size())),
                       WallpaperError::Metadata))
        return e;
    if (auto e = encode(dark, darkHandle, WriteStep::EncodeDark))
        return e;
    if (auto e = check(heif_context_set_primary_image(heif.ctx, lightHandle.handle),
                       WallpaperError::Finalize))
        return e;

    if (progress && progress->isCancelled())
        return WallpaperError::Cancelled;
    heif_writer writer{1, writeToFile};
    // On failure the unfinished file goes with `file`.
    if (heif_context_write(heif.ctx, &writer, &file).code != heif_error_Ok || !file.commit())
        return file.error() ? WallpaperFailure(*file.error()) : WallpaperError::Finalize;
    return std::nullopt;
}

} // namespace DynamicWallpaper
