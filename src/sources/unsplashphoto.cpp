#include "unsplashphoto.h"

#include "files/filenames.h"

QString UnsplashPhoto::displayTitle() const
{
    if (description)
        return *description;
    if (altDescription)
        return *altDescription;
    return QStringLiteral("Foto von ") + user.name;
}

QString UnsplashPhoto::fileBaseName() const
{
    if (slug && !slug->isEmpty())
        return *slug;
    if (altDescription && !altDescription->isEmpty())
        return FileNames::slugify(*altDescription) + u'-' + id;
    return QStringLiteral("unsplash-") + id;
}
