#pragma once

#include "model/appmodel.h"
#include "sources/photolibraryaccess.h"
#include "sources/unsplashclient.h"

#include <QtTest>

// Stand-ins for the model's services.

// An Unsplash stand-in whose searches finish when the test says so.
struct FakeUnsplash
{
    struct PendingSearch
    {
        QString query;
        std::function<void(UnsplashClient::SearchResult)> done;
    };
    QList<PendingSearch> searches;

    UnsplashClientFactory factory()
    {
        return [this](const QString &) {
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
                void loadImage(const QString &, std::function<void(ImageResult)>) override {}
                void trackDownload(const QString &) override {}
            };
            return std::make_shared<Client>(this);
        };
    }
};

// A photo library in memory that lists an album's pictures after that album's delay.
struct FakeLibrary : PhotoLibraryAccess
{
    QHash<QString, QList<PhotoAsset>> assets;
    QHash<QString, int> assetDelays; // ms before an album's pictures are listed
    int assetAnswers = 0;

    PhotosAuthStatus authorizationStatus() const override
    {
        return PhotosAuthStatus::NotDetermined;
    }
    void requestAuthorization(std::function<void(PhotosAuthStatus)>) override {}
    void loadAlbums(std::function<void(QList<PhotoAlbum>)>) override {}
    void loadAssets(const QString &id, std::function<void(QList<PhotoAsset>)> done) override
    {
        QTimer::singleShot(assetDelays.value(id), [this, id, done] {
            ++assetAnswers;
            done(assets.value(id));
        });
    }
    void addToAlbum(const QString &, const QString &,
                    std::function<void(std::optional<PhotosExportError>)>) override
    {
    }
    void loadImage(const QString &, std::function<void(std::optional<Bitmap>)>) override {}
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

// The model's desktop replaced by a recording one, which it returns.
inline RecordingDesktop *recordDesktop(AppModel &model)
{
    auto *desktop = new RecordingDesktop;
    model.jobs()->setDesktopService(
        std::make_shared<DesktopService>(std::unique_ptr<DesktopBackend>(desktop)));
    return desktop;
}

// Opens a picture and waits until the model has it, or has said why not.
inline bool opened(AppModel &model, const QString &path)
{
    model.openLocalImage(path);
    return QTest::qWaitFor([&model] { return !model.isLoadingSource(); }, 15000);
}

// The preset whose name starts with `name` ("Full HD"), never one by its place: rows are added.
inline ResolutionPreset presetNamed(QStringView name)
{
    for (const ResolutionPreset &preset : ResolutionPreset::all())
        if (preset.name.startsWith(name))
            return preset;
    qFatal("no preset %s", qPrintable(name.toString()));
}

// The output at a size of one's own.
inline void setCustomSize(AppModel &model, qint64 width, qint64 height)
{
    model.setPreset(ResolutionPreset::all().constLast());
    model.setCustomWidth(width);
    model.setCustomHeight(height);
}

// A look of a photo in one colour; the dark one in the dark tone, as a new user gets it.
inline Look solidLook(QColor colour, bool dark = false)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(colour);
    Look look = dark ? Look::initialDark() : Look();
    look.source = Bitmap::fromImage(image);
    return look;
}
