#include "photolibrary.h"

#include "files/regularfile.h"
#include "render/imagedecoder.h"

#include <QCollator>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QThreadPool>
#include <QUuid>

#include <vips/vips.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace {

const QString kSettingsGroup = QStringLiteral("PhotoLibrary");
const QString kAccessKey = QStringLiteral("access");
const QString kAccessRootKey = QStringLiteral("root");
const QString kAllowed = QStringLiteral("allowed");
const QString kDenied = QStringLiteral("denied");

// A Pictures folder is a tree the user made; deeper than this is a loop or a mistake.
constexpr int kMaxDepth = 32;

struct FileEntry
{
    QString path;
    QDateTime modified;
};

// Runs `deliver` on the main thread in a later turn of the event loop, unless the library
// is gone by then. Posting to the application object is safe from any thread.
template <typename Fn>
void onMainThread(const std::shared_ptr<std::atomic<bool>> &alive, Fn deliver)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [alive, deliver = std::move(deliver)]() mutable {
            if (alive->load())
                deliver();
        },
        Qt::QueuedConnection);
}

bool isHidden(const QString &name)
{
    return name.startsWith(QLatin1Char('.'));
}

// Regular files below `dir` (or only in it), hidden entries skipped. Symlinked folders are
// not entered, which keeps symlink loops and trees counted twice out; a symlinked file
// counts when its target is a readable file, a dangling one does not.
void collectFiles(const QString &dir, bool recursive, int depth, QList<FileEntry> &out)
{
    QDirIterator it(dir,
                    QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (isHidden(info.fileName()))
            continue;
        if (info.isDir()) {
            if (recursive && !info.isSymLink() && depth < kMaxDepth)
                collectFiles(info.filePath(), true, depth + 1, out);
        } else if (info.isFile() && info.size() > 0) {
            out.append({info.filePath(), info.lastModified()});
        }
    }
}

enum class ImageKind { None, Jpeg, Png, Gif, WebP, Tiff, Heif };

// The formats ImageDecoder reads, told by their first bytes: the extension says nothing
// about a renamed text file or a video.
ImageKind sniff(const RegularFile &file)
{
    const QByteArray head = file.read(0, 64).value_or(QByteArray());
    const auto starts = [&](const char *magic, qsizetype at = 0) {
        const auto n = qsizetype(std::strlen(magic));
        return head.size() >= at + n && std::memcmp(head.constData() + at, magic, size_t(n)) == 0;
    };
    if (starts("\xFF\xD8\xFF"))
        return ImageKind::Jpeg;
    if (starts("\x89PNG\r\n\x1A\n"))
        return ImageKind::Png;
    if (starts("GIF87a") || starts("GIF89a"))
        return ImageKind::Gif;
    if (starts("RIFF") && starts("WEBP", 8))
        return ImageKind::WebP;
    if (head.size() >= 4 && (std::memcmp(head.constData(), "II*\0", 4) == 0 ||
                             std::memcmp(head.constData(), "MM\0*", 4) == 0))
        return ImageKind::Tiff;
    if (starts("ftyp", 4)) {
        // An ISO media file is a HEIF still image only by its brands; MP4 and QuickTime
        // videos share the container.
        static constexpr std::array<const char *, 6> kImageBrands = {"heic", "heix", "heim",
                                                                     "heis", "mif1", "avif"};
        const auto brandAt = [&](qsizetype at) { return head.mid(at, 4); };
        const QByteArray major = brandAt(8);
        for (const char *brand : kImageBrands) {
            if (major == brand)
                return ImageKind::Heif;
        }
        // Compatible brands follow the minor version; a file that is a video first but
        // also claims "mif1" is still a video to the user.
        static constexpr std::array<const char *, 6> kVideoBrands = {"isom", "iso2", "mp41",
                                                                     "mp42", "qt  ", "M4V "};
        for (const char *brand : kVideoBrands) {
            if (major == brand)
                return ImageKind::None;
        }
        quint32 boxSize = 0;
        for (int i = 0; i < 4; ++i)
            boxSize = (boxSize << 8) | quint8(head.at(i));
        const qsizetype end = std::min<qsizetype>(head.size(), boxSize);
        for (qsizetype at = 16; at + 4 <= end; at += 4) {
            const QByteArray brand = brandAt(at);
            if (brand == "mif1" || brand == "heic" || brand == "avif")
                return ImageKind::Heif;
        }
    }
    return ImageKind::None;
}

// EXIF DateTimeOriginal, read from the header only. Null when the file has none.
QDateTime captureDate(const RegularFile &file, ImageKind kind)
{
    if ((kind != ImageKind::Jpeg && kind != ImageKind::Heif) || !ImageDecoder::startVips())
        return {};
    VipsSource *source = vips_source_new_from_descriptor(file.descriptor());
    if (!source) {
        vips_error_clear();
        return {};
    }
    VipsImage *image = nullptr;
    const int failed =
        kind == ImageKind::Jpeg
            ? vips_jpegload_source(source, &image, "access", VIPS_ACCESS_SEQUENTIAL, nullptr)
            : vips_heifload_source(source, &image, "access", VIPS_ACCESS_SEQUENTIAL, nullptr);
    g_object_unref(source);
    if (failed) {
        vips_error_clear();
        return {};
    }
    QDateTime taken;
    const char *field = "exif-ifd2-DateTimeOriginal";
    const char *text = nullptr;
    if (vips_image_get_typeof(image, field) != 0 && vips_image_get_string(image, field, &text) == 0)
        taken = QDateTime::fromString(QString::fromLatin1(text).left(19),
                                      QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    else
        vips_error_clear();
    g_object_unref(image);
    return taken.isValid() ? taken : QDateTime();
}

// The direct, visible, real subfolder of `root` with that id, or an empty string.
QString albumFolder(const QString &root, const QString &albumId)
{
    QDirIterator it(root, QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (!isHidden(info.fileName()) && !info.isSymLink() &&
            PhotoLibrary::idForPath(root, info.filePath()) == albumId)
            return info.filePath();
    }
    return {};
}

QList<PhotoAlbum> listAlbums(const QString &root)
{
    QList<FileEntry> files;
    collectFiles(root, true, 0, files);
    const QString rootPath = QDir(root).absolutePath();
    qint64 total = 0;
    QHash<QString, qint64> perFolder; // direct subfolders of the root → their own pictures
    for (const FileEntry &file : std::as_const(files)) {
        if (sniff(RegularFile(file.path)) == ImageKind::None)
            continue;
        ++total;
        const QString folder = QFileInfo(file.path).absolutePath();
        if (QFileInfo(folder).absolutePath() == rootPath)
            ++perFolder[folder];
    }

    QList<PhotoAlbum> albums;
    for (auto it = perFolder.cbegin(); it != perFolder.cend(); ++it)
        albums.append(
            {PhotoLibrary::idForPath(root, it.key()), QFileInfo(it.key()).fileName(), it.value()});
    // The hash has no order; fixing one by id first keeps equal titles stable across runs.
    std::sort(albums.begin(), albums.end(),
              [](const PhotoAlbum &a, const PhotoAlbum &b) { return a.id < b.id; });
    QCollator collator;
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(albums.begin(), albums.end(), [&](const PhotoAlbum &a, const PhotoAlbum &b) {
        return collator.compare(a.title, b.title) < 0;
    });
    albums.prepend({PhotoLibrary::kAllPhotosId, QStringLiteral("Alle Fotos"), total});
    return albums;
}

// The newest pictures by capture date. Reading the EXIF header of every file of a large
// folder would take seconds, so the candidates are the newest files by modification time;
// a picture copied or edited later than it was taken is found all the same.
QList<PhotoAsset> listAssets(const QString &root, const QString &folder, bool recursive)
{
    QList<FileEntry> files;
    collectFiles(folder, recursive, 0, files);
    std::sort(files.begin(), files.end(), [](const FileEntry &a, const FileEntry &b) {
        return a.modified != b.modified ? a.modified > b.modified : a.path < b.path;
    });
    QList<PhotoAsset> assets;
    for (const FileEntry &file : std::as_const(files)) {
        if (assets.size() == PhotoLibrary::kMaxAssets)
            break;
        // Listed as a regular file, it may be something else by now.
        const RegularFile opened(file.path);
        const ImageKind kind = sniff(opened);
        if (kind == ImageKind::None)
            continue;
        const QDateTime taken = captureDate(opened, kind);
        assets.append({PhotoLibrary::idForPath(root, file.path), file.path,
                       taken.isValid() ? taken : file.modified});
    }
    std::stable_sort(assets.begin(), assets.end(),
                     [](const PhotoAsset &a, const PhotoAsset &b) { return a.taken > b.taken; });
    return assets;
}

// Searches the tree for a picture handed out by an earlier run.
QString findAsset(const QString &root, const QString &assetId)
{
    QList<FileEntry> files;
    collectFiles(root, true, 0, files);
    for (const FileEntry &file : std::as_const(files)) {
        if (PhotoLibrary::idForPath(root, file.path) == assetId)
            return file.path;
    }
    return {};
}

} // namespace

QString PhotoLibrary::defaultRoot()
{
    const QString fromEnvironment = qEnvironmentVariable("VOSKAN_PHOTOS_DIR");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
}

PhotoLibrary::PhotoLibrary() : PhotoLibrary(defaultRoot()) {}

PhotoLibrary::PhotoLibrary(const QString &root)
    : m_root(root.isEmpty() ? QString() : QDir(root).absolutePath()),
      m_alive(std::make_shared<std::atomic<bool>>(true))
{
}

PhotoLibrary::~PhotoLibrary()
{
    m_alive->store(false);
}

QString PhotoLibrary::idForPath(const QString &root, const QString &path)
{
    const QString relative = QDir(root).relativeFilePath(path);
    return QString::fromLatin1(
        QCryptographicHash::hash(relative.toUtf8(), QCryptographicHash::Sha1).toHex());
}

QString PhotoLibrary::accessQuestion() const
{
    return QStringLiteral("Voskan möchte auf deine Fotos im Ordner „%1“ zugreifen.")
        .arg(QDir::toNativeSeparators(m_root));
}

void PhotoLibrary::setAccess(bool allowed)
{
    QSettings settings(QStringLiteral("Voskan"), QStringLiteral("Voskan"));
    settings.beginGroup(kSettingsGroup);
    settings.setValue(kAccessKey, allowed ? kAllowed : kDenied);
    settings.setValue(kAccessRootKey, m_root);
}

PhotosAuthStatus PhotoLibrary::authorizationStatus() const
{
    const QFileInfo root(m_root);
    if (m_root.isEmpty() || !root.isDir() || !root.isReadable() || !root.isExecutable())
        return PhotosAuthStatus::Restricted;
    QSettings settings(QStringLiteral("Voskan"), QStringLiteral("Voskan"));
    settings.beginGroup(kSettingsGroup);
    // An answer given for another folder does not cover this one.
    if (settings.value(kAccessRootKey).toString() != m_root)
        return PhotosAuthStatus::NotDetermined;
    const QString answer = settings.value(kAccessKey).toString();
    if (answer == kAllowed)
        return PhotosAuthStatus::Authorized;
    if (answer == kDenied)
        return PhotosAuthStatus::Denied;
    return PhotosAuthStatus::NotDetermined;
}

void PhotoLibrary::requestAuthorization(std::function<void(PhotosAuthStatus)> done)
{
    // The prompt runs in a later turn too, so a modal dialog never nests inside the caller.
    onMainThread(m_alive, [this, done = std::move(done)] {
        PhotosAuthStatus status = authorizationStatus();
        if (status == PhotosAuthStatus::NotDetermined && m_prompt) {
            setAccess(m_prompt(accessQuestion()));
            status = authorizationStatus();
        }
        done(status);
    });
}

QString description(PhotosExportError error)
{
    switch (error) {
    case PhotosExportError::Denied:
        return QStringLiteral(
            "Kein Zugriff auf Fotos. Bitte in den Einstellungen von Voskan (Strg+,) den "
            "Zugriff auf die Fotos-Mediathek erlauben.");
    case PhotosExportError::AlbumFailed:
        return QStringLiteral("Das Album „Voskan“ konnte nicht angelegt werden.");
    case PhotosExportError::AddFailed:
        return QStringLiteral("Das Wallpaper konnte nicht in Fotos gesichert werden.");
    }
    return {};
}

namespace {

enum class Placing { Done, Taken, Failed };

// Copies the rest of `in` to `out` and flushes it to disk.
bool copyAndSync(int in, int out)
{
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return ::fsync(out) == 0;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer + done, std::size_t(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return false;
            done += w;
        }
    }
}

// Gives the finished `partial` the name `name` unless something has that name already.
Placing place(const QByteArray &partial, const QByteArray &name)
{
    if (::renameat2(AT_FDCWD, partial.constData(), AT_FDCWD, name.constData(), RENAME_NOREPLACE) ==
        0)
        return Placing::Done;
    if (errno == EEXIST)
        return Placing::Taken;
    // Not every file system moves without replacing (network shares, some FUSE ones); a hard
    // link never replaces either.
    if (::link(partial.constData(), name.constData()) == 0) {
        ::unlink(partial.constData());
        return Placing::Done;
    }
    if (errno == EEXIST)
        return Placing::Taken;
    // Nor do hard links exist everywhere (FAT, exFAT, many network shares): the name is
    // created exclusively and the picture copied into it.
    const int out = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0)
        return errno == EEXIST ? Placing::Taken : Placing::Failed;
    const int in = ::open(partial.constData(), O_RDONLY | O_CLOEXEC);
    bool copied = in >= 0 && copyAndSync(in, out);
    if (in >= 0)
        ::close(in);
    copied = ::close(out) == 0 && copied;
    if (!copied)
        ::unlink(name.constData());
    return copied ? Placing::Done : Placing::Failed;
}

// Copies `file` into `folder` under a name no picture there has: written under a hidden
// temporary name first, then given its final name in a way that fails rather than replace.
bool copyInto(const QString &file, const QString &folder)
{
    const QFileInfo source(file);
    const QString stem =
        QStringLiteral("Voskan %1")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss")));
    const QString suffix =
        source.suffix().isEmpty() ? QString() : QLatin1Char('.') + source.suffix();
    const QString partial = QDir(folder).filePath(
        QStringLiteral(".voskan-%1.part").arg(QUuid::createUuid().toString(QUuid::Id128).left(12)));
    if (!QFile::copy(file, partial))
        return false;
    Placing placing = Placing::Taken;
    for (int n = 1; n < 1000 && placing == Placing::Taken; ++n) {
        const QString name =
            n == 1 ? stem + suffix : QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(suffix);
        placing = place(QFile::encodeName(partial), QFile::encodeName(QDir(folder).filePath(name)));
    }
    QFile::remove(partial);
    return placing == Placing::Done;
}

} // namespace

void PhotoLibrary::addToAlbum(const QString &file, const QString &album,
                              std::function<void(std::optional<PhotosExportError>)> done)
{
    requestAuthorization([this, file, album, done = std::move(done)](PhotosAuthStatus status) {
        if (status != PhotosAuthStatus::Authorized) {
            done(PhotosExportError::Denied);
            return;
        }
        // An album is a folder directly under the root; the title is matched exactly, so
        // "voskan" is another album than "Voskan".
        const QString folder = QDir(m_root).filePath(album);
        const QFileInfo info(folder);
        if ((info.exists() && !info.isDir()) || (!info.exists() && !QDir(m_root).mkdir(album))) {
            done(PhotosExportError::AlbumFailed);
            return;
        }
        done(copyInto(file, folder)
                 ? std::nullopt
                 : std::optional<PhotosExportError>(PhotosExportError::AddFailed));
    });
}

void PhotoLibrary::loadAlbums(std::function<void(QList<PhotoAlbum>)> done)
{
    if (!accessGranted()) {
        onMainThread(m_alive, [done = std::move(done)] { done({}); });
        return;
    }
    workerPool()->start([root = m_root, alive = m_alive, done = std::move(done)]() mutable {
        QList<PhotoAlbum> albums = listAlbums(root);
        onMainThread(alive, [albums = std::move(albums), done = std::move(done)] { done(albums); });
    });
}

void PhotoLibrary::loadAssets(const QString &albumId, std::function<void(QList<PhotoAsset>)> done)
{
    if (!accessGranted() || albumId.isEmpty() || albumId.contains(QLatin1Char('/'))) {
        onMainThread(m_alive, [done = std::move(done)] { done({}); });
        return;
    }
    workerPool()->start(
        [this, root = m_root, albumId, alive = m_alive, done = std::move(done)]() mutable {
            QList<PhotoAsset> assets;
            if (albumId == kAllPhotosId) {
                assets = listAssets(root, root, true);
            } else {
                const QString folder = albumFolder(root, albumId);
                if (!folder.isEmpty())
                    assets = listAssets(root, folder, false);
            }
            // `this` is touched only here, on the main thread, after onMainThread saw it alive.
            onMainThread(alive, [this, assets = std::move(assets), done = std::move(done)] {
                for (const PhotoAsset &asset : assets)
                    m_assetPaths.insert(asset.id, asset.path);
                done(assets);
            });
        });
}

void PhotoLibrary::loadImage(const QString &assetId,
                             std::function<void(std::optional<Bitmap>)> done)
{
    if (!accessGranted()) {
        onMainThread(m_alive, [done = std::move(done)] { done(std::nullopt); });
        return;
    }
    workerPool()->start([root = m_root, assetId, known = m_assetPaths.value(assetId),
                         alive = m_alive, done = std::move(done)]() mutable {
        const QString path = known.isEmpty() ? findAsset(root, assetId) : known;
        std::optional<Bitmap> bitmap;
        if (!path.isEmpty()) {
            DecodeResult result = ImageDecoder::decodeFile(path);
            if (result.isOk())
                bitmap = result.bitmap();
        }
        onMainThread(alive, [bitmap = std::move(bitmap), done = std::move(done)]() mutable {
            done(std::move(bitmap));
        });
    });
}
