#include "heicreader.h"

#include <QFile>

#include <libheif/heif.h>

#include <cstring>
#include <vector>

HeicFile readHeic(const QString &path)
{
    HeicFile file;
    heif_context *ctx = heif_context_alloc();
    file.readable =
        heif_context_read_from_file(ctx, QFile::encodeName(path).constData(), nullptr).code ==
        heif_error_Ok;
    heif_item_id primary = 0;
    std::vector<heif_item_id> ids(file.readable ? heif_context_get_number_of_top_level_images(ctx)
                                                : 0);
    heif_context_get_primary_image_ID(ctx, &primary);
    heif_context_get_list_of_top_level_image_IDs(ctx, ids.data(), int(ids.size()));
    for (const heif_item_id id : ids) {
        HeicPicture picture{id == primary, {}, {}};
        heif_image_handle *handle = nullptr;
        heif_context_get_image_handle(ctx, id, &handle);
        std::vector<heif_item_id> blocks(
            heif_image_handle_get_number_of_metadata_blocks(handle, "mime"));
        heif_image_handle_get_list_of_metadata_block_IDs(handle, "mime", blocks.data(),
                                                         int(blocks.size()));
        for (const heif_item_id block : blocks) {
            QByteArray data(qsizetype(heif_image_handle_get_metadata_size(handle, block)), '\0');
            heif_image_handle_get_metadata(handle, block, data.data());
            if (QByteArray(heif_image_handle_get_metadata_content_type(handle, block)) ==
                "application/rdf+xml")
                picture.xmp << data;
        }
        heif_image *image = nullptr;
        heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                          nullptr);
        int stride = 0;
        if (const uint8_t *p =
                image ? heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride)
                      : nullptr) {
            picture.pixels = QImage(heif_image_get_width(image, heif_channel_interleaved),
                                    heif_image_get_height(image, heif_channel_interleaved),
                                    QImage::Format_RGB888);
            for (int y = 0; y < picture.pixels.height(); ++y)
                std::memcpy(picture.pixels.scanLine(y), p + std::size_t(y) * stride,
                            std::size_t(picture.pixels.width()) * 3);
        }
        heif_image_release(image);
        heif_image_handle_release(handle);
        file.pictures << picture;
    }
    heif_context_free(ctx);
    return file;
}
