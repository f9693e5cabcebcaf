// Cinnamon and MATE keep their one picture in a single gsettings key and differ only in the
// schema, the key and whether it holds a URI or a path; one class serves both, so a fix to
// one cannot miss the other.

#include "desktopbackends.h"
#include "gsettings.h"
#include "pictureuri.h"
#include "singlepicture.h"

namespace {

// Where a desktop keeps its picture in gsettings.
struct PictureKey
{
    QString schema;
    QString key;
    bool uri = false; // a file URI, else a plain path
};

class GsettingsPictureBackend : public SinglePictureBackend
{
public:
    GsettingsPictureBackend(PictureKey where, CommandRunner runner, DarkSchemeQuery dark)
        : SinglePictureBackend(std::move(runner), std::move(dark)), m_where(std::move(where))
    {
    }

    std::optional<QString> currentPicture() override
    {
        return readGsetting(m_runner, m_where.schema, m_where.key);
    }

protected:
    std::optional<QString> setPicture(const QString &path) override
    {
        return writeGsettings(m_runner, m_where.schema,
                              {{m_where.key, gvariantString(m_where.uri ? fileUri(path) : path)}});
    }

private:
    PictureKey m_where;
};

} // namespace

std::unique_ptr<DesktopBackend> makeCinnamonBackend(CommandRunner runner, DarkSchemeQuery dark)
{
    return std::make_unique<GsettingsPictureBackend>(
        PictureKey{QStringLiteral("org.cinnamon.desktop.background"), QStringLiteral("picture-uri"),
                   true},
        std::move(runner), std::move(dark));
}

std::unique_ptr<DesktopBackend> makeMateBackend(CommandRunner runner, DarkSchemeQuery dark)
{
    return std::make_unique<GsettingsPictureBackend>(
        PictureKey{QStringLiteral("org.mate.background"), QStringLiteral("picture-filename"),
                   false},
        std::move(runner), std::move(dark));
}
