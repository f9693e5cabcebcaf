// Opening a dynamic wallpaper made elsewhere: a 16-picture 5K file whose pictures follow the sun,
// from the click to the first preview (the schedule read, the picture of now decoded at full
// size, the preview rendered from it). Target: at most 1 s on 2 cores.

#include "model/dynamicpicture.h"
#include "model/renderpipeline.h"
#include "render/bitmap.h"

#include <QDateTime>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <libheif/heif.h>
#include <plist/plist.h>

namespace {

heif_error writeToFile(heif_context *, const void *data, size_t size, void *file)
{
    fwrite(data, 1, size, static_cast<FILE *>(file));
    return {heif_error_Ok, heif_suberror_Unspecified, ""};
}

// A solar table of 16 pictures, as other systems write one.
QByteArray solarXmp()
{
    plist_t root = plist_new_dict();
    plist_t entries = plist_new_array();
    for (int i = 0; i < 16; ++i) {
        plist_t entry = plist_new_dict();
        plist_dict_set_item(entry, "i", plist_new_uint(uint64_t(i)));
        plist_dict_set_item(entry, "a", plist_new_real(-40.0 + 10 * (i % 8)));
        plist_dict_set_item(entry, "z", plist_new_real(i < 8 ? 90.0 : 270.0));
        plist_array_append_item(entries, entry);
    }
    plist_dict_set_item(root, "si", entries);
    char *data = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &data, &length);
    const QByteArray base64 = QByteArray(data, int(length)).toBase64();
    plist_to_bin_free(data);
    plist_free(root);
    return "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
           "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
           "rdf:about=\"\" xmlns:apple_desktop=\"http://ns.apple.com/namespace/1.0/\" "
           "apple_desktop:solar=\"" +
           base64 + "\"/></rdf:RDF></x:xmpmeta>";
}

// Sixteen 5120 × 2880 pictures, each a gradient of its own hue; written once per run.
QString sixteenPictureFile(const QString &folder)
{
    const QString path = folder + QStringLiteral("/tag.heic");
    heif_context *ctx = heif_context_alloc();
    heif_encoder *encoder = nullptr;
    heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &encoder);
    heif_encoder_set_lossy_quality(encoder, 80);
    heif_encoder_set_parameter_string(encoder, "preset", "ultrafast");
    const QByteArray xmp = solarXmp();
    for (int i = 0; i < 16; ++i) {
        heif_image *image = nullptr;
        heif_image_create(5120, 2880, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
        heif_image_add_plane(image, heif_channel_interleaved, 5120, 2880, 8);
        int stride = 0;
        uint8_t *plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        const QColor hue = QColor::fromHsv(i * 22, 200, 230);
        for (int y = 0; y < 2880; ++y)
            for (int x = 0; x < 5120; ++x) {
                uint8_t *p = plane + y * stride + 3 * x;
                p[0] = uint8_t(hue.red() * y / 2880);
                p[1] = uint8_t(hue.green() * x / 5120);
                p[2] = uint8_t(hue.blue());
            }
        heif_image_handle *handle = nullptr;
        heif_context_encode_image(ctx, image, encoder, nullptr, &handle);
        if (i == 0)
            heif_context_add_XMP_metadata(ctx, handle, xmp.constData(), int(xmp.size()));
        heif_image_handle_release(handle);
        heif_image_release(image);
    }
    FILE *file = fopen(path.toLocal8Bit().constData(), "wb");
    heif_writer writer{1, writeToFile};
    heif_context_write(ctx, &writer, file);
    fclose(file);
    heif_encoder_release(encoder);
    heif_context_free(ctx);
    return path;
}

void BM_OpenSixteenPicture5K(benchmark::State &state)
{
    static QTemporaryDir folder;
    static const QString path = sixteenPictureFile(folder.path());
    for (auto _ : state) {
        auto opened = DynamicPicture::open(path, QDateTime::currentDateTime());
        auto *dynamic = std::get_if<OpenedDynamic>(&opened);
        if (!dynamic) {
            state.SkipWithError("the file does not open as a dynamic wallpaper");
            return;
        }
        const Look look = DynamicPicture::asItIs(Look(), dynamic->lightPicture);
        const auto preview =
            RenderPipeline::renderLook(look, RenderPipeline::previewSize({6016, 3384}), false);
        benchmark::DoNotOptimize(preview);
    }
}
BENCHMARK(BM_OpenSixteenPicture5K)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
