#include "render/imagedecoder.h"
#include "support/imagefixtures.h"
#include "support/testdata.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <vips/vips8>

#include <array>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

using vips::VImage;

// Readable failure messages for QCOMPARE (found by argument-dependent lookup).
char *toString(DecodeError error)
{
    return qstrdup(description(error).toUtf8().constData());
}

namespace {

enum Corner { TopLeft, TopRight, BottomRight, BottomLeft };

// One pixel in the bitmap's own depth: 0–255 or 0–65535.
std::array<int, 4> pixelAt(const Bitmap &bitmap, int x, int y)
{
    std::array<int, 4> px{};
    if (bitmap.isDeep()) {
        const auto *line = reinterpret_cast<const uint16_t *>(bitmap.constScanLine(y));
        for (int c = 0; c < 4; ++c)
            px[c] = line[4 * x + c];
    } else {
        const uint8_t *line = bitmap.constScanLine(y);
        for (int c = 0; c < 4; ++c)
            px[c] = line[4 * x + c];
    }
    return px;
}

bool isOpaque(const Bitmap &bitmap)
{
    const int opaque = bitmap.isDeep() ? 65535 : 255;
    for (int y = 0; y < bitmap.height(); ++y) {
        for (int x = 0; x < bitmap.width(); ++x) {
            if (pixelAt(bitmap, x, y)[3] != opaque)
                return false;
        }
    }
    return true;
}

// Mean absolute difference of the colour channels, in 8-bit steps; -1 if the sizes differ.
double meanDifference(const Bitmap &bitmap, const QImage &reference)
{
    if (bitmap.size() != reference.size())
        return -1;
    const QImage ref = reference.convertToFormat(QImage::Format_RGBA8888);
    const double scale = bitmap.isDeep() ? 1.0 / 257 : 1.0;
    double sum = 0;
    for (int y = 0; y < ref.height(); ++y) {
        const uchar *r = ref.constScanLine(y);
        for (int x = 0; x < ref.width(); ++x) {
            const std::array<int, 4> px = pixelAt(bitmap, x, y);
            for (int c = 0; c < 3; ++c)
                sum += std::abs(px[c] * scale - r[4 * x + c]);
        }
    }
    return sum / (3.0 * ref.width() * ref.height());
}

QPoint cornerPixel(Corner corner, QSize size, int inset)
{
    const int right = size.width() - 1 - inset;
    const int bottom = size.height() - 1 - inset;
    switch (corner) {
    case TopLeft:
        return {inset, inset};
    case TopRight:
        return {right, inset};
    case BottomRight:
        return {right, bottom};
    case BottomLeft:
        return {inset, bottom};
    }
    return {};
}

VImage loadPhoto(const QString &path)
{
    return VImage::new_from_file(QFile::encodeName(path).constData());
}

// A uniform 8 × 6 picture of the given pixel, stored with the given layout.
VImage uniformImage(const std::vector<double> &pixel, VipsBandFormat format,
                    VipsInterpretation interpretation)
{
    const VImage black = VImage::black(8, 6, VImage::option()->set("bands", int(pixel.size())));
    return (black + pixel)
        .cast(format)
        .copy(VImage::option()->set("interpretation", interpretation));
}

} // namespace

class TestImageDecoder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void decodesRealPhotos_data();
    void decodesRealPhotos();
    void refusesBadInput_data();
    void refusesBadInput();
    void readsFileNamesLiterally_data();
    void readsFileNamesLiterally();
    void convertsColourSpaces_data();
    void convertsColourSpaces();
    void appliesExifOrientation_data();
    void appliesExifOrientation();
    void convertsPixelLayouts_data();
    void convertsPixelLayouts();
    void readsEveryPhotoFormat_data();
    void readsEveryPhotoFormat();
    void decodesConcurrently();
    void describesEveryErrorDistinctly();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QString m_cups;
};

void TestImageDecoder::initTestCase()
{
    QVERIFY(m_dir.isValid());
    ImageFixtures::startVips();
    const QStringList photos = TestData::photos();
    QCOMPARE(photos.size(), 4);
    m_cups = TestData::photo(QStringLiteral("photo-colorfulcups-2560x1600.jpg"));
    QVERIFY(QFile::exists(m_cups));
}

void TestImageDecoder::decodesRealPhotos_data()
{
    QTest::addColumn<QString>("file");
    for (const QString &photo : TestData::photos())
        QTest::newRow(qPrintable(QFileInfo(photo).fileName())) << photo;
}

void TestImageDecoder::decodesRealPhotos()
{
    QFETCH(QString, file);
    const DecodeResult result = ImageDecoder::decodeFile(file);
    QVERIFY2(result.isOk(), qPrintable(result.errorString()));
    const Bitmap bitmap = result.bitmap();
    QCOMPARE(bitmap.size(), QSize(2560, 1600));
    QCOMPARE(bitmap.format(), PixelFormat::Rgba8);
    QVERIFY(isOpaque(bitmap));

    // Qt's own JPEG reader as an independent witness; IDCT and upsampling differ slightly.
    const QImage reference(file);
    QVERIFY(!reference.isNull());
    const double difference = meanDifference(bitmap, reference);
    QVERIFY2(difference >= 0 && difference < 1.0, qPrintable(QString::number(difference)));

    // The network path sees the same bytes and must give the same pixels.
    const DecodeResult fromData = ImageDecoder::decodeData(ImageFixtures::readFile(file));
    QVERIFY2(fromData.isOk(), qPrintable(fromData.errorString()));
    const Bitmap other = fromData.bitmap();
    QCOMPARE(other.size(), bitmap.size());
    QCOMPARE(other.format(), bitmap.format());
    for (int y = 0; y < bitmap.height(); ++y)
        QVERIFY(std::memcmp(other.constScanLine(y), bitmap.constScanLine(y),
                            bitmap.bytesPerLine()) == 0);
}

void TestImageDecoder::refusesBadInput_data()
{
    QTest::addColumn<QString>("file");     // decoded with decodeFile when set
    QTest::addColumn<QByteArray>("bytes"); // decoded with decodeData otherwise
    QTest::addColumn<DecodeError>("expected");

    using namespace ImageFixtures;
    const QByteArray photo = readFile(m_cups);
    const QByteArray half = photo.left(photo.size() / 2);
    const QByteArray html = QByteArrayLiteral(
        "<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head>\n"
        "<body><h1>Not Found</h1><p>The requested URL was not found on this server.</p>"
        "</body></html>\n");
    const QByteArray svg = QByteArrayLiteral(
        "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" "
        "height=\"64\"><rect width=\"64\" height=\"64\" fill=\"red\"/></svg>\n");
    QByteArray jpegThenNoise = photo.left(4);
    for (int i = 0; i < 4096; ++i)
        jpegThenNoise += char((i * 7919) % 251);

    QByteArray png;
    {
        VImage small = loadPhoto(m_cups).resize(0.1);
        void *buffer = nullptr;
        std::size_t size = 0;
        small.write_to_buffer(".png", &buffer, &size);
        png = QByteArray(static_cast<const char *>(buffer), qsizetype(size));
        g_free(buffer);
    }

    const QDir dir(m_dir.path());
    QVERIFY(dir.mkpath(QStringLiteral("folder.jpg")));
    const QString fifo = path(QStringLiteral("pipe.jpg"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    const QString nineBands = path(QStringLiteral("nine-bands.tif"));
    VImage::black(8, 8, VImage::option()->set("bands", 9))
        .cast(VIPS_FORMAT_UCHAR)
        .tiffsave(QFile::encodeName(nineBands).constData());

    QTest::newRow("missing file") << path(QStringLiteral("nowhere.jpg")) << QByteArray()
                                  << DecodeError::FileNotFound;
    QTest::newRow("directory") << path(QStringLiteral("folder.jpg")) << QByteArray()
                               << DecodeError::Unreadable;
    // Opening a pipe for reading would wait for a writer forever.
    QTest::newRow("named pipe") << fifo << QByteArray() << DecodeError::Unreadable;
    QTest::newRow("zero-byte file")
        << writeFile(m_dir, QStringLiteral("empty.jpg"), {}) << QByteArray() << DecodeError::Empty;
    QTest::newRow("zero bytes of data") << QString() << QByteArray() << DecodeError::Empty;
    QTest::newRow("text named .jpg")
        << writeFile(m_dir, QStringLiteral("notes.jpg"), "Einkaufsliste: Milch, Brot\n")
        << QByteArray() << DecodeError::NotAnImage;
    QTest::newRow("HTML error page as data") << QString() << html << DecodeError::NotAnImage;
    QTest::newRow("SVG is not accepted") << writeFile(m_dir, QStringLiteral("drawing.svg"), svg)
                                         << QByteArray() << DecodeError::NotAnImage;
    QTest::newRow("TIFF with nine bands") << nineBands << QByteArray() << DecodeError::NotAnImage;
    QTest::newRow("first half of a JPEG") << writeFile(m_dir, QStringLiteral("half.jpg"), half)
                                          << QByteArray() << DecodeError::Corrupt;
    QTest::newRow("first half of a JPEG as data") << QString() << half << DecodeError::Corrupt;
    QTest::newRow("JPEG marker then noise")
        << writeFile(m_dir, QStringLiteral("noise.jpg"), jpegThenNoise) << QByteArray()
        << DecodeError::Corrupt;
    QTest::newRow("first half of a PNG")
        << writeFile(m_dir, QStringLiteral("half.png"), png.left(png.size() / 2)) << QByteArray()
        << DecodeError::Corrupt;
    QTest::newRow("PNG header of 100000 x 100000")
        << writeFile(m_dir, QStringLiteral("huge.png"), pngWithoutPixels(100000, 100000))
        << QByteArray() << DecodeError::TooLarge;
    QTest::newRow("PNG header of 100000 x 100000 as data")
        << QString() << pngWithoutPixels(100000, 100000) << DecodeError::TooLarge;
    QTest::newRow("PNG header one row over the limit")
        << QString() << pngWithoutPixels(10000, 10001) << DecodeError::TooLarge;
    // 65536 × 65537 wraps to 65536 in 32 bits.
    QTest::newRow("PNG header whose area overflows 32 bits")
        << QString() << pngWithoutPixels(65536, 65537) << DecodeError::TooLarge;
    // Exactly at the limit is allowed; it then fails for want of pixel data.
    QTest::newRow("PNG header at the limit, no pixels")
        << QString() << pngWithoutPixels(10000, 10000) << DecodeError::Corrupt;
}

void TestImageDecoder::refusesBadInput()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    QFETCH(DecodeError, expected);

    const DecodeResult result =
        file.isEmpty() ? ImageDecoder::decodeData(bytes) : ImageDecoder::decodeFile(file);
    QVERIFY(!result.isOk());
    QVERIFY(result.bitmap().isNull());
    QCOMPARE(result.error(), expected);
}

void TestImageDecoder::readsFileNamesLiterally_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("umlauts and spaces") << QStringLiteral("Straße am Fluss ä.jpg");
    QTest::newRow("brackets") << QStringLiteral("Urlaub [2].jpg");
    // vips' file loaders would take the brackets as "load at half size".
    QTest::newRow("ends like vips options") << QStringLiteral("photo.jpg[shrink=2]");
}

void TestImageDecoder::readsFileNamesLiterally()
{
    QFETCH(QString, name);
    const QString copy = path(name);
    QFile::remove(copy);
    QVERIFY(QFile::copy(m_cups, copy));
    const DecodeResult result = ImageDecoder::decodeFile(copy);
    QVERIFY2(result.isOk(), qPrintable(result.errorString()));
    QCOMPARE(result.bitmap().size(), QSize(2560, 1600));
}

void TestImageDecoder::convertsColourSpaces_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<double>("maxDifference");
    // When set, the raw numbers read without colour management must be this much further
    // from the original than the decode: proof that the embedded profile was applied.
    QTest::addColumn<bool>("beatsRawNumbers");

    const VImage original = loadPhoto(m_cups);
    const std::string dir = QFile::encodeName(m_dir.path()).toStdString();

    const std::string cmykWithProfile = dir + "/cmyk-profile.jpg";
    const std::string cmykWithout = dir + "/cmyk-bare.jpg";
    const std::string p3 = dir + "/display-p3.jpg";
    const VImage cmyk = original.icc_transform("cmyk");
    QCOMPARE(cmyk.interpretation(), VIPS_INTERPRETATION_CMYK);
    cmyk.jpegsave(cmykWithProfile.c_str(), VImage::option()->set("Q", 95));
    cmyk.jpegsave(cmykWithout.c_str(), VImage::option()->set("Q", 95)->set("strip", true));
    original.icc_transform("p3").jpegsave(p3.c_str(), VImage::option()->set("Q", 95));

    // The round trip through the press profile alone clips the saturated cups to a mean
    // error near 6; reading C, M, Y, K with any textbook formula instead is off by 16 or more.
    QTest::newRow("CMYK with embedded profile")
        << QString::fromStdString(cmykWithProfile) << 7.0 << false;
    QTest::newRow("CMYK without profile") << QString::fromStdString(cmykWithout) << 7.0 << false;
    QTest::newRow("Display P3 profile") << QString::fromStdString(p3) << 2.0 << true;
}

void TestImageDecoder::convertsColourSpaces()
{
    QFETCH(QString, file);
    QFETCH(double, maxDifference);
    QFETCH(bool, beatsRawNumbers);

    const QImage original(m_cups);
    const DecodeResult result = ImageDecoder::decodeFile(file);
    QVERIFY2(result.isOk(), qPrintable(result.errorString()));
    const Bitmap bitmap = result.bitmap();
    QCOMPARE(bitmap.format(), PixelFormat::Rgba8);
    QVERIFY(isOpaque(bitmap));
    const double difference = meanDifference(bitmap, original);
    QVERIFY2(difference >= 0 && difference < maxDifference,
             qPrintable(QString::number(difference)));

    if (beatsRawNumbers) {
        // Qt reads the stored numbers and keeps the profile aside without applying it.
        const QImage raw(file);
        QVERIFY(!raw.isNull());
        const Bitmap rawBitmap = Bitmap::fromImage(raw);
        const double rawDifference = meanDifference(rawBitmap, original);
        QVERIFY2(
            rawDifference > 2 * difference,
            qPrintable(QStringLiteral("decoded %1, raw %2").arg(difference).arg(rawDifference)));
    }
}

void TestImageDecoder::appliesExifOrientation_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("redCorner");   // where the stored top-left corner is shown
    QTest::addColumn<int>("greenCorner"); // where the stored top-right corner is shown

    // 60 × 40, dark, red block in the stored top-left corner, green in the top-right.
    const VImage background = VImage::black(60, 40, VImage::option()->set("bands", 3)) + 40;
    const VImage red =
        VImage::black(12, 12, VImage::option()->set("bands", 3)) + std::vector<double>{255, 0, 0};
    const VImage green =
        VImage::black(12, 12, VImage::option()->set("bands", 3)) + std::vector<double>{0, 255, 0};
    const VImage marked =
        background.insert(red, 0, 0)
            .insert(green, 48, 0)
            .cast(VIPS_FORMAT_UCHAR)
            .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));

    const std::array<std::array<int, 2>, 8> corners = {{
        {TopLeft, TopRight},
        {TopRight, TopLeft},
        {BottomRight, BottomLeft},
        {BottomLeft, BottomRight},
        {TopLeft, BottomLeft},
        {TopRight, BottomRight},
        {BottomRight, TopRight},
        {BottomLeft, TopLeft},
    }};
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QString file = path(QStringLiteral("orientation-%1.jpg").arg(orientation));
        VImage tagged = marked.copy();
        tagged.set(VIPS_META_ORIENTATION, orientation);
        tagged.jpegsave(QFile::encodeName(file).constData(), VImage::option()->set("Q", 95));
        QTest::addRow("orientation %d", orientation)
            << file << orientation << corners[orientation - 1][0] << corners[orientation - 1][1];
    }
}

void TestImageDecoder::appliesExifOrientation()
{
    QFETCH(QString, file);
    QFETCH(int, orientation);
    QFETCH(int, redCorner);
    QFETCH(int, greenCorner);

    const DecodeResult result = ImageDecoder::decodeFile(file);
    QVERIFY2(result.isOk(), qPrintable(result.errorString()));
    const Bitmap bitmap = result.bitmap();
    QCOMPARE(bitmap.size(), orientation >= 5 ? QSize(40, 60) : QSize(60, 40));

    for (int corner = TopLeft; corner <= BottomLeft; ++corner) {
        const QPoint at = cornerPixel(Corner(corner), bitmap.size(), 4);
        const std::array<int, 4> px = pixelAt(bitmap, at.x(), at.y());
        const bool isRed = px[0] > 200 && px[1] < 60 && px[2] < 60;
        const bool isGreen = px[1] > 200 && px[0] < 60 && px[2] < 60;
        const bool isDark = px[0] < 70 && px[1] < 70 && px[2] < 70;
        const bool ok = corner == redCorner ? isRed : corner == greenCorner ? isGreen : isDark;
        QVERIFY2(ok, qPrintable(QStringLiteral("corner %1 is (%2, %3, %4)")
                                    .arg(corner)
                                    .arg(px[0])
                                    .arg(px[1])
                                    .arg(px[2])));
    }
}

void TestImageDecoder::convertsPixelLayouts_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<PixelFormat>("format");
    QTest::addColumn<QList<int>>("expected"); // RGBA in the output depth
    QTest::addColumn<int>("tolerance");

    struct Layout
    {
        const char *name;
        std::vector<double> pixel;
        VipsBandFormat bandFormat;
        VipsInterpretation interpretation;
        const char *suffix;
        PixelFormat format;
        QList<int> expected;
        int tolerance;
    };
    const std::vector<Layout> layouts = {
        {"grey, 8 bits",
         {77},
         VIPS_FORMAT_UCHAR,
         VIPS_INTERPRETATION_B_W,
         "png",
         PixelFormat::Rgba8,
         {77, 77, 77, 255},
         0},
        {"grey and alpha, 8 bits",
         {200, 128},
         VIPS_FORMAT_UCHAR,
         VIPS_INTERPRETATION_B_W,
         "png",
         PixelFormat::Rgba8,
         {100, 100, 100, 255},
         1},
        {"RGBA, 8 bits, one fifth opaque",
         {10, 200, 250, 51},
         VIPS_FORMAT_UCHAR,
         VIPS_INTERPRETATION_sRGB,
         "png",
         PixelFormat::Rgba8,
         {2, 40, 50, 255},
         1},
        {"RGBA, 8 bits, transparent",
         {10, 200, 250, 0},
         VIPS_FORMAT_UCHAR,
         VIPS_INTERPRETATION_sRGB,
         "png",
         PixelFormat::Rgba8,
         {0, 0, 0, 255},
         0},
        {"RGB, 16 bits",
         {0x1234, 0xabcd, 0xffff},
         VIPS_FORMAT_USHORT,
         VIPS_INTERPRETATION_RGB16,
         "png",
         PixelFormat::Rgba16,
         {0x1234, 0xabcd, 0xffff, 0xffff},
         0},
        {"grey, 16 bits",
         {0x4321},
         VIPS_FORMAT_USHORT,
         VIPS_INTERPRETATION_GREY16,
         "png",
         PixelFormat::Rgba16,
         {0x4321, 0x4321, 0x4321, 0xffff},
         0},
        {"RGBA, 16 bits, half opaque",
         {60000, 30000, 0, 32768},
         VIPS_FORMAT_USHORT,
         VIPS_INTERPRETATION_RGB16,
         "png",
         PixelFormat::Rgba16,
         {30000, 15000, 0, 0xffff},
         2},
        {"RGB, 16 bits, TIFF",
         {0x0102, 0x8000, 0xfedc},
         VIPS_FORMAT_USHORT,
         VIPS_INTERPRETATION_RGB16,
         "tif",
         PixelFormat::Rgba16,
         {0x0102, 0x8000, 0xfedc, 0xffff},
         0},
        // Linear light 0.5 is sRGB 0.7354.
        {"linear float RGB, TIFF",
         {0.5, 0.5, 0.5},
         VIPS_FORMAT_FLOAT,
         VIPS_INTERPRETATION_scRGB,
         "tif",
         PixelFormat::Rgba16,
         {48195, 48195, 48195, 0xffff},
         64},
    };

    for (const Layout &layout : layouts) {
        const QString file = path(
            QStringLiteral("layout-%1.%2")
                .arg(QString::fromLatin1(layout.name).replace(QLatin1Char(' '), QLatin1Char('-')))
                .arg(QLatin1String(layout.suffix)));
        const VImage image = uniformImage(layout.pixel, layout.bandFormat, layout.interpretation);
        const bool deep = layout.bandFormat == VIPS_FORMAT_USHORT;
        if (QLatin1String(layout.suffix) == QLatin1String("png")) {
            image.pngsave(QFile::encodeName(file).constData(),
                          VImage::option()->set("bitdepth", deep ? 16 : 8));
        } else {
            image.tiffsave(QFile::encodeName(file).constData());
        }
        QTest::newRow(layout.name) << file << layout.format << layout.expected << layout.tolerance;
    }
}

void TestImageDecoder::convertsPixelLayouts()
{
    QFETCH(QString, file);
    QFETCH(PixelFormat, format);
    QFETCH(QList<int>, expected);
    QFETCH(int, tolerance);

    const DecodeResult result = ImageDecoder::decodeFile(file);
    QVERIFY2(result.isOk(), qPrintable(result.errorString()));
    const Bitmap bitmap = result.bitmap();
    QCOMPARE(bitmap.size(), QSize(8, 6));
    QCOMPARE(bitmap.format(), format);
    for (int y = 0; y < bitmap.height(); ++y) {
        for (int x = 0; x < bitmap.width(); ++x) {
            const std::array<int, 4> px = pixelAt(bitmap, x, y);
            for (int c = 0; c < 4; ++c) {
                QVERIFY2(std::abs(px[c] - expected[c]) <= tolerance,
                         qPrintable(QStringLiteral("channel %1 at (%2, %3) is %4, expected %5")
                                        .arg(c)
                                        .arg(x)
                                        .arg(y)
                                        .arg(px[c])
                                        .arg(expected[c])));
            }
        }
    }
}

void TestImageDecoder::readsEveryPhotoFormat_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<int>("quality"); // 0: lossless, or no such setting
    QTest::addColumn<double>("maxDifference");

    QTest::newRow("PNG") << QStringLiteral("png") << 0 << 0.01;
    QTest::newRow("TIFF") << QStringLiteral("tif") << 0 << 0.01;
    QTest::newRow("WebP") << QStringLiteral("webp") << 90 << 3.0;
    // 256 colours, dithered.
    QTest::newRow("GIF") << QStringLiteral("gif") << 0 << 8.0;
    QTest::newRow("HEIC") << QStringLiteral("heic") << 90 << 4.0;
    QTest::newRow("AVIF") << QStringLiteral("avif") << 90 << 4.0;
}

void TestImageDecoder::readsEveryPhotoFormat()
{
    QFETCH(QString, suffix);
    QFETCH(int, quality);
    QFETCH(double, maxDifference);

    // A quarter-size photo, kept losslessly as the reference for Qt's PNG reader.
    const VImage small = loadPhoto(m_cups).resize(0.25);
    const QString reference = path(QStringLiteral("format-reference.png"));
    small.pngsave(QFile::encodeName(reference).constData());
    const QString file = path(QStringLiteral("format.") + suffix);
    try {
        small.write_to_file(QFile::encodeName(file).constData(),
                            quality > 0 ? VImage::option()->set("Q", quality) : nullptr);
    } catch (const vips::VError &error) {
        vips_error_clear();
        QSKIP(qPrintable(QStringLiteral("libvips cannot write %1 here: %2")
                             .arg(suffix, QString::fromUtf8(error.what()))));
    }

    const DecodeResult result = ImageDecoder::decodeFile(file);
    QVERIFY2(result.isOk(), qPrintable(result.errorString()));
    const Bitmap bitmap = result.bitmap();
    QCOMPARE(bitmap.size(), QSize(640, 400));
    QCOMPARE(bitmap.format(), PixelFormat::Rgba8);
    QVERIFY(isOpaque(bitmap));
    const double difference = meanDifference(bitmap, QImage(reference));
    QVERIFY2(difference >= 0 && difference <= maxDifference,
             qPrintable(QString::number(difference)));
}

void TestImageDecoder::decodesConcurrently()
{
    const Bitmap expected = ImageDecoder::decodeFile(m_cups).bitmap();
    QVERIFY(!expected.isNull());
    const QByteArray photo = ImageFixtures::readFile(m_cups);
    const QString broken = ImageFixtures::writeFile(m_dir, QStringLiteral("concurrent-half.jpg"),
                                                    photo.left(photo.size() / 3));

    // Even jobs decode the photo, odd ones the broken copy; several at once on each core.
    constexpr int kJobs = 8;
    std::vector<std::optional<DecodeResult>> results(kJobs);
    std::vector<std::thread> threads;
    for (int job = 0; job < kJobs; ++job) {
        threads.emplace_back([&, job] {
            results[job] =
                job % 2 == 0 ? ImageDecoder::decodeData(photo) : ImageDecoder::decodeFile(broken);
        });
    }
    for (std::thread &thread : threads)
        thread.join();

    for (int job = 0; job < kJobs; ++job) {
        QVERIFY(results[job].has_value());
        if (job % 2 == 1) {
            QVERIFY(!results[job]->isOk());
            QCOMPARE(results[job]->error(), DecodeError::Corrupt);
            continue;
        }
        QVERIFY2(results[job]->isOk(), qPrintable(results[job]->errorString()));
        const Bitmap bitmap = results[job]->bitmap();
        QCOMPARE(bitmap.size(), expected.size());
        for (int y = 0; y < bitmap.height(); ++y)
            QVERIFY(std::memcmp(bitmap.constScanLine(y), expected.constScanLine(y),
                                bitmap.bytesPerLine()) == 0);
    }
}

void TestImageDecoder::describesEveryErrorDistinctly()
{
    const QList<DecodeError> errors = {
        DecodeError::FileNotFound, DecodeError::Unreadable,  DecodeError::Empty,
        DecodeError::NotAnImage,   DecodeError::Corrupt,     DecodeError::TooLarge,
        DecodeError::OutOfMemory,  DecodeError::Unavailable,
    };
    QSet<QString> texts;
    for (DecodeError error : errors) {
        const QString text = description(error);
        QVERIFY(text.endsWith(QLatin1Char('.')));
        texts.insert(text);
    }
    QCOMPARE(texts.size(), errors.size());
}

QTEST_GUILESS_MAIN(TestImageDecoder)
#include "tst_imagedecoder.moc"
