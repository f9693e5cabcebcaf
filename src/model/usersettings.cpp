#include "usersettings.h"

QSettings userSettings()
{
    return QSettings(QStringLiteral("Voskan"), QStringLiteral("Voskan"));
}
