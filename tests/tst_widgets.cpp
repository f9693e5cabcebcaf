// The window's parts the workflows pass by: menus, empty state, alert, capsule, strips, settings.

#include "model/usersettings.h"
#include "support/rows.h"
#include "support/scratch.h"
#include "support/testhttpserver.h"
#include "support/window.h"
#include "ui/inspector.h"
#include "ui/panels.h"
#include "ui/previewpane.h"
#include "ui/settingsdialog.h"
#include "ui/statuscapsule.h"

#include <QtConcurrent>

namespace {

// A thumbnail source that answers only when the test says so; request n has the id n + 1.
struct FakeThumbnails
{
    QList<std::pair<QString, std::function<void(QImage)>>> requests;
    QList<ThumbnailSource::RequestId> cancelled;
    ThumbnailSource source()
    {
        return {[this](const QString &path, std::function<void(QImage)> deliver) {
                    requests.append({path, std::move(deliver)});
                    return ThumbnailSource::RequestId(requests.size());
                },
                [this](ThumbnailSource::RequestId id) { cancelled << id; }};
    }
};

// Replaces the field's text as the keyboard does, and confirms it with Return.
void retype(QLineEdit *field, const QString &text)
{
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

// Two fields around a strip of 20 tiles of one colour, `width` wide; `chosen`: a row or -1.
struct StripWindow
{
    static inline const QColor kTile = Qt::gray;
    QWidget window;
    QLineEdit *before = new QLineEdit(&window);
    AssetThumbModel *model =
        new AssetThumbModel({[](const QString &, std::function<void(QImage)> deliver) {
                                 QImage image(8, 8, QImage::Format_RGB32);
                                 image.fill(kTile);
                                 deliver(image);
                                 return ThumbnailSource::RequestId(1);
                             },
                             [](ThumbnailSource::RequestId) {}});
    ThumbStrip *strip = new ThumbStrip(model, &window);
    QLineEdit *after = new QLineEdit(&window);

    StripWindow(int chosen, int width)
    {
        setTiles(false);
        strip->setSelectionProvider([chosen] { return std::optional(QString::number(chosen)); });
        strip->setGeometry(0, 30, width, ThumbStrip::kStripHeight); // below the fields
        window.show();
        QApplication::setActiveWindow(&window);
        before->setFocus();
        if (!QTest::qWaitForWindowActive(&window))
            qFatal("the strip's window does not become active");
    }
    void setTiles(bool reversed)
    {
        QList<PhotoAsset> assets;
        for (int i = 0; i < 20; ++i)
            assets.append(
                {QString::number(reversed ? 19 - i : i), QStringLiteral("/%1").arg(i), {}});
        model->setAssets(assets);
    }
};

} // namespace

class TestWidgets : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        TestData::useScratchHome(m_home.path());
    }

    void init() { QSettings(QStringLiteral("Voskan"), QStringLiteral("Voskan")).clear(); }

    // The menus, and what the window offers before a picture and with one look still empty.
    void menusAndShortcuts()
    {
        const QString photoFolder = QDir(m_home.path()).filePath(QStringLiteral("Fotos"));
        const auto unset = withEnv("VOSKAN_PHOTOS_DIR", photoFolder.toUtf8());
        Window w(std::make_shared<PhotoLibrary>());
        auto &[model, desktop, window] = w;
        const auto source = [&model](SourceKind kind) { model.sourceKindBinding().setValue(kind); };
        // Before the photo folder is there, „Fotos“ says where it belongs.
        source(SourceKind::Photos);
        auto *hint = w.find<QLabel>("photosHint");
        QVERIFY(hint->isVisible());
        QCOMPARE(hint->text(),
                 QStringLiteral("Der Bilder-Ordner „%1“ fehlt. Lege ihn an oder setze "
                                "VOSKAN_PHOTOS_DIR auf einen anderen Ordner.")
                     .arg(photoFolder));
        // Made meanwhile, the folder is seen when „Fotos“ is chosen again.
        QVERIFY(QDir().mkpath(photoFolder));
        source(SourceKind::Files);
        source(SourceKind::Photos);
        QVERIFY(!hint->isVisible() && w.find("connectPhotosButton")->isVisible());
        source(SourceKind::Files);
        // Alt and an underlined letter reach each menu, and each command without a shortcut.
        for (QAction *menu : window.menuBar()->actions())
            for (QAction *item : menu->menu()->actions() + QList{menu})
                QVERIFY2(item->isSeparator() || item->text().contains(u'&') ||
                             !item->shortcut().isEmpty(),
                         qPrintable(item->text()));
        // Ctrl+O: the photo folder, no file name offered (what it lists: tst_theme fileDialogs).
        QString offered = QStringLiteral("(kein Dialog)");
        QTimer::singleShot(0, &window, [&] {
            QTRY_VERIFY(w.find<QFileDialog>("openImagePanel"));
            auto *dialog = w.find<QFileDialog>("openImagePanel");
            offered = dialog->findChild<QLineEdit *>("fileNameEdit")->text() + '|' +
                      dialog->directory().absolutePath();
            dialog->reject();
        });
        QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(offered, '|' + photoFolder);
        w.activate();
        QVERIFY(!window.checkForUpdatesAction()->isEnabled()); // no updater

        // Without a picture in both looks nothing can be exported, neither by button nor by key.
        auto *setDesktop = w.find("setDesktopButton"), *exportButton = w.find("exportButton");
        QSignalSpy triggered(window.exportAction(), &QAction::triggered);
        QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(triggered.size(), 0);
        // The empty state and the copy button name the look being edited.
        auto *title = w.find<QLabel>("emptyTitle");
        auto *copy = w.find<QToolButton>("copyLookButton");
        const auto named = [&] { return QStringList{title->text(), copy->toolTip()}; };
        QCOMPARE(named(), (QStringList{"Kein Bild für „Hell“", "Auf „Dunkel“ übernehmen"}));
        QVERIFY(!copy->isEnabled());
        QTest::mouseClick(w.find("appearance_dark"), Qt::LeftButton);
        QCOMPARE(named(), (QStringList{"Kein Bild für „Dunkel“", "Auf „Hell“ übernehmen"}));
        QVERIFY(title->isVisible());
        QVERIFY(w.open()); // both looks get it; the buttons then work (tst_workflows)
        QVERIFY(!title->isVisible() && copy->isEnabled());
        model.bind(&Look::style).setValue(WallpaperStyle::Mirror);
        copy->click();
        QCOMPARE(model.lightLook().style, WallpaperStyle::Mirror);
        model.bind(&Look::source).setValue(std::nullopt);
        QVERIFY(!setDesktop->isEnabled() && !exportButton->isEnabled());
        // A greyed-out button says why, and stays legible: its text against its background.
        for (QWidget *button : {setDesktop, exportButton})
            QCOMPARE((QStringList{button->toolTip(), button->accessibleDescription()}),
                     QStringList(2, QStringLiteral("Für „Dunkel“ fehlt noch ein Bild.")));
        const QImage greyed = setDesktop->grab().toImage(); // the right half holds only text
        const double legible =
            contrast(greyed.copy(greyed.rect().adjusted(greyed.width() / 2, 0, 0, 0)));
        QVERIFY2(legible >= 4.5, qPrintable(QString::number(legible)));

        QTest::keyClick(&window, Qt::Key_Comma, Qt::ControlModifier);
        QTRY_VERIFY(w.find<SettingsDialog>() && w.find<SettingsDialog>()->isVisible());
        w.find<SettingsDialog>()->close();
        w.activate();
        QTest::keyClick(&window, Qt::Key_F10);
        QTRY_VERIFY(window.menuBar()->actions().constFirst()->menu()->isVisible());
    }

    void errorAlert_data()
    {
        QTest::addColumn<QString>("dismissal"); // Escape clicks OK, the alert's one button
        QTest::newRow("Escape") << "Escape";
        QTest::newRow("closed by the window manager") << "close";
        QTest::newRow("cleared by the model") << "model";
    }

    void errorAlert()
    {
        QFETCH(QString, dismissal);
        Window w;
        auto &[model, desktop, window] = w;
        model.setErrorMessage(QStringLiteral("Erster Fehler."));
        QPointer<QMessageBox> alert = window.errorAlert();
        QTRY_VERIFY(alert && alert->isVisible());
        // A newer error takes over the open alert; an error is no confirmation for the capsule.
        model.setErrorMessage(QStringLiteral("Zweiter Fehler."));
        QCOMPARE(window.errorAlert(), alert.data());
        QCOMPARE(alert->text(), QStringLiteral("Zweiter Fehler."));
        QVERIFY(!w.find<StatusCapsule>()->isVisible());
        if (dismissal == "Escape")
            QTest::keyClick(alert, Qt::Key_Escape);
        else if (dismissal == "close")
            alert->close();
        else
            model.setErrorMessage(std::nullopt);
        QTRY_VERIFY(!alert);
        QVERIFY(!model.errorMessage());
        // The next error, even in the same breath, opens an alert of its own.
        model.setErrorMessage(QStringLiteral("Noch einmal."));
        QVERIFY(window.errorAlert());
        QCOMPARE(window.errorAlert()->text(), QStringLiteral("Noch einmal."));
    }

    void thumbsLoadOnlyOnScreen()
    {
        FakeThumbnails fake;
        auto *model = new AssetThumbModel(fake.source());
        ThumbStrip strip(model);
        strip.resize(200, strip.height());
        QList<PhotoAsset> assets;
        for (int i = 0; i < 50; ++i)
            assets.append({QString::number(i), QStringLiteral("/pics/%1.jpg").arg(i), {}});
        model->setAssets(assets);
        strip.show();
        QVERIFY(QTest::qWaitForWindowExposed(&strip));
        // 200 px hold four tiles of 60 px, the fourth in part; all are asked for at once.
        QTRY_VERIFY(!fake.requests.isEmpty());
        QCOMPARE(fake.requests.size(), 4);
        fake.requests.first().second(QImage(120, 80, QImage::Format_RGB32));
        // Scrolled to the end: the ones still waiting are withdrawn, the last ones asked for.
        QScrollBar *bar = strip.horizontalScrollBar();
        bar->setValue(bar->maximum());
        QTRY_COMPARE(fake.requests.constLast().first, QStringLiteral("/pics/49.jpg"));
        QCOMPARE(fake.cancelled, (QList<ThumbnailSource::RequestId>{2, 3, 4}));
        QVERIFY(fake.requests.size() < 12);
        QVERIFY2(!model->index(0).data(ThumbListModel::ImageRole).value<QImage>().isNull(),
                 "a picture stays when its tile scrolls away");
        QCOMPARE(QAccessible::queryAccessibleInterface(&strip)->child(1)->text(QAccessible::Name),
                 QStringLiteral("Foto 2 von 50")); // an album's tile is announced by its place
        // Hiding the strip withdraws what is still open.
        const qsizetype open = fake.requests.size() - 4;
        strip.hide();
        QTRY_COMPARE(fake.cancelled.size(), 3 + open);
    }

    void unsplashTile_data()
    {
        // small: a path on the server, or any address
        addColumns<QString, QString>({"small", "shows"});
        // clang-format off
        QTest::newRow("picture") << "/small.jpg" << "picture";
        QTest::newRow("not found") << "/gone.jpg" << "failed";
        QTest::newRow("not on the web") << "file:///etc/hostname" << "failed at once";
        // A new search while the last list's picture is on its way: it must not land here.
        QTest::newRow("after a list still loading") << "/silent.jpg" << "loading";
        // clang-format on
    }

    void unsplashTile()
    {
        FETCH((QString, small, shows));
        using Body = TestHttpServer::Response::Body;
        TestHttpServer server;
        QVERIFY(server.start());
        server.setResponse("/small.jpg", {200, {}, contents(Window::kPhoto)});
        server.setResponse("/slow.jpg", {200, {}, contents(Window::kPhoto), Body::Trickle, 5, 100});
        server.setResponse("/silent.jpg", {200, {}, {}, Body::Silent, 1, 1, 10});
        const auto hit = [&](const QString &url) {
            UnsplashPhoto hit;
            hit.id = url;
            hit.color = QStringLiteral("#102030");
            hit.urls.small = url.startsWith(u'/') ? server.url(url).toString() : url;
            return hit;
        };
        UnsplashThumbModel model;
        const bool loading = shows == "loading";
        if (loading) {
            model.setPhotos({hit(QStringLiteral("/slow.jpg"))});
            model.setVisibleRows(0, 0);
            QTRY_COMPARE(server.requests().size(), 1);
        }
        model.setPhotos({hit(small)});
        const auto tile = [&](ThumbListModel::Role role) { return model.index(0).data(role); };
        QVERIFY(tile(ThumbListModel::LoadingRole).toBool()); // off screen, not asked yet
        model.setVisibleRows(0, 0);
        QCOMPARE(tile(ThumbListModel::FailedRole).toBool(), shows == "failed at once");
        if (loading) {
            QTRY_COMPARE(server.requests().size(), 2);
            QTest::qWait(1500); // the slow picture would have come by now
        }
        QTRY_COMPARE(tile(ThumbListModel::LoadingRole).toBool(), loading);
        const bool failed = shows.startsWith(QLatin1String("failed"));
        QCOMPARE(tile(ThumbListModel::FailedRole).toBool(), failed);
        QCOMPARE(tile(ThumbListModel::ImageRole).value<QImage>().size(),
                 shows == "picture" ? QSize(240, 150) : QSize(0, 0));
        // The hit's colour while it loads or when it has a picture, grey when it failed.
        QCOMPARE(tile(ThumbListModel::PlaceholderRole).value<QColor>(),
                 failed ? ThumbListModel::neutralPlaceholder() : QColor(0x10, 0x20, 0x30));
    }

    // The sun's place as stored (by hand or not) and as typed: what is no place counts as none.
    void sunPlace_data()
    {
        // stored: the settings file's [General], "FIFO" a FIFO; latitude: typed into the dialog,
        // null: nothing typed; place: latitude, longitude, NaN: none, the zone's city
        addColumns<QByteArray, QString, QString, QPointF, QString>(
            {"stored", "latitude", "longitude", "place", "note"});
        const QPointF none(qQNaN(), 0);
        const QString latitude = "ist keine Breite: Erwartet wird eine Zahl von −90 bis 90 Grad";
        // clang-format off
        QTest::newRow("stored") << QByteArray("latitude=52.5\nlongitude=13.4") << QString() << QString() << QPointF(52.5, 13.4) << "";
        QTest::newRow("stored with decimal commas") << QByteArray("latitude=52,5\nlongitude=-13,4") << QString() << QString() << QPointF(52.5, -13.4) << "";
        QTest::newRow("stored 91") << QByteArray("latitude=91\nlongitude=13.4") << QString() << QString() << none << "„91“ " + latitude;
        QTest::newRow("stored NaN") << QByteArray("latitude=NaN\nlongitude=13.4") << QString() << QString() << none << "„NaN“ " + latitude;
        QTest::newRow("stored text") << QByteArray("latitude=Berlin\nlongitude=13.4") << QString() << QString() << none << "„Berlin“ " + latitude;
        QTest::newRow("stored longitude 181") << QByteArray("latitude=52.5\nlongitude=181") << QString() << QString() << none << "„181“ ist keine Länge: Erwartet wird eine Zahl von −180 bis 180 Grad";
        QTest::newRow("stored without longitude") << QByteArray("latitude=52.5") << QString() << QString() << none << "Zur Breite fehlt die Länge.";
        QTest::newRow("stored nothing") << QByteArray("") << QString() << QString() << none << "";
        QTest::newRow("a FIFO") << QByteArray("FIFO") << QString() << QString() << none << "";
        QTest::newRow("typed NaN over a place") << QByteArray("latitude=1\nlongitude=2") << "nan" << "2" << QPointF(1, 2) << "„nan“ " + latitude;
        QTest::newRow("typed -1e308") << QByteArray("") << "10" << "-1e308" << none << "„-1e308“ ist keine Länge";
        QTest::newRow("typed blank over a place") << QByteArray("latitude=1\nlongitude=2") << "" << "" << none << "";
        QTest::newRow("typed over a broken one") << QByteArray("latitude=91\nlongitude=13.4") << "-33,87" << "151.21" << QPointF(-33.87, 151.21) << "";
        // clang-format on
    }

    void sunPlace()
    {
        FETCH((QByteArray, stored), (QString, latitude, longitude, note), (QPointF, place));
        const QString file = QSettings("Voskan", "Voskan").fileName();
        QFile::remove(file);
        // Left behind, a FIFO would hold every row after this one.
        const auto noFifo = qScopeGuard([&] { QFileInfo(file).isFile() || QFile::remove(file); });
        if (stored == "FIFO")
            QCOMPARE(mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        else
            writeFile(file, "[General]\n" + stored + '\n');
        QVERIFY2(endsUnblocked(QtConcurrent::run([] { return userLocation(); }), file, 5000),
                 "reading the settings waits on what stands in their file's place");
        AppModel model;
        SettingsDialog dialog(&model, nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto *north = dialog.findChild<QLineEdit *>("latitudeField");
        auto *east = dialog.findChild<QLineEdit *>("longitudeField");
        if (!latitude.isNull()) { // both typed, then confirmed
            north->setText(latitude);
            retype(east, longitude);
        }
        const std::optional<GeoLocation> location = userLocation();
        QCOMPARE(location.has_value(), !qIsNaN(place.x()));
        if (location)
            QCOMPARE(QPointF(location->latitude, location->longitude), place);
        // The fields show the place in use, or nothing: the zone's city.
        QCOMPARE(north->text(), location ? QString::number(place.x()) : QString());
        QCOMPARE(east->text(), location ? QString::number(place.y()) : QString());
        auto *said = dialog.findChild<QLabel *>("locationNote");
        QCOMPARE(said->isVisible(), !note.isEmpty());
        QVERIFY2(said->text().contains(note), qPrintable(said->text()));
        if (!note.isEmpty() && latitude.isNull()) // stored: where it lies, and the way out
            QVERIFY2(said->text().startsWith("Der Ort für den Sonnenstand in „" + file +
                                             "“ gilt nicht: ") &&
                         said->text().endsWith("gilt die Stadt der Zeitzone."),
                     qPrintable(said->text()));
    }

    void freshStart_data()
    {
        // button: the way to the key followed; offers: what says that a key is missing
        addColumns<SourceKind, QString, QStringList>({"source", "button", "offers"});
        // clang-format off
        QTest::newRow("the empty preview") << SourceKind::Files << "emptyKeyButton" << QStringList{"emptyKeyButton"};
        QTest::newRow("under the search field") << SourceKind::Unsplash << "unsplashKeyButton" << QStringList{"emptyKeyButton", "unsplashKeyHint", "unsplashKeyButton"};
        // clang-format on
    }

    // Without a key, every offer of one leads to the key field; a key typed takes them away.
    void freshStart()
    {
        FETCH((SourceKind, source), (QString, button), (QStringList, offers));
        Window w;
        w.model.sourceKindBinding().setValue(source);
        const auto shown = [&w] {
            QStringList names;
            for (const char *name : {"emptyKeyButton", "unsplashKeyHint", "unsplashKeyButton"})
                if (w.find(name)->isVisible())
                    names << QString::fromLatin1(name);
            return names;
        };
        QCOMPARE(shown(), offers);
        auto *description = w.find<QLabel>("emptyDescription");
        const QString keyless = description->text();
        w.window.showSettings();
        auto *settings = w.find<SettingsDialog>();
        settings->findChild<QLineEdit *>("latitudeField")->setFocus();
        w.activate();
        QTest::mouseClick(w.find<QPushButton>(qPrintable(button)), Qt::LeftButton);
        auto *key = settings->findChild<QLineEdit *>("accessKeyField");
        QTRY_VERIFY(settings->isVisible());
        QCOMPARE(settings->focusWidget(), key);
        // Only a key built into the binary is "bereits hinterlegt".
        QVERIFY(SettingsDialog::keyHint({}).contains(QStringLiteral("kostenloser Access-Key")) &&
                SettingsDialog::keyHint(QStringLiteral("k"))
                    .contains(QStringLiteral("bereits hinterlegt")));
        QTest::keyClicks(key, QStringLiteral("k "));
        QCOMPARE(w.model.accessKey(), QStringLiteral("k ")); // without Return, as typed
        QCOMPARE(shown(), QStringList());
        QVERIFY(description->text() != keyless);
        // The same key stored again elsewhere leaves the caret where the user put it.
        key->setCursorPosition(1);
        w.model.setAccessKey(QStringLiteral("k "));
        QCOMPARE(key->cursorPosition(), 1);
        w.model.setAccessKey(QStringLiteral("k"));
        QCOMPARE(key->text(), QStringLiteral("k"));
        QTest::keyClick(key, Qt::Key_Backspace);
        QCOMPARE(shown(), offers);
        QCOMPARE(description->text(), keyless);
    }

    // The output size: this screen's first, whole sizes, nothing cut off, on a small screen too.
    void outputSizes()
    {
        Window w;
        QVERIFY(w.open());
        AppModel &model = w.model;
        auto *picker = w.find<QComboBox>("presetPicker");
        const QScreen *screen = w.window.screen();
        QCOMPARE(model.pixelSize().toSizeF().toSize(),
                 screen->geometry().size() * screen->devicePixelRatio());
        QTest::keyClick(picker, Qt::Key_Down); // the keyboard chooses as the list does
        QCOMPARE(model.preset(), ResolutionPreset::proDisplayXDR());
        QCOMPARE(picker->toolTip(), ResolutionPreset::proDisplayXDR().name);

        model.setPreset(ResolutionPreset::all().constLast());
        auto *inspector = w.find("inspector");
        auto *width = w.find<QLineEdit>("customWidth"), *height = w.find<QLineEdit>("customHeight");
        retype(width, QStringLiteral("16383"));
        retype(height, QStringLiteral("16383"));
        auto *size = w.find<QLabel>("sizeLabel");
        QVERIFY(size->text().endsWith(QStringLiteral("zu groß")));
        // Export and set are greyed out with the reason before any file is chosen; one side
        // within its limit is not enough when the two make too many pixels.
        auto *set = w.find("setDesktopButton"), *exportButton = w.find("exportButton");
        for (const char *side : {"16383", "8000"}) {
            retype(width, QString::fromLatin1(side));
            QVERIFY(!set->isEnabled() && !exportButton->isEnabled());
            QVERIFY2(set->toolTip().startsWith(
                         QStringLiteral("Die Ausgabegröße %1 × 16383 ist zu groß").arg(side)),
                     qPrintable(set->toolTip()));
        }
        QTest::keyClick(&w.window, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(!w.model.jobs()->isBusy());
        retype(width, QStringLiteral("16383"));
        QTRY_VERIFY(w.find("inspectorForm")->width() <= inspector->width());
        for (QWidget *part : {static_cast<QWidget *>(height), static_cast<QWidget *>(size)})
            QVERIFY2(part->mapTo(inspector, QPoint(part->width(), 0)).x() <= inspector->width(),
                     qPrintable(part->objectName()));
        const auto whole = [size] {
            const QRect room = size->contentsRect();
            return room.contains(size->fontMetrics().boundingRect(
                QRect(room.topLeft(), QSize(room.width(), 10 * room.height())), Qt::TextWordWrap,
                size->text()));
        };
        QTRY_VERIFY(whole());
        // 0 becomes the nearest size there is, and the chosen photo is still previewed.
        retype(width, QStringLiteral("0"));
        QCOMPARE(width->text(), QStringLiteral("1"));
        retype(height, QStringLiteral("600"));
        QTRY_VERIFY(!model.preview().isNull());
        QVERIFY(!w.find<QLabel>("emptyTitle")->isVisible());
        QVERIFY(set->isEnabled() && exportButton->isEnabled());
        // A square or tall picture is drawn below the switch and its copy button, never under
        // them, however the window is shaped.
        auto *pane = w.find<PreviewPane>("previewPane");
        const QSize before = w.window.size();
        for (const QSize shape : {QSize(1000, 700), QSize(900, 900), QSize(1000, 500)}) {
            w.window.resize(shape);
            retype(width, QStringLiteral("600"));
            QTRY_VERIFY(!pane->imageRect().isEmpty());
            for (const char *control : {"appearanceSegments", "copyLookButton"}) {
                QWidget *c = w.find(control);
                const QRect on(c->mapTo(pane, QPoint()), c->size());
                QVERIFY2(!on.intersects(pane->imageRect()), control);
            }
            retype(width, QStringLiteral("1"));
        }
        w.window.resize(before);
        // 800 × 500 logical pixels less a panel: the action bar stays in, the inspector scrolls.
        model.bind(&Look::style).setValue(WallpaperStyle::Flow); // the longest inspector
        QMainWindow &window = w.window;
        const QSize room = window.screen()->availableGeometry().size();
        QVERIFY2(room.width() < 1100, "a screen narrower than the window's usual least width");
        QTRY_VERIFY(window.frameGeometry().width() <= room.width() &&
                    window.frameGeometry().height() <= room.height());
        window.setMinimumSize(window.minimumSizeHint());
        window.resize(800, 460);
        QTRY_COMPARE(window.size(), QSize(800, 460));
        QVERIFY(window.rect().contains(QRect(set->mapTo(&window, QPoint()), set->size())));
        QTRY_VERIFY(w.find<QScrollArea>("inspectorScroll")->verticalScrollBar()->maximum() > 0);
    }

    void tabOrderAndFocusMarks_data()
    {
        // photo: else the empty preview of a fresh start; stops: among others, "!" before one that
        // this style has not
        addColumns<SourceKind, bool, bool, QStringList>({"source", "dark", "photo", "stops"});
        // clang-format off
        QTest::newRow("Unsplash without a key, hell") << SourceKind::Unsplash << false << true << QStringList{"searchField", "unsplashKeyButton", "unsplashLink"};
        QTest::newRow("Dateien, dunkel") << SourceKind::Files << true << true << QStringList{"openFileButton", "recentStrip"};
        QTest::newRow("the empty preview, hell") << SourceKind::Files << false << false << QStringList{"emptyOpenFileButton", "emptyKeyButton", "openFileButton", "slider_blur", "!slider_flowAmplitude", "!slider_mirrorLine"};
        // clang-format on
    }

    // Tab visits every control once, in reading order, and each stop shows that it has the keys.
    void tabOrderAndFocusMarks()
    {
        FETCH((SourceKind, source), (bool, dark, photo), (QStringList, stops));
        const QPalette before = QApplication::palette();
        const auto restore = qScopeGuard([&] { QApplication::setPalette(before); });
        if (dark)
            QApplication::setPalette(QPalette(QColor(0x35, 0x35, 0x35), QColor(0x2a, 0x2a, 0x2a)));
        Window w;
        QVERIFY(!photo || w.open());
        w.model.sourceKindBinding().setValue(source);
        if (photo) { // Flow always has a preview: the empty state keeps Blur
            w.model.bind(&Look::style).setValue(WallpaperStyle::Flow);
            stops << QStringList{"copyLookButton", "colorWell0", "!slider_blur",
                                 "!slider_mirrorLine"};
        }
        QHash<QWidget *, QImage> plain; // every control before the keyboard reaches it
        for (QWidget *widget : w.window.findChildren<QWidget *>())
            plain.insert(widget, widget->grab().toImage());
        QWidget *first = w.find("appearance_light");
        first->setFocus(Qt::TabFocusReason);
        QList<QWidget *> chain{first};
        QStringList names{first->objectName()}, unmarked;
        const auto rect = [&](QWidget *x) {
            return QRect(x->mapTo(&w.window, QPoint()), x->size());
        };
        while (names.size() < 80) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget *next = QApplication::focusWidget();
            if (next == first)
                break;
            const QRect a = rect(chain.constLast()), b = rect(next);
            chain << next;
            names << next->objectName();
            QVERIFY2(next->isVisible() && !b.isEmpty(), qPrintable(names.join(u' ')));
            const bool sameRow = std::abs(a.center().y() - b.center().y()) < a.height() / 2;
            const int inspector = w.window.width() - InspectorPane::kWidth;
            QVERIFY2((a.left() < inspector && b.left() >= inspector) ||
                         (sameRow ? b.left() > a.left() : b.top() > a.top()),
                     qPrintable(names.join(u' ')));
            // At least half the outline's length of clearly changed pixels.
            const QImage marked = next->grab().toImage(), unfocused = plain.value(next);
            int changed = 0;
            for (int y = 0; y < marked.height() && unfocused.size() == marked.size(); ++y)
                for (int x = 0; x < marked.width(); ++x)
                    changed +=
                        colourDistance(unfocused.pixelColor(x, y), marked.pixelColor(x, y)) > 90;
            if (2 * changed < marked.width() + marked.height())
                unmarked << next->objectName();
        }
        QCOMPARE(QApplication::focusWidget(), first);
        QCOMPARE(chain.size(), QSet<QWidget *>(chain.cbegin(), chain.cend()).size());
        QVERIFY2(unmarked.isEmpty(), qPrintable(unmarked.join(u' ')));
        for (const QString &name :
             stops + QStringList{"sourcePicker", "slider_dither", "presetPicker"})
            QVERIFY2(names.contains(name.mid(name.startsWith(u'!'))) != name.startsWith(u'!'),
                     qPrintable(name));
        // „Dunkel“ is the arrow key away from „Hell“, as in any group of choices.
        first->setFocus(Qt::TabFocusReason);
        QTest::keyClick(first, Qt::Key_Right);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QCOMPARE(w.model.editing(), Appearance::Dark);
    }

    // A screen reader announces every control by what it is, not what it holds, and what it does.
    void accessibleNames()
    {
        Window w;
        const QSet<QAccessible::Role> interactive{
            QAccessible::PushButton,   QAccessible::ButtonMenu,  QAccessible::ButtonDropDown,
            QAccessible::CheckBox,     QAccessible::RadioButton, QAccessible::ComboBox,
            QAccessible::EditableText, QAccessible::Slider,      QAccessible::SpinBox,
            QAccessible::List,         QAccessible::Link,        QAccessible::MenuItem};
        // With text, the search field shows its clear button too.
        w.find<QLineEdit>("searchField")->setText(QStringLiteral("Berge"));
        QStringList nameless;
        int seen = 0;
        std::function<void(QAccessibleInterface *)> walk = [&](QAccessibleInterface *node) {
            if (!node || node->state().invisible)
                return;
            QObject *object = node->object();
            if (interactive.contains(node->role()) && object && object->isWidgetType()) {
                ++seen;
                const QString name = node->text(QAccessible::Name);
                // A name that is only the value is what is announced without a name of its own.
                const bool given = !static_cast<QWidget *>(object)->accessibleName().isEmpty();
                if (name.trimmed().isEmpty() ||
                    (!given && name == node->text(QAccessible::Value)) ||
                    (node->role() != QAccessible::MenuItem &&
                     node->text(QAccessible::Description).trimmed().isEmpty()))
                    nameless << object->objectName() + '/' + object->metaObject()->className() +
                                    '/' + object->parent()->objectName() + '=' + name;
            }
            for (int i = 0; i < node->childCount(); ++i)
                walk(node->child(i));
        };
        walk(QAccessible::queryAccessibleInterface(&w.window)); // the empty preview's buttons
        QVERIFY(w.open());
        for (const SourceKind kind : allCases<SourceKind>())
            for (const WallpaperStyle style : allCases<WallpaperStyle>()) {
                w.model.sourceKindBinding().setValue(kind);
                w.model.bind(&Look::style).setValue(style);
                walk(QAccessible::queryAccessibleInterface(&w.window));
            }
        QVERIFY(seen > 40);
        nameless.removeDuplicates();
        QVERIFY2(nameless.isEmpty(), qPrintable(nameless.join(QStringLiteral(", "))));
    }

    void stripByKeyboard_data()
    {
        // in: "Tab", "Shift+Tab" or "click" (on the second tile)
        addColumns<QString, int, QList<int>, int>({"in", "chosen", "keys", "picked"});
        using K = Qt::Key;
        // clang-format off
        QTest::newRow("right twice") << "Tab" << -1 << QList<int>{K::Key_Right, K::Key_Right, K::Key_Return} << 2;
        QTest::newRow("from the chosen one, off screen; Up and Down move nothing") << "Tab" << 12 << QList<int>{K::Key_Up, K::Key_Down, K::Key_Down, K::Key_Right, K::Key_Space} << 13;
        QTest::newRow("not before the first") << "Shift+Tab" << -1 << QList<int>{K::Key_Left, K::Key_Right, K::Key_Left, K::Key_Left, K::Key_Enter} << 0;
        QTest::newRow("End") << "Tab" << 5 << QList<int>{K::Key_End, K::Key_Return} << 19;
        QTest::newRow("Home") << "Shift+Tab" << 12 << QList<int>{K::Key_Home, K::Key_Space} << 0;
        QTest::newRow("on from a click") << "click" << 7 << QList<int>{K::Key_Right, K::Key_Return} << 2;
        // clang-format on
    }

    void stripByKeyboard()
    {
        FETCH((QString, in), (int, chosen, picked), (QList<int>, keys));
        StripWindow w(chosen, 200);
        QSignalSpy clicked(w.strip, &ThumbStrip::tileClicked);
        if (in == "Shift+Tab")
            w.after->setFocus();
        if (in == "click")
            QTest::mouseClick(w.strip->viewport(), Qt::LeftButton, {}, {90, 30});
        else
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab,
                            in == "Tab" ? Qt::NoModifier : Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), w.strip);
        for (const int key : std::as_const(keys))
            QTest::keyClick(w.strip, Qt::Key(key));
        QCOMPARE(clicked.isEmpty() ? -1 : clicked.constLast().constFirst().toInt(), picked);
        const QRect cell = w.strip->visualRect(w.strip->currentIndex());
        const QScrollBar *bar = w.strip->horizontalScrollBar();
        QVERIFY(cell.left() >= (bar->value() > 0 ? ThumbStrip::kFadeWidth : 0));
        QVERIFY(cell.right() < 200 - (bar->value() < bar->maximum() ? ThumbStrip::kFadeWidth : 0));
        // A new list (the recent files after a pick) puts the ring on the chosen picture.
        w.setTiles(true);
        QCOMPARE(w.strip->currentIndex().row(), chosen < 0 ? 0 : 19 - chosen);
        // Keys the strip has no use for go on to the inspector; Tab leaves.
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QApplication::sendEvent(w.strip, &down);
        QVERIFY(!down.isAccepted());
        QTest::keyClick(w.strip, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.after);
    }

    void tileAccessibleText()
    {
        FakeThumbnails fake;
        auto *recent = new RecentFileThumbModel(fake.source());
        recent->setPaths({"/a.jpg", "/home/ada/Strand.heic", "/c.jpg"});
        QList<UnsplashPhoto> hits(3);
        hits[1].description = QStringLiteral("Leuchtturm im Nebel");
        auto *unsplash = new UnsplashThumbModel;
        unsplash->setPhotos(hits);
        QStringList said; // what a screen reader says for the second of three tiles
        for (ThumbListModel *model : std::initializer_list<ThumbListModel *>{recent, unsplash}) {
            ThumbStrip strip(model); // owns the model
            said << QAccessible::queryAccessibleInterface(&strip)->child(1)->text(
                QAccessible::Name);
        }
        QCOMPARE(said, (QStringList{"Strand.heic", "Leuchtturm im Nebel"}));
    }
};

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
