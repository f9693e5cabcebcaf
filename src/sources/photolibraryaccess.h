#pragma once

#include <QList>
#include <QString>

#include <functional>

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
    QString id;

    friend bool operator==(const PhotoAsset &, const PhotoAsset &) = default;
};

// What the model needs of the photo library at start: its access state and, once access was
// granted, its albums. Implementations deliver on the main thread.
class PhotoLibraryAccess
{
public:
    virtual ~PhotoLibraryAccess() = default;
    virtual PhotosAuthStatus authorizationStatus() const = 0;
    // Calls `done` later, on the main thread, with every album (the whole library first).
    virtual void loadAlbums(std::function<void(QList<PhotoAlbum>)> done) = 0;
};
