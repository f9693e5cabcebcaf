// The folder-backed photo library: albums, thumbnails, order, access and saving into it.

#include "sources/photolibrary.h"
#include "sources/photothumbnails.h"
#include "support/rows.h"
#include "support/scratch.h"
#include "support/testdata.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

// FAT and many shares have no hard links nor moves that refuse to replace: played here.
static bool s_plainFileSystem = false;
extern "C" int link(const char *from, const char *to) noexcept
{
    return s_plainFileSystem ? (errno = EPERM, -1)
                             : int(syscall(SYS_linkat, AT_FDCWD, from, AT_FDCWD, to, 0));
}
extern "C" int renameat2(int fromDir, const char *from, int toDir, const char *to,
                         unsigned flags) noexcept
{
    return s_plainFileSystem ? (errno = EINVAL, -1)
                             : int(syscall(SYS_renameat2, fromDir, from, toDir, to, flags));
}

namespace {

// The answer; nothing unless it came later and on the main thread, as the library promises.
template <typename T, typename Start> std::optional<T> await(Start start)
{
    std::optional<T> result;
    bool onMainThread = false;
    start([&](T value) {
        onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        result = std::move(value);
    });
    const bool later = !result;
    return QTest::qWaitFor([&] { return result.has_value(); }, 20000) && later && onMainThread
               ? result
               : std::nullopt;
}

// "title:count" per album; "!" marks one whose listing holds another number of pictures.
QStringList albumsOf(PhotoLibrary &library)
{
    QStringList out;
    const auto albums = await<QList<PhotoAlbum>>([&](auto done) { library.loadAlbums(done); });
    for (const PhotoAlbum &album : albums.value_or(QList<PhotoAlbum>{{"-", "gescheitert", 0}})) {
        const auto assets =
            await<QList<PhotoAsset>>([&](auto done) { library.loadAssets(album.id, done); });
        out << QStringLiteral("%1:%2").arg(album.title).arg(album.count) +
                   (assets && assets->size() == album.count ? "" : "!");
    }
    return out;
}

QByteArray encoded(QSize size = {4, 3}, const char *format = "JPG")
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    return buffer.open(QIODevice::WriteOnly) && image.save(&buffer, format, 95) ? bytes : "";
}

bool write(const QString &path, const QByteArray &bytes = encoded(), const QDateTime &modified = {})
{
    QFile file(writeFile(path, bytes));
    return file.open(QIODevice::ReadWrite) &&
           (modified.isNull() || file.setFileTime(modified, QFileDevice::FileModificationTime));
}

// "path" a JPEG, "path/" a folder, "path=kind" other content.
void buildTree(const QString &root, const QStringList &entries)
{
    const QByteArray box(99, 'x');
    // clang-format off
    const QHash<QString, QByteArray> kinds{
        {"png", encoded({2, 2}, "PNG")}, {"text", "keine Bilddaten\n"}, {"empty", ""},
        {"heic", QByteArray("\0\0\0\030ftypheic\0\0\0\0mif1heic", 24) + box},
        {"mp4", QByteArray("\0\0\0\030ftypisom\0\0\2\0isommif1", 24) + box},
        {"mov", QByteArray("\0\0\0\024ftypqt  \0\0\2\0qt  ", 20) + box}};
    // clang-format on
    for (const QString &entry : entries) {
        const QFileInfo path(QDir(root).filePath(entry.section('=', 0, 0)));
        const QString kind = entry.section('=', 1);
        QVERIFY(QDir().mkpath(path.path()));
        if (kind == "FIFO" || kind == "socket")
            QVERIFY(!nonRegularFile(kind, path.path(), path.fileName()).isEmpty());
        else if (kind == "device")
            QVERIFY(QFile::link("/dev/zero", path.filePath()));
        else
            QVERIFY(entry.endsWith('/') ? QDir().mkpath(path.filePath())
                                        : write(path.filePath(), kinds.value(kind, encoded())));
    }
}

} // namespace

class TestPhotoLibrary : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_settings, m_cache;

private Q_SLOTS:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
        // Album order follows the user's language; the test machine's may be "C".
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_cache.path()));
    }

    void albums_data()
    {
        addColumns<QStringList, QStringList>({"tree", "expected"});
        // clang-format off
        QTest::newRow("file-browser order") << QStringList{"Urlaub 10/a.jpg", "Urlaub 9/a.jpg", "urlaub 2/b.jpg", "Berge/x.jpg", "Berge/y.jpg", "Ägypten/z.jpg"} << QStringList{"Alle Fotos:6", "Ägypten:1", "Berge:2", "urlaub 2:1", "Urlaub 9:1", "Urlaub 10:1"};
        QTest::newRow("hidden, empty and picture-less folders left out") << QStringList{".versteckt/a.jpg", "Leer/", "Notizen/notiz.txt=text", "Sichtbar/a.jpg", ".hidden.jpg"} << QStringList{"Alle Fotos:1", "Sichtbar:1"};
        QTest::newRow("albums count their own pictures, the library all") << QStringList{"Reise/a.jpg", "Reise/Tag 1/b.jpg", "Nur Unterordner/Tag/c.jpg", "lose.jpg"} << QStringList{"Alle Fotos:4", "Reise:1"};
        QTest::newRow("the content decides, not the name") << QStringList{"Album/ohne Endung", "Album/png.jpg=png", "Album/bild.heic=heic", "Album/notiz.jpg=text", "Album/leer.jpg=empty", "Album/film.mp4=mp4", "Album/film.heic=mov"} << QStringList{"Alle Fotos:3", "Album:3"};
        QTest::newRow("FIFOs, sockets and devices under a picture's name") << QStringList{"Album/a.jpg", "Album/fifo.jpg=FIFO", "Album/socket.jpg=socket", "Album/zero.jpg=device", "lose.jpg=FIFO"} << QStringList{"Alle Fotos:1", "Album:1"};
        QTest::newRow("empty library") << QStringList{} << QStringList{"Alle Fotos:0"};
        // clang-format on
    }

    void albums()
    {
        FETCH((QStringList, tree, expected));
        QTemporaryDir dir;
        buildTree(dir.path(), tree);
        PhotoLibrary library(dir.path());
        library.setAccess(true);
        QCOMPARE(albumsOf(library), expected);
    }

    void thumbnails_data()
    {
        // kind: under the picture's name; stored: under its name in the shared cache
        addColumns<QString, QString, bool>({"kind", "stored", "delivered"});
        // clang-format off
        QTest::newRow("a photo") << "photo" << "" << true;
        QTest::newRow("a photo, its cached thumbnail a FIFO") << "photo" << "FIFO" << true;
        QTest::newRow("a FIFO") << "FIFO" << "" << false;
        // clang-format on
    }

    // Every tile gets its answer soon, whatever lies under the photo's or its cached name.
    void thumbnails()
    {
        FETCH((QString, kind, stored), (bool, delivered));
        QTemporaryDir dir;
        const QString path = kind == "photo" ? writeFile(dir.filePath("x.jpg"), encoded({400, 300}))
                                             : nonRegularFile(kind, dir.path());
        QVERIFY(!path.isEmpty());
        const QFileInfo cached(PhotoImageManager::cachedThumbnailPath(path));
        QVERIFY(QDir().mkpath(cached.path()));
        QFile::remove(cached.filePath());
        if (!stored.isEmpty())
            QVERIFY(!nonRegularFile(stored, cached.path(), cached.fileName()).isEmpty());
        std::optional<QImage> thumbnail;
        sharedPhotoImageManager().requestThumbnail(path, [&](QImage image) { thumbnail = image; });
        QTRY_VERIFY_WITH_TIMEOUT(thumbnail, 2000);
        QCOMPARE(!thumbnail->isNull(), delivered);
        if (delivered)
            QCOMPARE(thumbnail->size(), QSize(240, 180));
    }

    void newestFirstAtMost200()
    {
        QTemporaryDir dir;
        PhotoLibrary library(dir.path());
        library.setAccess(true);
        const QDateTime base(QDate(2024, 3, 1), QTime(8, 0));
        // File names and modification order disagree, so a sort by name would show.
        for (int i = 0; i < 205; ++i)
            QVERIFY(write(dir.filePath(QStringLiteral("Album/%1.jpg").arg(i, 3, 10, QChar('0'))),
                          encoded(), base.addSecs(((i * 37) % 205) * 60)));
        // The newest file of all, but taken in 2015 by its EXIF date.
        QVERIFY(write(dir.filePath("Album/kamera.jpg"),
                      contents(TestData::photo("photo-bythewater-2560x1600.jpg")),
                      base.addYears(1)));

        const auto assets = await<QList<PhotoAsset>>(
            [&](auto done) { library.loadAssets(PhotoLibrary::kAllPhotosId, done); });
        QVERIFY(assets && assets->size() == 200);
        // The 199 newest files by minute, 204 down to 6, then the camera picture by its date.
        for (int i = 0; i < 199; ++i)
            QCOMPARE(assets->at(i).taken, base.addSecs((204 - i) * 60));
        QCOMPARE(assets->last().path, dir.filePath("Album/kamera.jpg"));
        QCOMPARE(assets->last().taken, QDateTime(QDate(2015, 4, 29), QTime(14, 33, 31)));
    }

    void access_data()
    {
        // library "Bilder"; before: the answer kept for a folder; answer: -1: nobody to ask
        addColumns<QString, QString, int, PhotosAuthStatus, int>(
            {"tree", "before", "answer", "status", "questions"});
        // clang-format off
        QTest::newRow("allowed") << "Bilder/a/b.jpg" << "" << 1 << PhotosAuthStatus::Authorized << 1;
        QTest::newRow("refused") << "Bilder/a/b.jpg" << "" << 0 << PhotosAuthStatus::Denied << 1;
        QTest::newRow("nobody to ask") << "Bilder/a/b.jpg" << "" << -1 << PhotosAuthStatus::NotDetermined << 0;
        QTest::newRow("switched off in the settings") << "Bilder/a/b.jpg" << "Bilder" << 1 << PhotosAuthStatus::Denied << 0;
        QTest::newRow("another folder is a new question") << "Bilder/a/b.jpg" << "elsewhere" << 0 << PhotosAuthStatus::Denied << 1;
        QTest::newRow("folder missing") << "" << "" << 1 << PhotosAuthStatus::Restricted << 0;
        // clang-format on
    }

    void access()
    {
        FETCH((QString, tree, before), (int, answer, questions), (PhotosAuthStatus, status));
        QTemporaryDir dir;
        const QString path = dir.filePath("Bilder");
        buildTree(dir.path(), QStringList(!tree.isEmpty(), tree));
        QSettings("Voskan", "Voskan").clear();
        if (!before.isEmpty())
            PhotoLibrary(dir.filePath(before)).setAccess(before == "elsewhere");
        QStringList asked;
        const auto prompt = [&](const QString &question) {
            asked << question;
            return answer == 1;
        };
        PhotoLibrary library(path);
        if (answer >= 0)
            library.setPrompt(prompt);
        QCOMPARE(await<PhotosAuthStatus>([&](auto done) { library.requestAuthorization(done); }),
                 status);
        QCOMPARE(asked, QStringList(questions, "Voskan möchte auf deine Fotos im Ordner „" + path +
                                                   "“ zugreifen."));
        // The answer outlives the instance and is not asked for again.
        PhotoLibrary later(path);
        later.setPrompt(prompt);
        QCOMPARE(await<PhotosAuthStatus>([&](auto done) { later.requestAuthorization(done); }),
                 status == PhotosAuthStatus::NotDetermined ? PhotosAuthStatus::Denied : status);
        QCOMPARE(asked.size(), questions + (status == PhotosAuthStatus::NotDetermined));
        QCOMPARE(albumsOf(later).size(), status == PhotosAuthStatus::Authorized ? 2 : 0);
    }

    void addsToAlbum_data()
    {
        QTest::addColumn<bool>("plain");
        QTest::newRow("hard links") << false;
        QTest::newRow("FAT-like: no hard links") << true;
    }

    // Pictures of the same name (the time, to the second) are kept; nothing is left over.
    void addsToAlbum()
    {
        QFETCH(bool, plain);
        QTemporaryDir dir;
        PhotoLibrary library(dir.path());
        library.setAccess(true);
        const QString file = dir.filePath("out.heic");
        const QDateTime now = QDateTime::currentDateTime();
        for (int s = 0; s < 3; ++s)
            QVERIFY(write(
                dir.filePath(now.addSecs(s).toString("'Voskan/Voskan 'yyyy-MM-dd HH.mm.ss'.heic'")),
                "alt"));
        s_plainFileSystem = plain;
        for (const QByteArray content : {"erstes", "zweites"}) {
            QVERIFY(write(file, content));
            const auto failure = await<std::optional<PhotosExportError>>(
                [&](auto done) { library.addToAlbum(file, "Voskan", done); });
            QVERIFY(failure && !*failure);
        }
        s_plainFileSystem = false;
        QStringList saved;
        for (const QFileInfo &file :
             QDir(dir.filePath("Voskan")).entryInfoList(QDir::Files | QDir::Hidden))
            saved << contents(file.filePath());
        saved.sort();
        QCOMPARE(saved, QStringList({"alt", "alt", "alt", "erstes", "zweites"}));
    }
};

QTEST_GUILESS_MAIN(TestPhotoLibrary)
#include "tst_photolibrary.moc"
