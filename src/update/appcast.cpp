#include "appcast.h"

#include <QStringView>
#include <QXmlStreamReader>

#include <algorithm>
#include <compare>

namespace {

using namespace Qt::StringLiterals;

// --- Versions ---------------------------------------------------------------------------

// Digits compared as numbers of any length, so that no version overflows an integer.
std::strong_ordering compareDigits(QStringView a, QStringView b)
{
    while (a.size() > 1 && a.front() == u'0')
        a = a.mid(1);
    while (b.size() > 1 && b.front() == u'0')
        b = b.mid(1);
    if (a.isEmpty())
        a = u"0";
    if (b.isEmpty())
        b = u"0";
    if (a.size() != b.size())
        return a.size() <=> b.size();
    const int order = a.compare(b);
    return order <=> 0;
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The runs of letters and of digits in a tail; everything else only separates them.
QList<QStringView> tokens(QStringView tail)
{
    QList<QStringView> runs;
    qsizetype i = 0;
    while (i < tail.size()) {
        if (!tail[i].isLetter() && !isAsciiDigit(tail[i])) {
            ++i;
            continue;
        }
        const bool digits = isAsciiDigit(tail[i]);
        const qsizetype start = i;
        while (i < tail.size() && (digits ? isAsciiDigit(tail[i]) : tail[i].isLetter()))
            ++i;
        runs.append(tail.mid(start, i - start));
    }
    return runs;
}

std::strong_ordering compareTails(QStringView a, QStringView b)
{
    const QList<QStringView> left = tokens(a);
    const QList<QStringView> right = tokens(b);
    for (qsizetype i = 0; i < std::min(left.size(), right.size()); ++i) {
        const bool leftDigits = isAsciiDigit(left[i].front());
        const bool rightDigits = isAsciiDigit(right[i].front());
        if (leftDigits != rightDigits)
            return leftDigits ? std::strong_ordering::greater : std::strong_ordering::less;
        const std::strong_ordering order =
            leftDigits ? compareDigits(left[i], right[i])
                       : (left[i].compare(right[i], Qt::CaseInsensitive) <=> 0);
        if (order != 0)
            return order;
    }
    return left.size() <=> right.size();
}

std::strong_ordering compareComponents(QStringView a, QStringView b)
{
    const auto split = [](QStringView component) {
        qsizetype digits = 0;
        while (digits < component.size() && isAsciiDigit(component[digits]))
            ++digits;
        return std::pair{component.left(digits), component.mid(digits)};
    };
    const auto [leftNumber, leftTail] = split(a);
    const auto [rightNumber, rightTail] = split(b);
    if (const auto order = compareDigits(leftNumber, rightNumber); order != 0)
        return order;
    // No tail is the release itself, newer than any pre-release of it.
    if (leftTail.isEmpty() || rightTail.isEmpty())
        return leftTail.isEmpty() <=> rightTail.isEmpty();
    return compareTails(leftTail, rightTail);
}

QStringView normalized(const QString &version)
{
    QStringView view = QStringView(version).trimmed();
    if (const qsizetype plus = view.indexOf(u'+'); plus >= 0)
        view = view.left(plus).trimmed();
    if (view.size() > 1 && (view[0] == u'v' || view[0] == u'V') && isAsciiDigit(view[1]))
        view = view.mid(1);
    return view;
}

// --- Feed -------------------------------------------------------------------------------

QUrl urlFrom(QStringView text)
{
    const QString trimmed = text.trimmed().toString();
    if (trimmed.isEmpty())
        return {};
    const QUrl url(trimmed, QUrl::TolerantMode);
    return url.isValid() ? url : QUrl();
}

bool isWebUrl(const QUrl &url)
{
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == "https"_L1 || url.scheme() == "http"_L1);
}

bool isSparkle(const QXmlStreamReader &xml, QLatin1StringView name)
{
    return xml.namespaceUri() == QLatin1StringView(Appcast::kSparkleNamespace) &&
           xml.name() == name;
}

bool isPlain(const QXmlStreamReader &xml, QLatin1StringView name)
{
    return xml.namespaceUri().isEmpty() && xml.name() == name;
}

// Reads one <item>; the reader stands on its start and is left on its end.
AppcastItem readItem(QXmlStreamReader &xml)
{
    AppcastItem item;
    QString enclosureVersion;
    QString enclosureShortVersion;
    bool haveEnclosure = false;
    while (xml.readNextStartElement()) {
        if (isPlain(xml, "title"_L1)) {
            item.title = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        } else if (isPlain(xml, "link"_L1)) {
            item.link = urlFrom(xml.readElementText(QXmlStreamReader::SkipChildElements));
        } else if (isSparkle(xml, "version"_L1)) {
            item.version = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        } else if (isSparkle(xml, "shortVersionString"_L1)) {
            item.shortVersionString =
                xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        } else if (isSparkle(xml, "releaseNotesLink"_L1)) {
            item.releaseNotesLink =
                urlFrom(xml.readElementText(QXmlStreamReader::SkipChildElements));
        } else if (isPlain(xml, "enclosure"_L1) && !haveEnclosure) {
            // Some feeds carry one enclosure per package format; the first is the main one.
            haveEnclosure = true;
            const QXmlStreamAttributes attributes = xml.attributes();
            const auto sparkle = QLatin1StringView(Appcast::kSparkleNamespace);
            item.enclosureUrl = urlFrom(attributes.value("url"_L1));
            enclosureVersion = attributes.value(sparkle, "version"_L1).trimmed().toString();
            enclosureShortVersion =
                attributes.value(sparkle, "shortVersionString"_L1).trimmed().toString();
            xml.skipCurrentElement();
        } else {
            xml.skipCurrentElement();
        }
    }
    if (item.version.isEmpty())
        item.version = enclosureVersion;
    if (item.shortVersionString.isEmpty())
        item.shortVersionString = enclosureShortVersion;
    return item;
}

} // namespace

QString AppcastItem::displayVersion() const
{
    return shortVersionString.isEmpty() ? version : shortVersionString;
}

QUrl AppcastItem::downloadPage() const
{
    for (const QUrl &url : {link, releaseNotesLink, enclosureUrl}) {
        if (isWebUrl(url))
            return url;
    }
    return {};
}

QString AppcastError::description() const
{
    switch (kind) {
    case Kind::TooLarge:
        return QStringLiteral("Die Update-Liste ist größer als %1 MB und wurde nicht gelesen.")
            .arg(Appcast::kMaxFeedBytes / (1024 * 1024));
    case Kind::Malformed:
        return QStringLiteral("Die Update-Liste ist kein gültiges XML (Zeile %1, Spalte %2).")
            .arg(line)
            .arg(column);
    case Kind::NotRss:
        return QStringLiteral("Die Update-Liste ist kein RSS-Feed.");
    case Kind::NoItems:
        return QStringLiteral("Die Update-Liste enthält keine Version.");
    }
    return QStringLiteral("Die Update-Liste ist unbrauchbar.");
}

namespace Appcast {

std::variant<QList<AppcastItem>, AppcastError> parse(const QByteArray &feed)
{
    if (feed.size() > kMaxFeedBytes)
        return AppcastError{AppcastError::Kind::TooLarge};

    QXmlStreamReader xml(feed);
    const auto malformed = [&xml] {
        return AppcastError{AppcastError::Kind::Malformed, xml.lineNumber(), xml.columnNumber()};
    };

    if (!xml.readNextStartElement())
        return malformed();
    if (!isPlain(xml, "rss"_L1))
        return AppcastError{AppcastError::Kind::NotRss};

    QList<AppcastItem> items;
    while (xml.readNextStartElement()) {
        if (!isPlain(xml, "channel"_L1)) {
            xml.skipCurrentElement();
            continue;
        }
        while (xml.readNextStartElement()) {
            if (!isPlain(xml, "item"_L1)) {
                xml.skipCurrentElement();
                continue;
            }
            AppcastItem item = readItem(xml);
            if (!item.version.isEmpty())
                items.append(std::move(item));
        }
    }
    // Read to the end: a feed that breaks after its items is as broken as any other.
    while (!xml.atEnd())
        xml.readNext();
    if (xml.hasError())
        return malformed();
    if (items.isEmpty())
        return AppcastError{AppcastError::Kind::NoItems};
    return items;
}

std::variant<AppcastItem, AppcastError> newestItem(const QByteArray &feed)
{
    auto parsed = parse(feed);
    if (auto *error = std::get_if<AppcastError>(&parsed))
        return *error;
    const QList<AppcastItem> &items = std::get<QList<AppcastItem>>(parsed);
    const AppcastItem *newest = &items.front();
    for (const AppcastItem &item : items) {
        if (compareVersions(item.version, newest->version) > 0)
            newest = &item;
    }
    return *newest;
}

int compareVersions(const QString &a, const QString &b)
{
    const QStringView left = normalized(a);
    const QStringView right = normalized(b);
    const QList<QStringView> leftParts = left.split(u'.');
    const QList<QStringView> rightParts = right.split(u'.');
    const qsizetype count = std::max(leftParts.size(), rightParts.size());
    for (qsizetype i = 0; i < count; ++i) {
        const QStringView l = i < leftParts.size() ? leftParts[i] : QStringView(u"0");
        const QStringView r = i < rightParts.size() ? rightParts[i] : QStringView(u"0");
        const std::strong_ordering order = compareComponents(l, r);
        if (order != 0)
            return order < 0 ? -1 : 1;
    }
    return 0;
}

} // namespace Appcast
