#include "ui/icons.h"

#include <QTest>

// Without an icon theme (as offscreen, or on a bare window manager) every pictogram must still
// come from the drawings compiled into the program.
class TestIcons : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QIcon::setThemeName(QStringLiteral("no-such-theme")); }
    void everyIconDraws_data();
    void everyIconDraws();
};

void TestIcons::everyIconDraws_data()
{
    QTest::addColumn<QIcon>("pictogram");
    const char *names[] = {"Photo", "PhotoAdd", "Copy", "Done", "Folder",
                           "ColorPicker", "Export", "PhotoLibrary", "Desktop", "Search"};
    for (int i = 0; i <= int(Icon::Search); ++i)
        QTest::newRow(names[i]) << icon(Icon(i));
    QTest::newRow("application") << applicationIcon();
}

void TestIcons::everyIconDraws()
{
    QFETCH(QIcon, pictogram);
    QVERIFY(!pictogram.isNull());
    const QImage image = pictogram.pixmap(48, 48).toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.size(), QSize(48, 48));
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            opaque += qAlpha(image.pixel(x, y)) > 128;
    // Something is drawn, and it is not a filled square.
    QVERIFY2(opaque > 20 && opaque < 48 * 48, qPrintable(QString::number(opaque)));
}

QTEST_MAIN(TestIcons)
#include "tst_icons.moc"
