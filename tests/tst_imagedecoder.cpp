// Decoding with libvips: what it refuses, large photos, colour spaces, EXIF orientation.

#include "render/imagedecoder.h"
#include "support/reference.h"
#include "support/rows.h"
#include "support/scratch.h"
#include "support/testdata.h"

#include <QtTest>

#include <sys/stat.h>

#include <vips/vips8>

using vips::VImage;

namespace {

QByteArray bigEndian(quint32 value)
{
    return QByteArray::fromHex(QByteArray::number(value, 16).rightJustified(8, '0'));
}

QByteArray pngChunk(const char *type, const QByteArray &data)
{
    const QByteArray typed = type + data;
    quint32 crc = 0xffffffffu; // CRC-32 as PNG uses it
    for (const char byte : typed) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return bigEndian(data.size()) + typed + bigEndian(~crc);
}

// A well-formed PNG whose header promises width × height RGB pixels and holds none.
QByteArray pngWithoutPixels(quint32 width, quint32 height)
{
    const QByteArray header = bigEndian(width) + bigEndian(height) + QByteArray("\x08\2\0\0\0", 5);
    return "\x89PNG\r\n\x1a\n" + pngChunk("IHDR", header) + pngChunk("IDAT", {}) +
           pngChunk("IEND", {});
}

// Mean absolute difference of the colour channels in 8-bit steps; 999 unless all is opaque.
double meanDifference(const Bitmap &bitmap, const QImage &reference)
{
    const QImage ref = reference.convertToFormat(QImage::Format_RGBA8888);
    double sum = 0;
    for (int y = 0; y < ref.height() && bitmap.size() == ref.size(); ++y)
        for (int x = 0; x < ref.width() * 4; ++x) {
            const double d = std::abs(Reference::channel(bitmap, x / 4, y, x % 4) * 255 -
                                      ref.constScanLine(y)[x]);
            if (x % 4 == 3 && d != 0)
                return 999;
            sum += d;
        }
    return bitmap.size() == ref.size() ? sum / (3.0 * ref.width() * ref.height()) : 999;
}

} // namespace

class TestImageDecoder : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    const QString m_cups = TestData::photo("photo-colorfulcups-2560x1600.jpg");
    QString path(const QString &name) const { return m_dir.filePath(name); }
    const char *file(const QString &name) const
    {
        static QByteArray encoded;
        encoded = QFile::encodeName(path(name));
        return encoded.constData();
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid() && ImageDecoder::startVips()); }

    // Photos over 100 MP, as cameras and phones make them, load shrunk to at most that.
    void shrinksLargePhotos_data()
    {
        addColumns<QString, int>({"file", "width"});
        const VImage grey = (VImage::black(12000, 9000) + 90).cast(VIPS_FORMAT_UCHAR);
        grey.jpegsave(file("108mp.jpg"));
        grey.pngsave(file("108mp.png"), VImage::option()->set("compression", 1));
        QTest::newRow("JPEG, in the decoder") << path("108mp.jpg") << 6000;
        QTest::newRow("PNG, as it streams") << path("108mp.png") << 11547;
    }

    void shrinksLargePhotos()
    {
        FETCH((QString, file), (int, width));
        const Bitmap bitmap = ImageDecoder::decodeFile(file).bitmap();
        const int w = bitmap.width(), h = bitmap.height();
        QCOMPARE(w, width);
        QVERIFY(qint64(w) * h <= ImageDecoder::kMaxPixels);
        QVERIFY(qAbs(w * 3 - h * 4) <= 4);
        QCOMPARE(qRound(Reference::channel(bitmap, w / 2, h / 2, 1) * 255), 90);
    }

    void decodes_data()
    {
        // file, else bytes as data: refused with message, or near reference (mean 8-bit steps)
        addColumns<QString, QByteArray, QString, QString, double>(
            {"file", "bytes", "message", "reference", "tolerance"});
        const QByteArray half = contents(m_cups).left(200000);
        const QString corrupt = "Das Bild ist beschädigt oder unvollständig.";
        const QString tooLarge = "Das Bild hat zu viele Pixel, um es zu laden.";
        const QString notAnImage = "Die Datei ist kein unterstütztes Bild.";
        QVERIFY(QFile::copy(m_cups, path("Straße [2].jpg[shrink=2]")));
        QByteArray stray = contents(m_cups);
        stray.insert(stray.lastIndexOf("\xff\xda"), 2, '\0');
        const VImage cups = VImage::new_from_file(QFile::encodeName(m_cups).constData());
        const VImage cmyk = cups.icc_transform("cmyk");
        cmyk.jpegsave(file("cmyk.jpg"), VImage::option()->set("Q", 95));
        cmyk.jpegsave(file("cmyk-bare.jpg"), VImage::option()->set("Q", 95)->set("strip", true));
        cups.icc_transform("p3").jpegsave(file("p3.jpg"), VImage::option()->set("Q", 95));
        const VImage small = cups.resize(0.25);
        small.pngsave(file("small.png"));
        (small.cast(VIPS_FORMAT_USHORT) * 257)
            .cast(VIPS_FORMAT_USHORT)
            .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_RGB16))
            .pngsave(file("small16.png"));
        const QStringList formats{"webp", "gif", "heic", "avif", "tif"};
        for (const QString &suffix : formats)
            small.write_to_file(file("small." + suffix));
        // A dark picture with a red block in the stored top-left corner, a green one top-right.
        const VImage block = VImage::black(12, 12, VImage::option()->set("bands", 3));
        const VImage marked =
            (VImage::black(60, 40, VImage::option()->set("bands", 3)) + 40)
                .insert(block + std::vector<double>{255, 0, 0}, 0, 0)
                .insert(block + std::vector<double>{0, 255, 0}, 48, 0)
                .cast(VIPS_FORMAT_UCHAR)
                .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
        for (int orientation = 1; orientation <= 8; ++orientation) {
            const QString name = QStringLiteral("orientation-%1").arg(orientation);
            VImage tagged = marked.copy();
            tagged.set(VIPS_META_ORIENTATION, orientation);
            tagged.jpegsave(file(name + ".jpg"));
            const VImage turned = VImage::new_from_file(file(name + ".jpg")).autorot();
            turned.pngsave(file(name + ".png"));
        }
        // clang-format off
        QTest::newRow("missing") << path("nirgends.jpg") << QByteArray() << "Die Datei wurde nicht gefunden." << QString() << 0.0;
        // Opening a FIFO to read waits for a writer forever; a device reads without end.
        for (const char *kind : {"FIFO", "socket", "folder", "device"})
            QTest::newRow(kind) << nonRegularFile(kind, m_dir.path(), kind) << QByteArray() << "Die Datei lässt sich nicht lesen." << QString() << 0.0;
        QTest::newRow("zero bytes") << writeFile(path("empty.jpg"), {}) << QByteArray() << "Die Datei ist leer." << QString() << 0.0;
        QTest::newRow("text named .jpg") << writeFile(path("notes.jpg"), "Milch, Brot\n") << QByteArray() << notAnImage << QString() << 0.0;
        QTest::newRow("SVG, a document format") << QString() << QByteArray("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"9\" height=\"9\"/>") << notAnImage << QString() << 0.0;
        QTest::newRow("first part of a JPEG") << writeFile(path("half.jpg"), half) << QByteArray() << corrupt << QString() << 0.0;
        QTest::newRow("first part of a JPEG and an end marker, as data") << QString() << half + "\xff\xd9" << corrupt << QString() << 0.0;
        QTest::newRow("PNG cut short in its header") << QString() << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << corrupt << QString() << 0.0;
        QTest::newRow("PNG over the limit, shrunk, without pixels") << QString() << pngWithoutPixels(10000, 10001) << corrupt << QString() << 0.0;
        QTest::newRow("PNG one row over 1000 MP") << QString() << pngWithoutPixels(40000, 25001) << tooLarge << QString() << 0.0;
        QTest::newRow("PNG whose area wraps in 32 bits") << writeFile(path("huge.png"), pngWithoutPixels(65536, 65537)) << QByteArray() << tooLarge << QString() << 0.0;
        QTest::newRow("PNG at the limit, without pixels") << QString() << pngWithoutPixels(10000, 10000) << corrupt << QString() << 0.0;
        // Qt's JPEG reader as an independent witness; IDCT and upsampling differ slightly.
        for (const QString &photo : TestData::photos())
            QTest::newRow(qPrintable(QFileInfo(photo).fileName())) << photo << QByteArray() << QString() << photo << 1.0;
        // libvips' own loaders would read the brackets as "load at half size".
        QTest::newRow("named like libvips options") << path("Straße [2].jpg[shrink=2]") << QByteArray() << QString() << m_cups << 1.0;
        // libjpeg warns of the stray bytes; cameras write such files, and they are whole.
        QTest::newRow("stray bytes before a marker") << writeFile(path("stray.jpg"), stray) << QByteArray() << QString() << m_cups << 1.0;
        // The press profile alone clips the cups by 6 steps; a textbook formula by 16 or more.
        QTest::newRow("CMYK with profile") << path("cmyk.jpg") << QByteArray() << QString() << m_cups << 7.0;
        QTest::newRow("CMYK without profile") << path("cmyk-bare.jpg") << QByteArray() << QString() << m_cups << 7.0;
        // Read without its profile (as Qt does), this file is nearly 4 steps off.
        QTest::newRow("Display P3") << path("p3.jpg") << QByteArray() << QString() << m_cups << 2.0;
        QTest::newRow("16-bit PNG") << path("small16.png") << QByteArray() << QString() << path("small.png") << 0.01;
        // Every photo format the launcher offers, against a lossless copy.
        for (const QString &suffix : formats)
            QTest::newRow(qPrintable(suffix)) << path("small." + suffix) << QByteArray() << QString() << path("small.png") << (suffix == "gif" ? 8.0 : 4.0);
        // Each EXIF orientation against libvips' own turn of the same pixels.
        for (int orientation = 1; orientation <= 8; ++orientation)
            QTest::addRow("orientation %d", orientation) << path(QStringLiteral("orientation-%1.jpg").arg(orientation)) << QByteArray() << QString() << path(QStringLiteral("orientation-%1.png").arg(orientation)) << 1.0;
        // clang-format on
    }

    void decodes()
    {
        FETCH((QString, file, message, reference), (QByteArray, bytes), (double, tolerance));
        const DecodeResult result =
            file.isEmpty() ? ImageDecoder::decodeData(bytes) : ImageDecoder::decodeFile(file);
        QCOMPARE(result.errorString(), message);
        QCOMPARE(result.bitmap().isNull(), !message.isEmpty());
        if (!message.isEmpty())
            return;
        QCOMPARE(result.bitmap().isDeep(), file.endsWith("16.png"));
        const double difference = meanDifference(result.bitmap(), QImage(reference));
        QVERIFY2(difference < tolerance, qPrintable(QString::number(difference)));
        // The network path sees the same bytes and must give the same pixels.
        QVERIFY(ImageDecoder::decodeData(contents(file)).bitmap().toImage() ==
                result.bitmap().toImage());
    }
};

QTEST_GUILESS_MAIN(TestImageDecoder)
#include "tst_imagedecoder.moc"
