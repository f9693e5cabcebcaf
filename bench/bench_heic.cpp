// Writing the dynamic wallpaper: two 6016×3384 16-bit renders encoded and written as one HEIC,
// with the quality of what comes back as counters for each picture (PSNR, and the banding
// check: distinct levels and the longest run of one level down a vertical line of the smooth
// blur) and the CPU time of the write besides its wall time. The first benchmark is the
// reference of bench/README.md; the others check the settings on other photos and styles.

#include "heic/dynamicwallpaper.h"
#include "model/daycyclefile.h"
#include "model/look.h"
#include "model/palette.h"
#include "model/renderpipeline.h"
#include "render/imagedecoder.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <libheif/heif.h>
#include <sys/resource.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>
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

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Green down column 3000, as 8-bit levels: the render's rounded, the decoded one's as stored.
std::vector<int> column(const Bitmap &render)
{
    std::vector<int> out;
    for (int y = 0; y < render.height(); ++y)
        out.push_back(int(std::lround(channel8(render, 3000, y, 1))));
    return out;
}

std::vector<int> column(const Decoded &decoded)
{
    std::vector<int> out;
    for (int y = 0; y < decoded.height; ++y)
        out.push_back(decoded.rgb[(std::size_t(y) * decoded.width + 3000) * 3 + 1]);
    return out;
}

void report(benchmark::State &state, const char *picture, const Bitmap &render,
            const Decoded &decoded)
{
    const std::string name(picture);
    state.counters["psnr_" + name + "_dB"] = psnr(render, decoded);
    const auto [renderLevels, renderRun] = levels(column(render));
    const auto [heicLevels, heicRun] = levels(column(decoded));
    state.counters["levels_render_" + name] = renderLevels;
    state.counters["levels_heic_" + name] = heicLevels;
    state.counters["longest_run_render_" + name] = renderRun;
    state.counters["longest_run_heic_" + name] = heicRun;
}

// Times `write` over the benchmark's iterations, failing it on a failed write, with the user
// and system time of every thread, x265's pool included, as `cpu_s`: on a shared machine this
// moves less than the wall time, and two cores bound the wall time by half of it.
template <typename Write> void timeWrites(benchmark::State &state, const Write &write)
{
    double cpu = 0;
    for (auto _ : state) {
        const double before = cpuSeconds();
        if (write())
            state.SkipWithError("write failed");
        cpu += cpuSeconds() - before;
    }
    state.counters["cpu_s"] = cpu / double(state.iterations());
}

void BM_WriteDynamicWallpaper(benchmark::State &state, const char *photo, WallpaperStyle style)
{
    const Bitmap source =
        ImageDecoder::decodeFile(QStringLiteral(VOSKAN_TESTDATA_DIR "/") + QLatin1String(photo))
            .bitmap();
    Look light;
    light.source = source;
    light.style = style;
    Look dark = Look::initialDark();
    dark.source = source;
    dark.style = style;
    const RenderPipeline::PixelSize size{6016, 3384};
    const Bitmap a = std::get<Bitmap>(RenderPipeline::renderFull(light, size));
    const Bitmap b = std::get<Bitmap>(RenderPipeline::renderFull(dark, size));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wallpaper.heic"));
    timeWrites(state, [&] { return DynamicWallpaper::writeHEIC(a, b, path); });
    state.counters["size_MB"] = double(QFileInfo(path).size()) / 1e6;
    report(state, "light", a, decode(path, 0));
    report(state, "dark", b, decode(path, 1));
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = double(usage.ru_maxrss) / 1024;
}

// A day cycle made from one photo: `pictures` at `width` × 10/16 of it, from the pair's two
// renders (made beforehand, as the export has them), each dawn picture mixed just before its
// encode. Run it alone for its peak: the process's high-water mark counts every benchmark before.
void BM_WriteDayCycle(benchmark::State &state)
{
    const int pictures = int(state.range(0)), width = int(state.range(1));
    const RenderPipeline::PixelSize size{width, width == 6016 ? 3384 : width * 10 / 16};
    Look light;
    light.source = ImageDecoder::decodeFile(
                       QStringLiteral(VOSKAN_TESTDATA_DIR "/photo-bythewater-2560x1600.jpg"))
                       .bitmap();
    Look dark = Look::initialDark();
    dark.source = light.source;
    const Bitmap day = std::get<Bitmap>(RenderPipeline::renderFull(light, size));
    const Bitmap night = std::get<Bitmap>(RenderPipeline::renderFull(dark, size));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tag.heic"));
    timeWrites(state, [&] { return DayCycleFile::write(day, night, pictures, path); });
    state.counters["size_MB"] = double(QFileInfo(path).size()) / 1e6;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = double(usage.ru_maxrss) / 1024;
}

} // namespace

int main(int argc, char **argv)
{
    // The reference first, then the same settings on other styles and photos.
    const struct
    {
        const char *name;
        const char *photo;
        WallpaperStyle style;
    } cases[] = {
        {"path_blur", "photo-path-2560x1600.jpg", WallpaperStyle::Blur},
        {"path_flow", "photo-path-2560x1600.jpg", WallpaperStyle::Flow},
        {"path_mirror", "photo-path-2560x1600.jpg", WallpaperStyle::Mirror},
        {"bythewater_blur", "photo-bythewater-2560x1600.jpg", WallpaperStyle::Blur},
        {"fallenleaf_mirror", "photo-fallenleaf-2560x1600.jpg", WallpaperStyle::Mirror},
    };
    for (const auto &c : cases)
        benchmark::RegisterBenchmark((std::string("BM_WriteDynamicWallpaper/") + c.name).c_str(),
                                     BM_WriteDynamicWallpaper, c.photo, c.style)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(1);
    // The targets: 8 pictures at 2560 × 1600 in at most 3 s, 16 at 6016 × 3384 in at most 30 s
    // and 1.5 GB.
    benchmark::RegisterBenchmark("BM_WriteDayCycle", BM_WriteDayCycle)
        ->Args({8, 2560})
        ->Args({16, 6016})
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
