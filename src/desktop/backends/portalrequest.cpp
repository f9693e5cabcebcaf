#include "portalrequest.h"

#include "desktopbackend.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QTimer>

#include <optional>

namespace {

const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");

// Collects the answer of one request.
class PortalRequest : public QObject
{
    Q_OBJECT

public:
    std::optional<PortalAnswer> answer;
    QEventLoop loop;

    void watch(const QString &handle)
    {
        if (m_watched.contains(handle))
            return;
        m_watched << handle;
        QDBusConnection::sessionBus().connect(kPortalService, handle, kRequestInterface,
                                              QStringLiteral("Response"), this,
                                              SLOT(answered(uint, QVariantMap)));
    }
    ~PortalRequest() override
    {
        for (const QString &handle : std::as_const(m_watched))
            QDBusConnection::sessionBus().disconnect(kPortalService, handle, kRequestInterface,
                                                     QStringLiteral("Response"), this,
                                                     SLOT(answered(uint, QVariantMap)));
    }

public Q_SLOTS:
    void answered(uint code, const QVariantMap &results)
    {
        if (!answer)
            answer = PortalAnswer{code, results};
        loop.quit();
    }

private:
    QStringList m_watched;
};

} // namespace

std::variant<PortalAnswer, DesktopFailure> askPortal(const QString &interface,
                                                     const QString &method,
                                                     const QVariantList &arguments,
                                                     QVariantMap options, int answerMs)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    // The answer can come before the reply that names the request, so the request's path is
    // derived from the token beforehand, as the portal derives it.
    const QString token = QStringLiteral("voskan%1").arg(QRandomGenerator::global()->generate());
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    PortalRequest request;
    request.watch(kPortalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token);
    // A portal that leaves the bus (it crashed, the session ends) will not answer any more.
    QDBusServiceWatcher gone(kPortalService, bus, QDBusServiceWatcher::WatchForUnregistration);
    QObject::connect(&gone, &QDBusServiceWatcher::serviceUnregistered, &request.loop,
                     &QEventLoop::quit);
    options.insert(QStringLiteral("handle_token"), token);
    QDBusMessage call =
        QDBusMessage::createMethodCall(kPortalService, kPortalPath, interface, method);
    call.setArguments(arguments + QVariantList{options});
    const QDBusMessage reply = bus.call(call, QDBus::Block, kDesktopDBusTimeoutMs);
    if (const auto failure = dbusFailure(reply, kPortalService))
        return *failure;
    // Older portals ignore the token.
    if (!reply.arguments().isEmpty())
        request.watch(reply.arguments().constFirst().value<QDBusObjectPath>().path());
    if (!request.answer) {
        if (answerMs >= 0)
            QTimer::singleShot(answerMs, &request.loop, &QEventLoop::quit);
        request.loop.exec();
    }
    if (!request.answer)
        return DesktopFailure{DesktopError::ServiceNoReply, kPortalService, {}};
    return *request.answer;
}

#include "portalrequest.moc"
