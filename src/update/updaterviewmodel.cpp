#include "updaterviewmodel.h"

#include "model/usersettings.h"
#include "sources/download.h"
#include "sources/network.h"
#include "sources/networkerror.h"
#include "update/appcast.h"

#include <QNetworkRequest>

#include <exception>

#ifndef VOSKAN_APPCAST_URL
#define VOSKAN_APPCAST_URL ""
#endif
#ifndef VOSKAN_VERSION
#define VOSKAN_VERSION "0"
#endif

namespace {

using Outcome = UpdateCheckResult::Outcome;

QUrl webUrlOrNothing(const QUrl &url)
{
    return isWebUrl(url) ? url : QUrl();
}

UpdateCheckResult failed(const QString &reason)
{
    UpdateCheckResult result;
    result.outcome = Outcome::Failed;
    result.errorMessage = QStringLiteral("Die Update-Prüfung ist fehlgeschlagen: %1").arg(reason);
    return result;
}

// What the download of the feed at `feed` says to a program of `currentVersion`. May throw
// when memory runs out.
UpdateCheckResult judge(const Download::Result &outcome, const QUrl &feed,
                        const QString &currentVersion)
{
    if (std::holds_alternative<DownloadTooLarge>(outcome))
        return failed(AppcastError{AppcastError::Kind::TooLarge}.description());
    if (const auto *error = std::get_if<NetworkError>(&outcome))
        return failed(error->description());
    const Download::Reply &reply = std::get<Download::Reply>(outcome);
    if (!reply.status)
        return failed(NetworkError{NetworkError::Kind::Other, feed, {}}.description());
    if (*reply.status < 200 || *reply.status > 299)
        return failed(QStringLiteral("Der Server antwortete mit HTTP %1.").arg(*reply.status));
    auto newest = Appcast::newestItem(reply.body);
    if (const auto *error = std::get_if<AppcastError>(&newest))
        return failed(error->description());
    const AppcastItem &item = std::get<AppcastItem>(newest);
    UpdateCheckResult result;
    if (Appcast::compareVersions(item.version, currentVersion) > 0) {
        result.outcome = Outcome::UpdateAvailable;
        result.version = item.displayVersion();
        result.downloadPage = item.downloadPage();
    } else {
        result.outcome = Outcome::UpToDate;
    }
    return result;
}

} // namespace

UpdaterViewModel::UpdaterViewModel(QObject *parent)
    : UpdaterViewModel(configuredFeedUrl(), buildVersion(), parent)
{
}

UpdaterViewModel::UpdaterViewModel(const QUrl &feedUrl, const QString &currentVersion,
                                   QObject *parent)
    : QObject(parent), m_feedUrl(webUrlOrNothing(feedUrl)), m_currentVersion(currentVersion)
{
}

UpdaterViewModel::~UpdaterViewModel()
{
    // The download belongs to the shared manager's reply and outlives us; it must not call back.
    if (m_download)
        m_download->cancel();
}

QUrl UpdaterViewModel::configuredFeedUrl()
{
    QString configured = qEnvironmentVariable(kFeedUrlVariable).trimmed();
    if (configured.isEmpty())
        configured = QStringLiteral(VOSKAN_APPCAST_URL).trimmed();
    if (configured.isEmpty())
        return {};
    const QUrl url(configured, QUrl::StrictMode);
    if (!isWebUrl(url)) {
        qWarning("The update feed \"%s\" is no http(s) address; update checks are off.",
                 qPrintable(configured));
        return {};
    }
    return url;
}

QString UpdaterViewModel::buildVersion()
{
    return QStringLiteral(VOSKAN_VERSION);
}

bool UpdaterViewModel::canCheckForUpdates() const
{
    return !m_feedUrl.isEmpty() && !m_checking;
}

void UpdaterViewModel::checkForUpdates()
{
    startCheck(false);
}

bool UpdaterViewModel::startAutomaticChecks()
{
    if (!canCheckForUpdates())
        return false;
    QSettings settings = userSettings();
    settings.beginGroup(QLatin1StringView(kSettingsGroup));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime last = QDateTime::fromString(
        settings.value(QLatin1StringView(kLastCheckKey)).toString(), Qt::ISODateWithMs);
    const auto interval = std::chrono::duration_cast<std::chrono::milliseconds>(kAutomaticInterval);
    const bool due = !last.isValid() || last > now || last.msecsTo(now) >= interval.count();
    if (!due)
        return false;
    // Kept when the check starts, not when it succeeds: a feed that is down is not asked
    // again at every start.
    settings.setValue(QLatin1StringView(kLastCheckKey), now.toString(Qt::ISODateWithMs));
    return startCheck(true);
}

bool UpdaterViewModel::startCheck(bool automatic)
{
    if (!canCheckForUpdates())
        return false;

    QNetworkRequest request(m_feedUrl);
    request.setTransferTimeout(int(m_timeout.count()));
    // The shared manager keeps thumbnails on disk; a stored feed would hide a new release.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("Voskan/%1").arg(m_currentVersion));
    Download *download =
        Download::start(sharedNetworkAccessManager(), request, Appcast::kMaxFeedBytes, kDeadline);
    m_download = download;
    m_checking = true;
    Q_EMIT canCheckForUpdatesChanged();

    connect(download, &Download::finished, this,
            [this, automatic](const Download::Result &outcome) {
                UpdateCheckResult result;
                try {
                    result = judge(outcome, m_feedUrl, m_currentVersion);
                } catch (const std::exception &) {
                    // Out of memory, in all likelihood; the check fails, the program goes on.
                    result = failed(QStringLiteral("Interner Fehler."));
                }
                result.automatic = automatic;
                finishCheck(std::move(result));
            });
    return true;
}

void UpdaterViewModel::finishCheck(UpdateCheckResult result)
{
    m_download = nullptr;
    m_checking = false;
    Q_EMIT canCheckForUpdatesChanged();
    Q_EMIT checkFinished(result);
}
