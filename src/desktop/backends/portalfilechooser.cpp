#include "portalfilechooser.h"

#include "portalrequest.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QFile>
#include <QUrl>

namespace {

// One pattern of a filter, as the portal takes it: (0, glob) or (1, MIME type).
struct PortalPattern
{
    uint kind = 0;
    QString pattern;
};

struct PortalFilter
{
    QString name;
    QList<PortalPattern> patterns;
};

} // namespace

Q_DECLARE_METATYPE(PortalPattern)
Q_DECLARE_METATYPE(PortalFilter)

namespace {

QDBusArgument &operator<<(QDBusArgument &argument, const PortalPattern &pattern)
{
    argument.beginStructure();
    argument << pattern.kind << pattern.pattern;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PortalPattern &pattern)
{
    argument.beginStructure();
    argument >> pattern.kind >> pattern.pattern;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const PortalFilter &filter)
{
    argument.beginStructure();
    argument << filter.name << filter.patterns;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PortalFilter &filter)
{
    argument.beginStructure();
    argument >> filter.name >> filter.patterns;
    argument.endStructure();
    return argument;
}

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
            portal.patterns.append({0, pattern});
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
