#include "model/appmodel.h"
#include "sources/photolibrary.h"
#include "ui/settingsdialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestSettingsDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void keyFollowsEveryKeystroke();
    void keyChangedElsewhereShows();
    void texts();
    void photosSection_data();
    void photosSection();

private:
    QTemporaryDir m_home;
};

void TestSettingsDialog::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home.path());
}

void TestSettingsDialog::init()
{
    QSettings(QStringLiteral("Voskan"), QStringLiteral("Voskan")).clear();
}

void TestSettingsDialog::keyFollowsEveryKeystroke()
{
    AppModel model;
    SettingsDialog dialog(&model, nullptr);
    dialog.show();
    auto *field = dialog.findChild<QLineEdit *>(QStringLiteral("accessKeyField"));
    QVERIFY(field);
    QStringList seen;
    connect(&model, &AppModel::accessKeyChanged, this, [&] { seen << model.accessKey(); });
    QTest::keyClicks(field, QStringLiteral("ab c"));
    // No Return, no leaving the field: each keystroke is already the model's key, as typed.
    QCOMPARE(seen, (QStringList{"a", "ab", "ab ", "ab c"}));
    QCOMPARE(QSettings(QStringLiteral("Voskan"), QStringLiteral("Voskan"))
                 .value(QStringLiteral("unsplashAccessKey"))
                 .toString(),
             QStringLiteral("ab c"));
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QCOMPARE(model.accessKey(), QString());
}

void TestSettingsDialog::keyChangedElsewhereShows()
{
    AppModel model;
    SettingsDialog dialog(&model, nullptr);
    auto *field = dialog.findChild<QLineEdit *>(QStringLiteral("accessKeyField"));
    model.setAccessKey(QStringLiteral("abcdef"));
    QCOMPARE(field->text(), QStringLiteral("abcdef"));
    field->setCursorPosition(2);
    model.setAccessKey(QStringLiteral("abcdef"));
    QCOMPARE(field->cursorPosition(), 2);
}

void TestSettingsDialog::texts()
{
    AppModel model;
    SettingsDialog dialog(&model, nullptr);
    QCOMPARE(dialog.width(), 460);
    QCOMPARE(dialog.findChild<QLineEdit *>(QStringLiteral("accessKeyField"))->placeholderText(),
             QStringLiteral("Access-Key (optional)"));
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("accessKeyHint"))->text(),
             QStringLiteral("Ein Key ist bereits hinterlegt (gemeinsames Ratenlimit). Für ein "
                            "eigenes Limit unter unsplash.com/developers einen Key erstellen "
                            "und hier einsetzen."));
    auto *link = dialog.findChild<QLabel *>(QStringLiteral("developerLink"));
    QVERIFY(link->text().contains(QStringLiteral("href=\"https://unsplash.com/developers\"")));
    QVERIFY(link->text().contains(QStringLiteral(">unsplash.com/developers öffnen<")));
    // No library, no section for it.
    QVERIFY(!dialog.findChild<QCheckBox *>(QStringLiteral("allowPhotosAccess")));
}

void TestSettingsDialog::photosSection_data()
{
    QTest::addColumn<bool>("folderExists");
    QTest::addColumn<bool>("tick");
    QTest::addColumn<PhotosAuthStatus>("expected");
    QTest::newRow("allowed") << true << true << PhotosAuthStatus::Authorized;
    QTest::newRow("withdrawn") << true << false << PhotosAuthStatus::Denied;
    QTest::newRow("missing folder") << false << true << PhotosAuthStatus::Restricted;
}

void TestSettingsDialog::photosSection()
{
    QFETCH(bool, folderExists);
    QFETCH(bool, tick);
    QFETCH(PhotosAuthStatus, expected);
    QTemporaryDir pictures;
    const QString root = folderExists ? pictures.path() : pictures.filePath(QStringLiteral("fehlt"));
    auto library = std::make_shared<PhotoLibrary>(root);
    AppModel model({{}, library});
    SettingsDialog dialog(&model, library.get());
    dialog.show();
    auto *allow = dialog.findChild<QCheckBox *>(QStringLiteral("allowPhotosAccess"));
    QVERIFY(allow);
    QVERIFY(dialog.findChild<QLabel *>(QStringLiteral("photosFolder"))->text().endsWith(
        QFileInfo(root).fileName()));
    QCOMPARE(allow->isEnabled(), folderExists);
    QVERIFY(!allow->isChecked());
    if (!folderExists) {
        QCOMPARE(model.photosAuthStatus(), PhotosAuthStatus::Restricted);
        return;
    }
    // Ticking first, then the row's answer; a withdrawal is a tick followed by an untick.
    allow->click();
    QCOMPARE(model.photosAuthStatus(), PhotosAuthStatus::Authorized);
    if (!tick)
        allow->click();
    QCOMPARE(model.photosAuthStatus(), expected);
    QCOMPARE(library->authorizationStatus(), expected);
    QCOMPARE(allow->isChecked(), tick);
}

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
