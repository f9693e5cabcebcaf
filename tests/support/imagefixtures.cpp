#include "imagefixtures.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <vips/vips8>

#include <mutex>

namespace ImageFixtures {

void startVips()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (VIPS_INIT("voskan-tests") != 0)
            qFatal("libvips: %s", vips_error_buffer());
    });
}

quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xffffffffu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

namespace {

QByteArray bigEndian(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray chunk(const char *type, const QByteArray &data)
{
    const QByteArray typed = QByteArray(type) + data;
    return bigEndian(quint32(data.size())) + typed + bigEndian(crc32(typed));
}

} // namespace

QByteArray pngWithoutPixels(quint32 width, quint32 height)
{
    QByteArray header;
    header += bigEndian(width);
    header += bigEndian(height);
    header += char(8); // bits per sample
    header += char(2); // colour type: RGB
    header += char(0); // deflate
    header += char(0); // adaptive filtering
    header += char(0); // not interlaced

    return QByteArrayLiteral("\x89PNG\r\n\x1a\n") + chunk("IHDR", header) + chunk("IDAT", {}) +
           chunk("IEND", {});
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        QTest::qFail(qPrintable(QStringLiteral("cannot write %1").arg(path)), __FILE__, __LINE__);
    return path;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        QTest::qFail(qPrintable(QStringLiteral("cannot read %1").arg(path)), __FILE__, __LINE__);
        return {};
    }
    return file.readAll();
}

} // namespace ImageFixtures
