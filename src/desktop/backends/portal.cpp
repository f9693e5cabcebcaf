// Any desktop without a backend of its own is asked through the freedesktop portal, which
// takes one picture and may ask the person first. The portal is also where every desktop's
// colour scheme is read, so the single-picture desktops and the follower learn it here.

#include "desktopbackends.h"

#include "portalrequest.h"

#include "files/regularfile.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>

namespace {

// The portal's permission dialog waits for a person.
constexpr int kPortalAnswerMs = 120000;

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
        const auto asked = askPortal(
            QStringLiteral("org.freedesktop.portal.Wallpaper"), QStringLiteral("SetWallpaperFile"),
            {QString(), QVariant::fromValue(QDBusUnixFileDescriptor(file.descriptor()))},
            {{QStringLiteral("show-preview"), false},
             {QStringLiteral("set-on"), QStringLiteral("both")}},
            kPortalAnswerMs);
        if (const auto *failure = std::get_if<DesktopFailure>(&asked))
            // No portal: nothing here can set a wallpaper.
            return failure->error == DesktopError::ServiceMissing ? unsupportedText()
                                                                  : description(*failure);
        const uint response = std::get<PortalAnswer>(asked).response;
        if (response == 0)
            return std::nullopt;
        if (response == 1)
            return description({DesktopError::Refused, kPortalService, {}});
        return description({DesktopError::ServiceFailed, kPortalService, {}});
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

std::optional<bool> portalDarkScheme()
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
    return std::nullopt;
}

bool portalPrefersDark()
{
    return portalDarkScheme().value_or(false);
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
