// KDE Plasma reads no pair of pictures, only a wallpaper package with a light and a dark
// image; it is built here and handed to the shell as a script over D-Bus, the one way Plasma
// sets the wallpaper of every screen at once.

#include "desktopbackends.h"
#include "pictureuri.h"

#include "desktop/backends/followerprogram.h"
#include "files/datafolder.h"
#include "files/regularfile.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString kPlasmaService = QStringLiteral("org.kde.plasmashell");

// `text` as a string literal of Plasma's script language.
QString jsString(const QString &text)
{
    return quoted(text, u'\'', {{u'\\', "\\\\"}, {u'\'', "\\'"}, {u'\n', "\\n"}});
}

// The largest picture a package takes: a 16384-pixel square at the companion's quality.
constexpr qint64 kMaxPictureBytes = qint64(1) << 30;

// A picture copied by its descriptor: whatever stands under its name when it is not a regular
// file (a FIFO would hold the set and the follower until someone writes to it) copies nothing.
bool copyPicture(const QString &from, const QString &to)
{
    const std::optional<QByteArray> bytes = RegularFile(from).readAll(kMaxPictureBytes);
    return bytes && writeWholeFile(to, *bytes);
}

class KdeBackend : public DesktopBackend
{
public:
    std::optional<QString> setWallpaper(const WallpaperFiles &files) override
    {
        const QString package = files.kdePackage();
        if (const auto error = buildPackage(files, package))
            return error;
        const QString script =
            QStringLiteral("var all = desktops();\n"
                           "for (var i = 0; i < all.length; ++i) {\n"
                           "    var d = all[i];\n"
                           "    d.wallpaperPlugin = 'org.kde.image';\n"
                           "    d.currentConfigGroup = ['Wallpaper', 'org.kde.image', 'General'];\n"
                           "    d.writeConfig('Image', %1);\n"
                           "}\n")
                .arg(jsString(fileUri(package)));
        QDBusMessage reply;
        evaluate(script, &reply);
        if (const auto failure = dbusFailure(reply, kPlasmaService))
            return description(*failure);
        return std::nullopt;
    }

    std::optional<QString> currentPicture() override
    {
        const QString script =
            QStringLiteral("var d = desktops()[0];\n"
                           "if (d) {\n"
                           "    d.currentConfigGroup = ['Wallpaper', 'org.kde.image', 'General'];\n"
                           "    print(d.readConfig('Image'));\n"
                           "}\n");
        QDBusMessage reply;
        if (!evaluate(script, &reply) || reply.arguments().isEmpty())
            return std::nullopt;
        QString value = reply.arguments().constFirst().toString().trimmed();
        while (value.endsWith(QLatin1Char('/')))
            value.chop(1);
        return localPath(value);
    }
    bool switchesWithScheme() const override { return true; }

private:
    static bool evaluate(const QString &script, QDBusMessage *reply)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            kPlasmaService, QStringLiteral("/PlasmaShell"), QStringLiteral("org.kde.PlasmaShell"),
            QStringLiteral("evaluateScript"));
        call << script;
        *reply = QDBusConnection::sessionBus().call(call, QDBus::Block, kDesktopDBusTimeoutMs);
        return reply->type() == QDBusMessage::ReplyMessage;
    }

    // Built beside its place and swapped in, so the desktop never sees half a package.
    static std::optional<QString> buildPackage(const WallpaperFiles &files, const QString &package)
    {
        const QString building = package + QStringLiteral(".tmp");
        QDir(building).removeRecursively();
        const QString name =
            QStringLiteral("%1x%2.jpg").arg(files.size.width()).arg(files.size.height());
        const QString images = building + QStringLiteral("/contents/images");
        const QString imagesDark = building + QStringLiteral("/contents/images_dark");
        QJsonObject plugin{{QStringLiteral("Id"), QFileInfo(package).fileName()},
                           {QStringLiteral("Name"), QStringLiteral("Voskan")}};
        QJsonObject metadata{
            {QStringLiteral("KPlugin"), plugin},
            {QStringLiteral("KPackageStructure"), QStringLiteral("Wallpaper/Images")}};
        const bool built = QDir().mkpath(images) && QDir().mkpath(imagesDark) &&
                           copyPicture(files.light, images + QLatin1Char('/') + name) &&
                           copyPicture(files.dark, imagesDark + QLatin1Char('/') + name) &&
                           writeWholeFile(building + QStringLiteral("/metadata.json"),
                                          QJsonDocument(metadata).toJson());
        if (!built) {
            QDir(building).removeRecursively();
            return fileFailedText(package);
        }
        QDir(package).removeRecursively();
        if (!QDir().rename(building, package)) {
            QDir(building).removeRecursively();
            return fileFailedText(package);
        }
        return std::nullopt;
    }
};

} // namespace

std::unique_ptr<DesktopBackend> makeKdeBackend()
{
    return std::make_unique<KdeBackend>();
}
