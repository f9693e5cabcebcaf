#include "photothumbnails.h"

#include "files/regularfile.h"
#include "render/imagedecoder.h"

#include "files/outputfile.h"
#include <QBuffer>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QStandardPaths>
#include <QThreadPool>
#include <QUrl>

#include <vips/vips.h>

#include <array>
#include <mutex>
#include <string_view>

namespace {

const QString kUriKey = QStringLiteral("Thumb::URI");
const QString kMTimeKey = QStringLiteral("Thumb::MTime");

QString mtimeText(const QFileInfo &info)
{
    return QString::number(info.lastModified().toSecsSinceEpoch());
}

// The file at kStoredSize, as 8-bit sRGB with alpha, oriented upright. Null on failure. Only
// the loaders ImageDecoder trusts: vips_thumbnail would otherwise open PDFs, SVGs or anything
// ImageMagick knows when a file merely looks like one.
QImage shrink(const RegularFile &file)
{
    if (!ImageDecoder::startVips())
        return {};
    VipsSource *source = vips_source_new_from_descriptor(file.descriptor());
    if (!source) {
        vips_error_clear();
        return {};
    }
    VipsImage *thumbnail = nullptr;
    const bool made =
        ImageDecoder::isTrustedLoader(vips_foreign_find_load_source(source)) &&
        vips_thumbnail_source(source, &thumbnail, PhotoImageManager::kStoredSize, "height",
                              PhotoImageManager::kStoredSize, "size", VIPS_SIZE_DOWN, "fail_on",
                              VIPS_FAIL_ON_ERROR, nullptr) == 0;
    g_object_unref(source);
    if (!made) {
        vips_error_clear();
        return {};
    }
    VipsImage *srgb = nullptr;
    VipsImage *rgba = nullptr;
    VipsImage *bytes = nullptr;
    QImage result;
    bool converted = vips_colourspace(thumbnail, &srgb, VIPS_INTERPRETATION_sRGB, nullptr) == 0;
    if (converted && srgb->Bands == 4) {
        g_object_ref(srgb);
        rgba = srgb;
    } else if (converted && srgb->Bands == 3) {
        converted = vips_bandjoin_const1(srgb, &rgba, 255.0, nullptr) == 0;
    } else {
        converted = false;
    }
    converted = converted && vips_cast_uchar(rgba, &bytes, nullptr) == 0;
    if (converted && bytes->Bands == 4) {
        size_t size = 0;
        // Decodes the pixels; a file cut short fails here.
        if (void *pixels = vips_image_write_to_memory(bytes, &size)) {
            QImage view(static_cast<const uchar *>(pixels), bytes->Xsize, bytes->Ysize,
                        bytes->Xsize * 4, QImage::Format_RGBA8888);
            result = view.copy();
            g_free(pixels);
        }
    }
    for (VipsImage *image : {bytes, rgba, srgb, thumbnail}) {
        if (image)
            g_object_unref(image);
    }
    vips_error_clear();
    return result;
}

quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray pngChunk(const QByteArray &type, const QByteArray &data)
{
    QByteArray chunk;
    const auto appendBigEndian = [&](quint32 value) {
        for (int shift = 24; shift >= 0; shift -= 8)
            chunk.append(char((value >> shift) & 0xFF));
    };
    appendBigEndian(quint32(data.size()));
    chunk.append(type + data);
    appendBigEndian(crc32(type + data));
    return chunk;
}

constexpr qsizetype kPngSignatureSize = 8;
constexpr qsizetype kIhdrChunkSize = 12 + 13;
// A 256 px RGBA thumbnail is far below this; anything bigger is not one of ours.
constexpr qint64 kMaxStoredBytes = 4 * 1024 * 1024;

// The tEXt chunks of a PNG. Qt's writer would store a long Thumb::URI as zTXt, which the
// freedesktop cache does not provide for, so the tags are handled here.
QHash<QByteArray, QByteArray> pngTexts(const QByteArray &png)
{
    QHash<QByteArray, QByteArray> texts;
    qsizetype at = kPngSignatureSize;
    while (at + 12 <= png.size()) {
        quint32 length = 0;
        for (int i = 0; i < 4; ++i)
            length = (length << 8) | quint8(png.at(at + i));
        const QByteArray type = png.mid(at + 4, 4);
        if (type == "IDAT" || qint64(length) > png.size() - at - 12)
            break;
        if (type == "tEXt") {
            const QByteArray data = png.mid(at + 8, length);
            const qsizetype separator = data.indexOf('\0');
            if (separator > 0)
                texts.insert(data.left(separator), data.mid(separator + 1));
        }
        at += 12 + qsizetype(length);
    }
    return texts;
}

// A thumbnail in the shared cache that belongs to this version of the file.
QImage readStored(const QString &storedPath, const QByteArray &uri, const QFileInfo &source)
{
    const std::optional<QByteArray> stored = RegularFile(storedPath).readAll(kMaxStoredBytes);
    if (!stored)
        return {};
    const QByteArray &png = *stored;
    const QHash<QByteArray, QByteArray> texts = pngTexts(png);
    if (texts.value(kUriKey.toLatin1()) != uri ||
        texts.value(kMTimeKey.toLatin1()) != mtimeText(source).toLatin1())
        return {};
    QImage image = QImage::fromData(png, "PNG");
    if (image.width() > PhotoImageManager::kStoredSize ||
        image.height() > PhotoImageManager::kStoredSize)
        return {};
    return image;
}

void writeStored(const QString &storedPath, const QImage &image, const QByteArray &uri,
                 const QFileInfo &source)
{
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!QImageWriter(&buffer, "png").write(image))
            return;
    }
    if (!png.startsWith("\x89PNG\r\n\x1A\n") || png.mid(12, 4) != "IHDR")
        return;
    // A file URI is ASCII (percent-encoded), so it fits tEXt's Latin-1.
    png.insert(kPngSignatureSize + kIhdrChunkSize,
               pngChunk("tEXt", kUriKey.toLatin1() + '\0' + uri) +
                   pngChunk("tEXt", kMTimeKey.toLatin1() + '\0' + mtimeText(source).toLatin1()));

    const QFileInfo stored(storedPath);
    if (!QDir().mkpath(stored.absolutePath()))
        return;
    // The freedesktop cache is private to the user.
    QFile::setPermissions(stored.absolutePath(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // Written beside and renamed, so another program never reads half a thumbnail.
    if (!OutputFile::writeWhole(storedPath, png))
        QFile::setPermissions(storedPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

QImage makeThumbnail(const QString &path)
{
    const RegularFile file(path);
    if (!file.isOpen())
        return {};
    const QFileInfo source(path);
    const QByteArray uri = PhotoImageManager::fileUri(path);
    const QString storedPath = PhotoImageManager::cachedThumbnailPath(path);
    QImage image = readStored(storedPath, uri, source);
    if (image.isNull()) {
        image = shrink(file);
        if (image.isNull())
            return {};
        writeStored(storedPath, image, uri, source);
    }
    if (image.width() > PhotoImageManager::kThumbnailSize ||
        image.height() > PhotoImageManager::kThumbnailSize)
        image = image.scaled(PhotoImageManager::kThumbnailSize, PhotoImageManager::kThumbnailSize,
                             Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

// Memory entries are per version of the file, so an edited photo is not shown stale.
QString memoryKey(const QString &path)
{
    const QFileInfo info(path);
    return info.absoluteFilePath() + QLatin1Char('\n') +
           QString::number(info.lastModified().toMSecsSinceEpoch());
}

} // namespace

PhotoImageManager::PhotoImageManager()
    : m_pool(std::make_unique<QThreadPool>()), m_alive(std::make_shared<std::atomic<bool>>(true))
{
    // Thumbnails must not crowd out the listing and decoding on the worker pool.
    m_pool->setMaxThreadCount(2);
}

PhotoImageManager::~PhotoImageManager()
{
    m_alive->store(false);
    m_pool->clear();
    m_pool->waitForDone();
}

QByteArray PhotoImageManager::fileUri(const QString &path)
{
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded();
}

QString PhotoImageManager::cachedThumbnailPath(const QString &path)
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    const QByteArray name =
        QCryptographicHash::hash(fileUri(path), QCryptographicHash::Md5).toHex();
    return cache + QStringLiteral("/thumbnails/large/") + QString::fromLatin1(name) +
           QStringLiteral(".png");
}

PhotoImageManager::RequestId
PhotoImageManager::requestThumbnail(const QString &path, std::function<void(QImage)> deliver)
{
    const RequestId id = m_nextId++;
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    m_pending.insert(id, {std::move(deliver), cancelled});
    const QString key = memoryKey(path);
    if (const QImage *cached = m_memory.object(key)) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [this, alive = m_alive, id, key, image = *cached] {
                if (alive->load())
                    finish(id, key, image);
            },
            Qt::QueuedConnection);
        return id;
    }
    m_pool->start([this, alive = m_alive, id, key, path, cancelled] {
        // A tile scrolled away before its turn costs nothing.
        if (cancelled->load())
            return;
        const QImage image = makeThumbnail(path);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [this, alive, id, key, image] {
                if (alive->load())
                    finish(id, key, image);
            },
            Qt::QueuedConnection);
    });
    return id;
}

void PhotoImageManager::cancel(RequestId id)
{
    const auto it = m_pending.constFind(id);
    if (it == m_pending.cend())
        return;
    it->cancelled->store(true);
    m_pending.erase(it);
}

void PhotoImageManager::finish(RequestId id, const QString &key, const QImage &image)
{
    if (!image.isNull() && !m_memory.contains(key))
        m_memory.insert(key, new QImage(image));
    const Pending pending = m_pending.take(id);
    if (pending.deliver)
        pending.deliver(image);
}

PhotoImageManager &sharedPhotoImageManager()
{
    // Never deleted: tiles may still cancel requests while the application shuts down.
    static auto *manager = new PhotoImageManager;
    return *manager;
}
