#include "dynamicfiles.h"

#include "heic/dynamicwallpaperfile.h"

#include <QFile>

#include <libheif/heif.h>
#include <plist/plist.h>

#include <cstring>
#include <memory>

namespace {

plist_t plistNode(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        plist_t dict = plist_new_dict();
        const QVariantMap map = value.toMap();
        for (auto item = map.begin(); item != map.end(); ++item)
            plist_dict_set_item(dict, item.key().toUtf8().constData(), plistNode(item.value()));
        return dict;
    }
    case QMetaType::QVariantList: {
        plist_t array = plist_new_array();
        for (const QVariant &item : value.toList())
            plist_array_append_item(array, plistNode(item));
        return array;
    }
    case QMetaType::Double:
        return plist_new_real(value.toDouble());
    case QMetaType::Bool:
        return plist_new_bool(value.toBool());
    case QMetaType::QString:
        return plist_new_string(value.toString().toUtf8().constData());
    default: // negative whole numbers go out as the 64-bit two's complement, as binary plists store
             // them
        return plist_new_uint(uint64_t(value.toLongLong()));
    }
}

QVariantMap withPair(const char *key, const QVariantList &entries,
                     std::optional<LightDarkPair> pair)
{
    QVariantMap table{{key, entries}};
    if (pair)
        table.insert("ap", aprTable(*pair));
    return table;
}

} // namespace

QByteArray plistBase64(const QVariant &value)
{
    plist_t root = plistNode(value);
    char *data = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &data, &length);
    const QByteArray out = QByteArray(data, qsizetype(length)).toBase64();
    plist_to_bin_free(data);
    plist_free(root);
    return out;
}

QVariantMap aprTable(LightDarkPair pair)
{
    return {{"l", pair.light}, {"d", pair.dark}};
}

QVariantMap h24Table(const QList<TimedPicture> &times, std::optional<LightDarkPair> pair)
{
    QVariantList entries;
    for (const TimedPicture &time : times)
        entries.append(QVariantMap{{"i", time.image}, {"t", time.dayFraction}});
    return withPair("ti", entries, pair);
}

QVariantMap solarTable(const QList<SolarPicture> &sun, std::optional<LightDarkPair> pair)
{
    QVariantList entries;
    for (const SolarPicture &at : sun)
        entries.append(QVariantMap{{"i", at.image}, {"a", at.altitude}, {"z", at.azimuth}});
    return withPair("si", entries, pair);
}

QByteArray scheduleXmp(const QList<std::pair<QByteArray, QVariant>> &tables, bool elements)
{
    QByteArray attributes, texts;
    for (const auto &[name, table] : tables) {
        const QByteArray tag = "apple_desktop:" + name;
        const QByteArray value =
            table.typeId() == QMetaType::QByteArray ? table.toByteArray() : plistBase64(table);
        if (!elements)
            attributes += ' ' + tag + "=\"" + value + '"';
        else
            texts +=
                '<' + tag + ">\n  " + value.left(60) + "\n  " + value.mid(60) + "\n</" + tag + '>';
    }
    return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">"
           "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
           "<rdf:Description rdf:about=\"\" "
           "xmlns:apple_desktop=\"http://ns.apple.com/namespace/1.0/\"" +
           attributes + '>' + texts +
           "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>";
}

QByteArray unfoldingPlistBase64()
{
    // Objects: 0 the root {si: 2}, 1 the key "si", 2 to 4 the arrays, 5 the integer 0. Every
    // offset and reference fits in one byte.
    QByteArray bytes = "bplist00";
    QByteArray offsets(1, char(bytes.size()));
    bytes += QByteArray("\xD1\x01\x02", 3);
    offsets += char(bytes.size());
    bytes += "\x52si";
    for (char level = 0; level < 3; ++level) {
        offsets += char(bytes.size());
        bytes += "\xAF\x10\x3C" + QByteArray(60, char(3 + level));
    }
    offsets += char(bytes.size());
    bytes += QByteArray("\x10\x00", 2);
    const char table = char(bytes.size());
    // Trailer: offset and reference size, then the object count, the top object and the
    // table's offset as 64-bit big-endian numbers.
    const QByteArray zeros(7, '\0');
    bytes += offsets + QByteArray(6, '\0') + "\x01\x01" + zeros + char(offsets.size()) + zeros +
             '\0' + zeros + table;
    return bytes.toBase64();
}

QList<SolarPicture> sixteenSuns()
{
    QList<SolarPicture> sun;
    for (int i = 0; i < 16; ++i)
        sun.append({i, -30.0 + 8 * i, i < 8 ? 90.0 : 270.0});
    return sun;
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
    heif_encoder *encoder = nullptr;
    if (heif_context_get_encoder_for_format(ctx.get(), heif_compression_HEVC, &encoder).code !=
        heif_error_Ok)
        return false;
    heif_encoder_set_lossy_quality(encoder, 90);
    heif_encoder_set_parameter_string(encoder, "preset", "ultrafast");
    bool ok = true;
    for (qsizetype i = 0; ok && i < pictures.size(); ++i) {
        const QImage rgb = pictures[i].convertToFormat(QImage::Format_RGB888);
        heif_image *image = nullptr;
        heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB,
                          heif_chroma_interleaved_RGB, &image);
        heif_image_add_plane(image, heif_channel_interleaved, rgb.width(), rgb.height(), 8);
        int stride = 0;
        uint8_t *plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        for (int y = 0; plane && y < rgb.height(); ++y)
            std::memcpy(plane + std::size_t(y) * stride, rgb.constScanLine(y),
                        std::size_t(rgb.width()) * 3);
        heif_image_handle *handle = nullptr;
        ok = plane && heif_context_encode_image(ctx.get(), image, encoder, nullptr, &handle).code ==
                          heif_error_Ok;
        if (ok && i == 0 && !xmp.isEmpty())
            ok = heif_context_add_XMP_metadata(ctx.get(), handle, xmp.constData(), int(xmp.size()))
                     .code == heif_error_Ok;
        heif_image_handle_release(handle);
        heif_image_release(image);
    }
    heif_encoder_release(encoder);
    return ok && heif_context_write_to_file(ctx.get(), QFile::encodeName(path).constData()).code ==
                     heif_error_Ok;
}

WallpaperSchedule scheduleOf(const QString &path)
{
    const auto opened = DynamicWallpaperFile::open(path);
    const auto *file = std::get_if<DynamicWallpaperFile>(&opened);
    return file && file->schedule() ? *file->schedule() : WallpaperSchedule{};
}
