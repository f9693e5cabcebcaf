// sway cannot be asked which background it shows, and forgets one set by command when it
// reloads its config; a snippet in the data folder, included from the user's config, keeps
// the picture and starts the follower, since sway runs no autostart entries.

#include "desktopbackends.h"
#include "singlepicture.h"

#include "desktop/backends/followerprogram.h"
#include "files/datafolder.h"

#include <atomic>

namespace {

// swaymsg joins its arguments into one sway command, so a path is quoted for sway.
QString swayString(const QString &text)
{
    return quoted(text, u'"', {{u'\\', "\\\\"}, {u'"', "\\\""}});
}

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
        const QString quoted = swayString(path);
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

} // namespace

std::unique_ptr<DesktopBackend> makeSwayBackend(CommandRunner runner, DarkSchemeQuery dark)
{
    return std::make_unique<SwayBackend>(std::move(runner), std::move(dark));
}
