// The desktops that keep their one picture in a single gsettings key (Cinnamon, MATE, Budgie)
// differ only in the schema, the key and whether it holds a URI or a path; one class serves
// them all, so a fix to one cannot miss the others.

#include "desktopbackends.h"
#include "gsettings.h"
#include "pictureuri.h"
#include "singlepicture.h"

namespace {

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

std::unique_ptr<DesktopBackend> makeGsettingsPictureBackend(PictureKey where, CommandRunner runner,
                                                            DarkSchemeQuery dark)
{
    return std::make_unique<GsettingsPictureBackend>(std::move(where), std::move(runner),
                                                     std::move(dark));
}
