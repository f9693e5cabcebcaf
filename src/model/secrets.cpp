#include "secrets.h"

#ifndef VOSKAN_UNSPLASH_KEY
#define VOSKAN_UNSPLASH_KEY ""
#endif

namespace Secrets {

QString unsplashKey()
{
    return QStringLiteral(VOSKAN_UNSPLASH_KEY);
}

} // namespace Secrets
