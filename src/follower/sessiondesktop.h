#pragma once

// The desktop service as the program uses it: the backend of the running session, with the
// follower that keeps single-picture desktops in step with the colour scheme. Kept apart from
// both so the service need not know the follower, while the follower uses the service.

#include "desktop/desktopservice.h"

#include <QProcessEnvironment>

#include <memory>

// The service for the session described by `environment`, starting the follower after a set
// where the desktop does not switch the pictures by itself.
std::shared_ptr<DesktopService> sessionDesktopService(
    const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());
