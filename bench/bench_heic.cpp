// Writing the dynamic wallpaper: two 6016×3384 16-bit renders encoded and written as one HEIC,
// with the quality of what comes back as counters (PSNR, and the banding check: distinct
// levels and the longest run of one level down a vertical line of the smooth blur).

#include "model/look.h"
#include "model/palette.h"
#include "model/renderpipeline.h"
#include "output/dynamicwallpaper.h"
#include "render/imagedecoder.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <libheif/heif.h>
#include <sys/resource.h>

#include <cmath>
#include <cstring>
#include <set>
#include <vector>

namespace {

struct Decoded
{
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

Decoded decode(const QString &path, int index)
{
    Decoded out;
    heif_context *ctx = heif_context_alloc();
    heif_context_read_from_file(ctx, path.toLocal8Bit().constData(), nullptr);
    std::vector<heif_item_id> ids(heif_context_get_number_of_top_level_images(ctx));
    heif_context_get_list_of_top_level_image_IDs(ctx, ids.data(), int(ids.size()));
    heif_image_handle *handle = nullptr;
    heif_context_get_image_handle(ctx, ids.at(index), &handle);
    heif_image *image = nullptr;
    heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr);
    out.width = heif_image_get_width(image, heif_channel_interleaved);
    out.height = heif_image_get_height(image, heif_channel_interleaved);
    int stride = 0;
    const uint8_t *p = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    out.rgb.resize(std::size_t(out.width) * out.height * 3);
    for (int y = 0; y < out.height; ++y)
        std::memcpy(&out.rgb[std::size_t(y) * out.width * 3], p + std::size_t(y) * stride,
                    std::size_t(out.width) * 3);
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(ctx);
    return out;
}

double channel8(const Bitmap &b, int x, int y, int c)
{
    return reinterpret_cast<const uint16_t *>(b.constScanLine(y))[4 * x + c] / 257.0;
}

double psnr(const Bitmap &render, const Decoded &d)
{
    double se = 0;
    for (int y = 0; y < render.height(); ++y)
        for (int x = 0; x < render.width(); ++x)
            for (int c = 0; c < 3; ++c) {
                const double e =
                    channel8(render, x, y, c) - d.rgb[(std::size_t(y) * d.width + x) * 3 + c];
                se += e * e;
            }
    return 10 * std::log10(255.0 * 255.0 / (se / (double(render.width()) * render.height() * 3)));
}

// Distinct levels and the longest run of equal values down column x, green channel.
std::pair<int, int> levels(const std::vector<int> &column)
{
    std::set<int> distinct(column.begin(), column.end());
    int run = 1, longest = 1;
    for (std::size_t i = 1; i < column.size(); ++i) {
        run = column[i] == column[i - 1] ? run + 1 : 1;
        longest = std::max(longest, run);
    }
    return {int(distinct.size()), longest};
}

void BM_WriteDynamicWallpaper(benchmark::State &state)
{
    const Bitmap photo =
        ImageDecoder::decodeFile(QStringLiteral(VOSKAN_TESTDATA_DIR "/photo-path-2560x1600.jpg"))
            .bitmap();
    Look light;
    light.source = photo;
    Look dark = Look::initialDark();
    dark.source = photo;
    const RenderPipeline::PixelSize size{6016, 3384};
    const Bitmap a = std::get<Bitmap>(RenderPipeline::renderFull(light, size));
    const Bitmap b = std::get<Bitmap>(RenderPipeline::renderFull(dark, size));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wallpaper.heic"));
    for (auto _ : state) {
        if (DynamicWallpaper::writeHEIC(a, b, path))
            state.SkipWithError("write failed");
    }
    const Decoded da = decode(path, 0), db = decode(path, 1);
    state.counters["psnr_light_dB"] = psnr(a, da);
    state.counters["psnr_dark_dB"] = psnr(b, db);
    std::vector<int> rendered, decoded;
    for (int y = 0; y < a.height(); ++y) {
        rendered.push_back(int(std::lround(channel8(a, 3000, y, 1))));
        decoded.push_back(da.rgb[(std::size_t(y) * da.width + 3000) * 3 + 1]);
    }
    const auto [rl, rr] = levels(rendered);
    const auto [dl, dr] = levels(decoded);
    state.counters["levels_render"] = rl;
    state.counters["levels_heic"] = dl;
    state.counters["longest_run_render"] = rr;
    state.counters["longest_run_heic"] = dr;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = double(usage.ru_maxrss) / 1024;
}

} // namespace

BENCHMARK(BM_WriteDynamicWallpaper)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

BENCHMARK_MAIN();
