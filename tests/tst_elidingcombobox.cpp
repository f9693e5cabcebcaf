#include "model/valuetypes.h"
#include "ui/elidingcombobox.h"

#include <QTest>

class TestElidingComboBox : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void presetNamesKeepTheirSize_data();
    void presetNamesKeepTheirSize();
};

void TestElidingComboBox::presetNamesKeepTheirSize_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("width");
    for (const ResolutionPreset &preset : ResolutionPreset::all())
        for (const int width : {40, 120, 180, 400})
            QTest::addRow("%s in %d px", qPrintable(preset.name), width) << preset.name << width;
}

void TestElidingComboBox::presetNamesKeepTheirSize()
{
    QFETCH(QString, name);
    QFETCH(int, width);
    ElidingComboBox picker;
    const QFontMetrics metrics = picker.fontMetrics();
    const QString shown = picker.elided(name, width);
    if (metrics.horizontalAdvance(name) <= width) {
        QCOMPARE(shown, name);
        return;
    }
    QVERIFY2(metrics.horizontalAdvance(shown) <= width, qPrintable(shown));
    QVERIFY(shown.contains(QChar(0x2026)));
    const qsizetype dash = name.lastIndexOf(QChar(0x2014));
    const QString size = dash > 0 ? name.mid(dash - 1) : QString();
    // Where there is room for the size and a bit of the name, the size is whole.
    if (!size.isEmpty() && metrics.horizontalAdvance(size + QStringLiteral("MMM")) < width) {
        QVERIFY2(shown.endsWith(size), qPrintable(shown));
        QVERIFY(name.startsWith(shown.left(3)));
    }
}

QTEST_MAIN(TestElidingComboBox)
#include "tst_elidingcombobox.moc"
