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

// A photo library in memory; it answers on the next turn of the event loop, as the real one.
struct FakeLibrary : PhotoLibraryAccess
{
    PhotosAuthStatus status = PhotosAuthStatus::NotDetermined;
    PhotosAuthStatus answer = PhotosAuthStatus::Authorized;
    QList<PhotoAlbum> albums;
    QHash<QString, QList<PhotoAsset>> assets;
    QHash<QString, Bitmap> pictures;
    int albumLoads = 0;

    PhotosAuthStatus authorizationStatus() const override { return status; }
    void requestAuthorization(std::function<void(PhotosAuthStatus)> done) override
    {
        QTimer::singleShot(0, [this, done] { done(status = answer); });
    }
    void loadAlbums(std::function<void(QList<PhotoAlbum>)> done) override
    {
        ++albumLoads;
        QTimer::singleShot(0, [this, done] { done(albums); });
    }
    QHash<QString, int> assetDelays; // ms before an album's pictures are listed
    int assetAnswers = 0;
    void loadAssets(const QString &id, std::function<void(QList<PhotoAsset>)> done) override
    {
        QTimer::singleShot(assetDelays.value(id), [this, id, done] {
            ++assetAnswers;
            done(assets.value(id));
        });
    }
    void addToAlbum(const QString &, const QString &,
                    std::function<void(std::optional<PhotosExportError>)> done) override
    {
        QTimer::singleShot(0, [done] { done(std::nullopt); });
    }
    void loadImage(const QString &id, std::function<void(std::optional<Bitmap>)> done) override
    {
        QTimer::singleShot(0, [this, id, done] {
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
