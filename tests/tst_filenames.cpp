#include "output/filenames.h"
#include "sources/unsplashphoto.h"

#include <QTest>

#include <optional>

namespace {

UnsplashPhoto hit(std::optional<QString> slug, std::optional<QString> description,
                  std::optional<QString> altDescription)
{
    UnsplashPhoto photo;
    photo.id = QStringLiteral("a1B2");
    photo.slug = std::move(slug);
    photo.width = 6000;
    photo.height = 4000;
    photo.description = std::move(description);
    photo.altDescription = std::move(altDescription);
    photo.user.name = QStringLiteral("Ansel Adams");
    return photo;
}

} // namespace

class TestFileNames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void slugify_data();
    void slugify();
    void slugLength_data();
    void slugLength();
    void baseName_data();
    void baseName();
    void displayTitle_data();
    void displayTitle();
};

void TestFileNames::slugify_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("slug");

    QTest::newRow("german title") << QStringLiteral("Grüne Wiese -- am  Morgen!")
                                  << QStringLiteral("grüne-wiese-am-morgen");
    QTest::newRow("punctuation only") << QStringLiteral("?!.,;:—«»()[]--") << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("whitespace only") << QStringLiteral(" \t\n ") << QString();
    QTest::newRow("separators at both ends")
        << QStringLiteral("  --Hello, World!--  ") << QStringLiteral("hello-world");
    QTest::newRow("already a slug")
        << QStringLiteral("mountain-lake") << QStringLiteral("mountain-lake");
    QTest::newRow("underscore and apostrophe separate")
        << QStringLiteral("Don't_stop") << QStringLiteral("don-t-stop");
    QTest::newRow("crlf, no-break and ideographic spaces")
        << QStringLiteral(u"a\r\nb\u00a0c\u3000d") << QStringLiteral("a-b-c-d");

    // Case and diacritics.
    QTest::newRow("upper-case umlauts lowered")
        << QStringLiteral(u"\u00c4\u00d6\u00dc") << QStringLiteral(u"\u00e4\u00f6\u00fc");
    QTest::newRow("cyrillic lowered")
        << QStringLiteral("МОСКВА Ночью") << QStringLiteral("москва-ночью");
    QTest::newRow("letters outside the BMP lowered")
        << QStringLiteral(u"\U00010400\U00010401") << QStringLiteral(u"\U00010428\U00010429");
    QTest::newRow("precomposed diacritics kept")
        << QStringLiteral(u"Caf\u00e9 Cr\u00e8me") << QStringLiteral(u"caf\u00e9-cr\u00e8me");
    QTest::newRow("combining accent stays with its letter")
        << QStringLiteral(u"Cafe\u0301 au lait") << QStringLiteral(u"cafe\u0301-au-lait");
    QTest::newRow("upper-case letter with combining accent")
        << QStringLiteral(u"E\u0301TE\u0301") << QStringLiteral(u"e\u0301te\u0301");
    QTest::newRow("devanagari vowel signs and virama")
        << QStringLiteral("नमस्ते दुनिया") << QStringLiteral("नमस्ते-दुनिया");
    QTest::newRow("prolonged sound mark is a letter")
        << QStringLiteral("東京タワー") << QStringLiteral("東京タワー");

    // Numbers of any script.
    QTest::newRow("arabic-indic digits")
        << QStringLiteral("صورة ٢٠٢٤") << QStringLiteral("صورة-٢٠٢٤");
    QTest::newRow("devanagari digits") << QStringLiteral("फोटो १२३") << QStringLiteral("फोटो-१२३");
    QTest::newRow("fullwidth letters and digits")
        << QStringLiteral("ＡＢ１２") << QStringLiteral("ａｂ１２");
    QTest::newRow("superscript and fraction")
        << QStringLiteral(u"x\u00b2 \u00bd") << QStringLiteral(u"x\u00b2-\u00bd");

    // Judged per user-perceived character, by its base.
    QTest::newRow("emoji between words")
        << QStringLiteral(u"Sunset \U0001F305 at the Beach \U0001F44D\U0001F3FD!")
        << QStringLiteral("sunset-at-the-beach");
    QTest::newRow("zwj family between letters")
        << QStringLiteral(u"a\U0001F468\u200d\U0001F469\u200d\U0001F467b") << QStringLiteral("a-b");
    QTest::newRow("flag before a word")
        << QStringLiteral(u"\U0001F1E9\U0001F1EABerlin") << QStringLiteral("berlin");
    QTest::newRow("keycap on a digit is a number")
        << QStringLiteral(u"Nr 1\ufe0f\u20e3") << QStringLiteral(u"nr-1\ufe0f\u20e3");
    QTest::newRow("keycap on a hash is not")
        << QStringLiteral(u"a#\ufe0f\u20e3b") << QStringLiteral("a-b");
    QTest::newRow("accent on a space is a separator")
        << QStringLiteral(u"a \u0301b") << QStringLiteral("a-b");
    QTest::newRow("accent without a base at the start")
        << QStringLiteral(u"\u0301abc") << QStringLiteral("abc");
    QTest::newRow("lone surrogate")
        << QStringLiteral("a") + QChar(char16_t(0xd800)) + u'b' << QStringLiteral("a-b");
}

void TestFileNames::slugify()
{
    QFETCH(QString, text);
    QFETCH(QString, slug);
    QCOMPARE(FileNames::slugify(text), slug);
}

void TestFileNames::slugLength_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("slug");

    const QString a60 = QStringLiteral("a").repeated(60);
    const QString a59 = QStringLiteral("a").repeated(59);
    QTest::newRow("exactly 60 unchanged") << a60 << a60;
    QTest::newRow("61 cut to 60") << a60 + u'b' << a60;
    QTest::newRow("trimmed before the cut")
        << QStringLiteral("--") + a60 + QStringLiteral("!!") << a60;
    QTest::newRow("cut on a separator keeps it") << a59 + QStringLiteral(" bcd") << a59 + u'-';
    QTest::newRow("separators collapsed before the cut")
        << QStringLiteral("ab -- ").repeated(30) << QStringLiteral("ab-").repeated(20);

    // 120 code units each, but 60 characters.
    QTest::newRow("decomposed letters count once")
        << QStringLiteral(u"e\u0301").repeated(70) << QStringLiteral(u"e\u0301").repeated(60);
    QTest::newRow("letters outside the BMP count once")
        << QStringLiteral(u"\U00010400").repeated(70) << QStringLiteral(u"\U00010428").repeated(60);
    QTest::newRow("keycap emoji count once") << QStringLiteral(u"1\ufe0f\u20e3").repeated(70)
                                             << QStringLiteral(u"1\ufe0f\u20e3").repeated(60);

    QTest::newRow("cut keeps a combining sequence whole")
        << a59 + QStringLiteral(u"e\u0301xyz") << a59 + QStringLiteral(u"e\u0301");
    QTest::newRow("cut keeps a surrogate pair whole")
        << a59 + QStringLiteral(u"\U00020BB7xyz") << a59 + QStringLiteral(u"\U00020BB7");
    QTest::newRow("cut keeps a devanagari syllable whole")
        << a59 + QStringLiteral("ते") << a59 + QStringLiteral("ते");
}

void TestFileNames::slugLength()
{
    QFETCH(QString, text);
    QFETCH(QString, slug);
    QCOMPARE(FileNames::slugify(text), slug);
}

void TestFileNames::baseName_data()
{
    QTest::addColumn<UnsplashPhoto>("photo");
    QTest::addColumn<QString>("name");

    const QString peak = QStringLiteral("Snowy Peak at Dawn");
    QTest::newRow("slug") << hit(QStringLiteral("mountain-lake"), std::nullopt, peak)
                          << QStringLiteral("mountain-lake");
    QTest::newRow("slug taken as it is")
        << hit(QStringLiteral("Mountain Lake!"), std::nullopt, peak)
        << QStringLiteral("Mountain Lake!");
    QTest::newRow("description and id")
        << hit(std::nullopt, std::nullopt, peak) << QStringLiteral("snowy-peak-at-dawn-a1B2");
    QTest::newRow("empty slug falls through")
        << hit(QString(), std::nullopt, peak) << QStringLiteral("snowy-peak-at-dawn-a1B2");
    QTest::newRow("neither") << hit(std::nullopt, std::nullopt, std::nullopt)
                             << QStringLiteral("unsplash-a1B2");
    QTest::newRow("empty description")
        << hit(std::nullopt, std::nullopt, QString()) << QStringLiteral("unsplash-a1B2");
    QTest::newRow("plain description is not used")
        << hit(std::nullopt, QStringLiteral("Alpine glow"), std::nullopt)
        << QStringLiteral("unsplash-a1B2");
    QTest::newRow("punctuation-only description")
        << hit(std::nullopt, std::nullopt, QStringLiteral("!!!")) << QStringLiteral("-a1B2");
    QTest::newRow("long description cut before the id")
        << hit(std::nullopt, std::nullopt, QStringLiteral("x").repeated(70))
        << QStringLiteral("x").repeated(60) + QStringLiteral("-a1B2");
}

void TestFileNames::baseName()
{
    QFETCH(UnsplashPhoto, photo);
    QFETCH(QString, name);
    QCOMPARE(FileNames::baseName(photo), name);
}

void TestFileNames::displayTitle_data()
{
    QTest::addColumn<UnsplashPhoto>("photo");
    QTest::addColumn<QString>("title");

    QTest::newRow("description") << hit(std::nullopt, QStringLiteral("Alpine glow"),
                                        QStringLiteral("snowy peak"))
                                 << QStringLiteral("Alpine glow");
    QTest::newRow("empty description wins")
        << hit(std::nullopt, QString(), QStringLiteral("snowy peak")) << QString();
    QTest::newRow("alt description")
        << hit(std::nullopt, std::nullopt, QStringLiteral("snowy peak"))
        << QStringLiteral("snowy peak");
    QTest::newRow("empty alt description wins")
        << hit(std::nullopt, std::nullopt, QString()) << QString();
    QTest::newRow("photographer") << hit(QStringLiteral("mountain-lake"), std::nullopt,
                                         std::nullopt)
                                  << QStringLiteral("Foto von Ansel Adams");
}

void TestFileNames::displayTitle()
{
    QFETCH(UnsplashPhoto, photo);
    QFETCH(QString, title);
    QCOMPARE(photo.displayTitle(), title);
}

QTEST_GUILESS_MAIN(TestFileNames)
#include "tst_filenames.moc"
