#include "model/lookfields.h"

#include <QTest>

class TestLookFields : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void setsByName_data();
    void setsByName();
    void rejectsWithoutChange_data();
    void rejectsWithoutChange();
};

void TestLookFields::setsByName_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("check"); // the field read back as text
    QTest::newRow("blur") << "blur"
                          << "30"
                          << "30";
    QTest::newRow("negative brightness") << "brightness"
                                         << "-0.15"
                                         << "-0.15";
    QTest::newRow("bands") << "flowBands"
                           << "2"
                           << "2";
    QTest::newRow("colour") << "flowColor0"
                            << "#ff8800"
                            << "#ff8800";
    QTest::newRow("style") << "style"
                           << "mirror"
                           << "mirror";
    QTest::newRow("mirror depth") << "mirrorDepth"
                                  << "0.8"
                                  << "0.8";
}

void TestLookFields::setsByName()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, check);
    Look look;
    QString error;
    QVERIFY2(LookFields::set(look, field, value, &error), qPrintable(error));
    QString got;
    if (field == QLatin1String("blur"))
        got = QString::number(look.blur);
    else if (field == QLatin1String("brightness"))
        got = QString::number(look.brightness);
    else if (field == QLatin1String("flowBands"))
        got = QString::number(look.flowBands);
    else if (field == QLatin1String("flowColor0"))
        got = look.flowColor0.name();
    else if (field == QLatin1String("style"))
        got = rawValue(look.style);
    else if (field == QLatin1String("mirrorDepth"))
        got = QString::number(look.mirrorDepth);
    QCOMPARE(got, check);
    // Every other field keeps its default.
    Look expected;
    QVERIFY(LookFields::set(expected, field, value, nullptr));
    QCOMPARE(look, expected);
    QVERIFY(LookFields::names().contains(field));
}

void TestLookFields::rejectsWithoutChange_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown field") << "blurr"
                                   << "3"
                                   << "Unbekanntes Feld „blurr“";
    QTest::newRow("decimal comma") << "blur"
                                   << "3,5"
                                   << "Ungültiger Wert für „blur“";
    QTest::newRow("text for a number") << "contrast"
                                       << "hoch"
                                       << "Ungültiger Wert für „contrast“";
    QTest::newRow("colour name") << "flowColor1"
                                 << "red"
                                 << "Ungültiger Wert für „flowColor1“";
    QTest::newRow("style in capitals") << "style"
                                       << "Blur"
                                       << "Ungültiger Wert für „style“";
    QTest::newRow("fractional bands") << "flowBands"
                                      << "2.5"
                                      << "Ungültiger Wert für „flowBands“";
    QTest::newRow("source is not settable") << "source"
                                            << "x"
                                            << "Unbekanntes Feld „source“";
}

void TestLookFields::rejectsWithoutChange()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, message);
    Look look;
    look.blur = 12;
    const Look before = look;
    QString error;
    QVERIFY(!LookFields::set(look, field, value, &error));
    QVERIFY2(error.startsWith(message), qPrintable(error));
    QCOMPARE(look, before);
}

QTEST_GUILESS_MAIN(TestLookFields)
#include "tst_lookfields.moc"
