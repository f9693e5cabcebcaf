#pragma once

// The Unsplash access key built into a release. It has a file of its own because this is the one
// source the build compiles with the CMake option VOSKAN_UNSPLASH_KEY defined: no other file sees
// the key, and setting it recompiles nothing else.

#include <QString>

namespace Secrets {

// The access key built into this binary, for users without their own: empty unless the
// build sets the CMake option VOSKAN_UNSPLASH_KEY. Never committed.
QString unsplashKey();

} // namespace Secrets
