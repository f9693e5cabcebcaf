#include "model/appmodel.h"
#include "sources/photolibrary.h"
#include "support/heicreader.h"
#include "support/loopgap.h"
#include "support/reference.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMimeData>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestExport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void fileName_data();
    void fileName();
    void canExport_data();
    void canExport();
    void missingPictureWritesNothing();
    void exportRunsOffTheMainThread();
    void exportFailureReportsAndWritesNothing();
    void dragData();
    void saveToPhotosLibrary_data();
    void saveToPhotosLibrary();

private:
    static void useSmallCustomSize(AppModel &model);
    QTemporaryDir m_settings;
    QTemporaryDir m_dir;
};

void TestExport::initTestCase()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
}

void TestExport::useSmallCustomSize(AppModel &model)
{
    model.setPreset(ResolutionPreset::all().last());
    model.setCustomWidth(320);
    model.setCustomHeight(180);
}

void TestExport::fileName_data()
{
    QTest::addColumn<std::optional<QString>>("baseName");
    QTest::addColumn<int>("preset");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no base name, 4K")
        << std::optional<QString>() << 6 << "voskan-wallpaper-dynamic-3840x2160.heic";
    QTest::newRow("base name kept as is") << std::optional<QString>(QStringLiteral("Bild.final"))
                                          << 0 << "Bild.final-dynamic-6016x3384.heic";
    QTest::newRow("an empty base name is still used")
        << std::optional<QString>(QString()) << 7 << "-dynamic-1920x1080.heic";
}

void TestExport::fileName()
{
    QFETCH(std::optional<QString>, baseName);
    QFETCH(int, preset);
    QFETCH(QString, expected);
    AppModel model;
    model.applySource(Reference::solid(8, 8, 1, 2, 3), {}, baseName, {}, {}, Appearance::Light);
    model.setPreset(ResolutionPreset::all().at(preset));
    // The dark look's base name never counts.
    model.setEditing(Appearance::Dark);
    model.applySource(Reference::solid(8, 8, 1, 2, 3), {}, QStringLiteral("dunkel"), {}, {},
                      Appearance::Dark);
    QCOMPARE(model.exportFileName(QStringLiteral("heic")), expected);
}

void TestExport::canExport_data()
{
    QTest::addColumn<bool>("lightFlow");
    QTest::addColumn<bool>("darkFlow");
    QTest::addColumn<bool>("expected");
    QTest::newRow("both flow, no photo") << true << true << true;
    QTest::newRow("light blur without photo") << false << true << false;
    QTest::newRow("dark blur without photo") << true << false << false;
}

void TestExport::canExport()
{
    QFETCH(bool, lightFlow);
    QFETCH(bool, darkFlow);
    QFETCH(bool, expected);
    AppModel model;
    model.bind(&Look::style).setValue(lightFlow ? WallpaperStyle::Flow : WallpaperStyle::Blur);
    model.setEditing(Appearance::Dark);
    model.bind(&Look::style).setValue(darkFlow ? WallpaperStyle::Flow : WallpaperStyle::Blur);
    QCOMPARE(model.canExport(), expected);
}

void TestExport::missingPictureWritesNothing()
{
    AppModel model;
    useSmallCustomSize(model);
    model.bind(&Look::style).setValue(WallpaperStyle::Flow); // light renders, dark has no photo
    const QString path = m_dir.filePath(QStringLiteral("nothing.heic"));
    QCOMPARE(model.writeOutput(path), QStringLiteral("Kein Quellbild ausgewählt."));
    QVERIFY(!QFile::exists(path));
    // A light look that cannot render stops before the dark one.
    model.setCustomWidth(100000);
    model.setCustomHeight(100000);
    model.setEditing(Appearance::Dark);
    model.bind(&Look::style).setValue(WallpaperStyle::Flow);
    QCOMPARE(model.writeOutput(path),
             QStringLiteral("Das Wallpaper konnte nicht gerendert werden."));
    QVERIFY(!QFile::exists(path));
}

// The export renders and encodes on a worker; the loop keeps turning and the outcome lands
// on the main thread.
void TestExport::exportRunsOffTheMainThread()
{
    AppModel model;
    model.setCustomWidth(1920);                     // custom only counts with the custom preset
    model.setPreset(ResolutionPreset::all().at(7)); // Full HD
    model.applySource(Reference::photo(QStringLiteral("photo-path-2560x1600.jpg"), 1280, 800),
                      QStringLiteral("p"), QStringLiteral("pfad"), {}, {}, Appearance::Light);
    const QString path = m_dir.filePath(model.exportFileName(QStringLiteral("heic")));
    QSignalSpy exporting(&model, &AppModel::isExportingChanged);
    QSignalSpy finished(&model, &AppModel::exportFinished);
    LoopGapWatch watch;
    model.exportTo(path);
    QVERIFY(model.isExporting());
    QVERIFY(finished.wait(60000));
    watch.stop();
    QVERIFY(!model.isExporting());
    QCOMPARE(exporting.size(), 2);
    QCOMPARE(model.statusMessage(), QStringLiteral("Exportiert: pfad-dynamic-1920x1080.heic"));
    QVERIFY(!model.errorMessage());
    const HeicFile file = readHeic(path);
    QCOMPARE(file.pictures.size(), 2);
    QCOMPARE(file.pictures[0].pixels.size(), QSize(1920, 1080));
    QVERIFY2(watch.longest() < 500,
             qPrintable(QStringLiteral("longest gap %1 ms").arg(watch.longest())));
}

void TestExport::exportFailureReportsAndWritesNothing()
{
    AppModel model;
    useSmallCustomSize(model);
    model.bind(&Look::style).setValue(WallpaperStyle::Flow);
    model.setEditing(Appearance::Dark);
    model.bind(&Look::style).setValue(WallpaperStyle::Flow);
    QSignalSpy finished(&model, &AppModel::exportFinished);
    const QString path = m_dir.filePath(QStringLiteral("missing-folder/out.heic"));
    model.exportTo(path);
    QVERIFY(finished.wait(60000));
    QCOMPARE(model.errorMessage(),
             QStringLiteral("HEIC konnte nicht erstellt werden (HEVC-Encoder nicht verfügbar?)."));
    QVERIFY(!model.statusMessage());
    QVERIFY(!QFile::exists(path));
}

void TestExport::dragData()
{
    AppModel model;
    useSmallCustomSize(model);
    model.bind(&Look::style).setValue(WallpaperStyle::Flow);
    std::unique_ptr<QMimeData> empty(model.makeDragData()); // dark has no photo
    QVERIFY(empty->urls().isEmpty());
    QCOMPARE(model.errorMessage(), QStringLiteral("Kein Quellbild ausgewählt."));

    model.setEditing(Appearance::Dark);
    model.bind(&Look::style).setValue(WallpaperStyle::Flow);
    std::unique_ptr<QMimeData> data(model.makeDragData());
    QCOMPARE(data->urls().size(), 1);
    const QString path = data->urls().first().toLocalFile();
    QCOMPARE(QFileInfo(path).fileName(), QStringLiteral("voskan-wallpaper-dynamic-320x180.heic"));
    QCOMPARE(QFileInfo(path).absolutePath(), QDir(QDir::tempPath()).absolutePath());
    QCOMPARE(readHeic(path).pictures.size(), 2);
    QFile::remove(path);
}

void TestExport::saveToPhotosLibrary_data()
{
    QTest::addColumn<bool>("allow");
    QTest::addColumn<bool>("renderable");
    QTest::newRow("allowed: into the album") << true << true;
    QTest::newRow("not allowed") << false << true;
    QTest::newRow("nothing to render never asks the library") << true << false;
}

void TestExport::saveToPhotosLibrary()
{
    QFETCH(bool, allow);
    QFETCH(bool, renderable);
    QTemporaryDir root;
    QDir(root.path()).mkdir(QStringLiteral("voskan")); // another album than "Voskan"
    auto library = std::make_shared<PhotoLibrary>(root.path());
    int asked = 0;
    library->setPrompt([&](const QString &) {
        ++asked;
        return allow;
    });
    QSettings(QStringLiteral("Voskan"), QStringLiteral("Voskan"))
        .remove(QStringLiteral("PhotoLibrary"));
    AppModel model({{}, library});
    useSmallCustomSize(model);
    model.bind(&Look::style).setValue(WallpaperStyle::Flow);
    if (renderable) {
        model.setEditing(Appearance::Dark);
        model.bind(&Look::style).setValue(WallpaperStyle::Flow);
    }
    const auto leftovers = [] {
        return QDir(QDir::tempPath()).entryList({QStringLiteral("photos-export-*")}, QDir::Files);
    };
    const QStringList before = leftovers();
    QSignalSpy finished(&model, &AppModel::exportFinished);
    for (int round = 0; round < 2; ++round) {
        model.saveToPhotosLibrary();
        QVERIFY(finished.wait(60000));
    }
    QCOMPARE(leftovers(), before);
    const QStringList saved = QDir(root.filePath(QStringLiteral("Voskan"))).entryList(QDir::Files);
    QVERIFY(QDir(root.filePath(QStringLiteral("voskan"))).isEmpty());
    if (!renderable) {
        QCOMPARE(asked, 0);
        QCOMPARE(model.errorMessage(), QStringLiteral("Kein Quellbild ausgewählt."));
        QVERIFY(saved.isEmpty());
    } else if (!allow) {
        QCOMPARE(asked, 1);
        QVERIFY(model.errorMessage()->startsWith(QStringLiteral("Kein Zugriff auf Fotos.")));
        QVERIFY(!QDir(root.filePath(QStringLiteral("Voskan"))).exists());
    } else {
        QCOMPARE(asked, 1); // asked once, remembered
        QCOMPARE(model.statusMessage(), QStringLiteral("In Fotos gesichert (Album „Voskan“)."));
        QCOMPARE(saved.size(), 2); // the second beside the first
        for (const QString &name : saved)
            QCOMPARE(readHeic(root.filePath(QStringLiteral("Voskan/") + name)).pictures.size(), 2);
    }
}

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
