#include "dynamicfiles.h"

#include <QFile>

#include <libheif/heif.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace {

plist_t indexNode(int index, const XmpStyle &style)
{
    return style.swapNumbers ? plist_new_real(index) : plist_new_uint(uint64_t(int64_t(index)));
}

// Negative whole numbers go out as the 64-bit two's complement, as binary plists store them.
plist_t realNode(double value, const XmpStyle &style)
{
    return style.swapNumbers && std::isfinite(value) && value == std::floor(value)
               ? plist_new_uint(uint64_t(int64_t(value)))
               : plist_new_real(value);
}

plist_t pairNode(LightDarkPair pair, const XmpStyle &style)
{
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "l", indexNode(pair.light, style));
    plist_dict_set_item(dict, "d", indexNode(pair.dark, style));
    return dict;
}

QByteArray tableValue(const char *key, plist_t list, std::optional<LightDarkPair> pair,
                      const XmpStyle &style)
{
    plist_t root = plist_new_dict();
    plist_dict_set_item(root, key, list);
    if (pair)
        plist_dict_set_item(root, "ap", pairNode(*pair, style));
    return plistBase64(root);
}

} // namespace

plist_t plistDict(std::initializer_list<std::pair<const char *, plist_t>> items)
{
    plist_t node = plist_new_dict();
    for (const auto &[key, value] : items)
        plist_dict_set_item(node, key, value);
    return node;
}

plist_t plistArray(std::initializer_list<plist_t> items)
{
    plist_t node = plist_new_array();
    for (plist_t item : items)
        plist_array_append_item(node, item);
    return node;
}

QByteArray plistBase64(plist_t root)
{
    char *data = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &data, &length);
    const QByteArray out = QByteArray(data, qsizetype(length)).toBase64();
    plist_to_bin_free(data);
    plist_free(root);
    return out;
}

QByteArray aprValue(LightDarkPair pair, const XmpStyle &style)
{
    return plistBase64(pairNode(pair, style));
}

QByteArray h24Value(const QList<TimedPicture> &times, std::optional<LightDarkPair> pair,
                    const XmpStyle &style)
{
    plist_t list = plist_new_array();
    for (const TimedPicture &time : times) {
        plist_t entry = plist_new_dict();
        plist_dict_set_item(entry, "i", indexNode(time.image, style));
        plist_dict_set_item(entry, "t", realNode(time.dayFraction, style));
        plist_array_append_item(list, entry);
    }
    return tableValue("ti", list, pair, style);
}

QByteArray solarValue(const QList<SolarPicture> &sun, std::optional<LightDarkPair> pair,
                      const XmpStyle &style)
{
    plist_t list = plist_new_array();
    for (const SolarPicture &position : sun) {
        plist_t entry = plist_new_dict();
        plist_dict_set_item(entry, "i", indexNode(position.image, style));
        plist_dict_set_item(entry, "a", realNode(position.altitude, style));
        plist_dict_set_item(entry, "z", realNode(position.azimuth, style));
        plist_array_append_item(list, entry);
    }
    return tableValue("si", list, pair, style);
}

QByteArray scheduleXmp(const QList<std::pair<QByteArray, QByteArray>> &values,
                       const XmpStyle &style)
{
    QByteArray attributes, elements;
    for (const auto &[name, value] : values) {
        const QByteArray tag = style.prefix + ':' + name;
        if (!style.element) {
            attributes += ' ' + tag + "=\"" + value + '"';
            continue;
        }
        elements += '<' + tag + ">\n";
        for (qsizetype at = 0; at < value.size(); at += 60)
            elements += "  " + value.mid(at, 60) + '\n';
        elements += "</" + tag + '>';
    }
    return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">"
           "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
           "<rdf:Description rdf:about=\"\" xmlns:" +
           style.prefix + "=\"" + style.namespaceUri + '"' + attributes + '>' + elements +
           "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>";
}

QByteArray aprXmp(LightDarkPair pair, const XmpStyle &style)
{
    return scheduleXmp({{"apr", aprValue(pair, style)}}, style);
}

QByteArray h24Xmp(const QList<TimedPicture> &times, std::optional<LightDarkPair> pair,
                  const XmpStyle &style)
{
    return scheduleXmp({{"h24", h24Value(times, pair, style)}}, style);
}

QByteArray solarXmp(const QList<SolarPicture> &sun, std::optional<LightDarkPair> pair,
                    const XmpStyle &style)
{
    return scheduleXmp({{"solar", solarValue(sun, pair, style)}}, style);
}

QByteArray unfoldingPlistBase64(int levels, int width)
{
    // Objects: 0 the root {si: 2}, 1 the key "si", 2 … levels+1 the arrays, then the integer 0.
    // One byte per reference, two per offset.
    QByteArray bytes = "bplist00";
    QList<int> offsets;
    offsets << int(bytes.size());
    bytes += QByteArray("\xD1\x01\x02", 3);
    offsets << int(bytes.size());
    bytes += "\x52si";
    for (int level = 0; level < levels; ++level) {
        offsets << int(bytes.size());
        bytes += "\xAF\x10" + QByteArray(1, char(width)) + QByteArray(width, char(3 + level));
    }
    offsets << int(bytes.size());
    bytes += QByteArray("\x10\x00", 2);
    const int table = int(bytes.size());
    for (const int offset : offsets)
        bytes += QByteArray(1, char(offset >> 8)) + char(offset & 0xff);
    const auto be64 = [](quint64 value) {
        QByteArray out(8, '\0');
        for (int i = 7; i >= 0; --i, value >>= 8)
            out[i] = char(value & 0xff);
        return out;
    };
    bytes += QByteArray(6, '\0') + '\x02' + '\x01' + be64(quint64(offsets.size())) + be64(0) +
             be64(quint64(table));
    return bytes.toBase64();
}

QList<QImage> solidPictures(const QList<QColor> &colours)
{
    QList<QImage> pictures;
    for (const QColor &colour : colours) {
        pictures << QImage(64, 36, QImage::Format_RGB32);
        pictures.last().fill(colour);
    }
    return pictures;
}

bool writeDynamicHeic(const QString &path, const QList<QImage> &pictures, const QByteArray &xmp)
{
    const std::unique_ptr<heif_context, void (*)(heif_context *)> ctx(heif_context_alloc(),
                                                                      heif_context_free);
    heif_encoder *rawEncoder = nullptr;
    if (heif_context_get_encoder_for_format(ctx.get(), heif_compression_HEVC, &rawEncoder).code !=
        heif_error_Ok)
        return false;
    const std::unique_ptr<heif_encoder, void (*)(heif_encoder *)> encoder(rawEncoder,
                                                                          heif_encoder_release);
    heif_encoder_set_lossy_quality(encoder.get(), 90);
    heif_encoder_set_parameter_string(encoder.get(), "preset", "ultrafast");
    for (qsizetype i = 0; i < pictures.size(); ++i) {
        const QImage rgb = pictures[i].convertToFormat(QImage::Format_RGB888);
        heif_image *rawImage = nullptr;
        if (heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB,
                              heif_chroma_interleaved_RGB, &rawImage)
                .code != heif_error_Ok)
            return false;
        const std::unique_ptr<heif_image, void (*)(const heif_image *)> image(rawImage,
                                                                              heif_image_release);
        heif_image_add_plane(image.get(), heif_channel_interleaved, rgb.width(), rgb.height(), 8);
        int stride = 0;
        uint8_t *plane = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
        if (!plane)
            return false;
        for (int y = 0; y < rgb.height(); ++y)
            std::memcpy(plane + std::size_t(y) * stride, rgb.constScanLine(y),
                        std::size_t(rgb.width()) * 3);
        heif_image_handle *rawHandle = nullptr;
        if (heif_context_encode_image(ctx.get(), image.get(), encoder.get(), nullptr, &rawHandle)
                .code != heif_error_Ok)
            return false;
        const std::unique_ptr<heif_image_handle, void (*)(const heif_image_handle *)> handle(
            rawHandle, heif_image_handle_release);
        if (i > 0)
            continue;
        if (heif_context_set_primary_image(ctx.get(), handle.get()).code != heif_error_Ok)
            return false;
        if (!xmp.isEmpty() &&
            heif_context_add_XMP_metadata(ctx.get(), handle.get(), xmp.constData(), int(xmp.size()))
                    .code != heif_error_Ok)
            return false;
    }
    return heif_context_write_to_file(ctx.get(), QFile::encodeName(path).constData()).code ==
           heif_error_Ok;
}
