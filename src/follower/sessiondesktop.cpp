// Where the desktop service and the follower meet, the one file that knows both.

#include "sessiondesktop.h"

#include "desktop/backends/desktopbackends.h"
#include "schemefollower.h"

std::shared_ptr<DesktopService> sessionDesktopService(const QProcessEnvironment &environment)
{
    return std::make_shared<DesktopService>(makeDesktopBackend(environment),
                                            FollowerHooks{updateSchemeFollower, followerRefusal});
}
