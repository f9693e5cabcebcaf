#pragma once

// The update check as the window sees it: whether one may start, and what it found. It knows no
// widgets — the menu entry and the prompt follow its signals — and it keeps the time of the last
// automatic check, so that starting the program checks at most once a day.

#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <chrono>

class Download;

// What one update check found.
struct UpdateCheckResult
{
    enum class Outcome {
        UpdateAvailable, // the feed names a version newer than ours
        UpToDate,
        Failed,
    };

    Outcome outcome = Outcome::Failed;
    // Started by startAutomaticChecks() rather than by the user.
    bool automatic = false;
    // For UpdateAvailable: the newest version as the user reads it, and the page to open
    // for it (empty if the feed gave no http(s) address).
    QString version;
    QUrl downloadPage;
    // For Failed: the German text the user sees.
    QString errorMessage;

    // Whether the user hears of this result: a check the user asked for always answers, an
    // automatic one only when there is something new.
    bool shouldNotify() const { return !automatic || outcome == Outcome::UpdateAvailable; }

    friend bool operator==(const UpdateCheckResult &, const UpdateCheckResult &) = default;
};

Q_DECLARE_METATYPE(UpdateCheckResult)

// Looks for newer versions of Voskan in an appcast (a Sparkle RSS feed, see appcast.h).
//
// One check runs at a time. Its result arrives through checkFinished() on a later turn of
// the event loop, never inside the call that started it; by then canCheckForUpdates() is
// true again. Main thread only: requests go through sharedNetworkAccessManager().
class UpdaterViewModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)

public:
    // Overrides the feed address built in with the CMake option of the same name.
    static constexpr const char *kFeedUrlVariable = "VOSKAN_APPCAST_URL";
    // Qt's transfer time-out: a check fails after this long without any data arriving.
    static constexpr std::chrono::milliseconds kDefaultTimeout{30'000};
    // A check fails after this long in all, however steadily a slow server keeps sending.
    static constexpr std::chrono::milliseconds kDeadline{60'000};
    // Automatic checks run at most this often.
    static constexpr std::chrono::hours kAutomaticInterval{24};
    // Where the time of the last automatic check is kept, in the application's settings
    // (organisation and application "Voskan"), as an ISO 8601 date-time in UTC.
    static constexpr const char *kSettingsGroup = "Updates";
    static constexpr const char *kLastCheckKey = "lastCheck";

    // The configured feed (configuredFeedUrl()) and this build's version.
    explicit UpdaterViewModel(QObject *parent = nullptr);
    // A given feed and version. A feed that is no http or https address counts as none.
    UpdaterViewModel(const QUrl &feedUrl, const QString &currentVersion, QObject *parent = nullptr);
    ~UpdaterViewModel() override;

    // The value of kFeedUrlVariable when it is set and not empty, else the address built
    // in; empty when that is not an http or https address (a warning says so).
    static QUrl configuredFeedUrl();
    // The project version this binary was built as.
    static QString buildVersion();

    QUrl feedUrl() const { return m_feedUrl; }
    QString currentVersion() const { return m_currentVersion; }

    // For tests that cannot wait half a minute for a silent server.
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
    std::chrono::milliseconds timeout() const { return m_timeout; }

    // A feed is configured and no check is running.
    bool canCheckForUpdates() const;
    bool isChecking() const { return m_checking; }

    // Checks at the user's request. Does nothing while canCheckForUpdates() is false.
    void checkForUpdates();

    // Called once at start: checks automatically when a feed is configured, no check is
    // running, and the last automatic check was kAutomaticInterval or more ago, never, or
    // (by a clock set back) in the future; then keeps the time. True if a check started.
    bool startAutomaticChecks();

Q_SIGNALS:
    void canCheckForUpdatesChanged();
    void checkFinished(const UpdateCheckResult &result);

private:
    bool startCheck(bool automatic);
    void finishCheck(UpdateCheckResult result);

    QUrl m_feedUrl;
    QString m_currentVersion;
    std::chrono::milliseconds m_timeout = kDefaultTimeout;
    bool m_checking = false;
    QPointer<Download> m_download; // the running check's, owned by the network manager
};
