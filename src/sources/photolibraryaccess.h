#pragma once

// What the model needs of a photo library, as an interface and the plain values it deals in:
// albums, pictures, whether access was granted. The model knows nothing else of the library, so
// the real one (photolibrary.h) and the tests' stand-in are interchangeable.

#include "render/bitmap.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

// Whether the user let Voskan read the photo library.
enum class PhotosAuthStatus {
    NotDetermined, // not asked yet
    Restricted,    // the library folder is missing or unreadable
    Denied,        // the user said no
    Authorized,
};

// One album of the photo library.
struct PhotoAlbum
{
    QString id;
    QString title;
    qint64 count = 0;

    friend bool operator==(const PhotoAlbum &, const PhotoAlbum &) = default;
};

// One picture of the photo library.
struct PhotoAsset
{
    QString id;      // stable across launches, no "/"
    QString path;    // the file, for thumbnails
    QDateTime taken; // capture date, else the file's modification time

    friend bool operator==(const PhotoAsset &, const PhotoAsset &) = default;
};

// Failures of saving a wallpaper into the library's "Voskan" album.
enum class PhotosExportError {
    Denied,      // no access
    AlbumFailed, // the album could not be made
    AddFailed,   // the picture could not be added
};

QString description(PhotosExportError error);

// What the model needs of the photo library. Every `done` is called later, on the main
// thread, never inside the call.
class PhotoLibraryAccess
{
public:
    virtual ~PhotoLibraryAccess() = default;
    // The state as it is now, without asking anybody.
    virtual PhotosAuthStatus authorizationStatus() const = 0;
    // Asks the user, then reports the state.
    virtual void requestAuthorization(std::function<void(PhotosAuthStatus)> done) = 0;
    // The whole library first, then the user's albums that hold pictures, by title.
    virtual void loadAlbums(std::function<void(QList<PhotoAlbum>)> done) = 0;
    // The album's pictures, newest first, at most 200; nothing for an unknown album.
    virtual void loadAssets(const QString &albumId,
                            std::function<void(QList<PhotoAsset>)> done) = 0;
    // The picture decoded at full size; nothing when it cannot be read.
    virtual void loadImage(const QString &assetId,
                           std::function<void(std::optional<Bitmap>)> done) = 0;
    // Adds a copy of `file` to the album of that title, made when missing, never replacing
    // a picture already there. Asks for access first when nobody has answered yet.
    virtual void addToAlbum(const QString &file, const QString &album,
                            std::function<void(std::optional<PhotosExportError>)> done) = 0;
};
