#include "dynamicwallpaper.h"

#include "files/outputfile.h"

#include <libheif/heif.h>
#include <plist/plist.h>

#include <algorithm>
#include <memory>
#include <system_error>
#include <thread>
#include <tuple>

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

// {l: light, d: dark}: ours are {0, 1}.
plist_t pairIndexes(LightDarkPair pair = {0, 1})
{
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "l", plist_new_uint(uint64_t(pair.light)));
    plist_dict_set_item(dict, "d", plist_new_uint(uint64_t(pair.dark)));
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
    ~HeifContext() { heif_context_free(ctx); }
};

struct HeifEncoder
{
    heif_encoder *encoder = nullptr;
    ~HeifEncoder()
    {
        if (encoder)
            heif_encoder_release(encoder);
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
//
// The planes are handed to libheif as YCbCr 4:2:0, computed as libheif 1.15 computes them from
// 8-bit RGB (full-range BT.601, float products rounded half up, chroma from the truncated mean of
// each 2×2 block, an odd edge from the mean of its two pixels): the file is the one libheif's own
// conversion would make, without its single-threaded pass over a 3-byte copy of the picture.
struct Planes
{
    uint8_t *y = nullptr, *cb = nullptr, *cr = nullptr;
    int yStride = 0, cbStride = 0, crStride = 0;
};

constexpr float kKr = 0.299f, kKb = 0.114f, kKg = 1 - kKr - kKb;

inline uint8_t roundToByte(float value)
{
    // Half up, as libheif rounds; below zero clamps to 0 whichever way it rounds.
    const long rounded = long(value + 0.5f); // NOLINT(bugprone-incorrect-roundings)
    return uint8_t(std::clamp(rounded, 0L, 255L));
}

inline uint8_t luma(int r, int g, int b)
{
    return roundToByte(float(r) * kKr + float(g) * kKg + float(b) * kKb);
}

inline void chroma(int r, int g, int b, uint8_t *cb, uint8_t *cr)
{
    *cb = roundToByte(float(r) * (-kKr / (1 - kKb) * 0.5f) + float(g) * (-kKg / (1 - kKb) * 0.5f) +
                      float(b) * 0.5f + 128);
    *cr = roundToByte(float(r) * 0.5f + float(g) * (-kKg / (1 - kKr) * 0.5f) +
                      float(b) * (-kKb / (1 - kKr) * 0.5f) + 128);
}

struct Rgb
{
    int r, g, b;
};

inline Rgb rgb8(const uint16_t *pixel)
{
    const auto to8 = [](uint16_t v) { return int((uint32_t(v) * 255 + 32767) / 65535); };
    return {to8(pixel[0]), to8(pixel[1]), to8(pixel[2])};
}

inline Rgb rgb8(const uint8_t *pixel)
{
    return {pixel[0], pixel[1], pixel[2]};
}

// Rows [y0, y1) with y0 even, so that no chroma row is shared with another call.
// Returns the sum of the rows' luma.
template <typename Channel>
uint64_t convertRows(const Bitmap &bitmap, const Planes &planes, int y0, int y1)
{
    uint64_t lumaSum = 0;
    const int w = bitmap.width(), h = bitmap.height();
    for (int y = y0; y < y1; y += 2) {
        const auto *top = reinterpret_cast<const Channel *>(bitmap.constScanLine(y));
        const auto *bottom =
            y + 1 < h ? reinterpret_cast<const Channel *>(bitmap.constScanLine(y + 1)) : nullptr;
        uint8_t *yTop = planes.y + std::size_t(y) * planes.yStride;
        uint8_t *yBottom = yTop + planes.yStride;
        uint8_t *cb = planes.cb + std::size_t(y / 2) * planes.cbStride;
        uint8_t *cr = planes.cr + std::size_t(y / 2) * planes.crStride;
        for (int x = 0; x < w; x += 2) {
            const bool right = x + 1 < w;
            Rgb p[4] = {rgb8(top + 4 * x), {}, {}, {}};
            int n = 1;
            yTop[x] = luma(p[0].r, p[0].g, p[0].b);
            if (right) {
                p[n] = rgb8(top + 4 * (x + 1));
                yTop[x + 1] = luma(p[n].r, p[n].g, p[n].b);
                ++n;
            }
            if (bottom) {
                p[n] = rgb8(bottom + 4 * x);
                yBottom[x] = luma(p[n].r, p[n].g, p[n].b);
                ++n;
                if (right) {
                    p[n] = rgb8(bottom + 4 * (x + 1));
                    yBottom[x + 1] = luma(p[n].r, p[n].g, p[n].b);
                    ++n;
                }
            }
            int r = 0, g = 0, b = 0;
            for (int i = 0; i < n; ++i) {
                r += p[i].r;
                g += p[i].g;
                b += p[i].b;
            }
            // n is 1, 2 or 4: a corner pixel, an odd edge's pair, a whole block.
            chroma(r / n, g / n, b / n, cb + x / 2, cr + x / 2);
        }
        for (int x = 0; x < w; ++x)
            lumaSum += yTop[x] + (bottom ? yBottom[x] : 0);
    }
    return lumaSum;
}

uint64_t convertRows(const Bitmap &bitmap, const Planes &planes, int y0, int y1)
{
    return bitmap.isDeep() ? convertRows<uint16_t>(bitmap, planes, y0, y1)
                           : convertRows<uint8_t>(bitmap, planes, y0, y1);
}

// Both halves of the rows at once, one on a second thread: the conversion of a 6016×3384
// picture otherwise waits on one core while the other idles before x265 starts. Without a
// second thread to be had, the calling one does it all. Returns the picture's mean luma.
double convert(const Bitmap &bitmap, const Planes &planes)
{
    const int h = bitmap.height();
    const int split = (h / 4) * 2;
    uint64_t upper = 0;
    std::optional<std::thread> helper;
    try {
        helper.emplace([&] { upper = convertRows(bitmap, planes, 0, split); });
    } catch (const std::system_error &) {
        upper = convertRows(bitmap, planes, 0, split);
    }
    const uint64_t lower = convertRows(bitmap, planes, split, h);
    if (helper)
        helper->join();
    return double(upper + lower) / (double(bitmap.width()) * h);
}

std::optional<WallpaperError> toHeifImage(const Bitmap &bitmap, HeifImage &out, double &meanLuma)
{
    if (bitmap.isNull())
        return WallpaperError::Finalize;
    const int w = bitmap.width(), h = bitmap.height();
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    if (auto e = check(heif_image_create(w, h, heif_colorspace_YCbCr, heif_chroma_420, &out.image),
                       WallpaperError::Finalize))
        return e;
    for (const auto &[channel, pw, ph] :
         {std::tuple{heif_channel_Y, w, h}, std::tuple{heif_channel_Cb, cw, ch},
          std::tuple{heif_channel_Cr, cw, ch}})
        if (auto e = check(heif_image_add_plane(out.image, channel, pw, ph, 8),
                           WallpaperError::Finalize))
            return e;
    Planes planes;
    planes.y = heif_image_get_plane(out.image, heif_channel_Y, &planes.yStride);
    planes.cb = heif_image_get_plane(out.image, heif_channel_Cb, &planes.cbStride);
    planes.cr = heif_image_get_plane(out.image, heif_channel_Cr, &planes.crStride);
    if (!planes.y || !planes.cb || !planes.cr)
        return WallpaperError::Finalize;
    meanLuma = convert(bitmap, planes);
    return std::nullopt;
}

int qualityFor(double meanLuma, const Encoding &encoding)
{
    return meanLuma < encoding.darkLuma ? encoding.darkQuality : encoding.quality;
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
    const PlistPtr dict(pairIndexes());
    return toBinary(static_cast<plist_t>(dict.get()));
}

QByteArray appearanceWrapperPlist()
{
    const PlistPtr root(plist_new_dict());
    plist_dict_set_item(static_cast<plist_t>(root.get()), "ap", pairIndexes());
    return toBinary(static_cast<plist_t>(root.get()));
}

namespace {

// One rdf:Description with each (name, property list) as a Base64 attribute in the desktop
// namespace, where readers look for them; empty when a list could not be built.
QByteArray xmpWith(const QList<std::pair<QByteArray, QByteArray>> &plists)
{
    const QByteArray ns = prefix().toUtf8();
    QByteArray attributes;
    for (const auto &[name, plist] : plists) {
        if (plist.isEmpty())
            return {};
        attributes += ' ' + ns + ':' + name + "=\"" + plist.toBase64() + '"';
    }
    return QByteArrayLiteral("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">"
                             "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
                             "<rdf:Description rdf:about=\"\" xmlns:") +
           ns + "=\"" + namespaceUri().toUtf8() + '"' + attributes + "/></rdf:RDF></x:xmpmeta>";
}

} // namespace

QByteArray xmpPacket()
{
    return xmpWith({{"apr", appearancePlist()}, {"apple_desktop", appearanceWrapperPlist()}});
}

QByteArray solarPlist(const QList<SolarPicture> &sun, LightDarkPair pair)
{
    if (sun.isEmpty() || pair.light < 0 || pair.dark < 0 ||
        std::any_of(sun.cbegin(), sun.cend(), [](const SolarPicture &p) { return p.image < 0; }))
        return {};
    const PlistPtr root(plist_new_dict());
    plist_t entries = plist_new_array();
    plist_dict_set_item(static_cast<plist_t>(root.get()), "si", entries);
    for (const SolarPicture &picture : sun) {
        // The pair's own pictures say their side; the rest are day once the sun is up.
        const bool light =
            picture.image == pair.light || (picture.image != pair.dark && picture.altitude > 0);
        plist_t entry = plist_new_dict();
        plist_dict_set_item(entry, "i", plist_new_uint(uint64_t(picture.image)));
        plist_dict_set_item(entry, "a", plist_new_real(picture.altitude));
        plist_dict_set_item(entry, "z", plist_new_real(picture.azimuth));
        plist_dict_set_item(entry, "o", plist_new_uint(light ? 1 : 0));
        plist_array_append_item(entries, entry);
    }
    plist_dict_set_item(static_cast<plist_t>(root.get()), "ap", pairIndexes(pair));
    return toBinary(static_cast<plist_t>(root.get()));
}

QByteArray solarXmpPacket(const QList<SolarPicture> &sun, LightDarkPair pair)
{
    return xmpWith({{"solar", solarPlist(sun, pair)}});
}

std::optional<WallpaperFailure> writeHEIC(const Bitmap &light, const Bitmap &dark,
                                          const QString &path, const Encoding &encoding,
                                          WriteProgress *progress)
{
    return writePictures(
        2, [&](int i) { return i == 0 ? light : dark; }, xmpPacket(), path, encoding, progress);
}

std::optional<WallpaperFailure> writePictures(int count, const std::function<Bitmap(int)> &picture,
                                              const QByteArray &xmp, const QString &path,
                                              const Encoding &encoding, WriteProgress *progress)
{
    if (xmp.isEmpty())
        return WallpaperError::Metadata;
    if (count < 1)
        return WallpaperError::Finalize;

    HeifContext heif;
    if (!heif.ctx)
        return WallpaperError::Finalize;
    HeifEncoder x265;
    if (auto e = check(
            heif_context_get_encoder_for_format(heif.ctx, heif_compression_HEVC, &x265.encoder),
            WallpaperError::EncoderMissing))
        return e;
    if (auto e = check(heif_encoder_set_parameter_string(x265.encoder, "preset",
                                                         encoding.preset.toUtf8().constData()),
                       WallpaperError::Finalize))
        return e;
    for (const auto &[name, value] : encoding.x265)
        if (auto e = check(heif_encoder_set_parameter_string(x265.encoder,
                                                             ("x265:" + name).toUtf8().constData(),
                                                             value.toUtf8().constData()),
                           WallpaperError::Finalize))
            return e;

    // Opened before encoding, so a bad destination costs no encoding time.
    OutputFile file(path);
    if (!file.open())
        return *file.error();

    // One picture made and converted at a time, so only it and its 8-bit copy are alive while
    // encoding beside what the caller keeps.
    HeifHandle primary;
    for (int i = 0; i < count; ++i) {
        const WriteStep step = i == 0   ? WriteStep::EncodeLight
                               : i == 1 ? WriteStep::EncodeDark
                                        : WriteStep::EncodeDawn;
        if (WriteProgress::stopsBefore(progress, step, std::max(i - 2, 0)))
            return WallpaperError::Cancelled;
        HeifHandle handle;
        {
            HeifImage image;
            double meanLuma = 0;
            const Bitmap bitmap = picture(i);
            if (auto e = toHeifImage(bitmap, image, meanLuma))
                return e;
            heif_encoder_set_lossy_quality(x265.encoder, qualityFor(meanLuma, encoding));
            // A picture smaller than one 64-pixel CTU is coded by libheif with smaller CTUs,
            // which x265 refuses to combine with a larger minimum; such a picture keeps x265's
            // own.
            const bool fullCtu = std::min(bitmap.width(), bitmap.height()) >= 64;
            if (auto e =
                    check(heif_encoder_set_parameter_string(
                              x265.encoder, "x265:min-cu-size",
                              QByteArray::number(fullCtu ? encoding.minCuSize : 8).constData()),
                          WallpaperError::Finalize))
                return e;
            if (auto e = check(heif_context_encode_image(heif.ctx, image.image, x265.encoder,
                                                         nullptr, &handle.handle),
                               WallpaperError::Finalize))
                return e;
        }
        if (i == 0) {
            if (auto e = check(heif_context_add_XMP_metadata(heif.ctx, handle.handle,
                                                             xmp.constData(), int(xmp.size())),
                               WallpaperError::Metadata))
                return e;
            std::swap(primary.handle, handle.handle);
        }
    }
    if (auto e = check(heif_context_set_primary_image(heif.ctx, primary.handle),
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
