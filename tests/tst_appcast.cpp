#include "update/appcast.h"

#include <QTest>

Q_DECLARE_METATYPE(AppcastError::Kind)

namespace {

// A feed around `items`, declared the way Sparkle's own tools write it.
QByteArray feed(const QByteArray &items, const QByteArray &prefix = "sparkle")
{
    return R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:)" +
           prefix + R"(="http://www.andymatuschak.org/xml-namespaces/sparkle"
     xmlns:dc="http://purl.org/dc/elements/1.1/">
  <channel>
    <title>Voskan</title>
    <link>https://voskan.example/</link>
    <description>Neue Versionen</description>
    <language>de</language>
)" + items +
           R"(
  </channel>
</rss>
)";
}

QByteArray attributeItem(const QByteArray &version, const QByteArray &shortVersion = {})
{
    QByteArray item = "<item><title>Version " + version +
                      "</title><enclosure url=\"https://voskan.example/voskan-" + version +
                      ".tar.gz\" sparkle:version=\"" + version + "\"";
    if (!shortVersion.isEmpty())
        item += " sparkle:shortVersionString=\"" + shortVersion + "\"";
    return item + " length=\"1234\" type=\"application/octet-stream\"/></item>\n";
}

// Built from plain literals: moc misreads raw strings with square brackets.
QByteArray cdata(const QByteArray &text)
{
    return "<![CDATA[" + text + "]]>";
}

// Five levels of entities that would expand to some 11 MB of text.
QByteArray entityBomb()
{
    QByteArray bytes =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE rss [\n<!ENTITY a \"" + QByteArray(72, 'a') + "\">\n";
    for (char level = 'b'; level <= 'e'; ++level) {
        bytes += QByteArray("<!ENTITY ") + level + " \"";
        for (int i = 0; i < 20; ++i)
            bytes += QByteArray("&") + char(level - 1) + ';';
        bytes += "\">\n";
    }
    return bytes + "]>\n<rss xmlns:sparkle=\"" + Appcast::kSparkleNamespace +
           "\"><channel><item><title>&e;</title><sparkle:version>1</sparkle:version>"
           "</item></channel></rss>";
}

QString versionsOf(const QByteArray &bytes)
{
    const auto parsed = Appcast::parse(bytes);
    if (const auto *error = std::get_if<AppcastError>(&parsed))
        return QStringLiteral("error: ") + error->description();
    QStringList versions;
    for (const AppcastItem &item : std::get<QList<AppcastItem>>(parsed))
        versions.append(item.version);
    return versions.join(u',');
}

} // namespace

// The slots are defined below the class: moc loses its way in raw strings and would
// drop slots declared after them.
class TestAppcast : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void compareVersions_data();
    void compareVersions();
    void parseForms_data();
    void parseForms();
    void parseKeepsEveryAddress();
    void namespaceByUriNotPrefix();
    void itemsWithoutVersionIgnored();
    void newestRegardlessOfOrder_data();
    void newestRegardlessOfOrder();
    void equalVersionsKeepTheFirst();
    void refused_data();
    void refused();
    void errorTexts();
    void feedAtTheCapIsRead();
};

void TestAppcast::compareVersions_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("expected");

    QTest::newRow("equal") << "1.2.3"
                           << "1.2.3" << 0;
    QTest::newRow("missing components are 0") << "1.2"
                                              << "1.2.0" << 0;
    QTest::newRow("single against long") << "1"
                                         << "1.0.0.0" << 0;
    QTest::newRow("missing against 1") << "1.2"
                                       << "1.2.0.1" << -1;
    QTest::newRow("numeric, not textual") << "1.10"
                                          << "1.9" << 1;
    QTest::newRow("numeric in the last") << "1.2.3"
                                         << "1.2.10" << -1;
    QTest::newRow("first decides") << "2"
                                   << "1.99.99" << 1;
    QTest::newRow("leading zeros") << "1.01"
                                   << "1.1" << 0;
    QTest::newRow("beyond 64 bits") << "1.99999999999999999999"
                                    << "1.18446744073709551616" << 1;
    QTest::newRow("pre-release before release") << "1.0-beta"
                                                << "1.0" << -1;
    QTest::newRow("pre-release before trailing zero") << "1.0.0-beta"
                                                      << "1.0" << -1;
    QTest::newRow("pre-release after previous") << "1.1b1"
                                                << "1.0.9" << 1;
    QTest::newRow("alpha before beta") << "1.0-alpha"
                                       << "1.0-beta" << -1;
    QTest::newRow("beta before rc") << "1.0b2"
                                    << "1.0rc1" << -1;
    QTest::newRow("pre-release numbers numeric") << "1.0beta10"
                                                 << "1.0beta9" << 1;
    QTest::newRow("pre-release dotted numbers") << "1.0-beta.2"
                                                << "1.0-beta.10" << -1;
    QTest::newRow("bare pre-release first") << "1.0beta"
                                            << "1.0beta1" << -1;
    QTest::newRow("digits newer than letters") << "1.0-2"
                                               << "1.0-final" << 1;
    QTest::newRow("tail case ignored") << "1.0-RC1"
                                       << "1.0rc1" << 0;
    QTest::newRow("separators ignored") << "1.0~beta_2"
                                        << "1.0-beta2" << 0;
    QTest::newRow("later release beats pre-release") << "1.0.1"
                                                     << "1.0-rc9" << 1;
    QTest::newRow("word component is pre-release") << "1.x"
                                                   << "1.0" << -1;
    QTest::newRow("v prefix") << "v1.2"
                              << "1.2" << 0;
    QTest::newRow("V prefix newer") << "V1.3"
                                    << "1.2.9" << 1;
    QTest::newRow("build metadata ignored") << "1.0+20260101"
                                            << "1.0" << 0;
    QTest::newRow("build metadata does not order") << "1.0+2"
                                                   << "1.0+1" << 0;
    QTest::newRow("white space") << " 1.2\n"
                                 << "1.2" << 0;
    QTest::newRow("empty is zero") << ""
                                   << "0.0" << 0;
    QTest::newRow("anything beats empty") << "0.0.1"
                                          << "" << 1;
}

void TestAppcast::compareVersions()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, expected);
    QCOMPARE(Appcast::compareVersions(a, b), expected);
    // The order must not depend on which side a version stands.
    QCOMPARE(Appcast::compareVersions(b, a), -expected);
}

void TestAppcast::parseForms_data()
{
    QTest::addColumn<QByteArray>("items");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("displayVersion");
    QTest::addColumn<QUrl>("downloadPage");

    QTest::newRow("enclosure attributes, release notes")
        << QByteArray(R"(<item>
            <title>Version 1.4</title>
            <sparkle:releaseNotesLink>https://voskan.example/notes/1.4.html</sparkle:releaseNotesLink>
            <pubDate>Mon, 07 Dec 2026 10:00:00 +0000</pubDate>
            <enclosure url="https://voskan.example/voskan-1.4.tar.gz"
                       sparkle:version="140" sparkle:shortVersionString="1.4"
                       length="10485760" type="application/octet-stream"/>
          </item>)")
        << "140"
        << "1.4" << QUrl("https://voskan.example/notes/1.4.html");
    QTest::newRow("elements, link") << QByteArray(R"(<item>
            <title>Voskan 2.0</title>
            <link>https://voskan.example/download</link>
            <sparkle:version>2.0.0</sparkle:version>
            <sparkle:shortVersionString>2.0</sparkle:shortVersionString>
            <sparkle:releaseNotesLink>https://voskan.example/notes</sparkle:releaseNotesLink>
            <description>)" + cdata("<h2>Neu</h2><ul><li>Spiegeln</li></ul>") +
                                                  R"(</description>
            <enclosure url="https://voskan.example/voskan-2.0.tar.gz" length="1"/>
          </item>)") << "2.0.0"
                                    << "2.0" << QUrl("https://voskan.example/download");
    QTest::newRow("element wins over attribute") << QByteArray(R"(<item>
            <sparkle:version>301</sparkle:version>
            <enclosure url="https://voskan.example/a.tar.gz" sparkle:version="300"
                       sparkle:shortVersionString="3.0"/>
          </item>)") << "301"
                                                 << "3.0"
                                                 << QUrl("https://voskan.example/a.tar.gz");
    QTest::newRow("version only") << QByteArray(
                                         R"(<item><enclosure url="http://voskan.example/v.tar.gz"
                              sparkle:version=" 1.5 "/></item>)")
                                  << "1.5"
                                  << "1.5" << QUrl("http://voskan.example/v.tar.gz");
    QTest::newRow("no web address") << QByteArray(R"(<item><link>file:///etc/passwd</link>
            <sparkle:releaseNotesLink>javascript:alert(1)</sparkle:releaseNotesLink>
            <sparkle:version>1.6</sparkle:version></item>)")
                                    << "1.6"
                                    << "1.6" << QUrl();
    QTest::newRow("unsafe link skipped") << QByteArray(R"(<item><link>file:///tmp/x</link>
            <sparkle:releaseNotesLink>https://voskan.example/n</sparkle:releaseNotesLink>
            <sparkle:version>1.7</sparkle:version></item>)")
                                         << "1.7"
                                         << "1.7" << QUrl("https://voskan.example/n");
    QTest::newRow("first enclosure is the main one") << QByteArray(R"(<item>
            <enclosure url="https://voskan.example/main.tar.gz" sparkle:version="8"/>
            <enclosure url="https://voskan.example/other.zip" sparkle:version="9"/>
          </item>)") << "8"
                                                     << "8"
                                                     << QUrl("https://voskan.example/main.tar.gz");
    QTest::newRow("unknown nested elements skipped") << QByteArray(R"(<item>
            <media:content xmlns:media="http://search.yahoo.com/mrss/" url="x">
              <sparkle:version>99</sparkle:version>
            </media:content>
            <sparkle:version>1.8</sparkle:version>
            <sparkle:deltas><enclosure url="https://voskan.example/delta"
                sparkle:version="77"/></sparkle:deltas>
          </item>)") << "1.8"
                                                     << "1.8" << QUrl();
}

void TestAppcast::parseForms()
{
    QFETCH(QByteArray, items);
    QFETCH(QString, version);
    QFETCH(QString, displayVersion);
    QFETCH(QUrl, downloadPage);

    const auto parsed = Appcast::parse(feed(items));
    QVERIFY2(std::holds_alternative<QList<AppcastItem>>(parsed),
             qPrintable(versionsOf(feed(items))));
    const QList<AppcastItem> &list = std::get<QList<AppcastItem>>(parsed);
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.front().version, version);
    QCOMPARE(list.front().displayVersion(), displayVersion);
    QCOMPARE(list.front().downloadPage(), downloadPage);
}

void TestAppcast::parseKeepsEveryAddress()
{
    const QByteArray bytes = feed(R"(<item>
        <title> Voskan 2.1 </title>
        <link> https://voskan.example/2.1 </link>
        <sparkle:releaseNotesLink>https://voskan.example/notes/2.1</sparkle:releaseNotesLink>
        <enclosure url="https://voskan.example/voskan-2.1.tar.gz" sparkle:version="210"
                   sparkle:shortVersionString="2.1"/>
      </item>)");
    const auto parsed = Appcast::parse(bytes);
    QVERIFY(std::holds_alternative<QList<AppcastItem>>(parsed));
    AppcastItem expected;
    expected.title = QStringLiteral("Voskan 2.1");
    expected.version = QStringLiteral("210");
    expected.shortVersionString = QStringLiteral("2.1");
    expected.link = QUrl(QStringLiteral("https://voskan.example/2.1"));
    expected.releaseNotesLink = QUrl(QStringLiteral("https://voskan.example/notes/2.1"));
    expected.enclosureUrl = QUrl(QStringLiteral("https://voskan.example/voskan-2.1.tar.gz"));
    QCOMPARE(std::get<QList<AppcastItem>>(parsed), QList<AppcastItem>{expected});
}

void TestAppcast::namespaceByUriNotPrefix()
{
    const QByteArray bytes = feed(R"(<item><sp:version>4.2</sp:version>
        <version>9.9</version></item>
        <item><other:version xmlns:other="urn:other">9.9</other:version></item>)",
                                  "sp");
    QCOMPARE(versionsOf(bytes), QStringLiteral("4.2"));
}

void TestAppcast::itemsWithoutVersionIgnored()
{
    const QByteArray bytes =
        feed(R"(<item><title>Voskan 9</title>
          <enclosure url="https://voskan.example/9.tar.gz"/></item>)" +
             attributeItem("1.1") + "<item><sparkle:version>  </sparkle:version></item>" +
             attributeItem("1.0"));
    QCOMPARE(versionsOf(bytes), QStringLiteral("1.1,1.0"));
}

void TestAppcast::newestRegardlessOfOrder_data()
{
    QTest::addColumn<QByteArrayList>("versions");
    QTest::addColumn<QString>("newest");

    QTest::newRow("newest first") << QByteArrayList{"1.10", "1.9", "1.2"} << "1.10";
    QTest::newRow("newest last") << QByteArrayList{"1.2", "1.9", "1.10"} << "1.10";
    QTest::newRow("newest inside") << QByteArrayList{"1.9", "1.10", "1.2"} << "1.10";
    QTest::newRow("release after its beta") << QByteArrayList{"2.0", "2.0b3"} << "2.0";
    QTest::newRow("release before its beta") << QByteArrayList{"2.0b3", "2.0", "1.9"} << "2.0";
    QTest::newRow("single") << QByteArrayList{"0.3"} << "0.3";
}

void TestAppcast::newestRegardlessOfOrder()
{
    QFETCH(QByteArrayList, versions);
    QFETCH(QString, newest);
    QByteArray items;
    for (const QByteArray &version : versions)
        items += attributeItem(version, "Version " + version);
    const auto result = Appcast::newestItem(feed(items));
    QVERIFY(std::holds_alternative<AppcastItem>(result));
    QCOMPARE(std::get<AppcastItem>(result).version, newest);
    QCOMPARE(std::get<AppcastItem>(result).displayVersion(), QStringLiteral("Version ") + newest);
}

void TestAppcast::equalVersionsKeepTheFirst()
{
    const QByteArray bytes =
        feed(R"(<item><sparkle:version>3</sparkle:version><link>https://a.example/</link></item>
                <item><sparkle:version>3.0</sparkle:version><link>https://b.example/</link></item>)");
    const auto result = Appcast::newestItem(bytes);
    QVERIFY(std::holds_alternative<AppcastItem>(result));
    QCOMPARE(std::get<AppcastItem>(result).link, QUrl(QStringLiteral("https://a.example/")));
}

void TestAppcast::refused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<AppcastError::Kind>("kind");

    using Kind = AppcastError::Kind;
    const QByteArray good = feed(attributeItem("1.0"));
    QTest::newRow("empty") << QByteArray() << Kind::Malformed;
    QTest::newRow("white space") << QByteArray(" \n\t") << Kind::Malformed;
    QTest::newRow("plain text") << QByteArray("Bad Gateway") << Kind::Malformed;
    QTest::newRow("JSON") << QByteArray(R"({"version":"1.0"})") << Kind::Malformed;
    QTest::newRow("cut off") << good.left(good.size() - 20) << Kind::Malformed;
    QTest::newRow("cut inside an item")
        << good.left(good.indexOf("sparkle:version=\"") + 5) << Kind::Malformed;
    QTest::newRow("broken after the items")
        << QByteArray(good).replace("</channel>", "</chanel>") << Kind::Malformed;
    QTest::newRow("garbage after the feed") << good + "</rss>" << Kind::Malformed;
    QTest::newRow("undeclared prefix")
        << QByteArray(R"(<rss><channel><item><sparkle:version>1</sparkle:version></item>)"
                      R"(</channel></rss>)")
        << Kind::Malformed;
    QTest::newRow("entity expansion") << entityBomb() << Kind::Malformed;
    QTest::newRow("web page") << QByteArray(
                                     R"(<html><head><title>404</title></head><body/></html>)")
                              << Kind::NotRss;
    QTest::newRow("Atom") << QByteArray(
                                 "<feed xmlns=\"http://www.w3.org/2005/Atom\"><entry/></feed>")
                          << Kind::NotRss;
    QTest::newRow("rss in another namespace")
        << QByteArray(R"(<rss xmlns="urn:x"><channel><item><version>1</version></item>)"
                      R"(</channel></rss>)")
        << Kind::NotRss;
    QTest::newRow("no items") << feed({}) << Kind::NoItems;
    QTest::newRow("no channel") << QByteArray("<rss version=\"2.0\"/>") << Kind::NoItems;
    QTest::newRow("items without version")
        << feed("<item><title>1.0</title><link>https://voskan.example/</link></item>")
        << Kind::NoItems;
    QTest::newRow("item outside the channel")
        << QByteArray(R"(<rss xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">)"
                      R"(<item><sparkle:version>1</sparkle:version></item><channel/></rss>)")
        << Kind::NoItems;

    // Valid XML just over the cap: a comment pads the feed.
    QByteArray oversized = feed(attributeItem("1.0"));
    oversized.append("<!--");
    oversized.append(QByteArray(Appcast::kMaxFeedBytes - oversized.size() - 3 + 1, 'x'));
    oversized.append("-->");
    QTest::newRow("one byte too large") << oversized << Kind::TooLarge;
    QTest::newRow("far too large")
        << QByteArray(8 * Appcast::kMaxFeedBytes, ' ') + good << Kind::TooLarge;
}

void TestAppcast::refused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(AppcastError::Kind, kind);

    const auto parsed = Appcast::parse(bytes);
    QVERIFY2(std::holds_alternative<AppcastError>(parsed), qPrintable(versionsOf(bytes)));
    const AppcastError error = std::get<AppcastError>(parsed);
    QCOMPARE(error.kind, kind);
    const QString text = error.description();
    QVERIFY2(text.startsWith(QStringLiteral("Die Update-Liste ")), qPrintable(text));
    if (kind == AppcastError::Kind::Malformed)
        QVERIFY2(error.line >= 1 && text.contains(QStringLiteral("Zeile %1").arg(error.line)),
                 qPrintable(text));

    // The newest item is refused for the same reason.
    const auto newest = Appcast::newestItem(bytes);
    QVERIFY(std::holds_alternative<AppcastError>(newest));
    QCOMPARE(std::get<AppcastError>(newest), error);
}

void TestAppcast::errorTexts()
{
    using Kind = AppcastError::Kind;
    QCOMPARE(AppcastError{Kind::TooLarge}.description(),
             QStringLiteral("Die Update-Liste ist größer als 1 MB und wurde nicht gelesen."));
    QCOMPARE((AppcastError{Kind::Malformed, 3, 14}.description()),
             QStringLiteral("Die Update-Liste ist kein gültiges XML (Zeile 3, Spalte 14)."));
    QCOMPARE(AppcastError{Kind::NotRss}.description(),
             QStringLiteral("Die Update-Liste ist kein RSS-Feed."));
    QCOMPARE(AppcastError{Kind::NoItems}.description(),
             QStringLiteral("Die Update-Liste enthält keine Version."));
}

void TestAppcast::feedAtTheCapIsRead()
{
    QByteArray bytes = feed(attributeItem("1.0"));
    bytes.append("<!--");
    bytes.append(QByteArray(Appcast::kMaxFeedBytes - bytes.size() - 3, 'x'));
    bytes.append("-->");
    QCOMPARE(bytes.size(), Appcast::kMaxFeedBytes);
    QCOMPARE(versionsOf(bytes), QStringLiteral("1.0"));
}

QTEST_GUILESS_MAIN(TestAppcast)
#include "tst_appcast.moc"
