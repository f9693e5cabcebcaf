// The whole typical use, done in the window the way a person does it: search Unsplash, pick a
// hit, move a slider, choose a size, set the wallpaper. A loopback server stands in for
// Unsplash and a recording desktop for the real one.

#include "model/appmodel.h"
#include "sources/unsplashservice.h"
#include "support/fakes.h"
#include "support/fakeunsplashserver.h"
#include "ui/creditlabel.h"
#include "ui/mainwindow.h"
#include "ui/thumbstrip.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

class TestTypicalUse : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void searchPickTuneAndSetAsDesktop();

private:
    QTemporaryDir m_home;
};

void TestTypicalUse::initTestCase()
{
    QVERIFY(m_home.isValid());
    for (const char *variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(variable, m_home.filePath(QString::fromLatin1(variable)).toUtf8());
}

void TestTypicalUse::searchPickTuneAndSetAsDesktop()
{
    FakeUnsplashServer unsplash;
    QVERIFY(unsplash.start());
    AppModel model({makeUnsplashClient, nullptr});
    model.setAccessKey(QStringLiteral("schluessel"));
    auto recording = std::make_unique<RecordingDesktop>();
    RecordingDesktop *desktop = recording.get();
    model.setDesktopService(std::make_shared<DesktopService>(std::move(recording)));
    MainWindow window(&model, nullptr, nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // 1. Typing follows every keystroke; only Return searches.
    auto *field = window.findChild<QLineEdit *>(QStringLiteral("searchField"));
    QVERIFY(field);
    QTest::keyClicks(field, QStringLiteral("herbst"));
    QCOMPARE(model.query(), QStringLiteral("herbst"));
    QTest::qWait(50);
    QCOMPARE(unsplash.searchCount(), 0);
    QTest::keyClick(field, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(model.results().size(), 12, 15000);
    QCOMPARE(unsplash.searchCount(), 1);
    auto *strip = window.findChild<ThumbStrip *>(QStringLiteral("unsplashStrip"));
    QVERIFY(strip && strip->isVisible());
    QCOMPARE(strip->model()->rowCount(), 12);

    // 2. A click on the third hit downloads it, reports the download and shows it.
    const QRect tile = strip->visualRect(strip->model()->index(2, 0));
    QTest::mouseClick(strip->viewport(), Qt::LeftButton, {}, tile.center());
    QTRY_VERIFY_WITH_TIMEOUT(!model.preview().isNull() && !model.isLoadingSource(), 15000);
    QCOMPARE(model.currentLook().photoID, std::optional<QString>(unsplash.ids().at(2)));
    QTRY_COMPARE(unsplash.downloadReports(), 1);
    auto *credit = window.findChild<CreditLabel *>(QStringLiteral("attribution"));
    QVERIFY(credit && credit->isVisible());
    QVERIFY2(credit->credit().contains(QStringLiteral("Mira Sander")), qPrintable(credit->credit()));
    QVERIFY(credit->isLink());
    QVERIFY(!window.findChild<QLabel *>(QStringLiteral("emptyTitle"))->isVisible());

    // 3. A slider step writes the look and renders once, after the pause.
    QSignalSpy renders(&model, &AppModel::previewChanged);
    auto *blur = window.findChild<QSlider *>(QStringLiteral("slider_blur"));
    QVERIFY(blur && blur->isVisible());
    const double before = model.lightLook().blur;
    blur->setFocus();
    QTest::keyClick(blur, Qt::Key_PageUp);
    QVERIFY(model.lightLook().blur > before);
    QCOMPARE(renders.size(), 0);
    QTRY_COMPARE(renders.size(), 1);

    // 4. A size of one's own, typed with the locale's digits.
    auto *preset = window.findChild<QComboBox *>(QStringLiteral("presetPicker"));
    preset->setFocus();
    QTest::keyClick(preset, Qt::Key_End);
    QVERIFY(model.preset().isCustom());
    for (const auto &[name, value] : {std::pair{"customWidth", "640"}, {"customHeight", "400"}}) {
        auto *size = window.findChild<QLineEdit *>(QString::fromLatin1(name));
        QVERIFY(size && size->isVisible());
        size->setFocus();
        size->selectAll();
        QTest::keyClicks(size, QString::fromLatin1(value));
        QTest::keyClick(size, Qt::Key_Return);
    }
    QCOMPARE(model.customWidth(), 640);
    QCOMPARE(model.customHeight(), 400);

    // 5. "Als Schreibtisch setzen": both pictures at that size, on the desktop, confirmed.
    auto *setDesktop = window.findChild<QPushButton *>(QStringLiteral("setDesktopButton"));
    QVERIFY(setDesktop && setDesktop->isEnabled());
    QCOMPARE(setDesktop->text(), QStringLiteral("Als Schreibtisch setzen"));
    QTest::mouseClick(setDesktop, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(desktop->shown.size(), 1, 30000);
    QCOMPARE(desktop->shown.constFirst().size, QSize(640, 400));
    QVERIFY(QFileInfo(desktop->shown.constFirst().heic).size() > 0);
    QTRY_COMPARE(model.statusMessage(),
                 std::optional<QString>(QStringLiteral("Als dynamisches Wallpaper gesetzt.")));
    QVERIFY(!model.errorMessage());
    QTRY_VERIFY(window.findChild<QWidget *>(QStringLiteral("statusCapsule"))->isVisible());
}

QTEST_MAIN(TestTypicalUse)
#include "tst_typicaluse.moc"
