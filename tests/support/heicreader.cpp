#include "heicreader.h"

#include <libheif/heif.h>

#include <cmath>
#include <cstring>
#include <vector>

HeicFile readHeic(const QString &path)
{
    HeicFile file;
    heif_context *ctx = heif_context_alloc();
    if (heif_context_read_from_file(ctx, path.toLocal8Bit().constData(), nullptr).code !=
        heif_error_Ok) {
        heif_context_free(ctx);
        return file;
    }
    file.readable = true;
    heif_item_id primary = 0;
    heif_context_get_primary_image_ID(ctx, &primary);
    const int n = heif_context_get_number_of_top_level_images(ctx);
    std::vector<heif_item_id> ids(n);
    heif_context_get_list_of_top_level_image_IDs(ctx, ids.data(), n);
    for (const heif_item_id id : ids) {
        HeicPicture picture;
        picture.primary = id == primary;
        heif_image_handle *handle = nullptr;
        heif_context_get_image_handle(ctx, id, &handle);
        const int blocks = heif_image_handle_get_number_of_metadata_blocks(handle, nullptr);
        std::vector<heif_item_id> metadata(blocks);
        heif_image_handle_get_list_of_metadata_block_IDs(handle, nullptr, metadata.data(), blocks);
        for (const heif_item_id m : metadata) {
            const QByteArray type = heif_image_handle_get_metadata_type(handle, m);
            const QByteArray contentType = heif_image_handle_get_metadata_content_type(handle, m);
            if (type != "mime" || contentType != "application/rdf+xml")
                continue;
            QByteArray data(int(heif_image_handle_get_metadata_size(handle, m)), '\0');
            heif_image_handle_get_metadata(handle, m, data.data());
            picture.xmp << data;
        }
        heif_image *image = nullptr;
        if (heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                              nullptr)
                .code == heif_error_Ok) {
            const int w = heif_image_get_width(image, heif_channel_interleaved);
            const int h = heif_image_get_height(image, heif_channel_interleaved);
            int stride = 0;
            const uint8_t *p =
                heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
            picture.pixels = QImage(w, h, QImage::Format_RGB888);
            for (int y = 0; y < h; ++y)
                std::memcpy(picture.pixels.scanLine(y), p + std::size_t(y) * stride,
                            std::size_t(w) * 3);
            heif_image_release(image);
        }
        heif_image_handle_release(handle);
        file.pictures << picture;
    }
    heif_context_free(ctx);
    return file;
}

double psnr(const Bitmap &render, const QImage &decoded)
{
    if (decoded.size() != render.size())
        return 0;
    double se = 0;
    for (int y = 0; y < render.height(); ++y) {
        const uchar *d = decoded.constScanLine(y);
        for (int x = 0; x < render.width(); ++x)
            for (int c = 0; c < 3; ++c) {
                const double v =
                    render.isDeep()
                        ? reinterpret_cast<const uint16_t *>(render.constScanLine(y))[4 * x + c] /
                              257.0
                        : render.constScanLine(y)[4 * x + c];
                se += (v - d[3 * x + c]) * (v - d[3 * x + c]);
            }
    }
    const double mse = se / (double(render.width()) * render.height() * 3);
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99;
}
