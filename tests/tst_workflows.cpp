// What a person does with Voskan, done in the real window with Unsplash and the desktop faked.

#include "daily/dailywallpaper.h"
#include "day/daycycle.h"
#include "day/dayschedule.h"
#include "desktop/dayfile.h"
#include "heic/dynamicwallpaperfile.h"
#include "model/lookfields.h"
#include "model/unsplashsearch.h"
#include "model/usersettings.h"
#include "render/imagedecoder.h"
#include "support/dynamicfiles.h"
#include "support/fakeunsplashserver.h"
#include "support/heicreader.h"
#include "support/rows.h"
#include "support/scratch.h"
#include "support/window.h"
#include "ui/colorwell.h"
#include "ui/creditlabel.h"
#include "ui/dailydialog.h"
#include "ui/previewpane.h"
#include "ui/settingsdialog.h"
#include "ui/translations.h"

namespace {

const QString kCups = TestData::photo(QStringLiteral("photo-colorfulcups-2560x1600.jpg"));

// For the documentation's pictures, where VOSKAN_SCREENSHOT_DIR asks for them.
void screenshot(QWidget *widget, const char *name)
{
    if (const QString shots = qEnvironmentVariable("VOSKAN_SCREENSHOT_DIR"); !shots.isEmpty())
        widget->grab().save(QDir(shots).filePath(QString::fromLatin1(name)));
}

// Tab until the control has the keyboard, never more than a round; `shot`: a picture then.
void tabTo(const char *name, const char *shot = nullptr)
{
    for (int i = 0;
         i < 60 && QApplication::focusWidget() && QApplication::focusWidget()->objectName() != name;
         ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QVERIFY2(QApplication::focusWidget(), name);
    QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(name));
    if (shot)
        screenshot(QApplication::activeWindow(), shot);
}

// Answers not given yet go with the test function that asked for them.
QObject *pendingAnswers()
{
    static QObject holder;
    return &holder;
}

// Answers the next modal dialog of type T once it is open, as the user would.
template <typename T> void whenOpen(std::function<void(T *)> answer)
{
    auto *timer = new QTimer(pendingAnswers());
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        if (auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            answer(dialog);
        }
    });
    timer->start(10);
}

// Types a path into the file dialog and presses Return.
void answerFileDialog(const QString &path)
{
    whenOpen<QFileDialog>([path](QFileDialog *dialog) {
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        name->setText(path);
        QTest::keyClick(name, Qt::Key_Return);
    });
}

} // namespace

class TestWorkflows : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        TestData::useScratchHome(m_home.path());
        // The dialogs are driven as widgets, whatever the platform offers.
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        QVERIFY(installQtTranslations(qApp));
    }

    void init() { QSettings(QStringLiteral("Voskan"), QStringLiteral("Voskan")).clear(); }

    void cleanup() { qDeleteAll(pendingAnswers()->children()); }

    // Without a mouse: a photo from each source, a style, the set as desktop.
    void keyboardOnly()
    {
        FakeUnsplashServer unsplash;
        QVERIFY(unsplash.start());
        QTemporaryDir pictures;
        QVERIFY(QDir(pictures.path()).mkdir(QStringLiteral("Urlaub")));
        QVERIFY(QFile::copy(Window::kPhoto, pictures.filePath(QStringLiteral("Weg.jpg"))));
        QVERIFY(QFile::copy(kCups, pictures.filePath(QStringLiteral("Urlaub/Tassen.jpg"))));
        auto photos = std::make_shared<PhotoLibrary>(pictures.path());
        int asked = 0;
        photos->setPrompt([&asked](const QString &) { return ++asked; });     // "Erlauben"
        userSettings().setValue(UnsplashSearch::kAccessKeyKey, "schluessel"); // the user's own
        Window s(photos);
        const auto press = [](auto... keys) {
            (QTest::keyClick(QApplication::focusWidget(), keys), ...);
        };
        s.find("searchField")->setFocus(Qt::TabFocusReason);

        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("herbst"));
        QCOMPARE(unsplash.searchCount(), 0);
        press(Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(s.find<ThumbStrip>("unsplashStrip")->model()->rowCount(), 12,
                                  15000);
        tabTo("unsplashStrip", "tastatur-unsplash.png");
        press(Qt::Key_Right, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(s.model.currentLook().photoID, unsplash.ids().at(1), 15000);
        QTRY_COMPARE(unsplash.downloadReports(), 1);
        auto *credit = s.find<CreditLabel>("attribution");
        QVERIFY(credit->isVisible() && credit->isLink() &&
                credit->credit().contains("Jonas Weber"));

        s.choose("sourcePicker", QStringLiteral("Dateien"));
        QVERIFY(s.open(Window::kPhoto) && s.open(kCups)); // Ctrl+O: tst_widgets menusAndShortcuts
        s.find("sourcePicker")->setFocus(Qt::TabFocusReason);
        tabTo("recentStrip", "tastatur-dateien.png");
        press(Qt::Key_Right, Qt::Key_Space); // the newest is first and chosen; the one before next
        QTRY_COMPARE(s.model.currentLook().photoID, Window::kPhoto);
        QTRY_VERIFY(!s.model.isLoadingSource());

        s.choose("sourcePicker", QStringLiteral("Fotos"));
        tabTo("connectPhotosButton");
        press(Qt::Key_Space);
        QTRY_COMPARE(s.model.photosAuthStatus(), PhotosAuthStatus::Authorized);
        QCOMPARE(asked, 1);
        auto *assets = s.find<ThumbStrip>("assetStrip");
        QTRY_COMPARE(assets->model()->rowCount(), 2); // "Alle Fotos", chosen by itself
        s.choose("albumPicker", QStringLiteral("Urlaub"));
        QTRY_COMPARE(assets->model()->rowCount(), 1);
        tabTo("assetStrip", "tastatur-fotos.png");
        press(Qt::Key_Return);
        QTRY_COMPARE(s.model.currentLook().photoID, s.model.albumAssets().constFirst().id);
        QTRY_VERIFY(!s.model.isLoadingSource());
        QTimer::singleShot(0, [] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            for (QAction *action : menu->actions())
                if (action->text() == QStringLiteral("In Fotos sichern"))
                    menu->setActiveAction(action);
            QTest::keyClick(menu, Qt::Key_Return);
        });
        tabTo("exportButton");
        press(Qt::Key_Space);
        QTRY_COMPARE_WITH_TIMEOUT(
            s.model.statusMessage(), QStringLiteral("In Fotos gesichert (Album „Voskan“)."),
            90000); // two full-size pictures encoded, under the sanitizers too
        QTRY_VERIFY(s.find<QComboBox>("albumPicker")->findText(QStringLiteral("Voskan")) >= 0);
        const QStringList saved =
            QDir(pictures.filePath(QStringLiteral("Voskan"))).entryList({QStringLiteral("*.heic")});
        QCOMPARE(saved.size(), 1);
        QCOMPARE(readHeic(pictures.filePath("Voskan/" + saved.first())).pictures.size(), 2);
        s.activate(); // back from the menu

        const double blur = s.model.lightLook().blur;
        tabTo("slider_blur");
        press(Qt::Key_PageUp);
        QVERIFY(s.model.lightLook().blur > blur);
        tabTo("stylePicker", "tastatur-stil.png");
        press(Qt::Key_Down);
        QCOMPARE(s.model.currentLook().style, WallpaperStyle::Flow);
        tabTo("bandsTwo", "tastatur-farben.png");
        tabTo("setDesktopButton", "tastatur-setzen.png");
        press(Qt::Key_Space);
        QTRY_COMPARE_WITH_TIMEOUT(s.desktop->shown.size(), 1, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!s.model.jobs()->isBusy(), 90000);
    }

    // A dynamic wallpaper made elsewhere opens as what it is; a broken schedule as a photo.
    void dynamicWallpaperOpensAsWhatItIs_data()
    {
        // xmp: of a file of 16 pictures, each its own colour; light: the picture each look shows,
        // -1: a photo; said: the status line, or the alert
        // caption: what the light picture's tile says under it
        addColumns<QByteArray, int, int, QString, QString>(
            {"xmp", "light", "dark", "said", "caption"});
        const QList<SolarPicture> sun = sixteenSuns();
        // clang-format off
        QTest::newRow("light/dark") << scheduleXmp({{"apr", aprTable({3, 12})}}) << 3 << 12 << "Dynamisches Wallpaper: 16 Bilder, Hell/Dunkel" << "Hell";
        QTest::newRow("hours, one picture all day") << scheduleXmp({{"h24", h24Table({{7, 0.25}})}}) << 7 << 7 << "Dynamisches Wallpaper: 16 Bilder, Tageszeit" << "06:00";
        QTest::newRow("sun, with a pair") << scheduleXmp({{"solar", solarTable(sun, LightDarkPair{9, 1})}}) << 9 << 1 << "Dynamisches Wallpaper: 16 Bilder, Sonnenstand" << "↓42°";
        QTest::newRow("the table given twice in its tag") << scheduleXmp({{"apr", aprTable({3, 12})}, {"apr", aprTable({12, 3})}}) << -1 << -1 << "Der Zeitplan des dynamischen Wallpapers ist beschädigt. Voskan öffnet das erste Bild als Foto." << "";
        // clang-format on
    }

    void dynamicWallpaperOpensAsWhatItIs()
    {
        FETCH((QByteArray, xmp), (int, light, dark), (QString, said, caption));
        QList<QColor> colours;
        for (int i = 0; i < 16; ++i)
            colours << QColor::fromHsv(i * 22, 220, 70 + 10 * i);
        QTemporaryDir pictures;
        const QString path = pictures.filePath(QStringLiteral("Tag.heic"));
        QVERIFY(writeDynamicHeic(path, solidPictures(colours), xmp));
        Window s;
        const auto shows = [&](Appearance look, int picture) {
            const Look &shown =
                look == Appearance::Light ? s.model.lightLook() : s.model.darkLook();
            return shown.source && colourDistance(shown.source->toImage().pixelColor(32, 18),
                                                  colours[picture]) < 30;
        };
        s.model.openLocalImage(path);
        QTRY_VERIFY(!s.model.isLoadingSource());
        if (light < 0) {
            QTRY_COMPARE(s.model.errorMessage(), said);
            QVERIFY(shows(Appearance::Light, 0) && !s.model.dynamicWallpaper());
            return;
        }
        QVERIFY(shows(Appearance::Light, light) && shows(Appearance::Dark, dark));
        QCOMPARE(s.model.statusMessage(), said);
        QCOMPARE(s.find<QLabel>("dynamicSummary")->text(), said);
        QCOMPARE(s.model.lightLook().blur, 0.0); // as it is, no style over it
        // Set: a pair's two pictures as they are; a day's, on this desktop, the one due now.
        setCustomSize(s.model, 320, 180);
        const WallpaperSchedule schedule = s.model.dynamicWallpaper()->schedule;
        const int due = pictureAt(schedule, QDateTime::currentDateTime(),
                                  QTimeZone::systemTimeZone(), userLocation())
                            .image;
        s.model.setAsDesktop();
        QTRY_COMPARE_WITH_TIMEOUT(s.desktop->shown.size(), 1, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!s.model.jobs()->isBusy(), 30000);
        QCOMPARE(s.model.errorMessage(), std::nullopt);
        const WallpaperFiles set = s.desktop->shown[0];
        const bool day = schedule.kind != ScheduleKind::LightDark;
        for (const auto &[file, picture] :
             {std::pair{set.light, day ? due : light}, std::pair{set.dark, day ? due : dark}})
            QVERIFY2(colourDistance(QImage(file).pixelColor(5, 5), colours[picture]) < 30,
                     qPrintable(file));
        auto *strip = s.find<ThumbStrip>("dynamicStrip");
        QTRY_COMPARE(strip->model()->rowCount(), 16);
        const auto tile = [strip] { return strip->visualRect(strip->model()->index(5, 0)); };
        QTRY_VERIFY(strip->isVisible() && tile().isValid());
        // The light picture's time (or sun, or appearance) is written under its tile, where
        // the eye finds it, not only in what a screen reader hears.
        const QModelIndex lit = strip->model()->index(light, 0);
        QCOMPARE(lit.data(ThumbListModel::CaptionRole).toString(), caption);
        strip->scrollTo(lit);
        const QRect cell = strip->visualRect(lit);
        const int below = int(ThumbStrip::tileRect(cell).bottom()) + ThumbStrip::kTileMargin;
        QVERIFY(cell.bottom() - below >= strip->fontMetrics().height() * 3 / 4 &&
                strip->viewport()->rect().contains(cell));
        const QImage line =
            strip->viewport()
                ->grab(QRect(cell.left(), below, cell.width(), cell.bottom() - below))
                .toImage();
        int inked = 0;
        for (int y = 0; y < line.height(); ++y)
            for (int x = 0; x < line.width(); ++x)
                inked += colourDistance(line.pixelColor(x, y), line.pixelColor(0, 0)) > 60;
        QVERIFY2(inked >= 10, qPrintable(QString::number(inked)));
        QTest::mouseClick(strip->viewport(), Qt::LeftButton, {}, tile().center());
        QTRY_VERIFY(shows(Appearance::Light, 5));
        QVERIFY(s.model.dynamicWallpaper());
        // A slider moved makes it a photo like any other.
        s.model.bind(&Look::blur).setValue(20.0);
        QVERIFY(!s.model.dynamicWallpaper());
        QTRY_VERIFY(!s.find("dynamicStrip")->isVisible());
    }

    // „Täglich neu“: a search it cannot take is refused, nothing kept; else it keeps these looks.
    void dailyFromTheMenu()
    {
        Window s;
        QVERIFY(s.open() && s.model.lightLook().source);
        s.choose("stylePicker", "Flow");
        s.model.bind(&Look::flowBands).setValue(qint64(5));
        s.model.bind(&Look::flowPhase).setValue(0.123456789);
        s.model.setEditing(Appearance::Dark);
        s.model.bind(&Look::brightness).setValue(-0.3);
        QPointer<DailyDialog> shown;
        QVERIFY(s.model.search()->needsAccessKey());
        bool warned = false;
        whenOpen<DailyDialog>([&shown, &warned](DailyDialog *dialog) {
            shown = dialog;
            auto *warning = dialog->findChild<QWidget *>("dailyKeyWarning");
            QTest::keyClick(dialog->findChild<QCheckBox *>("dailyEnabled"), Qt::Key_Space);
            // Without a key every run would fail: the dialog says so and leads to the key.
            warned = warning->isVisible();
            auto *query = dialog->findChild<QLineEdit *>("dailyQuery");
            query->setText("Nebel\x1b[31m"); // as pasted
            QTest::keyClick(dialog->findChild<QCheckBox *>("dailyAtLogin"), Qt::Key_Space);
            QTest::keyClick(query, Qt::Key_Return);
        });
        s.window.findChild<QAction *>("dailyAction")->trigger();
        const QString error = "Der Suchbegriff enthält ein Steuerzeichen (U+001B); gib ihn bitte "
                              "ohne Steuerzeichen ein.";
        QTRY_VERIFY(s.window.errorAlert() && s.window.errorAlert()->isVisible());
        QCOMPARE(s.window.errorAlert()->text(), error);
        QVERIFY(shown && shown->isVisible());
        QTest::keyClick(s.window.errorAlert(), Qt::Key_Escape);
        QVERIFY(warned);
        shown->findChild<QPushButton *>("dailyKeyButton")->click();
        auto *settings = s.window.findChild<SettingsDialog *>();
        QTRY_VERIFY(settings && settings->isVisible());
        auto *key = settings->findChild<QLineEdit *>("accessKeyField");
        QTRY_VERIFY(key->hasFocus());
        s.model.search()->setAccessKey("ein-key");
        QVERIFY(!shown->findChild<QWidget *>("dailyKeyWarning")->isVisible());
        settings->close();
        shown->activateWindow();
        auto *query = shown->findChild<QLineEdit *>("dailyQuery");
        query->selectAll();
        QTest::keyClicks(query, "Nebel am Meer");
        QVERIFY(!shown->findChild<QTimeEdit *>("dailyAt")->isEnabled());
        QTest::keyClick(query, Qt::Key_Return);
        QTRY_VERIFY(DailyWallpaper::settings().has_value());
        const DailyWallpaper::Settings daily = *DailyWallpaper::settings();
        QCOMPARE(daily.query, "Nebel am Meer");
        QVERIFY(daily.atLogin && QFile::exists(DailyWallpaper::autostartFile()));
        const RenderPipeline::PixelSize pixels = s.model.pixelSize();
        QCOMPARE(daily.options.mid(0, 2),
                 (QStringList{"--size", QString("%1x%2").arg(pixels.width).arg(pixels.height)}));
        Look light, dark;
        for (qsizetype i = 2; i + 1 < daily.options.size(); i += 2) {
            const QString &option = daily.options.at(i), &value = daily.options.at(i + 1);
            QVERIFY2(option == "--set" || option == "--dark-set", qPrintable(option));
            const qsizetype eq = value.indexOf('=');
            QVERIFY(LookFields::set(option == "--set" ? light : dark, value.left(eq),
                                    value.mid(eq + 1), nullptr));
        }
        const auto sameBut = [](Look parsed, const Look &shown) { // colours come from the photo
            std::tie(parsed.source, parsed.photoID, parsed.baseName, parsed.attribution,
                     parsed.attributionURL, parsed.flowColor0, parsed.flowColor1,
                     parsed.flowColor2) =
                std::tie(shown.source, shown.photoID, shown.baseName, shown.attribution,
                         shown.attributionURL, shown.flowColor0, shown.flowColor1,
                         shown.flowColor2);
            return parsed == shown;
        };
        QVERIFY(sameBut(light, s.model.lightLook()) && light.style == WallpaperStyle::Flow);
        QVERIFY(sameBut(dark, s.model.darkLook()));
    }

    void dropWhatIsNoFile_data()
    {
        QTest::addColumn<QString>("kind"); // two of them, as nonRegularFile() makes them
        for (const char *kind : {"FIFO", "socket", "folder", "device"})
            QTest::newRow(kind) << kind;
    }

    // Two FIFOs (or the like) dropped are told at once; the window paints on (or QtTest times out).
    void dropWhatIsNoFile()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QStringList dropped{nonRegularFile(kind, dir.path(), "x.jpg"),
                                  nonRegularFile(kind, dir.path(), "Tag.heic")};
        QVERIFY(!dropped.contains(QString()));
        Window s;
        QVERIFY(s.open());
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(dropped[0]), QUrl::fromLocalFile(dropped[1])});
        QWidget *column = s.find("inspector");
        QDropEvent drop(QPointF(column->rect().center()), Qt::CopyAction, &data, Qt::LeftButton,
                        Qt::NoModifier);
        // Handed to the column itself: the application passes a drop only to the target of a
        // drag it saw begin.
        static_cast<QObject *>(column)->event(&drop);
        QVERIFY(drop.isAccepted());
        QTRY_VERIFY_WITH_TIMEOUT(s.window.errorAlert() && s.window.errorAlert()->isVisible(), 2000);
        QCOMPARE(s.window.errorAlert()->text(),
                 "Bild konnte nicht geladen werden: " + QFileInfo(dropped[0]).fileName() + '\n' +
                     description(DecodeError::Unreadable));
        s.window.repaint();
        s.find("previewPane")->repaint();
        QTRY_VERIFY(!s.model.isLoadingSource());
        QCOMPARE(s.model.currentLook().photoID, Window::kPhoto);
    }

    // A first start by keyboard: a file, own colours, Ctrl+S; a big one stopped halfway by Escape.
    void firstStartOwnColoursExportAndCancel()
    {
        Window s;
        screenshot(&s.window, "erster-start.png");
        tabTo("emptyOpenFileButton");
        answerFileDialog(Window::kPhoto);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QTRY_COMPARE(s.model.currentLook().photoID, Window::kPhoto);
        QTRY_VERIFY(!s.model.isLoadingSource() && !s.find("emptyTitle")->isVisible());

        s.choose("stylePicker", QStringLiteral("Flow"));
        QTest::mouseClick(s.find<QAbstractButton>("bandsTwo"), Qt::LeftButton);
        QVERIFY(!s.find("colorWell2")->isVisible());
        const QList<QColor> own{QColor(210, 60, 40), QColor(30, 80, 190)};
        for (int i = 0; i < own.size(); ++i) {
            QString cancel;
            whenOpen<QColorDialog>([c = own[i], &cancel](QColorDialog *dialog) {
                cancel = dialog->findChild<QDialogButtonBox *>()
                             ->button(QDialogButtonBox::Cancel)
                             ->text();
                dialog->setCurrentColor(c);
                dialog->accept();
            });
            auto *well = s.find<ColorWell>(i ? "colorWell1" : "colorWell0");
            QTest::mouseClick(well, Qt::LeftButton);
            QCOMPARE(cancel, "Abbrechen"); // Qt's own dialog speaks German too
            QCOMPARE(well->color().rgb(), own[i].rgb());
        }
        QCOMPARE((QList<QColor>{s.model.lightLook().flowColor0, s.model.lightLook().flowColor1}),
                 own);
        setCustomSize(s.model, 800, 500);

        // The controls wait while it is written.
        const QString path = m_home.filePath(QStringLiteral("Wald.heic"));
        answerFileDialog(path);
        s.activate(); // back from the dialogs
        QTest::keyClick(&s.window, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(s.model.jobs()->isBusy() && !s.window.exportAction()->isEnabled());
        QVERIFY(!s.find("setDesktopButton")->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(s.model.statusMessage(), QStringLiteral("Exportiert: Wald.heic"),
                                  30000);
        QVERIFY(s.find("setDesktopButton")->isEnabled());

        QCOMPARE(readHeic(path).pictures.value(0).pixels.size(), QSize(800, 500));

        s.activate(); // back from the save dialog
        s.choose("presetPicker", ResolutionPreset::proDisplayXDR().name);
        QWidget *before = QApplication::focusWidget();
        auto *panel = s.find("outputProgress");
        auto *bar = s.find<QProgressBar>("outputProgressBar");
        auto *cancel = s.find<QPushButton>("outputCancelButton");
        QList<int> values;
        connect(bar, &QProgressBar::valueChanged, this, [&](int value) { values << value; });
        answerFileDialog(m_home.filePath(QStringLiteral("Groß.heic")));
        QTest::keyClick(&s.window, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(panel->isVisible());
        auto *step = s.find<QLabel>("outputProgressStep");
        // Halfway: the first of the two encodes, after both renders.
        QTRY_COMPARE_WITH_TIMEOUT(step->text(), label(WriteStep::EncodeLight), 60000);
        QVERIFY(bar->value() > 0 && bar->value() < bar->maximum());
        QVERIFY2(values.size() >= 2 && std::is_sorted(values.begin(), values.end()),
                 qPrintable(QString::number(values.size())));
        screenshot(&s.window, "export-fortschritt.png");
        QSignalSpy finished(s.model.jobs(), &OutputJobs::finished);
        QApplication::setActiveWindow(&s.window); // back from the save dialog
        QTRY_COMPARE(QApplication::focusWidget(), cancel);
        QTest::keyClick(cancel, Qt::Key_Escape);
        QCOMPARE(step->text(), QStringLiteral("Wird abgebrochen …"));
        QVERIFY(finished.wait(60000));
        QVERIFY(!panel->isVisible());
        QCOMPARE(QApplication::focusWidget(), before);
    }

    void previewPaintsTheRender_data()
    {
        QTest::addColumn<QSize>("output");
        QTest::newRow("wide") << QSize(1600, 800);
        QTest::newRow("tall") << QSize(600, 900);
    }

    void previewPaintsTheRender()
    {
        QFETCH(QSize, output);
        Window s;
        s.model.openLocalImage(kCups);
        QTRY_VERIFY(!s.model.isLoadingSource());
        s.model.bind(&Look::blur).setValue(0.0);
        setCustomSize(s.model, output.width(), output.height());
        s.model.renderPreview();
        auto *pane = s.window.findChild<PreviewPane *>();
        // The output's aspect, as large as fits 40 px inside the pane, centred.
        const QRectF inner = QRectF(pane->rect()).adjusted(40, 40, -40, -40);
        QSizeF fit = output.scaled(inner.size().toSize(), Qt::KeepAspectRatio).toSizeF();
        const QRect expected =
            QRectF(inner.center() - QPointF(fit.width() / 2, fit.height() / 2), fit).toRect();
        const QImage painted = pane->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage render =
            s.model.preview()
                .scaled(expected.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .convertToFormat(QImage::Format_RGB32);
        // Inside the rounded corners every pixel is the render's.
        const int corner = PreviewPane::kCornerRadius;
        qint64 off = 0, count = 0;
        for (int y = corner; y < expected.height() - corner; y += 3)
            for (int x = corner; x < expected.width() - corner; x += 3, ++count)
                off += colourDistance(painted.pixelColor(expected.topLeft() + QPoint(x, y)),
                                      render.pixelColor(x, y));
        QVERIFY2(off < count * 9, qPrintable(QString::number(double(off) / count)));
    }

    // „Tagesverlauf“ from the keyboard: its strip heard and walked, a dawn looked at, the file
    // exported, and the day set on a desktop that shows one picture.
    void dayCycleFromOnePhoto()
    {
        Window s;
        QVERIFY(s.open());
        setCustomSize(s.model, 320, 200);
        s.choose("formatPicker", "Tagesverlauf, 5 Bilder");
        QTRY_COMPARE(s.model.dayCycle()->thumbnails().size(), 5);
        auto *strip = s.find<ThumbStrip>("dayCycleStrip");
        QTRY_VERIFY(strip->isVisible());
        const auto heard = [strip](int row) {
            return strip->model()->index(row, 0).data(Qt::AccessibleTextRole).toString();
        };
        QVERIFY2(heard(0).startsWith("Bild 1 von 5, Nacht") &&
                     heard(4).startsWith("Bild 5 von 5, Tag"),
                 qPrintable(heard(0) + " / " + heard(4)));
        strip->setFocus();
        QTest::keyClick(strip, Qt::Key_End);
        QTest::keyClick(strip, Qt::Key_Return);
        QCOMPARE(s.model.dayCycle()->shownPicture(), 4);
        // The day is the light look as it renders.
        const QImage day = s.model.preview();
        s.model.bind(&Look::blur).setValue(s.model.lightLook().blur);
        QCOMPARE(s.model.dayCycle()->shownPicture(), -1);
        s.model.renderPreview(); // not a moment later
        QCOMPARE(s.model.preview(), day);

        QTemporaryDir out;
        const QString path = out.filePath(s.model.exportFileName("heic"));
        QVERIFY2(path.endsWith("-day-cycle-320x200.heic"), qPrintable(path));
        s.model.exportTo(path);
        QTRY_VERIFY_WITH_TIMEOUT(!s.model.jobs()->isBusy(), 30000);
        QCOMPARE(s.model.errorMessage(), std::nullopt);
        const DayCycle::Plan plan = DayCycle::plan(5);
        const auto file = DynamicWallpaperFile::open(path);
        QVERIFY(std::holds_alternative<DynamicWallpaperFile>(file));
        QCOMPARE(std::get<DynamicWallpaperFile>(file).schedule(), plan.schedule());

        s.model.setAsDesktop();
        QTRY_COMPARE_WITH_TIMEOUT(s.desktop->shown.size(), 1, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!s.model.jobs()->isBusy(), 30000);
        QCOMPARE(s.model.errorMessage(), std::nullopt);
        const QString dayFile = DesktopService::recordedWallpaper().value_or(QString());
        QVERIFY2(dayFile.endsWith(".day"), qPrintable(dayFile));
        QCOMPARE(DayFile::read(dayFile)->schedule.sun, plan.sun);
        const int due = pictureAt(plan.schedule(), QDateTime::currentDateTime(), localTimeZone(),
                                  userLocation())
                            .image;
        QCOMPARE(s.desktop->shown[0].light, WallpaperFiles::forDayPicture(dayFile, due).light);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(QImage(WallpaperFiles::forDayPicture(dayFile, i).light).size(),
                     QSize(320, 200));
    }
};

QTEST_MAIN(TestWorkflows)
#include "tst_workflows.moc"
