#include "support/fakes.h"
#include "ui/basesection.h"
#include "ui/searchfield.h"
#include "ui/thumbstrip.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Remembers which albums were listed, to see that nothing is loaded twice.
struct CountingLibrary : FakeLibrary
{
    QStringList assetLoads;
    void loadAssets(const QString &id, std::function<void(QList<PhotoAsset>)> done) override
    {
        assetLoads << id;
        FakeLibrary::loadAssets(id, std::move(done));
    }
};

QList<PhotoAsset> assetsNamed(const QString &prefix, int count)
{
    QList<PhotoAsset> assets;
    for (int i = 0; i < count; ++i)
        assets.append({prefix + QString::number(i),
                       QStringLiteral("/nowhere/%1%2.jpg").arg(prefix).arg(i), QDateTime()});
    return assets;
}

UnsplashPhoto hit(const QString &id)
{
    UnsplashPhoto photo;
    photo.id = id;
    photo.user.name = QStringLiteral("Ada");
    photo.urls.regular = QStringLiteral("https://images.example/%1-regular.jpg").arg(id);
    // Never fetched in these tests: not a web address, so the tile fails at once.
    photo.urls.small = QStringLiteral("about:blank");
    return photo;
}

Bitmap solidBitmap()
{
    QImage image(32, 24, QImage::Format_RGB32);
    image.fill(QColor(90, 120, 200));
    return Bitmap::fromImage(image);
}

} // namespace

class TestBaseSection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void sourcePickerFollowsAndWrites();
    void photosWithoutAnswerOffersToConnect();
    void photosRefused_data();
    void photosRefused();
    void grantingAccessSelectsTheFirstAlbum();
    void choosingAnotherAlbumListsItOnce();
    void albumChosenBeforeShowingIsListedOnce();
    void authorizedWithoutAlbumsShowsNothing();
    void emptyResultsHideOnlyTheStrip();
    void typingWritesTheQueryAndReturnSearches();
    void queryFromElsewhereShowsInTheField();
    void clickingAHitSelectsIt();
    void clickingARecentFileOpensIt();
    void clickingAnAssetSelectsIt();

private:
    template <typename T> static T *child(QWidget &section, const char *name)
    {
        T *widget = section.findChild<T *>(QLatin1String(name));
        if (!widget)
            qWarning("no child %s", name);
        return widget;
    }
    QTemporaryDir m_dir;
};

void TestBaseSection::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Never the real user's settings or caches.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath("settings"));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_dir.filePath("cache")));
}

void TestBaseSection::init()
{
    QSettings(QStringLiteral("Voskan"), QStringLiteral("Voskan")).clear();
}

void TestBaseSection::sourcePickerFollowsAndWrites()
{
    AppModel model;
    BaseImageSection section(&model);
    section.show();
    auto *picker = child<QComboBox>(section, "sourcePicker");
    QVERIFY(picker);
    QCOMPARE(picker->count(), 3);
    const QStringList titles{picker->itemText(0), picker->itemText(1), picker->itemText(2)};
    QCOMPARE(titles, (QStringList{"Unsplash", "Dateien", "Fotos"}));
    QCOMPARE(picker->currentIndex(), 0);
    QVERIFY(child<SearchField>(section, "searchField")->isVisible());
    QVERIFY(!child<QPushButton>(section, "openFileButton")->isVisible());

    picker->setCurrentIndex(1);
    Q_EMIT picker->activated(1);
    QCOMPARE(model.sourceKind(), SourceKind::Files);
    QVERIFY(child<QPushButton>(section, "openFileButton")->isVisible());
    QVERIFY(!child<SearchField>(section, "searchField")->isVisible());
    QVERIFY(!child<QLabel>(section, "unsplashLink")->isVisible());

    model.setSourceKind(SourceKind::Photos);
    QCOMPARE(picker->currentIndex(), 2);
    QVERIFY(!child<QPushButton>(section, "openFileButton")->isVisible());
}

void TestBaseSection::photosWithoutAnswerOffersToConnect()
{
    auto library = std::make_shared<CountingLibrary>();
    AppModel model({{}, library});
    model.setSourceKind(SourceKind::Photos);
    BaseImageSection section(&model);
    section.show();

    auto *connectButton = child<QPushButton>(section, "connectPhotosButton");
    QVERIFY(connectButton->isVisible());
    QCOMPARE(connectButton->text(), QStringLiteral("Fotos-Mediathek verbinden…"));
    for (const char *name : {"photosHint", "albumPicker", "assetStrip", "searchField",
                             "unsplashStrip", "unsplashLink", "openFileButton", "recentStrip"})
        QVERIFY2(!section.findChild<QWidget *>(QLatin1String(name))->isVisible(), name);
}

void TestBaseSection::photosRefused_data()
{
    QTest::addColumn<PhotosAuthStatus>("status");
    QTest::newRow("denied") << PhotosAuthStatus::Denied;
    QTest::newRow("restricted") << PhotosAuthStatus::Restricted;
}

void TestBaseSection::photosRefused()
{
    QFETCH(PhotosAuthStatus, status);
    auto library = std::make_shared<CountingLibrary>();
    library->status = status;
    library->albums = {{QStringLiteral("all"), QStringLiteral("Alle Fotos"), 3}};
    AppModel model({{}, library});
    model.setSourceKind(SourceKind::Photos);
    BaseImageSection section(&model);
    section.show();
    QTest::qWait(20);

    auto *hint = child<QLabel>(section, "photosHint");
    QVERIFY(hint->isVisible());
    QCOMPARE(hint->text(), QStringLiteral("Kein Fotos-Zugriff — in den Einstellungen erlauben."));
    QVERIFY(!child<QComboBox>(section, "albumPicker")->isVisible());
    QVERIFY(!child<QPushButton>(section, "connectPhotosButton")->isVisible());
    QVERIFY(!child<ThumbStrip>(section, "assetStrip")->isVisible());
    QVERIFY(library->assetLoads.isEmpty());
}

void TestBaseSection::grantingAccessSelectsTheFirstAlbum()
{
    auto library = std::make_shared<CountingLibrary>();
    library->albums = {{QStringLiteral("all"), QStringLiteral("Alle Fotos"), 3},
                       {QStringLiteral("trip"), QStringLiteral("Urlaub"), 2}};
    library->assets[QStringLiteral("all")] = assetsNamed(QStringLiteral("a"), 3);
    library->assets[QStringLiteral("trip")] = assetsNamed(QStringLiteral("t"), 2);
    AppModel model({{}, library});
    model.setSourceKind(SourceKind::Photos);
    QVERIFY(model.selectedAlbumID().isEmpty());
    BaseImageSection section(&model);
    section.resize(290, 400);
    section.show();

    QTest::mouseClick(child<QPushButton>(section, "connectPhotosButton"), Qt::LeftButton);
    QTRY_COMPARE(model.albumAssets().size(), 3);
    QCOMPARE(model.photosAuthStatus(), PhotosAuthStatus::Authorized);
    QCOMPARE(model.selectedAlbumID(), QStringLiteral("all"));
    QCOMPARE(library->assetLoads, QStringList{QStringLiteral("all")});

    auto *albums = child<QComboBox>(section, "albumPicker");
    QVERIFY(albums->isVisible());
    QCOMPARE(albums->count(), 2);
    QCOMPARE(albums->itemText(0), QStringLiteral("Alle Fotos"));
    QCOMPARE(albums->itemText(1), QStringLiteral("Urlaub"));
    QCOMPARE(albums->itemData(1).toString(), QStringLiteral("trip"));
    QCOMPARE(albums->currentIndex(), 0);
    auto *strip = child<ThumbStrip>(section, "assetStrip");
    QVERIFY(strip->isVisible());
    QCOMPARE(strip->model()->rowCount(), 3);
    QCOMPARE(strip->model()->index(2, 0).data(ThumbListModel::IdentityRole).toString(),
             QStringLiteral("a2"));
    QVERIFY(!child<QPushButton>(section, "connectPhotosButton")->isVisible());
    QVERIFY(!child<QLabel>(section, "photosHint")->isVisible());
    QVERIFY(section.minimumSizeHint().width() <= 290);
}

void TestBaseSection::choosingAnotherAlbumListsItOnce()
{
    auto library = std::make_shared<CountingLibrary>();
    library->status = PhotosAuthStatus::Authorized;
    library->albums = {{QStringLiteral("all"), QStringLiteral("Alle Fotos"), 3},
                       {QStringLiteral("trip"), QStringLiteral("Urlaub"), 2}};
    library->assets[QStringLiteral("all")] = assetsNamed(QStringLiteral("a"), 3);
    library->assets[QStringLiteral("trip")] = assetsNamed(QStringLiteral("t"), 2);
    AppModel model({{}, library});
    BaseImageSection section(&model);
    section.show();
    QTRY_COMPARE(model.photoAlbums().size(), 2);
    // Albums known while Unsplash is shown: nothing is chosen or listed.
    QVERIFY(library->assetLoads.isEmpty());
    QVERIFY(!child<QComboBox>(section, "albumPicker")->isVisible());

    model.setSourceKind(SourceKind::Photos); // the model takes the first album itself
    QTRY_COMPARE(model.albumAssets().size(), 3);
    auto *albums = child<QComboBox>(section, "albumPicker");
    albums->setCurrentIndex(1);
    Q_EMIT albums->activated(1);
    QCOMPARE(model.selectedAlbumID(), QStringLiteral("trip"));
    QVERIFY(model.albumAssets().isEmpty()); // emptied at once
    QVERIFY(!child<ThumbStrip>(section, "assetStrip")->isVisible());
    QTRY_COMPARE(model.albumAssets().size(), 2);
    QVERIFY(child<ThumbStrip>(section, "assetStrip")->isVisible());
    // Storing the same album again is no change.
    model.setSelectedAlbumID(QStringLiteral("trip"));
    QTest::qWait(20);
    QCOMPARE(library->assetLoads, (QStringList{"all", "trip"}));
    QCOMPARE(albums->currentIndex(), 1);
}

void TestBaseSection::albumChosenBeforeShowingIsListedOnce()
{
    auto library = std::make_shared<CountingLibrary>();
    library->status = PhotosAuthStatus::Authorized;
    library->albums = {{QStringLiteral("all"), QStringLiteral("Alle Fotos"), 3}};
    library->assets[QStringLiteral("all")] = assetsNamed(QStringLiteral("a"), 3);
    AppModel model({{}, library});
    QTRY_COMPARE(model.photoAlbums().size(), 1);
    model.setSourceKind(SourceKind::Photos);
    QCOMPARE(model.selectedAlbumID(), QStringLiteral("all"));

    BaseImageSection section(&model);
    QTest::qWait(20);
    QVERIFY(library->assetLoads.isEmpty());
    section.show();
    QTRY_COMPARE(model.albumAssets().size(), 3);
    section.hide();
    section.show();
    QTest::qWait(20);
    QCOMPARE(library->assetLoads, QStringList{QStringLiteral("all")});
}

void TestBaseSection::authorizedWithoutAlbumsShowsNothing()
{
    auto library = std::make_shared<CountingLibrary>();
    library->status = PhotosAuthStatus::Authorized;
    AppModel model({{}, library});
    model.setSourceKind(SourceKind::Photos);
    BaseImageSection section(&model);
    section.show();
    QTRY_COMPARE(library->albumLoads, 1);
    QTest::qWait(20);
    for (const char *name : {"photosHint", "connectPhotosButton", "albumPicker", "assetStrip"})
        QVERIFY2(!section.findChild<QWidget *>(QLatin1String(name))->isVisible(), name);
    QVERIFY(child<QComboBox>(section, "sourcePicker")->isVisible());
}

void TestBaseSection::emptyResultsHideOnlyTheStrip()
{
    FakeUnsplash unsplash;
    AppModel model({unsplash.factory(), {}});
    BaseImageSection section(&model);
    section.show();
    auto *strip = child<ThumbStrip>(section, "unsplashStrip");
    auto *field = child<SearchField>(section, "searchField");
    auto *link = child<QLabel>(section, "unsplashLink");
    auto *spinner = section.findChild<QWidget *>(QStringLiteral("searchSpinner"));
    QVERIFY(spinner);
    QVERIFY(!strip->isVisible());
    QVERIFY(field->isVisible());
    QVERIFY(link->isVisible());
    QVERIFY(link->text().contains(
        QStringLiteral("https://unsplash.com/?utm_source=voskan&amp;utm_medium=referral")));
    QVERIFY(link->text().contains(QStringLiteral("Fotos von Unsplash")));
    QVERIFY(!spinner->isVisible());

    model.setQuery(QStringLiteral("wald"));
    model.runSearch();
    QVERIFY(spinner->isVisible());
    QCOMPARE(unsplash.searches.size(), 1);
    unsplash.searches.takeFirst().done(QList<UnsplashPhoto>{hit("h1"), hit("h2")});
    QVERIFY(!spinner->isVisible());
    QVERIFY(strip->isVisible());
    QCOMPARE(strip->model()->rowCount(), 2);

    model.runSearch();
    unsplash.searches.takeFirst().done(QList<UnsplashPhoto>{});
    QVERIFY(!strip->isVisible());
    QVERIFY(field->isVisible());
    QVERIFY(link->isVisible());
}

void TestBaseSection::typingWritesTheQueryAndReturnSearches()
{
    FakeUnsplash unsplash;
    AppModel model({unsplash.factory(), {}});
    BaseImageSection section(&model);
    section.show();
    auto *field = child<SearchField>(section, "searchField");
    QCOMPARE(field->placeholderText(), QStringLiteral("Unsplash durchsuchen"));
    QStringList seen;
    connect(&model, &AppModel::queryChanged, &model, [&] { seen << model.query(); });

    QTest::keyClicks(field, QStringLiteral("berg"));
    QCOMPARE(seen, (QStringList{"b", "be", "ber", "berg"}));
    QVERIFY(unsplash.searches.isEmpty());
    QTest::keyClick(field, Qt::Key_Backspace);
    QCOMPARE(model.query(), QStringLiteral("ber"));
    QVERIFY(unsplash.searches.isEmpty());

    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(unsplash.searches.size(), 1);
    QCOMPARE(unsplash.searches.first().query, QStringLiteral("ber"));
    QCOMPARE(field->text(), QStringLiteral("ber"));
}

void TestBaseSection::queryFromElsewhereShowsInTheField()
{
    AppModel model;
    model.setQuery(QStringLiteral("vorher"));
    BaseImageSection section(&model);
    section.show();
    auto *field = child<SearchField>(section, "searchField");
    QCOMPARE(field->text(), QStringLiteral("vorher"));

    model.setQuery(QStringLiteral("Küste"));
    QCOMPARE(field->text(), QStringLiteral("Küste"));

    // The same text stored again leaves the caret where the user put it.
    field->setCursorPosition(2);
    model.setQuery(QStringLiteral("Küste"));
    QCOMPARE(field->cursorPosition(), 2);
    QCOMPARE(model.query(), QStringLiteral("Küste"));
}

void TestBaseSection::clickingAHitSelectsIt()
{
    FakeUnsplash unsplash;
    AppModel model({unsplash.factory(), {}});
    BaseImageSection section(&model);
    section.resize(290, 300);
    section.show();
    QVERIFY(QTest::qWaitForWindowExposed(&section));
    model.setQuery(QStringLiteral("wald"));
    model.runSearch();
    unsplash.searches.takeFirst().done(QList<UnsplashPhoto>{hit("h1"), hit("h2")});
    auto *strip = child<ThumbStrip>(section, "unsplashStrip");
    QTRY_VERIFY(strip->visualRect(strip->model()->index(1, 0)).isValid());

    QTest::mouseClick(strip->viewport(), Qt::LeftButton, {},
                      strip->visualRect(strip->model()->index(1, 0)).center());
    QCOMPARE(unsplash.pending.size(), 1);
    QCOMPARE(unsplash.pending.first().url, QStringLiteral("https://images.example/h2-regular.jpg"));
    QVERIFY(!strip->isSelected(1));
    unsplash.pending.takeFirst().done(solidBitmap());
    QCOMPARE(model.currentLook().photoID, std::optional<QString>(QStringLiteral("h2")));
    QVERIFY(strip->isSelected(1));
    QVERIFY(!strip->isSelected(0));
    // The ring follows the look being edited.
    model.setEditing(Appearance::Dark);
    model.bind(&Look::photoID).setValue(std::optional<QString>(QStringLiteral("h1")));
    QVERIFY(strip->isSelected(0));
    QVERIFY(!strip->isSelected(1));
    model.setEditing(Appearance::Light);
    QVERIFY(strip->isSelected(1));
}

void TestBaseSection::clickingARecentFileOpensIt()
{
    QTemporaryDir dir;
    QStringList paths;
    for (const char *name : {"eins.png", "zwei.png"}) {
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        paths << dir.filePath(QLatin1String(name));
        QVERIFY(image.save(paths.last()));
    }
    QSettings(QStringLiteral("Voskan"), QStringLiteral("Voskan"))
        .setValue(QStringLiteral("recentLocalFiles"), paths);
    AppModel model;
    QCOMPARE(model.recentFiles(), paths);
    model.setSourceKind(SourceKind::Files);
    BaseImageSection section(&model);
    section.resize(290, 300);
    section.show();
    QVERIFY(QTest::qWaitForWindowExposed(&section));
    auto *strip = child<ThumbStrip>(section, "recentStrip");
    QVERIFY(strip->isVisible());
    QCOMPARE(strip->model()->index(1, 0).data(Qt::ToolTipRole).toString(),
             QStringLiteral("zwei.png"));
    QTRY_VERIFY(strip->visualRect(strip->model()->index(1, 0)).isValid());

    QTest::mouseClick(strip->viewport(), Qt::LeftButton, {},
                      strip->visualRect(strip->model()->index(1, 0)).center());
    QCOMPARE(model.currentLook().photoID, std::optional<QString>(paths.at(1)));
    // Opening moves the file to the front; the ring goes with it.
    QCOMPARE(model.recentFiles().first(), paths.at(1));
    QCOMPARE(strip->model()->index(0, 0).data(ThumbListModel::IdentityRole).toString(),
             paths.at(1));
    QVERIFY(strip->isSelected(0));
    QVERIFY(!strip->isSelected(1));
}

void TestBaseSection::clickingAnAssetSelectsIt()
{
    auto library = std::make_shared<CountingLibrary>();
    library->status = PhotosAuthStatus::Authorized;
    library->albums = {{QStringLiteral("all"), QStringLiteral("Alle Fotos"), 3}};
    library->assets[QStringLiteral("all")] = assetsNamed(QStringLiteral("a"), 3);
    library->pictures[QStringLiteral("a2")] = solidBitmap();
    AppModel model({{}, library});
    QTRY_COMPARE(model.photoAlbums().size(), 1);
    model.setSourceKind(SourceKind::Photos);
    BaseImageSection section(&model);
    section.resize(290, 300);
    section.show();
    QVERIFY(QTest::qWaitForWindowExposed(&section));
    auto *strip = child<ThumbStrip>(section, "assetStrip");
    QTRY_VERIFY(strip->isVisible());
    QTRY_VERIFY(strip->visualRect(strip->model()->index(2, 0)).isValid());

    QTest::mouseClick(strip->viewport(), Qt::LeftButton, {},
                      strip->visualRect(strip->model()->index(2, 0)).center());
    QTRY_COMPARE(model.currentLook().photoID, std::optional<QString>(QStringLiteral("a2")));
    QVERIFY(strip->isSelected(2));
    QVERIFY(!strip->isSelected(0));
}

QTEST_MAIN(TestBaseSection)
#include "tst_basesection.moc"
