#include "imagedecoder.h"

#include "files/regularfile.h"

#include <QLoggingCategory>

#include <vips/vips8>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

namespace {

// Quiet unless asked for (QT_LOGGING_RULES="voskan.decoder.debug=true"): libvips chatters.
Q_LOGGING_CATEGORY(lcDecoder, "voskan.decoder", QtInfoMsg)

// Only loaders that libvips counts as safe for untrusted input and that hold photographs, by
// class name as vips_foreign_find_load_source() gives it. Everything else vips could open
// (PDF, SVG, ImageMagick, matrix files, …) is refused: the bytes may come from the network.
constexpr std::array<std::string_view, 6> kAcceptedLoaders = {
    "VipsForeignLoadJpeg", "VipsForeignLoadPng",  "VipsForeignLoadWebp",
    "VipsForeignLoadTiff", "VipsForeignLoadHeif", "VipsForeignLoadNsgif",
};

// More bands than any photo format carries (CMYK + alpha is 5); refused because a strip of
// an image with thousands of bands would no longer be small.
constexpr int kMaxBands = 8;

void routeVipsWarning(const gchar *, GLogLevelFlags, const gchar *message, gpointer)
{
    qCDebug(lcDecoder, "libvips: %s", QByteArray(message).trimmed().constData());
}

} // namespace

QStringList ImageDecoder::fileSuffixes()
{
    // One entry or more per loader in kAcceptedLoaders; AVIF is read by the HEIF loader.
    return {QStringLiteral("jpg"),  QStringLiteral("jpeg"), QStringLiteral("png"),
            QStringLiteral("webp"), QStringLiteral("tif"),  QStringLiteral("tiff"),
            QStringLiteral("heic"), QStringLiteral("heif"), QStringLiteral("avif"),
            QStringLiteral("gif")};
}

bool ImageDecoder::isTrustedLoader(const char *name)
{
    if (!name)
        return false;
    // The same loader comes as a "…File" and a "…Source" class.
    std::string_view loader(name);
    for (std::string_view suffix : {std::string_view("Source"), std::string_view("File")}) {
        if (loader.size() > suffix.size() &&
            loader.substr(loader.size() - suffix.size()) == suffix) {
            loader.remove_suffix(suffix.size());
            break;
        }
    }
    for (std::string_view accepted : kAcceptedLoaders) {
        if (accepted == loader)
            return true;
    }
    return false;
}

bool ImageDecoder::startVips()
{
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        if (VIPS_INIT("voskan") != 0) {
            qCWarning(lcDecoder, "libvips: %s", vips_error_buffer());
            vips_error_clear();
            return;
        }
        // Each picture is decoded once and handed on; a cached load would only pin its
        // memory and an open file, and could serve stale pixels for a file rewritten in place.
        vips_cache_set_max(0);
        vips_cache_set_max_mem(0);
        vips_cache_set_max_files(0);
        // libvips reports recoverable oddities of a file (unknown EXIF units, a truncated
        // frame that fail_on then turns into an error) as GLib warnings on stderr. The
        // decoder already reports what matters as a DecodeError.
        g_log_set_handler("VIPS", GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE),
                          routeVipsWarning, nullptr);
        started = true;
    });
    return started;
}

namespace {

enum class VipsStage {
    Open,    // opening the file
    Header,  // running the loader up to the header
    Convert, // building the colour pipeline
    Pixels,  // decoding and converting the pixels
};

// The one place where a libvips failure becomes a DecodeError. The vips error buffer is
// process-wide and only grows, so it is emptied here: a message left behind would otherwise
// be read again as part of the next, unrelated failure.
DecodeError fromVips(VipsStage stage, const char *message)
{
    qCDebug(lcDecoder, "libvips failed: %s", QByteArray(message).trimmed().constData());
    const bool outOfMemory = message && std::strstr(message, "out of memory");
    vips_error_clear();
    if (outOfMemory)
        return DecodeError::OutOfMemory;
    switch (stage) {
    case VipsStage::Open:
        return DecodeError::Unreadable;
    case VipsStage::Header:
    case VipsStage::Pixels:
        return DecodeError::Corrupt;
    case VipsStage::Convert:
        return DecodeError::NotAnImage;
    }
    return DecodeError::Corrupt;
}

bool isDeepFormat(VipsBandFormat format)
{
    return format != VIPS_FORMAT_UCHAR && format != VIPS_FORMAT_CHAR;
}

// Whether the embedded profile is sRGB for all practical purposes. Most camera JPEGs carry
// one, and transforming 24 megapixels through it costs about as much as decoding them. A
// lattice of 33³ colours (every eighth level and the top one) is run through the profile:
// a real deviation from sRGB moves many of them by several levels, while the common sRGB
// profiles differ from the built-in one by at most one level in a few hundred of them.
bool profileIsSrgb(const vips::VImage &in)
{
    constexpr int kLevels = 33;
    static const std::vector<uint8_t> lattice = [] {
        std::vector<uint8_t> colours;
        colours.reserve(kLevels * kLevels * kLevels * 3);
        for (int b = 0; b < kLevels; ++b) {
            for (int g = 0; g < kLevels; ++g) {
                for (int r = 0; r < kLevels; ++r) {
                    for (int level : {r, g, b})
                        colours.push_back(uint8_t(std::min(level * 8, 255)));
                }
            }
        }
        return colours;
    }();

    std::size_t profileSize = 0;
    const void *profile = in.get_blob(VIPS_META_ICC_NAME, &profileSize);
    vips::VImage probe =
        vips::VImage::new_from_memory(const_cast<uint8_t *>(lattice.data()), lattice.size(),
                                      kLevels * kLevels, kLevels, 3, VIPS_FORMAT_UCHAR);
    probe = probe.copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    vips_image_set_blob_copy(probe.get_image(), VIPS_META_ICC_NAME, profile, profileSize);
    const vips::VImage converted =
        probe.icc_transform("srgb", vips::VImage::option()->set("embedded", true)->set("depth", 8));
    std::size_t size = 0;
    auto *pixels = static_cast<uint8_t *>(converted.write_to_memory(&size));
    bool same = size == lattice.size();
    for (std::size_t i = 0; same && i < size; ++i)
        same = std::abs(int(pixels[i]) - int(lattice[i])) <= 1;
    g_free(pixels);
    return same;
}

// Any supported pixel layout to sRGB, 8 or 16 bits per channel, extra bands kept.
vips::VImage toSrgb(const vips::VImage &in, bool deep)
{
    const bool cmyk = in.interpretation() == VIPS_INTERPRETATION_CMYK;
    if (cmyk || in.get_typeof(VIPS_META_ICC_NAME) != 0) {
        try {
            // A CMYK file without a profile gets the usual press profile libvips ships.
            if (deep || cmyk || in.bands() < 3 || !profileIsSrgb(in))
                return in.icc_transform("srgb", vips::VImage::option()
                                                    ->set("embedded", true)
                                                    ->set("input_profile", cmyk ? "cmyk" : "srgb")
                                                    ->set("depth", deep ? 16 : 8));
        } catch (const vips::VError &error) {
            // A broken or mismatched profile (an RGB profile on a grey picture, say) is no
            // reason to lose the picture: fall back to the untagged conversion.
            qCDebug(lcDecoder, "ignoring the embedded ICC profile: %s", error.what());
            vips_error_clear();
        }
    }
    return in.colourspace(deep ? VIPS_INTERPRETATION_RGB16 : VIPS_INTERPRETATION_sRGB,
                          vips::VImage::option()->set("source_space", in.guess_interpretation()));
}

// The decoded picture as opaque RGBA in 8 or 16 bits per channel.
vips::VImage toOpaqueRgba(const vips::VImage &in, bool deep)
{
    const double opaque = deep ? 65535 : 255;
    vips::VImage rgb = toSrgb(in, deep);
    if (rgb.has_alpha()) {
        rgb = rgb.flatten(vips::VImage::option()
                              ->set("background", std::vector<double>{0.0})
                              ->set("max_alpha", opaque));
    }
    if (rgb.bands() > 3)
        rgb = rgb.extract_band(0, vips::VImage::option()->set("n", 3));
    rgb = rgb.cast(deep ? VIPS_FORMAT_USHORT : VIPS_FORMAT_UCHAR);
    return rgb.bandjoin_const({opaque});
}

// Where the decoded pixels go: the output buffer, already turned by the EXIF orientation.
// Source pixel (x, y) lands at byte origin + x * stepX + y * stepY.
struct Placement
{
    PixelBuffer *buffer = nullptr;
    int pixelBytes = 0;
    std::ptrdiff_t origin = 0;
    std::ptrdiff_t stepX = 0;
    std::ptrdiff_t stepY = 0;
    bool transposed = false; // source rows become output columns
};

Placement placementFor(PixelBuffer &buffer, int orientation, int sourceWidth, int sourceHeight)
{
    const std::ptrdiff_t b = bytesPerPixel(buffer.format());
    const std::ptrdiff_t l = std::ptrdiff_t(buffer.bytesPerLine());
    const std::ptrdiff_t w = sourceWidth;
    const std::ptrdiff_t h = sourceHeight;
    Placement p{&buffer, int(b), 0, b, l, false};
    switch (orientation) {
    case 2: // mirrored left-right
        p = {&buffer, int(b), (w - 1) * b, -b, l, false};
        break;
    case 3: // turned 180°
        p = {&buffer, int(b), (h - 1) * l + (w - 1) * b, -b, -l, false};
        break;
    case 4: // mirrored top-bottom
        p = {&buffer, int(b), (h - 1) * l, b, -l, false};
        break;
    case 5: // transposed
        p = {&buffer, int(b), 0, l, b, true};
        break;
    case 6: // needs 90° clockwise
        p = {&buffer, int(b), (h - 1) * b, l, -b, true};
        break;
    case 7: // transverse
        p = {&buffer, int(b), (w - 1) * l + (h - 1) * b, -l, -b, true};
        break;
    case 8: // needs 90° counter-clockwise
        p = {&buffer, int(b), (w - 1) * l, -l, b, true};
        break;
    default:
        break;
    }
    return p;
}

template <int PixelBytes>
void placeRow(const VipsPel *src, int left, int width, int y, const Placement &p)
{
    uint8_t *base = p.buffer->bits() + p.origin + std::ptrdiff_t(y) * p.stepY;
    for (int x = left; x < left + width; ++x, src += PixelBytes)
        std::memcpy(base + std::ptrdiff_t(x) * p.stepX, src, PixelBytes);
}

// Column by column, so that each output row is written as one short run and each memory
// page of the output is visited once per strip, not once per source row.
template <int PixelBytes>
void placeColumns(VipsRegion *region, const VipsRect &area, const Placement &p)
{
    const std::ptrdiff_t sourceLine = std::ptrdiff_t(VIPS_REGION_LSKIP(region));
    const VipsPel *top = VIPS_REGION_ADDR(region, area.left, area.top);
    uint8_t *base = p.buffer->bits() + p.origin + std::ptrdiff_t(area.top) * p.stepY;
    for (int x = area.left; x < area.left + area.width; ++x, top += PixelBytes) {
        uint8_t *dst = base + std::ptrdiff_t(x) * p.stepX;
        const VipsPel *src = top;
        for (int row = 0; row < area.height; ++row, src += sourceLine, dst += p.stepY)
            std::memcpy(dst, src, PixelBytes);
    }
}

// Called by vips_sink_disc with each finished strip, in order, on a vips worker thread.
int writeStrip(VipsRegion *region, VipsRect *area, void *target)
{
    const Placement &p = *static_cast<const Placement *>(target);
    if (p.transposed) {
        if (p.pixelBytes == 8)
            placeColumns<8>(region, *area, p);
        else
            placeColumns<4>(region, *area, p);
        return 0;
    }
    for (int y = area->top; y < area->top + area->height; ++y) {
        const VipsPel *src = VIPS_REGION_ADDR(region, area->left, y);
        if (p.stepX == p.pixelBytes) {
            std::memcpy(p.buffer->bits() + p.origin + std::ptrdiff_t(y) * p.stepY +
                            std::ptrdiff_t(area->left) * p.pixelBytes,
                        src, std::size_t(area->width) * std::size_t(p.pixelBytes));
        } else if (p.pixelBytes == 8) {
            placeRow<8>(src, area->left, area->width, y, p);
        } else {
            placeRow<4>(src, area->left, area->width, y, p);
        }
    }
    return 0;
}

// libjpeg reports damage it papers over (data cut short, then grey to the end) only as a
// warning, so JPEG is read failing on warnings. A few warnings are harmless and common in
// camera files; a file failing on one of them is read again without the strictness.
bool isHarmlessJpegWarning(const char *message)
{
    return message &&
           (std::strstr(message, "extraneous bytes before marker") ||
            std::strstr(message, "JFIF revision") || std::strstr(message, "Adobe transform"));
}

bool isJpegLoader(const char *loader)
{
    return std::string_view(loader).starts_with("VipsForeignLoadJpeg");
}

vips::VImage load(const char *loader, const vips::VSource &source, bool strict, int shrink)
{
    vips::VImage image;
    // Sequential: the pixels stream through the conversion straight into the bitmap.
    // fail_on: a cut-off or broken file is an error, not a picture with a grey end.
    vips::VOption *options =
        vips::VImage::option()
            ->set("source", source)
            ->set("access", VIPS_ACCESS_SEQUENTIAL)
            ->set("fail_on",
                  strict && isJpegLoader(loader) ? VIPS_FAIL_ON_WARNING : VIPS_FAIL_ON_ERROR);
    if (shrink > 1)
        options->set("shrink", shrink);
    vips::VImage::call(loader, options->set("out", &image));
    return image;
}

// The smallest of libjpeg's shrink factors that brings the picture within kMaxPixels.
int jpegShrink(qint64 pixels)
{
    int shrink = 1;
    while (shrink < 8 && pixels / (qint64(shrink) * shrink) > ImageDecoder::kMaxPixels)
        shrink *= 2;
    return shrink;
}

DecodeResult decodeSource(const vips::VSource &source, bool strict, bool *harmless)
{
    *harmless = false;
    const char *loader = vips_foreign_find_load_source(source.get_source());
    if (!loader || !ImageDecoder::isTrustedLoader(loader)) {
        vips_error_clear();
        return DecodeError::NotAnImage;
    }
    const auto failed = [harmless](VipsStage stage, const char *message) {
        *harmless = isHarmlessJpegWarning(message);
        return fromVips(stage, message);
    };

    vips::VImage image;
    try {
        image = load(loader, source, strict, 1);
    } catch (const vips::VError &error) {
        return failed(VipsStage::Header, error.what());
    }

    // Nothing but the header has been read so far.
    if (image.width() < 1 || image.height() < 1)
        return DecodeError::Corrupt;
    const qint64 pixels = qint64(image.width()) * qint64(image.height());
    const std::string_view name(loader);
    const bool whole =
        name.starts_with("VipsForeignLoadHeif") || name.starts_with("VipsForeignLoadNsgif");
    if (pixels > (whole ? ImageDecoder::kMaxWholePixels : ImageDecoder::kMaxSourcePixels))
        return DecodeError::TooLarge;
    if (image.bands() < 1 || image.bands() > kMaxBands || image.coding() != VIPS_CODING_NONE)
        return DecodeError::NotAnImage;
    try {
        if (pixels > ImageDecoder::kMaxPixels && isJpegLoader(loader))
            image = load(loader, source, strict, jpegShrink(pixels));
        const qint64 loaded = qint64(image.width()) * qint64(image.height());
        if (loaded > ImageDecoder::kMaxPixels) {
            const double scale = std::sqrt(double(ImageDecoder::kMaxPixels) / double(loaded));
            image = image.resize(scale);
        }
    } catch (const vips::VError &error) {
        return failed(VipsStage::Header, error.what());
    }
    const int width = image.width();
    const int height = image.height();

    const bool deep = isDeepFormat(image.format());
    vips::VImage rgba;
    try {
        rgba = toOpaqueRgba(image, deep);
    } catch (const vips::VError &error) {
        return fromVips(VipsStage::Convert, error.what());
    }

    // The conversion keeps the size; the strip writer relies on it.
    if (rgba.width() != width || rgba.height() != height || rgba.bands() != 4)
        return DecodeError::NotAnImage;

    const int orientation = qBound(1, vips_image_get_orientation(image.get_image()), 8);
    const bool swap = orientation >= 5;
    PixelBuffer buffer = PixelBuffer::allocate(swap ? height : width, swap ? width : height,
                                               deep ? PixelFormat::Rgba16 : PixelFormat::Rgba8);
    if (buffer.isNull())
        return DecodeError::OutOfMemory;

    Placement placement = placementFor(buffer, orientation, width, height);
    if (vips_sink_disc(rgba.get_image(), writeStrip, &placement) != 0) {
        char *message = vips_error_buffer_copy();
        const DecodeError error = failed(VipsStage::Pixels, message);
        g_free(message);
        return error;
    }
    return Bitmap(std::move(buffer));
}

// Opens the source and decodes it; no exception leaves here.
template <typename MakeSource> DecodeResult decodeGuarded(MakeSource makeSource)
{
    if (!ImageDecoder::startVips())
        return DecodeError::Unavailable;
    try {
        DecodeResult result = DecodeError::Corrupt;
        bool harmless = false;
        for (const bool strict : {true, false}) {
            std::optional<vips::VSource> source;
            try {
                source.emplace(makeSource());
            } catch (const vips::VError &error) {
                return fromVips(VipsStage::Open, error.what());
            }
            result = decodeSource(*source, strict, &harmless);
            // Loaders may leave messages behind even when they succeed (libheif probing
            // past the end, say); they would otherwise be read as part of the next failure.
            vips_error_clear();
            if (result.isOk() || !harmless)
                break;
        }
        return result;
    } catch (const std::bad_alloc &) {
        return DecodeError::OutOfMemory;
    } catch (const vips::VError &error) {
        // Every vips call above is guarded by its stage; this is the backstop.
        return fromVips(VipsStage::Pixels, error.what());
    }
}

} // namespace

QString description(DecodeError error)
{
    switch (error) {
    case DecodeError::FileNotFound:
        return QStringLiteral("Die Datei wurde nicht gefunden.");
    case DecodeError::Unreadable:
        return QStringLiteral("Die Datei lässt sich nicht lesen.");
    case DecodeError::NoPermission:
        return QStringLiteral("Keine Berechtigung, die Datei zu lesen.");
    case DecodeError::ReadFailed:
        return QStringLiteral("Der Datenträger meldet beim Lesen der Datei einen Fehler.");
    case DecodeError::Empty:
        return QStringLiteral("Die Datei ist leer.");
    case DecodeError::NotAnImage:
        return QStringLiteral("Die Datei ist kein unterstütztes Bild.");
    case DecodeError::Corrupt:
        return QStringLiteral("Das Bild ist beschädigt oder unvollständig.");
    case DecodeError::TooLarge:
        return QStringLiteral("Das Bild hat zu viele Pixel, um es zu laden.");
    case DecodeError::OutOfMemory:
        return QStringLiteral("Für das Bild ist nicht genug Arbeitsspeicher frei.");
    case DecodeError::Unavailable:
        return QStringLiteral("Die Bildbibliothek libvips ließ sich nicht starten.");
    }
    return QStringLiteral("Das Bild ließ sich nicht laden.");
}

DecodeError openError(const RegularFile &file)
{
    switch (file.errorNumber()) {
    case ENOENT:
    case ENOTDIR:
        return DecodeError::FileNotFound;
    case EACCES:
    case EPERM:
        return DecodeError::NoPermission;
    case EIO:
        return DecodeError::ReadFailed;
    default: // 0: no regular file; ENXIO: a socket; ELOOP: links in a circle
        return DecodeError::Unreadable;
    }
}

namespace ImageDecoder {

DecodeResult decodeFile(const QString &path)
{
    // A descriptor rather than vips' file loaders, which would read "[…]" at the end of a file
    // name as load options, and open a pipe put there without asking what it is.
    const RegularFile file(path);
    if (!file.isOpen())
        return openError(file);
    if (file.size() == 0)
        return DecodeError::Empty;
    // libvips takes a duplicate of the descriptor.
    return decodeGuarded([&file] { return vips::VSource::new_from_descriptor(file.descriptor()); });
}

DecodeResult decodeData(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return DecodeError::Empty;
    // Not copied: bytes outlives every vips object made here, as the cache is off.
    return decodeGuarded([&] {
        return vips::VSource::new_from_memory(bytes.constData(), std::size_t(bytes.size()));
    });
}

} // namespace ImageDecoder
