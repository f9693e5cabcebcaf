#include "updaterviewmodel.h"

#include "model/usersettings.h"
#include "sources/network.h"
#include "sources/networkerror.h"
#include "update/appcast.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <exception>
#include <memory>
#include <optional>

#ifndef VOSKAN_APPCAST_URL
#define VOSKAN_APPCAST_URL ""
#endif
#ifndef VOSKAN_VERSION
#define VOSKAN_VERSION "0"
#endif

namespace {

using namespace Qt::StringLiterals;

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
    // The reply belongs to the shared manager and outlives us; it must not call back.
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
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
    QNetworkReply *reply = sharedNetworkAccessManager()->get(request);
    m_reply = reply;
    m_checking = true;
    Q_EMIT canCheckForUpdatesChanged();

    struct State
    {
        QByteArray body;
        bool tooLarge = false;
    };
    const auto state = std::make_shared<State>();
    // Aborting makes Qt emit finished(), which then reports the size.
    const auto stop = [reply, state] {
        if (state->tooLarge)
            return;
        state->tooLarge = true;
        state->body.clear();
        reply->abort();
    };
    // A declared length over the cap stops the reply before its body; a body that grows over
    // it stops as soon as it does. Moving every chunk out keeps Qt's buffer small as well.
    connect(reply, &QNetworkReply::metaDataChanged, this, [reply, stop] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > Appcast::kMaxFeedBytes)
            stop();
    });
    connect(reply, &QNetworkReply::readyRead, this, [reply, state, stop] {
        if (state->tooLarge)
            return;
        if (reply->bytesAvailable() > Appcast::kMaxFeedBytes - state->body.size()) {
            stop();
            return;
        }
        state->body += reply->readAll();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, state, automatic] {
        reply->deleteLater();
        UpdateCheckResult result;
        try {
            if (state->tooLarge) {
                result = failed(AppcastError{AppcastError::Kind::TooLarge}.description());
            } else {
                const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
                // Transport first: after a redirect loop the status is the last redirect's.
                if (NetworkError::isTransportFailure(*reply) || !status.isValid()) {
                    result = failed(NetworkError::fromReply(*reply).description());
                } else if (status.toInt() < 200 || status.toInt() > 299) {
                    result = failed(
                        QStringLiteral("Der Server antwortete mit HTTP %1.").arg(status.toInt()));
                } else {
                    state->body += reply->readAll();
                    auto newest = Appcast::newestItem(state->body);
                    if (const auto *error = std::get_if<AppcastError>(&newest)) {
                        result = failed(error->description());
                    } else {
                        const AppcastItem &item = std::get<AppcastItem>(newest);
                        if (Appcast::compareVersions(item.version, m_currentVersion) > 0) {
                            result.outcome = Outcome::UpdateAvailable;
                            result.version = item.displayVersion();
                            result.downloadPage = item.downloadPage();
                        } else {
                            result.outcome = Outcome::UpToDate;
                        }
                    }
                }
            }
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
    m_reply = nullptr;
    m_checking = false;
    Q_EMIT canCheckForUpdatesChanged();
    Q_EMIT checkFinished(result);
}
