#include "sources/unsplashcolor.h"

#include <QTest>

class TestUnsplashColor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data();
    void parse();
};

void TestUnsplashColor::parse_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QColor>("expected");

    const QColor none;
    QTest::newRow("absent") << false << QString() << false << none;
    QTest::newRow("empty") << true << QString() << false << none;
    QTest::newRow("only hashes") << true << QStringLiteral("###") << false << none;
    QTest::newRow("with hash") << true << QStringLiteral("#0c2640") << true << QColor(12, 38, 64);
    QTest::newRow("without hash") << true << QStringLiteral("a6d9f2") << true
                                  << QColor(166, 217, 242);
    QTest::newRow("upper case") << true << QStringLiteral("#FFA07A") << true
                                << QColor(255, 160, 122);
    QTest::newRow("mixed case") << true << QStringLiteral("#fFa07A") << true
                                << QColor(255, 160, 122);
    QTest::newRow("black") << true << QStringLiteral("#000000") << true << QColor(0, 0, 0);
    QTest::newRow("white") << true << QStringLiteral("#ffffff") << true << QColor(255, 255, 255);
    QTest::newRow("hashes at both ends")
        << true << QStringLiteral("##102030##") << true << QColor(16, 32, 48);
    QTest::newRow("hash inside") << true << QStringLiteral("#10#030") << false << none;
    QTest::newRow("short form") << true << QStringLiteral("#fff") << false << none;
    QTest::newRow("with alpha") << true << QStringLiteral("#80102030") << false << none;
    QTest::newRow("five digits") << true << QStringLiteral("#10203") << false << none;
    QTest::newRow("seven digits") << true << QStringLiteral("#1020304") << false << none;
    QTest::newRow("not hex") << true << QStringLiteral("#10203g") << false << none;
    QTest::newRow("hex prefix") << true << QStringLiteral("0x1020") << false << none;
    QTest::newRow("sign") << true << QStringLiteral("+10203") << false << none;
    QTest::newRow("leading blank") << true << QStringLiteral(" 10203") << false << none;
    QTest::newRow("trailing blank") << true << QStringLiteral("#102030 ") << false << none;
    QTest::newRow("full-width digits") << true << QStringLiteral("１２３４５６") << false << none;
    QTest::newRow("arabic-indic digits") << true << QStringLiteral("١٢٣٤٥٦") << false << none;
}

void TestUnsplashColor::parse()
{
    QFETCH(bool, present);
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QColor, expected);

    const std::optional<QColor> color =
        colorFromHex(present ? std::optional<QString>(text) : std::nullopt);
    QCOMPARE(color.has_value(), valid);
    if (valid) {
        QCOMPARE(color->rgba(), expected.rgba());
        QCOMPARE(color->alpha(), 255);
    }
}

QTEST_APPLESS_MAIN(TestUnsplashColor)
#include "tst_unsplashcolor.moc"
