// The model the window shows: its settings, sources, timers, looks and outputs.

#include "files/regularfile.h"
#include "model/secrets.h"
#include "render/imagedecoder.h"
#include "sources/photolibrary.h"
#include "support/dynamicfiles.h"
#include "support/fakes.h"
#include "support/heicreader.h"
#include "support/reference.h"
#include "support/rows.h"
#include "support/scratch.h"

#include <QtGui>

using namespace Qt::StringLiterals;

class TestAppModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home.path());
        qputenv("XDG_DATA_HOME", m_home.filePath(u"share"_s).toLocal8Bit());
    }

    void settingsAcrossLaunches()
    {
        const QString kept = m_home.filePath(u"kept.png"_s);
        QVERIFY(Reference::solid(64, 48, 0, 128, 128).toImage().save(kept));
        QSettings settings(u"Voskan"_s, u"Voskan"_s);
        settings.setValue(u"unsplashAccessKey"_s, u" \tkey-1 "_s);
        settings.setValue(u"recentLocalFiles"_s, QStringList{m_home.filePath(u"weg.png"_s), kept});
        AppModel model;
        QCOMPARE(model.effectiveKey(), u"key-1"_s);
        QCOMPARE(model.recentFiles(), QStringList{kept}); // a vanished file is left out
        model.setAccessKey(u"  abc\n"_s);
        QCOMPARE(settings.value(u"unsplashAccessKey"_s), u"  abc\n"_s); // as typed
        model.setAccessKey(u" \t "_s);
        QCOMPARE(model.effectiveKey(), Secrets::unsplashKey());

        QStringList paths;
        for (int i = 0; i < 25; ++i) {
            QVERIFY(QFile::copy(kept, paths.emplaceBack(m_home.filePath(u"r%1.png"_s.arg(i)))));
            QVERIFY(opened(model, paths.last()));
        }
        QCOMPARE(model.recentFiles().size(), 24);
        QVERIFY(opened(model, paths[10])); // again: to the front, not twice
        QCOMPARE(model.recentFiles().first(), paths[10]);
        QCOMPARE(model.recentFiles().count(paths[10]), 1);
        QCOMPARE(AppModel().recentFiles(), model.recentFiles());

        // A picture that cannot be read changes nothing, not even the list.
        const Look light = model.lightLook(), dark = model.darkLook();
        QVERIFY(opened(model, writeFile(m_home.filePath(u"kaputt.jpg"_s), "\xff\xd8")));
        QCOMPARE(model.errorMessage(), u"Bild konnte nicht geladen werden: kaputt.jpg\n"
                                       u"Das Bild ist beschädigt oder unvollständig."_s);
        QCOMPARE(model.lightLook(), light);
        QCOMPARE(model.darkLook(), dark);
        QCOMPARE(model.recentFiles().first(), paths[10]);
    }

    void startSource_data()
    {
        // stored: the user's key in the settings
        addColumns<QString, QString, SourceKind>({"stored", "builtIn", "start"});
        QTest::newRow("no key anywhere") << u""_s << u""_s << SourceKind::Files;
        QTest::newRow("blanks are no key") << u" \t "_s << u""_s << SourceKind::Files;
        QTest::newRow("a stored key") << u"key-1"_s << u""_s << SourceKind::Unsplash;
        QTest::newRow("a built-in key") << u""_s << u"eingebaut"_s << SourceKind::Unsplash;
    }

    // A first start without a key opens on the files, not on a search that can only fail; a key
    // given or taken later leaves the source as it is.
    void startSource()
    {
        FETCH((QString, stored, builtIn), (SourceKind, start));
        QSettings(u"Voskan"_s, u"Voskan"_s).setValue(u"unsplashAccessKey"_s, stored);
        const auto forget =
            qScopeGuard([] { QSettings(u"Voskan"_s, u"Voskan"_s).remove(u"unsplashAccessKey"_s); });
        AppModel model({}, builtIn);
        QCOMPARE(model.sourceKind(), start);
        QCOMPARE(model.needsAccessKey(), start == SourceKind::Files);
        model.setAccessKey(stored.trimmed().isEmpty() ? u"später"_s : u""_s);
        QCOMPARE(model.sourceKind(), start);
        QCOMPARE(model.needsAccessKey(), !stored.trimmed().isEmpty() && builtIn.isEmpty());
    }

    void openedPictureShowsWithItsSource_data()
    {
        // dynamic: a dynamic wallpaper, else a photo; inPhotos: picked in the photo library, else
        // opened as a file
        addColumns<SourceKind, bool, bool, SourceKind>({"before", "dynamic", "inPhotos", "after"});
        // clang-format off
        QTest::newRow("a photo, from Unsplash") << SourceKind::Unsplash << false << false << SourceKind::Files;
        QTest::newRow("a photo, from Fotos") << SourceKind::Photos << false << false << SourceKind::Files;
        QTest::newRow("a dynamic wallpaper, from Unsplash") << SourceKind::Unsplash << true << false << SourceKind::Files;
        QTest::newRow("a dynamic wallpaper picked in Fotos") << SourceKind::Photos << true << true << SourceKind::Photos;
        // clang-format on
    }

    // A file opened from anywhere shows with „Dateien“, among the recent files; a dynamic
    // wallpaper's pictures are listed only with the source it came from.
    void openedPictureShowsWithItsSource()
    {
        FETCH((SourceKind, before, after), (bool, dynamic, inPhotos));
        QTemporaryDir dir;
        const QString path = dir.filePath(dynamic ? u"Tag.heic"_s : u"Foto.png"_s);
        QVERIFY(dynamic ? writeDynamicHeic(path, solidPictures({Qt::red, Qt::blue}),
                                           scheduleXmp({{"apr", aprTable({0, 1})}}))
                        : Reference::solid(32, 24, 20, 200, 20).toImage().save(path));
        AppModel model({{}, std::make_shared<FakeLibrary>()}, u"eingebaut"_s);
        model.setSourceKind(before);
        if (inPhotos)
            model.selectAlbumAsset({u"tag"_s, path, {}});
        else
            model.openLocalImage(path);
        QTRY_VERIFY(!model.isLoadingSource());
        QCOMPARE(model.errorMessage(), std::nullopt);
        QCOMPARE(model.sourceKind(), after);
        QCOMPARE(model.recentFiles().value(0) == path, !inPhotos);
        QCOMPARE(model.dynamicWallpaper().has_value(), dynamic);
        for (const SourceKind kind : allCases<SourceKind>()) {
            model.setSourceKind(kind);
            QCOMPARE(model.listsDynamicWallpaper(), dynamic && kind == after);
        }
    }

    void sizeFollowsTheScreen_data()
    {
        // chosen before the screen changes: -1 nothing, 0 „Dieser Bildschirm“, else that row of
        // the fixed table; next: the screen then, empty: none left
        addColumns<int, QSize, QString>({"chosen", "next", "size"});
        const QString first = u"Dieser Bildschirm — 1920 × 1200"_s;
        const QString next = u"Dieser Bildschirm — 2560 × 1440"_s;
        // clang-format off
        QTest::newRow("nothing chosen: the new screen") << -1 << QSize(2560, 1440) << next;
        QTest::newRow("„Dieser Bildschirm“ chosen: the new screen") << 0 << QSize(2560, 1440) << next;
        QTest::newRow("a preset chosen stays") << 7 << QSize(2560, 1440) << u"Full HD — 1920 × 1080"_s;
        QTest::newRow("the screen gone: the size stays") << -1 << QSize() << first;
        // clang-format on
    }

    // The output starts at this screen's size once the window knows it, and at the first
    // preset before; a person's choice stays.
    void sizeFollowsTheScreen()
    {
        FETCH((int, chosen), (QSize, next), (QString, size));
        AppModel model;
        QCOMPARE(model.preset(), ResolutionPreset::all().constFirst());
        const auto screen = [](QSize logical) {
            return ResolutionPreset::forScreens(logical.isEmpty()
                                                    ? QList<std::pair<QSize, qreal>>()
                                                    : QList{std::pair(logical, qreal(2))});
        };
        model.setScreenPreset(screen({960, 600}));
        QCOMPARE(model.preset().name, u"Dieser Bildschirm — 1920 × 1200"_s);
        QCOMPARE(model.pixelSize().width, 1920);
        if (chosen >= 0)
            model.setPreset(chosen == 0 ? *model.screenPreset()
                                        : ResolutionPreset::all().at(chosen));
        model.setScreenPreset(screen(next / 2));
        QCOMPARE(model.preset().name, size);
    }

    // The call returns before the picture is decoded; of two overlapping opens only the one asked
    // for last counts, though the other (a broken file) fails before it.
    void opensOnAWorker()
    {
        AppModel model;
        model.openLocalImage(writeFile(m_home.filePath(u"halb.jpg"_s), "\xff\xd8"));
        model.openLocalImage(QStringLiteral(VOSKAN_TESTDATA_DIR "/photo-path-2560x1600.jpg"));
        QVERIFY(model.isLoadingSource() && !model.lightLook().source);
        QTRY_VERIFY(!model.isLoadingSource());
        workerPool()->waitForDone();
        QCoreApplication::processEvents(); // any late answer
        QCOMPARE(model.errorMessage(), std::nullopt);
        QCOMPARE(model.lightLook().source->size(), QSize(2560, 1600));
    }

    // A burst of slider writes renders once, 60 ms after the last.
    void timers()
    {
        AppModel model;
        model.applySource(Reference::solid(64, 40, 90, 120, 200), {}, {}, {}, {},
                          Appearance::Light);
        QSignalSpy renders(&model, &AppModel::previewChanged);
        const Binding<double> blur = model.bind(&Look::blur);
        QElapsedTimer sinceLast;
        for (int i = 0; i < 10; ++i, sinceLast.start())
            blur.setValue(10 + i);
        QCOMPARE(renders.size(), 0); // nothing before the event loop turns
        QVERIFY(renders.wait(10000));
        QCOMPARE_GE(sinceLast.elapsed(), 55);
        // A marker write renders after anything the burst might still have pending.
        blur.setValue(40);
        QVERIFY(renders.wait(10000));
        QCOMPARE(renders.size(), 2);

        // A slider dragged, a change every 10 ms for 0.6 s: the preview follows while it moves, at
        // most every 60 ms, and once after the last change.
        QList<qint64> renderedAt;
        QElapsedTimer drag;
        connect(&model, &AppModel::previewChanged, &model, [&] { renderedAt << drag.elapsed(); });
        int step = 0;
        qint64 lastChange = 0;
        QTimer hand;
        hand.setTimerType(Qt::PreciseTimer);
        connect(&hand, &QTimer::timeout, &model, [&] {
            blur.setValue(20 + step % 30);
            lastChange = drag.elapsed();
            if (++step == 60)
                hand.stop();
        });
        drag.start();
        hand.start(10);
        QTRY_VERIFY_WITH_TIMEOUT(!hand.isActive(), 10000);
        QTest::qWait(300); // the last render is due 60 ms after the last change
        QString seen;
        QDebug(&seen) << "renders at" << renderedAt << "ms, last change at" << lastChange;
        const auto during = std::count_if(renderedAt.cbegin(), renderedAt.cend(),
                                          [&](qint64 t) { return t <= lastChange; });
        QVERIFY2(during >= 2, qPrintable(seen)); // fewer when renders are slow, never none
        QVERIFY2(during <= lastChange / 60 + 1, qPrintable(seen));
        QVERIFY2(renderedAt.constLast() >= lastChange, qPrintable(seen));

        // The status capsule clears 4 s after the last message, not the first.
        sinceLast.invalidate();
        model.setStatusMessage(u"Exportiert: a.heic"_s);
        QTimer::singleShot(1500, &model, [&] {
            model.setStatusMessage(u"Als dynamisches Wallpaper gesetzt."_s);
            sinceLast.start();
        });
        QTRY_VERIFY_WITH_TIMEOUT(sinceLast.isValid() && !model.statusMessage(), 15000);
        QCOMPARE_GE(sinceLast.elapsed(), 3950);
    }

    void search_data()
    {
        // hits: -1: the service answers with the error
        addColumns<QString, int, QString>({"query", "hits", "error"});
        QTest::newRow("hits") << u"  Wiese "_s << 3 << QString();
        QTest::newRow("no hits") << u"Wiese"_s << 0 << u"Keine Treffer für „Wiese“."_s;
        QTest::newRow("the service's message") << u"Wiese"_s << -1 << u"Ungültiger Access-Key."_s;
        QTest::newRow("blank query: no request") << u" \t\u3000"_s << 0 << QString();
    }

    void search()
    {
        FETCH((QString, query, error), (int, hits));
        FakeUnsplash unsplash;
        AppModel model({unsplash.factory(), {}});
        model.setErrorMessage(u"vorher"_s);
        model.setQuery(query);
        model.runSearch();
        QCOMPARE(unsplash.searches.size(), query.trimmed().isEmpty() ? 0 : 1);
        for (const FakeUnsplash::PendingSearch &pending : std::as_const(unsplash.searches)) {
            QVERIFY(model.isSearching());
            QCOMPARE(pending.query, query.trimmed());
            pending.done(hits < 0 ? UnsplashClient::SearchResult(error)
                                  : QList<UnsplashPhoto>(hits));
        }
        QVERIFY(!model.isSearching());
        QCOMPARE(model.errorMessage().value_or(QString()), error);
        QCOMPARE(model.results().size(), std::max(hits, 0));
    }

    void lateAlbumAnswerIsDropped()
    {
        auto library = std::make_shared<FakeLibrary>();
        const PhotoAsset trip{u"t1"_s, {}, {}}, all{u"a1"_s, {}, {}};
        library->assets = {{u"urlaub"_s, {trip}}, {u"alle"_s, {all, trip}}};
        library->assetDelays[u"alle"_s] = 200; // the large album answers after the small one
        AppModel model({{}, library});
        model.loadAlbumAssets(u"alle"_s);
        model.loadAlbumAssets(u"urlaub"_s);
        QTRY_COMPARE(library->assetAnswers, 2);
        QCOMPARE(model.albumAssets().size(), 1);
        QCOMPARE(model.albumAssets().constFirst().id, u"t1"_s);
    }

    void seeding_data()
    {
        // copy: then the button beside the switch
        addColumns<Appearance, bool, bool>({"target", "otherHasPicture", "copy"});
        QTest::newRow("Hell gives Dunkel a copy") << Appearance::Light << false << false;
        QTest::newRow("Dunkel gives Hell a copy") << Appearance::Dark << false << false;
        QTest::newRow("a picture is never overwritten") << Appearance::Light << true << false;
        QTest::newRow("the button copies the tone too") << Appearance::Dark << true << true;
    }

    void seeding()
    {
        FETCH((Appearance, target), (bool, otherHasPicture, copy));
        AppModel model;
        const auto lookOf = [&](Appearance a) {
            return a == Appearance::Dark ? model.darkLook() : model.lightLook();
        };
        model.setEditing(target);
        if (otherHasPicture)
            model.applySource(Reference::solid(40, 30, 9, 200, 30), u"erstes"_s, {}, {}, {},
                              other(target));
        const Look before = lookOf(other(target));
        model.applySource(Reference::solid(40, 30, 200, 9, 30), u"zweites"_s, u"name"_s,
                          u"Foto: A"_s, {}, target);
        model.bind(&Look::brightness).setValue(0.25);
        if (copy)
            model.copyCurrentLookToOther();
        Look expected = otherHasPicture && !copy ? before : lookOf(target);
        if (!copy && !otherHasPicture) // seeded: the picture with the other appearance's tone
            expected.setTone(Tone::defaultFor(other(target)));
        QCOMPARE(lookOf(other(target)), expected);
    }

    void resetPerStyle_data()
    {
        addColumns<WallpaperStyle, bool, bool, bool>({"style", "blurAndTone", "flow", "mirror"});
        QTest::newRow("Blur") << WallpaperStyle::Blur << true << false << false;
        QTest::newRow("Flow: colours and tone stay")
            << WallpaperStyle::Flow << false << true << false;
        QTest::newRow("Spiegel") << WallpaperStyle::Mirror << true << false << true;
    }

    // "Zurücksetzen" puts back the values of the style shown, dither always, colours never; the
    // dark look too gets the light defaults.
    void resetPerStyle()
    {
        FETCH((WallpaperStyle, style), (bool, blurAndTone, flow, mirror));
        AppModel model;
        model.setEditing(Appearance::Dark);
        const Look edited{{},   {},   {},      {},        {},       style, 5,    0.2,  0.5,
                          1.2,  0.9,  Qt::red, Qt::green, Qt::blue, 2,     0.01, 0.02, 0.03,
                          0.04, 0.05, 0.06,    0.07,      0.08,     0.09,  0.1,  0.11, 0.12};
        const auto write = [&](auto... field) { (model.bind(field).setValue(edited.*field), ...); };
        write(&Look::style, &Look::blur, &Look::brightness, &Look::saturation, &Look::contrast,
              &Look::dither, &Look::flowColor0, &Look::flowColor1, &Look::flowColor2,
              &Look::flowBands, &Look::flowAmplitude, &Look::flowFrequency, &Look::flowSharpness,
              &Look::flowEdgeSoftness, &Look::flowPhase, &Look::mirrorLine, &Look::mirrorAmplitude,
              &Look::mirrorFrequency, &Look::mirrorPhase, &Look::mirrorHardness, &Look::mirrorDepth,
              &Look::mirrorSideFade);
        QCOMPARE(model.darkLook(), edited);
        model.resetCurrentLook();
        const Look d;
        Look expected = edited;
        const auto back = [&](bool reset, auto... field) {
            ((expected.*field = reset ? d.*field : expected.*field), ...);
        };
        back(true, &Look::dither);
        back(blurAndTone, &Look::blur, &Look::brightness, &Look::saturation, &Look::contrast);
        back(flow, &Look::flowBands, &Look::flowAmplitude, &Look::flowFrequency,
             &Look::flowSharpness, &Look::flowEdgeSoftness, &Look::flowPhase);
        back(mirror, &Look::mirrorLine, &Look::mirrorAmplitude, &Look::mirrorFrequency,
             &Look::mirrorPhase, &Look::mirrorHardness, &Look::mirrorDepth, &Look::mirrorSideFade);
        QCOMPARE(model.darkLook(), expected);
    }

    void exportTo_data()
    {
        // picture: given to Hell (copied to Dunkel), another to Dunkel; width: × 1080
        addColumns<WallpaperStyle, WallpaperStyle, bool, QString, QString, qint64>(
            {"light", "dark", "picture", "folder", "message", "width"});
        // clang-format off
        QTest::newRow("Flow needs no picture") << WallpaperStyle::Flow << WallpaperStyle::Flow << false << u""_s << u"Exportiert: voskan-wallpaper-dynamic-1920x1080.heic"_s << qint64(1920);
        QTest::newRow("the light look names the file") << WallpaperStyle::Blur << WallpaperStyle::Mirror << true << u""_s << u"Exportiert: Bild.final-dynamic-1920x1080.heic"_s << qint64(1920);
        QTest::newRow("Spiegel without picture in Hell") << WallpaperStyle::Mirror << WallpaperStyle::Flow << false << u""_s << u"Kein Quellbild ausgewählt."_s << qint64(1920);
        QTest::newRow("Blur without picture in Dunkel") << WallpaperStyle::Flow << WallpaperStyle::Blur << false << u""_s << u"Kein Quellbild ausgewählt."_s << qint64(1920);
        QTest::newRow("missing folder") << WallpaperStyle::Flow << WallpaperStyle::Flow << false << u"fehlt/"_s << u"Der Zielordner existiert nicht."_s << qint64(1920);
        QTest::newRow("too large, refused up front") << WallpaperStyle::Flow << WallpaperStyle::Flow << false << u""_s << u"Die Ausgabegröße 20000 × 1080 ist zu groß: jede Seite höchstens 16383 Pixel, zusammen höchstens 100 Megapixel."_s << qint64(20000);
        // clang-format on
    }

    // canExport, the file name, and a failure that leaves the folder as it was.
    void exportTo()
    {
        FETCH((WallpaperStyle, light, dark), (bool, picture), (QString, folder, message),
              (qint64, width));
        AppModel model;
        setCustomSize(model, width, 1080);
        const Bitmap photo = Reference::solid(8, 8, 1, 2, 3);
        if (picture) { // the dark look's name never counts
            model.applySource(photo, {}, u"Bild.final"_s, {}, {}, Appearance::Light);
            model.applySource(photo, {}, u"dunkel"_s, {}, {}, Appearance::Dark);
        }
        model.bind(&Look::style).setValue(light);
        model.setEditing(Appearance::Dark);
        model.bind(&Look::style).setValue(dark);
        const bool ok = message.startsWith(u"Exportiert: "_s);
        QCOMPARE(model.canExport(), message != u"Kein Quellbild ausgewählt."_s);
        QTemporaryDir dir;
        const QString name = model.exportFileName(u"heic"_s);
        QFile old(dir.filePath(folder + name));
        const bool existed = old.open(QIODevice::WriteOnly) && old.write("alt") == 3;
        old.close();
        QSignalSpy finished(model.jobs(), &OutputJobs::finished);
        model.exportTo(old.fileName());
        QVERIFY(!finished.isEmpty() || finished.wait(60000));
        QCOMPARE(ok ? model.statusMessage() : model.errorMessage(), message);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 existed ? QStringList{name} : QStringList());
        QCOMPARE(readHeic(old.fileName()).pictures.size(), ok ? 2 : 0);
        QVERIFY(!existed || ok || contents(old.fileName()) == "alt");
    }

    void outputHoldsTheLooksOfTheClick_data()
    {
        addColumns<bool, QString>({"desktop", "status"});
        QTest::newRow("Als HEIC exportieren")
            << false << u"Exportiert: pfad-dynamic-1920x1080.heic"_s;
        QTest::newRow("Als Schreibtisch setzen") << true << u"Als dynamisches Wallpaper gesetzt."_s;
    }

    // The sliders stay live while the output is written; the file holds the looks of the click.
    void outputHoldsTheLooksOfTheClick()
    {
        FETCH((bool, desktop), (QString, status));
        AppModel model;
        RecordingDesktop *shown = recordDesktop(model);
        model.setPreset(ResolutionPreset::all().at(7)); // Full HD
        model.applySource(Reference::photo(u"photo-path-2560x1600.jpg"_s, 1280, 800), u"p"_s,
                          u"pfad"_s, {}, {}, Appearance::Light);
        const Look clicked = model.lightLook();
        const QString written = desktop ? *createDataFolder() + u"/wallpaper-a.heic"_s
                                        : m_home.filePath(model.exportFileName(u"heic"_s));
        QSignalSpy finished(model.jobs(), &OutputJobs::finished);
        std::optional<bool> heicAtStatus; // a set says so before its HEIC is written
        connect(&model, &AppModel::statusMessageChanged, this,
                [&] { heicAtStatus = heicAtStatus.value_or(QFile::exists(written)); });
        // The event loop keeps serving a 5 ms timer: the work stays off the main thread.
        QElapsedTimer sinceTick;
        qint64 longestGap = 0;
        QTimer ticker;
        ticker.callOnTimeout([&] { longestGap = std::max(longestGap, sinceTick.restart()); });
        sinceTick.start();
        ticker.start(5);
        if (desktop)
            model.setAsDesktop();
        else
            model.exportTo(written);
        QVERIFY(!QFile::exists(written)); // still at work
        model.bind(&Look::brightness).setValue(0.5);
        QVERIFY(finished.wait(120000));
        ticker.stop();
        QCOMPARE(model.statusMessage(), status);
        QCOMPARE(heicAtStatus, std::optional(!desktop));
        QCOMPARE(desktop ? shown->shown.value(0).heic : written, written);
        const HeicFile file = readHeic(written);
        QCOMPARE(file.pictures.size(), 2);
        const auto decoded = Reference::linearize(Bitmap::fromImage(file.pictures[0].pixels));
        const auto differenceTo = [&](const Look &look) {
            return Reference::compare(
                       std::get<Bitmap>(RenderPipeline::renderFull(look, {1920, 1080})), decoded)
                .mean;
        };
        const double atClick = differenceTo(clicked), moved = differenceTo(model.lightLook());
        QVERIFY2(atClick < 3 && moved > 20, qPrintable(u"%1, %2"_s.arg(atClick).arg(moved)));
        QVERIFY2(longestGap < 500, qPrintable(u"longest gap %1 ms"_s.arg(longestGap)));
    }

    void cancelLeavesNothing_data()
    {
        // at: the step seen begun when Abbrechen is pressed
        addColumns<bool, WriteStep, QString>({"desktop", "at", "status"});
        const QString exported = u"Export abgebrochen."_s, set = u"Setzen abgebrochen."_s;
        // clang-format off
        QTest::newRow("export, light render") << false << WriteStep::RenderLight << exported;
        QTest::newRow("export, dark render") << false << WriteStep::RenderDark << exported;
        QTest::newRow("export, light encode") << false << WriteStep::EncodeLight << exported;
        QTest::newRow("export, dark encode") << false << WriteStep::EncodeDark << exported;
        QTest::newRow("set, light render") << true << WriteStep::RenderLight << set;
        QTest::newRow("set, dark render") << true << WriteStep::RenderDark << set;
        QTest::newRow("set, the desktop's pictures") << true << WriteStep::DesktopImages << set;
        // The desktop shows the new picture: stopping now would take it back.
        QTest::newRow("set, once the desktop shows it") << true << WriteStep::EncodeLight << u"Als dynamisches Wallpaper gesetzt."_s;
        // clang-format on
    }

    // Abbrechen at any step: no alert, a short status, and the file, the slot and the desktop
    // as they were; the progress moves forward through the steps of the job, in their order.
    void cancelLeavesNothing()
    {
        FETCH((bool, desktop), (WriteStep, at), (QString, status));
        QTemporaryDir data;
        const auto restore = withEnv("XDG_DATA_HOME", QFile::encodeName(data.path()));
        AppModel model;
        RecordingDesktop *shown = recordDesktop(model);
        model.setPreset(ResolutionPreset::all().at(6)); // 4K UHD: steps long enough to stop in
        model.applySource(Reference::photo(u"photo-path-2560x1600.jpg"_s, 1280, 800), u"p"_s,
                          u"pfad"_s, {}, {}, Appearance::Light);
        QSignalSpy finished(model.jobs(), &OutputJobs::finished);
        const auto folderEntries = [](const QString &path) {
            return QDir(path).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        };
        QTemporaryDir target;
        const QString file = target.filePath(model.exportFileName(u"heic"_s));
        QVERIFY(writeFile(file, "alt") == file);
        QStringList before;
        if (desktop) { // a wallpaper of ours on screen already, in slot a
            model.setAsDesktop();
            QVERIFY(finished.wait(120000));
            finished.clear();
            before = folderEntries(*createDataFolder());
            QCOMPARE(shown->shown.size(), 1);
        }

        QList<double> shares;
        QStringList labels;
        connect(model.jobs(), &OutputJobs::progressChanged, this, [&] {
            if (!model.jobs()->isBusy() || model.jobs()->progressLabel().isEmpty())
                return;
            if (labels.isEmpty() || labels.constLast() != model.jobs()->progressLabel()) {
                labels << model.jobs()->progressLabel();
                shares << model.jobs()->progress();
            }
            if (model.jobs()->progressLabel() == label(at))
                model.cancelOutput();
        });
        model.setStatusMessage(std::nullopt);
        QStringList statuses; // a status clears itself after 4 s, which a slow encode may outlast
        connect(&model, &AppModel::statusMessageChanged, this, [&] {
            if (model.statusMessage())
                statuses << *model.statusMessage();
        });
        if (desktop)
            model.setAsDesktop();
        else
            model.exportTo(file);
        QVERIFY(finished.wait(120000));
        QVERIFY(!model.jobs()->isBusy());
        QCOMPARE(model.errorMessage(), std::optional<QString>());
        QCOMPARE(statuses, QStringList{status});
        QVERIFY2(std::is_sorted(shares.begin(), shares.end()) && !shares.isEmpty() &&
                     shares.constFirst() == 0,
                 qPrintable(labels.join(u", "_s)));
        QList<WriteStep> plan{WriteStep::RenderLight, WriteStep::RenderDark, WriteStep::EncodeLight,
                              WriteStep::EncodeDark};
        if (desktop)
            plan.insert(2, WriteStep::DesktopImages);
        QStringList expected;
        for (WriteStep step : plan) {
            expected << label(step);
            if (step == at)
                break;
        }
        if (status.endsWith(u"abgebrochen."_s))
            expected << u"Wird abgebrochen …"_s;
        QCOMPARE(labels.mid(0, expected.size()), expected);
        if (!desktop) {
            QCOMPARE(folderEntries(target.path()), QStringList{QFileInfo(file).fileName()});
            QCOMPARE(contents(file), "alt"_ba);
        } else if (status.endsWith(u"abgebrochen."_s)) {
            QCOMPARE(shown->shown.size(), 1);
            QCOMPARE(folderEntries(*createDataFolder()), before);
            QCOMPARE(DesktopService::recordedWallpaper(), std::optional(shown->shown[0].heic));
        } else {
            QCOMPARE(shown->shown.size(), 2);
            QVERIFY(QFileInfo(shown->shown[1].heic).size() > 0);
        }
    }

    void dragCarriesTheCurrentLooks_data()
    {
        // edit: 0: none, 1: once the file is ready, 2: while it is written; closed: the model goes
        // while the file is written
        addColumns<int, bool, QString>({"edit", "closed", "error"});
        QTest::newRow("edited after the file was ready") << 1 << false << QString();
        QTest::newRow("edited while it is written") << 2 << false << QString();
        QTest::newRow("window closed while it is written") << 0 << true << QString();
        QTest::newRow("nothing to export") << 0 << false << u"Kein Quellbild ausgewählt."_s;
    }

    // The file is written ahead on a worker; a drag never carries older looks, and nothing written
    // for them stays behind in the temporary folder.
    void dragCarriesTheCurrentLooks()
    {
        FETCH((int, edit), (bool, closed), (QString, error));
        QTemporaryDir tmp;
        const auto restore = withEnv("TMPDIR", QFile::encodeName(tmp.path()));
        auto model = std::make_unique<AppModel>();
        setCustomSize(*model, 640, 360);
        if (error.isEmpty())
            model->applySource(Reference::solid(32, 32, 200, 80, 40), {}, u"ziehen"_s, {}, {},
                               Appearance::Light);
        std::unique_ptr<QMimeData> data;
        if (edit == 1) {
            QTRY_VERIFY_WITH_TIMEOUT(!model->preparedDragFile().isEmpty(), 60000);
            model->bind(&Look::brightness).setValue(0.5);
            QVERIFY(QDir(tmp.path()).isEmpty()); // the file of the old looks
        }
        if (edit != 0 || closed) {
            data.reset(model->makeDragData());
            QVERIFY(!data && model->isPreparingDrag());
        }
        if (edit == 2)
            model->bind(&Look::brightness).setValue(0.5);
        if (closed) {
            model.reset();
            QThreadPool::globalInstance()->waitForDone();
            QVERIFY(QDir(tmp.path()).isEmpty());
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(!model->preparedDragFile().isEmpty() || !error.isEmpty(), 60000);
        QVERIFY(!model->isPreparingDrag());
        data.reset(model->makeDragData());
        QCOMPARE(model->errorMessage().value_or(QString()), error);
        const QString name = error.isEmpty() ? u"ziehen-dynamic-640x360.heic"_s : QString();
        QCOMPARE(data->urls(),
                 name.isEmpty() ? QList<QUrl>() : QList{QUrl::fromLocalFile(tmp.filePath(name))});
        QCOMPARE(data->data(u"application/x-kde-suggestedfilename"_s), name.toUtf8());
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden),
                 name.isEmpty() ? QStringList() : QStringList{name});
        if (name.isEmpty())
            return;
        const HeicFile file = readHeic(tmp.filePath(name));
        QCOMPARE(file.pictures.size(), 2);
        const Bitmap current =
            std::get<Bitmap>(RenderPipeline::renderFull(model->lightLook(), {640, 360}));
        const double difference =
            Reference::compare(current,
                               Reference::linearize(Bitmap::fromImage(file.pictures[0].pixels)))
                .mean;
        QVERIFY2(difference < 3, qPrintable(QString::number(difference)));
    }

    // Abbrechen while a drag waits for its file: nothing is dragged, no alert, and a later drag
    // gets a whole file of the looks — nothing of the one given up is left beside it.
    void dragWaitCancelled()
    {
        QTemporaryDir tmp;
        const auto restore = withEnv("TMPDIR", QFile::encodeName(tmp.path()));
        AppModel model;
        model.setPreset(ResolutionPreset::all().at(6)); // 4K UHD
        model.applySource(Reference::photo(u"photo-path-2560x1600.jpg"_s, 1280, 800), {},
                          u"ziehen"_s, {}, {}, Appearance::Light);
        std::unique_ptr<QMimeData> data(model.makeDragData());
        QVERIFY(!data && model.isPreparingDrag());
        QVERIFY(model.outputProgress().active && model.outputProgress().cancellable);
        model.cancelOutput();
        QVERIFY(!model.isPreparingDrag());
        QVERIFY(!model.outputProgress().active);
        QCOMPARE(model.statusMessage(), std::optional(u"Ziehen abgebrochen."_s));
        data.reset(model.makeDragData());
        QVERIFY(!data && model.isPreparingDrag());
        QTRY_VERIFY_WITH_TIMEOUT(!model.preparedDragFile().isEmpty(), 120000);
        QVERIFY(!model.errorMessage());
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{u"ziehen-dynamic-3840x2160.heic"_s});
        QCOMPARE(readHeic(model.preparedDragFile()).pictures.size(), 2);
    }

    // Three pictures dropped at once open in turn: each is recorded (the last first), the last one
    // shows, and a broken one among them is named without stopping the others.
    void opensDroppedFilesInTurn()
    {
        QStringList files;
        for (int i = 0; i < 3; ++i) {
            files << m_home.filePath(u"drop-%1.png"_s.arg(i));
            QVERIFY(Reference::solid(32, 24, 200, 20, 20).toImage().save(files.last()));
        }
        AppModel model;
        model.openLocalImages(files);
        QTRY_VERIFY(!model.isLoadingSource());
        QCOMPARE(model.recentFiles().mid(0, 3), (QStringList{files[2], files[1], files[0]}));
        QCOMPARE(model.lightLook().baseName, u"drop-2"_s);
        QCOMPARE(model.errorMessage(), std::nullopt);

        const QString broken = writeFile(m_home.filePath(u"kaputt.png"_s), "no picture");
        model.openLocalImages({files[2], broken, files[0]});
        QTRY_VERIFY(!model.isLoadingSource());
        QCOMPARE(model.recentFiles().mid(0, 3), (QStringList{files[0], files[2], files[1]}));
        QCOMPARE(model.lightLook().baseName, u"drop-0"_s);
        QCOMPARE(model.errorMessage(), u"Bild konnte nicht geladen werden: kaputt.png\n"
                                       u"Die Datei ist kein unterstütztes Bild."_s);
    }

    void refusesWhatIsNoFile_data()
    {
        // kind: as nonRegularFile() makes it; inPhotos: picked in the photo library, else opened as
        // files
        addColumns<QString, QString, bool>({"kind", "name", "inPhotos"});
        for (const char *kind : {"FIFO", "socket", "folder", "device"}) {
            QTest::addRow("%s", kind) << kind << u"x.jpg"_s << false;
            QTest::addRow("%s picked in Fotos", kind) << kind << u"x.jpg"_s << true;
        }
        QTest::newRow("FIFO named like a HEIC") << u"FIFO"_s << u"Tag.heic"_s << false;
    }

    // What is no file at all is told at once in the decoder's words, and keeps no thread: the
    // photo opened after two of them still opens. A picture of the library may have become
    // one since it was listed; telling it apart never reads on the model's thread.
    void refusesWhatIsNoFile()
    {
        FETCH((QString, kind, name), (bool, inPhotos));
        QTemporaryDir dir;
        const QString path = nonRegularFile(kind, dir.path(), name);
        QVERIFY(!path.isEmpty());
        const QString photo = dir.filePath(u"Foto.png"_s);
        QVERIFY(Reference::solid(32, 24, 20, 200, 20).toImage().save(photo));
        auto photos = std::make_shared<PhotoLibrary>(dir.path());
        photos->setAccess(true);
        AppModel model({{}, photos}, u"eingebaut"_s);
        if (inPhotos) {
            model.selectAlbumAsset({u"x"_s, path, {}});
            QTRY_COMPARE_WITH_TIMEOUT(model.errorMessage(),
                                      u"Bild konnte nicht aus Fotos geladen werden."_s, 2000);
            return;
        }
        model.openLocalImages({path, path, photo});
        QTRY_VERIFY_WITH_TIMEOUT(!model.isLoadingSource(), 2000);
        QCOMPARE(model.errorMessage(), u"Bild konnte nicht geladen werden: "_s +
                                           QFileInfo(path).fileName() + u'\n' +
                                           description(DecodeError::Unreadable));
        QCOMPARE(model.lightLook().baseName, u"Foto"_s);
    }

    // The window's own image scaling waits for Qt's global pool: no open needs a thread of it,
    // so one kept busy elsewhere holds up neither a photo nor a dynamic wallpaper's picture.
    void opensWithQtsPoolBusy()
    {
        QTemporaryDir dir;
        const QString photo = dir.filePath(u"Foto.png"_s);
        const QString day = dir.filePath(u"Tag.heic"_s);
        QVERIFY(Reference::solid(32, 24, 20, 200, 20).toImage().save(photo));
        QVERIFY(writeDynamicHeic(day, solidPictures({Qt::red, Qt::blue}),
                                 scheduleXmp({{"h24", h24Table({{0, 0}})}})));
        QThreadPool *shared = QThreadPool::globalInstance();
        QSemaphore free;
        const int threads = shared->maxThreadCount();
        for (int i = 0; i < threads; ++i)
            shared->start([&free] { free.tryAcquire(1, 20000); });
        const auto release = qScopeGuard([&] {
            free.release(threads);
            shared->waitForDone();
        });
        AppModel model;
        model.openLocalImage(photo);
        QTRY_COMPARE_WITH_TIMEOUT(model.lightLook().baseName, u"Foto"_s, 5000);
        model.openLocalImage(day);
        QTRY_VERIFY_WITH_TIMEOUT(model.dynamicWallpaper(), 5000);
        model.showDynamicPicture(1);
        QTRY_VERIFY_WITH_TIMEOUT(model.lightLook().source &&
                                     model.lightLook().source->toImage().pixelColor(8, 8).blue() >
                                         200,
                                 5000);
        QCOMPARE(model.errorMessage(), std::nullopt);
    }

private:
    QTemporaryDir m_home;
};

QTEST_GUILESS_MAIN(TestAppModel)
#include "tst_appmodel.moc"
