#pragma once

#include <QString>

namespace Secrets {

// The access key built into this binary, for users without their own: empty unless the
// build sets the CMake option VOSKAN_UNSPLASH_KEY. Never committed.
QString unsplashKey();

} // namespace Secrets
