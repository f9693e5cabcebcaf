// Xfce keeps one picture per monitor and workspace and has no setting for all of them, so
// every one it lists is set, and every one is asked when the follower wants to know whether
// the person chose another picture.

#include "desktopbackends.h"
#include "pictureuri.h"
#include "singlepicture.h"

#include <QRegularExpression>

namespace {

const QString kXfconf = QStringLiteral("xfconf-query");
const QString kChannel = QStringLiteral("xfce4-desktop");

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
                m_runner(kXfconf, {QStringLiteral("-c"), kChannel, QStringLiteral("-p"), property});
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
            calls.append({QStringLiteral("-c"), kChannel, QStringLiteral("-p"), property,
                          QStringLiteral("-s"), path});
        return runAll(m_runner, kXfconf, calls);
    }

private:
    QStringList imageProperties() const
    {
        const CommandResult result =
            m_runner(kXfconf, {QStringLiteral("-c"), kChannel, QStringLiteral("-l")});
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

} // namespace

std::unique_ptr<DesktopBackend> makeXfceBackend(CommandRunner runner, DarkSchemeQuery dark)
{
    return std::make_unique<XfceBackend>(std::move(runner), std::move(dark));
}
