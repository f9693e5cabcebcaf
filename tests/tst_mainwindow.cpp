#include "model/appmodel.h"
#include "support/fakes.h"
#include "support/testhttpserver.h"
#include "update/updaterviewmodel.h"
#include "ui/inspector.h"
#include "ui/mainwindow.h"
#include "ui/previewpane.h"
#include "ui/statuscapsule.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void menus();
    void emptyStateNamesTheEditedAppearance();
    void copyButtonFollowsTheLook();
    void fittedRect_data();
    void fittedRect();
    void errorAlert_data();
    void errorAlert();
    void newErrorReplacesTheTextInPlace();
    void errorAfterAClearedOneShows();
    void exportControlsWaitForARunningExport();
    void statusCapsuleSlidesInAndOut();
    void ctrlSOpensTheExportDialogOnlyWhenExportable();
    void spinnerWhileLoading();
    void updateItemFollowsTheUpdater();

private:
    QString writePicture(const QString &name);
    // Both looks get a picture: the second appearance is seeded from the first.
    void giveContent(AppModel &model) { model.openLocalImage(writePicture(QStringLiteral("a.png"))); }

    QTemporaryDir m_home;
};

void TestMainWindow::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home.path());
}

void TestMainWindow::init()
{
    QSettings(QStringLiteral("Voskan"), QStringLiteral("Voskan")).clear();
}

QString TestMainWindow::writePicture(const QString &name)
{
    QImage image(320, 200, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    const QString path = m_home.filePath(name);
    image.save(path);
    return path;
}

void TestMainWindow::menus()
{
    AppModel model;
    MainWindow window(&model, nullptr, nullptr);
    QStringList titles;
    QHash<QString, QStringList> items;
    for (QAction *menuAction : window.menuBar()->actions()) {
        titles << menuAction->text();
        for (QAction *item : menuAction->menu()->actions())
            if (!item->isSeparator())
                items[menuAction->text()] << item->text();
    }
    QCOMPARE(titles, (QStringList{"Datei", "Bearbeiten", "Hilfe"}));
    // No command for a second window; export shares its action (and Ctrl+S) with the inspector.
    QCOMPARE(items["Datei"], (QStringList{"Als HEIC exportieren…", "Beenden"}));
    QCOMPARE(items["Bearbeiten"], QStringList{"Einstellungen…"});
    QCOMPARE(items["Hilfe"], (QStringList{"Über Voskan", "Nach Updates suchen…"}));
    QCOMPARE(window.exportAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    // Without an updater there is nothing to check with.
    QVERIFY(!window.checkForUpdatesAction()->isEnabled());
    QCOMPARE(window.size(), QSize(1440, 840));
    QCOMPARE(window.minimumSize(), QSize(1100, 660));
}

void TestMainWindow::emptyStateNamesTheEditedAppearance()
{
    AppModel model;
    MainWindow window(&model, nullptr, nullptr);
    window.show();
    auto *title = window.findChild<QLabel *>(QStringLiteral("emptyTitle"));
    QVERIFY(title);
    QCOMPARE(title->text(), QStringLiteral("Kein Bild für „Hell“"));
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("appearance_dark")),
                      Qt::LeftButton);
    QCOMPARE(model.editing(), Appearance::Dark);
    QCOMPARE(title->text(), QStringLiteral("Kein Bild für „Dunkel“"));
    QVERIFY(title->isVisible());

    giveContent(model);
    QVERIFY(!model.preview().isNull());
    QVERIFY(!title->isVisible());
    QVERIFY(!window.findChild<PreviewPane *>()->imageRect().isEmpty());
}

void TestMainWindow::copyButtonFollowsTheLook()
{
    AppModel model;
    MainWindow window(&model, nullptr, nullptr);
    auto *copy = window.findChild<QToolButton *>(QStringLiteral("copyLookButton"));
    QVERIFY(copy);
    QVERIFY(!copy->isEnabled());
    QCOMPARE(copy->toolTip(), QStringLiteral("Auf „Dunkel“ übernehmen"));
    model.setEditing(Appearance::Dark);
    QCOMPARE(copy->toolTip(), QStringLiteral("Auf „Hell“ übernehmen"));

    giveContent(model);
    QVERIFY(copy->isEnabled());
    model.bind(&Look::style).setValue(WallpaperStyle::Mirror);
    copy->click();
    QCOMPARE(model.lightLook().style, WallpaperStyle::Mirror);
}

void TestMainWindow::fittedRect_data()
{
    QTest::addColumn<QSize>("area");
    QTest::addColumn<qint64>("width");
    QTest::addColumn<qint64>("height");
    QTest::addColumn<QRectF>("expected");
    // The margin is 40 on every side: a 1000×600 pane offers 920×520.
    QTest::newRow("wide output fills the width") << QSize(1000, 600) << qint64(1840) << qint64(920)
                                                 << QRectF(40, 70, 920, 460);
    QTest::newRow("tall output fills the height") << QSize(1000, 600) << qint64(1000)
                                                  << qint64(1000) << QRectF(240, 40, 520, 520);
    QTest::newRow("zero height counts as one") << QSize(1000, 600) << qint64(1) << qint64(0)
                                               << QRectF(240, 40, 520, 520);
    QTest::newRow("negative height counts as one") << QSize(1000, 600) << qint64(2)
                                                   << qint64(-5) << QRectF(40, 70, 920, 460);
    QTest::newRow("no room inside the margin") << QSize(70, 600) << qint64(16) << qint64(9)
                                               << QRectF();
    QTest::newRow("zero width draws nothing") << QSize(1000, 600) << qint64(0) << qint64(100)
                                              << QRectF();
}

void TestMainWindow::fittedRect()
{
    QFETCH(QSize, area);
    QFETCH(qint64, width);
    QFETCH(qint64, height);
    QFETCH(QRectF, expected);
    const QRectF got = PreviewPane::fittedRect(QSizeF(area), width, height);
    if (expected.isNull()) {
        QVERIFY2(got.isEmpty(), qPrintable(QStringLiteral("%1×%2").arg(got.width()).arg(got.height())));
        return;
    }
    QCOMPARE(got, expected);
}

void TestMainWindow::errorAlert_data()
{
    QTest::addColumn<QString>("dismissal");
    QTest::newRow("OK") << "ok";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("closed by the window manager") << "close";
}

void TestMainWindow::errorAlert()
{
    QFETCH(QString, dismissal);
    AppModel model;
    MainWindow window(&model, nullptr, nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    model.setStatusMessage(std::nullopt);
    model.setErrorMessage(QStringLiteral("Kaputt."));
    QMessageBox *alert = window.errorAlert();
    QVERIFY(alert);
    QTRY_VERIFY(alert->isVisible());
    QCOMPARE(alert->windowTitle(), QStringLiteral("Fehler"));
    QCOMPARE(alert->text(), QStringLiteral("Kaputt."));
    QCOMPARE(alert->buttons().size(), 1);
    QCOMPARE(alert->buttons().constFirst()->text(), QStringLiteral("OK"));
    QVERIFY(alert->isModal() || alert->windowModality() != Qt::NonModal);
    // An error is not a confirmation: the capsule stays away.
    QVERIFY(!window.findChild<StatusCapsule *>()->isVisible());

    if (dismissal == "ok")
        alert->buttons().constFirst()->click();
    else if (dismissal == "escape")
        QTest::keyClick(alert, Qt::Key_Escape);
    else
        alert->close();
    QTRY_VERIFY(!model.errorMessage().has_value());
    QTRY_VERIFY(!window.errorAlert());

    // The next error opens a new alert.
    model.setErrorMessage(QStringLiteral("Noch einmal."));
    QVERIFY(window.errorAlert());
    QCOMPARE(window.errorAlert()->text(), QStringLiteral("Noch einmal."));
}

void TestMainWindow::newErrorReplacesTheTextInPlace()
{
    AppModel model;
    MainWindow window(&model, nullptr, nullptr);
    window.show();
    model.setErrorMessage(QStringLiteral("Erster Fehler."));
    QPointer<QMessageBox> alert = window.errorAlert();
    QVERIFY(alert);
    model.setErrorMessage(QStringLiteral("Zweiter Fehler."));
    QCOMPARE(window.errorAlert(), alert.data());
    QCOMPARE(alert->text(), QStringLiteral("Zweiter Fehler."));
    // Cleared by the model itself (a new operation starts): the alert goes.
    model.setErrorMessage(std::nullopt);
    QTRY_VERIFY(!alert);
}

void TestMainWindow::errorAfterAClearedOneShows()
{
    AppModel model;
    MainWindow window(&model, nullptr, nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QString broken = m_home.filePath(QStringLiteral("kaputt.jpg"));
    QFile file(broken);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("kein Bild");
    file.close();
    // Each attempt clears the previous error before it sets its own.
    model.openLocalImage(broken);
    QTRY_VERIFY(window.errorAlert() && window.errorAlert()->isVisible());
    model.openLocalImage(broken);
    QVERIFY(model.errorMessage().has_value());
    QTRY_VERIFY(window.errorAlert() && window.errorAlert()->isVisible());
    QCOMPARE(window.errorAlert()->text(), *model.errorMessage());
}

void TestMainWindow::exportControlsWaitForARunningExport()
{
    AppModel model;
    MainWindow window(&model, nullptr, nullptr);
    giveContent(model);
    auto *setDesktop = window.findChild<QPushButton *>(QStringLiteral("setDesktopButton"));
    QVERIFY(setDesktop->isEnabled());
    QVERIFY(window.exportAction()->isEnabled());
    model.setCustomWidth(320);
    model.setCustomHeight(200);
    model.setPreset(ResolutionPreset::all().constLast());
    QSignalSpy finished(&model, &AppModel::exportFinished);
    model.exportTo(m_home.filePath(QStringLiteral("out.heic")));
    QVERIFY(model.isExporting());
    QVERIFY(!setDesktop->isEnabled());
    QVERIFY(!window.exportAction()->isEnabled());
    QVERIFY(window.findChild<QWidget *>(QStringLiteral("loadingSpinner"))->isVisibleTo(&window));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 30000);
    QVERIFY(setDesktop->isEnabled());
    QVERIFY(window.exportAction()->isEnabled());
}

void TestMainWindow::statusCapsuleSlidesInAndOut()
{
    AppModel model;
    MainWindow window(&model, nullptr, nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *capsule = window.findChild<StatusCapsule *>();
    auto *pane = window.findChild<PreviewPane *>();
    QVERIFY(!capsule->isVisible());

    model.setStatusMessage(QStringLiteral("Als dynamisches Wallpaper gesetzt."));
    QVERIFY(capsule->isVisible());
    QCOMPARE(capsule->findChild<QLabel *>(QStringLiteral("statusText"))->text(),
             QStringLiteral("Als dynamisches Wallpaper gesetzt."));
    // It starts below its resting place and never passes it.
    int lowestY = capsule->y();
    const int rest = pane->height() - capsule->height() - StatusCapsule::kBottomMargin;
    QVERIFY(capsule->y() > rest);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < StatusCapsule::kAnimationMs + 200) {
        QTest::qWait(10);
        QVERIFY2(capsule->y() >= rest, "overshoot");
        QVERIFY(capsule->y() <= lowestY);
        lowestY = capsule->y();
    }
    QCOMPARE(capsule->y(), rest);
    QCOMPARE(capsule->x(), (pane->width() - capsule->width()) / 2);

    model.setStatusMessage(std::nullopt);
    QVERIFY(capsule->isVisible()); // sliding out
    QTRY_VERIFY(!capsule->isVisible());
}

void TestMainWindow::ctrlSOpensTheExportDialogOnlyWhenExportable()
{
    AppModel model;
    MainWindow window(&model, nullptr, nullptr);
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));

    int dialogs = 0;
    QString proposed;
    QTimer watcher;
    watcher.setInterval(20);
    connect(&watcher, &QTimer::timeout, this, [&] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            ++dialogs;
            proposed = dialog->selectedFiles().value(0);
            QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
            dialog->reject();
        }
    });
    watcher.start();

    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
    QTest::qWait(100);
    QCOMPARE(dialogs, 0);

    giveContent(model);
    QVERIFY(model.canExport());
    QVERIFY(window.exportAction()->isEnabled());
    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
    QTRY_COMPARE(dialogs, 1);
    QVERIFY2(proposed.endsWith(QStringLiteral(".heic")), qPrintable(proposed));
    QVERIFY(proposed.contains(QStringLiteral("-dynamic-6016x3384")));
}

void TestMainWindow::spinnerWhileLoading()
{
    AppModel model;
    MainWindow window(&model, nullptr, nullptr);
    window.show();
    auto *spinner = window.findChild<QWidget *>(QStringLiteral("loadingSpinner"));
    QVERIFY(spinner);
    QVERIFY(!spinner->isVisible());
    // A search hit downloading: the spinner shows over the empty state until it arrives.
    FakeUnsplash unsplash;
    AppModel loading({unsplash.factory(), nullptr});
    MainWindow other(&loading, nullptr, nullptr);
    other.show();
    UnsplashPhoto photo;
    photo.id = QStringLiteral("p1");
    photo.urls.regular = QStringLiteral("https://images.example/p1.jpg");
    loading.select(photo);
    auto *otherSpinner = other.findChild<QWidget *>(QStringLiteral("loadingSpinner"));
    QVERIFY(loading.isLoadingSource());
    QVERIFY(otherSpinner->isVisible());
    QVERIFY(other.findChild<QLabel *>(QStringLiteral("emptyTitle"))->isVisible());
    QCOMPARE(unsplash.pending.size(), 1);
    unsplash.pending.takeFirst().done(QStringLiteral("Netzwerkfehler."));
    QTRY_VERIFY(!otherSpinner->isVisible());
}

void TestMainWindow::updateItemFollowsTheUpdater()
{
    TestHttpServer feed;
    QVERIFY(feed.start());
    feed.setResponse(
        "/appcast.xml",
        {200,
         {{"Content-Type", "application/rss+xml"}},
         R"(<?xml version="1.0"?><rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel><item><title>9.0</title><link>https://voskan.example/download</link><sparkle:version>9.0</sparkle:version><enclosure url="https://voskan.example/voskan_9.0.deb" type="application/octet-stream"/></item></channel></rss>)",
         TestHttpServer::Response::Body::Trickle, 4, 60});
    AppModel model;
    UpdaterViewModel updater(feed.url(QStringLiteral("/appcast.xml")), QStringLiteral("0.1.0"));
    MainWindow window(&model, &updater, nullptr);
    window.show();
    QAction *item = window.checkForUpdatesAction();
    QVERIFY(item->isEnabled());

    item->trigger();
    // While the feed trickles in no second check can start.
    QVERIFY(!item->isEnabled());
    QMessageBox *box = nullptr;
    QTRY_VERIFY((box = window.findChild<QMessageBox *>(QStringLiteral("updateAvailableBox"))));
    QVERIFY(item->isEnabled());
    QCOMPARE(box->text(), QStringLiteral("Voskan 9.0 ist verfügbar."));
    box->close();
    QCOMPARE(feed.requests().size(), 1);

    // No feed, nothing to check with.
    UpdaterViewModel none(QUrl(), QStringLiteral("0.1.0"));
    MainWindow other(&model, &none, nullptr);
    QVERIFY(!other.checkForUpdatesAction()->isEnabled());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
