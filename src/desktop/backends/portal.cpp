// Any desktop without a backend of its own is asked through the freedesktop portal, which
// takes one picture and may ask the person first. The portal is also where every desktop's
// colour scheme is read, so the single-picture desktops and the follower learn it here.

#include "desktopbackends.h"

#include "files/regularfile.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QTimer>

namespace {

// The portal's permission dialog waits for a person.
constexpr int kPortalAnswerMs = 120000;
const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

// Collects the answer of one portal request.
class PortalRequest : public QObject
{
    Q_OBJECT

public:
    std::optional<uint> response;
    QEventLoop loop;

    void watch(const QString &handle)
    {
        if (m_watched.contains(handle))
            return;
        m_watched << handle;
        QDBusConnection::sessionBus().connect(
            kPortalService, handle, QStringLiteral("org.freedesktop.portal.Request"),
            QStringLiteral("Response"), this, SLOT(answered(uint, QVariantMap)));
    }
    ~PortalRequest() override
    {
        for (const QString &handle : std::as_const(m_watched))
            QDBusConnection::sessionBus().disconnect(
                kPortalService, handle, QStringLiteral("org.freedesktop.portal.Request"),
                QStringLiteral("Response"), this, SLOT(answered(uint, QVariantMap)));
    }

public Q_SLOTS:
    void answered(uint code, const QVariantMap &)
    {
        if (!response)
            response = code;
        loop.quit();
    }

private:
    QStringList m_watched;
};

class PortalBackend : public DesktopBackend
{
public:
    explicit PortalBackend(DarkSchemeQuery dark) : m_dark(std::move(dark)) {}

    std::optional<QString> setWallpaper(const WallpaperFiles &files) override
    {
        // The portal reads the picture through the descriptor handed over: a FIFO put under
        // its name would hold up the portal as well as this thread.
        const RegularFile file(m_dark && m_dark() ? files.dark : files.light);
        if (!file.isOpen())
            return unsupportedText();
        QDBusConnection bus = QDBusConnection::sessionBus();
        // The answer can come before the reply that names the request, so the request's path
        // is derived from the token beforehand, as the portal derives it.
        const QString token =
            QStringLiteral("voskan%1").arg(QRandomGenerator::global()->generate());
        QString sender = bus.baseService().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        PortalRequest request;
        request.watch(kPortalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') +
                      token);
        QDBusMessage call = QDBusMessage::createMethodCall(
            kPortalService, kPortalPath, QStringLiteral("org.freedesktop.portal.Wallpaper"),
            QStringLiteral("SetWallpaperFile"));
        call << QString() << QVariant::fromValue(QDBusUnixFileDescriptor(file.descriptor()))
             << QVariantMap{{QStringLiteral("show-preview"), false},
                            {QStringLiteral("set-on"), QStringLiteral("both")},
                            {QStringLiteral("handle_token"), token}};
        const QDBusMessage reply = bus.call(call, QDBus::Block, kDesktopDBusTimeoutMs);
        const auto failure = dbusFailure(reply, kPortalService);
        if (failure && failure->error == DesktopError::ServiceMissing)
            return unsupportedText(); // no portal: nothing here can set a wallpaper
        if (failure)
            return description(*failure);
        // Older portals ignore the token.
        if (!reply.arguments().isEmpty())
            request.watch(reply.arguments().constFirst().value<QDBusObjectPath>().path());
        if (!request.response) {
            QTimer::singleShot(kPortalAnswerMs, &request.loop, &QEventLoop::quit);
            request.loop.exec();
        }
        if (request.response == 0u)
            return std::nullopt;
        if (request.response == 1u)
            return description({DesktopError::Refused, kPortalService, {}});
        return description(
            {request.response ? DesktopError::ServiceFailed : DesktopError::ServiceNoReply,
             kPortalService,
             {}});
    }
    std::optional<QString> currentPicture() override { return std::nullopt; }
    // A session without the portal, neither running nor startable on demand, has nothing that
    // takes a wallpaper: said before seconds of rendering, not after.
    std::optional<QString> unavailable() const override
    {
        QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
        if (!bus)
            return unsupportedText();
        if (bus->isServiceRegistered(kPortalService).value())
            return std::nullopt;
        const QDBusReply<QStringList> startable = bus->call(QStringLiteral("ListActivatableNames"));
        // Unanswered, the set itself finds out.
        if (!startable.isValid() || startable.value().contains(kPortalService))
            return std::nullopt;
        return unsupportedText();
    }

private:
    DarkSchemeQuery m_dark;
};

} // namespace

bool portalPrefersDark()
{
    // Portals before 1.17 know only Read, whose answer is wrapped in one more variant.
    for (const QString &method : {QStringLiteral("ReadOne"), QStringLiteral("Read")}) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            kPortalService, kPortalPath, QStringLiteral("org.freedesktop.portal.Settings"), method);
        call << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
        const QDBusMessage reply =
            QDBusConnection::sessionBus().call(call, QDBus::Block, kDesktopDBusTimeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            continue;
        return isDarkScheme(reply.arguments().constFirst());
    }
    return false;
}

bool isDarkScheme(QVariant value)
{
    while (value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    // Defined as an unsigned 32-bit number; a portal sending it signed still means the same.
    switch (value.userType()) {
    case QMetaType::UInt:
    case QMetaType::Int:
    case QMetaType::UShort:
    case QMetaType::Short:
    case QMetaType::UChar:
    case QMetaType::ULongLong:
    case QMetaType::LongLong:
        return value.toLongLong() == 1;
    default:
        return false;
    }
}

std::unique_ptr<DesktopBackend> makePortalBackend(DarkSchemeQuery dark)
{
    return std::make_unique<PortalBackend>(std::move(dark));
}

#include "portal.moc"
