#pragma once

#include "model/appmodel.h"
#include "sources/photolibraryaccess.h"
#include "sources/unsplashclient.h"

#include <QHash>
#include <QTest>
#include <QTimer>

// Stand-ins for the model's services, shared by the model and window tests.

// An Unsplash stand-in whose requests finish when the test says so.
struct FakeUnsplash
{
    struct Pending
    {
        QString url;
        std::function<void(UnsplashClient::ImageResult)> done;
    };
    struct PendingSearch
    {
        QString query;
        std::function<void(UnsplashClient::SearchResult)> done;
    };
    QStringList keys;
    QStringList tracked;
    QList<Pending> pending;
    QList<PendingSearch> searches;

    UnsplashClientFactory factory()
    {
        return [this](const QString &key) {
            keys << key;
            struct Client : UnsplashClient
            {
                FakeUnsplash *fake;
                explicit Client(FakeUnsplash *f) : fake(f) {}
                void search(const QString &query, int, int perPage,
                            std::function<void(SearchResult)> done) override
                {
                    QCOMPARE(perPage, 30);
                    fake->searches.append({query, std::move(done)});
                }
                void loadImage(const QString &url, std::function<void(ImageResult)> done) override
                {
                    fake->pending.append({url, std::move(done)});
                }
                void trackDownload(const QString &url) override { fake->tracked << url; }
            };
            return std::make_shared<Client>(this);
        };
    }
};

struct FakeLibrary : PhotoLibraryAccess
{
    PhotosAuthStatus status = PhotosAuthStatus::NotDetermined;
    PhotosAuthStatus answer = PhotosAuthStatus::Authorized;
    QList<PhotoAlbum> albums;
    QHash<QString, QList<PhotoAsset>> assets;
    QHash<QString, Bitmap> pictures;
    int albumLoads = 0;
    // Finishes requests on the next turn of the event loop, as the real library does.
    template <typename F> static void later(F f) { QTimer::singleShot(0, std::move(f)); }
    PhotosAuthStatus authorizationStatus() const override { return status; }
    void requestAuthorization(std::function<void(PhotosAuthStatus)> done) override
    {
        later([this, done] {
            status = answer;
            done(status);
        });
    }
    void loadAlbums(std::function<void(QList<PhotoAlbum>)> done) override
    {
        ++albumLoads;
        later([this, done] { done(albums); });
    }
    void loadAssets(const QString &id, std::function<void(QList<PhotoAsset>)> done) override
    {
        later([this, id, done] { done(assets.value(id)); });
    }
    void addToAlbum(const QString &, const QString &,
                    std::function<void(std::optional<PhotosExportError>)> done) override
    {
        later([done] { done(std::nullopt); });
    }
    void loadImage(const QString &id, std::function<void(std::optional<Bitmap>)> done) override
    {
        later([this, id, done] {
            done(pictures.contains(id) ? std::optional<Bitmap>(pictures.value(id)) : std::nullopt);
        });
    }
};

// A desktop that remembers what it was asked to show instead of showing it.
struct RecordingDesktop : DesktopBackend
{
    QList<WallpaperFiles> shown;
    std::optional<QString> setWallpaper(const WallpaperFiles &files) override
    {
        shown << files;
        return std::nullopt;
    }
    std::optional<QString> currentPicture() override
    {
        return shown.isEmpty() ? std::nullopt : std::optional<QString>(shown.last().heic);
    }
};
