#include "desktopservice.h"
#include "schemefollower.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kLightSuffix = QStringLiteral("-light.jpg");
const QString kDarkSuffix = QStringLiteral("-dark.jpg");
const QString kPackageSuffix = QStringLiteral("-kde");
// Tools that hang must not freeze the program for good.
constexpr int kCommandTimeoutMs = 15000;
constexpr int kDBusTimeoutMs = 5000;
// The portal's permission dialog waits for a person.
constexpr int kPortalAnswerMs = 120000;
const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

constexpr int kDetailLength = 160;

QString unsupportedText()
{
    return description({DesktopError::Unsupported, {}, {}});
}

QString fileFailedText(const QString &path)
{
    return description({DesktopError::FileFailed, path, {}});
}

// gsettings takes and prints values as GVariant text.
QString gvariantString(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

std::optional<QString> parseGVariantString(const QByteArray &output)
{
    const QString text = QString::fromUtf8(output).trimmed();
    if (text.size() < 2 || text.front() != text.back() ||
        (text.front() != QLatin1Char('\'') && text.front() != QLatin1Char('"')))
        return std::nullopt;
    QString value;
    const QString inner = text.mid(1, text.size() - 2);
    for (qsizetype i = 0; i < inner.size(); ++i) {
        if (inner.at(i) == QLatin1Char('\\') && i + 1 < inner.size())
            ++i;
        value += inner.at(i);
    }
    return value;
}

// A file URI or a plain path, as a local path.
std::optional<QString> localPath(const QString &uriOrPath)
{
    if (uriOrPath.isEmpty())
        return std::nullopt;
    const QUrl url(uriOrPath);
    if (url.isLocalFile())
        return url.toLocalFile();
    if (uriOrPath.startsWith(QLatin1Char('/')))
        return uriOrPath;
    return std::nullopt;
}

QString fileUri(const QString &path)
{
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}

std::optional<QString> runAll(const CommandRunner &runner, const QString &program,
                              const QList<QStringList> &calls)
{
    for (const QStringList &arguments : calls) {
        const CommandResult result = runner(program, arguments);
        if (!result.ok)
            return description(
                result.failure.value_or(DesktopFailure{DesktopError::ToolFailed, program, {}}));
    }
    return std::nullopt;
}

std::optional<QString> readGsetting(const CommandRunner &runner, const QString &schema,
                                    const QString &key)
{
    const CommandResult result =
        runner(QStringLiteral("gsettings"), {QStringLiteral("get"), schema, key});
    if (!result.ok)
        return std::nullopt;
    if (const auto value = parseGVariantString(result.output))
        return localPath(*value);
    return std::nullopt;
}

// --- GNOME and its relatives: both pictures, the desktop switches with the colour scheme ------

class GnomeBackend : public DesktopBackend
{
public:
    explicit GnomeBackend(CommandRunner runner) : m_runner(std::move(runner)) {}

    std::optional<QString> setWallpaper(const WallpaperFiles &files) override
    {
        // The entry makes the picture selectable again in the desktop's own settings.
        if (const auto error = writeBackgroundProperties(files))
            return error;
        const QString schema = QStringLiteral("org.gnome.desktop.background");
        const QString set = QStringLiteral("set");
        return runAll(
            m_runner, QStringLiteral("gsettings"),
            {{set, schema, QStringLiteral("picture-options"), QStringLiteral("'zoom'")},
             {set, schema, QStringLiteral("picture-uri-dark"), gvariantString(fileUri(files.dark))},
             {set, schema, QStringLiteral("picture-uri"), gvariantString(fileUri(files.light))}});
    }

    std::optional<QString> currentPicture() override
    {
        return readGsetting(m_runner, QStringLiteral("org.gnome.desktop.background"),
                            QStringLiteral("picture-uri"));
    }
    bool switchesWithScheme() const override { return true; }

private:
    static std::optional<QString> writeBackgroundProperties(const WallpaperFiles &files)
    {
        const QString folder =
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
            QStringLiteral("/gnome-background-properties");
        if (!QDir().mkpath(folder))
            return fileFailedText(folder);
        const QString xml = QStringLiteral("<?xml version=\"1.0\"?>\n"
                                           "<!DOCTYPE wallpapers SYSTEM \"gnome-wp-list.dtd\">\n"
                                           "<wallpapers>\n"
                                           "  <wallpaper deleted=\"false\">\n"
                                           "    <name>Voskan</name>\n"
                                           "    <filename>%1</filename>\n"
                                           "    <filename-dark>%2</filename-dark>\n"
                                           "    <options>zoom</options>\n"
                                           "    <shade_type>solid</shade_type>\n"
                                           "    <pcolor>#000000</pcolor>\n"
                                           "    <scolor>#000000</scolor>\n"
                                           "  </wallpaper>\n"
                                           "</wallpapers>\n")
                                .arg(files.light.toHtmlEscaped(), files.dark.toHtmlEscaped());
        const QString path = folder + QStringLiteral("/voskan.xml");
        if (!writeWholeFile(path, xml.toUtf8()))
            return fileFailedText(path);
        return std::nullopt;
    }

    CommandRunner m_runner;
};

// --- KDE Plasma: a wallpaper package with a light and a dark picture ------------------------

const QString kPlasmaService = QStringLiteral("org.kde.plasmashell");

QString jsString(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    escaped.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
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
        *reply = QDBusConnection::sessionBus().call(call, QDBus::Block, kDBusTimeoutMs);
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
        QSaveFile meta(building + QStringLiteral("/metadata.json"));
        const bool built = QDir().mkpath(images) && QDir().mkpath(imagesDark) &&
                           QFile::copy(files.light, images + QLatin1Char('/') + name) &&
                           QFile::copy(files.dark, imagesDark + QLatin1Char('/') + name) &&
                           meta.open(QIODevice::WriteOnly) &&
                           meta.write(QJsonDocument(metadata).toJson()) >= 0 && meta.commit();
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

// --- desktops with one picture: the one of the colour scheme shown now ---------------------

class SinglePictureBackend : public DesktopBackend
{
public:
    SinglePictureBackend(CommandRunner runner, DarkSchemeQuery dark)
        : m_runner(std::move(runner)), m_dark(std::move(dark))
    {
    }

    std::optional<QString> setWallpaper(const WallpaperFiles &files) override
    {
        return setPicture(m_dark && m_dark() ? files.dark : files.light);
    }

protected:
    virtual std::optional<QString> setPicture(const QString &path) = 0;
    CommandRunner m_runner;

private:
    DarkSchemeQuery m_dark;
};

class CinnamonBackend : public SinglePictureBackend
{
public:
    using SinglePictureBackend::SinglePictureBackend;
    std::optional<QString> currentPicture() override
    {
        return readGsetting(m_runner, QStringLiteral("org.cinnamon.desktop.background"),
                            QStringLiteral("picture-uri"));
    }

protected:
    std::optional<QString> setPicture(const QString &path) override
    {
        return runAll(m_runner, QStringLiteral("gsettings"),
                      {{QStringLiteral("set"), QStringLiteral("org.cinnamon.desktop.background"),
                        QStringLiteral("picture-uri"), gvariantString(fileUri(path))}});
    }
};

class MateBackend : public SinglePictureBackend
{
public:
    using SinglePictureBackend::SinglePictureBackend;
    std::optional<QString> currentPicture() override
    {
        return readGsetting(m_runner, QStringLiteral("org.mate.background"),
                            QStringLiteral("picture-filename"));
    }

protected:
    std::optional<QString> setPicture(const QString &path) override
    {
        return runAll(m_runner, QStringLiteral("gsettings"),
                      {{QStringLiteral("set"), QStringLiteral("org.mate.background"),
                        QStringLiteral("picture-filename"), gvariantString(path)}});
    }
};

// A light or dark picture of one of our wallpapers, in our data folder.
bool isOurPicture(const QString &path)
{
    const QFileInfo picture(path);
    return picture.absolutePath() == QFileInfo(voskanDataFolder()).absoluteFilePath() &&
           WallpaperFiles::heicForPicture(path) != path;
}

class XfceBackend : public SinglePictureBackend
{
public:
    using SinglePictureBackend::SinglePictureBackend;
    // Every monitor and workspace is asked: a picture the person chose for any one of them is
    // what the desktop shows, and the follower must then leave it alone.
    std::optional<QString> currentPicture() override
    {
        std::optional<QString> first;
        for (const QString &property : imageProperties()) {
            const CommandResult result =
                m_runner(QStringLiteral("xfconf-query"),
                         {QStringLiteral("-c"), QStringLiteral("xfce4-desktop"),
                          QStringLiteral("-p"), property});
            if (!result.ok)
                continue;
            const std::optional<QString> picture =
                localPath(QString::fromUtf8(result.output).trimmed());
            if (!picture)
                continue;
            if (!isOurPicture(*picture))
                return picture;
            if (!first)
                first = picture;
        }
        return first;
    }

protected:
    std::optional<QString> setPicture(const QString &path) override
    {
        // Xfce keeps one picture per monitor and workspace; the ones it knows are listed.
        const QStringList properties = imageProperties();
        if (properties.isEmpty())
            return unsupportedText();
        QList<QStringList> calls;
        for (const QString &property : properties)
            calls.append({QStringLiteral("-c"), QStringLiteral("xfce4-desktop"),
                          QStringLiteral("-p"), property, QStringLiteral("-s"), path});
        return runAll(m_runner, QStringLiteral("xfconf-query"), calls);
    }

private:
    QStringList imageProperties() const
    {
        const CommandResult result =
            m_runner(QStringLiteral("xfconf-query"),
                     {QStringLiteral("-c"), QStringLiteral("xfce4-desktop"), QStringLiteral("-l")});
        if (!result.ok)
            return {};
        static const QRegularExpression pattern(
            QStringLiteral("^/backdrop/screen\\d+/monitor[^/]+/workspace\\d+/last-image$"));
        QStringList properties;
        for (const QString &line : QString::fromUtf8(result.output).split(QLatin1Char('\n'))) {
            if (pattern.match(line.trimmed()).hasMatch())
                properties.append(line.trimmed());
        }
        return properties;
    }
};

class SwayBackend : public SinglePictureBackend
{
public:
    using SinglePictureBackend::SinglePictureBackend;
    // sway cannot be asked for the background it shows.
    std::optional<QString> currentPicture() override { return std::nullopt; }
    // A sway command, and the snippet, end at a line break: the rest would be a command of its
    // own.
    std::optional<QString> refusedFolder(const QString &folder) const override
    {
        if (!hasControlCharacter(folder))
            return std::nullopt;
        return QStringLiteral("Der Name des Datenordners enthält ein Steuerzeichen (etwa einen "
                              "Zeilenumbruch); sway kann kein Bild von dort zeigen.");
    }

protected:
    std::optional<QString> setPicture(const QString &path) override
    {
        // swaymsg joins its arguments into one sway command, so the path is quoted for sway.
        QString quoted = path;
        quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
        quoted.replace(QLatin1Char('"'), QStringLiteral("\\\""));
        quoted = QLatin1Char('"') + quoted + QLatin1Char('"');
        if (const auto error = runAll(m_runner, QStringLiteral("swaymsg"),
                                      {{QStringLiteral("output"), QStringLiteral("*"),
                                        QStringLiteral("bg"), quoted, QStringLiteral("fill")}}))
            return error;
        // `output * bg` lasts only until sway reloads; the file, included from the user's
        // config, keeps the picture. Written once sway took the picture, so a full or
        // read-only data folder costs only the keeping, not the picture itself (said once per
        // run: the follower comes here at every change of the scheme).
        // sway runs no XDG autostart entries; its `exec` starts the follower once per login.
        const QString config = voskanDataFolder() + QStringLiteral("/sway.conf");
        const QString snippet = QStringLiteral("output * bg %1 fill\nexec %2 --follow\n")
                                    .arg(quoted, followerCommand());
        static std::atomic<bool> told{false};
        if (!writeWholeFile(config, snippet.toUtf8()) && !told.exchange(true))
            qWarning("%s", qPrintable(QStringLiteral("Das Bild ist gesetzt, aber „%1“ ließ sich "
                                                     "nicht schreiben: Nach dem nächsten Neuladen "
                                                     "von sway fehlt es.")
                                          .arg(config)));
        return std::nullopt;
    }
};

// --- anything else: the desktop portal -------------------------------------------------------

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
        QFile file(m_dark && m_dark() ? files.dark : files.light);
        if (!file.open(QIODevice::ReadOnly))
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
        call << QString() << QVariant::fromValue(QDBusUnixFileDescriptor(file.handle()))
             << QVariantMap{{QStringLiteral("show-preview"), false},
                            {QStringLiteral("set-on"), QStringLiteral("both")},
                            {QStringLiteral("handle_token"), token}};
        const QDBusMessage reply = bus.call(call, QDBus::Block, kDBusTimeoutMs);
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

private:
    DarkSchemeQuery m_dark;
};

} // namespace

// --- files ------------------------------------------------------------------------------------

WallpaperFiles WallpaperFiles::forHeic(const QString &heicPath, QSize size)
{
    QString base = heicPath;
    if (base.endsWith(QStringLiteral(".heic")))
        base.chop(5);
    return {heicPath, base + kLightSuffix, base + kDarkSuffix, size};
}

QString WallpaperFiles::kdePackage() const
{
    QString base = heic;
    if (base.endsWith(QStringLiteral(".heic")))
        base.chop(5);
    return base + kPackageSuffix;
}

QString WallpaperFiles::heicForPicture(const QString &picturePath)
{
    const QFileInfo info(picturePath);
    QString name = info.fileName();
    for (const QString &suffix : {kLightSuffix, kDarkSuffix, kPackageSuffix}) {
        if (name.endsWith(suffix) && name.size() > suffix.size()) {
            name.chop(suffix.size());
            return info.dir().filePath(name + QStringLiteral(".heic"));
        }
    }
    return picturePath;
}

std::optional<QString> writeCompanionPicture(const Bitmap &picture, const QString &path)
{
    // 8 bits suffice for a screen; JPEG at this quality is a tenth of a PNG and quicker to write.
    const QImage image = picture.toImage().convertToFormat(QImage::Format_RGB888);
    QSaveFile file(path);
    if (image.isNull() || !file.open(QIODevice::WriteOnly))
        return fileFailedText(path);
    QImageWriter writer(&file, "jpg");
    writer.setQuality(95);
    if (!writer.write(image) || !file.commit())
        return fileFailedText(path);
    return std::nullopt;
}

QString description(const DesktopFailure &failure)
{
    if (failure.error == DesktopError::Unsupported)
        return QStringLiteral(
            "Der Schreibtischhintergrund kann in dieser Arbeitsumgebung nicht gesetzt werden.");
    if (failure.error == DesktopError::Refused)
        return QStringLiteral("Das Setzen des Schreibtischhintergrunds wurde abgelehnt.");
    QString reason;
    switch (failure.error) {
    case DesktopError::Unsupported:
    case DesktopError::Refused:
    case DesktopError::FileFailed:
        reason = QStringLiteral("Die Datei „%1“ ließ sich nicht schreiben.");
        break;
    case DesktopError::ToolMissing:
        reason = QStringLiteral("Das Programm „%1“ fehlt oder startet nicht.");
        break;
    case DesktopError::ToolCrashed:
        reason = QStringLiteral("Das Programm „%1“ ist abgestürzt.");
        break;
    case DesktopError::ToolTimedOut:
        reason = QStringLiteral("Das Programm „%1“ hat nicht rechtzeitig geantwortet.");
        break;
    case DesktopError::ToolFailed:
        reason = QStringLiteral("Das Programm „%1“ meldet einen Fehler.");
        break;
    case DesktopError::ServiceMissing:
        reason = QStringLiteral("Der Dienst „%1“ läuft nicht.");
        break;
    case DesktopError::ServiceNoReply:
        reason = QStringLiteral("Der Dienst „%1“ antwortet nicht.");
        break;
    case DesktopError::ServiceDenied:
        reason = QStringLiteral("Der Dienst „%1“ verweigert den Zugriff.");
        break;
    case DesktopError::ServiceFailed:
        reason = QStringLiteral("Der Dienst „%1“ meldet einen Fehler.");
        break;
    }
    reason = reason.arg(failure.subject);
    // What a tool or service says is English and technical: after the sentence, in brackets.
    if (!failure.detail.isEmpty())
        reason.insert(reason.size() - 1, QStringLiteral(" (%1)").arg(failure.detail));
    return QStringLiteral("Der Schreibtischhintergrund konnte nicht gesetzt werden: ") + reason;
}

std::optional<DesktopFailure> dbusFailure(const QDBusMessage &reply, const QString &service)
{
    if (reply.type() == QDBusMessage::ReplyMessage)
        return std::nullopt;
    switch (QDBusError(reply).type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::NoServer:
    case QDBusError::Disconnected:
    case QDBusError::UnknownObject:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownMethod:
        return DesktopFailure{DesktopError::ServiceMissing, service, {}};
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        return DesktopFailure{DesktopError::ServiceNoReply, service, {}};
    case QDBusError::AccessDenied:
        return DesktopFailure{DesktopError::ServiceDenied, service, {}};
    default:
        break;
    }
    const QString said = reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
    return DesktopFailure{DesktopError::ServiceFailed, service,
                          said.section(QLatin1Char('\n'), 0, 0).left(kDetailLength)};
}

CommandResult runCommand(const QString &program, const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    process.start(program, arguments);
    CommandResult result;
    if (!process.waitForStarted(timeoutMs)) {
        result.failure = DesktopFailure{DesktopError::ToolMissing, program, {}};
        return result;
    }
    // Told apart before the kill: a killed tool reads as crashed afterwards.
    if (!process.waitForFinished(timeoutMs)) {
        const bool crashed = process.state() == QProcess::NotRunning;
        process.kill();
        process.waitForFinished();
        result.failure = DesktopFailure{
            crashed ? DesktopError::ToolCrashed : DesktopError::ToolTimedOut, program, {}};
        return result;
    }
    result.output = process.readAllStandardOutput();
    if (process.exitStatus() == QProcess::CrashExit) {
        result.failure = DesktopFailure{DesktopError::ToolCrashed, program, {}};
        return result;
    }
    result.ok = process.exitCode() == 0;
    if (!result.ok) {
        const QString said = QString::fromUtf8(process.readAllStandardError()).trimmed();
        result.failure = DesktopFailure{
            DesktopError::ToolFailed, program,
            said.isEmpty() ? QStringLiteral("Exit-Status %1").arg(process.exitCode())
                           : said.section(QLatin1Char('\n'), 0, 0).left(kDetailLength)};
    }
    return result;
}

DesktopKind detectDesktop(const QProcessEnvironment &environment)
{
    const QStringList desktops = environment.value(QStringLiteral("XDG_CURRENT_DESKTOP"))
                                     .split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &entry : desktops) {
        const QString name = entry.trimmed().toLower();
        if (name == QLatin1String("gnome") || name == QLatin1String("ubuntu") ||
            name == QLatin1String("budgie") || name == QLatin1String("pantheon") ||
            name == QLatin1String("gnome-classic") || name == QLatin1String("gnome-flashback"))
            return DesktopKind::Gnome;
        if (name == QLatin1String("kde"))
            return DesktopKind::Kde;
        if (name == QLatin1String("x-cinnamon") || name == QLatin1String("cinnamon"))
            return DesktopKind::Cinnamon;
        if (name == QLatin1String("mate"))
            return DesktopKind::Mate;
        if (name == QLatin1String("xfce"))
            return DesktopKind::Xfce;
        if (name == QLatin1String("sway"))
            return DesktopKind::Sway;
    }
    if (environment.value(QStringLiteral("KDE_FULL_SESSION")) == QLatin1String("true"))
        return DesktopKind::Kde;
    if (!environment.value(QStringLiteral("SWAYSOCK")).isEmpty())
        return DesktopKind::Sway;
    return DesktopKind::Other;
}

bool portalPrefersDark()
{
    // Portals before 1.17 know only Read, whose answer is wrapped in one more variant.
    for (const QString &method : {QStringLiteral("ReadOne"), QStringLiteral("Read")}) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            kPortalService, kPortalPath, QStringLiteral("org.freedesktop.portal.Settings"), method);
        call << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
        const QDBusMessage reply =
            QDBusConnection::sessionBus().call(call, QDBus::Block, kDBusTimeoutMs);
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

std::unique_ptr<DesktopBackend> makeGnomeBackend(CommandRunner runner)
{
    return std::make_unique<GnomeBackend>(std::move(runner));
}
std::unique_ptr<DesktopBackend> makeKdeBackend()
{
    return std::make_unique<KdeBackend>();
}
std::unique_ptr<DesktopBackend> makeCinnamonBackend(CommandRunner runner, DarkSchemeQuery dark)
{
    return std::make_unique<CinnamonBackend>(std::move(runner), std::move(dark));
}
std::unique_ptr<DesktopBackend> makeMateBackend(CommandRunner runner, DarkSchemeQuery dark)
{
    return std::make_unique<MateBackend>(std::move(runner), std::move(dark));
}
std::unique_ptr<DesktopBackend> makeXfceBackend(CommandRunner runner, DarkSchemeQuery dark)
{
    return std::make_unique<XfceBackend>(std::move(runner), std::move(dark));
}
std::unique_ptr<DesktopBackend> makeSwayBackend(CommandRunner runner, DarkSchemeQuery dark)
{
    return std::make_unique<SwayBackend>(std::move(runner), std::move(dark));
}
std::unique_ptr<DesktopBackend> makePortalBackend(DarkSchemeQuery dark)
{
    return std::make_unique<PortalBackend>(std::move(dark));
}

// --- service ----------------------------------------------------------------------------------

DesktopService::DesktopService(std::unique_ptr<DesktopBackend> backend, SchemeFollowUp followUp)
    : m_backend(std::move(backend)), m_followUp(std::move(followUp))
{
}

std::unique_ptr<DesktopBackend> makeDesktopBackend(const QProcessEnvironment &environment,
                                                   DarkSchemeQuery dark)
{
    const CommandRunner runCommand = [](const QString &program, const QStringList &arguments) {
        return ::runCommand(program, arguments);
    };
    switch (detectDesktop(environment)) {
    case DesktopKind::Gnome:
        return makeGnomeBackend(runCommand);
    case DesktopKind::Kde:
        return makeKdeBackend();
    case DesktopKind::Cinnamon:
        return makeCinnamonBackend(runCommand, std::move(dark));
    case DesktopKind::Mate:
        return makeMateBackend(runCommand, std::move(dark));
    case DesktopKind::Xfce:
        return makeXfceBackend(runCommand, std::move(dark));
    case DesktopKind::Sway:
        return makeSwayBackend(runCommand, std::move(dark));
    case DesktopKind::Other:
        break;
    }
    return makePortalBackend(std::move(dark));
}

std::shared_ptr<DesktopService>
DesktopService::forEnvironment(const QProcessEnvironment &environment)
{
    return std::make_shared<DesktopService>(makeDesktopBackend(environment), updateSchemeFollower);
}

std::optional<QString> DesktopService::refusal(const QString &folder) const
{
    if (const auto refused = m_backend->refusedFolder(folder))
        return refused;
    if (!m_backend->switchesWithScheme() && m_followUp)
        return followerRefusal();
    return std::nullopt;
}

std::optional<QString> DesktopService::setDesktopImage(const WallpaperFiles &files)
{
    if (const auto error = m_backend->setWallpaper(files))
        return error;
    m_lastSet = files.heic;
    // Without it, a desktop that cannot be asked would get its shown files overwritten by the
    // next run. Unwritable, it only costs that protection.
    writeWholeFile(recordFile(), files.heic.toUtf8());
    if (m_followUp)
        m_followUp(m_backend->switchesWithScheme());
    return std::nullopt;
}

std::optional<QString> DesktopService::desktopImagePath()
{
    if (const auto picture = m_backend->currentPicture())
        return WallpaperFiles::heicForPicture(*picture);
    // The record before this run's own memory: another run (the command line, a second
    // window) may have set a wallpaper since, and its files are the ones on screen.
    if (const auto recorded = recordedWallpaper())
        return recorded;
    return m_lastSet;
}

QString DesktopService::recordFile()
{
    return voskanDataFolder() + QStringLiteral("/desktop-shown");
}

std::optional<QString> DesktopService::recordedWallpaper()
{
    if (const auto bytes = readSmallFile(recordFile(), 4096)) {
        // Only what a set writes: one absolute path (a line break may be part of its folder's
        // name). A NUL never is, and must not reach the file functions, which complain of it
        // in English.
        const QString heic = QString::fromUtf8(*bytes).trimmed();
        if (heic.startsWith(QLatin1Char('/')) && !heic.contains(QChar(0)))
            return heic;
    }
    return std::nullopt;
}

#include "desktopservice.moc"
