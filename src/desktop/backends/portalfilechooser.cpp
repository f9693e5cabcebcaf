#include "portalfilechooser.h"

#include "portalrequest.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QFile>
#include <QUrl>

#include <utility>

namespace {

// A filter as the portal takes it, a(sa(us)): its name and patterns, each (0, glob) or
// (1, MIME type). Qt's D-Bus marshals a pair as the structure of its two members.
using PortalPattern = std::pair<uint, QString>;
using PortalFilter = std::pair<QString, QList<PortalPattern>>;

// A path as the portal takes it: its bytes, ending in a NUL.
QByteArray portalPath(const QString &path)
{
    return QFile::encodeName(path) + '\0';
}

} // namespace

std::optional<QString> chooseFileThroughPortal(const FileChooserRequest &request)
{
    static const bool registered = [] {
        qDBusRegisterMetaType<PortalPattern>();
        qDBusRegisterMetaType<PortalFilter>();
        qDBusRegisterMetaType<QList<PortalPattern>>();
        qDBusRegisterMetaType<QList<PortalFilter>>();
        return true;
    }();
    Q_UNUSED(registered);

    QList<PortalFilter> filters;
    for (const FileChooserFilter &filter : request.filters) {
        PortalFilter portal{filter.name, {}};
        for (const QString &pattern : filter.patterns)
            portal.second.append({0, pattern});
        filters.append(portal);
    }
    QVariantMap options{{QStringLiteral("modal"), true},
                        {QStringLiteral("filters"), QVariant::fromValue(filters)}};
    if (!request.folder.isEmpty())
        options.insert(QStringLiteral("current_folder"), portalPath(request.folder));
    if (request.save)
        options.insert(QStringLiteral("current_name"), request.name);
    const auto asked =
        askPortal(QStringLiteral("org.freedesktop.portal.FileChooser"),
                  request.save ? QStringLiteral("SaveFile") : QStringLiteral("OpenFile"),
                  {request.parentWindow, request.title}, options, -1);
    const auto *answer = std::get_if<PortalAnswer>(&asked);
    if (!answer || answer->response > 1)
        return std::nullopt;
    if (answer->response == 1)
        return QString();
    const QUrl chosen(answer->results.value(QStringLiteral("uris")).toStringList().value(0));
    // Outside a sandbox the portal hands back the file itself, never a copy elsewhere.
    return chosen.isLocalFile() ? chosen.toLocalFile() : QString();
}
