#include "sources/unsplashservice.h"
#include "support/testhttpserver.h"
#include "ui/thumbstrip.h"

#include <QAbstractNetworkCache>
#include <QApplication>
#include <QBuffer>
#include <QNetworkAccessManager>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A thumbnail source that answers only when the test says so and records what was asked.
struct FakeThumbnails
{
    struct Request
    {
        ThumbnailSource::RequestId id;
        QString path;
        std::function<void(QImage)> deliver;
    };
    QList<Request> requests;
    QList<ThumbnailSource::RequestId> cancelled;
    ThumbnailSource::RequestId next = 1;

    ThumbnailSource source()
    {
        return {[this](const QString &path, std::function<void(QImage)> deliver) {
                    requests.append({next, path, std::move(deliver)});
                    return next++;
                },
                [this](ThumbnailSource::RequestId id) { cancelled << id; }};
    }
    int requestsFor(const QString &path) const
    {
        return int(std::count_if(requests.cbegin(), requests.cend(),
                                 [&](const Request &r) { return r.path == path; }));
    }
    // The newest request for `path`, or null.
    const Request *latest(const QString &path) const
    {
        for (auto it = requests.crbegin(); it != requests.crend(); ++it)
            if (it->path == path)
                return &*it;
        return nullptr;
    }
};

QList<PhotoAsset> makeAssets(int count)
{
    QList<PhotoAsset> assets;
    for (int i = 0; i < count; ++i)
        assets.append({QStringLiteral("asset-%1").arg(i), QStringLiteral("/pics/%1.jpg").arg(i),
                       QDateTime()});
    return assets;
}

// A strip of `count` album pictures, `width` wide, on screen, its thumbnails from the fake.
struct AssetStrip
{
    FakeThumbnails fake;
    AssetThumbModel *model = new AssetThumbModel(fake.source());
    ThumbStrip strip{model};

    AssetStrip(int width, int count)
    {
        strip.resize(width, strip.height());
        model->setAssets(makeAssets(count));
        strip.show();
    }
    bool exposed() { return QTest::qWaitForWindowExposed(&strip); }
};

UnsplashPhoto makePhoto(const QString &id, const QString &small = {})
{
    UnsplashPhoto photo;
    photo.id = id;
    photo.user.name = QStringLiteral("Ada Muster");
    photo.urls.small = small;
    return photo;
}

QImage solid(const QColor &color, QSize size = {400, 300})
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

QByteArray png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The colour in the middle of a tile's top-left area: clear of the rounded corner, the ring
// and the spinner in the centre.
QColor tileBody(const QImage &grab, const QRect &item)
{
    return grab.pixelColor(item.left() + 12, item.top() + ThumbStrip::kTileMargin + 12);
}

bool near(const QColor &a, const QColor &b, int tolerance = 3)
{
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

QImage grabStrip(ThumbStrip &strip)
{
    return strip.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

class TestThumbStrip : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void tooltips_data();
    void tooltips();
    void placeholder_data();
    void placeholder();
    void onlyVisibleTilesAskForPictures();
    void scrollingCancelsAndAsksAgain();
    void selectionRing_data();
    void selectionRing();
    void clickReportsTheRow();
    void unsplashTile_data();
    void unsplashTile();
    void searchRepliesStayOutOfTheDiskCache();
    void recentFiles();

private:
    QTemporaryDir m_cache;
};

void TestThumbStrip::initTestCase()
{
    QVERIFY(m_cache.isValid());
    // The disk cache of remote thumbnails and the shared thumbnail cache go here.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_cache.path()));
}

void TestThumbStrip::tooltips_data()
{
    QTest::addColumn<std::optional<QString>>("description");
    QTest::addColumn<std::optional<QString>>("altDescription");
    QTest::addColumn<QString>("expected");

    const std::optional<QString> none;
    const auto text = [](const char *s) { return std::optional<QString>(QString::fromUtf8(s)); };
    QTest::newRow("description") << text("Nebel über dem See") << text("a lake")
                                 << "Nebel über dem See";
    QTest::newRow("alt only") << none << text("a lake in fog") << "a lake in fog";
    QTest::newRow("neither") << none << none << "Foto von Ada Muster";
    // Presence decides: an empty description is still the caption.
    QTest::newRow("empty description") << text("") << text("a lake") << "";
    QTest::newRow("empty alt") << none << text("") << "";
}

void TestThumbStrip::tooltips()
{
    QFETCH(std::optional<QString>, description);
    QFETCH(std::optional<QString>, altDescription);
    QFETCH(QString, expected);

    UnsplashPhoto photo = makePhoto(QStringLiteral("p1"));
    photo.description = description;
    photo.altDescription = altDescription;
    UnsplashThumbModel model;
    model.setPhotos({photo});
    QCOMPARE(model.index(0).data(Qt::ToolTipRole).toString(), expected);

    // A recent file shows its name, not its folder.
    RecentFileThumbModel files(FakeThumbnails().source());
    files.setPaths({QStringLiteral("/home/ada/Bilder/Urlaub 2024/Strand.heic")});
    QCOMPARE(files.index(0).data(Qt::ToolTipRole).toString(), QStringLiteral("Strand.heic"));
}

void TestThumbStrip::placeholder_data()
{
    QTest::addColumn<std::optional<QString>>("color");
    QTest::addColumn<QColor>("expected"); // invalid: the neutral grey

    QTest::newRow("missing") << std::optional<QString>() << QColor();
    QTest::newRow("valid") << std::optional<QString>(QStringLiteral("#d94020"))
                           << QColor(0xd9, 0x40, 0x20);
    QTest::newRow("short form") << std::optional<QString>(QStringLiteral("#d42")) << QColor();
    QTest::newRow("garbage") << std::optional<QString>(QStringLiteral("rot")) << QColor();
}

void TestThumbStrip::placeholder()
{
    QFETCH(std::optional<QString>, color);
    QFETCH(QColor, expected);

    // A server that never answers keeps the tile loading.
    TestHttpServer server;
    QVERIFY(server.start());
    TestHttpServer::Response silent;
    silent.mode = TestHttpServer::Response::Body::Silent;
    silent.declaredLength = 5000; // promised, never sent
    server.setResponse("/small.jpg", silent);

    UnsplashPhoto photo = makePhoto(QStringLiteral("p1"), server.url("/small.jpg").toString());
    photo.color = color;
    auto *model = new UnsplashThumbModel;
    ThumbStrip strip(model);
    strip.resize(200, strip.height());
    model->setPhotos({photo});
    strip.show();
    QVERIFY(QTest::qWaitForWindowExposed(&strip));
    QTRY_COMPARE(server.requests().size(), 1);

    const QModelIndex index = model->index(0);
    QVERIFY(index.data(ThumbListModel::LoadingRole).toBool());
    QVERIFY(!index.data(ThumbListModel::FailedRole).toBool());
    QTRY_VERIFY(strip.isAnimating());
    const QColor fill = index.data(ThumbListModel::PlaceholderRole).value<QColor>();
    const QImage grab = grabStrip(strip);
    const QColor painted = tileBody(grab, strip.visualRect(index));
    if (expected.isValid()) {
        QCOMPARE(fill.rgba(), expected.rgba());
        QVERIFY2(near(painted, expected), qPrintable(painted.name()));
    } else {
        QCOMPARE(fill.rgb(), QColor(Qt::gray).rgb());
        QCOMPARE(fill.alpha(), 51);
        // Grey at 0.2 over whatever is behind the strip, sampled in the gap after the tile.
        const QRect item = strip.visualRect(index);
        const QColor back = grab.pixelColor(item.right() - 2, item.top() + 20);
        const QColor grey(Qt::gray);
        const QColor blend(qRound(back.red() * 0.8 + grey.red() * 0.2),
                           qRound(back.green() * 0.8 + grey.green() * 0.2),
                           qRound(back.blue() * 0.8 + grey.blue() * 0.2));
        QVERIFY2(near(painted, blend), qPrintable(painted.name() + " " + blend.name()));
    }
}

void TestThumbStrip::onlyVisibleTilesAskForPictures()
{
    FakeThumbnails fake;
    auto *model = new AssetThumbModel(fake.source());
    ThumbStrip strip(model);
    strip.resize(200, strip.height());
    model->setAssets(makeAssets(500));
    QTest::qWait(20);
    QVERIFY2(fake.requests.isEmpty(), "a strip not on screen loads nothing");

    strip.show();
    QVERIFY(QTest::qWaitForWindowExposed(&strip));
    QTRY_VERIFY(!fake.requests.isEmpty());
    QTest::qWait(50);
    // 200 px hold four tiles of 60 px, the fourth in part.
    QCOMPARE(fake.requests.size(), 4);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(fake.requestsFor(QStringLiteral("/pics/%1.jpg").arg(i)), 1);
    QVERIFY(fake.cancelled.isEmpty());
    QVERIFY2(!strip.isAnimating(), "library tiles show no spinner");

    // Hiding the strip withdraws what is still open.
    strip.hide();
    QTRY_COMPARE(fake.cancelled.size(), 4);
}

void TestThumbStrip::scrollingCancelsAndAsksAgain()
{
    AssetStrip shown(200, 50);
    QVERIFY(shown.exposed());
    auto &[fake, model, strip] = shown;
    const QString first = QStringLiteral("/pics/0.jpg");
    const QString second = QStringLiteral("/pics/1.jpg");
    const QString last = QStringLiteral("/pics/49.jpg");
    QTRY_COMPARE(fake.requestsFor(first), 1);
    QTRY_COMPARE(fake.requestsFor(second), 1);

    // The first tile gets its picture, the second is still waiting when both scroll away.
    const ThumbnailSource::RequestId secondId = fake.latest(second)->id;
    fake.latest(first)->deliver(solid(Qt::blue, {120, 80}));
    QVERIFY(!model->index(0).data(ThumbListModel::ImageRole).value<QImage>().isNull());

    strip.horizontalScrollBar()->setValue(strip.horizontalScrollBar()->maximum());
    QTRY_COMPARE(fake.requestsFor(last), 1);
    QVERIFY(fake.cancelled.contains(secondId));
    QCOMPARE(fake.cancelled.size(), 3); // rows 1, 2 and 3; row 0 had its answer
    QVERIFY(fake.requests.size() < 15);
    QVERIFY2(!model->index(0).data(ThumbListModel::ImageRole).value<QImage>().isNull(),
             "a picture stays when its tile scrolls away");

    // Back again: each tile asks anew, also the one with a picture.
    strip.horizontalScrollBar()->setValue(0);
    QTRY_COMPARE(fake.requestsFor(first), 2);
    QTRY_COMPARE(fake.requestsFor(second), 2);
    // A null answer changes nothing.
    fake.latest(first)->deliver(QImage());
    const QImage kept = model->index(0).data(ThumbListModel::ImageRole).value<QImage>();
    QVERIFY(!kept.isNull());
    QCOMPARE(kept.pixelColor(0, 0), QColor(Qt::blue));
    fake.latest(second)->deliver(QImage());
    QVERIFY(model->index(1).data(ThumbListModel::ImageRole).value<QImage>().isNull());
}

void TestThumbStrip::selectionRing_data()
{
    QTest::addColumn<QString>("selected");
    QTest::addColumn<bool>("ringOnFirst");

    QTest::newRow("first") << QStringLiteral("asset-0") << true;
    QTest::newRow("other") << QStringLiteral("asset-1") << false;
    QTest::newRow("unknown") << QStringLiteral("asset-x") << false;
    QTest::newRow("none") << QString() << false;
}

void TestThumbStrip::selectionRing()
{
    QFETCH(QString, selected);
    QFETCH(bool, ringOnFirst);

    FakeThumbnails fake;
    auto *model = new AssetThumbModel(fake.source());
    ThumbStrip strip(model);
    QPalette palette = strip.palette();
    palette.setColor(QPalette::Highlight, QColor(255, 0, 255));
    strip.setPalette(palette);
    strip.setSelectionProvider([selected]() -> std::optional<QString> {
        return selected.isEmpty() ? std::nullopt : std::optional<QString>(selected);
    });
    strip.resize(200, strip.height());
    model->setAssets(makeAssets(3));
    strip.show();
    QVERIFY(QTest::qWaitForWindowExposed(&strip));
    QTRY_COMPARE(fake.requests.size(), 3);
    for (const auto &request : fake.requests)
        request.deliver(solid(QColor(0, 128, 0)));

    QCOMPARE(strip.isSelected(0), ringOnFirst);
    QCOMPARE(strip.isSelected(1), selected == QStringLiteral("asset-1"));
    const QImage grab = grabStrip(strip);
    const QRect item = strip.visualRect(model->index(0));
    const int middle = item.top() + ThumbStrip::kTileMargin + ThumbStrip::kTileSize / 2;
    // The ring lies inside the tile: its outermost pixel column carries it.
    const QColor edge = grab.pixelColor(item.left() + 1, middle);
    const QColor inner = grab.pixelColor(item.left() + 8, middle);
    QVERIFY2(near(inner, QColor(0, 128, 0)), qPrintable(inner.name()));
    if (ringOnFirst)
        QVERIFY2(near(edge, QColor(255, 0, 255), 40), qPrintable(edge.name()));
    else
        QVERIFY2(near(edge, QColor(0, 128, 0)), qPrintable(edge.name()));
}

void TestThumbStrip::clickReportsTheRow()
{
    AssetStrip shown(300, 4);
    QVERIFY(shown.exposed());
    auto &[fake, model, strip] = shown;
    QSignalSpy clicked(&strip, &ThumbStrip::tileClicked);
    QTRY_VERIFY(strip.visualRect(model->index(2)).isValid());
    QTest::mouseClick(strip.viewport(), Qt::LeftButton, {},
                      strip.visualRect(model->index(2)).center());
    QCOMPARE(clicked.size(), 1);
    QCOMPARE(clicked.first().first().toInt(), 2);
}

void TestThumbStrip::unsplashTile_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("loads");

    QTest::newRow("picture") << QByteArray("/picture.png") << true;
    QTest::newRow("error page") << QByteArray("/missing.png") << false;
    QTest::newRow("no picture") << QByteArray("/text.png") << false;
    QTest::newRow("larger than the cap") << QByteArray("/huge.png") << false;
    QTest::newRow("not the web") << QByteArray("file") << false;
}

void TestThumbStrip::unsplashTile()
{
    QFETCH(QByteArray, path);
    QFETCH(bool, loads);

    TestHttpServer server;
    QVERIFY(server.start());
    TestHttpServer::Response picture;
    picture.headers = {{"Content-Type", "image/png"}, {"Cache-Control", "max-age=3600"}};
    picture.body = png(solid(QColor(200, 30, 30), {600, 400}));
    server.setResponse("/picture.png", picture);
    TestHttpServer::Response text = picture;
    text.body = "<html>kein Bild</html>";
    server.setResponse("/text.png", text);
    TestHttpServer::Response huge;
    huge.headers = {{"Content-Type", "image/png"}};
    huge.mode = TestHttpServer::Response::Body::Endless;
    huge.body = QByteArray(64 * 1024, 'x');
    server.setResponse("/huge.png", huge);

    const QString url = path == "file" ? QStringLiteral("file:///etc/hostname")
                                       : server.url(QString::fromLatin1(path)).toString();
    UnsplashPhoto photo = makePhoto(QStringLiteral("p1"), url);
    photo.color = QStringLiteral("#203040");
    auto *model = new UnsplashThumbModel;
    ThumbStrip strip(model);
    strip.resize(200, strip.height());
    model->setPhotos({photo});
    strip.show();
    QVERIFY(QTest::qWaitForWindowExposed(&strip));

    const QModelIndex index = model->index(0);
    QTRY_VERIFY_WITH_TIMEOUT(!index.data(ThumbListModel::LoadingRole).toBool(), 20000);
    QVERIFY(!strip.isAnimating());
    const QImage image = index.data(ThumbListModel::ImageRole).value<QImage>();
    QCOMPARE(!image.isNull(), loads);
    QCOMPARE(index.data(ThumbListModel::FailedRole).toBool(), !loads);
    const QImage grab = grabStrip(strip);
    if (loads) {
        QCOMPARE(image.size(), QSize(240, 160)); // scaled while decoding
        QVERIFY(near(tileBody(grab, strip.visualRect(index)), QColor(200, 30, 30)));
    } else {
        // Grey, not the hit's colour, and the photo symbol in the middle.
        const QColor fill = index.data(ThumbListModel::PlaceholderRole).value<QColor>();
        QCOMPARE(fill.alpha(), 51);
        const QColor body = tileBody(grab, strip.visualRect(index));
        QVERIFY(!near(body, QColor(0x20, 0x30, 0x40), 10));
    }
}

void TestThumbStrip::searchRepliesStayOutOfTheDiskCache()
{
    TestHttpServer server;
    QVERIFY(server.start());
    TestHttpServer::Response picture;
    picture.headers = {{"Content-Type", "image/png"}, {"Cache-Control", "max-age=3600"}};
    picture.body = png(solid(QColor(10, 200, 30)));
    server.setResponse("/cached.png", picture);
    TestHttpServer::Response results =
        TestHttpServer::Response::json(R"({"total":0,"total_pages":0,"results":[]})");
    results.headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("max-age=3600")));
    server.setResponse("/search/photos", results);
    qputenv(UnsplashService::kApiUrlVariable, server.url().toString().toUtf8());

    // A thumbnail is written to the cache ...
    auto *model = new UnsplashThumbModel;
    ThumbStrip strip(model);
    model->setPhotos({makePhoto(QStringLiteral("c1"), server.url("/cached.png").toString())});
    strip.show();
    QVERIFY(QTest::qWaitForWindowExposed(&strip));
    QTRY_VERIFY(!model->index(0).data(ThumbListModel::ImageRole).value<QImage>().isNull());
    QAbstractNetworkCache *cache = sharedNetworkAccessManager()->cache();
    QVERIFY(cache);
    QTRY_VERIFY(cache->metaData(server.url("/cached.png")).isValid());

    // ... and comes from there the next time, without the network.
    const qsizetype served = server.requests().size();
    model->setPhotos({});
    model->setPhotos({makePhoto(QStringLiteral("c1"), server.url("/cached.png").toString())});
    QTRY_VERIFY(!model->index(0).data(ThumbListModel::ImageRole).value<QImage>().isNull());
    QCOMPARE(server.requests().size(), served);

    // A search is not, and a second one goes out again.
    bool answered = false;
    UnsplashService service(QStringLiteral("key"));
    for (int round = 0; round < 2; ++round) {
        answered = false;
        service.search(QStringLiteral("nebel"), [&answered](UnsplashService::SearchResult result) {
            QVERIFY(std::holds_alternative<QList<UnsplashPhoto>>(result));
            answered = true;
        });
        QTRY_VERIFY(answered);
    }
    QList<TestHttpServer::Request> searches;
    for (const auto &request : server.requests())
        if (request.path == "/search/photos")
            searches << request;
    QCOMPARE(searches.size(), 2);
    QUrl searchUrl = server.url("/search/photos");
    searchUrl.setQuery(QString::fromLatin1(searches.first().rawQuery));
    QVERIFY(!cache->metaData(searchUrl).isValid());
    qunsetenv(UnsplashService::kApiUrlVariable);
}

void TestThumbStrip::recentFiles()
{
    QTemporaryDir dir;
    const QString readable = dir.filePath(QStringLiteral("Strand.png"));
    QVERIFY(solid(QColor(20, 40, 220), {800, 600}).save(readable));
    const QString broken = dir.filePath(QStringLiteral("kaputt.jpg"));
    QFile file(broken);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("kein JPEG");
    file.close();

    // Through the real thumbnail manager: the readable file gets a picture, the broken one
    // keeps its spinner.
    auto *model = new RecentFileThumbModel;
    ThumbStrip strip(model);
    strip.resize(200, strip.height());
    model->setPaths({readable, broken});
    strip.show();
    QVERIFY(QTest::qWaitForWindowExposed(&strip));
    QTRY_VERIFY_WITH_TIMEOUT(
        !model->index(0).data(ThumbListModel::ImageRole).value<QImage>().isNull(), 20000);
    const QImage image = model->index(0).data(ThumbListModel::ImageRole).value<QImage>();
    QCOMPARE(std::max(image.width(), image.height()), 240);
    QVERIFY(!model->index(0).data(ThumbListModel::LoadingRole).toBool());
    QCOMPARE(model->index(1).data(ThumbListModel::IdentityRole).toString(), broken);

    // The broken file's answer, observed through a fake: null leaves grey with a spinner, and
    // it is not asked for again on every scroll.
    FakeThumbnails fake;
    auto *faked = new RecentFileThumbModel(fake.source());
    ThumbStrip other(faked);
    other.resize(200, other.height());
    faked->setPaths({broken});
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    QTRY_COMPARE(fake.requests.size(), 1);
    fake.requests.first().deliver(QImage());
    QVERIFY(faked->index(0).data(ThumbListModel::LoadingRole).toBool());
    QVERIFY(faked->index(0).data(ThumbListModel::ImageRole).value<QImage>().isNull());
    QTRY_VERIFY(other.isAnimating());
    other.hide();
    other.show();
    QTest::qWait(30);
    QCOMPARE(fake.requests.size(), 1);
}

QTEST_MAIN(TestThumbStrip)
#include "tst_thumbstrip.moc"
