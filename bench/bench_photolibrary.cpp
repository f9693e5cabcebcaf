// Listing a large Pictures folder: the album list and the newest 200 pictures of 20,000
// files, from the call to the answer on the main thread.

#include "sources/photolibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int kFiles = 20'000;

QTemporaryDir &settingsDir()
{
    static QTemporaryDir dir;
    return dir;
}

// 20,000 tiny JPEGs, half of them loose in the root and half spread over 20 albums, so both
// the recursive walk and the album counting see the full load. Built once.
const QString &library()
{
    static QTemporaryDir dir;
    static const bool built = [] {
        QImage pixel(1, 1, QImage::Format_RGB32);
        pixel.fill(Qt::gray);
        const QString seed = dir.filePath(QStringLiteral("seed.jpg"));
        if (!pixel.save(seed, "JPG"))
            return false;
        for (int i = 1; i < kFiles; ++i) {
            const QString folder =
                i % 2 ? dir.path() : dir.filePath(QStringLiteral("Album %1").arg(i % 20));
            QDir().mkpath(folder);
            if (!QFile::copy(seed, QDir(folder).filePath(QStringLiteral("%1.jpg").arg(i))))
                return false;
        }
        return true;
    }();
    static const QString path = built ? dir.path() : QString();
    return path;
}

template <typename T, typename Start> void await(Start start)
{
    bool answered = false;
    start([&](T) { answered = true; });
    while (!answered)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

bool libraryReady(benchmark::State &state)
{
    if (library().isEmpty())
        state.SkipWithError("could not build the library");
    return !library().isEmpty();
}

void BM_ListAlbums(benchmark::State &state)
{
    if (!libraryReady(state))
        return;
    PhotoLibrary photos(library());
    photos.setAccess(true);
    for (auto _ : state) {
        await<QList<PhotoAlbum>>([&](auto done) { photos.loadAlbums(done); });
    }
}

void BM_ListAllPhotos(benchmark::State &state)
{
    if (!libraryReady(state))
        return;
    PhotoLibrary photos(library());
    photos.setAccess(true);
    for (auto _ : state) {
        await<QList<PhotoAsset>>(
            [&](auto done) { photos.loadAssets(PhotoLibrary::kAllPhotosId, done); });
    }
}

} // namespace

BENCHMARK(BM_ListAlbums)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ListAllPhotos)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir().path());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
