// GNOME and its relatives (Ubuntu, Budgie, Pantheon) take both pictures and switch between
// them with the colour scheme by themselves, so no follower is needed there.

#include "desktopbackends.h"
#include "gsettings.h"
#include "pictureuri.h"

#include "files/datafolder.h"

#include <QDir>
#include <QStandardPaths>

namespace {

const QString kSchema = QStringLiteral("org.gnome.desktop.background");

class GnomeBackend : public DesktopBackend
{
public:
    explicit GnomeBackend(CommandRunner runner) : m_runner(std::move(runner)) {}

    std::optional<QString> setWallpaper(const WallpaperFiles &files) override
    {
        // The entry makes the picture selectable again in the desktop's own settings.
        if (const auto error = writeBackgroundProperties(files))
            return error;
        return writeGsettings(
            m_runner, kSchema,
            {{QStringLiteral("picture-options"), QStringLiteral("'zoom'")},
             {QStringLiteral("picture-uri-dark"), gvariantString(fileUri(files.dark))},
             {QStringLiteral("picture-uri"), gvariantString(fileUri(files.light))}});
    }

    std::optional<QString> currentPicture() override
    {
        return readGsetting(m_runner, kSchema, QStringLiteral("picture-uri"));
    }
    bool switchesWithScheme() const override { return true; }
    bool playsSlideshow() const override { return true; }

    std::optional<QString> setSlideshow(const QString &xml) override
    {
        // Both keys: the slideshow plays whatever the colour scheme.
        const QString uri = gvariantString(fileUri(xml));
        return writeGsettings(m_runner, kSchema,
                              {{QStringLiteral("picture-options"), QStringLiteral("'zoom'")},
                               {QStringLiteral("picture-uri-dark"), uri},
                               {QStringLiteral("picture-uri"), uri}});
    }

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

} // namespace

std::unique_ptr<DesktopBackend> makeGnomeBackend(CommandRunner runner)
{
    return std::make_unique<GnomeBackend>(std::move(runner));
}
