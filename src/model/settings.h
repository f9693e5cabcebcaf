#pragma once

// The one place the program's settings are kept (the access key, the recent files, the update
// check's state): every reader and writer goes through here, so all agree on where they are.

#include <QSettings>

QSettings userSettings();
