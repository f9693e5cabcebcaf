#include "sources/photolibrary.h"
#include "sources/photothumbnails.h"
#include "support/testdata.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <optional>

namespace {

// Calls `start` with a completion handler and waits for it. The library promises to answer
// later and on the main thread, so every call made through here checks both.
template <typename T, typename Start> std::optional<T> await(Start start)
{
    std::optional<T> result;
    bool onMainThread = false;
    start([&](T value) {
        onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        result = std::move(value);
    });
    if (result) {
        qWarning("answered inside the call");
        return std::nullopt;
    }
    if (!QTest::qWaitFor([&] { return result.has_value(); }, 20000)) {
        qWarning("no answer");
        return std::nullopt;
    }
    if (!onMainThread) {
        qWarning("answered on a worker thread");
        return std::nullopt;
    }
    return result;
}

QList<PhotoAlbum> albumsOf(PhotoLibrary &library)
{
    return await<QList<PhotoAlbum>>([&](auto done) { library.loadAlbums(done); })
        .value_or(QList<PhotoAlbum>{{QStringLiteral("failed"), {}, -1}});
}

std::optional<QList<PhotoAsset>> assetsOf(PhotoLibrary &library, const QString &albumId)
{
    return await<QList<PhotoAsset>>([&](auto done) { library.loadAssets(albumId, done); });
}

std::optional<std::optional<Bitmap>> imageOf(PhotoLibrary &library, const QString &assetId)
{
    return await<std::optional<Bitmap>>([&](auto done) { library.loadImage(assetId, done); });
}

bool writeJpeg(const QString &path, QColor color = Qt::darkCyan)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(color);
    return image.save(path, "JPG");
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool setModified(const QString &path, const QDateTime &time)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) &&
           file.setFileTime(time, QFileDevice::FileModificationTime);
}

// Builds a tree: "x/" is an empty folder, "*.txt" a text file, anything else a JPEG.
void buildTree(const QString &root, const QStringList &entries)
{
    for (const QString &entry : entries) {
        const QString path = QDir(root).filePath(entry);
        if (entry.endsWith(QLatin1Char('/')))
            QVERIFY(QDir().mkpath(path));
        else if (entry.endsWith(QLatin1String(".txt")))
            QVERIFY(writeBytes(path, "keine Bilddaten\n"));
        else
            QVERIFY(writeJpeg(path));
    }
}

QStringList describe(const QList<PhotoAlbum> &albums)
{
    QStringList out;
    for (const PhotoAlbum &album : albums)
        out << QStringLiteral("%1:%2").arg(album.title).arg(album.count);
    return out;
}

std::optional<QImage> thumbnailOf(PhotoImageManager &manager, const QString &path)
{
    return await<QImage>([&](auto done) { manager.requestThumbnail(path, done); });
}

bool writeJpegSized(const QString &path, QSize size, QColor color)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image.save(path, "JPG", 95);
}

// Which of red, green and blue the middle of a solid-coloured thumbnail shows; 'x' when
// no thumbnail came.
char colourOf(PhotoImageManager &manager, const QString &path)
{
    const std::optional<QImage> thumbnail = thumbnailOf(manager, path);
    if (!thumbnail || thumbnail->isNull())
        return 'x';
    const QImage &image = *thumbnail;
    const QColor c = image.pixelColor(image.width() / 2, image.height() / 2);
    if (c.red() > 200 && c.green() < 60 && c.blue() < 60)
        return 'r';
    if (c.green() > 100 && c.red() < 60 && c.blue() < 60)
        return 'g';
    if (c.blue() > 200 && c.red() < 60 && c.green() < 60)
        return 'b';
    return '?';
}

} // namespace

class TestPhotoLibrary : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_settings;
    QTemporaryDir m_cache;

    // A library over a fresh folder, with access granted.
    struct Fixture
    {
        QTemporaryDir dir;
        PhotoLibrary library{dir.path()};
        Fixture() { library.setAccess(true); }
        QString path(const QString &relative) const { return dir.filePath(relative); }
    };

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
        // Album order follows the user's language; the test machine's may be "C".
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        // The freedesktop thumbnail cache goes to a scratch folder too.
        QVERIFY(m_cache.isValid());
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_cache.path()));
    }

    void albums_data()
    {
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("file-browser order")
            << QStringList{"Urlaub 10/a.jpg", "Urlaub 9/a.jpg", "urlaub 2/b.jpg",
                           "Berge/x.jpg",     "Berge/y.jpg",    "Ägypten/z.jpg"}
            << QStringList{"Alle Fotos:6", "Ägypten:1",  "Berge:2",
                           "urlaub 2:1",   "Urlaub 9:1", "Urlaub 10:1"};
        QTest::newRow("hidden, empty and picture-less folders left out")
            << QStringList{".versteckt/a.jpg", "Leer/", "Notizen/notiz.txt", "Sichtbar/a.jpg",
                           ".hidden.jpg"}
            << QStringList{"Alle Fotos:1", "Sichtbar:1"};
        QTest::newRow("albums count their own pictures, the whole library all")
            << QStringList{"Reise/a.jpg", "Reise/Tag 1/b.jpg", "Nur Unterordner/Tag/c.jpg",
                           "lose.jpg"}
            << QStringList{"Alle Fotos:4", "Reise:1"};
        QTest::newRow("only loose pictures")
            << QStringList{"a.jpg", "b.jpg"} << QStringList{"Alle Fotos:2"};
        QTest::newRow("empty library") << QStringList{} << QStringList{"Alle Fotos:0"};
    }

    void albums()
    {
        QFETCH(QStringList, tree);
        QFETCH(QStringList, expected);
        Fixture f;
        buildTree(f.dir.path(), tree);
        const QList<PhotoAlbum> albums = albumsOf(f.library);
        QCOMPARE(describe(albums), expected);
        QCOMPARE(albums.first().id, PhotoLibrary::kAllPhotosId);
    }

    void equalTitlesKeepOneOrder()
    {
        Fixture f;
        buildTree(f.dir.path(), {"Fotos/a.jpg", "fotos/a.jpg", "FOTOS/a.jpg"});
        const QList<PhotoAlbum> first = albumsOf(f.library);
        QCOMPARE(first.size(), 4);
        PhotoLibrary again(f.dir.path());
        QCOMPARE(albumsOf(again), first);
    }

    void contentDecidesWhatIsAPicture_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes"); // empty: a real JPEG
        QTest::addColumn<bool>("listed");
        QByteArray png;
        {
            QImage image(2, 2, QImage::Format_RGB32);
            image.fill(Qt::red);
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
        }
        const QByteArray mp4 = QByteArray("\0\0\0\x18"
                                          "ftypisom\0\0\x02\0isommp41",
                                          24) +
                               QByteArray(200, 'x');
        const QByteArray mov = QByteArray("\0\0\0\x14"
                                          "ftypqt  \0\0\x02\0qt  ",
                                          20) +
                               QByteArray(200, 'x');
        const QByteArray heic = QByteArray("\0\0\0\x18"
                                           "ftypheic\0\0\0\0mif1heic",
                                           24) +
                                QByteArray(200, 'x');
        QTest::newRow("jpeg") << "bild.jpg" << QByteArray() << true;
        QTest::newRow("jpeg without extension") << "bild" << QByteArray() << true;
        QTest::newRow("png named .jpg") << "bild.jpg" << png << true;
        QTest::newRow("heic brand") << "bild.heic" << heic << true;
        QTest::newRow("text named .jpg") << "notiz.jpg" << QByteArray("hallo\n") << false;
        QTest::newRow("zero bytes") << "leer.jpg" << QByteArray() << false;
        QTest::newRow("mp4 video") << "film.mp4" << mp4 << false;
        QTest::newRow("quicktime video named .heic") << "film.heic" << mov << false;
    }

    void contentDecidesWhatIsAPicture()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, listed);
        Fixture f;
        QVERIFY(writeJpeg(f.path("Album/referenz.jpg")));
        const QString path = f.path(QStringLiteral("Album/") + name);
        if (QTest::currentDataTag() == QLatin1String("zero bytes"))
            QVERIFY(writeBytes(path, {}));
        else if (bytes.isEmpty())
            QVERIFY(writeJpeg(path));
        else
            QVERIFY(writeBytes(path, bytes));

        const QList<PhotoAlbum> albums = albumsOf(f.library);
        QCOMPARE(albums.size(), 2);
        QCOMPARE(albums.at(1).count, listed ? 2 : 1);
        QCOMPARE(albums.at(0).count, listed ? 2 : 1);
        for (const PhotoAlbum &album : albums) {
            const auto assets = assetsOf(f.library, album.id);
            QVERIFY(assets);
            QStringList paths;
            for (const PhotoAsset &asset : *assets)
                paths << asset.path;
            QCOMPARE(paths.contains(path), listed);
            QVERIFY(paths.contains(f.path("Album/referenz.jpg")));
        }
    }

    void newestFirstAtMost200()
    {
        Fixture f;
        const QDateTime base(QDate(2024, 3, 1), QTime(8, 0));
        for (int i = 0; i < 205; ++i) {
            const QString path = f.path(QStringLiteral("Album/%1.jpg").arg(i, 3, 10, QChar('0')));
            QVERIFY(writeJpeg(path));
            // File names and modification order disagree, so a sort by name would show.
            QVERIFY(setModified(path, base.addSecs(((i * 37) % 205) * 60)));
        }
        // The newest file of all, but taken in 2015 by its EXIF date.
        const QString camera = f.path("Album/kamera.jpg");
        QVERIFY(QFile::copy(TestData::photo("photo-bythewater-2560x1600.jpg"), camera));
        QVERIFY(setModified(camera, base.addYears(1)));

        const QList<PhotoAlbum> albums = albumsOf(f.library);
        QCOMPARE(albums.size(), 2);
        QCOMPARE(albums.at(1).count, 206);
        for (const PhotoAlbum &album : albums) {
            const auto assets = assetsOf(f.library, album.id);
            QVERIFY(assets);
            QCOMPARE(assets->size(), PhotoLibrary::kMaxAssets);
            QCOMPARE(assets->first().taken, base.addSecs(204 * 60));
            for (qsizetype i = 1; i + 1 < assets->size(); ++i)
                QVERIFY2(assets->at(i - 1).taken > assets->at(i).taken,
                         qPrintable(QString::number(i)));
            QCOMPARE(assets->last().path, camera);
            QCOMPARE(assets->last().taken, QDateTime(QDate(2015, 4, 29), QTime(14, 33, 31)));
            // The 199 newest files besides the camera picture: modification minutes 6 … 204.
            QCOMPARE(assets->at(198).taken, base.addSecs(6 * 60));
        }
    }

    void identifiersAreStable()
    {
        Fixture f;
        buildTree(f.dir.path(), {"Urlaub/a.jpg", "Urlaub/b.jpg", "c.jpg", "Urlaub/Tag/d.jpg"});
        const QList<PhotoAlbum> albums = albumsOf(f.library);
        const auto assets = assetsOf(f.library, PhotoLibrary::kAllPhotosId);
        QVERIFY(assets);
        QCOMPARE(assets->size(), 4);

        PhotoLibrary other(f.dir.path());
        QCOMPARE(albumsOf(other), albums);
        const auto again = assetsOf(other, PhotoLibrary::kAllPhotosId);
        QVERIFY(again);
        QSet<QString> ids;
        for (const PhotoAsset &asset : *assets) {
            QVERIFY(!asset.id.contains(QLatin1Char('/')));
            ids.insert(asset.id);
        }
        for (const PhotoAlbum &album : albums)
            QVERIFY(!album.id.contains(QLatin1Char('/')));
        QCOMPARE(ids.size(), 4);
        QCOMPARE(QSet<QString>(ids), [&] {
            QSet<QString> s;
            for (const PhotoAsset &asset : *again)
                s.insert(asset.id);
            return s;
        }());
        QVERIFY(!ids.contains(albums.at(1).id));

        // A library that never listed the picture still finds it by id.
        PhotoLibrary fresh(f.dir.path());
        const auto image = imageOf(fresh, assets->first().id);
        QVERIFY(image);
        QVERIFY(image->has_value());
        QCOMPARE((*image)->width(), 4);
    }

    void access_data()
    {
        QTest::addColumn<int>("answer"); // -1: no prompt set
        QTest::addColumn<int>("expectedStatus");
        QTest::newRow("allowed") << 1 << int(PhotosAuthStatus::Authorized);
        QTest::newRow("refused") << 0 << int(PhotosAuthStatus::Denied);
        QTest::newRow("nobody to ask") << -1 << int(PhotosAuthStatus::NotDetermined);
    }

    void access()
    {
        QFETCH(int, answer);
        QFETCH(int, expectedStatus);
        const auto expected = PhotosAuthStatus(expectedStatus);
        QTemporaryDir dir;
        QVERIFY(writeJpeg(dir.filePath("Album/a.jpg")));
        QSettings settings(QStringLiteral("Voskan"), QStringLiteral("Voskan"));
        settings.setValue(QStringLiteral("unsplashAccessKey"), QStringLiteral("schluessel"));
        settings.setValue(QStringLiteral("recentLocalFiles"), QStringList{"/tmp/x.jpg"});
        settings.sync();

        PhotoLibrary library(dir.path());
        QCOMPARE(library.authorizationStatus(), PhotosAuthStatus::NotDetermined);
        QStringList questions;
        if (answer >= 0) {
            library.setPrompt([&](const QString &question) {
                questions << question;
                return answer == 1;
            });
        }
        const auto status =
            await<PhotosAuthStatus>([&](auto done) { library.requestAuthorization(done); });
        QCOMPARE(status, std::optional(expected));
        QCOMPARE(questions.size(), answer >= 0 ? 1 : 0);
        if (answer >= 0)
            QCOMPARE(questions.first(),
                     QStringLiteral("Voskan möchte auf deine Fotos im Ordner „%1“ zugreifen.")
                         .arg(QDir(dir.path()).absolutePath()));
        QCOMPARE(library.authorizationStatus(), expected);

        // The answer outlives the instance and is not asked for again.
        PhotoLibrary later(dir.path());
        later.setPrompt([&](const QString &question) {
            questions << question;
            return true;
        });
        QCOMPARE(later.authorizationStatus(), expected);
        if (answer >= 0) {
            QCOMPARE(await<PhotosAuthStatus>([&](auto done) { later.requestAuthorization(done); }),
                     std::optional(expected));
            QCOMPARE(questions.size(), 1);
        }
        QCOMPARE(albumsOf(later).size(), expected == PhotosAuthStatus::Authorized ? 2 : 0);

        settings.sync();
        QCOMPARE(settings.value(QStringLiteral("unsplashAccessKey")).toString(),
                 QStringLiteral("schluessel"));
        QCOMPARE(settings.value(QStringLiteral("recentLocalFiles")).toStringList(),
                 QStringList{"/tmp/x.jpg"});
        const QString stored = settings.value(QStringLiteral("PhotoLibrary/access")).toString();
        QCOMPARE(stored, answer < 0 ? QString() : answer == 1 ? "allowed" : "denied");
        settings.remove(QStringLiteral("PhotoLibrary"));
    }

    void settingsSwitchOverridesTheAnswer()
    {
        Fixture f;
        QVERIFY(writeJpeg(f.path("a.jpg")));
        QCOMPARE(f.library.authorizationStatus(), PhotosAuthStatus::Authorized);
        f.library.setAccess(false);
        QCOMPARE(f.library.authorizationStatus(), PhotosAuthStatus::Denied);
        QVERIFY(albumsOf(f.library).isEmpty());
        const auto assets = assetsOf(f.library, PhotoLibrary::kAllPhotosId);
        QVERIFY(assets);
        QVERIFY(assets->isEmpty());
        // Another folder is a new question.
        QTemporaryDir elsewhere;
        QCOMPARE(PhotoLibrary(elsewhere.path()).authorizationStatus(),
                 PhotosAuthStatus::NotDetermined);
    }

    void restrictedRoot_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << "missing";
        QTest::newRow("a file") << "file";
        QTest::newRow("no root at all") << "empty";
    }

    void restrictedRoot()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QString root = dir.filePath("Bilder");
        if (kind == QLatin1String("file"))
            QVERIFY(writeJpeg(root));
        else if (kind == QLatin1String("empty"))
            root.clear();
        PhotoLibrary library(root);
        library.setAccess(true);
        bool asked = false;
        library.setPrompt([&](const QString &) { return asked = true; });
        QCOMPARE(library.authorizationStatus(), PhotosAuthStatus::Restricted);
        QCOMPARE(await<PhotosAuthStatus>([&](auto done) { library.requestAuthorization(done); }),
                 std::optional(PhotosAuthStatus::Restricted));
        QVERIFY(!asked);
        QVERIFY(albumsOf(library).isEmpty());
        const auto assets = assetsOf(library, PhotoLibrary::kAllPhotosId);
        QVERIFY(assets);
        QVERIFY(assets->isEmpty());
    }

    void loadImage_data()
    {
        QTest::addColumn<QString>("change"); // what happens between listing and loading
        QTest::addColumn<bool>("decodes");
        QTest::newRow("unchanged") << "none" << true;
        QTest::newRow("deleted") << "delete" << false;
        QTest::newRow("overwritten with text") << "text" << false;
        QTest::newRow("unknown id") << "unknown" << false;
    }

    void loadImage()
    {
        QFETCH(QString, change);
        QFETCH(bool, decodes);
        Fixture f;
        const QString path = f.path("Album/foto.jpg");
        QDir().mkpath(f.path("Album"));
        QVERIFY(QFile::copy(TestData::photo("photo-path-2560x1600.jpg"), path));
        const auto assets = assetsOf(f.library, PhotoLibrary::kAllPhotosId);
        QVERIFY(assets);
        QCOMPARE(assets->size(), 1);
        QString id = assets->first().id;
        if (change == QLatin1String("delete"))
            QVERIFY(QFile::remove(path));
        else if (change == QLatin1String("text"))
            QVERIFY(writeBytes(path, "nicht mehr da\n"));
        else if (change == QLatin1String("unknown"))
            id = QString(40, QLatin1Char('0'));
        const auto image = imageOf(f.library, id);
        QVERIFY(image);
        QCOMPARE(image->has_value(), decodes);
        if (decodes)
            QCOMPARE((*image)->size(), QSize(2560, 1600));
    }

    void unknownAlbumIsEmpty_data()
    {
        QTest::addColumn<QString>("albumId");
        QTest::newRow("made up") << QString(40, QLatin1Char('a'));
        QTest::newRow("empty") << QString();
        QTest::newRow("path") << "../Album";
    }

    void unknownAlbumIsEmpty()
    {
        QFETCH(QString, albumId);
        Fixture f;
        QVERIFY(writeJpeg(f.path("Album/a.jpg")));
        const auto assets = assetsOf(f.library, albumId);
        QVERIFY(assets);
        QVERIFY(assets->isEmpty());
    }

    void brokenTreesStillList()
    {
        Fixture f;
        buildTree(f.dir.path(), {"Gut/a.jpg", "Gut/b.jpg", "Gesperrt/c.jpg"});
        const QString root = f.dir.path();
        QVERIFY(QFile::link(f.path("gibt-es-nicht.jpg"), f.path("Gut/kaputt.jpg")));
        QVERIFY(QFile::link(root, f.path("Gut/schleife")));             // folder loop
        QVERIFY(QFile::link(f.path("Gut/y.jpg"), f.path("Gut/x.jpg"))); // file loop
        QVERIFY(QFile::link(f.path("Gut/x.jpg"), f.path("Gut/y.jpg")));
        QVERIFY(QFile::link(f.path("Gut/a.jpg"), f.path("Gut/verweis.jpg")));
        QFile::setPermissions(f.path("Gesperrt"), QFileDevice::Permissions());
        const bool lockedOut = !QFileInfo(f.path("Gesperrt/c.jpg")).isReadable();

        const QList<PhotoAlbum> albums = albumsOf(f.library);
        QFile::setPermissions(f.path("Gesperrt"), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ExeOwner);
        // The symlinked file is a picture of its own; the loops and the dangling link are not.
        const QStringList expected = lockedOut ? QStringList{"Alle Fotos:3", "Gut:3"}
                                               : QStringList{"Alle Fotos:4", "Gesperrt:1", "Gut:3"};
        QCOMPARE(describe(albums), expected);
        const auto assets = assetsOf(f.library, albums.last().id);
        QVERIFY(assets);
        QCOMPARE(assets->size(), 3);
    }

    void thumbnailSize_data()
    {
        QTest::addColumn<QSize>("source"); // empty: the camera photo
        QTest::addColumn<QSize>("delivered");
        QTest::addColumn<int>("storedLongSide");
        QTest::newRow("camera photo") << QSize() << QSize(240, 150) << 256;
        QTest::newRow("portrait") << QSize(600, 900) << QSize(160, 240) << 256;
        QTest::newRow("smaller than a tile, not enlarged") << QSize(50, 20) << QSize(50, 20) << 50;
    }

    void thumbnailSize()
    {
        QFETCH(QSize, source);
        QFETCH(QSize, delivered);
        QFETCH(int, storedLongSide);
        QTemporaryDir dir;
        // A space in the folder shows that the cache names files by their encoded URI.
        const QString path = dir.filePath("Mein Urlaub/bild.jpg");
        if (source.isEmpty()) {
            QVERIFY(QDir().mkpath(dir.filePath("Mein Urlaub")));
            QVERIFY(QFile::copy(TestData::photo("photo-path-2560x1600.jpg"), path));
        } else {
            QVERIFY(writeJpegSized(path, source, Qt::red));
        }
        QVERIFY(setModified(path, QDateTime(QDate(2023, 7, 14), QTime(9, 30, 5))));

        PhotoImageManager &manager = sharedPhotoImageManager();
        QCOMPARE(&sharedPhotoImageManager(), &manager);
        const auto image = thumbnailOf(manager, path);
        QVERIFY(image);
        QCOMPARE(image->size(), delivered);

        const QByteArray uri = "file://" + QFile::encodeName(path).replace(" ", "%20");
        const QString stored = m_cache.filePath(
            "thumbnails/large/" + QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex() +
            ".png");
        QCOMPARE(PhotoImageManager::cachedThumbnailPath(path), stored);
        // Read back by Qt, an independent PNG reader (its QImageReader::text() would split
        // "Thumb::URI" at the colon; the decoded image keeps the keys whole).
        QImageReader reader(stored);
        QCOMPARE(reader.format(), QByteArray("png"));
        const QImage storedImage = reader.read();
        QCOMPARE(storedImage.text("Thumb::URI"), QString::fromUtf8(uri));
        QCOMPARE(
            storedImage.text("Thumb::MTime"),
            QString::number(QDateTime(QDate(2023, 7, 14), QTime(9, 30, 5)).toSecsSinceEpoch()));
        QCOMPARE(qMax(storedImage.width(), storedImage.height()), storedLongSide);
        QCOMPARE(QFileInfo(stored).permissions() &
                     (QFileDevice::ReadOther | QFileDevice::ReadGroup),
                 QFileDevice::Permissions());
    }

    void thumbnailCaches()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("bild.jpg");
        const QDateTime taken(QDate(2022, 1, 2), QTime(3, 4, 5));
        QVERIFY(writeJpegSized(path, QSize(400, 300), Qt::red));
        QVERIFY(setModified(path, taken));
        const QString stored = PhotoImageManager::cachedThumbnailPath(path);

        PhotoImageManager first;
        QCOMPARE(colourOf(first, path), 'r');
        QVERIFY(QFileInfo::exists(stored));

        // The photo changes but keeps its time: a new manager trusts the shared cache.
        QVERIFY(writeJpegSized(path, QSize(400, 300), Qt::blue));
        QVERIFY(setModified(path, taken));
        PhotoImageManager second;
        QCOMPARE(colourOf(second, path), 'r');

        // Without the shared file, the first manager still has it in memory.
        QVERIFY(QFile::remove(stored));
        QCOMPARE(colourOf(first, path), 'r');
        QVERIFY(!QFileInfo::exists(stored));

        // A new time makes both caches stale.
        QVERIFY(setModified(path, taken.addSecs(60)));
        QCOMPARE(colourOf(first, path), 'b');
        QVERIFY(writeJpegSized(path, QSize(400, 300), Qt::green));
        QVERIFY(setModified(path, taken.addSecs(120)));
        PhotoImageManager third;
        QCOMPARE(colourOf(third, path), 'g');
    }

    void thumbnailOfNoPicture_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // null: the file does not exist
        QTest::newRow("text named .jpg") << QByteArray("keine Bilddaten\n");
        QTest::newRow("zero bytes") << QByteArray("");
        QTest::newRow("cut-off jpeg") << QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF");
        QTest::newRow("svg named .jpg") << QByteArray("<svg xmlns='http://www.w3.org/2000/svg' "
                                                      "width='10' height='10'/>");
        QTest::newRow("vanished") << QByteArray();
    }

    void thumbnailOfNoPicture()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = dir.filePath("bild.jpg");
        if (!bytes.isNull())
            QVERIFY(writeBytes(path, bytes));
        PhotoImageManager manager;
        const auto image = thumbnailOf(manager, path);
        QVERIFY(image);
        QVERIFY(image->isNull());
        QVERIFY(!QFileInfo::exists(PhotoImageManager::cachedThumbnailPath(path)));
    }

    void cancelledThumbnailIsNotDelivered()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("bild.jpg");
        QVERIFY(writeJpegSized(path, QSize(400, 300), Qt::red));
        PhotoImageManager manager;
        bool delivered = false;
        const auto id = manager.requestThumbnail(path, [&](QImage) { delivered = true; });
        manager.cancel(id);
        // Served from the same queue after the cancelled one, so that one had its chance.
        const auto later = thumbnailOf(manager, path);
        QVERIFY(later);
        QVERIFY(!later->isNull());
        QTest::qWait(50);
        QVERIFY(!delivered);
        manager.cancel(id); // a second cancel of a finished request is harmless
    }

    void destroyedLibraryDeliversNothing()
    {
        QTemporaryDir dir;
        QVERIFY(writeJpeg(dir.filePath("a.jpg")));
        bool called = false;
        {
            PhotoLibrary library(dir.path());
            library.setAccess(true);
            library.loadAlbums([&](QList<PhotoAlbum>) { called = true; });
            library.loadAssets(PhotoLibrary::kAllPhotosId,
                               [&](QList<PhotoAsset>) { called = true; });
        }
        QTest::qWait(300);
        QVERIFY(!called);
    }
};

QTEST_GUILESS_MAIN(TestPhotoLibrary)
#include "tst_photolibrary.moc"
