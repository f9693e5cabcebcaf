#include "librarybrowser.h"

#include <QPointer>

LibraryBrowser::LibraryBrowser(std::shared_ptr<PhotoLibraryAccess> access, QObject *parent)
    : QObject(parent), m_access(std::move(access))
{
}

void LibraryBrowser::setAuthStatus(PhotosAuthStatus status)
{
    m_authStatus = status;
    Q_EMIT authStatusChanged();
}

void LibraryBrowser::setAlbums(const QList<PhotoAlbum> &albums)
{
    m_albums = albums;
    Q_EMIT albumsChanged();
}

void LibraryBrowser::setAssets(const QList<PhotoAsset> &assets)
{
    m_assets = assets;
    Q_EMIT assetsChanged();
}

void LibraryBrowser::refreshAuthStatus()
{
    if (!m_access)
        return;
    setAuthStatus(m_access->authorizationStatus());
    if (m_authStatus == PhotosAuthStatus::Authorized)
        loadAlbums();
}

void LibraryBrowser::requestAccess()
{
    if (!m_access)
        return;
    QPointer<LibraryBrowser> self(this);
    m_access->requestAuthorization([self](PhotosAuthStatus status) {
        if (!self)
            return;
        self->setAuthStatus(status);
        if (status == PhotosAuthStatus::Authorized)
            self->loadAlbums();
    });
}

void LibraryBrowser::loadAlbums()
{
    if (!m_access)
        return;
    QPointer<LibraryBrowser> self(this);
    m_access->loadAlbums([self](QList<PhotoAlbum> albums) {
        if (self)
            self->setAlbums(albums);
    });
}

void LibraryBrowser::loadAssets(const QString &albumID)
{
    setAssets({});
    m_assetsID = albumID;
    if (!m_access)
        return;
    // Loads are not cancelled, and a large album can answer after a small one chosen later:
    // only the album asked for last may fill the list, or it would show another album's pictures.
    QPointer<LibraryBrowser> self(this);
    m_access->loadAssets(albumID, [self, albumID](QList<PhotoAsset> assets) {
        if (self && self->m_assetsID == albumID)
            self->setAssets(assets);
    });
}
