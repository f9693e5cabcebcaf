#include "unsplashphoto.h"

QString UnsplashPhoto::displayTitle() const
{
    if (description)
        return *description;
    if (altDescription)
        return *altDescription;
    return QStringLiteral("Foto von ") + user.name;
}
