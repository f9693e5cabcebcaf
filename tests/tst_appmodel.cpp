// The model the window shows: its settings, sources, timers, looks and outputs.

#include "files/regularfile.h"
#include "model/lookfields.h"
#include "model/palette.h"
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

#include <sys/mount.h>

using namespace Qt::StringLiterals;

namespace {

using Screens = QList<std::pair<QSize, qreal>>; // logical size and ratio of each

// The photo most outputs here are made of, as the light look's picture.
void applyPath(AppModel &model, const QString &baseName = u"pfad"_s)
{
    model.applySource(Reference::photo(u"photo-path-2560x1600.jpg"_s, 1280, 800), u"p"_s, baseName,
                      {}, {}, Appearance::Light);
}

// Exports to `path`, or sets the desktop, and waits until the job has ended.
bool output(AppModel &model, bool desktop, const QString &path = {})
{
    QSignalSpy finished(model.jobs(), &OutputJobs::finished);
    desktop ? model.setAsDesktop() : model.exportTo(path);
    return !finished.isEmpty() || finished.wait(120000);
}

// How far the light picture of a HEIC is from `look` rendered at its size, in mean 8-bit steps.
double differenceTo(const QString &heic, const Look &look)
{
    const HeicFile file = readHeic(heic);
    if (file.pictures.size() != 2)
        return 1e9;
    const Bitmap light = Bitmap::fromImage(file.pictures[0].pixels);
    const auto rendered = RenderPipeline::renderFull(look, {light.width(), light.height()});
    return Reference::compare(std::get<Bitmap>(rendered), Reference::linearize(light)).mean;
}

} // namespace

class TestAppModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home.path());
        qputenv("XDG_DATA_HOME", m_home.filePath(u"share"_s).toLocal8Bit());
    }

    // The recent files across launches: the newest first, each once, at most 24, and what has
    // vanished since left out.
    void settingsAcrossLaunches()
    {
        const QString kept = m_home.filePath(u"kept.png"_s);
        QVERIFY(Reference::solid(64, 48, 0, 128, 128).toImage().save(kept));
        QSettings(u"Voskan"_s, u"Voskan"_s)
            .setValue(u"recentLocalFiles"_s, QStringList{m_home.filePath(u"weg.png"_s), kept});
        AppModel model;
        QCOMPARE(model.recentFiles(), QStringList{kept});
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
    }

    void startSource_data()
    {
        // stored: the user's key in the settings; effective: the key a search sends
        addColumns<QString, QString, SourceKind, QString>(
            {"stored", "builtIn", "start", "effective"});
        // clang-format off
        QTest::newRow("blanks are no key") << u" \t "_s << u""_s << SourceKind::Files << u""_s;
        QTest::newRow("a stored key before the built-in") << u"key-1"_s << u"eingebaut"_s << SourceKind::Unsplash << u"key-1"_s;
        QTest::newRow("a built-in key") << u""_s << u"eingebaut"_s << SourceKind::Unsplash << u"eingebaut"_s;
        // clang-format on
    }

    // A first start without a key opens on the files, not on a search that can only fail; a key
    // given or taken later leaves the source as it is, and is kept as typed.
    void startSource()
    {
        FETCH((QString, stored, builtIn, effective), (SourceKind, start));
        QSettings settings(u"Voskan"_s, u"Voskan"_s);
        settings.setValue(u"unsplashAccessKey"_s, stored);
        const auto forget = qScopeGuard([&] { settings.remove(u"unsplashAccessKey"_s); });
        AppModel model({}, builtIn);
        QCOMPARE(model.sourceKind(), start);
        QCOMPARE(model.effectiveKey(), effective);
        const bool had = !stored.trimmed().isEmpty();
        model.setAccessKey(had ? u" \t "_s : u"  später\n"_s);
        QCOMPARE(settings.value(u"unsplashAccessKey"_s), had ? u" \t "_s : u"  später\n"_s);
        QCOMPARE(model.sourceKind(), start);
        QCOMPARE(model.effectiveKey(), had ? builtIn : u"später\n"_s); // a line break is no blank
    }

    void openedPictureShowsWithItsSource_data()
    {
        // inPhotos: picked in the photo library, else opened as a file
        addColumns<SourceKind, bool, SourceKind>({"before", "inPhotos", "after"});
        QTest::newRow("from Unsplash") << SourceKind::Unsplash << false << SourceKind::Files;
        QTest::newRow("picked in Fotos") << SourceKind::Photos << true << SourceKind::Photos;
    }

    // A file opened from anywhere shows with „Dateien“, among the recent files; a dynamic
    // wallpaper's pictures are listed only with the source it came from. (That it opens from
    // „Dateien“ and „Fotos“ as what it is: tst_workflows.)
    void openedPictureShowsWithItsSource()
    {
        FETCH((SourceKind, before, after), (bool, inPhotos));
        QTemporaryDir dir;
        const QString path = dir.filePath(u"Tag.heic"_s);
        QVERIFY(writeDynamicHeic(path, solidPictures({Qt::red, Qt::blue}),
                                 scheduleXmp({{"apr", aprTable({0, 1})}})));
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
        QVERIFY(model.dynamicWallpaper());
        for (const SourceKind kind : allCases<SourceKind>()) {
            model.setSourceKind(kind);
            QCOMPARE(model.listsDynamicWallpaper(), kind == after);
        }
    }

    void sizeFollowsTheScreen_data()
    {
        // chosen before the screen changes: nothing, „Dieser Bildschirm“ or a preset named;
        // next: the screens then
        addColumns<QString, Screens, QString>({"chosen", "next", "size"});
        // clang-format off
        QTest::newRow("nothing chosen: the largest in device pixels") << QString() << Screens{{{1920, 1080}, 1}, {{1600, 1000}, 2}} << u"Dieser Bildschirm — 3200 × 2000"_s;
        QTest::newRow("„Dieser Bildschirm“ chosen: rounded to the panel's") << u"Dieser Bildschirm"_s << Screens{{{1093, 614}, 1.25}} << u"Dieser Bildschirm — 1366 × 768"_s;
        QTest::newRow("a preset chosen stays") << u"Full HD"_s << Screens{{{1280, 720}, 2}} << u"Full HD — 1920 × 1080"_s;
        QTest::newRow("the screen gone: the size stays") << QString() << Screens() << u"Dieser Bildschirm — 1920 × 1200"_s;
        // clang-format on
    }

    // The output starts at the largest screen's size in device pixels once the window knows it,
    // and at the first preset before; a person's choice stays.
    void sizeFollowsTheScreen()
    {
        FETCH((QString, chosen), (Screens, next), (QString, size));
        AppModel model;
        QCOMPARE(model.preset(), ResolutionPreset::all().constFirst());
        model.setScreenPreset(ResolutionPreset::forScreens({{{960, 600}, 2}}));
        if (!chosen.isEmpty())
            model.setPreset(chosen == u"Dieser Bildschirm" ? *model.screenPreset()
                                                           : presetNamed(chosen));
        model.setScreenPreset(ResolutionPreset::forScreens(next));
        QCOMPARE(model.preset().name, size);
    }

    // A slider's writes render at most every 60 ms while it moves, and once after the last
    // (that a write renders only once the event loop turns: tst_workflows).
    void timers()
    {
        AppModel model;
        model.applySource(Reference::solid(64, 40, 90, 120, 200), {}, {}, {}, {},
                          Appearance::Light);
        QList<qint64> renderedAt;
        QElapsedTimer drag;
        connect(&model, &AppModel::previewChanged, &model, [&] { renderedAt << drag.elapsed(); });
        drag.start();
        qint64 lastChange = 0;
        for (int step = 0; step < 60; ++step, QTest::qWait(10)) { // as a slider dragged for 0.6 s
            model.bind(&Look::blur).setValue(20 + step % 30);
            lastChange = drag.elapsed();
        }
        QTest::qWait(300); // the last render is due 60 ms after the last change
        QString seen;
        QDebug(&seen) << "renders at" << renderedAt << "ms, last change at" << lastChange;
        const auto during = std::count_if(renderedAt.cbegin(), renderedAt.cend(),
                                          [&](qint64 t) { return t <= lastChange; });
        QVERIFY2(during >= 2, qPrintable(seen)); // fewer when renders are slow, never none
        QVERIFY2(during <= lastChange / 60 + 1, qPrintable(seen));
        QVERIFY2(renderedAt.constLast() >= lastChange, qPrintable(seen));

        // The status capsule clears 4 s after the last message, not the first.
        QElapsedTimer sinceLast;
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
        // then: "copy" the button beside the switch, "reload" „Aus Foto“
        addColumns<Appearance, bool, QString>({"target", "otherHasPicture", "then"});
        QTest::newRow("Hell gives Dunkel a copy, its colours in the dark tone")
            << Appearance::Light << false << QString();
        QTest::newRow("Dunkel gives Hell a copy, the photo's colours")
            << Appearance::Dark << false << QString();
        QTest::newRow("a picture is never overwritten") << Appearance::Light << true << QString();
        QTest::newRow("the button copies the tone too") << Appearance::Dark << true << u"copy"_s;
        QTest::newRow("„Aus Foto“ in Dunkel: in its tone")
            << Appearance::Dark << true << u"reload"_s;
        QTest::newRow("„Aus Foto“ in Hell: as they are")
            << Appearance::Light << true << u"reload"_s;
    }

    void seeding()
    {
        FETCH((Appearance, target), (bool, otherHasPicture), (QString, then));
        AppModel model;
        const auto lookOf = [&](Appearance a) {
            return a == Appearance::Dark ? model.darkLook() : model.lightLook();
        };
        model.setEditing(target);
        if (otherHasPicture)
            model.applySource(Reference::solid(40, 30, 9, 200, 30), u"erstes"_s, {}, {}, {},
                              other(target));
        const Look before = lookOf(other(target));
        const Bitmap picture = Reference::solid(40, 30, 150, 120, 100);
        model.applySource(picture, u"zweites"_s, u"name"_s, u"Foto: A"_s, {}, target);
        model.bind(&Look::brightness).setValue(0.25);
        if (then == "copy"_L1)
            model.copyCurrentLookToOther();
        if (then == "reload"_L1)
            model.reloadPaletteFromPhoto();
        // The palette's colour as the blur style draws it in a tone: a flow band's colour in a
        // dark look is that colour's pixels in that look.
        const QColor palette = Palette::extractPalette(picture)[1];
        const auto drawn = [&palette](const Tone &tone) {
            const QColor c = palette.toRgb();
            Look solid;
            solid.source = Reference::solid(4, 4, c.red(), c.green(), c.blue());
            solid.blur = 0;
            solid.dither = 0;
            solid.setTone(tone);
            const QImage image = RenderPipeline::renderLook(solid, {4, 4}, true)->toImage();
            return image.pixelColor(1, 1);
        };
        const auto sameColour = [](const QColor &a, const QColor &b) {
            return std::max({std::abs(a.redF() - b.redF()), std::abs(a.greenF() - b.greenF()),
                             std::abs(a.blueF() - b.blueF())}) < 1.5 / 255;
        };
        const Appearance changed = then == "reload"_L1 ? target : other(target);
        Look expected = otherHasPicture && then.isEmpty() ? before : lookOf(target);
        if (then.isEmpty() && !otherHasPicture) // seeded: the picture with the other's tone
            expected.setTone(Tone::defaultFor(other(target)));
        if (then == "reload"_L1)
            expected = lookOf(target);
        const QColor colour = lookOf(changed).flowColor1;
        if (then != "copy"_L1 && (then.isEmpty() ? !otherHasPicture : true)) {
            const Tone tone = changed == Appearance::Dark ? lookOf(changed).tone() : Tone{0, 1, 1};
            QVERIFY2(sameColour(colour, drawn(tone)),
                     qPrintable(colour.name() + u" drawn "_s + drawn(tone).name()));
            expected.setFlowColors({colour, colour, colour});
        }
        QCOMPARE(lookOf(changed), expected);
    }

    void resetPerStyle_data()
    {
        addColumns<WallpaperStyle, QString>({"style", "reset"}); // reset: the fields put back
        const QString tone = u"^(dither|blur|brightness|saturation|contrast"_s;
        QTest::newRow("Blur") << WallpaperStyle::Blur << tone + u")$"_s;
        QTest::newRow("Flow: colours and tone stay")
            << WallpaperStyle::Flow << u"^(dither|flow(?!Color).*)$"_s;
        QTest::newRow("Spiegel") << WallpaperStyle::Mirror << tone + u"|mirror.*)$"_s;
    }

    // "Zurücksetzen" puts back the values of the style shown, dither always, colours never; the
    // dark look too gets the light defaults.
    void resetPerStyle()
    {
        FETCH((WallpaperStyle, style), (QString, reset));
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
        model.resetCurrentLook();
        Look expected = edited;
        for (const QString &field : LookFields::assignments(Look(), true))
            if (QRegularExpression(reset).match(field.section(u'=', 0, 0)).hasMatch())
                QVERIFY(LookFields::set(expected, field.section(u'=', 0, 0), field.section(u'=', 1),
                                        nullptr));
        QCOMPARE(model.darkLook(), expected);
    }

    void exportTo_data()
    {
        // picture: given to Hell (copied to Dunkel), another to Dunkel
        addColumns<WallpaperStyle, WallpaperStyle, bool, QString>(
            {"light", "dark", "picture", "message"});
        // clang-format off
        QTest::newRow("Flow needs no picture") << WallpaperStyle::Flow << WallpaperStyle::Flow << false << u"Exportiert: voskan-wallpaper-dynamic-1920x1080.heic"_s;
        QTest::newRow("the light look names the file") << WallpaperStyle::Blur << WallpaperStyle::Mirror << true << u"Exportiert: Bild.final-dynamic-1920x1080.heic"_s;
        QTest::newRow("Spiegel without picture in Hell") << WallpaperStyle::Mirror << WallpaperStyle::Flow << false << u"Kein Quellbild ausgewählt."_s;
        QTest::newRow("Blur without picture in Dunkel") << WallpaperStyle::Flow << WallpaperStyle::Blur << false << u"Kein Quellbild ausgewählt."_s;
        // clang-format on
    }

    // canExport, the file name, and a failure that leaves the folder as it was.
    void exportTo()
    {
        FETCH((WallpaperStyle, light, dark), (bool, picture), (QString, message));
        AppModel model;
        setCustomSize(model, 1920, 1080);
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
        const QString path = writeFile(dir.filePath(name), "alt");
        QVERIFY(output(model, false, path));
        QCOMPARE(ok ? model.statusMessage() : model.errorMessage(), message);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
        QCOMPARE(readHeic(path).pictures.size(), ok ? 2 : 0);
        QVERIFY(ok || contents(path) == "alt");
    }

    // An export the chosen place cannot take says where and what to do instead, and leaves
    // nothing there.
    void exportNamesThePlace_data()
    {
        addColumns<QString, QString>({"target", "message"}); // $D: a fresh folder
        // clang-format off
        QTest::newRow("read-only disk") << u"$D/ro/neu.heic"_s << u"In „$D/ro“ kann nicht geschrieben werden: Der Datenträger ist schreibgeschützt. Wähle einen anderen Ordner."_s;
        QTest::newRow("a file on the way") << u"$D/datei/neu.heic"_s << u"In „$D/datei“ kann nicht geschrieben werden: Ein Teil des Pfads ist eine Datei und kein Ordner. Wähle einen anderen Ordner."_s;
        QTest::newRow("a folder at the name") << u"$D/ordner.heic"_s << u"„ordner.heic“ in „$D“ kann nicht geschrieben werden: Am Ziel liegt ein Ordner. Wähle einen anderen Namen oder Ordner."_s;
        // clang-format on
    }

    void exportNamesThePlace()
    {
        FETCH((QString, target, message));
        QTemporaryDir dir;
        const QByteArray ro = QFile::encodeName(dir.filePath(u"ro"_s));
        QVERIFY(QDir(dir.path()).mkpath(u"ro"_s) && QDir(dir.path()).mkpath(u"ordner.heic"_s));
        writeFile(dir.filePath(u"datei"_s), "x");
        const bool readOnly = target.contains(u"/ro/"_s);
        if (readOnly && ::mount("tmpfs", ro.constData(), "tmpfs", MS_RDONLY, "size=64k") != 0)
            QSKIP("this machine does not let the test mount a read-only file system");
        const auto unmount = qScopeGuard([&] {
            if (readOnly)
                ::umount2(ro.constData(), MNT_DETACH);
        });
        AppModel model;
        setCustomSize(model, 64, 36);
        model.applySource(Reference::solid(8, 8, 1, 2, 3), {}, {}, {}, {}, Appearance::Light);
        QVERIFY(output(model, false, QString(target).replace(u"$D"_s, dir.path())));
        QCOMPARE(model.errorMessage(), QString(message).replace(u"$D"_s, dir.path()));
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
                 (QStringList{u"datei"_s, u"ordner.heic"_s, u"ro"_s}));
    }

    void outputs_data()
    {
        // at: the step seen begun when Abbrechen is pressed, none: not pressed
        addColumns<bool, std::optional<WriteStep>, QString>({"desktop", "at", "status"});
        const QString exported = u"Export abgebrochen."_s, set = u"Setzen abgebrochen."_s;
        const QString shown = u"Als dynamisches Wallpaper gesetzt."_s;
        using enum WriteStep;
        using Step = std::optional<WriteStep>;
        // clang-format off
        QTest::newRow("Als HEIC exportieren") << false << Step() << u"Exportiert: pfad-dynamic-3840x2160.heic"_s;
        QTest::newRow("export, Abbrechen in the light render") << false << Step(RenderLight) << exported;
        QTest::newRow("export, Abbrechen in the dark render") << false << Step(RenderDark) << exported;
        QTest::newRow("export, Abbrechen in the dark encode") << false << Step(EncodeDark) << exported;
        QTest::newRow("Als Schreibtisch setzen") << true << Step() << shown;
        QTest::newRow("set, Abbrechen in the dark render") << true << Step(RenderDark) << set;
        QTest::newRow("set, Abbrechen in the desktop's pictures") << true << Step(DesktopImages) << set;
        // The desktop shows the new picture: stopping now would take it back.
        QTest::newRow("set, Abbrechen once the desktop shows it") << true << Step(EncodeLight) << shown;
        // clang-format on
    }

    // The sliders stay live while the output is written, off the main thread; the file holds the
    // looks of the click, and a set says so before its HEIC is written. Abbrechen at any step: no
    // alert, a short status, and the file, the slot and the desktop as they were. (The steps in
    // their order: tst_voskanrender, tst_desktopservice.)
    void outputs()
    {
        FETCH((bool, desktop), (std::optional<WriteStep>, at), (QString, status));
        QTemporaryDir data;
        const auto restore = withEnv("XDG_DATA_HOME", QFile::encodeName(data.path()));
        AppModel model;
        RecordingDesktop *shown = recordDesktop(model);
        model.setPreset(presetNamed(u"4K UHD")); // steps long enough to stop in
        applyPath(model);
        const auto entries = [](const QString &path) {
            return QDir(path).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        };
        QTemporaryDir target;
        const QString file = writeFile(target.filePath(model.exportFileName(u"heic"_s)), "alt");
        QStringList before;
        if (desktop) { // a wallpaper of ours on screen already, in slot a
            QVERIFY(output(model, true));
            before = entries(*createDataFolder());
            QCOMPARE(shown->shown.size(), 1);
        }
        const QString written = desktop ? *createDataFolder() + u"/wallpaper-b.heic"_s : file;
        const auto replaced = [&] { return QFile::exists(written) && contents(written) != "alt"; };
        connect(model.jobs(), &OutputJobs::progressChanged, this, [&] {
            if (at && model.jobs()->isBusy() && model.jobs()->progressLabel() == label(*at))
                model.cancelOutput();
        });
        model.setStatusMessage(std::nullopt);
        QStringList statuses; // a status clears itself after 4 s, which a slow encode may outlast
        std::optional<bool> replacedAtStatus;
        connect(&model, &AppModel::statusMessageChanged, this, [&] {
            if (model.statusMessage()) {
                statuses << *model.statusMessage();
                replacedAtStatus = replacedAtStatus.value_or(replaced());
            }
        });
        const Look clicked = model.lightLook();
        QSignalSpy finished(model.jobs(), &OutputJobs::finished);
        desktop ? model.setAsDesktop() : model.exportTo(file);
        QVERIFY(!replaced()); // still at work
        model.bind(&Look::brightness).setValue(0.5);
        QVERIFY(finished.wait(120000));
        QVERIFY(!model.jobs()->isBusy());
        QCOMPARE(model.errorMessage(), std::optional<QString>());
        QCOMPARE(statuses, QStringList{status});
        const bool cancelled = status.endsWith(u"abgebrochen."_s);
        if (cancelled && !desktop) {
            QCOMPARE(entries(target.path()), QStringList{QFileInfo(file).fileName()});
            QCOMPARE(contents(file), "alt"_ba);
        } else if (cancelled) {
            QCOMPARE(shown->shown.size(), 1);
            QCOMPARE(entries(*createDataFolder()), before);
            QCOMPARE(DesktopService::recordedWallpaper(), std::optional(shown->shown[0].heic));
        } else {
            QCOMPARE(replacedAtStatus, std::optional(!desktop));
            QCOMPARE(desktop ? shown->shown.value(1).heic : file, written);
            const double atClick = differenceTo(written, clicked);
            const double moved = differenceTo(written, model.lightLook());
            QVERIFY2(atClick < 3 && moved > 20, qPrintable(u"%1, %2"_s.arg(atClick).arg(moved)));
        }
    }

    void dragCarriesTheCurrentLooks_data()
    {
        // edit: 0: none, 1: once the file is ready, 2: while it is written, 3: the wait given up
        // by Abbrechen, then a drag again; closed: the model goes while the file is written
        addColumns<int, bool, QString>({"edit", "closed", "error"});
        QTest::newRow("edited after the file was ready") << 1 << false << QString();
        QTest::newRow("edited while it is written") << 2 << false << QString();
        QTest::newRow("Abbrechen while it is written") << 3 << false << QString();
        QTest::newRow("window closed while it is written") << 0 << true << QString();
        QTest::newRow("nothing to export") << 0 << false << u"Kein Quellbild ausgewählt."_s;
    }

    // The file is written ahead on a worker; a drag never carries older looks, and nothing written
    // for them, or for a wait given up, stays behind in the temporary folder.
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
            QTRY_VERIFY_WITH_TIMEOUT(!model->dragFile()->preparedFile().isEmpty(), 60000);
            model->bind(&Look::brightness).setValue(0.5);
            QVERIFY(QDir(tmp.path()).isEmpty()); // the file of the old looks
        }
        if (edit != 0 || closed) {
            data.reset(model->makeDragData());
            QVERIFY(!data && model->dragFile()->isPreparing());
        }
        if (edit == 2)
            model->bind(&Look::brightness).setValue(0.5);
        if (edit == 3) { // no alert; whatever of the file given up is written goes
            QVERIFY(model->outputProgress().active && model->outputProgress().cancellable);
            model->cancelOutput();
            QVERIFY(!model->dragFile()->isPreparing() && !model->outputProgress().active);
            QCOMPARE(model->statusMessage(), std::optional(u"Ziehen abgebrochen."_s));
            data.reset(model->makeDragData());
            QVERIFY(!data && model->dragFile()->isPreparing());
        }
        if (closed) {
            model.reset();
            QThreadPool::globalInstance()->waitForDone();
            QVERIFY(QDir(tmp.path()).isEmpty());
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(!model->dragFile()->preparedFile().isEmpty() || !error.isEmpty(),
                                 60000);
        QVERIFY(!model->dragFile()->isPreparing());
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
        const double difference = differenceTo(tmp.filePath(name), model->lightLook());
        QVERIFY2(difference < 3, qPrintable(QString::number(difference)));
    }

    // Three pictures dropped at once open in turn on a worker: each is recorded (the last first),
    // the last one shows, and a broken one among them is named without stopping the others. An
    // open asked for before them counts no more, though it (a broken file) fails first.
    void opensDroppedFilesInTurn()
    {
        QStringList files;
        for (int i = 0; i < 3; ++i) {
            files << m_home.filePath(u"drop-%1.png"_s.arg(i));
            QVERIFY(Reference::solid(32, 24, 200, 20, 20).toImage().save(files.last()));
        }
        AppModel model;
        model.openLocalImage(writeFile(m_home.filePath(u"halb.jpg"_s), "\xff\xd8"));
        model.openLocalImages(files);
        QVERIFY(model.isLoadingSource() && !model.lightLook().source);
        QTRY_VERIFY(!model.isLoadingSource());
        workerPool()->waitForDone();
        QCoreApplication::processEvents(); // any late answer
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
        QTest::addColumn<QString>("kind"); // as nonRegularFile() makes it
        for (const char *kind : {"FIFO", "socket", "folder", "device"})
            QTest::addRow("%s picked in Fotos", kind) << kind;
    }

    // A picture of the library may have become what is no file since it was listed: told at once,
    // and telling it apart never reads on the model's thread. (Opened as files: tst_workflows,
    // and the photo opened after them by the real app: tst_singleinstance.)
    void refusesWhatIsNoFile()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = nonRegularFile(kind, dir.path());
        QVERIFY(!path.isEmpty());
        auto photos = std::make_shared<PhotoLibrary>(dir.path());
        photos->setAccess(true);
        AppModel model({{}, photos}, u"eingebaut"_s);
        model.selectAlbumAsset({u"x"_s, path, {}});
        QTRY_COMPARE_WITH_TIMEOUT(model.errorMessage(),
                                  u"Bild konnte nicht aus Fotos geladen werden."_s, 2000);
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
