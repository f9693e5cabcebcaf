#pragma once

// Reading the update feed and ordering version strings, kept free of any network code: the feed's
// bytes come from a server and are checked here on their own, and the update check only fetches
// them and asks here what they say.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <variant>

// One release as an appcast (a Sparkle RSS feed) describes it.
struct AppcastItem
{
    QString title;
    // sparkle:version, the version compared with ours; never empty in a parsed item.
    QString version;
    // sparkle:shortVersionString, the version as people read it; may be empty.
    QString shortVersionString;
    QUrl link;             // <link>
    QUrl releaseNotesLink; // sparkle:releaseNotesLink
    QUrl enclosureUrl;     // <enclosure url=…>

    // What the user is told: the short version string, else the version.
    QString displayVersion() const;
    // The page a user should open for this release: the item's link, else its release notes,
    // else the download itself. Only http and https addresses count, so a feed cannot make
    // us open a local file or a script; empty when the item has none.
    QUrl downloadPage() const;

    friend bool operator==(const AppcastItem &, const AppcastItem &) = default;
};

struct AppcastError
{
    enum class Kind {
        TooLarge,  // longer than Appcast::kMaxFeedBytes, not looked at
        Malformed, // no well-formed XML (also: an entity expanding beyond Qt's limit)
        NotRss,    // well-formed, but the root is no <rss>
        NoItems,   // no item with a version
    };

    Kind kind = Kind::Malformed;
    // Where the XML broke, for Malformed; 0 otherwise.
    qint64 line = 0;
    qint64 column = 0;

    // The German text the user sees.
    QString description() const;

    friend bool operator==(const AppcastError &, const AppcastError &) = default;
};

namespace Appcast {

// A real appcast with a few dozen releases and their notes stays far below this; anything
// bigger is no feed of ours and is not read into memory.
inline constexpr qint64 kMaxFeedBytes = 1024 * 1024;

inline constexpr auto kSparkleNamespace = "http://www.andymatuschak.org/xml-namespaces/sparkle";

// Every item of the feed's channel that has a version, in document order. The version and
// the short version string may each be an element of the item or an attribute of its
// <enclosure>; when both are there, the element wins. Elements are matched by namespace,
// not by prefix. Unknown elements are skipped.
std::variant<QList<AppcastItem>, AppcastError> parse(const QByteArray &feed);

// The item with the highest version (compareVersions); of equal ones the first in the feed.
std::variant<AppcastItem, AppcastError> newestItem(const QByteArray &feed);

// Orders two version strings: negative if a is older than b, 0 if they count as the same,
// positive if a is newer.
//
// The rule:
//  - Surrounding white space, a leading "v" or "V" before a digit, and build metadata from
//    the first "+" on are ignored: "v1.2+45" is "1.2".
//  - The rest is split at dots into components and compared component by component; a
//    missing component counts as "0", so "1.2" equals "1.2.0".
//  - A component is a number (its leading digits, any length, leading zeros ignored; none
//    counts as 0) followed by a tail. Numbers are compared numerically: "1.10" > "1.9".
//  - With equal numbers, a component without a tail is newer than one with a tail, since a
//    tail marks a pre-release: "1.0" > "1.0rc1" > "1.0beta2" > "1.0-alpha".
//  - Two tails are compared as runs of letters and runs of digits, anything else only
//    separating them ("-beta_2" reads as "beta 2"): letter runs alphabetically ignoring case,
//    digit runs numerically, a digit run newer than a letter run, and when one tail is the
//    start of the other, the longer one newer: "beta10" > "beta9" > "beta" and "-rc" = "rc".
int compareVersions(const QString &a, const QString &b);

} // namespace Appcast
