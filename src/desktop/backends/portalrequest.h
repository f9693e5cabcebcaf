#pragma once

// The freedesktop portal answers a request twice: the call names a Request object, and that
// object sends the answer once the person has given it. Asking and waiting live here once, for
// the wallpaper set through the portal and for the desktop's own file dialogs.

#include "desktoperror.h"

#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <variant>

inline const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

struct PortalAnswer
{
    uint response = 2; // 0 done, 1 cancelled by the person, 2 ended in some other way
    QVariantMap results;
};

// Calls `method` of the portal's `interface` with `arguments`, then `options` with a
// handle_token added, and waits for the answer, running an event loop meanwhile: at most
// `answerMs`, or with -1 for as long as the portal stays on the bus. Why no answer came, when
// none did.
std::variant<PortalAnswer, DesktopFailure> askPortal(const QString &interface,
                                                     const QString &method,
                                                     const QVariantList &arguments,
                                                     QVariantMap options, int answerMs);
