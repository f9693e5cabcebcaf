#pragma once

// The photo library as the window browses it: whether the program may read it, its albums,
// the pictures of the album shown, and the album chosen last. Everything arrives later, on the
// main thread; a listing asked for earlier never overwrites one asked for since.

#include "sources/photolibraryaccess.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class LibraryBrowser : public QObject
{
    Q_OBJECT

public:
    explicit LibraryBrowser(std::shared_ptr<PhotoLibraryAccess> access, QObject *parent = nullptr);

    // Nothing when the program has no photo library.
    const std::shared_ptr<PhotoLibraryAccess> &access() const { return m_access; }
    PhotosAuthStatus authStatus() const { return m_authStatus; }
    QList<PhotoAlbum> albums() const { return m_albums; }
    void setAlbums(const QList<PhotoAlbum> &albums);
    QList<PhotoAsset> assets() const { return m_assets; }
    std::optional<QString> lastAlbumID() const { return m_lastAlbumID; }
    void setLastAlbumID(const QString &id) { m_lastAlbumID = id; }

    // Reads the library's state without asking; loads the albums when access was granted.
    void refreshAuthStatus();
    // Asks the user for access, then as refreshAuthStatus().
    void requestAccess();
    void loadAlbums();
    // Empties assets() at once and fills it when the album is listed.
    void loadAssets(const QString &albumID);

Q_SIGNALS:
    void authStatusChanged();
    void albumsChanged();
    void assetsChanged();

private:
    void setAuthStatus(PhotosAuthStatus status);
    void setAssets(const QList<PhotoAsset> &assets);

    std::shared_ptr<PhotoLibraryAccess> m_access;
    PhotosAuthStatus m_authStatus = PhotosAuthStatus::NotDetermined;
    QList<PhotoAlbum> m_albums;
    QList<PhotoAsset> m_assets;
    QString m_assetsID; // the album whose pictures the list is waiting for
    std::optional<QString> m_lastAlbumID;
};
